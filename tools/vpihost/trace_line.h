// One piece of line traffic for the trace: a frame the driver sent or a line
// it received, with the time of its first byte.
#pragma once

#include <cstdint>
#include <string>

namespace vpihost {

struct TraceLine {
    int64_t realTimeNs;
    bool fromDriver;           // a frame sent; false: a line received
    std::string bytes;         // as on the line
    std::string Text() const;  // "-> FRAME" or "<- LINE", control bytes escaped
};

}  // namespace vpihost
