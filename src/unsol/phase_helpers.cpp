// Helpers shared by the receiver thread's phases.
#include "host/log.h"
#include "platform/clock.h"
#include "platform/host_services.h"
#include "unsol/e_message.h"
#include "unsol/phases.h"

namespace telmor {

bool StopRequested(const DriverContext& context) {
    return (context.flags.load(std::memory_order_acquire) & kFlagStopRequested) != 0;
}

void PauseUnlessStopped(const DriverContext& context, uint32_t ms) {
    constexpr uint32_t kSlice = 50;
    while (ms > 0 && !StopRequested(context)) {
        const uint32_t step = ms < kSlice ? ms : kSlice;
        platform::SleepMs(step);
        ms -= step;
    }
}

int32_t CheckedENumber(const char* line, uint16_t length, const char* suffix) {
    const int quoted = length >= 2 ? length - 2 : 0;
    if (length != kEMessageLength) {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal length %u 'E' msg, '%.*s'%s", length,
                   quoted, line, suffix);
        return -1;
    }
    const int32_t number = ReadNumber3(line, length, 1);
    if (number < 60 || number > 70) {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal 'E' number in msg, '%.*s'%s", quoted,
                   line, suffix);
        return -1;
    }
    return number;
}

void ReportStationLost(DriverContext& context, uint32_t station) {
    context.stationPresent[station].store(0, std::memory_order_relaxed);
    platform::Host().setPlcCommStatus(0, static_cast<int>(context.instanceNo & 0xFF), station, 1, 1);
}

int32_t E062Station(const char* line, uint16_t length, const char* suffix) {
    const int32_t station = ReadNumber3(line, length, 9);
    if (station < 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> UnsolThread() error, illegal station nr in E062 msg, '%.*s'%s",
                   length - 2, line, suffix);
        return -1;
    }
    // ReadNumber3 reads at most three digits, so 1000 and more cannot come
    // from the line; the check stays for the message's sake.
    if (station >= static_cast<int32_t>(kStationCount)) {
        TELMOR_LOG(kLevelTrace,
                   "TELMOR> UnsolThread() error, station nr %u ou of range in E062 msg, '%.*s' (2)",
                   static_cast<uint32_t>(station), length - 2, line);
        return -1;
    }
    return station;
}

}  // namespace telmor
