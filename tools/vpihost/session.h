// One driver instance brought up the way a host does it: line settings,
// ColdStart, waiting for the network, a few status reads, EndVpi. With
// --simulate the line is a pseudo-terminal served by the simulator.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ultsim/simulator.h"
#include "vpihost/demo_network.h"
#include "vpihost/driver.h"
#include "vpihost/line_tap.h"
#include "vpihost/options.h"
#include "vpihost/trace_line.h"

namespace vpihost {

// The largest port name the host record holds.
constexpr size_t kMaxPortName = VPI_PORT_NAME_SIZE - 1;

struct LineSettings {
    std::string port;
    uint16_t baud = 0;
    uint16_t dataBits = 0;
    uint16_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    uint16_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t timeout = 0;    // hundredths of a second
};

// The options' settings, the driver's defaults for the rest. The driver
// reports its default stop bits as a count (1), the record wants a code.
LineSettings MakeLineSettings(const Options& options, const VpiInfo& info);
std::string DescribeLine(const LineSettings& line);  // "9600 baud, 7 data bits, parity space, 1 stop bit"
unsigned BitsPerCharacter(const LineSettings& line);

class Session {
public:
    explicit Session(Driver& driver) : driver_(driver) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the demo network on a pseudo-terminal, paced at the line's speed,
    // and makes it the port. False with the reason.
    bool Simulate(LineSettings& line, const std::string& networkFile, std::string& error);
    ultsim::Simulator* Simulator() { return simulator_.get(); }
    // Opens the real device `line.port` in the tool and makes a
    // pseudo-terminal passing its traffic through the port, so the trace can
    // show a real line. False with the reason.
    bool Tap(LineSettings& line, std::string& error);
    // The device behind the tap; empty without one.
    const std::string& TappedDevice() const { return tappedDevice_; }
    // What the tap saw of the device: lost, back.
    std::vector<std::string> TakeNotes();
    // Lets the simulated stations send their changes; called once the network
    // is up, as a line unit passes value messages on only then.
    void StartActivity();

    // The line traffic the simulator or the tap saw since the last call.
    std::vector<TraceLine> TakeTrace();

    int32_t ColdStart(const LineSettings& line);
    // Waits until the scan is done and commState has reached `commState` (4
    // normal operation, 5 initial read done). False after `seconds`, or as
    // soon as `keepWaiting` says no.
    bool WaitForNetwork(int commState, double seconds, const std::function<bool()>& keepWaiting);
    // The status gates: the network's commState, or whether a station answers.
    // -1 when the driver refuses the read (no port).
    int CommState();
    int StationStatus(unsigned station);
    // EndVpi, once; the simulator keeps serving until the session is destroyed.
    int32_t End();
    bool Started() const { return started_; }

private:
    int ReadStatus(uint32_t address);
    // A short link for a pseudo-terminal whose path the host record cannot hold.
    bool ShortenPort(LineSettings& line, std::string& error);

    Driver& driver_;
    std::unique_ptr<ultsim::Simulator> simulator_;
    bool ownNetwork_ = false;  // the network came from a file: no demo activity
    std::unique_ptr<DemoActivity> activity_;
    std::unique_ptr<LineTap> tap_;
    std::string tappedDevice_;
    std::string portLink_;  // a short name for a pty whose path does not fit
    size_t traceSeen_ = 0;
    bool started_ = false;
    bool ended_ = false;
    int32_t endResult_ = 0;
};

// A human name for commState 0..5.
const char* CommStateName(int commState);

}  // namespace vpihost
