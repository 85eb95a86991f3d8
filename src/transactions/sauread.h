// The read transaction (SAUREAD): SingleRead, BlockRead and DoRead.
#pragma once

#include <cstdint>

#include "telmor/vpi.h"

namespace telmor {

int32_t SingleRead(VpiCallBlock* callBlock);
int32_t BlockRead(VpiCallBlock* callBlock);

// One read of the gate or block in the call block's GateRequest, with up to
// three attempts. 0, 1 or 2.
int32_t DoRead(VpiCallBlock* callBlock);

}  // namespace telmor
