// Named mutexes and events are the real named kernel objects; the table only
// stands between the driver's handle values and their HANDLEs.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/sync.h"
#include "platform/win32/handle_table.h"

namespace telmor::platform::win32 {

// The name to create an object with: a null or empty name makes a new
// unnamed object, never a shared one.
const char* ObjectName(const char* name);

// Puts a HANDLE from CreateMutexA or CreateEventA into the table; closes it
// and returns kNullHandle when the table is full. A null `object` (the
// create failed) gives kNullHandle with Windows' own error kept.
Handle InstallSyncObject(ObjectKind kind, HANDLE object);

// Runs `call` with the HANDLE behind `handle` while it is pinned; false
// (ERROR_INVALID_HANDLE) for a handle that is not a live one of `kind`.
template <typename Call>
bool WithSyncObject(Handle handle, ObjectKind kind, Call call);

// Waits on the object behind `handle` and tells what the wait ended with.
WaitResult WaitSyncObject(Handle handle, ObjectKind kind, uint32_t timeoutMs);

// CloseHandle for a mutex or an event.
bool CloseSyncHandle(Handle handle);

// Ends a pin taken on a mutex or an event; the last pin of a closed handle
// closes the HANDLE. Keeps the caller's LastError.
void UnpinSyncObject(const Pinned& pinned);

template <typename Call>
bool WithSyncObject(Handle handle, ObjectKind kind, Call call) {
    Pinned pinned;
    if (!PinObject(handle, kind, &pinned)) return false;
    const bool ok = call(static_cast<HANDLE>(pinned.object));
    UnpinSyncObject(pinned);
    return ok;
}

}  // namespace telmor::platform::win32
