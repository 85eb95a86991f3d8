// How long characters take on the line, for the backends' write allowance
// and output drain.
#pragma once

#include <cstdint>

namespace telmor::platform {

// Real ms that `characters` take at `baudRate`, rounded up, counted with the
// longest frame (start, 8 data, parity, 2 stop bits); 0 for a rate of 0.
uint64_t LineMs(uint32_t baudRate, uint64_t characters);

// Real ms a write of `characters` may take: twice its time on the line plus
// 5000 driver ms, enough for any flow-control pause, and an end for a line
// that stays blocked (CTS never raised), which would otherwise hold the
// sender for ever.
uint64_t WriteAllowanceMs(uint32_t baudRate, uint64_t characters);

}  // namespace telmor::platform
