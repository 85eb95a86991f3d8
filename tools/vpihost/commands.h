// The commands of vpihost and what they share: loading the driver, reporting
// failures, exit codes.
#pragma once

#include <termios.h>

#include <string>
#include <vector>

#include "vpihost/driver.h"
#include "vpihost/events.h"
#include "vpihost/options.h"
#include "vpihost/session.h"

namespace vpihost {

// Exit codes besides the driver's own results 0, 1 and 2 (sysexits.h values).
constexpr int kExitUsage = 64;        // a wrong command line
constexpr int kExitDataError = 65;    // a gate file with errors
constexpr int kExitUnavailable = 69;  // no driver, no port, no network

int InfoCommand(const Options& options);
int CheckCommand(const Options& options);
int ReadCommand(const Options& options);
int WriteCommand(const Options& options);
int RunCommand(const Options& options);

// Loads the driver, asks GetVpiInfo, allocates the context and routes the
// host library's log output as the options say. False after printing why.
bool PrepareDriver(const Options& options, Driver& driver, VpiInfo& info);
// The line settings, the simulator when asked for, and the checks of the
// port name. 0, or the exit code after printing why.
int PrepareLine(const Options& options, const VpiInfo& info, Session& session, LineSettings& line);
// "vpihost: " and the reason on stderr; returns `code`.
int Fail(int code, const std::string& reason);
// SIGINT and SIGTERM end the command's waits instead of the process, so that
// EndVpi still runs.
// SIGINT and SIGTERM ask the run to stop; a second one leaves at once, with
// the terminal given by RememberTerminal put back.
void CatchStopSignals();
bool StopRequested();
void RememberTerminal(const termios& settings);
void ForgetTerminal();
// The log lines among `events`.
std::vector<std::string> LogLines(const std::vector<Event>& events);

}  // namespace vpihost
