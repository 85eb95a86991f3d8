// Test time: every pause, wait and deadline of the driver runs 100 times
// faster, so a 60-second scan deadline passes in 0.6 s. Only the test build of
// the driver links this file.
#include "platform/clock.h"

namespace telmor::platform {

uint32_t TimeFactor() {
    return 100;
}

}  // namespace telmor::platform
