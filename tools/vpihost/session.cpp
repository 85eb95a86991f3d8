// Bringing one driver instance up and down, and the status gates a host polls.
#include "vpihost/session.h"

#include "ultsim/network_file.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "vpihost/events.h"
#include "vpihost/port_watch.h"

namespace vpihost {
namespace {

const char* const kCommStateNames[] = {
    "starting, no modem status yet", "modem status 1",   "modem status 2",
    "scanning the stations",         "normal operation", "normal operation, initial read done",
};

// The status gates are read without an address text of their own; the
// driver quotes this one should it ever log about them.
constexpr const char kStatusGateText[] = "xxxS";

// A pseudo-terminal's path may be longer than the host record's port name
// (/dev/pts/100 and up): a short link in /tmp stands in for it.
std::string ShortLinkTo(const std::string& target) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string link =
            "/tmp/vh" + std::to_string((static_cast<unsigned>(getpid()) + attempt) % 10000);
        if (symlink(target.c_str(), link.c_str()) == 0) return link;
    }
    return {};
}

}  // namespace

LineSettings MakeLineSettings(const Options& options, const VpiInfo& info) {
    LineSettings line;
    line.port = options.port;
    line.baud =
        static_cast<uint16_t>(options.baud.value_or(info.defaultBaudRate ? info.defaultBaudRate : 9600));
    line.dataBits =
        static_cast<uint16_t>(options.dataBits.value_or(info.defaultDataBits ? info.defaultDataBits : 8));
    line.stopBits = static_cast<uint16_t>(options.stopBits.value_or(info.defaultStopBits == 2 ? 2 : 0));
    line.parity =
        static_cast<uint16_t>(options.parity.value_or(info.defaultParity <= 4 ? info.defaultParity : 0));
    line.timeout = options.timeout;
    return line;
}

std::string DescribeLine(const LineSettings& line) {
    return std::to_string(line.baud) + " baud, " + std::to_string(line.dataBits) + " data bits, parity " +
           ParityName(line.parity) + ", " + StopBitsName(line.stopBits) + " stop bit" +
           (line.stopBits == 0 ? "" : "s");
}

unsigned BitsPerCharacter(const LineSettings& line) {
    return 1u + line.dataBits + (line.parity == 0 ? 0u : 1u) + (line.stopBits == 0 ? 1u : 2u);
}

const char* CommStateName(int commState) {
    if (commState < 0) return "no port";
    return commState < 6 ? kCommStateNames[commState] : "unknown";
}

Session::~Session() {
    End();
    activity_.reset();
    simulator_.reset();
    tap_.reset();
    if (!portLink_.empty()) unlink(portLink_.c_str());
}

bool Session::Simulate(LineSettings& line, const std::string& networkFile, std::string& error) {
    simulator_ = std::make_unique<ultsim::Simulator>();
    if (!simulator_->OpenPty()) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    simulator_->SetBaud(line.baud, BitsPerCharacter(line));
    if (networkFile.empty()) {
        SetUpDemoNetwork(*simulator_);
    } else {
        // A network written by hand replaces the demo network and its changing values.
        const ultsim::NetworkParseResult parsed = ultsim::ReadNetworkFile(networkFile);
        if (!parsed.network) {
            error = parsed.error;
            return false;
        }
        ultsim::Apply(*parsed.network, *simulator_);
        ownNetwork_ = true;
    }
    simulator_->Start();
    line.port = simulator_->SlavePath();
    return ShortenPort(line, error);
}

bool Session::ShortenPort(LineSettings& line, std::string& error) {
    if (line.port.size() <= kMaxPortName) return true;
    portLink_ = ShortLinkTo(line.port);
    if (portLink_.empty()) {
        error = "no short name in /tmp for " + line.port;
        return false;
    }
    line.port = portLink_;
    return true;
}

bool Session::Tap(LineSettings& line, std::string& error) {
    const TapSettings settings{line.baud, line.dataBits, line.parity, line.stopBits};
    // The driver finds a COM name's device on its own; the tool needs the path.
    const std::string device = DevicePathOf(line.port);
    if (device.empty()) {
        error = "give the device path of '" + line.port + "' (for example /dev/ttyS0)";
        return false;
    }
    tap_ = std::make_unique<LineTap>();
    if (!tap_->Open(device, settings, error)) return false;
    tappedDevice_ = device;
    line.port = tap_->DriverPort();
    return ShortenPort(line, error);
}

std::vector<std::string> Session::TakeNotes() {
    return tap_ ? tap_->TakeNotes() : std::vector<std::string>{};
}

std::vector<TraceLine> Session::TakeTrace() {
    std::vector<TraceLine> lines;
    if (tap_) {
        for (LineTap::Passed& passed : tap_->TakeTraffic())
            lines.push_back({passed.realTimeNs, passed.fromDriver, std::move(passed.bytes)});
        return lines;
    }
    if (!simulator_) return lines;
    // The simulator stamps with the steady clock; the view shows wall-clock times.
    const int64_t steadyNow = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count();
    const int64_t offset = RealTimeNs() - steadyNow;
    const std::vector<ultsim::LineEvent> events = simulator_->Trace(traceSeen_);
    traceSeen_ += events.size();
    for (const ultsim::LineEvent& event : events)
        lines.push_back({static_cast<int64_t>(event.monotonicNs) + offset, event.fromDriver, event.bytes});
    return lines;
}

void Session::StartActivity() {
    if (simulator_ && !activity_ && !ownNetwork_) activity_ = std::make_unique<DemoActivity>(*simulator_);
}

int32_t Session::ColdStart(const LineSettings& line) {
    ComSettings settings{};
    std::strncpy(settings.portName, line.port.c_str(), sizeof settings.portName - 1);
    settings.portEnabled = 1;
    settings.timeout = line.timeout;
    settings.baudRate = line.baud;
    settings.dataBits = line.dataBits;
    settings.stopBits = line.stopBits;
    settings.parity = line.parity;
    const int32_t result = driver_.Call(VPI_COLD_START, &settings, sizeof settings);
    // After a failed ColdStart no receiver thread runs that EndVpi could wait for.
    started_ = result == VPI_DONE;
    return result;
}

bool Session::WaitForNetwork(int commState, double seconds, const std::function<bool()>& keepWaiting) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (EventSink::Instance().NetworkScanned() && CommState() >= commState) return true;
        if (std::chrono::steady_clock::now() >= deadline || !keepWaiting()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int Session::ReadStatus(uint32_t address) {
    ValueArea area;
    GateRequest request{};
    request.addressText = kStatusGateText;
    request.station = 1000;
    request.memoryType = 'S';
    request.address = address;
    request.bitNumber = -1;
    request.dataWidth = 16;
    request.count = 1;
    request.value = area.bytes;
    if (driver_.Call(VPI_SINGLE_READ, &request, sizeof request) != VPI_DONE) return -1;
    return static_cast<int>(DecodeSingle(area, 'S'));
}

int Session::CommState() {
    return started_ ? ReadStatus(1000) : -1;
}
int Session::StationStatus(unsigned station) {
    return started_ ? ReadStatus(station) : -1;
}

int32_t Session::End() {
    if (!started_ || ended_) return endResult_;
    ended_ = true;
    endResult_ = driver_.Call(VPI_END_VPI, nullptr, 0);
    return endResult_;
}

}  // namespace vpihost
