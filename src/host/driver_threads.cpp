// Starting and ending the driver's threads, counted in the context so that
// EndVpi can wait until none of them uses the context any more.
#include "host/driver_threads.h"

namespace telmor {

bool StartDriverThread(DriverContext& context, platform::ThreadEntry entry, uint32_t value) {
    // Count first: the new thread may end before StartThread returns.
    context.activeThreads.fetch_add(1, std::memory_order_acq_rel);
    if (platform::StartThread(entry, &context, value, kThreadStackBytes)) return true;
    context.activeThreads.fetch_sub(1, std::memory_order_acq_rel);
    return false;
}

void LeaveDriverThread(DriverContext& context) {
    // Release: everything this thread wrote to the context happens before
    // EndVpi sees the count drop.
    context.activeThreads.fetch_sub(1, std::memory_order_release);
}

}  // namespace telmor
