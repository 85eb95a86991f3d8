// Reads, writes, time-outs and purge on an open port.
//
// A start only records the transfer; SerialWaitResult carries it out with
// non-blocking I/O and poll, so every wait has a deadline and ends at once
// when the port is closed (its wake descriptor joins every poll). The
// records' events are not needed for that and are left alone.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/line_time.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/real_time.h"
#include "platform/posix/serial_port.h"
#include "platform/serial.h"

namespace telmor::platform {
namespace {

using posix::Fail;
using posix::PendingIo;
using posix::SerialPort;

// IoRecord::reserved: which transfer the record started.
constexpr uint32_t kIoNone = 0;
constexpr uint32_t kIoRead = 1;
constexpr uint32_t kIoWrite = 2;

constexpr int kDrainPollMaxMs = 20;

enum class PortWait { Ready, TimedOut, Closing, Failed };

PortWait WaitFailed(int error) {
    posix::SetLastErrorCode(error);
    return PortWait::Failed;
}

PortWait WaitForPort(const SerialPort& port, short events, const timespec& deadline) {
    for (;;) {
        int left = posix::MsUntil(deadline);
        // poll ignores a negative descriptor: the null device only waits for
        // its time-out or its close.
        pollfd fds[2] = {{port.setup.fd, events, 0}, {port.setup.wakeFd, POLLIN, 0}};
        int ready = poll(fds, 2, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return WaitFailed(errno);
        if (fds[1].revents != 0) return PortWait::Closing;
        if ((fds[0].revents & events) != 0) return PortWait::Ready;
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return WaitFailed(EIO);
        if (left == 0) return PortWait::TimedOut;
    }
}

bool FailWait(PortWait wait) {
    if (wait == PortWait::Closing) return Fail(ECANCELED);
    if (wait == PortWait::TimedOut) return Fail(ETIMEDOUT);
    return false;  // LastError already set
}

// Reads what has arrived, waiting up to the port's read time-out for the
// first byte. Reaching the time-out is a success with 0 bytes.
bool ReadAvailable(const SerialPort& port, const PendingIo& io, uint32_t* transferred) {
    if (io.length == 0) return true;
    timespec deadline = posix::DeadlineAfter(ToRealMs(port.readTimeoutMs.load(std::memory_order_relaxed)));
    for (;;) {
        if (port.setup.fd >= 0) {
            ssize_t count = read(port.setup.fd, io.buffer, io.length);
            if (count > 0) {
                *transferred = static_cast<uint32_t>(count);
                return true;
            }
            // Readable but empty (VMIN is 1): the device hung up or was
            // unplugged. Going on would spin.
            if (count == 0) return Fail(ENODEV);
            if (errno != EAGAIN && errno != EINTR) return Fail(errno);
        }
        PortWait wait = WaitForPort(port, POLLIN, deadline);
        if (wait == PortWait::TimedOut) return true;
        if (wait != PortWait::Ready) return FailWait(wait);
    }
}

// Waits until the driver's output queue is empty: tcdrain, but ending at
// the deadline or at a close. Devices that cannot report their queue get
// plain tcdrain.
bool DrainOutput(const SerialPort& port, const timespec& deadline) {
    for (;;) {
        int queued = 0;
        if (ioctl(port.setup.fd, TIOCOUTQ, &queued) != 0) return tcdrain(port.setup.fd) == 0 || Fail(errno);
        if (queued <= 0) return true;
        int left = posix::MsUntil(deadline);
        if (left == 0) return Fail(ETIMEDOUT);
        uint64_t lineMs = LineMs(port.setup.baudRate, static_cast<uint64_t>(queued));
        int pause = lineMs < 1 ? 1 : lineMs > kDrainPollMaxMs ? kDrainPollMaxMs : static_cast<int>(lineMs);
        pollfd wake{port.setup.wakeFd, POLLIN, 0};
        if (poll(&wake, 1, pause < left ? pause : left) > 0) return Fail(ECANCELED);
    }
}

bool WriteAll(const SerialPort& port, const PendingIo& io, uint32_t* transferred) {
    if (port.setup.fd < 0) {
        *transferred = io.length;
        return true;
    }
    const uint64_t allowance = WriteAllowanceMs(port.setup.baudRate, io.length);
    timespec deadline =
        posix::DeadlineAfter(allowance > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(allowance));
    uint32_t written = 0;
    while (written < io.length) {
        ssize_t count = write(port.setup.fd, io.buffer + written, io.length - written);
        if (count > 0) {
            written += static_cast<uint32_t>(count);
            *transferred = written;
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno != EAGAIN) return Fail(errno);
        PortWait wait = WaitForPort(port, POLLOUT, deadline);
        if (wait != PortWait::Ready) return FailWait(wait);
    }
    return DrainOutput(port, deadline);
}

IoStart Arm(Handle handle, IoRecord& io, uint32_t kind, uint8_t* buffer, uint32_t length) {
    if (buffer == nullptr && length != 0) {
        posix::SetLastErrorCode(EINVAL);
        return IoStart::Failed;
    }
    SerialPort* port = posix::PinPort(handle);
    if (port == nullptr) return IoStart::Failed;
    pthread_mutex_lock(&port->lock);
    (kind == kIoRead ? port->read : port->write) = PendingIo{buffer, length, true};
    pthread_mutex_unlock(&port->lock);
    posix::UnpinPort(port);
    io.reserved = kind;
    return IoStart::Pending;
}

bool TakePending(SerialPort& port, uint32_t kind, PendingIo* pending) {
    if (kind != kIoRead && kind != kIoWrite) return Fail(EINVAL);
    pthread_mutex_lock(&port.lock);
    PendingIo& slot = kind == kIoRead ? port.read : port.write;
    *pending = slot;
    slot = PendingIo{};
    pthread_mutex_unlock(&port.lock);
    return pending->armed || Fail(EINVAL);
}

// Runs `action` with the port pinned; false for a bad handle.
template <typename Action>
bool WithPort(Handle handle, Action action) {
    SerialPort* port = posix::PinPort(handle);
    if (port == nullptr) return false;
    bool ok = action(*port);
    posix::UnpinPort(port);
    return ok;
}

}  // namespace

bool SerialGetReadTimeout(Handle port, uint32_t* timeoutMs) {
    return WithPort(port, [timeoutMs](SerialPort& open) {
        *timeoutMs = open.readTimeoutMs.load(std::memory_order_relaxed);
        return true;
    });
}

bool SerialSetReadTimeout(Handle port, uint32_t timeoutMs) {
    return WithPort(port, [timeoutMs](SerialPort& open) {
        open.readTimeoutMs.store(timeoutMs, std::memory_order_relaxed);
        return true;
    });
}

IoStart SerialStartRead(Handle port, IoRecord& io, uint8_t* buffer, uint32_t length) {
    return Arm(port, io, kIoRead, buffer, length);
}

IoStart SerialStartWrite(Handle port, IoRecord& io, const uint8_t* buffer, uint32_t length) {
    // The buffer is only ever written from, never into.
    return Arm(port, io, kIoWrite, const_cast<uint8_t*>(buffer), length);
}

bool SerialWaitResult(Handle port, IoRecord& io, uint32_t* transferred) {
    uint32_t kind = io.reserved;
    io.reserved = kIoNone;
    *transferred = 0;
    return WithPort(port, [kind, transferred](SerialPort& open) {
        PendingIo pending;
        if (!TakePending(open, kind, &pending)) return false;
        return kind == kIoRead ? ReadAvailable(open, pending, transferred)
                               : WriteAll(open, pending, transferred);
    });
}

bool SerialPurgeReceive(Handle port) {
    return WithPort(port, [](SerialPort& open) {
        return open.setup.fd < 0 || tcflush(open.setup.fd, TCIFLUSH) == 0 || Fail(errno);
    });
}

}  // namespace telmor::platform
