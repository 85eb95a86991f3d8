// Named recursive mutexes that report abandonment.
//
// Ownership is recorded as a thread identity of this backend, not a
// pthread_t (those are reused at once). A thread that still owns mutexes when
// it ends gives them up from a thread-exit hook, marked abandoned, so the
// next waiter gets WaitResult::Abandoned and the mutex.
#include <atomic>
#include <cerrno>

#include "platform/clock.h"
#include "platform/posix/real_time.h"
#include "platform/posix/sync_objects.h"
#include "platform/sync.h"

namespace telmor::platform {
namespace {

using posix::ObjectKind;
using posix::SyncObject;

std::atomic<uint64_t> g_lastThreadId{0};

void AbandonIfOwnedBy(SyncObject& mutex, uint64_t threadId) {
    pthread_mutex_lock(&mutex.lock);
    if (mutex.owner == threadId) {
        mutex.owner = 0;
        mutex.recursion = 0;
        mutex.abandoned = true;
        pthread_cond_signal(&mutex.changed);
    }
    pthread_mutex_unlock(&mutex.lock);
}

struct ThreadOwnership {
    uint64_t id = g_lastThreadId.fetch_add(1, std::memory_order_relaxed) + 1;
    uint32_t heldMutexes = 0;  // mutexes this thread owns right now

    ThreadOwnership() = default;
    ThreadOwnership(const ThreadOwnership&) = delete;
    ThreadOwnership& operator=(const ThreadOwnership&) = delete;
    // Runs when the thread ends, also by pthread_exit.
    ~ThreadOwnership() {
        if (heldMutexes != 0) posix::ForEachSyncObject(ObjectKind::Mutex, AbandonIfOwnedBy, id);
    }
};

thread_local ThreadOwnership t_ownership;

// Takes the mutex (its lock held) unless another thread keeps it past the
// deadline.
WaitResult Acquire(SyncObject& mutex, ThreadOwnership& me, uint32_t timeoutMs) {
    if (mutex.owner == me.id) {
        ++mutex.recursion;
        return WaitResult::Signalled;
    }
    if (mutex.owner != 0 && timeoutMs != 0) {
        timespec deadline = posix::DeadlineAfter(ToRealMs(timeoutMs));
        while (mutex.owner != 0 && posix::WaitForChange(mutex, deadline)) {
        }
    }
    // A release that raced with the time-out still counts.
    if (mutex.owner != 0) return WaitResult::TimedOut;
    mutex.owner = me.id;
    mutex.recursion = 1;
    ++me.heldMutexes;
    WaitResult result = mutex.abandoned ? WaitResult::Abandoned : WaitResult::Signalled;
    mutex.abandoned = false;
    return result;
}

}  // namespace

Handle CreateNamedMutex(const char* name) {
    return posix::OpenSyncObject(name, ObjectKind::Mutex);
}

WaitResult WaitMutex(Handle mutex, uint32_t timeoutMs) {
    SyncObject* object = posix::PinSyncObject(mutex, ObjectKind::Mutex);
    if (object == nullptr) return WaitResult::Failed;
    ThreadOwnership& me = t_ownership;
    pthread_mutex_lock(&object->lock);
    WaitResult result = Acquire(*object, me, timeoutMs);
    pthread_mutex_unlock(&object->lock);
    posix::UnpinSyncObject(object);
    return result;
}

bool ReleaseMutex(Handle mutex) {
    SyncObject* object = posix::PinSyncObject(mutex, ObjectKind::Mutex);
    if (object == nullptr) return false;
    ThreadOwnership& me = t_ownership;
    pthread_mutex_lock(&object->lock);
    bool owned = object->owner == me.id;
    if (owned && --object->recursion == 0) {
        object->owner = 0;
        --me.heldMutexes;
        pthread_cond_signal(&object->changed);
    }
    pthread_mutex_unlock(&object->lock);
    posix::UnpinSyncObject(object);
    return owned ? true : posix::Fail(EPERM);
}

}  // namespace telmor::platform
