// vpihost run: define the gates, ColdStart, and watch the network until the
// time is up or Ctrl-C, then EndVpi and the statistics.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "veldan_host.h"
#include "vpihost/banner_text.h"
#include "vpihost/commands.h"
#include "vpihost/console.h"
#include "vpihost/live_view.h"
#include "vpihost/port_watch.h"

namespace vpihost {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kStatusEveryNs = 250 * kNsPerMs;
constexpr int64_t kStationsEveryNs = 1000 * kNsPerMs;
constexpr int64_t kRenderEveryNs = 250 * kNsPerMs;
constexpr unsigned kStations = 1000;

// Asks the driver to check a gate or a block; the reason when it refuses.
std::optional<std::string> Refusal(Driver& driver, const GateSpec& spec) {
    GateRecord record{};
    const int32_t result = CheckGate(driver, record, spec.address.c_str(), spec.gateType, spec.blockSize);
    const std::vector<std::string> messages = LogLines(EventSink::Instance().Drain());
    if (result == VPI_DONE) return std::nullopt;
    return messages.empty() ? "(no message)" : messages.front();
}

// Defines one checked gate in the host library.
void Define(const GateSpec& spec, int instance, std::vector<GateRow>& rows) {
    GateRow row;
    row.spec = spec;
    if (VeldanDefineGate(instance, spec.address.c_str(), spec.gateType, &row.id) != 0) {
        std::fprintf(stderr, "vpihost: gate %s is defined twice, left out\n", spec.address.c_str());
        return;
    }
    VeldanSetScale(row.id, spec.scale, 0);
    rows.push_back(std::move(row));
}

// The gates from the file, or the demo network's; each checked by the
// driver and defined in the host library. Refused gates are reported and
// left out, as a host does. A block the driver accepts stands for its
// gates; those of its addresses that the network does not have (a block at
// 40 ends at 55) are left out without a word. False when the file has errors.
bool DefineGates(const Options& options, Driver& driver, std::vector<GateRow>& rows) {
    std::vector<GateSpec> specs;
    if (!options.gatesFile.empty()) {
        GateFile file = LoadGateFile(options.gatesFile);
        for (const std::string& error : file.errors) std::fprintf(stderr, "%s\n", error.c_str());
        if (!file.errors.empty()) return false;
        specs = std::move(file.gates);
    } else if (options.simulate) {
        specs = DemoGates();
    }
    EventSink::Instance().Drain();
    const int instance = static_cast<int>(driver.Instance() & 0xFF);
    for (const GateSpec& spec : specs) {
        if (const std::optional<std::string> refused = Refusal(driver, spec)) {
            const std::string where =
                spec.line ? options.gatesFile + ":" + std::to_string(spec.line) + ": " : "";
            std::fprintf(stderr, "vpihost: %s%s %s type %d refused, left out: %s\n", where.c_str(),
                         spec.blockSize ? "block" : "gate", spec.address.c_str(), spec.gateType,
                         refused->c_str());
            continue;
        }
        if (spec.blockSize == 0) {
            Define(spec, instance, rows);
            continue;
        }
        for (const GateSpec& member : BlockMembers(spec))
            if (!Refusal(driver, member)) Define(member, instance, rows);
    }
    return true;
}

LiveOutput::Mode OutputMode(const Options& options) {
    if (options.json) return LiveOutput::Mode::Json;
    if (options.csv) return LiveOutput::Mode::Csv;
    return isatty(STDOUT_FILENO) ? LiveOutput::Mode::Terminal : LiveOutput::Mode::Plain;
}

// Closes the port when the device is lost and reopens it once the device is
// back, saying so in the output. Only for a real port: the simulator's
// pseudo-terminal cannot go away under the program.
class DeviceRecovery {
public:
    DeviceRecovery(Driver& driver, LiveOutput& output, std::string port)
        : driver_(driver), output_(output), port_(std::move(port)), watch_(port_) {}

    void OnLog(const std::string& text, int64_t now) {
        if (watch_.OnLog(text, now) != PortWatch::Action::Close) return;
        output_.Say("device lost: " + port_);
        Close(now);
    }

    bool Lost() const { return watch_.Lost(); }

    void Tick(int64_t now) {
        switch (watch_.Tick(now, PathExists)) {
            case PortWatch::Action::None:
                break;
            case PortWatch::Action::Close:
                Close(now);
                break;
            case PortWatch::Action::Reopen:
                if (watch_.Reopened(driver_.Call(VPI_REOPEN_COM, nullptr, 0)))
                    output_.Say("device back: " + port_);
                break;
        }
    }

private:
    void Close(int64_t now) { watch_.Closed(driver_.Call(VPI_CLOSE_COM, nullptr, 0), now); }

    Driver& driver_;
    LiveOutput& output_;
    std::string port_;
    PortWatch watch_;
};

class Watch {
public:
    Watch(Session& session, LiveState& state, LiveOutput& output, bool trace, DeviceRecovery* recovery)
        : session_(session), state_(state), output_(output), trace_(trace), recovery_(recovery) {}

