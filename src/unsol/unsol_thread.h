// The receiver thread: the only reader of the line. It brings the network up
// after every start, keeps the station presence table, hands replies to the
// waiting command and passes value messages on.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

enum class ClearStop : uint8_t { No, Yes };

// Clears commReady, resetRequested and the presence table, and the flags;
// a receiver thread's start keeps a pending stop request (ClearStop::No).
void ClearCommState(DriverContext& context, ClearStop clearStop);

// Thread routine: argument the DriverContext.
void UnsolThreadEntry(void* context, uint32_t unused);

// The receiver thread's life on the calling thread (UnsolThreadEntry runs it).
void UnsolThread(DriverContext& context);

// What the receiver does after one step.
enum class Next : uint8_t { Stay, Scan, Run, Restart, End };

// One run-phase line, as the thread handles it (callable from tests).
Next HandleRunPhaseLine(DriverContext& context, const char* line, uint16_t length);

}  // namespace telmor
