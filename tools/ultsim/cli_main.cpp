// ultsim: serves a simulated substation network on a pseudo-terminal or a
// serial device until SIGINT or SIGTERM, for trying the driver by hand.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ultsim/simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: ultsim (--pty [--link PATH] | --device PATH) [--stations N,N,...] [--baud N] [--rate R] "
    "[--trace]\n"
    "  --pty            serve a new pseudo-terminal; its slave path is printed on stdout\n"
    "  --link PATH      also make PATH a symbolic link to that slave (removed on exit)\n"
    "  --device PATH    serve a serial device instead\n"
    "  --stations LIST  stations that answer, e.g. 1,2,12 (default none)\n"
    "  --baud N         pty: pace output at N baud (10 bits a character); device: line speed\n"
    "  --rate R         random spontaneous value messages, R a second on average\n"
    "  --trace          print every frame received and line sent on stderr\n"
    "  --help           this text\n";

struct Options {
    bool pty = false;
    std::string link;
    std::string device;
    std::vector<ultsim::Station> stations;
    unsigned baud = 0;
    double rate = 0;
    bool trace = false;
};

bool ParseStations(const std::string& list, std::vector<ultsim::Station>& stations) {
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const std::string item = list.substr(from, comma - from);
        char* end = nullptr;
        const unsigned long number = std::strtoul(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || number > 999) return false;
        stations.push_back(ultsim::Station{static_cast<unsigned>(number)});
        from = comma + 1;
    }
    return true;
}

// Returns 0 to go on, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "--pty") {
            options.pty = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--link" && hasValue) {
            options.link = argv[++i];
        } else if (arg == "--device" && hasValue) {
            options.device = argv[++i];
        } else if (arg == "--stations" && hasValue) {
            if (!ParseStations(argv[++i], options.stations)) return 2;
        } else if (arg == "--baud" && hasValue) {
            options.baud = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--rate" && hasValue) {
            options.rate = std::strtod(argv[++i], nullptr);
        } else {
            return 2;
        }
    }
    return options.pty == options.device.empty() ? 0 : 2;
}

std::string Printable(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

void PrintTrace(const ultsim::Simulator& sim, size_t& printed) {
    const std::vector<ultsim::LineEvent> events = sim.Trace();
    for (; printed < events.size(); ++printed) {
        const ultsim::LineEvent& event = events[printed];
        std::fprintf(stderr, "%llu.%03llu %s %s\n",
                     static_cast<unsigned long long>(event.monotonicNs / 1'000'000'000),
                     static_cast<unsigned long long>(event.monotonicNs / 1'000'000 % 1000),
                     event.fromDriver ? "<-" : "->", Printable(event.bytes).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = ParseOptions(argc, argv, options); code != 0) {
        if (code > 0) std::fputs(kUsage, stderr);
        return code > 0 ? code : 0;
    }
    // Blocked before the service thread starts, so that only sigtimedwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ultsim::Simulator sim;
    const bool opened = options.pty ? sim.OpenPty() : sim.OpenDevice(options.device);
    if (!opened) {
        std::fprintf(stderr, "ultsim: cannot open %s: %s\n",
                     options.pty ? "a pseudo-terminal" : options.device.c_str(), std::strerror(errno));
        return 1;
    }
    if (!options.link.empty()) {
        unlink(options.link.c_str());
        if (symlink(sim.SlavePath().c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "ultsim: cannot link %s: %s\n", options.link.c_str(), std::strerror(errno));
            return 1;
        }
    }
    if (options.pty) {
        sim.SetBaud(options.baud);
    } else if (options.baud != 0 && !sim.SetDeviceSpeed(options.baud)) {
        std::fprintf(stderr, "ultsim: cannot set %u baud on %s\n", options.baud, options.device.c_str());
        return 1;
    }
    sim.SetStations(options.stations);
    sim.SetSpontaneousRate(options.rate);
    sim.Start();
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);

    size_t printed = 0;
    const timespec tick{0, 100'000'000};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
        if (options.trace) PrintTrace(sim, printed);
        if (signal == SIGINT || signal == SIGTERM) break;
    }
    sim.Stop();
    if (options.trace) PrintTrace(sim, printed);
    if (!options.link.empty()) unlink(options.link.c_str());
    return 0;
}
