// The codes of the digital command write: which switching command each gate
// value stands for on the line.
#pragma once

#include <cstdint>

namespace telmor {

// The value group and closing "/" for a digital command value, or null for a
// value that has no code (8 to 11, above 12).
const char* DigitalCommandCode(uint16_t value);

}  // namespace telmor
