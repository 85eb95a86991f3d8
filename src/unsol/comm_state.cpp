// Resetting the receiver's view of the network.
#include "unsol/unsol_thread.h"

namespace telmor {

void ClearCommState(DriverContext& context, ClearStop clearStop) {
    context.commReady.store(0, std::memory_order_release);
    context.resetRequested.store(0, std::memory_order_relaxed);
    for (auto& present : context.stationPresent) present.store(0, std::memory_order_relaxed);
    if (clearStop == ClearStop::Yes) {
        context.flags.store(0, std::memory_order_release);
    } else {
        // A stop that EndVpi asked for while the thread restarted stays.
        context.flags.fetch_and(kFlagStopRequested, std::memory_order_acq_rel);
    }
}

}  // namespace telmor
