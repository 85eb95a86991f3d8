// The initial station read with the block read passed in, so that its walk
// over stations and blocks can be exercised without a line. ReadStations and
// ReadStation (read_stations.h) run these with DoRead.
#pragma once

#include <cstdint>

#include "host/context.h"
#include "telmor/vpi.h"

namespace telmor {

// Reads one block as BlockRead would: the call block's GateRequest names it.
using BlockReader = int32_t (*)(VpiCallBlock* callBlock);

void ReadStationsWith(DriverContext& context, BlockReader read);
void ReadStationWith(DriverContext& context, uint16_t station, BlockReader read);

}  // namespace telmor
