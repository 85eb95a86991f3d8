// Wall-clock time and its texts.
#include "vpihost/wall_clock.h"

#include <cstdio>
#include <ctime>

namespace vpihost {

int64_t RealTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

std::string ClockText(int64_t realTimeNs) {
    const time_t seconds = static_cast<time_t>(realTimeNs / 1'000'000'000);
    tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(realTimeNs / 1'000'000 % 1000));
    return text;
}

std::string UtcText(int64_t realTimeNs) {
    const time_t seconds = static_cast<time_t>(realTimeNs / 1'000'000'000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(realTimeNs / 1'000'000 % 1000));
    return text;
}

}  // namespace vpihost
