// Driver durations as the time-outs Windows waits take.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "platform/win32/windows_api.h"

namespace telmor::platform::win32 {

// Real milliseconds for a wait of `driverMs`. Never INFINITE: every wait of
// the driver is bounded, also one that asks for 49 days.
inline DWORD RealWaitMs(uint32_t driverMs) {
    const uint32_t realMs = ToRealMs(driverMs);
    return realMs >= INFINITE ? INFINITE - 1 : realMs;
}

}  // namespace telmor::platform::win32
