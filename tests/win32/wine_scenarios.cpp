// The shipped TELMOR.DLL under Wine, loaded the way a host loads it, against
// the substation network simulator on the far end of a COM port (Wine maps
// the port to the simulator's pseudo-terminal). Real time: the start-up
// pause, the status request and the scan take a few seconds.
//
// usage: wine_scenarios COMn [part of a case name]   (the simulator serves station 12)
// Without a name the cases for a quiet simulator run; the unsolicited case
// runs only by name, against a simulator that sends random value messages and
// a power-up message (E070) some 12 s after it starts.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "telmor/vpi.h"
#include "veldan/veldan_host.h"

namespace {

using VpiMainFn = int32_t (*)(VpiCallBlock*);

std::string g_port = "COM5";
VpiMainFn g_vpiMain = nullptr;

// Real milliseconds on the performance counter: GetTickCount64 moves in
// steps too coarse for the fast clock's short waits.
ULONGLONG RealNow() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>(counter.QuadPart) * 1000u / static_cast<ULONGLONG>(frequency.QuadPart);
}

std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    for (size_t i = 0; i < VeldanLogCount(); ++i) {
        int level = 0;
        char text[2048];
        if (VeldanGetLogLine(i, &level, text, sizeof text) == 0)
            lines.push_back(std::to_string(level) + " " + text);
    }
    return lines;
}

