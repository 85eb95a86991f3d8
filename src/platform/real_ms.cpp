// Driver milliseconds to real ones, the same for every backend.
#include "platform/clock.h"

namespace telmor::platform {

uint32_t ToRealMs(uint32_t driverMs) {
    if (driverMs == 0) return 0;
    const uint32_t realMs = driverMs / TimeFactor();
    return realMs == 0 ? 1 : realMs;
}

}  // namespace telmor::platform
