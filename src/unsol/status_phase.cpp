// Status phase: status requests until the modem reports a usable state.
#include "host/log.h"
#include "platform/serial.h"
#include "serial/serial_link.h"
#include "unsol/e_message.h"
#include "unsol/phases.h"

namespace telmor {
namespace {

void HandleStatusLine(DriverContext& context, const char* line, uint16_t length) {
    if (line[0] != 'E') {
        if (length >= 64) {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, msg received not an 'E' msg");
        } else {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, msg received not an 'E' msg, '%.*s'",
                       length - 2, line);
        }
        return;
    }
    const int32_t number = CheckedENumber(line, length, "");
    if (number < 0) return;
    if (number == 60)
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() warning, 'TOTALAUSFALL ALLER 4 HAUPTKANALE' received");
    if (number == 60 || number == 61) {
        const int32_t status = ModemStatus(line);
        if (status < 0) {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal modem status nr in E msg, '%.*s'",
                       length - 2, line);
            return;
        }
        context.commState.store(static_cast<uint8_t>(status), std::memory_order_relaxed);
        if (status == 1) PauseUnlessStopped(context, 2500);
    } else if (number == 70) {
        TELMOR_LOG(kLevelTrace, "TELMOR: UnsolThread() info, received POWER UP msg");
    } else {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, received E%03u msg, '%.*s'",
                   static_cast<uint32_t>(number), length - 2, line);
    }
}

// One cycle: purge, ask for the status, handle one answer.
void StatusCycle(DriverContext& context) {
    platform::SerialPurgeReceive(context.comHandle.load(std::memory_order_acquire));
    if (Send("P00000Q/", context) != 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, sending get status cmd 'P00000Q/'");
        PauseUnlessStopped(context, 20000);
        return;
    }
    uint16_t length = 0;
    if (Receive(context.rxLine, &length, context) != 0) {
        PauseUnlessStopped(context, 6000);
        return;
    }
    HandleStatusLine(context, context.rxLine, length);
}

}  // namespace

Next RunStatusPhase(DriverContext& context) {
    do {
        StatusCycle(context);
    } while (context.commState.load(std::memory_order_relaxed) < 2 && !StopRequested(context));
    return StopRequested(context) ? Next::End : Next::Scan;
}

}  // namespace telmor
