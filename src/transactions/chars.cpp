// Character checks of the network's value fields: digits and nibble letters.
#include "transactions/chars.h"

namespace telmor {

namespace {

constexpr char kFirstNibble = '@';
constexpr char kLastNibble = 'O';

bool IsFieldChar(char c, bool digits) {
    if (digits) return c >= '0' && c <= '9';
    return c >= kFirstNibble && c <= kLastNibble;
}

}  // namespace

bool CheckChars(const char* text, uint16_t count, bool digits) {
    for (uint16_t i = 0; i < count; ++i) {
        if (!IsFieldChar(text[i], digits)) return false;
    }
    return true;
}

uint16_t NibbleIndex(char c) {
    if (!IsFieldChar(c, false)) return 0;
    return static_cast<uint16_t>(c - kFirstNibble);
}

}  // namespace telmor
