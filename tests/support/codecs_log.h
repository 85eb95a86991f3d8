// The log lines the driver wrote through the stand-in host, as (level, text)
// records that a test compares whole.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace codecs_test {

inline constexpr int kMajor = 32;
inline constexpr int kTrace = 64;

struct LogLine {
    int level;
    std::string text;
    bool operator==(const LogLine&) const = default;
};

inline void PrintTo(const LogLine& line, std::ostream* out) {
    *out << line.level << " \"" << line.text << "\"";
}

// Every line logged since the last VeldanReset, oldest first.
std::vector<LogLine> LoggedLines();

}  // namespace codecs_test
