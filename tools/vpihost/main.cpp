// vpihost: a commissioning host for the telmor driver. It loads the driver
// the way a SCADA host does and drives it from the command line.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "vpihost/commands.h"

namespace vpihost {
namespace {

constexpr const char kUsage[] =
    "usage: vpihost COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  info                      the driver's description (GetVpiInfo), its banner as a box\n"
    "  check ADDRESS...          check gate addresses with the driver's address commands;\n"
    "                            exit 0 when all are accepted, 1 when one is refused\n"
    "  read ADDRESS              bring the network up, read one gate or block, print the value\n"
    "  write ADDRESS VALUE       bring the network up, write one gate (a text for !T)\n"
    "  run                       bring the network up and watch it: stations, gates, log\n"
    "\n"
    "address checks:\n"
    "  --type N                  gate type 0..7 (default: one that fits the address)\n"
    "  --block N                 check or read a block of N gates (32, or 16 time programs)\n"
    "\n"
    "port and line (read, write, run):\n"
    "  --port NAME               serial port: /dev/ttyUSB0, ttyS0, COM1, ... (at most 11 characters)\n"
    "  --simulate                a simulated network on a pseudo-terminal instead: stations 1, 2\n"
    "                            and 12 answer, 5 does not; replies paced at the line's speed\n"
    "  --baud N                  default: the driver's (9600)\n"
    "  --data-bits N             5..8, default: the driver's (7)\n"
    "  --parity P                none, odd, even, mark, space; default: the driver's (space)\n"
    "  --stop-bits N             1, 1.5 or 2; default 1\n"
    "  --timeout N               the driver's time-out in hundredths of a second (default 500)\n"
    "  --instance N              instance number 0..255 (default 1)\n"
    "  --wait SECONDS            read, write: how long the network may take to come up (default 90)\n"
    "\n"
    "run:\n"
    "  --gates FILE              gates to define, one gate or block a line:\n"
    "                            ADDRESS TYPE [block N] [SCALE] [UNIT], # comments;\n"
    "                            default with --simulate: the demo network's gates\n"
    "  --duration SECONDS        end by itself after this time (default: at Ctrl-C)\n"
    "  while it runs, commands from the keyboard or stdin, one a line:\n"
    "    read ADDRESS, write ADDRESS VALUE, time STATION [WEEKDAY], text COMMAND-TEXT, reset, warm\n"
    "\n"
    "output:\n"
    "  --json                    one JSON object a line, nothing else on stdout\n"
    "  --csv                     read, run: comma-separated values with a header and UTC times\n"
    "  -v, --verbose             the driver's log lines on stderr as they come\n"
    "  --trace                   every frame sent and line received, time-stamped; on a real port\n"
    "                            the tool opens the device and passes the line through a pty\n"
    "  --log FILE                the driver's log lines into FILE\n"
    "  --log-level 32|64         which log lines go to stderr and FILE: 32 major only, 64 all (default)\n"
    "  --driver PATH             the driver library (default: TELMOR_DRIVER, else ../lib/libtelmor.so\n"
    "                            next to this program)\n"
    "  -h, --help                this text\n"
    "\n"
    "exit codes: the driver's result (0 done, 1 refused or not now, 2 unable) for check, read and\n"
    "write; 64 wrong usage, 65 errors in the gate file, 69 driver, port or network unavailable.\n";

struct CommandEntry {
    const char* name;
    int (*run)(const Options& options);
    bool startsDriver;  // the driver's threads may still be ending when the command returns
};

constexpr CommandEntry kCommands[] = {
    {"info", InfoCommand, false},  {"check", CheckCommand, false}, {"read", ReadCommand, true},
    {"write", WriteCommand, true}, {"run", RunCommand, true},
};

}  // namespace
}  // namespace vpihost

int main(int argc, char** argv) {
    using namespace vpihost;
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) return Fail(kExitUsage, error + " (see --help)");
    if (options.help || options.command.empty()) {
        std::fputs(kUsage, options.command.empty() && !options.help ? stderr : stdout);
        return options.help ? 0 : kExitUsage;
    }
    for (const CommandEntry& command : kCommands) {
        if (options.command == command.name) {
            const int code = command.run(options);
            if (!command.startsDriver) return code;
            // A station-read thread of the driver can outlive EndVpi by one exchange;
            // the host library's statics must not be destroyed under it.
            std::fflush(nullptr);
            _exit(code);
        }
    }
    return Fail(kExitUsage, "unknown command '" + options.command + "' (see --help)");
}
