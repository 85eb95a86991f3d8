// The value encodings of the network: four-digit values, nibble letters and
// the eight-digit value of counters and time programs.
#include "transactions/value_encodings.h"

#include "transactions/chars.h"

namespace telmor {

namespace {

constexpr uint32_t kRunFactor = 10000;

// White space as the formatted scan of the original field layout passes over
// it; spelled out so that no locale can change it.
bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

uint16_t FourDigitValue(const char* field) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) value = value * 10u + static_cast<unsigned>(field[i] - '0');
    return static_cast<uint16_t>(value);
}

int16_t OffsetFourDigitValue(const char* field) {
    return static_cast<int16_t>(FourDigitValue(field) - kAnalogOffset);
}

uint8_t NibbleByteValue(const char* pair) {
    return static_cast<uint8_t>(NibbleIndex(pair[1]) * 16u + NibbleIndex(pair[0]));
}

char NibbleLetter(unsigned nibble) {
    return static_cast<char>('@' + (nibble & 0xFu));
}

bool EightDigitValue(const char* field, uint32_t* value) {
    if (!IsWhiteSpace(field[4])) return false;
    *value = FourDigitValue(field) * kRunFactor + FourDigitValue(field + 5);
    return true;
}

}  // namespace telmor
