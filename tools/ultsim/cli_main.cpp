// ultsim: serves a simulated substation network on a pseudo-terminal or a
// serial device until SIGINT or SIGTERM, for trying the driver by hand.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ultsim/network_file.h"
#include "ultsim/printable.h"
#include "ultsim/simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: ultsim (--pty [--link PATH] | --device PATH) [--network FILE] [--stations N,N,...]\n"
    "              [--baud N] [--rate R] [FAULT] [EVENT...] [--trace]\n"
    "  --pty              serve a new pseudo-terminal; its slave path is printed on stdout\n"
    "  --link PATH        also make PATH a symbolic link to that slave (removed on exit)\n"
    "  --device PATH      serve a serial device instead\n"
    "  --network FILE     stations, values, rate, modem statuses and baud from FILE, one a line:\n"
    "                       station N [silent]   value STATION MEMTYPE ADDRESS RAW   rate R\n"
    "                       modem 60|61 STATUS...   baud N   (# starts a comment)\n"
    "                     the flags below override what the file says\n"
    "  --stations LIST    stations that answer, e.g. 1,2,12 (default none)\n"
    "  --baud N           pty: pace output at N baud (10 bits a character); device: line speed\n"
    "  --rate R           random spontaneous value messages, R a second on average\n"
    "  --trace            print every frame received and line sent on stderr\n"
    "faults (one at a time; they affect requests, never the two network commands):\n"
    "  --drop N           no answer to the next N requests\n"
    "  --delay MS         answer every request MS milliseconds late\n"
    "  --garble N         a \"?\" in the next N answers\n"
    "  --missing-cr N     \"x\" instead of the CR after the LF in the next N answers\n"
    "  --wrong-station N  the next N answers name the next station\n"
    "  --e067 N           E067 instead of the next N answers\n"
    "events (S seconds after the start, fractions allowed):\n"
    "  --power-up-after S    send E070 (power up)\n"
    "  --modem-loss-after S  send E061 with modem status 2\n"
    "  --station-off S:N     station N stops answering (E062 no response)\n"
    "  --station-on S:N      station N answers again (E062)\n"
    "  --help             this text\n";

struct TimedEvent {
    double afterS;
    std::string what;
    std::function<void(ultsim::Simulator&)> action;
};

struct Options {
    bool pty = false;
    std::string link;
    std::string device;
    std::string networkFile;
    std::optional<std::vector<ultsim::Station>> stations;
    std::optional<unsigned> baud;
    std::optional<double> rate;
    bool trace = false;
    ultsim::Fault fault = ultsim::Fault::None;
    unsigned faultCount = 0;
    unsigned lateMs = 0;
    std::vector<TimedEvent> events;
};

struct CountedFault {
    std::string_view flag;
    ultsim::Fault fault;
};

constexpr CountedFault kCountedFaults[] = {
    {"--drop", ultsim::Fault::NoAnswer},        {"--garble", ultsim::Fault::GarbleByte},
    {"--missing-cr", ultsim::Fault::MissingCr}, {"--wrong-station", ultsim::Fault::OtherStation},
    {"--e067", ultsim::Fault::Error067},
};

template <typename T>
bool ParseNumber(std::string_view word, T& value) {
    const char* end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc() && ptr == end && !word.empty();
}

bool ParseSeconds(std::string_view word, double& seconds) {
    return ParseNumber(word, seconds) && seconds >= 0 && seconds < 1e9;
}

bool ParseStations(const std::string& list, std::vector<ultsim::Station>& stations) {
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        unsigned number = 0;
        if (!ParseNumber(std::string_view(list).substr(from, comma - from), number) || number > 999) {
            return false;
        }
        stations.push_back(ultsim::Station{number});
        from = comma + 1;
    }
    return true;
}

