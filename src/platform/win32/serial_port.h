// The pool of open serial ports and the rules that let SerialClose run while
// another thread is inside a call on the same port.
//
// The real OVERLAPPED records live here, one per port and direction (the
// driver has one reader and serialised writers per port), with an event of
// the port's own: an OVERLAPPED must outlive its I/O, which the driver's
// IoRecord in the context cannot promise across a close.
//
// Every call pins the port's handle for its duration. SerialClose makes the
// handle stale, cancels the port's I/O until no other call is inside, and
// the last one out releases the port: it waits for every I/O still started,
// then closes the device. So no call uses a freed OVERLAPPED, a closed
// HANDLE or one that Windows has handed out again.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/handle.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/windows_api.h"

namespace telmor::platform::win32 {

inline constexpr uint32_t kSerialPortCount = 64;
inline constexpr uint32_t kInitialReadTimeoutMs = 1000;  // driver ms
inline constexpr size_t kPortNameSize = 64;

// One direction's transfer. Touched by the one thread that starts and
// collects it, and by the release, which runs when no call is inside.
struct IoSlot {
    OVERLAPPED overlapped;
    HANDLE event;     // manual-reset; made once per pool entry and kept
    bool started;     // started and not yet collected
    uint32_t length;  // bytes asked for
};

struct SerialPort {
    bool used;                 // under the pool lock
    char name[kPortNameSize];  // as opened, for the exclusive-use check

    // Fixed from open until the port is released.
    HANDLE file;
    bool nullDevice;
    HANDLE closed;  // manual-reset, set when the port begins to close
    uint32_t baudRate;

    std::atomic<bool> closing;
    std::atomic<uint32_t> readTimeoutMs;  // driver ms, as last set
    IoSlot read;
    IoSlot write;
};

// A free pool entry for the device `name`, with its events. Null with
// ERROR_ACCESS_DENIED when this process has that name open already (what
// Windows answers for a COM port opened without sharing; Wine lets a
// second open of a device through), ERROR_TOO_MANY_OPEN_FILES when the pool
// is full, or the error of creating an event.
SerialPort* ReservePort(const char* name);

// Closes what the entry holds and gives it back; for failed opens and
// released ports. Waits for I/O still started first. False (LastError set)
// when closing the device failed.
bool ReleasePort(SerialPort& port);

// Ends a pin of a port; the last pin of a closed one releases it. Returns
// the release's result, true when there was none. Keeps the caller's
// LastError unless the release failed.
bool UnpinPort(const Pinned& pinned);

// Runs `action` with the port pinned; `failed` for a handle that is not a
// live port (LastError ERROR_INVALID_HANDLE).
template <typename Result, typename Action>
Result WithPort(Handle handle, Result failed, Action action) {
    Pinned pinned;
    if (!PinObject(handle, ObjectKind::Serial, &pinned)) return failed;
    const Result result = action(*static_cast<SerialPort*>(pinned.object));
    UnpinPort(pinned);
    return result;
}

}  // namespace telmor::platform::win32
