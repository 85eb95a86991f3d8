// Opening a COM port for exclusive use in overlapped mode and applying the
// host's line settings. Every failure closes what was opened before it.
#include <cstring>

#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/win32/comm_state.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/serial_port.h"

namespace telmor::platform {
namespace {

using win32::SerialPort;

// The state record as the port's first owners knew it.
static_assert(sizeof(DCB) == 28, "DCB must have its 28-byte layout");

// The null device gets no state, time-outs or queue sizes: it has none.
bool IsNullDeviceName(const char* name) {
    return std::strcmp(name, "NUL") == 0;
}

// Writes the host's settings over the state read from the device.
//
// Wine on a pseudo-terminal refuses a parity setting once the terminal keeps
// the input check of an earlier owner's parity: a pty keeps INPCK but drops
// PARENB, and Wine then fails the write with ERROR_INVALID_PARAMETER, also
// for settings it took before. Writing back the state as read (which Wine
// turns into no parity, clearing INPCK) makes the wanted state go through.
// On Windows the first write succeeds, or fails for good again.
bool ApplyState(HANDLE file, const DCB& asRead, const LineSettings& settings) {
    DCB wanted = asRead;
    win32::ApplyLineSettings(settings, &wanted);
    if (SetCommState(file, &wanted)) return true;
    if (GetLastError() != ERROR_INVALID_PARAMETER) return false;
    DCB unchanged = asRead;
    return SetCommState(file, &unchanged) && SetCommState(file, &wanted);
}

// Failures leave the failing call's own error in LastError.
int ConfigureDevice(SerialPort& port, const LineSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(port.file, &dcb)) return kSerialStateReadFailed;
    COMMTIMEOUTS timeouts = win32::OpenTimeouts(ToRealMs(win32::kInitialReadTimeoutMs));
    if (!SetCommTimeouts(port.file, &timeouts)) return kSerialOpenFailed;
    if (!ApplyState(port.file, dcb, settings)) return kSerialStateSetFailed;
    // The driver's own buffers are larger than any line; a device that
    // keeps its own queue sizes serves as well.
    SetupComm(port.file, win32::kQueueBytes, win32::kQueueBytes);
    return kSerialOpenOk;
}

int OpenDevice(SerialPort& port, const char* name, const LineSettings& settings) {
    // The name goes to Windows unchanged: "COM1", "\\.\COM10", "NUL".
    port.file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
    if (port.file == INVALID_HANDLE_VALUE) return kSerialOpenFailed;
    port.baudRate = settings.baudRate;
    if (IsNullDeviceName(name)) {
        port.nullDevice = true;
        return kSerialOpenOk;
    }
    return ConfigureDevice(port, settings);
}

}  // namespace

int SerialOpen(const char* name, const LineSettings& settings, Handle* port) {
    if (port == nullptr || name == nullptr) {
        win32::Fail(ERROR_INVALID_PARAMETER);
        return kSerialOpenFailed;
    }
    *port = kNullHandle;
    SerialPort* entry = win32::ReservePort(name);
    if (entry == nullptr) return kSerialOpenFailed;
    int code = OpenDevice(*entry, name, settings);
    if (code == kSerialOpenOk) {
        *port = win32::InstallObject(win32::ObjectKind::Serial, entry);
        if (*port == kNullHandle) code = kSerialOpenFailed;
    }
    if (code != kSerialOpenOk) {
        const DWORD error = GetLastError();
        win32::ReleasePort(*entry);
        SetLastError(error);
    }
    return code;
}

}  // namespace telmor::platform
