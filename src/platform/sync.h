// Named mutexes and manual-reset events with the semantics the driver was
// designed on: a name that exists already gives the same object; the mutex
// is recursive for its owner and reports abandonment; every wait is bounded.
//
// Thread contract: every call may run on any thread at the same time as any
// other call, on the same or different handles.
#pragma once

#include <cstdint>

#include "platform/handle.h"

namespace telmor::platform {

enum class WaitResult : uint32_t {
    Signalled = 0,        // the object was signalled (mutex: now owned)
    Abandoned = 0x80,     // mutex: owner ended without releasing; now owned
    TimedOut = 0x102,     // the time-out passed
    Failed = 0xFFFFFFFF,  // the wait failed; LastError() tells why
};

// Durations are driver milliseconds: tests run them fast (see clock.h).

// A mutex, not owned. Returns kNullHandle on failure (LastError set).
Handle CreateNamedMutex(const char* name);
WaitResult WaitMutex(Handle mutex, uint32_t timeoutMs);
// False when the caller does not own the mutex (LastError set).
bool ReleaseMutex(Handle mutex);

// A manual-reset event, not signalled. kNullHandle on failure.
Handle CreateNamedEvent(const char* name);
WaitResult WaitEvent(Handle event, uint32_t timeoutMs);
bool SetEvent(Handle event);
bool ResetEvent(Handle event);
// Releases the threads waiting right now and leaves the event reset.
bool PulseEvent(Handle event);

}  // namespace telmor::platform
