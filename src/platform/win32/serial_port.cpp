// The serial port pool.
#include "platform/win32/serial_port.h"

#include <cstring>

namespace telmor::platform::win32 {
namespace {

// How long a release waits for one cancelled transfer to end (real ms).
constexpr DWORD kCancelWaitMs = 2000;
constexpr char kDevicePrefix[] = "\\\\.\\";

SRWLOCK g_poolLock = SRWLOCK_INIT;
SerialPort g_ports[kSerialPortCount];

class PoolGuard {
public:
    PoolGuard() { AcquireSRWLockExclusive(&g_poolLock); }
    ~PoolGuard() { ReleaseSRWLockExclusive(&g_poolLock); }
    PoolGuard(const PoolGuard&) = delete;
    PoolGuard& operator=(const PoolGuard&) = delete;
};

// "COM5" and "\\.\COM5" name the same device, in any case.
const char* DeviceName(const char* name) {
    return std::strncmp(name, kDevicePrefix, sizeof(kDevicePrefix) - 1) == 0
               ? name + sizeof(kDevicePrefix) - 1
               : name;
}

bool SameDevice(const char* a, const char* b) {
    return lstrcmpiA(DeviceName(a), DeviceName(b)) == 0;
}

bool InUse(const char* name) {
    for (const SerialPort& port : g_ports) {
        if (port.used && SameDevice(port.name, name)) return true;
    }
    return false;
}

bool MakeEvent(HANDLE* event) {
    if (*event == nullptr) *event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return *event != nullptr && ::ResetEvent(*event) != FALSE;
}

void ResetSlot(IoSlot& slot) {
    slot.overlapped = OVERLAPPED{};
    slot.started = false;
    slot.length = 0;
}

// Waits until a transfer the release cancelled has ended, so that nothing
// writes into its OVERLAPPED or its buffer afterwards.
void AwaitEnd(IoSlot& slot) {
    if (slot.started && !HasOverlappedIoCompleted(&slot.overlapped)) {
        WaitForSingleObject(slot.event, kCancelWaitMs);
    }
    ResetSlot(slot);
}

}  // namespace

SerialPort* ReservePort(const char* name) {
    if (std::strlen(name) >= kPortNameSize) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    PoolGuard guard;
    if (InUse(name)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    for (SerialPort& port : g_ports) {
        if (port.used) continue;
        if (!MakeEvent(&port.read.event) || !MakeEvent(&port.write.event) || !MakeEvent(&port.closed)) {
            return nullptr;
        }
        port.used = true;
        std::strcpy(port.name, name);
        port.file = INVALID_HANDLE_VALUE;
        port.nullDevice = false;
        port.baudRate = 0;
        port.closing.store(false, std::memory_order_relaxed);
        port.readTimeoutMs.store(kInitialReadTimeoutMs, std::memory_order_relaxed);
        ResetSlot(port.read);
        ResetSlot(port.write);
        return &port;
    }
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
}

bool ReleasePort(SerialPort& port) {
    bool closed = true;
    DWORD error = ERROR_SUCCESS;
    if (port.file != INVALID_HANDLE_VALUE) {
        // Also a transfer started after SerialClose's last cancel ends now.
        CancelIoEx(port.file, nullptr);
        AwaitEnd(port.read);
        AwaitEnd(port.write);
        // Output held back by flow control could keep the close waiting.
        if (!port.nullDevice) PurgeComm(port.file, PURGE_TXABORT | PURGE_TXCLEAR);
        closed = ::CloseHandle(port.file) != FALSE;
        if (!closed) error = GetLastError();
    }
    PoolGuard guard;
    port.file = INVALID_HANDLE_VALUE;
    port.name[0] = '\0';
    port.used = false;
    return closed || Fail(error);
}

bool UnpinPort(const Pinned& pinned) {
    if (!UnpinObject(pinned)) return true;
    const DWORD error = GetLastError();
    const bool released = ReleasePort(*static_cast<SerialPort*>(pinned.object));
    FreeSlot(pinned);
    if (released) SetLastError(error);
    return released;
}

}  // namespace telmor::platform::win32
