// The stand-in host's own C API: gates, the records of the driver's calls and
// log lines, sinks, forced results and callbacks.
#include <algorithm>
#include <cstring>
#include <string>

#include "state.h"

using veldan::Gate;
using veldan::State;

namespace {

bool ValidGate(int instance, const char* address, int gateType) {
    if (instance < 0 || instance > 255 || gateType < 0 || gateType > 7) return false;
    if (address == nullptr) return false;
    const size_t length = std::strlen(address);
    return length > 0 && length <= veldan::kMaxAddressLength;
}

void CopyText(const std::string& from, char* to, size_t size) {
    if (to == nullptr || size == 0) return;
    const size_t length = std::min(from.size(), size - 1);
    std::memcpy(to, from.data(), length);
    to[length] = '\0';
}

}  // namespace

extern "C" {

VELDAN_API void VeldanReset(void) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    state.gates.clear();
    state.gateIds.clear();
    state.calls.clear();
    state.log.clear();
    state.forced.clear();
}

VELDAN_API int VeldanDefineGate(int instance, const char* address, int gateType, uint32_t* gateId) {
    if (!ValidGate(instance, address, gateType)) return veldan::kBadArgument;
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    const auto [slot, added] = state.gateIds.try_emplace(veldan::GateKey{instance, address}, 0);
    if (!added) return veldan::kDuplicateGate;
    const uint32_t id = state.nextGateId++;
    slot->second = id;
    Gate& gate = state.gates[id];
    gate.instance = instance;
    gate.address = address;
    gate.gateType = gateType;
    if (gateId != nullptr) *gateId = id;
    return 0;
}

VELDAN_API int VeldanSetScale(uint32_t gateId, double factor, double offset) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    Gate* gate = veldan::FindGate(state, gateId);
    if (gate == nullptr) return VELDAN_NO_SUCH_GATE;
    gate->factor = factor;
    gate->offset = offset;
    return 0;
}

VELDAN_API int VeldanGetGate(uint32_t gateId, double* value, uint32_t* raw, uint32_t* putCount,
                             int64_t* lastPutNs) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    const Gate* gate = veldan::FindGate(state, gateId);
    if (gate == nullptr) return VELDAN_NO_SUCH_GATE;
    if (value != nullptr) *value = gate->value;
    if (raw != nullptr) *raw = gate->raw;
    if (putCount != nullptr) *putCount = gate->putCount;
    if (lastPutNs != nullptr) *lastPutNs = gate->lastPutNs;
    return 0;
}

VELDAN_API int VeldanFindGate(int instance, const char* address, uint32_t* gateId) {
    if (address == nullptr) return VELDAN_NO_SUCH_GATE;
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    const auto found = state.gateIds.find(veldan::GateKey{instance, address});
    if (found == state.gateIds.end()) return VELDAN_NO_SUCH_GATE;
    if (gateId != nullptr) *gateId = found->second;
    return 0;
}

VELDAN_API size_t VeldanGateCount(void) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    return state.gates.size();
}

VELDAN_API size_t VeldanCallCount(void) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    return state.calls.size();
}

VELDAN_API int VeldanGetCall(size_t index, VeldanCall* call) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    if (index >= state.calls.size()) return 1;
    if (call != nullptr) *call = state.calls[index];
    return 0;
}

// Communication status has no address: its forcing applies to every call.
VELDAN_API void VeldanForceResult(int kind, const char* address, int result) {
    const bool anyAddress = kind == VELDAN_CALL_COMM_STATUS;
    if (!anyAddress && address == nullptr) return;
    const veldan::ForceKey key{kind, anyAddress ? std::string() : std::string(address)};
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    if (result == 0) {
        state.forced.erase(key);
    } else {
        state.forced[key] = result;
    }
}

VELDAN_API size_t VeldanLogCount(void) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    return state.log.size();
}

VELDAN_API int VeldanGetLogLine(size_t index, int* level, char* text, size_t size) {
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    if (index >= state.log.size()) return 1;
    if (level != nullptr) *level = state.log[index].level;
    CopyText(state.log[index].text, text, size);
    return 0;
}

VELDAN_API void VeldanLogToStderr(int on) {
    veldan::Sinks& sinks = veldan::TheSinks();
    const std::lock_guard lock(sinks.mutex);
    sinks.logToStderr = on != 0;
}

// Appends, so that an existing log is never lost; NULL closes the file.
VELDAN_API int VeldanLogToFile(const char* path) {
    std::FILE* file = nullptr;
    if (path != nullptr) {
        file = std::fopen(path, "a");
        if (file == nullptr) return 1;
    }
    veldan::Sinks& sinks = veldan::TheSinks();
    std::FILE* old = nullptr;
    {
        const std::lock_guard lock(sinks.mutex);
        old = sinks.logFile;
        sinks.logFile = file;
    }
    if (old != nullptr) std::fclose(old);
    return 0;
}

VELDAN_API void VeldanSetLogMask(int mask) {
    veldan::Sinks& sinks = veldan::TheSinks();
    const std::lock_guard lock(sinks.mutex);
    sinks.logMask = mask;
}

VELDAN_API void VeldanSetLogCallback(VeldanLogCallback callback, void* user) {
    veldan::Callbacks& callbacks = veldan::TheCallbacks();
    const std::lock_guard lock(callbacks.mutex);
    callbacks.log = callback;
    callbacks.logUser = user;
}

VELDAN_API void VeldanSetPutCallback(VeldanPutCallback callback, void* user) {
    veldan::Callbacks& callbacks = veldan::TheCallbacks();
    const std::lock_guard lock(callbacks.mutex);
    callbacks.put = callback;
    callbacks.putUser = user;
}

VELDAN_API void VeldanSetCommStatusCallback(VeldanCommStatusCallback callback, void* user) {
    veldan::Callbacks& callbacks = veldan::TheCallbacks();
    const std::lock_guard lock(callbacks.mutex);
    callbacks.commStatus = callback;
    callbacks.commStatusUser = user;
}

}  // extern "C"
