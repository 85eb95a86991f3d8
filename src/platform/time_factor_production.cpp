// Production time: the driver's clock runs in real time.
#include "platform/clock.h"

namespace telmor::platform {

uint32_t TimeFactor() {
    return 1;
}

}  // namespace telmor::platform
