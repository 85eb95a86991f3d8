// The pool behind named mutexes and events: one entry per object, shared by
// every handle opened on its name and kept until the last handle is closed
// and no call is inside it.
#pragma once

#include <pthread.h>
#include <time.h>

#include <cstdint>

#include "platform/handle.h"
#include "platform/posix/handle_table.h"

namespace telmor::platform::posix {

inline constexpr uint32_t kSyncObjectCount = 256;
inline constexpr uint32_t kSyncNameSize = 128;

struct SyncObject {
    // Under the table lock.
    ObjectKind kind = ObjectKind::Free;
    uint32_t refs = 0;  // open handles plus calls inside the object
    char name[kSyncNameSize] = {};

    // Everything below is under `lock`. The condition variable is waited on
    // with CLOCK_MONOTONIC deadlines (pthread_cond_clockwait), so no
    // attribute set-up is needed and the pool is constant-initialised.
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed = PTHREAD_COND_INITIALIZER;

    // Mutex: the owning thread's identity (0: free), its recursion depth, and
    // whether the last owner ended without releasing.
    uint64_t owner = 0;
    uint32_t recursion = 0;
    bool abandoned = false;

    // Event: the state, and a count of releases so that a waiter woken by a
    // Set or Pulse knows it was released even if the event is reset again
    // before it runs.
    bool signalled = false;
    uint64_t releases = 0;
};

// Opens the object of `kind` called `name` (created if it does not exist; a
// null or empty name always makes a new one). kNullHandle on failure:
// EEXIST when the name belongs to an object of the other kind,
// ENAMETOOLONG, EMFILE when the pool or the handle table is full.
Handle OpenSyncObject(const char* name, ObjectKind kind);

// Keeps the object alive while a call uses it. Null (LastError EBADF) for a
// handle that is not a live one of `kind`.
SyncObject* PinSyncObject(Handle handle, ObjectKind kind);
void UnpinSyncObject(SyncObject* object);

// CloseHandle for a mutex or an event.
bool CloseSyncHandle(Handle handle);

// Calls `visit` for every live object of `kind`, with the table lock held.
void ForEachSyncObject(ObjectKind kind, void (*visit)(SyncObject& object, uint64_t arg), uint64_t arg);

// Waits for a change of `object` (its lock held) until `deadline`; false
// once the deadline has passed.
bool WaitForChange(SyncObject& object, const timespec& deadline);

}  // namespace telmor::platform::posix
