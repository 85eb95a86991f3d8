// Real (wall-independent) monotonic time for the OS waits of the backend:
// every wait runs to an absolute deadline on CLOCK_MONOTONIC, so an
// interrupted or spuriously woken wait goes on with the time that is left.
#pragma once

#include <time.h>

#include <cstdint>

namespace telmor::platform::posix {

// Microseconds of CLOCK_MONOTONIC.
uint64_t RealNowUs();

// The absolute CLOCK_MONOTONIC time `realMs` from now.
timespec DeadlineAfter(uint32_t realMs);

// Real milliseconds left until `deadline`, rounded up; 0 once it has passed.
int MsUntil(const timespec& deadline);

}  // namespace telmor::platform::posix
