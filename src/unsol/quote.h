// Quoting a received line in a log message: without its LF CR, and cut to
// 62 characters (the "long form" of a message) when it is 64 or longer.
#pragma once

#include <cstdint>

namespace telmor {

struct QuotedLine {
    char text[64];
    bool longForm;
};

QuotedLine QuoteLine(const char* line, uint16_t length);

}  // namespace telmor
