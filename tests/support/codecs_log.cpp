// Reading the stand-in host's record of log lines.
#include "support/codecs_log.h"

#include "veldan/veldan_host.h"

namespace codecs_test {

std::vector<LogLine> LoggedLines() {
    std::vector<LogLine> lines;
    for (size_t i = 0; i < VeldanLogCount(); ++i) {
        int level = 0;
        char text[1024] = {};
        if (VeldanGetLogLine(i, &level, text, sizeof text) != 0) break;
        lines.push_back({level, text});
    }
    return lines;
}

}  // namespace codecs_test
