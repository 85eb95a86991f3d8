// What every command needs before it talks to the driver.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "veldan_host.h"
#include "vpihost/commands.h"

namespace vpihost {
namespace {

std::atomic<bool> stopRequested{false};
// The terminal as it was before the console took its keys, for a second
// Ctrl-C that leaves at once; set before the handler can need it.
termios savedTerminal{};
std::atomic<bool> terminalSaved{false};

// The first signal ends the run with EndVpi; a second one, should EndVpi or
// a command take too long, leaves without waiting (tcsetattr, write and
// _exit may be called from a handler).
void OnStopSignal(int) {
    if (!stopRequested.exchange(true)) return;
    if (terminalSaved.load()) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        static const char kShowCursor[] = "\x1b[?25h";  // the live view hides it
        [[maybe_unused]] const ssize_t shown = write(STDOUT_FILENO, kShowCursor, sizeof kShowCursor - 1);
    }
    static const char kLeaving[] = "\nvpihost: stopped again, leaving without waiting for EndVpi\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kLeaving, sizeof kLeaving - 1);
    _exit(130);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return stopRequested.load();
}

void RememberTerminal(const termios& settings) {
    savedTerminal = settings;
    terminalSaved = true;
}

void ForgetTerminal() {
    terminalSaved = false;
}

int Fail(int code, const std::string& reason) {
    std::fprintf(stderr, "vpihost: %s\n", reason.c_str());
    return code;
}

bool PrepareDriver(const Options& options, Driver& driver, VpiInfo& info) {
    // The log callback is in place before the driver can log anything.
    EventSink::Instance();
    VeldanSetLogMask(options.logLevel == 32 ? 1 : 3);
    VeldanLogToStderr(options.verbose ? 1 : 0);
    if (!options.logFile.empty() && VeldanLogToFile(options.logFile.c_str()) != 0) {
        Fail(kExitUnavailable, "cannot write the log file " + options.logFile);
        return false;
    }
    std::string error;
    const std::string path = options.driverPath.empty() ? DefaultDriverPath() : options.driverPath;
    if (!driver.Load(path, error)) {
        Fail(kExitUnavailable, "cannot load the driver: " + error);
        return false;
    }
    info = driver.Info();
    if (info.contextSize == 0) {
        Fail(kExitUnavailable, path + ": GetVpiInfo reports no context size");
        return false;
    }
    driver.AllocateContext(info.contextSize, options.instance);
    return true;
}

int PrepareLine(const Options& options, const VpiInfo& info, Session& session, LineSettings& line) {
    line = MakeLineSettings(options, info);
    if (options.simulate && !options.port.empty()) {
        return Fail(kExitUsage, "give --port or --simulate, not both");
    }
    std::string error;
    if (options.simulate && !session.Simulate(line, options.networkFile, error)) {
        return Fail(kExitUnavailable, "simulator: " + error);
    }
    if (line.port.empty()) {
        return Fail(kExitUsage, "no port: give --port NAME or --simulate (see --help)");
    }
    // On a real port the trace needs the line passed through the tool.
    if (options.trace && !options.simulate && !session.Tap(line, error))
        return Fail(kExitUnavailable, "trace: " + error);
    if (line.port.size() > kMaxPortName) {
        return Fail(kExitUsage, "port name '" + line.port + "' is longer than " +
                                    std::to_string(kMaxPortName) +
                                    " characters; a symbolic link with a shorter name will do");
    }
    return 0;
}

std::vector<std::string> LogLines(const std::vector<Event>& events) {
    std::vector<std::string> lines;
    for (const Event& event : events)
        if (event.kind == Event::Kind::Log) lines.push_back(event.text);
    return lines;
}

}  // namespace vpihost