// "S:N" of --station-off and --station-on.
bool ParseStationEvent(std::string_view arg, bool answers, std::vector<TimedEvent>& events) {
    const size_t colon = arg.find(':');
    double seconds = 0;
    unsigned station = 0;
    if (colon == std::string_view::npos || !ParseSeconds(arg.substr(0, colon), seconds) ||
        !ParseNumber(arg.substr(colon + 1), station) || station > 999) {
        return false;
    }
    events.push_back(
        {seconds, "station " + std::to_string(station) + (answers ? " back" : " off"),
         [station, answers](ultsim::Simulator& sim) { sim.SendStationResponse(station, answers); }});
    return true;
}

bool SetFault(Options& options, ultsim::Fault fault, unsigned count) {
    if (options.fault != ultsim::Fault::None) return false;
    options.fault = fault;
    options.faultCount = count;
    return true;
}

// Options that take a value. Returns an empty string or why the value is refused.
std::string ParseValueOption(const std::string& arg, const std::string& value, Options& options) {
    for (const CountedFault& counted : kCountedFaults) {
        if (arg != counted.flag) continue;
        unsigned count = 0;
        if (!ParseNumber(value, count) || count == 0) return arg + " needs a count of 1 or more";
        return SetFault(options, counted.fault, count) ? "" : "only one fault at a time";
    }
    double seconds = 0;
    if (arg == "--link") {
        options.link = value;
    } else if (arg == "--device") {
        options.device = value;
    } else if (arg == "--network") {
        options.networkFile = value;
    } else if (arg == "--stations") {
        options.stations.emplace();
        if (!ParseStations(value, *options.stations)) return "--stations needs numbers 0 to 999, e.g. 1,2,12";
    } else if (arg == "--baud") {
        unsigned baud = 0;
        if (!ParseNumber(value, baud)) return "--baud needs a number";
        options.baud = baud;
    } else if (arg == "--rate") {
        double rate = 0;
        if (!ParseNumber(value, rate) || !(rate >= 0 && rate < 1e6))
            return "--rate needs a number, 0 or more";
        options.rate = rate;
    } else if (arg == "--delay") {
        if (!ParseNumber(value, options.lateMs)) return "--delay needs milliseconds";
        // Every request from now on: the count never runs out in practice.
        if (!SetFault(options, ultsim::Fault::LateAnswer, UINT_MAX)) return "only one fault at a time";
    } else if (arg == "--power-up-after") {
        if (!ParseSeconds(value, seconds)) return arg + " needs seconds";
        options.events.push_back(
            {seconds, "power up (E070)", [](ultsim::Simulator& sim) { sim.SendPowerUp(); }});
    } else if (arg == "--modem-loss-after") {
        if (!ParseSeconds(value, seconds)) return arg + " needs seconds";
        options.events.push_back(
            {seconds, "modem loss (E061 2)", [](ultsim::Simulator& sim) { sim.SendModemStatus(61, '2'); }});
    } else if (arg == "--station-off" || arg == "--station-on") {
        if (!ParseStationEvent(value, arg == "--station-on", options.events)) return arg + " needs S:N";
    } else {
        return "unknown option " + arg;
    }
    return "";
}

// Returns 0 to go on, -1 after --help, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string reason;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "--pty") {
            options.pty = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
            reason = ParseValueOption(arg, argv[++i], options);
        } else {
            reason = "unknown option or missing value: " + arg;
        }
        if (!reason.empty()) {
            std::fprintf(stderr, "ultsim: %s (see --help)\n", reason.c_str());
            return 2;
        }
    }
    if (options.pty == options.device.empty()) return 0;
    std::fprintf(stderr, "ultsim: give either --pty or --device PATH (see --help)\n");
    return 2;
}

