// The one state of the stand-in host and the helpers that work on it.
#include "state.h"

#include <cstring>

namespace veldan {

State& TheState() {
    static State* const state = new State;
    return *state;
}

Callbacks& TheCallbacks() {
    static Callbacks* const callbacks = new Callbacks;
    return *callbacks;
}

Sinks& TheSinks() {
    static Sinks* const sinks = new Sinks;
    return *sinks;
}

Gate* FindGate(State& state, uint32_t gateId) {
    const auto found = state.gates.find(gateId);
    return found == state.gates.end() ? nullptr : &found->second;
}

int ForcedResult(const State& state, int kind, const std::string& address) {
    const auto found = state.forced.find(ForceKey{kind, address});
    return found == state.forced.end() ? 0 : found->second;
}

void RecordCall(State& state, const VeldanCall& call) {
    if (state.calls.size() < kMaxRecords) state.calls.push_back(call);
}

void CopyAddress(char (&to)[sizeof(VeldanCall{}.address)], const char* from) {
    std::memset(to, 0, sizeof to);
    if (from != nullptr) std::strncpy(to, from, sizeof to - 1);
}

}  // namespace veldan
