// The station and address fields that read and write request frames share.
#pragma once

#include <cstdint>

namespace telmor {

inline constexpr uint32_t kMaxFrameStation = 999;  // three digits
inline constexpr uint32_t kMaxAddressField = 99;   // two digits

// True when both numbers fit their fixed-width fields; a wider number would
// shift every later character of the frame.
bool FieldsFitFrame(uint32_t station, uint32_t addressField);

// The address field (40 + 2 x ((n - 1) mod 16)) and request letter ("h" to
// "o") of time program n. False for a program outside 1..128, which has no
// request letter.
bool TimeProgramField(uint32_t program, uint32_t* addressField, char* letter);

// Raises the character at position 4 of a formatted frame by 8: the network
// tells block requests and time programs by it.
void ApplyBlockMarker(char* frame);

}  // namespace telmor
