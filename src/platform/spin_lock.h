// A byte-sized lock for the short critical sections of the fixed context
// (the reply hand-off, a send), where no OS object has room.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/thread.h"

namespace telmor::platform {

class SpinGuard {
public:
    explicit SpinGuard(std::atomic<uint8_t>& lock) : lock_(lock) {
        // Spin briefly, then yield, then sleep: a send can hold the lock for
        // as long as a long frame takes on a slow line.
        for (unsigned spins = 0; lock_.exchange(1, std::memory_order_acquire) != 0; ++spins) {
            if (spins >= 1024) {
                SleepMs(1);
            } else if (spins >= 64) {
                YieldThread();
            }
        }
    }
    ~SpinGuard() { lock_.store(0, std::memory_order_release); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    std::atomic<uint8_t>& lock_;
};

}  // namespace telmor::platform
