// Named manual-reset events: Windows' own.
#include "platform/sync.h"
#include "platform/win32/sync_objects.h"

namespace telmor::platform {
namespace {

template <typename Call>
bool WithEvent(Handle event, Call call) {
    return win32::WithSyncObject(event, win32::ObjectKind::Event, call);
}

}  // namespace

Handle CreateNamedEvent(const char* name) {
    return win32::InstallSyncObject(win32::ObjectKind::Event,
                                    CreateEventA(nullptr, TRUE, FALSE, win32::ObjectName(name)));
}

WaitResult WaitEvent(Handle event, uint32_t timeoutMs) {
    return win32::WaitSyncObject(event, win32::ObjectKind::Event, timeoutMs);
}

bool SetEvent(Handle event) {
    return WithEvent(event, [](HANDLE object) { return ::SetEvent(object) != FALSE; });
}

bool ResetEvent(Handle event) {
    return WithEvent(event, [](HANDLE object) { return ::ResetEvent(object) != FALSE; });
}

// Windows' PulseEvent misses a waiter that a kernel-mode APC has taken off
// the wait for that moment; the driver hands replies over with Set and Reset
// for that reason and keeps Pulse only for callers that accept it. No
// replacement built from one event can do better: a Set followed by a Reset
// also releases threads that begin waiting in between.
bool PulseEvent(Handle event) {
    return WithEvent(event, [](HANDLE object) { return ::PulseEvent(object) != FALSE; });
}

}  // namespace telmor::platform
