// The output of `vpihost run`: a view that updates in place on a terminal,
// plain time-stamped lines otherwise, or JSON or CSV lines for scripts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vpihost/live_state.h"

namespace vpihost {

struct RunHeader {
    std::string shortName;
    std::string banner;  // UTF-8, three lines
    std::string port;
    std::string line;  // DescribeLine
    bool simulated = false;
    int64_t startNs = 0;
};

class LiveOutput {
public:
    enum class Mode { Terminal, Plain, Json, Csv };
    LiveOutput(Mode mode, RunHeader header);
    ~LiveOutput();
    LiveOutput(const LiveOutput&) = delete;
    LiveOutput& operator=(const LiveOutput&) = delete;

    Mode OutputMode() const { return mode_; }
    // A line of the program's own (not the driver's); on a terminal it shows in the status line.
    void Say(const std::string& text);
    void Notes(const std::vector<Note>& notes);
    // The command being typed, shown in the terminal's status line.
    void SetTyping(const std::string& text) { typing_ = text; }
    void Render(const LiveState& state);  // terminal only
    // Leaves the view and prints the statistics. `ending` names how the run
    // ended ("EndVpi", "ColdStart") and `result` the driver's result of it.
    void Summary(const LiveState& state, const char* ending, int32_t result, int64_t endNs);

private:
    std::vector<std::string> ViewLines(const LiveState& state, int rows, int columns) const;
    void PrintLine(int64_t timeNs, const char* kind, const std::string& text);

    Mode mode_;
    RunHeader header_;
    std::string status_;
    std::string typing_;
    bool drawn_ = false;
};

}  // namespace vpihost
