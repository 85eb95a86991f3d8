// The driver's clock on CLOCK_MONOTONIC, scaled by the build's time factor.
#include "platform/clock.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

#include "platform/posix/real_time.h"

namespace telmor::platform {

uint64_t NowMs() {
    return posix::RealNowUs() * TimeFactor() / 1000u;
}

void SleepMs(uint32_t ms) {
    uint32_t realMs = ToRealMs(ms);
    if (realMs == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(realMs / 1000), static_cast<long>(realMs % 1000) * 1000000L};
    // A signal cuts nanosleep short; it reports what was left, so the pause
    // keeps its length.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace telmor::platform
