// Where a log line goes: the in-memory record, stderr and a file (filtered by
// level), and the log callback.
#include <charconv>
#include <string>

#include "state.h"

namespace veldan {
namespace {

// Levels outside the mask's two bits cannot be filtered and are always written.
bool Enabled(int mask, int level) {
    if (level == VELDAN_LEVEL_MAJOR) return (mask & 1) != 0;
    if (level == VELDAN_LEVEL_TRACE) return (mask & 2) != 0;
    return true;
}

// "[64] TELMOR> ...\n", built on the heap: stdio's formatting on an unbuffered
// stderr would put a large buffer on the logging thread's small stack.
std::string SinkLine(int level, const char* text) {
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, level).ptr;
    std::string line = "[";
    line.append(number, end);
    line += "] ";
    line += text;
    line += '\n';
    return line;
}

void WriteSinks(int level, const char* text) {
    Sinks& sinks = TheSinks();
    const std::lock_guard lock(sinks.mutex);
    if (!Enabled(sinks.logMask, level)) return;
    if (!sinks.logToStderr && sinks.logFile == nullptr) return;
    const std::string line = SinkLine(level, text);
    if (sinks.logToStderr) std::fwrite(line.data(), 1, line.size(), stderr);
    if (sinks.logFile != nullptr) {
        std::fwrite(line.data(), 1, line.size(), sinks.logFile);
        std::fflush(sinks.logFile);  // a crash of the host must not lose the last lines
    }
}

}  // namespace

void LogLineOut(int level, const char* text) {
    State& state = TheState();
    {
        const std::lock_guard lock(state.mutex);
        if (state.log.size() < kMaxRecords) state.log.push_back(LogLine{level, text});
    }
    WriteSinks(level, text);
    Callbacks& callbacks = TheCallbacks();
    const std::lock_guard lock(callbacks.mutex);
    if (callbacks.log != nullptr) callbacks.log(callbacks.logUser, level, text);
}

}  // namespace veldan
