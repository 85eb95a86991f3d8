// Named mutexes: Windows' own, recursive for their owner, and reporting
// abandonment when the owning thread ends without releasing.
#include "platform/sync.h"
#include "platform/win32/sync_objects.h"

namespace telmor::platform {
Handle CreateNamedMutex(const char* name) {
    // When the name exists already Windows opens that mutex (ERROR_ALREADY_EXISTS)
    // and fails when it belongs to an object of another kind.
    return win32::InstallSyncObject(win32::ObjectKind::Mutex,
                                    CreateMutexA(nullptr, FALSE, win32::ObjectName(name)));
}

WaitResult WaitMutex(Handle mutex, uint32_t timeoutMs) {
    return win32::WaitSyncObject(mutex, win32::ObjectKind::Mutex, timeoutMs);
}

bool ReleaseMutex(Handle mutex) {
    // ERROR_NOT_OWNER when the caller does not own it.
    return win32::WithSyncObject(mutex, win32::ObjectKind::Mutex,
                                 [](HANDLE object) { return ::ReleaseMutex(object) != FALSE; });
}

}  // namespace telmor::platform
