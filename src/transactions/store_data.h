// Decoding a read reply into the gate's value area.
#pragma once

#include <cstdint>

#include "telmor/vpi.h"

namespace telmor {

// Checks the reply's length and fields for the request's memory type and
// count and stores the decoded values through request.value. 0 = stored,
// 1 = refused (logged).
int StoreData(GateRequest& request, const char* reply, uint16_t replyLength);

}  // namespace telmor
