// Closing a port, also while another thread is inside a call on it.
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/posix/handle_table.h"
#include "platform/posix/real_time.h"
#include "platform/posix/serial_port.h"
#include "platform/serial.h"

namespace telmor::platform {
namespace {

// How long SerialClose waits for calls on other threads to leave (real ms).
// They leave at once when woken; should one not, the last of them releases
// the device and SerialClose returns without waiting longer.
constexpr uint32_t kLeaveWaitMs = 2000;

void WakeWaiters(const posix::SerialPort& port) {
    uint64_t one = 1;
    // The counter is never read back: the descriptor stays readable, so a
    // call that starts waiting after this returns at once as well.
    ssize_t ignored = write(port.setup.wakeFd, &one, sizeof(one));
    (void)ignored;
}

void AwaitOtherUsers(posix::SerialPort& port) {
    timespec deadline = posix::DeadlineAfter(kLeaveWaitMs);
    pthread_mutex_lock(&port.lock);
    while (port.users > 1 &&
           pthread_cond_clockwait(&port.usersLeft, &port.lock, CLOCK_MONOTONIC, &deadline) != ETIMEDOUT) {
    }
    pthread_mutex_unlock(&port.lock);
}

}  // namespace

bool SerialClose(Handle port) {
    posix::SerialPort* closing = posix::BeginClose(port);
    if (closing == nullptr) return false;
    WakeWaiters(*closing);
    // Also ends a tcdrain on another thread, for devices that need one.
    if (closing->setup.fd >= 0) tcflush(closing->setup.fd, TCOFLUSH);
    AwaitOtherUsers(*closing);
    int error = posix::UnpinPort(closing);
    return error == 0 || posix::Fail(error);
}

}  // namespace telmor::platform
