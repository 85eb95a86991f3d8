// The receiver thread's phases and the small helpers they share.
#pragma once

#include <cstdint>

#include "host/context.h"
#include "unsol/unsol_thread.h"

namespace telmor {

bool StopRequested(const DriverContext& context);

// Pauses `ms` driver milliseconds, cut short by a stop request so that EndVpi
// never waits for a long pause to run out.
void PauseUnlessStopped(const DriverContext& context, uint32_t ms);

// Checks an "E" line's length and number; logs with the phase's suffix
// ("", " (2)", " (3)") and returns -1 when it fails.
int32_t CheckedENumber(const char* line, uint16_t length, const char* suffix);

// Reports an E062 station; `lostText` is the phase's warning.
void ReportStationLost(DriverContext& context, uint32_t station);

Next RunStatusPhase(DriverContext& context);
Next RunScanPhase(DriverContext& context);
Next RunRunPhase(DriverContext& context);

// Reads the E062 station number; logs and returns -1 when unreadable or out of
// range (`suffix` of the unreadable message: " (2)" or " (3)").
int32_t E062Station(const char* line, uint16_t length, const char* suffix);

}  // namespace telmor
