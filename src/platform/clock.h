// The driver's only clock and its only way to pause.
//
// All durations are driver milliseconds. A production build runs them in
// real time; the test build of the driver runs every duration (pauses, waits,
// read time-outs, deadlines) faster by a fixed factor, so scenario tests of
// 60-second deadlines take a fraction of a second. Production code has no way
// to change the factor.
#pragma once

#include <cstdint>

namespace telmor::platform {

// Monotonic driver time in milliseconds since an arbitrary start.
uint64_t NowMs();

// Pauses the calling thread for `ms` driver milliseconds.
void SleepMs(uint32_t ms);

// Converts driver milliseconds to real milliseconds (at least 1 for any
// nonzero input). Backends use it for every OS time-out.
uint32_t ToRealMs(uint32_t driverMs);

// How many times faster than real time the driver's clock runs (1 in
// production).
uint32_t TimeFactor();

}  // namespace telmor::platform