void PrintTrace(const ultsim::Simulator& sim, size_t& printed) {
    const std::vector<ultsim::LineEvent> events = sim.Trace(printed);
    printed += events.size();
    for (const ultsim::LineEvent& event : events) {
        std::fprintf(stderr, "%llu.%03llu %s %s\n",
                     static_cast<unsigned long long>(event.monotonicNs / 1'000'000'000),
                     static_cast<unsigned long long>(event.monotonicNs / 1'000'000 % 1000),
                     event.fromDriver ? "<-" : "->", ultsim::Printable(event.bytes).c_str());
    }
}

// Fires the timed events on their own thread, so that a long wait never holds up
// the trace output or the reaction to a stop signal.
class EventScheduler {
public:
    EventScheduler(ultsim::Simulator& sim, std::vector<TimedEvent> events)
        : sim_(sim), events_(std::move(events)) {
        std::stable_sort(events_.begin(), events_.end(),
                         [](const TimedEvent& a, const TimedEvent& b) { return a.afterS < b.afterS; });
        if (!events_.empty()) thread_ = std::thread([this] { Run(); });
    }
    ~EventScheduler() {
        {
            std::lock_guard lock(mu_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    EventScheduler(const EventScheduler&) = delete;
    EventScheduler& operator=(const EventScheduler&) = delete;

private:
    void Run() {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock lock(mu_);
        for (const TimedEvent& event : events_) {
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(event.afterS));
            if (wake_.wait_until(lock, due, [this] { return stopping_; })) return;
            std::fprintf(stderr, "ultsim: %.1f s: %s\n", event.afterS, event.what.c_str());
            event.action(sim_);
        }
    }

    ultsim::Simulator& sim_;
    std::vector<TimedEvent> events_;
    std::mutex mu_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// The network file first, then the flags, which override it.
bool Configure(const Options& options, const ultsim::NetworkDescription* network, ultsim::Simulator& sim) {
    unsigned baud = options.baud.value_or(0);
    if (network != nullptr) {
        ultsim::Apply(*network, sim);
        if (!options.baud) baud = network->baud;
    }
    if (options.stations) sim.SetStations(*options.stations);
    if (options.rate) sim.SetSpontaneousRate(*options.rate);
    sim.SetLateMs(options.lateMs);
    sim.SetFault(options.fault, options.faultCount);
    if (options.pty) {
        sim.SetBaud(baud);
        return true;
    }
    // A real line paces itself.
    sim.SetBaud(0);
    if (baud != 0 && !sim.SetDeviceSpeed(baud)) {
        std::fprintf(stderr, "ultsim: cannot set %u baud on %s\n", baud, options.device.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int code = ParseOptions(argc, argv, options); code != 0) return code > 0 ? code : 0;
    // Blocked before any thread starts, so that only sigtimedwait sees them.
    // A shell starts background jobs with SIGINT ignored, and an ignored signal is
    // dropped even while blocked: restore the default so that kill -INT still stops us.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // A bad network file is the user's typo: report it before opening anything.
    ultsim::NetworkParseResult parsed;
    if (!options.networkFile.empty()) {
        parsed = ultsim::ReadNetworkFile(options.networkFile);
        if (!parsed.network) {
            std::fprintf(stderr, "%s\n", parsed.error.c_str());
            return 2;
        }
    }
    ultsim::Simulator sim;
    const bool opened = options.pty ? sim.OpenPty() : sim.OpenDevice(options.device);
    if (!opened) {
        std::fprintf(stderr, "ultsim: cannot open %s: %s\n",
                     options.pty ? "a pseudo-terminal" : options.device.c_str(), std::strerror(errno));
        return 1;
    }
    if (!Configure(options, parsed.network ? &*parsed.network : nullptr, sim)) return 1;
    if (!options.link.empty()) {
        unlink(options.link.c_str());
        if (symlink(sim.SlavePath().c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "ultsim: cannot link %s: %s\n", options.link.c_str(), std::strerror(errno));
            return 1;
        }
    }
    sim.Start();
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);

    size_t printed = 0;
    {
        EventScheduler scheduler(sim, options.events);
        const timespec tick{0, 100'000'000};
        for (;;) {
            const int signal = sigtimedwait(&stopSignals, nullptr, &tick);
            if (options.trace) PrintTrace(sim, printed);
            if (signal == SIGINT || signal == SIGTERM) break;
        }
    }
    sim.Stop();
    if (options.trace) PrintTrace(sim, printed);
    if (!options.link.empty()) unlink(options.link.c_str());
    return 0;
}
