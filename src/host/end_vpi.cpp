// EndVpi: stops every driver thread of the instance and closes the port. It
// returns only when no thread of the driver will touch the context again,
// because the host may free the context right after.
#include "host/commands.h"
#include "host/context.h"
#include "host/log.h"
#include "platform/clock.h"
#include "platform/handle.h"

namespace telmor {
namespace {

void CloseIfOpen(platform::Handle& handle) {
    if (handle == platform::kNullHandle) return;
    platform::CloseHandle(handle);
    handle = platform::kNullHandle;
}

}  // namespace

int32_t EndVpi(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    context.endRequested.store(1, std::memory_order_release);
    // The stop bit survives a restart of the receiver thread (the new thread
    // keeps it), so the request is never lost.
    context.flags.fetch_or(kFlagStopRequested, std::memory_order_acq_rel);

    // Also after CloseCom a receiver thread may run: wait for the threads
    // themselves, not for a port.
    const bool hadThreads = context.activeThreads.load(std::memory_order_acquire) != 0;
    while (context.activeThreads.load(std::memory_order_acquire) != 0) platform::SleepMs(50);

    if (!hadThreads && context.comHandle.load(std::memory_order_acquire) == platform::kNullHandle &&
        context.portMutex == platform::kNullHandle) {
        return VPI_DONE;  // installed without communication: nothing to end
    }
    CloseIfOpen(context.replyEvent);
    const int32_t result = CloseCom(callBlock);
    // Nothing uses these any more; leaving them open would leak one set of
    // handles per start of the instance.
    CloseIfOpen(context.portMutex);
    CloseIfOpen(context.writeOverlapped.event);
    CloseIfOpen(context.readOverlapped.event);
    TELMOR_LOG(kLevelTrace, "TELMOR> EndVpi() exited, %d", result);
    return result;
}

}  // namespace telmor
