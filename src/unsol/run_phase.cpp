// Run phase: normal operation. Replies go to the waiting command, value
// messages to the host's gates, network events restart the communication.
#include "host/driver_threads.h"
#include "host/log.h"
#include "serial/serial_link.h"
#include "transactions/handoff.h"
#include "unsol/e_message.h"
#include "unsol/phases.h"
#include "unsol/quote.h"
#include "unsol/read_stations.h"
#include "unsol/value_message.h"

namespace telmor {
namespace {

// A network that reports stations back faster than they can be read must not
// make the driver start threads without bound.
constexpr uint16_t kMaxDriverThreads = 16;

void LogDelivery(Delivery delivery) {
    if (delivery == Delivery::SignalFailed) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, PulseEvent() failed, err %u",
                   platform::LastError());
    }
}

void StartStationRead(DriverContext& context, uint32_t station) {
    context.readStationNo.store(static_cast<uint16_t>(station), std::memory_order_relaxed);
    if (context.activeThreads.load(std::memory_order_acquire) >= kMaxDriverThreads) {
        TELMOR_LOG(kLevelMajor,
                   "TELMOR> UnsolThread() warning, station %u, too many station reads running, not read",
                   station);
        return;
    }
    if (!StartDriverThread(context, ReadStationThread, station)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, starting ReadStation() for station %u, err %u",
                   station, platform::LastError());
    }
}

void HandleRunE062(DriverContext& context, const char* line, uint16_t length) {
    const int32_t station = E062Station(line, length, " (3)");
    if (station < 0) return;
    if (!StationAnswered(line)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() warning, no response anymore from UTL (E062 message)");
        ReportStationLost(context, static_cast<uint32_t>(station));
        return;
    }
    context.stationPresent[station].store(1, std::memory_order_relaxed);
    StartStationRead(context, static_cast<uint32_t>(station));
}

Next HandleRunELine(DriverContext& context, const char* line, uint16_t length) {
    const int32_t number = CheckedENumber(line, length, " (3)");
    const int32_t status = number == 60 || number == 61 ? ModemStatus(line) : -1;
    switch (number) {
        case -1:
            break;
        case 60:
            if (status >= 0 && status <= 3) {
                TELMOR_LOG(kLevelTrace,
                           "TELMOR> UnsolThread() warning, modem status in E060 lower than 4! restarting "
                           "UnsolThread()");
                return Next::Restart;
            }
            TELMOR_LOG(kLevelTrace,
                       "TELMOR> UnsolThread() warning, 'E060' msg, 'Totalausfall aller 4 Hauptkanale'");
            break;
        case 61:
            if (status >= 0 && status <= 3) {
                TELMOR_LOG(kLevelTrace,
                           "TELMOR> UnsolThread() warning, modem status in E061 lower than 4! restarting "
                           "UnsolThread()");
                return Next::Restart;
            }
            break;
        case 62:
            HandleRunE062(context, line, length);
            break;
        case 64:
        case 65:
        case 66:
            LogDelivery(OfferErrorReply(context, line, length, 3));
            break;
        case 67:
            LogDelivery(OfferErrorReply(context, line, length, 6));
            break;
        case 70:
            TELMOR_LOG(
                kLevelTrace,
                "TELMOR> UnsolThread() warning, power up message received (E070), restarting UnsolThread()");
            return Next::Restart;
        default:  // 63, 68, 69
            TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, received E%03u msg, '%.*s' (3)",
                       static_cast<uint32_t>(number), length - 2, line);
            break;
    }
    return Next::Stay;
}

}  // namespace

Next HandleRunPhaseLine(DriverContext& context, const char* line, uint16_t length) {
    const Delivery awaited = OfferAwaitedLine(context, line, length);
    if (awaited != Delivery::NotAwaited) {
        LogDelivery(awaited);
        return Next::Stay;
    }
    if (line[0] == 'E') return HandleRunELine(context, line, length);
    if (line[0] == 'U') {
        HandleValueMessage(context, line, length);
        return Next::Stay;
    }
    const QuotedLine quoted = QuoteLine(line, length);
    if (quoted.longForm) {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal msg received '%s...", quoted.text);
    } else {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal msg received '%s'", quoted.text);
    }
    return Next::Stay;
}

Next RunRunPhase(DriverContext& context) {
    context.commReady.store(1, std::memory_order_release);
    if (!StartDriverThread(context, ReadStationsThread, 0)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> UnsolThread() error, starting ReadStations() failed, err %u",
                   platform::LastError());
    }
    for (;;) {
        if (StopRequested(context)) return Next::End;
        if (context.resetRequested.load(std::memory_order_relaxed) != 0) {
            TELMOR_LOG(kLevelTrace,
                       "TELMOR> UnsolThread() info, resetting communication, restarting UnsolThread()");
            return Next::Restart;
        }
        uint16_t length = 0;
        if (Receive(context.rxLine, &length, context) != 0) continue;
        if (HandleRunPhaseLine(context, context.rxLine, length) == Next::Restart) return Next::Restart;
    }
}

}  // namespace telmor