    // One pass of the main loop: events, the status gates, the view. The
    // status gates are not read while EndVpi runs: it closes the port under them.
    void Step(int64_t now, bool readStatus) {
        TakeEvents(now, readStatus);
        if (recovery_ && readStatus) recovery_->Tick(now);
        // Without a port the driver refuses the status gates, a log line each:
        // the view says "no port" until the device is back.
        const bool portClosed = recovery_ && recovery_->Lost();
        if (portClosed && state_.CommState() != -1) state_.OnCommState(-1, now);
        if (readStatus && !portClosed && now - lastStatusNs_ >= kStatusEveryNs) {
            lastStatusNs_ = now;
            const int commState = session_.CommState();
            const bool changed = commState != state_.CommState();
            state_.OnCommState(commState, now);
            if (changed || now - lastStationsNs_ >= kStationsEveryNs) {
                lastStationsNs_ = now;
                for (unsigned station = 0; station < kStations; ++station)
                    state_.OnStationStatus(station, session_.StationStatus(station), now);
            }
            if (commState >= 4 && EventSink::Instance().NetworkScanned()) session_.StartActivity();
        }
        if (ultsim::Simulator* simulator = session_.Simulator();
            simulator && now - lastRequestsNs_ >= kStationsEveryNs) {
            lastRequestsNs_ = now;
            CountNewRequests(*simulator);
        }
        output_.Notes(state_.TakeNotes());
        if (now - lastRenderNs_ >= kRenderEveryNs) {
            lastRenderNs_ = now;
            output_.Render(state_);
        }
    }

    // The last events after EndVpi.
    void Finish(int64_t now) {
        TakeEvents(now, false);
        if (ultsim::Simulator* simulator = session_.Simulator()) CountNewRequests(*simulator);
        output_.Notes(state_.TakeNotes());
    }

private:
    void CountNewRequests(const ultsim::Simulator& simulator) {
        const std::vector<std::string> frames = simulator.Requests(requestsSeen_);
        requestsSeen_ += frames.size();
        state_.CountRequests(frames);
    }

    // `recover`: act on a lost device; not while EndVpi closes the port itself.
    void TakeEvents(int64_t now, bool recover) {
        const std::vector<Event> events = EventSink::Instance().Drain();
        for (const Event& event : events) state_.OnEvent(event);
        if (trace_)
            for (const TraceLine& line : session_.TakeTrace()) state_.OnTrace(line);
        if (recovery_ && recover) {
            // The driver's lines first, then what the program made of them.
            output_.Notes(state_.TakeNotes());
            for (const Event& event : events)
                if (event.kind == Event::Kind::Log) recovery_->OnLog(event.text, now);
        }
        for (const std::string& note : session_.TakeNotes()) output_.Say(note);
    }

    Session& session_;
    LiveState& state_;
    LiveOutput& output_;
    bool trace_;
    DeviceRecovery* recovery_;
    int64_t lastStatusNs_ = 0;
    int64_t lastStationsNs_ = 0;
    int64_t lastRequestsNs_ = 0;
    size_t requestsSeen_ = 0;
    int64_t lastRenderNs_ = 0;
};

}  // namespace

int RunCommand(const Options& options) {
    if (!options.positional.empty()) return Fail(kExitUsage, "run takes no arguments (see --help)");
    Driver driver;
    VpiInfo info{};
    if (!PrepareDriver(options, driver, info)) return kExitUnavailable;
    CatchStopSignals();
    std::vector<GateRow> gates;
    if (!DefineGates(options, driver, gates)) return kExitDataError;

    Session session(driver);
    LineSettings line;
    if (const int code = PrepareLine(options, info, session, line); code != 0) return code;
    RunHeader header;
    header.shortName = info.shortName ? info.shortName : "driver";
    header.banner = Cp437ToUtf8(info.banner ? info.banner : "");
    header.port = session.TappedDevice().empty()
                      ? line.port
                      : session.TappedDevice() + " (traced through " + line.port + ")";
    header.line = DescribeLine(line);
    header.simulated = options.simulate;
    header.startNs = RealTimeNs();
    LiveState state(std::move(gates));
    LiveOutput output(OutputMode(options), header);
    if (state.Gates().empty())
        output.Say("no gates defined (--gates FILE): the view shows the network and its stations");
    output.Say(std::to_string(state.Gates().size()) + " gates defined; ColdStart");

    const int32_t started = session.ColdStart(line);
    std::optional<DeviceRecovery> recovery;
    // A tapped device is the tap's to recover: the driver's port stays.
    if (!options.simulate && session.TappedDevice().empty()) recovery.emplace(driver, output, line.port);
    Watch watch(session, state, output, options.trace, recovery ? &*recovery : nullptr);
    if (started != VPI_DONE) {
        watch.Finish(RealTimeNs());
        output.Say("ColdStart failed with result " + std::to_string(started));
        output.Summary(state, "ColdStart", started, RealTimeNs());
        return started;
    }
    Console console(driver, output.OutputMode() == LiveOutput::Mode::Terminal && isatty(STDIN_FILENO));
    const auto begin = std::chrono::steady_clock::now();
    const auto duration = std::chrono::duration<double>(options.durationSeconds);
    while (!StopRequested() &&
           (options.durationSeconds <= 0 || std::chrono::steady_clock::now() - begin < duration)) {
        console.Poll();
        for (const std::string& result : console.TakeResults()) output.Say(result);
        output.SetTyping(console.Typing());
        watch.Step(RealTimeNs(), true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    output.SetTyping({});
    output.Say(StopRequested() ? "stopped: EndVpi" : "time is up: EndVpi");
    output.Render(state);
    console.Finish();
    for (const std::string& result : console.TakeResults()) output.Say(result);
    // EndVpi may wait for transactions of the driver's initial read to time
    // out; the view goes on meanwhile.
    std::atomic<bool> ending{true};
    int32_t ended = VPI_DONE;
    std::thread ender([&] {
        ended = session.End();
        ending = false;
    });
    while (ending) {
        watch.Step(RealTimeNs(), false);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ender.join();
    watch.Finish(RealTimeNs());
    output.Summary(state, "EndVpi", ended, RealTimeNs());
    return ended == VPI_DONE ? 0 : ended;
}

}  // namespace vpihost
