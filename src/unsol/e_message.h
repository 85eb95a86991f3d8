// The network's "E" messages: 18 characters with LF CR, an E number at
// positions 1..3 and fields by number.
#pragma once

#include <cstdint>

namespace telmor {

inline constexpr uint16_t kEMessageLength = 18;

// The number at `at` read as "%03u" reads it (white space, then up to three
// digits) without passing `length`; -1 when there is none.
int32_t ReadNumber3(const char* line, uint16_t length, uint16_t at);

// E060/E061: the modem status digit at position 8, or -1.
int32_t ModemStatus(const char* line);

// E062: position 7 with all four low bits set means the station did not answer.
bool StationAnswered(const char* line);

}  // namespace telmor
