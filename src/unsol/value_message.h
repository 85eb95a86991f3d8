// Spontaneous value messages and the puts into the host's gates.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

// Checks one "U" line (LF CR included in `length`) and puts its values into
// the gates it names. Logs and drops a line that fails a check.
void HandleValueMessage(DriverContext& context, const char* line, uint16_t length);

// Looks the gate up, cooks `raw` (value-area layout) and puts the result.
// `routine` names the caller in the log lines ("UnsolThread", "ReadStations").
void PutGateValue(const DriverContext& context, const char* routine, const char* address, uint32_t raw);

// Looks the bit gate up and puts 0.0 or 1.0 without cooking.
void PutGateBit(const DriverContext& context, const char* routine, const char* address, bool bit);

}  // namespace telmor
