// The command line of vpihost: one command word, its arguments and long
// options. Parsing only; what an option means is up to the command.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vpihost {

struct Options {
    std::string command;                  // info, check, read, write, run
    std::vector<std::string> positional;  // addresses, the value of a write
    bool help = false;
    std::string driverPath;  // empty: next to the program

    // Output.
    bool json = false;
    bool csv = false;
    bool verbose = false;  // the driver's log lines on stderr as well
    bool trace = false;    // the line traffic: the simulator's, or a real port passed through the tool
    std::string logFile;
    int logLevel = 64;  // 32: major lines only, 64: all

    // Address checks.
    std::optional<int> gateType;
    int blockSize = 0;  // 0: a single gate

    // Port and line; unset values come from the driver's defaults.
    std::string port;
    std::optional<unsigned> baud;
    std::optional<unsigned> dataBits;
    std::optional<unsigned> parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::optional<unsigned> stopBits;  // 0 one, 1 one and a half, 2 two
    int timeout = 500;                 // hundredths of a second
    unsigned instance = 1;

    bool simulate = false;
    std::string networkFile;  // with --simulate: a network file instead of the demo network
    std::string gatesFile;
    double durationSeconds = 0;  // run: 0 = until Ctrl-C
    double waitSeconds = 90;     // read, write: how long the network may take to come up
};

// Fills `options` from argv. Returns false with a one-line reason in `error`.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// A whole decimal number from `min` to `max`, all of `text`; also for the
// values and the gate files that people type.
std::optional<long long> ParseInteger(const std::string& text, long long min, long long max);

// "none", "odd", ... or a code 0..4.
std::optional<unsigned> ParseParity(const std::string& text);
// "1", "1.5", "2" as stop bits, giving the codes 0, 1, 2.
std::optional<unsigned> ParseStopBits(const std::string& text);
const char* ParityName(unsigned code);
const char* StopBitsName(unsigned code);

}  // namespace vpihost
