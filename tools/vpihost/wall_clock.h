// Wall-clock time, for the time stamps a user reads: the view, the log, CSV.
#pragma once

#include <cstdint>
#include <string>

namespace vpihost {

int64_t RealTimeNs();  // CLOCK_REALTIME
// "HH:MM:SS.mmm" local time.
std::string ClockText(int64_t realTimeNs);
// "2024-01-31T12:00:00.123Z".
std::string UtcText(int64_t realTimeNs);

}  // namespace vpihost
