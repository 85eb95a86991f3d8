// A driver instance on one end of a pseudo-terminal and the simulated
// substation network on the other, with the driver's fast clock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/context.h"
#include "telmor/vpi.h"
#include "ultsim/simulator.h"

namespace telmor::test {

// The log lines the host library received, as "LEVEL text".
std::vector<std::string> LogLines();
// True when a line equal to "LEVEL text" was logged.
bool Logged(const std::string& levelAndText);
// Number of logged lines that begin with `prefix` ("LEVEL text...").
size_t CountLogged(const std::string& prefix);

// Polls `condition` until it holds or `realMs` real milliseconds passed.
bool WaitUntil(const std::function<bool()>& condition, unsigned realMs = 5000);

struct DriverInstance {
    alignas(8) unsigned char storage[VPI_CONTEXT_SIZE]{};
    uint32_t instanceNo = 1;
    bool started = false;
    bool ended = false;

    DriverContext& context() { return *reinterpret_cast<DriverContext*>(storage); }
    int32_t Call(uint32_t code, void* params = nullptr);
    int32_t ColdStart(const std::string& port, int32_t timeout = 3000, int32_t portEnabled = 1);
    int32_t EndVpi();
    ~DriverInstance();
};

// A gate request with its own value area.
struct Gate {
    std::string address;
    GateRequest request{};
    alignas(8) unsigned char area[256]{};

    // Parses `address` with the driver's single-gate (or block) check so the
    // parsed fields are the driver's own.
    Gate(const std::string& text, int gateType, int blockSize = 0);
    int16_t Value16() const;
    uint16_t UValue16() const;
    uint32_t Value32() const;
    void Set16(int16_t value);
    void Set32(uint32_t value);
};

class Network {
public:
    explicit Network(std::vector<ultsim::Station> stations = {{12, true}}, uint32_t instanceNo = 1);
    ~Network();

    // ColdStart on the simulator's pty, then wait until the network is in
    // normal operation (commState >= 4) or, with `untilIdle`, until the initial
    // read is done (commState 5).
    bool Start(bool untilIdle = true, int32_t timeout = 3000);
    int32_t Read(Gate& gate);   // SingleRead or BlockRead by the gate's count
    int32_t Write(Gate& gate);  // SingleWrite
    int32_t EndVpi() { return driver.EndVpi(); }

    ultsim::Simulator sim;
    DriverInstance driver;
};

}  // namespace telmor::test
