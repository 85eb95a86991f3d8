// CloseHandle for every kind of object in the table.
#include "platform/handle.h"
#include "platform/serial.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/sync_objects.h"

namespace telmor::platform {

bool CloseHandle(Handle handle) {
    switch (win32::KindOf(handle)) {
        case win32::ObjectKind::Mutex:
        case win32::ObjectKind::Event:
            return win32::CloseSyncHandle(handle);
        case win32::ObjectKind::Serial:
            return SerialClose(handle);
        case win32::ObjectKind::Free:
            break;
    }
    return win32::Fail(ERROR_INVALID_HANDLE);
}

}  // namespace telmor::platform
