// Character checks of the network's value fields.
#pragma once

#include <cstdint>

namespace telmor {

// True when each of the first `count` characters is a decimal digit (digits
// set) or a nibble letter '@'..'O' (digits clear). Looks at exactly `count`
// characters; a count of 0 gives true.
bool CheckChars(const char* text, uint16_t count, bool digits);

// Position 0..15 of `c` in the nibble alphabet "@ABCDEFGHIJKLMNO", 0 otherwise.
uint16_t NibbleIndex(char c);

}  // namespace telmor
