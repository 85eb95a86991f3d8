// Everything the stand-in host keeps: gates, the record of the driver's calls,
// log lines, forced results and where log lines go. One mutex guards it all;
// the callbacks have a lock of their own so that they run without it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "veldan_host.h"

namespace veldan {

// Result codes of the services beyond 0 (done) and VELDAN_NO_SUCH_GATE.
inline constexpr int kBadArgument = 2;    // null pointer, reserved argument not 0, unserved constant
inline constexpr int kNotCookable = 3;    // the gate's type has no raw layout (text gates)
inline constexpr int kDuplicateGate = 1;  // VeldanDefineGate: address already defined

// Longest address a gate may have: the grammar allows 31 characters.
inline constexpr size_t kMaxAddressLength = sizeof(VeldanCall{}.address) - 1;

// The in-memory record keeps this many calls and log lines; later ones still
// reach the sinks and callbacks. Bounds a host that runs for days.
inline constexpr size_t kMaxRecords = 100000;

struct Gate {
    int instance = 0;
    std::string address;
    int gateType = 0;
    double factor = 1.0;
    double offset = 0.0;
    double value = 0.0;
    uint32_t raw = 0;
    uint32_t putCount = 0;
    int64_t lastPutNs = 0;
    // The raw value of a cook not yet followed by a put: the next put keeps it
    // as the gate's raw value; a put without it (a bit) keeps the value itself.
    bool cookPending = false;
    uint32_t cookedRaw = 0;
};

struct LogLine {
    int level = 0;
    std::string text;
};

using GateKey = std::pair<int, std::string>;   // instance, address
using ForceKey = std::pair<int, std::string>;  // call kind, address

struct State {
    std::mutex mutex;
    std::map<uint32_t, Gate> gates;
    std::map<GateKey, uint32_t> gateIds;
    // Ids are never reused, not even after a reset: a stale id is an unknown gate.
    uint32_t nextGateId = 1;
    std::vector<VeldanCall> calls;
    std::vector<LogLine> log;
    std::map<ForceKey, int> forced;
};

// Where log lines are written, with a lock of its own: a slow or blocked
// stderr or file holds up the thread that logs, never the registry that
// other threads' cooks and puts need.
struct Sinks {
    std::mutex mutex;
    bool logToStderr = false;
    std::FILE* logFile = nullptr;
    int logMask = 3;
};

struct Callbacks {
    // Recursive, so that a callback may replace the callbacks.
    std::recursive_mutex mutex;
    VeldanLogCallback log = nullptr;
    void* logUser = nullptr;
    VeldanPutCallback put = nullptr;
    void* putUser = nullptr;
    VeldanCommStatusCallback commStatus = nullptr;
    void* commStatusUser = nullptr;
};

// Both live until the process ends: driver threads may still log during exit.
State& TheState();
Callbacks& TheCallbacks();
Sinks& TheSinks();

// Helpers for callers that hold state.mutex.
Gate* FindGate(State& state, uint32_t gateId);
int ForcedResult(const State& state, int kind, const std::string& address);
void RecordCall(State& state, const VeldanCall& call);
void CopyAddress(char (&to)[sizeof(VeldanCall{}.address)], const char* from);

// Converts a raw value in the value-area layout of the gate type; false for a
// type without one.
bool CookRaw(int gateType, uint32_t raw, double* value);

// Keeps the line, writes it to the sinks its level is enabled for, then calls
// the log callback. Takes the locks itself.
void LogLineOut(int level, const char* text);

}  // namespace veldan
