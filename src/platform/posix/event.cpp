// Named manual-reset events.
//
// Every Set and Pulse counts a release; a waiter notes the count when it
// starts waiting and is released when the count moves, so a Pulse (or a Set
// quickly followed by a Reset) frees exactly the threads waiting at that
// moment, and a thread that comes later waits for the next one.
#include "platform/clock.h"
#include "platform/posix/real_time.h"
#include "platform/posix/sync_objects.h"
#include "platform/sync.h"

namespace telmor::platform {
namespace {

using posix::ObjectKind;
using posix::SyncObject;

WaitResult AwaitRelease(SyncObject& event, uint32_t timeoutMs) {
    if (event.signalled) return WaitResult::Signalled;
    uint64_t seen = event.releases;
    if (timeoutMs != 0) {
        timespec deadline = posix::DeadlineAfter(ToRealMs(timeoutMs));
        while (event.releases == seen && posix::WaitForChange(event, deadline)) {
        }
    }
    return event.releases != seen ? WaitResult::Signalled : WaitResult::TimedOut;
}

// Applies `change` to the event's state under its lock.
template <typename Change>
bool Update(Handle handle, Change change) {
    SyncObject* event = posix::PinSyncObject(handle, ObjectKind::Event);
    if (event == nullptr) return false;
    pthread_mutex_lock(&event->lock);
    change(*event);
    pthread_mutex_unlock(&event->lock);
    posix::UnpinSyncObject(event);
    return true;
}

}  // namespace

Handle CreateNamedEvent(const char* name) {
    return posix::OpenSyncObject(name, ObjectKind::Event);
}

WaitResult WaitEvent(Handle event, uint32_t timeoutMs) {
    SyncObject* object = posix::PinSyncObject(event, ObjectKind::Event);
    if (object == nullptr) return WaitResult::Failed;
    pthread_mutex_lock(&object->lock);
    WaitResult result = AwaitRelease(*object, timeoutMs);
    pthread_mutex_unlock(&object->lock);
    posix::UnpinSyncObject(object);
    return result;
}

bool SetEvent(Handle event) {
    return Update(event, [](SyncObject& object) {
        object.signalled = true;
        ++object.releases;
        pthread_cond_broadcast(&object.changed);
    });
}

bool ResetEvent(Handle event) {
    return Update(event, [](SyncObject& object) { object.signalled = false; });
}

bool PulseEvent(Handle event) {
    return Update(event, [](SyncObject& object) {
        object.signalled = false;
        ++object.releases;
        pthread_cond_broadcast(&object.changed);
    });
}

}  // namespace telmor::platform
