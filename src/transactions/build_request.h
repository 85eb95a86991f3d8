// The read request frame of a gate or block.
#pragma once

#include "telmor/vpi.h"

namespace telmor {

// Writes the NUL-terminated read request frame for `request` into `frame`
// (at least 9 bytes). A memory type without a frame is logged as an internal
// error and nothing is written.
void BuildRequest(const GateRequest& request, char* frame);

}  // namespace telmor
