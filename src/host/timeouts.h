// The waits derived from the instance's time-out (hundredths of a second).
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

// `timeout` x `msPerHundredth`, with a negative time-out counting as 0 and
// the product kept within 32 bits.
inline uint32_t TimeoutTimes(const DriverContext& context, uint32_t msPerHundredth) {
    const int32_t hundredths = context.timeout.load(std::memory_order_relaxed);
    if (hundredths <= 0) return 0;
    const uint64_t ms = static_cast<uint64_t>(hundredths) * msPerHundredth;
    return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

// The port mutex is waited for four times the time-out.
inline uint32_t MutexWaitMs(const DriverContext& context) {
    return TimeoutTimes(context, 40);
}

// A reply is waited for the time-out.
inline uint32_t ReplyWaitMs(const DriverContext& context) {
    return TimeoutTimes(context, 10);
}

}  // namespace telmor
