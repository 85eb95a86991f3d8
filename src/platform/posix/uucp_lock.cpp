// Taking and dropping UUCP lock files.
#include "platform/posix/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/handle_table.h"

namespace telmor::platform::posix {
namespace {

constexpr char kPtyPrefix[] = "/dev/pts/";

enum class LockAttempt { Taken, Held, Unavailable };

// The PID in an existing lock file; 0 when it cannot be read as one.
long LockOwner(const char* lockPath) {
    int fd = open(lockPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32] = {};
    ssize_t length = read(fd, text, sizeof(text) - 1);
    close(fd);
    if (length <= 0) return 0;
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 ? pid : 0;
}

// Our own PID counts as stale: the exclusive open has already shown that no
// descriptor of this process holds the device.
bool IsStale(long pid) {
    return pid <= 0 || pid == getpid() || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

LockAttempt CreateLockFile(const char* lockPath) {
    int fd = open(lockPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno == EEXIST ? LockAttempt::Held : LockAttempt::Unavailable;
    char text[16];
    int length = std::snprintf(text, sizeof(text), "%10ld\n", static_cast<long>(getpid()));
    bool written = write(fd, text, static_cast<size_t>(length)) == length;
    close(fd);
    if (written) return LockAttempt::Taken;
    unlink(lockPath);
    return LockAttempt::Unavailable;
}

}  // namespace

bool TakeUucpLock(const char* lockDir, const char* devicePath, char* lockPath, size_t size) {
    lockPath[0] = '\0';
    if (std::strncmp(devicePath, kPtyPrefix, sizeof(kPtyPrefix) - 1) == 0) return true;
    const char* slash = std::strrchr(devicePath, '/');
    const char* device = slash != nullptr ? slash + 1 : devicePath;
    char path[kLockPathSize];
    int written = std::snprintf(path, sizeof(path), "%s/LCK..%s", lockDir, device);
    if (written < 0 || static_cast<size_t>(written) >= sizeof(path) || static_cast<size_t>(written) >= size) {
        return true;
    }
    // Two rounds: the second after removing a stale lock.
    for (int round = 0; round < 2; ++round) {
        LockAttempt attempt = CreateLockFile(path);
        if (attempt == LockAttempt::Unavailable) return true;
        if (attempt == LockAttempt::Taken) {
            std::memcpy(lockPath, path, static_cast<size_t>(written) + 1);
            return true;
        }
        if (!IsStale(LockOwner(path))) break;
        unlink(path);
    }
    return Fail(EBUSY);
}

void DropUucpLock(const char* lockPath) {
    if (lockPath[0] != '\0') unlink(lockPath);
}

}  // namespace telmor::platform::posix
