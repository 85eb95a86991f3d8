// The process-wide table behind every Handle of the Windows backend.
//
// Handles are table values, not the OS handles themselves: Windows hands a
// closed HANDLE number out again at once, so a value kept after CloseHandle
// would reach whatever object got the number next. A table value carries its
// slot's generation and fails instead. Every call pins its slot for its
// duration, and the OS object is released by whoever unpins last, so a close
// never pulls an object from under a call on another thread.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/win32/windows_api.h"

namespace telmor::platform::win32 {

enum class ObjectKind : uint8_t { Free, Mutex, Event, Serial };

// A pinned handle: its slot and what it stands for (a mutex's or an event's
// HANDLE, a serial port's pool entry). Valid until it is unpinned.
struct Pinned {
    uint32_t slot = 0;
    ObjectKind kind = ObjectKind::Free;
    void* object = nullptr;
};

// Sets the calling thread's LastError() and returns false, so failing paths
// read `return Fail(ERROR_INVALID_HANDLE);`.
bool Fail(DWORD code);

// A new handle for `object`; kNullHandle (ERROR_TOO_MANY_OPEN_FILES) when
// every slot is taken.
Handle InstallObject(ObjectKind kind, void* object);

// Pins the live handle; `kind` Free accepts any kind. False
// (ERROR_INVALID_HANDLE) for anything else, also for a handle being closed.
bool PinObject(Handle handle, ObjectKind kind, Pinned* pinned);

// First step of a close: from now on the value fails for every new call; the
// closer holds a pin of its own.
bool BeginCloseObject(Handle handle, ObjectKind kind, Pinned* pinned);

// Pins other than the closer's on a slot being closed.
uint32_t OtherUsers(const Pinned& pinned);

// Ends a pin. True when it was the last pin of a closed handle: the caller
// then releases the object and calls FreeSlot.
bool UnpinObject(const Pinned& pinned);

// Gives the slot back once its object is released.
void FreeSlot(const Pinned& pinned);

// The kind of a live handle, ObjectKind::Free for anything else.
ObjectKind KindOf(Handle handle);

}  // namespace telmor::platform::win32
