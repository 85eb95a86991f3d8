// The demo network's values and the changes it sends.
#include "vpihost/demo_network.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace vpihost {
namespace {

constexpr unsigned kDigitalPoints = 6;  // H00..H05
constexpr unsigned kAnalogPoints = 6;   // A00..A05
constexpr unsigned kCounterPoints = 3;  // D00..D02

uint8_t StartDigital(unsigned station, unsigned address) {
    return static_cast<uint8_t>((station * 37 + address * 11 + 5) & 0xFF);
}

// Tenths of a degree: around 20 °C, a little different per station and point.
int16_t StartAnalog(unsigned station, unsigned address) {
    return static_cast<int16_t>(195 + 12 * address + 3 * station);
}

uint32_t StartCounter(unsigned station, unsigned address) {
    return 10000 * station + 1234 * address;
}

std::string Address(unsigned station, char letter, unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "%03u%c%02u", station % 1000, letter, address % 100);
    return text;
}

}  // namespace

std::vector<ultsim::Station> DemoStations() {
    return {{1, true}, {2, true}, {5, false}, {12, true}};
}

void SetUpDemoNetwork(ultsim::Simulator& simulator) {
    simulator.SetStations(DemoStations());
    // A real line unit takes a moment to collect the stations' responses.
    simulator.SetScanDelayMs(300);
    for (const ultsim::Station& station : DemoStations()) {
        const unsigned s = station.number;
        for (unsigned a = 0; a < kDigitalPoints; ++a) simulator.SetValue(s, 'H', a, StartDigital(s, a));
        for (unsigned a = 0; a < kAnalogPoints; ++a)
            simulator.SetValue(s, 'A', a, static_cast<uint32_t>(StartAnalog(s, a)));
        for (unsigned a = 0; a < kCounterPoints; ++a) simulator.SetValue(s, 'D', a, StartCounter(s, a));
        // Setpoints to write and read back: 21.0 °C and up.
        for (unsigned a = 0; a < 3; ++a) simulator.SetValue(s, 'I', a, 210 + 5 * a);
    }
}

std::vector<GateSpec> DemoGates() {
    std::vector<GateSpec> gates;
    for (const ultsim::Station& station : DemoStations()) {
        if (!station.answers) continue;
        const unsigned s = station.number;
        for (unsigned a = 0; a < kDigitalPoints; ++a) {
            gates.push_back({Address(s, 'H', a), 0, 1, "", 0});
            for (unsigned bit = 0; bit < 8; ++bit)
                gates.push_back({Address(s, 'H', a) + static_cast<char>('0' + bit), 6, 1, "", 0});
        }
        for (unsigned a = 0; a < kAnalogPoints; ++a) gates.push_back({Address(s, 'A', a), 1, 0.1, "°C", 0});
        for (unsigned a = 0; a < kCounterPoints; ++a) gates.push_back({Address(s, 'D', a), 4, 1, "kWh", 0});
    }
    return gates;
}

DemoActivity::DemoActivity(ultsim::Simulator& simulator) : simulator_(simulator) {
    thread_ = std::thread([this] { Run(); });
}

DemoActivity::~DemoActivity() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DemoActivity::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        random_ = random_ * 1103515245u + 12345u;
        const auto pause = std::chrono::milliseconds(300 + (random_ >> 16) % 700);
        if (wake_.wait_for(lock, pause, [this] { return stop_; })) break;
        SendOneChange();
    }
}

// mutex_ held. One station changes one value, as the network reports it:
// a temperature drifts, a digital signal switches, or a counter counts on
// (the combined message also carries the point's digital and analog values).
void DemoActivity::SendOneChange() {
    auto next = [this](uint32_t range) {
        random_ = random_ * 1103515245u + 12345u;
        return (random_ >> 16) % range;
    };
    static const unsigned kAnswering[] = {1, 2, 12};
    const unsigned station = kAnswering[next(3)];
    switch (next(3)) {
        case 0: {
            const unsigned address = next(kAnalogPoints);
            const auto now = static_cast<int16_t>(simulator_.GetValue(station, 'A', address));
            const int value = std::clamp(now + static_cast<int>(next(7)) - 3, -400, 900);
            simulator_.SendAnalogMessage(station, address, static_cast<int16_t>(value));
            break;
        }
        case 1: {
            const unsigned address = next(kDigitalPoints);
            const auto byte =
                static_cast<uint8_t>(simulator_.GetValue(station, 'H', address) ^ (1u << next(8)));
            simulator_.SendDigitalMessage(station, address, byte);
            break;
        }
        default: {
            const unsigned address = next(kCounterPoints);
            const auto byte = static_cast<uint8_t>(simulator_.GetValue(station, 'H', address));
            const auto analog = static_cast<int16_t>(simulator_.GetValue(station, 'A', address));
            const uint32_t counter = (simulator_.GetValue(station, 'D', address) + 1 + next(20)) % 100000000u;
            simulator_.SendCombinedMessage(station, address, byte, analog, counter);
            break;
        }
    }
}

}  // namespace vpihost
