// Closing a port, also while another thread is inside a call on it.
#include "platform/serial.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/serial_port.h"

namespace telmor::platform {
namespace {

// How long SerialClose waits for calls on other threads to leave (real ms).
// They leave at once when their I/O is cancelled; should one not, the last
// of them releases the port and SerialClose returns without waiting longer.
constexpr ULONGLONG kLeaveWaitMs = 2000;
constexpr DWORD kCancelRoundMs = 5;

// Wine's PurgeComm does not end a pending read, CancelIoEx does. A call
// that issued its transfer just after one round is caught by the next.
void CancelUntilOthersLeave(win32::SerialPort& port, const win32::Pinned& pinned) {
    const ULONGLONG deadline = GetTickCount64() + kLeaveWaitMs;
    for (;;) {
        CancelIoEx(port.file, nullptr);
        if (win32::OtherUsers(pinned) == 0 || GetTickCount64() >= deadline) return;
        Sleep(kCancelRoundMs);
    }
}

}  // namespace

bool SerialClose(Handle port) {
    win32::Pinned pinned;
    if (!win32::BeginCloseObject(port, win32::ObjectKind::Serial, &pinned)) return false;
    win32::SerialPort& closing = *static_cast<win32::SerialPort*>(pinned.object);
    closing.closing.store(true);
    // Ends a wait on the null device, which has no I/O to cancel.
    ::SetEvent(closing.closed);
    CancelUntilOthersLeave(closing, pinned);
    return win32::UnpinPort(pinned);
}

}  // namespace telmor::platform
