// The value encodings of the network's reply fields and write frames, shared
// by the reply decoder and the spontaneous value messages. The decoders expect
// fields whose characters have already passed CheckChars.
#pragma once

#include <cstdint>

namespace telmor {

inline constexpr uint16_t kAnalogOffset = 4000;

// Four decimal digits as the number 0..9999.
uint16_t FourDigitValue(const char* field);

// Four decimal digits less 4000: -4000..5999.
int16_t OffsetFourDigitValue(const char* field);

// Two nibble letters, low nibble first: 0..255.
uint8_t NibbleByteValue(const char* pair);

// The letter of a nibble 0..15 ("@" to "O").
char NibbleLetter(unsigned nibble);

// A long field "dddd dddd" whose two runs of four are digits: the first run
// x 10000 + the second. The character between the runs must be white space;
// anything else (a digit included, which would shift the second run) gives
// false and leaves `value` unchanged.
bool EightDigitValue(const char* field, uint32_t* value);

}  // namespace telmor
