// Byte layouts of everything the substation network puts on the line: value
// fields, reply heads, "E" messages and spontaneous value messages. Pure
// functions, so the tests can build expected lines from the same vocabulary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ultsim {

// Every line the network sends ends with LF followed by CR (in that order).
inline constexpr std::string_view kLineEnd = "\n\r";

// The nibble alphabet: "@" stands for 0, "O" for 15.
inline constexpr std::string_view kNibbleLetters = "@ABCDEFGHIJKLMNO";

// `value` as `width` decimal digits with leading zeros (higher digits dropped).
std::string Digits(unsigned value, int width);

// Offset four-digit value: value + 4000, kept within 0000..9999.
std::string OffsetField(int value);
// Plain four-digit value: the number itself, kept within 0000..9999.
std::string PlainField(uint32_t value);
// One byte as two nibble letters, low nibble first.
std::string NibbleByte(uint8_t byte);
// Eight-digit value as "dddd dddd"; values above 99999999 are kept at that.
std::string LongField(uint32_t value);

char NibbleLetter(unsigned nibble);
// Position of `c` in the nibble alphabet, or -1 when it is not a nibble letter.
int NibbleValue(char c);
bool IsDigits(std::string_view text);

// An "E" message of 18 characters: the E number at 1-3, `at7` and `at8` at
// positions 7 and 8, `at9` (at most six characters) from position 9; every
// other position is filled with "0".
std::string EMessage(int number, char at7, char at8, std::string_view at9);

std::string ModemStatusLine(int eNumber, char status);            // E060 / E061
std::string StationResponseLine(unsigned station, bool answers);  // E062
std::string EndOfScanLine();                                      // E069
std::string PowerUpLine();                                        // E070
// Error reply 064..067 to `frame`: positions 9-11 carry the frame's station;
// for 067 positions 12-14 also carry its address field and request letter.
std::string ErrorLine(int code, std::string_view frame);

// Spontaneous value messages (15, 20 and 30 characters).
std::string DigitalMessage(unsigned station, unsigned address, uint8_t byte);
std::string AnalogMessage(unsigned station, unsigned address, int16_t value);
std::string CombinedMessage(unsigned station, unsigned address, uint8_t byte, int16_t analog,
                            uint32_t counter);

}  // namespace ultsim
