// Overlapped reads and writes, read time-outs and purge on an open port.
//
// A start issues ReadFile or WriteFile on the port's own OVERLAPPED of that
// direction; SerialWaitResult waits for it with a bound and collects it. The
// driver's IoRecord only remembers which direction it started.
#include "platform/clock.h"
#include "platform/line_time.h"
#include "platform/serial.h"
#include "platform/win32/handle_table.h"
#include "platform/win32/os_wait.h"
#include "platform/win32/serial_port.h"

namespace telmor::platform {
namespace {

using win32::Fail;
using win32::IoSlot;
using win32::SerialPort;

// IoRecord::reserved: which transfer the record started.
constexpr uint32_t kIoNone = 0;
constexpr uint32_t kIoRead = 1;
constexpr uint32_t kIoWrite = 2;

// A read whose time-out the device fails to keep is given this much more
// (real ms) before it is cancelled; with no time-out set at all (0) the read
// would wait for a byte for ever, and this is then its whole wait.
constexpr DWORD kReadSlackMs = 1000;
// A write is bounded by its allowance (WriteAllowanceMs), since the port has
// no write time-out.
// How long a cancelled transfer may take to end (real ms).
constexpr DWORD kCancelWaitMs = 2000;

DWORD ClampMs(uint64_t ms) {
    return ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
}

IoStart Started(BOOL done, IoSlot& slot, IoRecord& io, uint32_t kind) {
    if (!done && GetLastError() != ERROR_IO_PENDING) return IoStart::Failed;
    slot.started = true;
    io.reserved = kind;
    return done ? IoStart::Completed : IoStart::Pending;
}

// A slot whose last transfer ended uncollected (its wait failed on a
// closed handle value) is free again; one still running is not.
bool Prepare(IoSlot& slot, uint32_t length) {
    if (slot.started && !HasOverlappedIoCompleted(&slot.overlapped)) return Fail(ERROR_BUSY);
    slot.overlapped = OVERLAPPED{};
    slot.overlapped.hEvent = slot.event;
    slot.length = length;
    return true;
}

enum class Ending { Completed, Cancelled, Stuck };

// Waits up to `limitMs` for the transfer; past that it is cancelled and
// waited for again, so that it has ended before the caller's buffer goes.
Ending AwaitTransfer(const SerialPort& port, IoSlot& slot, DWORD limitMs) {
    if (HasOverlappedIoCompleted(&slot.overlapped)) return Ending::Completed;
    if (WaitForSingleObject(slot.event, limitMs) == WAIT_OBJECT_0) return Ending::Completed;
    CancelIoEx(port.file, &slot.overlapped);
    if (WaitForSingleObject(slot.event, kCancelWaitMs) == WAIT_OBJECT_0) return Ending::Cancelled;
    return Ending::Stuck;  // left started: the release waits for it once more
}

// What the transfer came to: true with its byte count, or false with the
// error GetOverlappedResult left.
bool Collect(const SerialPort& port, IoSlot& slot, DWORD* transferred) {
    *transferred = 0;
    const bool ok = GetOverlappedResult(port.file, &slot.overlapped, transferred, FALSE) != FALSE;
    slot.started = false;
    return ok;
}

// Windows completes a read that reached its total time-out successfully
// with 0 bytes; Wine fails it with ERROR_TIMEOUT (STATUS_TIMEOUT). Both
// mean "no byte", and so does a read this backend cancelled at its bound.
bool ReadTimedOut(DWORD error, bool cancelledHere) {
    return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT ||
           (cancelledHere && error == ERROR_OPERATION_ABORTED);
}

// The null device has nothing to read: the read waits its time-out, or
// until the port closes, and brings no byte.
bool FinishNullRead(SerialPort& port, IoSlot& slot) {
    slot.started = false;
    const DWORD outcome = WaitForSingleObject(port.closed, win32::RealWaitMs(port.readTimeoutMs.load()));
    if (outcome == WAIT_OBJECT_0) return Fail(ERROR_OPERATION_ABORTED);
    return outcome == WAIT_TIMEOUT || Fail(GetLastError());
}

bool FinishRead(SerialPort& port, uint32_t* transferred) {
    IoSlot& slot = port.read;
    if (port.nullDevice) return FinishNullRead(port, slot);
    const DWORD limitMs = ClampMs(uint64_t{ToRealMs(port.readTimeoutMs.load())} + kReadSlackMs);
    const Ending ending = AwaitTransfer(port, slot, limitMs);
    if (ending == Ending::Stuck) return Fail(ERROR_TIMEOUT);
    DWORD got = 0;
    if (Collect(port, slot, &got)) {
        *transferred = got;
        return true;
    }
    const DWORD error = GetLastError();
    if (port.closing.load()) return Fail(ERROR_OPERATION_ABORTED);
    return (got == 0 && ReadTimedOut(error, ending == Ending::Cancelled)) || Fail(error);
}

bool FinishWrite(SerialPort& port, uint32_t* transferred) {
    IoSlot& slot = port.write;
    const uint64_t allowance = WriteAllowanceMs(port.baudRate, slot.length);
    const Ending ending = AwaitTransfer(port, slot, ClampMs(allowance));
    if (ending == Ending::Stuck) return Fail(ERROR_TIMEOUT);
    DWORD written = 0;
    const bool ok = Collect(port, slot, &written);
    *transferred = written;
    if (ok) return true;
    if (ending == Ending::Cancelled && !port.closing.load()) return Fail(ERROR_TIMEOUT);
    return false;  // LastError is GetOverlappedResult's
}

}  // namespace

bool SerialGetReadTimeout(Handle port, uint32_t* timeoutMs) {
    return win32::WithPort(port, false, [timeoutMs](SerialPort& open) {
        const uint32_t remembered = open.readTimeoutMs.load();
        if (open.nullDevice) {
            *timeoutMs = remembered;
            return true;
        }
        COMMTIMEOUTS timeouts{};
        if (!GetCommTimeouts(open.file, &timeouts)) return false;
        // The device keeps real ms; what this backend set reads back as
        // the driver ms it was given, anything else scaled up.
        if (ToRealMs(remembered) == timeouts.ReadTotalTimeoutConstant) {
            *timeoutMs = remembered;
            return true;
        }
        const uint64_t scaled = uint64_t{timeouts.ReadTotalTimeoutConstant} * TimeFactor();
        *timeoutMs = scaled > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(scaled);
        return true;
    });
}

bool SerialSetReadTimeout(Handle port, uint32_t timeoutMs) {
    return win32::WithPort(port, false, [timeoutMs](SerialPort& open) {
        if (!open.nullDevice) {
            // Only the total constant changes; interval and multipliers
            // stay as the device has them.
            COMMTIMEOUTS timeouts{};
            if (!GetCommTimeouts(open.file, &timeouts)) return false;
            timeouts.ReadTotalTimeoutConstant = ToRealMs(timeoutMs);
            if (!SetCommTimeouts(open.file, &timeouts)) return false;
        }
        open.readTimeoutMs.store(timeoutMs);
        return true;
    });
}

IoStart SerialStartRead(Handle port, IoRecord& io, uint8_t* buffer, uint32_t length) {
    io.reserved = kIoNone;
    return win32::WithPort(port, IoStart::Failed, [&io, buffer, length](SerialPort& open) {
        IoSlot& slot = open.read;
        if (!Prepare(slot, length)) return IoStart::Failed;
        if (open.nullDevice) {
            // A read of the null device reports end of file at once, which
            // would make the receiver spin: it waits in SerialWaitResult.
            slot.started = true;
            io.reserved = kIoRead;
            return IoStart::Pending;
        }
        return Started(ReadFile(open.file, buffer, length, nullptr, &slot.overlapped), slot, io, kIoRead);
    });
}

IoStart SerialStartWrite(Handle port, IoRecord& io, const uint8_t* buffer, uint32_t length) {
    io.reserved = kIoNone;
    return win32::WithPort(port, IoStart::Failed, [&io, buffer, length](SerialPort& open) {
        IoSlot& slot = open.write;
        if (!Prepare(slot, length)) return IoStart::Failed;
        // A write may complete at once instead of pending; both are collected alike.
        return Started(WriteFile(open.file, buffer, length, nullptr, &slot.overlapped), slot, io, kIoWrite);
    });
}

bool SerialWaitResult(Handle port, IoRecord& io, uint32_t* transferred) {
    const uint32_t kind = io.reserved;
    io.reserved = kIoNone;
    *transferred = 0;
    if (kind != kIoRead && kind != kIoWrite) return Fail(ERROR_INVALID_PARAMETER);
    return win32::WithPort(port, false, [kind, transferred](SerialPort& open) {
        IoSlot& slot = kind == kIoRead ? open.read : open.write;
        if (!slot.started) return Fail(ERROR_INVALID_PARAMETER);
        return kind == kIoRead ? FinishRead(open, transferred) : FinishWrite(open, transferred);
    });
}

bool SerialPurgeReceive(Handle port) {
    return win32::WithPort(port, false, [](SerialPort& open) {
        // Only the queue: the driver purges while no read of its own runs.
        return open.nullDevice || PurgeComm(open.file, PURGE_RXCLEAR) != FALSE;
    });
}

}  // namespace telmor::platform
