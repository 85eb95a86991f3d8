// The built-in network of --simulate: a few stations whose temperatures
// drift, whose digital signals switch and whose counters count, so that the
// driver has spontaneous value messages to pass on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "ultsim/simulator.h"
#include "vpihost/gate_file.h"

namespace vpihost {

// Stations 1, 2 and 12 answer; station 5 is configured in the line unit but
// gives no response, as a station that is switched off.
std::vector<ultsim::Station> DemoStations();
// Sets the demo's stations and starting values in the simulator.
void SetUpDemoNetwork(ultsim::Simulator& simulator);
// The gates a host would define for the demo: per answering station the
// digital signals H00..H05 with their bits, the temperatures A00..A05 (in 0.1 °C)
// and the energy counters D00..D02.
std::vector<GateSpec> DemoGates();

// Sends value messages now and then from the demo's stations, as the values
// change. Stops when destroyed.
class DemoActivity {
public:
    explicit DemoActivity(ultsim::Simulator& simulator);
    ~DemoActivity();
    DemoActivity(const DemoActivity&) = delete;
    DemoActivity& operator=(const DemoActivity&) = delete;

private:
    void Run();
    void SendOneChange();

    ultsim::Simulator& simulator_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    uint32_t random_ = 12345;
    std::thread thread_;
};

}  // namespace vpihost