size_t CountLogged(const std::string& prefix) {
    size_t count = 0;
    for (const std::string& line : LogLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

bool WaitLogged(const std::string& prefix, ULONGLONG realMs) {
    const ULONGLONG until = RealNow() + realMs;
    while (CountLogged(prefix) == 0) {
        if (RealNow() >= until) return false;
        Sleep(20);
    }
    return true;
}

// One driver instance in a block the host allocates.
struct Instance {
    alignas(8) unsigned char context[VPI_CONTEXT_SIZE]{};
    uint32_t number = 1;

    int32_t Call(uint32_t code, void* params = nullptr, uint32_t size = 0) {
        VpiCallBlock block{context, code, number, size, params};
        return g_vpiMain(&block);
    }
    int32_t ColdStart(const std::string& port) {
        ComSettings settings{};
        std::strncpy(settings.portName, port.c_str(), sizeof settings.portName - 1);
        settings.portEnabled = 1;
        // 5 s, the shortest without a warning: the port's read time-out after
        // ReOpenCom, and so the longest EndVpi waits for the receiver.
        settings.timeout = 500;
        settings.baudRate = 9600;
        settings.dataBits = 7;
        settings.stopBits = 0;
        settings.parity = 2;
        return Call(VPI_COLD_START, &settings, sizeof settings);
    }
};

// A gate as the host keeps it: the parsed address and a value area.
struct Gate {
    std::string address;
    GateRequest request{};
    alignas(8) unsigned char area[256]{};

    Gate(const std::string& text, int gateType) : address(text) {
        GateRecord record{};
        record.addressText = address.c_str();
        record.gateType = gateType;
        VpiCallBlock block{nullptr, VPI_SINGLE_ADDRESS_PARSER, 1, sizeof record, &record};
        parsed = g_vpiMain(&block);
        request.addressText = address.c_str();
        request.station = record.station;
        request.memoryType = record.memoryType;
        request.address = record.address;
        request.bitNumber = record.bitNumber;
        request.dataWidth = record.dataWidth;
        request.count = 1;
        request.value = area;
    }
    int16_t Value16() const {
        int16_t value = 0;
        std::memcpy(&value, area + 2, sizeof value);
        return value;
    }
    void Set16(int16_t value) { std::memcpy(area + 2, &value, sizeof value); }
    int32_t parsed = -1;
};

int32_t Read(Instance& instance, Gate& gate) {
    return instance.Call(VPI_SINGLE_READ, &gate.request, sizeof gate.request);
}

int32_t Write(Instance& instance, Gate& gate) {
    return instance.Call(VPI_SINGLE_WRITE, &gate.request, sizeof gate.request);
}

bool NamedObjectExists(const char* name, bool mutex) {
    HANDLE object = mutex ? OpenMutexA(SYNCHRONIZE, FALSE, name) : OpenEventA(SYNCHRONIZE, FALSE, name);
    if (object != nullptr) CloseHandle(object);
    return object != nullptr;
}

constexpr const char* kObjectNames[] = {"TELMOR01MutexSem", "TELMOR01EventSem", "TELMOR01WriteEventSem",
                                        "TELMOR01ReadEventSem"};

Instance g_instance;
uint32_t g_initialGate = 0;

void GetVpiInfoDescribesTheDriver() {
    VpiInfo info{};
    Instance none;
    CHECK(none.Call(VPI_GET_VPI_INFO, &info, sizeof info) == VPI_DONE);
    CHECK(info.contextSize == VPI_CONTEXT_SIZE);
    CHECK(info.shortName != nullptr && info.banner != nullptr);
    CHECK(info.defaultBaudRate == 9600 && info.defaultDataBits == 7);
    CHECK(none.Call(99) == VPI_UNABLE);
}

void ColdStartBringsTheNetworkToTheRunPhase() {
    VeldanReset();
    CHECK(VeldanDefineGate(1, "012A05", 0, &g_initialGate) == 0);
    const ULONGLONG start = RealNow();
    CHECK(g_instance.ColdStart(g_port) == VPI_DONE);
    CHECK(CountLogged("64 TELMOR> OpenCom() exited OK, file handle ") == 1);
    // The instance's objects are the real named kernel objects.
    for (const char* name : kObjectNames) {
        CHECK_NOTE(NamedObjectExists(name, std::strstr(name, "Mutex") != nullptr), name);
    }
    CHECK(WaitLogged("64 TELMOR> UnsolThread() info, E069 received, scan array done", 20000));
    CHECK(WaitLogged("64 TELMOR> ReadStations() info, ... initialising all values done", 20000));
    std::printf("  run phase and initial read after %llu ms\n",
                static_cast<unsigned long long>(RealNow() - start));
    // The initial read put the station's values into the host's gates.
    uint32_t puts = 0;
    CHECK(VeldanGetGate(g_initialGate, nullptr, nullptr, &puts, nullptr) == 0);
    CHECK(puts >= 1);
    CHECK(CountLogged("64 TELMOR> GetChar()") == 0);
    CHECK(CountLogged("64 TELMOR> Send()") == 0);
}

void WritesAndReadsGoOverTheLine() {
    Gate setpoint("012V05", 0);
    CHECK(setpoint.parsed == VPI_DONE);
    setpoint.Set16(123);
    CHECK(Write(g_instance, setpoint) == VPI_DONE);
    Gate readBack("012V05", 0);
    CHECK(Read(g_instance, readBack) == VPI_DONE);
    CHECK(readBack.Value16() == 123);
    setpoint.Set16(-1);  // out of the plain value's range: refused before the line
    CHECK(Write(g_instance, setpoint) != VPI_DONE);
    Gate analog("012A05", 0);
    CHECK(Read(g_instance, analog) == VPI_DONE);
    // A station the network does not know is answered with an error reply:
    // three attempts in normal operation, then the read is given up.
    Gate unknown("013A05", 0);
    const int32_t refused = Read(g_instance, unknown);
    CHECK_NOTE(refused == VPI_UNABLE, std::to_string(refused));
    CHECK(CountLogged("64 TELMOR> DoRead() error msg 'NO REPLY ON REQUEST (67)' received, '013A05'") == 3);
}

void PortClosesUnderTheReceiverAndReopens() {
    CHECK(g_instance.Call(VPI_REOPEN_COM) == VPI_UNABLE);  // open without sharing
    const ULONGLONG start = RealNow();
    CHECK(g_instance.Call(VPI_CLOSE_COM) == VPI_DONE);  // the receiver waits in a read meanwhile
    CHECK_NOTE(RealNow() - start < 2000, std::to_string(RealNow() - start) + " ms");
    Gate gate("012V05", 0);
    CHECK(Read(g_instance, gate) == VPI_UNABLE);
    CHECK(g_instance.Call(VPI_REOPEN_COM) == VPI_DONE);
    CHECK(Read(g_instance, gate) == VPI_DONE);
    CHECK(gate.Value16() == 123);
}

void EndVpiStopsTheReceiverAndClosesEverything() {
    const ULONGLONG start = RealNow();
    CHECK(g_instance.Call(VPI_END_VPI) == VPI_DONE);
    const ULONGLONG elapsed = RealNow() - start;
    CHECK_NOTE(elapsed < 8000, std::to_string(elapsed) + " ms");  // at most one read time-out of 5 s
    CHECK(CountLogged("64 TELMOR> UnsolThread() info, closing thread") >= 1);
    CHECK(CountLogged("64 TELMOR> EndVpi() exited, 0") == 1);
    for (const char* name : kObjectNames) {
        CHECK_NOTE(!NamedObjectExists(name, std::strstr(name, "Mutex") != nullptr), name);
    }
    // Nothing of the port stayed open: it opens again at once.
    HANDLE port = CreateFileA(("\\\\.\\" + g_port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    CHECK(port != INVALID_HANDLE_VALUE);
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
}

void NullPortRunsQuietlyAndEnds() {
    VeldanReset();
    Instance instance;
    instance.number = 2;
    CHECK(instance.ColdStart("NUL") == VPI_DONE);
    Sleep(3000);  // start-up pause, status request, reads that time out
    // The null device's reads wait their time-out instead of failing at once.
    CHECK(CountLogged("64 TELMOR> GetChar()") == 0);
    const ULONGLONG start = RealNow();
    CHECK(instance.Call(VPI_END_VPI) == VPI_DONE);
    CHECK_NOTE(RealNow() - start < 8000, std::to_string(RealNow() - start) + " ms");
}

// Station 12's value points: 0..31 and 40..55.
std::vector<std::string> PointAddresses(char memoryType) {
    std::vector<std::string> addresses;
    for (unsigned point = 0; point < 56; ++point) {
        if (point >= 32 && point < 40) continue;
        char text[8];
        std::snprintf(text, sizeof text, "012%c%02u", memoryType, point);
        addresses.push_back(text);
    }
    return addresses;
}

uint32_t TotalPuts(const std::vector<uint32_t>& gates) {
    uint32_t total = 0;
    for (uint32_t gate : gates) {
        uint32_t puts = 0;
        if (VeldanGetGate(gate, nullptr, nullptr, &puts, nullptr) == 0) total += puts;
    }
    return total;
}

// The network's own state (commState) through the status gate of a number
// beyond the last station.
int16_t NetworkState(Instance& instance) {
    Gate status("012S", 0);
    status.request.address = 1000;
    return Read(instance, status) == VPI_DONE ? status.Value16() : int16_t{-1};
}

bool WaitNetworkState(Instance& instance, int16_t state, ULONGLONG realMs) {
    const ULONGLONG until = RealNow() + realMs;
    while (NetworkState(instance) != state) {
        if (RealNow() >= until) return false;
        Sleep(50);
    }
    return true;
}

constexpr const char* kScanDone = "64 TELMOR> UnsolThread() info, E069 received, scan array done";
constexpr const char* kPowerUp =
    "64 TELMOR> UnsolThread() warning, power up message received (E070), restarting UnsolThread()";

// Value messages reach the gates they name while the network runs; a power-up
// message restarts the receiver, which brings the network up again.
void UnsolicitedValuesAndRestartOnPowerUp() {
    VeldanReset();
    std::vector<uint32_t> gates;
    for (char memoryType : {'A', 'H'}) {
        for (const std::string& address : PointAddresses(memoryType)) {
            uint32_t id = 0;
            CHECK(VeldanDefineGate(1, address.c_str(), 0, &id) == 0);
            gates.push_back(id);
        }
    }
    Instance instance;
    CHECK(instance.ColdStart(g_port) == VPI_DONE);
    CHECK(WaitLogged(kScanDone, 20000));
    CHECK(WaitLogged("64 TELMOR> ReadStations() info, ... initialising all values done", 20000));
    CHECK(WaitNetworkState(instance, 5, 5000));
    // Some 20 messages a second, most of them for these gates.
    const uint32_t before = TotalPuts(gates);
    Sleep(3000);
    const uint32_t after = TotalPuts(gates);
    CHECK_NOTE(after >= before + 10, std::to_string(before) + " -> " + std::to_string(after));
    std::printf("  %u puts in 3 s of value messages\n", after - before);
    CHECK_NOTE(CountLogged(kPowerUp) == 0, "the power-up message came before the values were watched");

    CHECK(WaitLogged(kPowerUp, 20000));
    const ULONGLONG restart = RealNow();
    const ULONGLONG until = restart + 20000;
    while (CountLogged(kScanDone) < 2 && RealNow() < until) Sleep(20);
    CHECK(CountLogged(kScanDone) == 2);
    CHECK(WaitNetworkState(instance, 5, 20000));
    std::printf("  network up again %llu ms after the power-up message\n",
                static_cast<unsigned long long>(RealNow() - restart));
    // And the values flow again.
    const uint32_t restarted = TotalPuts(gates);
    Sleep(1500);
    CHECK_NOTE(TotalPuts(gates) > restarted, std::to_string(restarted));
    CHECK(instance.Call(VPI_END_VPI) == VPI_DONE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_port = argv[1];
    HMODULE driver = LoadLibraryA("TELMOR.DLL");
    if (driver == nullptr) {
        std::printf("cannot load TELMOR.DLL, error %lu\n0 passed, 1 failed\n", GetLastError());
        return 1;
    }
    // The host finds the entry point by its plain name.
    g_vpiMain = reinterpret_cast<VpiMainFn>(reinterpret_cast<void*>(GetProcAddress(driver, "VpiMain")));
    if (g_vpiMain == nullptr) {
        std::printf("TELMOR.DLL exports no VpiMain\n0 passed, 1 failed\n");
        return 1;
    }
    // Every line the driver logs, for a look after a failed run.
    VeldanLogToFile("wine_scenarios.log");
    std::vector<wintest::Case> cases = {
        {"GetVpiInfoDescribesTheDriver", GetVpiInfoDescribesTheDriver},
        {"ColdStartBringsTheNetworkToTheRunPhase", ColdStartBringsTheNetworkToTheRunPhase},
        {"WritesAndReadsGoOverTheLine", WritesAndReadsGoOverTheLine},
        {"PortClosesUnderTheReceiverAndReopens", PortClosesUnderTheReceiverAndReopens},
        {"EndVpiStopsTheReceiverAndClosesEverything", EndVpiStopsTheReceiverAndClosesEverything},
        {"NullPortRunsQuietlyAndEnds", NullPortRunsQuietlyAndEnds},
    };
    if (argc > 2)
        cases.push_back({"UnsolicitedValuesAndRestartOnPowerUp", UnsolicitedValuesAndRestartOnPowerUp});
    return wintest::RunCases(cases, argc > 2 ? argv[2] : nullptr);
}
