// The serial port pool.
#include "platform/posix/serial_port.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/handle_table.h"

namespace telmor::platform::posix {
namespace {

SerialPort g_ports[kSerialPortCount];

SerialPort* LookupPort(Handle handle) {
    uint16_t index = 0;
    if (!LookupHandle(handle, ObjectKind::Serial, &index)) {
        SetLastErrorCode(EBADF);
        return nullptr;
    }
    return &g_ports[index];
}

void PinLocked(SerialPort& port) {
    pthread_mutex_lock(&port.lock);
    ++port.users;
    pthread_mutex_unlock(&port.lock);
}

}  // namespace

Handle InstallPort(const PortSetup& setup) {
    TableGuard guard;
    for (SerialPort& port : g_ports) {
        if (port.used) continue;
        Handle handle = AllocateHandle(ObjectKind::Serial, static_cast<uint16_t>(&port - g_ports));
        if (handle == kNullHandle) return kNullHandle;
        port.used = true;
        port.setup = setup;
        port.readTimeoutMs.store(kInitialReadTimeoutMs, std::memory_order_relaxed);
        pthread_mutex_lock(&port.lock);
        port.users = 0;
        port.closing = false;
        port.read = PendingIo{};
        port.write = PendingIo{};
        pthread_mutex_unlock(&port.lock);
        return handle;
    }
    SetLastErrorCode(EMFILE);
    return kNullHandle;
}

int ReleaseSetup(const PortSetup& setup) {
    int error = 0;
    if (setup.fd >= 0 && setup.owned) {
        ioctl(setup.fd, TIOCNXCL);
        // Pending output could hold close() for the kernel's closing_wait
        // (up to 30 s); the port is going away, so it is dropped.
        tcflush(setup.fd, TCOFLUSH);
    }
    if (setup.fd >= 0) {
        // Linux releases the descriptor even when close reports an error;
        // EINTR says nothing about the device.
        if (close(setup.fd) != 0 && errno != EINTR) error = errno;
    }
    if (setup.wakeFd >= 0) close(setup.wakeFd);
    DropUucpLock(setup.lockPath);
    return error;
}

SerialPort* PinPort(Handle handle) {
    TableGuard guard;
    SerialPort* port = LookupPort(handle);
    if (port != nullptr) PinLocked(*port);
    return port;
}

int UnpinPort(SerialPort* port) {
    pthread_mutex_lock(&port->lock);
    bool last = --port->users == 0 && port->closing;
    if (port->closing) pthread_cond_broadcast(&port->usersLeft);
    pthread_mutex_unlock(&port->lock);
    if (!last) return 0;
    int error = ReleaseSetup(port->setup);
    TableGuard guard;
    port->setup = PortSetup{};
    port->used = false;
    return error;
}

SerialPort* BeginClose(Handle handle) {
    TableGuard guard;
    SerialPort* port = LookupPort(handle);
    if (port == nullptr) return nullptr;
    FreeHandle(handle);
    pthread_mutex_lock(&port->lock);
    ++port->users;
    port->closing = true;
    pthread_mutex_unlock(&port->lock);
    return port;
}

}  // namespace telmor::platform::posix
