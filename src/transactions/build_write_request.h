// The write request frame of a gate.
#pragma once

#include <cstddef>
#include <ctime>

#include "telmor/vpi.h"

namespace telmor {

// Writes the NUL-terminated write frame for the value in request.value into
// `frame` (`frameSize` bytes, the context's 512-byte request buffer).
// 0 = written, 1 = value refused (logged), 2 = memory type not served (logged).
int BuildWriteRequest(const GateRequest& request, char* frame, size_t frameSize);

// The same with the local time given; `localNow` null means the local time
// could not be had. BuildWriteRequest takes it from the calendar clock.
int BuildWriteRequestAt(const GateRequest& request, char* frame, size_t frameSize, const std::tm* localNow);

}  // namespace telmor
