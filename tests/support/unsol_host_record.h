// Reading back what the driver asked of the stand-in host, in a form that a
// test can compare whole: log lines as (level, text) and host-service calls as
// one short text each.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "host/context.h"
#include "veldan/veldan_host.h"

namespace unsol_test {

using LogLine = std::pair<int, std::string>;

std::vector<LogLine> LogLines();

// "lookup 012H05 rc 0", "cook 012H05 raw 0x00130000", "put 012H05 19" (the
// put value printed with %g). Failed cooks and puts show their rc.
std::vector<std::string> CallTrace();

// Only the addresses of the lookups, in order.
std::vector<std::string> LookedUp();

uint32_t DefineGate(int instance, const std::string& address, int gateType);

// A DriverContext in a block of the size the host allocates, zeroed.
struct ContextBlock {
    ContextBlock() : context(*new (storage) telmor::DriverContext{}) {}
    ContextBlock(const ContextBlock&) = delete;
    ContextBlock& operator=(const ContextBlock&) = delete;
    alignas(8) unsigned char storage[VPI_CONTEXT_SIZE]{};
    telmor::DriverContext& context;
};

}  // namespace unsol_test
