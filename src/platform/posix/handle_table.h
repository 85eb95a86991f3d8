// The process-wide table behind every Handle, and the lock that guards it and
// the object pools of the POSIX backend.
//
// A handle value carries its slot index and the slot's generation, so a value
// kept after CloseHandle fails instead of reaching whatever the slot holds
// next. The table is a fixed array: nothing is allocated after start-up.
#pragma once

#include <cstdint>

#include "platform/handle.h"

namespace telmor::platform::posix {

enum class ObjectKind : uint8_t { Free, Mutex, Event, Serial };

// Sets the calling thread's LastError() (an errno value) and returns false,
// so failing paths read `return Fail(EBADF);`.
bool Fail(int code);
void SetLastErrorCode(int code);

// Guards the handle table and the object pools. Lock order: the table lock
// first, then an object's own lock; never the other way round.
class TableGuard {
public:
    TableGuard();
    ~TableGuard();
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
};

// The calls below need the table lock held.

// A new handle for pool entry `object` of `kind`; kNullHandle (LastError
// EMFILE) when every slot is taken.
Handle AllocateHandle(ObjectKind kind, uint16_t object);
// The pool entry `handle` refers to, if it is live and of `kind`.
bool LookupHandle(Handle handle, ObjectKind kind, uint16_t* object);
// Makes the value stale for ever (until the generation wraps after millions
// of reuses of one slot).
void FreeHandle(Handle handle);
// The kind of a live handle, ObjectKind::Free for anything else.
ObjectKind KindOf(Handle handle);

}  // namespace telmor::platform::posix
