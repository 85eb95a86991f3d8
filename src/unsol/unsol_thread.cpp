// The receiver thread's life: start-up, the phases, restart and end.
#include "unsol/unsol_thread.h"

#include "host/driver_threads.h"
#include "host/log.h"
#include "unsol/phases.h"

namespace telmor {
namespace {

void StartUp(DriverContext& context) {
    ClearCommState(context, ClearStop::No);
    context.commState.store(0, std::memory_order_relaxed);
    TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() info, initialising communication (might take +- 50 sec)");
    PauseUnlessStopped(context, 2000);
}

Next RunPhases(DriverContext& context) {
    Next next = StopRequested(context) ? Next::End : RunStatusPhase(context);
    if (next == Next::Scan) next = RunScanPhase(context);
    if (next == Next::Run) next = RunRunPhase(context);
    return next;
}

void End(DriverContext& context) {
    context.flags.fetch_or(kFlagThreadEnded, std::memory_order_acq_rel);
    TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() info, closing thread");
}

}  // namespace

void UnsolThread(DriverContext& context) {
    StartUp(context);
    if (RunPhases(context) == Next::End) {
        End(context);
        return;
    }
    // Restart: a fresh thread begins with start-up. Threads of the initial
    // read see commState 0 and stop.
    context.commReady.store(0, std::memory_order_release);
    context.commState.store(0, std::memory_order_relaxed);
    if (!StartDriverThread(context, UnsolThreadEntry, 0)) {
        // Without a successor nobody would ever set the ended bit.
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, restarting UnsolThread() failed, err %u",
                   platform::LastError());
        End(context);
    }
}

void UnsolThreadEntry(void* context, uint32_t /*unused*/) {
    auto& driverContext = *static_cast<DriverContext*>(context);
    UnsolThread(driverContext);
    LeaveDriverThread(driverContext);
}

}  // namespace telmor
