// Driver instance and simulated network for scenario tests.
#include "support/scenario.h"

#include "support/pty.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "veldan/veldan_host.h"

namespace telmor::test {

std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const size_t count = VeldanLogCount();
    for (size_t i = 0; i < count; ++i) {
        int level = 0;
        char text[2048];
        if (VeldanGetLogLine(i, &level, text, sizeof(text)) == 0)
            lines.push_back(std::to_string(level) + " " + text);
    }
    return lines;
}

bool Logged(const std::string& levelAndText) {
    for (const std::string& line : LogLines()) {
        if (line == levelAndText) return true;
    }
    return false;
}

size_t CountLogged(const std::string& prefix) {
    size_t count = 0;
    for (const std::string& line : LogLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

bool WaitUntil(const std::function<bool()>& condition, unsigned realMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int32_t DriverInstance::Call(uint32_t code, void* params) {
    VpiCallBlock block{storage, code, instanceNo, 48, params};
    return VpiMain(&block);
}

int32_t DriverInstance::ColdStart(const std::string& port, int32_t timeout, int32_t portEnabled) {
    ComSettings settings{};
    SetPortName(settings.portName, port);
    settings.portEnabled = portEnabled;
    settings.timeout = timeout;
    settings.baudRate = 9600;
    settings.dataBits = 7;
    settings.stopBits = 0;
    settings.parity = 2;
    started = true;
    ended = false;
    return Call(VPI_COLD_START, &settings);
}

int32_t DriverInstance::EndVpi() {
    ended = true;
    return Call(VPI_END_VPI);
}

DriverInstance::~DriverInstance() {
    if (started && !ended) EndVpi();
}

Gate::Gate(const std::string& text, int gateType, int blockSize) : address(text) {
    GateRecord record{};
    record.addressText = address.c_str();
    record.gateType = gateType;
    record.blockSize = blockSize;
    VpiCallBlock block{
        nullptr, blockSize != 0 ? uint32_t{VPI_BLOCK_ADDRESS_PARSER} : uint32_t{VPI_SINGLE_ADDRESS_PARSER}, 1,
        sizeof(record), &record};
    VpiMain(&block);
    request.addressText = address.c_str();
    request.station = record.station;
    request.memoryType = record.memoryType;
    request.address = record.address;
    request.bitNumber = record.bitNumber;
    request.dataWidth = record.dataWidth;
    request.count = blockSize != 0 ? blockSize : 1;
    request.value = area;
}

int16_t Gate::Value16() const {
    int16_t value = 0;
    std::memcpy(&value, area + 2, sizeof(value));
    return value;
}

uint16_t Gate::UValue16() const {
    uint16_t value = 0;
    std::memcpy(&value, area + 2, sizeof(value));
    return value;
}

uint32_t Gate::Value32() const {
    uint32_t value = 0;
    std::memcpy(&value, area, sizeof(value));
    return value;
}

void Gate::Set16(int16_t value) {
    std::memcpy(area + 2, &value, sizeof(value));
}
void Gate::Set32(uint32_t value) {
    std::memcpy(area, &value, sizeof(value));
}

Network::Network(std::vector<ultsim::Station> stations, uint32_t instanceNo) {
    driver.instanceNo = instanceNo;
    sim.SetStations(std::move(stations));
    sim.OpenPty();
    sim.Start();
}

Network::~Network() {
    if (driver.started && !driver.ended) driver.EndVpi();
    sim.Stop();
}

bool Network::Start(bool untilIdle, int32_t timeout) {
    if (driver.ColdStart(sim.SlavePath(), timeout) != VPI_DONE) return false;
    const uint8_t wanted = untilIdle ? 5 : 4;
    return WaitUntil([&] { return driver.context().commState.load() >= wanted; }, 10000);
}

int32_t Network::Read(Gate& gate) {
    VpiCallBlock block{driver.storage,
                       gate.request.count == 1 ? uint32_t{VPI_SINGLE_READ} : uint32_t{VPI_BLOCK_READ},
                       driver.instanceNo, sizeof(GateRequest), &gate.request};
    return VpiMain(&block);
}

int32_t Network::Write(Gate& gate) {
    VpiCallBlock block{driver.storage, VPI_SINGLE_WRITE, driver.instanceNo, sizeof(GateRequest),
                       &gate.request};
    return VpiMain(&block);
}

}  // namespace telmor::test
