// Scan phase: one scan of all stations, answered by one E062 per station and
// E069 at the end, within 60 seconds.
#include "host/log.h"
#include "platform/clock.h"
#include "serial/serial_link.h"
#include "unsol/e_message.h"
#include "unsol/phases.h"

namespace telmor {
namespace {

constexpr uint32_t kScanDeadlineSeconds = 60;

void HandleScanE062(DriverContext& context, const char* line, uint16_t length) {
    const int32_t station = E062Station(line, length, " (2)");
    if (station < 0) return;
    if (!StationAnswered(line)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() warning, station %u, no response from UTL during scan",
                   static_cast<uint32_t>(station));
        ReportStationLost(context, static_cast<uint32_t>(station));
        return;
    }
    context.stationPresent[station].store(1, std::memory_order_relaxed);
}

// Handles one scan-phase line; Restart on power-up.
Next HandleScanLine(DriverContext& context, const char* line, uint16_t length) {
    if (line[0] != 'E') {
        if (length >= 64) {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, msg received not an 'E' msg (2)");
        } else {
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, msg received not an 'E' msg, '%.*s' (2)",
                       length - 2, line);
        }
        return Next::Stay;
    }
    const int32_t number = CheckedENumber(line, length, " (2)");
    switch (number) {
        case -1:
            break;
        case 60:
            TELMOR_LOG(kLevelTrace,
                       "TELMOR> UnsolThread() warning, 'TOTALAUSFALL ALLER 4 HAUPTKANALE' received (2)");
            break;
        case 61:
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() info, received E%03u msg, '%.*s' (2)", 61u,
                       length - 2, line);
            break;
        case 62:
            HandleScanE062(context, line, length);
            break;
        case 69:
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() info, E069 received, scan array done");
            context.commState.store(4, std::memory_order_relaxed);
            break;
        case 70:
            TELMOR_LOG(
                kLevelTrace,
                "TELMOR> UnsolThread() warning, power up message received (E070), restarting UnsolThread()");
            return Next::Restart;
        default:
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, received E%03u msg, '%.*s' (2)",
                       static_cast<uint32_t>(number), length - 2, line);
            break;
    }
    return Next::Stay;
}

}  // namespace

Next RunScanPhase(DriverContext& context) {
    if (Send("P00001Q/", context) != 0) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, sending scan array cmd 'P00001Q/'");
        return Next::Restart;
    }
    context.commState.store(3, std::memory_order_relaxed);
    const uint64_t deadline = platform::NowMs() + kScanDeadlineSeconds * 1000u;
    do {
        uint16_t length = 0;
        if (Receive(context.rxLine, &length, context) == 0 &&
            HandleScanLine(context, context.rxLine, length) == Next::Restart) {
            return Next::Restart;
        }
    } while (context.commState.load(std::memory_order_relaxed) < 4 && platform::NowMs() <= deadline &&
             !StopRequested(context));
    if (StopRequested(context)) return Next::End;
    if (platform::NowMs() > deadline) {
        TELMOR_LOG(kLevelMajor,
                   "TELMOR> UnsolThread() error, scan array passed %u sec time-out, restarting UnsolThread",
                   kScanDeadlineSeconds);
        return Next::Restart;
    }
    return Next::Run;
}

}  // namespace telmor
