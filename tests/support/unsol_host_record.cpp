// Reading back the stand-in host's records for the value-message and station
// read tests.
#include "support/unsol_host_record.h"

#include <cstdio>
#include <stdexcept>

namespace unsol_test {

std::vector<LogLine> LogLines() {
    std::vector<LogLine> lines;
    char text[1024];
    int level = 0;
    for (size_t i = 0; VeldanGetLogLine(i, &level, text, sizeof text) == 0; ++i)
        lines.emplace_back(level, text);
    return lines;
}

namespace {

std::string Describe(const VeldanCall& call) {
    char text[128];
    switch (call.kind) {
        case VELDAN_CALL_LOOKUP:
            std::snprintf(text, sizeof text, "lookup %s rc %d", call.address, call.result);
            break;
        case VELDAN_CALL_COOK:
            if (call.result == 0) {
                std::snprintf(text, sizeof text, "cook %s raw 0x%08X", call.address, call.raw);
            } else {
                std::snprintf(text, sizeof text, "cook %s raw 0x%08X rc %d", call.address, call.raw,
                              call.result);
            }
            break;
        case VELDAN_CALL_PUT:
            if (call.result == 0) {
                std::snprintf(text, sizeof text, "put %s %.10g", call.address, call.value);
            } else {
                std::snprintf(text, sizeof text, "put %s %.10g rc %d", call.address, call.value, call.result);
            }
            break;
        default:
            std::snprintf(text, sizeof text, "call kind %d", call.kind);
            break;
    }
    return text;
}

}  // namespace

std::vector<std::string> CallTrace() {
    std::vector<std::string> trace;
    VeldanCall call{};
    for (size_t i = 0; VeldanGetCall(i, &call) == 0; ++i) trace.push_back(Describe(call));
    return trace;
}

std::vector<std::string> LookedUp() {
    std::vector<std::string> addresses;
    VeldanCall call{};
    for (size_t i = 0; VeldanGetCall(i, &call) == 0; ++i) {
        if (call.kind == VELDAN_CALL_LOOKUP) addresses.emplace_back(call.address);
    }
    return addresses;
}

uint32_t DefineGate(int instance, const std::string& address, int gateType) {
    uint32_t id = 0;
    if (VeldanDefineGate(instance, address.c_str(), gateType, &id) != 0) {
        throw std::runtime_error("cannot define gate " + address);
    }
    return id;
}

}  // namespace unsol_test
