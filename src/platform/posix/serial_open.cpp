// Opening a serial device for exclusive use and applying the host's line
// settings. Every failure closes what was opened before it.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/posix/handle_table.h"
#include "platform/posix/line_termios.h"
#include "platform/posix/port_name.h"
#include "platform/posix/serial_port.h"
#include "platform/posix/uucp_lock.h"
#include "platform/serial.h"

namespace telmor::platform {
namespace {

using posix::Fail;
using posix::PortSetup;

constexpr size_t kDevicePathSize = 256;

int Failure(int code, int error) {
    posix::SetLastErrorCode(error);
    return code;
}

bool OpenWakeFd(PortSetup& setup) {
    setup.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return setup.wakeFd >= 0 || Fail(errno);
}

// flock on the device keeps out every other descriptor that asks for it,
// also one of this process and also for root, which TIOCEXCL does not stop.
bool LockDevice(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    return Fail(errno == EWOULDBLOCK ? EBUSY : errno);
}

// Modem-line requests that a device without modem lines (a pty, some USB
// adapters) refuses with ENOTTY or EINVAL are not a reason to give up the
// port: there is nothing to drive.
bool SetModemLine(int fd, int line, bool raise) {
    if (ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &line) == 0 || errno == ENOTTY || errno == EINVAL) return true;
    return Fail(errno);
}

// DTR handshake has no termios counterpart (Linux paces input by RTS only);
// DTR is raised so the peer sees a ready port. RTS handshake is left to
// CRTSCTS. RTS toggle needs the device's RS-485 mode, which outlives the
// port, so RTS stays down there.
bool ApplyModemLines(int fd, uint16_t lineControl) {
    RtsMode rts = RtsFromLineControl(lineControl);
    bool dtrOk = SetModemLine(fd, TIOCM_DTR, DtrFromLineControl(lineControl) != DtrMode::Off);
    return dtrOk && (rts == RtsMode::Handshake || SetModemLine(fd, TIOCM_RTS, rts == RtsMode::On));
}

// tcsetattr succeeds when any part of the request was applied, so the state
// is read back and decides. Its EINVAL means only that nothing changed: glibc
// reports it when the request differs from the state and the state stayed
// as it was, which is what a pty re-opened with the same 7-bit or parity
// settings does (it ignores CSIZE and PARENB).
int ApplyLineSettings(int fd, const LineSettings& settings, const termios& current) {
    termios wanted = current;
    termios actual{};
    if (!posix::TermiosForLine(settings, &wanted)) return Failure(kSerialStateSetFailed, EINVAL);
    if (tcsetattr(fd, TCSANOW, &wanted) != 0 && errno != EINVAL) return Failure(kSerialStateSetFailed, errno);
    if (tcgetattr(fd, &actual) != 0) return Failure(kSerialStateSetFailed, errno);
    if (!posix::LineKept(wanted, actual)) return Failure(kSerialStateSetFailed, EINVAL);
    if (!ApplyModemLines(fd, settings.lineControl)) return kSerialStateSetFailed;
    return kSerialOpenOk;
}

// The lock file is named for the device itself, so that every path that
// leads to it (a by-id link, a COM link) finds the same lock.
bool TakeLineLock(const char* path, PortSetup& setup) {
    char device[PATH_MAX];
    const char* resolved = realpath(path, device) != nullptr ? device : path;
    return posix::TakeUucpLock(posix::kUucpLockDir, resolved, setup.lockPath, sizeof(setup.lockPath));
}

int OpenDevice(const char* name, const LineSettings& settings, PortSetup& setup) {
    char path[kDevicePathSize];
    if (!posix::DevicePathFor(name, std::getenv(posix::kComDirVariable), path, sizeof(path))) {
        return kSerialOpenFailed;
    }
    setup.fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (setup.fd < 0) return Failure(kSerialOpenFailed, errno);
    if (!LockDevice(setup.fd) || !TakeLineLock(path, setup)) return kSerialOpenFailed;
    // Only now is the device ours: TIOCEXCL then keeps out later opens by
    // programs that know neither lock (it does not stop root).
    setup.owned = true;
    ioctl(setup.fd, TIOCEXCL);
    termios current{};
    if (tcgetattr(setup.fd, &current) != 0) return Failure(kSerialStateReadFailed, errno);
    if (!OpenWakeFd(setup)) return kSerialOpenFailed;
    setup.baudRate = settings.baudRate;
    return ApplyLineSettings(setup.fd, settings, current);
}

}  // namespace

int SerialOpen(const char* name, const LineSettings& settings, Handle* port) {
    if (port == nullptr || name == nullptr) return Failure(kSerialOpenFailed, EINVAL);
    *port = kNullHandle;
    PortSetup setup;
    int code = posix::IsNullDeviceName(name) ? (OpenWakeFd(setup) ? kSerialOpenOk : kSerialOpenFailed)
                                             : OpenDevice(name, settings, setup);
    if (code == kSerialOpenOk) {
        *port = posix::InstallPort(setup);
        if (*port == kNullHandle) code = kSerialOpenFailed;
    }
    if (code != kSerialOpenOk) posix::ReleaseSetup(setup);
    return code;
}

}  // namespace telmor::platform
