// WarmStart: asks the network for its status again; the receiver thread
// handles the answer.
#include "host/commands.h"
#include "host/context.h"
#include "host/log.h"
#include "host/timeouts.h"
#include "platform/sync.h"
#include "serial/serial_link.h"

namespace telmor {

int32_t WarmStart(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    const platform::WaitResult taken = platform::WaitMutex(context.portMutex, MutexWaitMs(context));
    if (taken == platform::WaitResult::TimedOut) {
        TELMOR_LOG(kLevelMajor, "TELMOR> WarmStart() error, time-out waiting for mutex semaphore");
        return VPI_NOT_NOW;
    }
    if (taken != platform::WaitResult::Signalled && taken != platform::WaitResult::Abandoned) {
        TELMOR_LOG(kLevelMajor, "TELMOR> WarmStart() error, waiting for mutex semaphore, err %u",
                   platform::LastError());
        return VPI_NOT_NOW;
    }
    if (Send("P00000Q/", context) != 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> WarmStart() error, sending get status cmd 'P00000Q/'");
    }
    if (!platform::ReleaseMutex(context.portMutex)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> WarmStart() error, releasing mutex semaphore, err %u",
                   platform::LastError());
    }
    TELMOR_LOG(kLevelTrace, "TELMOR> WarmStart()");
    return VPI_DONE;
}

}  // namespace telmor
