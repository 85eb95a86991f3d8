// Opening, pinning and closing pooled mutexes and events.
#include "platform/posix/sync_objects.h"

#include <cerrno>
#include <cstring>

namespace telmor::platform::posix {
namespace {

SyncObject g_objects[kSyncObjectCount];

uint16_t IndexOf(const SyncObject& object) {
    return static_cast<uint16_t>(&object - g_objects);
}

SyncObject* FindByName(const char* name) {
    for (SyncObject& object : g_objects) {
        if (object.kind != ObjectKind::Free && object.name[0] != '\0' &&
            std::strcmp(object.name, name) == 0) {
            return &object;
        }
    }
    return nullptr;
}

SyncObject* TakeFreeObject(const char* name, ObjectKind kind) {
    for (SyncObject& object : g_objects) {
        if (object.kind != ObjectKind::Free) continue;
        object.kind = kind;
        object.refs = 0;
        std::strcpy(object.name, name);
        return &object;
    }
    return nullptr;
}

// The object's state goes back to what a new one has; the lock and the
// condition variable stay initialised for the next user of the entry.
void Release(SyncObject& object) {
    if (--object.refs != 0) return;
    object.kind = ObjectKind::Free;
    object.name[0] = '\0';
    pthread_mutex_lock(&object.lock);
    object.owner = 0;
    object.recursion = 0;
    object.abandoned = false;
    object.signalled = false;
    object.releases = 0;
    pthread_mutex_unlock(&object.lock);
}

}  // namespace

Handle OpenSyncObject(const char* name, ObjectKind kind) {
    if (name == nullptr) name = "";
    if (std::strlen(name) >= kSyncNameSize) {
        SetLastErrorCode(ENAMETOOLONG);
        return kNullHandle;
    }
    TableGuard guard;
    SyncObject* object = name[0] == '\0' ? nullptr : FindByName(name);
    if (object != nullptr && object->kind != kind) {
        SetLastErrorCode(EEXIST);
        return kNullHandle;
    }
    if (object == nullptr) object = TakeFreeObject(name, kind);
    if (object == nullptr) {
        SetLastErrorCode(EMFILE);
        return kNullHandle;
    }
    Handle handle = AllocateHandle(kind, IndexOf(*object));
    ++object->refs;
    if (handle == kNullHandle) Release(*object);
    return handle;
}

SyncObject* PinSyncObject(Handle handle, ObjectKind kind) {
    TableGuard guard;
    uint16_t index = 0;
    if (!LookupHandle(handle, kind, &index)) {
        SetLastErrorCode(EBADF);
        return nullptr;
    }
    ++g_objects[index].refs;
    return &g_objects[index];
}

void UnpinSyncObject(SyncObject* object) {
    TableGuard guard;
    Release(*object);
}

bool CloseSyncHandle(Handle handle) {
    TableGuard guard;
    uint16_t index = 0;
    ObjectKind kind = KindOf(handle);
    if ((kind != ObjectKind::Mutex && kind != ObjectKind::Event) || !LookupHandle(handle, kind, &index)) {
        return Fail(EBADF);
    }
    FreeHandle(handle);
    Release(g_objects[index]);
    return true;
}

void ForEachSyncObject(ObjectKind kind, void (*visit)(SyncObject& object, uint64_t arg), uint64_t arg) {
    TableGuard guard;
    for (SyncObject& object : g_objects) {
        if (object.kind == kind) visit(object, arg);
    }
}

bool WaitForChange(SyncObject& object, const timespec& deadline) {
    // Spurious wake-ups return 0 and are the caller's loop's business; the
    // absolute deadline keeps the total wait what was asked.
    return pthread_cond_clockwait(&object.changed, &object.lock, CLOCK_MONOTONIC, &deadline) != ETIMEDOUT;
}

}  // namespace telmor::platform::posix
