// Deadlines on CLOCK_MONOTONIC.
#include "platform/posix/real_time.h"

#include <climits>

namespace telmor::platform::posix {
namespace {

constexpr long kNsPerMs = 1000000;
constexpr long kNsPerS = 1000000000;

timespec MonotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

}  // namespace

uint64_t RealNowUs() {
    timespec now = MonotonicNow();
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

timespec DeadlineAfter(uint32_t realMs) {
    timespec at = MonotonicNow();
    at.tv_sec += static_cast<time_t>(realMs / 1000);
    at.tv_nsec += static_cast<long>(realMs % 1000) * kNsPerMs;
    if (at.tv_nsec >= kNsPerS) {
        at.tv_sec += 1;
        at.tv_nsec -= kNsPerS;
    }
    return at;
}

int MsUntil(const timespec& deadline) {
    timespec now = MonotonicNow();
    int64_t leftNs =
        (static_cast<int64_t>(deadline.tv_sec) - now.tv_sec) * kNsPerS + (deadline.tv_nsec - now.tv_nsec);
    if (leftNs <= 0) return 0;
    int64_t leftMs = (leftNs + kNsPerMs - 1) / kNsPerMs;
    return leftMs > INT_MAX ? INT_MAX : static_cast<int>(leftMs);
}

}  // namespace telmor::platform::posix
