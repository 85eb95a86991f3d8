// Byte layouts of the lines the substation network sends.
#include "ultsim/line_format.h"

#include <algorithm>

namespace ultsim {
namespace {

// Positions 6 and 7 of a value message carry the message kind; both hold the
// same digit so that a receiver may look at either.
std::string MessageHead(unsigned station, unsigned address, char kind) {
    return "U" + Digits(station, 3) + Digits(address, 2) + kind + kind;
}

}  // namespace

std::string Digits(unsigned value, int width) {
    std::string text(static_cast<size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        text[static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return text;
}

std::string OffsetField(int value) {
    return Digits(static_cast<unsigned>(std::clamp(value + 4000, 0, 9999)), 4);
}

std::string PlainField(uint32_t value) {
    return Digits(std::min<uint32_t>(value, 9999), 4);
}

char NibbleLetter(unsigned nibble) {
    return kNibbleLetters[nibble & 0xFu];
}

int NibbleValue(char c) {
    const size_t at = kNibbleLetters.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::string NibbleByte(uint8_t byte) {
    return {NibbleLetter(byte & 0xFu), NibbleLetter(byte >> 4)};
}

std::string LongField(uint32_t value) {
    value = std::min<uint32_t>(value, 99999999);
    return Digits(value / 10000, 4) + " " + Digits(value % 10000, 4);
}

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string EMessage(int number, char at7, char at8, std::string_view at9) {
    std::string line = "E" + Digits(static_cast<unsigned>(number), 3) + "000" + at7 + at8;
    line += std::string(at9.substr(0, 6));
    line.resize(16, '0');
    return line + std::string(kLineEnd);
}

std::string ModemStatusLine(int eNumber, char status) {
    return EMessage(eNumber, '0', status, "");
}

std::string StationResponseLine(unsigned station, bool answers) {
    return EMessage(62, answers ? '@' : 'O', '0', Digits(station, 3));
}

std::string EndOfScanLine() {
    return EMessage(69, '0', '0', "");
}

std::string PowerUpLine() {
    return EMessage(70, '0', '0', "");
}

std::string ErrorLine(int code, std::string_view frame) {
    std::string request(frame.substr(0, 7));
    request.resize(7, '0');
    const std::string named = code == 67 ? request.substr(1, 6) : request.substr(1, 3);
    return EMessage(code, '0', '0', named);
}

std::string DigitalMessage(unsigned station, unsigned address, uint8_t byte) {
    return MessageHead(station, address, '1') + NibbleByte(byte) + "@@ " + std::string(kLineEnd);
}

std::string AnalogMessage(unsigned station, unsigned address, int16_t value) {
    return MessageHead(station, address, '2') + "@@@@ " + OffsetField(value) + " " + std::string(kLineEnd);
}

std::string CombinedMessage(unsigned station, unsigned address, uint8_t byte, int16_t analog,
                            uint32_t counter) {
    return MessageHead(station, address, '3') + NibbleByte(byte) + "@@ " + OffsetField(analog) + " " +
           LongField(counter) + " " + std::string(kLineEnd);
}

}  // namespace ultsim
