// The network's "E" messages: 18 characters with LF CR, an E number at
// positions 1..3 and fields by number.
#pragma once

#include <cstdint>

#include "transactions/exchange.h"

namespace telmor {

inline constexpr uint16_t kEMessageLength = 18;

// E060/E061: the modem status digit at position 8, or -1.
int32_t ModemStatus(const char* line);

// E062: position 7 with all four low bits set means the station did not answer.
bool StationAnswered(const char* line);

}  // namespace telmor
