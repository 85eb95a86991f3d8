// The initial read of every present station into the host's gates.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

// Walks the presence table and reads every present station; sets commState
// to 5 when it got through without a stop, restart or reset.
void ReadStations(DriverContext& context);

// Reads the six value blocks of `station` and puts every value.
void ReadStation(DriverContext& context, uint16_t station);

// Thread routines (argument: the DriverContext). Each one leaves the context
// through LeaveDriverThread (host/driver_threads.h) as its last act.
void ReadStationsThread(void* context, uint32_t unused);
void ReadStationThread(void* context, uint32_t station);

}  // namespace telmor
