// CloseHandle for every kind of object in the table.
#include <cerrno>

#include "platform/handle.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/sync_objects.h"
#include "platform/serial.h"

namespace telmor::platform {

bool CloseHandle(Handle handle) {
    posix::ObjectKind kind = posix::ObjectKind::Free;
    {
        posix::TableGuard guard;
        kind = posix::KindOf(handle);
    }
    switch (kind) {
        case posix::ObjectKind::Mutex:
        case posix::ObjectKind::Event:
            return posix::CloseSyncHandle(handle);
        case posix::ObjectKind::Serial:
            return SerialClose(handle);
        case posix::ObjectKind::Free:
            break;
    }
    return posix::Fail(EBADF);
}

}  // namespace telmor::platform
