// The driver's clock on the performance counter, scaled by the build's time
// factor. GetTickCount64 moves in steps of about 16 ms, which the test
// build's factor of 100 would stretch to more than a driver second.
#include "platform/clock.h"

#include "platform/win32/windows_api.h"

namespace telmor::platform {
namespace {

uint64_t CounterFrequency() {
    // Fixed at boot; never fails on Windows XP and later.
    static const uint64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart > 0 ? static_cast<uint64_t>(value.QuadPart) : uint64_t{1000};
    }();
    return frequency;
}

}  // namespace

uint64_t NowMs() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
    const uint64_t frequency = CounterFrequency();
    // Whole seconds and the rest apart, so the product cannot overflow after
    // a long uptime.
    const uint64_t factor = TimeFactor();
    return ticks / frequency * 1000u * factor + ticks % frequency * 1000u * factor / frequency;
}

void SleepMs(uint32_t ms) {
    // Sleep(0) gives up the time slice, as a zero pause does elsewhere.
    Sleep(ToRealMs(ms));
}

}  // namespace telmor::platform
