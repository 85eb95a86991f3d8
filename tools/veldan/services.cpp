// The five services the driver imports by name. Each call is recorded for the
// tests, and a forced result stands in for the real work.
//
// Codes: 0 done; VELDAN_NO_SUCH_GATE (5) for an unknown address or gate id;
// kBadArgument (2) for a null pointer, a reserved argument other than 0 or a
// put kind other than 2 with a = b = 0 (the only store this host serves: the
// value, stamped with the host's time); kNotCookable (3) for text gates.
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "state.h"

using veldan::Gate;
using veldan::State;

namespace {

int64_t NowNs() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

// A gate put without a cook first (a single bit) keeps the value as its raw
// value; anything a 32-bit raw value cannot hold keeps 0.
uint32_t RawOfValue(double value) {
    if (!(value >= 0.0 && value < 4294967296.0)) return 0;
    return static_cast<uint32_t>(value);
}

VeldanCall NewCall(int kind) {
    VeldanCall call{};
    call.kind = kind;
    return call;
}

int Lookup(State& state, int reserved, int instance, const char* address, uint32_t* gateId) {
    if (reserved != 0 || address == nullptr || gateId == nullptr) return veldan::kBadArgument;
    const std::string text = address;
    if (const int forced = veldan::ForcedResult(state, VELDAN_CALL_LOOKUP, text)) return forced;
    const auto found = state.gateIds.find(veldan::GateKey{instance, text});
    if (found == state.gateIds.end()) return VELDAN_NO_SUCH_GATE;
    *gateId = found->second;
    return 0;
}

int Cook(State& state, Gate* gate, int reserved, uint32_t raw, double* value) {
    if (reserved != 0 || value == nullptr) return veldan::kBadArgument;
    if (gate == nullptr) return VELDAN_NO_SUCH_GATE;
    if (const int forced = veldan::ForcedResult(state, VELDAN_CALL_COOK, gate->address)) return forced;
    double cooked = 0.0;
    if (!veldan::CookRaw(gate->gateType, raw, &cooked)) return veldan::kNotCookable;
    *value = cooked * gate->factor + gate->offset;
    gate->cookPending = true;
    gate->cookedRaw = raw;
    return 0;
}

int Put(State& state, Gate* gate, int reserved, int kind, double value, int a, int b) {
    if (reserved != 0 || kind != 2 || a != 0 || b != 0) return veldan::kBadArgument;
    if (gate == nullptr) return VELDAN_NO_SUCH_GATE;
    if (const int forced = veldan::ForcedResult(state, VELDAN_CALL_PUT, gate->address)) return forced;
    gate->value = value;
    gate->raw = gate->cookPending ? gate->cookedRaw : RawOfValue(value);
    gate->cookPending = false;
    ++gate->putCount;
    gate->lastPutNs = NowNs();
    return 0;
}

}  // namespace

extern "C" {

VELDAN_API int err(int level, const char* format, ...) {
    if (format == nullptr) return veldan::kBadArgument;
    // On the caller's stack: the driver's threads have small stacks, so this
    // buffer and vsnprintf are all that the service puts there.
    char text[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) text[0] = '\0';
    veldan::LogLineOut(level, text);
    return 0;
}

VELDAN_API int KoriGetGateIdByAddressStr(int reserved, int instance, const char* address, uint32_t* gateId) {
    VeldanCall call = NewCall(VELDAN_CALL_LOOKUP);
    call.instance = instance;
    veldan::CopyAddress(call.address, address);
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    call.result = Lookup(state, reserved, instance, address, gateId);
    if (call.result == 0) call.gateId = *gateId;
    veldan::RecordCall(state, call);
    return call.result;
}

VELDAN_API int KoriCook(int reserved, uint32_t gateId, uint32_t raw, double* value) {
    VeldanCall call = NewCall(VELDAN_CALL_COOK);
    call.gateId = gateId;
    call.raw = raw;
    State& state = veldan::TheState();
    const std::lock_guard lock(state.mutex);
    Gate* gate = veldan::FindGate(state, gateId);
    if (gate != nullptr) veldan::CopyAddress(call.address, gate->address.c_str());
    call.result = Cook(state, gate, reserved, raw, value);
    if (call.result == 0) call.value = *value;
    veldan::RecordCall(state, call);
    return call.result;
}

VELDAN_API int KoriPutGateVal(int reserved, uint32_t gateId, int kind, double value, int a, int b) {
    VeldanCall call = NewCall(VELDAN_CALL_PUT);
    call.gateId = gateId;
    call.value = value;
    call.putKind = kind;
    call.a = a;
    call.b = b;
    std::string address;
    uint32_t raw = 0;
    {
        State& state = veldan::TheState();
        const std::lock_guard lock(state.mutex);
        Gate* gate = veldan::FindGate(state, gateId);
        if (gate != nullptr) {
            veldan::CopyAddress(call.address, gate->address.c_str());
            address = gate->address;
        }
        call.result = Put(state, gate, reserved, kind, value, a, b);
        // Taken with the value: a later put may change the gate before the
        // callback's receiver looks.
        if (call.result == 0) raw = gate->raw;
        veldan::RecordCall(state, call);
    }
    if (call.result == 0) {
        veldan::Callbacks& callbacks = veldan::TheCallbacks();
        const std::lock_guard lock(callbacks.mutex);
        if (callbacks.put != nullptr) callbacks.put(callbacks.putUser, gateId, address.c_str(), value, raw);
    }
    return call.result;
}

VELDAN_API int KoriSetPlcCommStatus(int reserved, int instance, uint32_t station, int a, int b) {
    VeldanCall call = NewCall(VELDAN_CALL_COMM_STATUS);
    call.instance = instance;
    call.station = station;
    call.a = a;
    call.b = b;
    {
        State& state = veldan::TheState();
        const std::lock_guard lock(state.mutex);
        call.result = reserved != 0 ? veldan::kBadArgument
                                    : veldan::ForcedResult(state, VELDAN_CALL_COMM_STATUS, std::string());
        veldan::RecordCall(state, call);
    }
    if (call.result == 0) {
        veldan::Callbacks& callbacks = veldan::TheCallbacks();
        const std::lock_guard lock(callbacks.mutex);
        if (callbacks.commStatus != nullptr)
            callbacks.commStatus(callbacks.commStatusUser, instance, station, a, b);
    }
    return call.result;
}

}  // extern "C"
