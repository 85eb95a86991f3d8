// Installing, pinning, waiting on and closing mutexes and events.
#include "platform/win32/sync_objects.h"

#include "platform/win32/os_wait.h"

namespace telmor::platform::win32 {

const char* ObjectName(const char* name) {
    return name != nullptr && name[0] != '\0' ? name : nullptr;
}

Handle InstallSyncObject(ObjectKind kind, HANDLE object) {
    if (object == nullptr) return kNullHandle;
    const Handle handle = InstallObject(kind, object);
    if (handle == kNullHandle) {
        ::CloseHandle(object);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    return handle;
}

void UnpinSyncObject(const Pinned& pinned) {
    if (!UnpinObject(pinned)) return;
    const DWORD error = GetLastError();
    ::CloseHandle(static_cast<HANDLE>(pinned.object));
    FreeSlot(pinned);
    SetLastError(error);
}

WaitResult WaitSyncObject(Handle handle, ObjectKind kind, uint32_t timeoutMs) {
    Pinned pinned;
    if (!PinObject(handle, kind, &pinned)) return WaitResult::Failed;
    const DWORD outcome = WaitForSingleObject(static_cast<HANDLE>(pinned.object), RealWaitMs(timeoutMs));
    UnpinSyncObject(pinned);
    switch (outcome) {
        case WAIT_OBJECT_0:
            return WaitResult::Signalled;
        case WAIT_ABANDONED:
            return WaitResult::Abandoned;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

bool CloseSyncHandle(Handle handle) {
    Pinned pinned;
    if (!BeginCloseObject(handle, ObjectKind::Mutex, &pinned) &&
        !BeginCloseObject(handle, ObjectKind::Event, &pinned)) {
        return false;
    }
    // A wait on another thread keeps the HANDLE until it returns; its own
    // unpin closes it then.
    UnpinSyncObject(pinned);
    return true;
}

}  // namespace telmor::platform::win32
