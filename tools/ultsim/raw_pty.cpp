// Opening a raw pseudo-terminal pair.
#include "ultsim/raw_pty.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace ultsim {

bool OpenRawPty(RawPty& pty, bool nonBlockingMaster) {
    int master = -1;
    int slave = -1;
    char name[64] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios raw{};
    bool ok = tcgetattr(slave, &raw) == 0;
    if (ok) {
        cfmakeraw(&raw);
        raw.c_cflag |= CLOCAL | CREAD;
        ok = tcsetattr(slave, TCSANOW, &raw) == 0;
    }
    if (ok && nonBlockingMaster) ok = fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) == 0;
    if (!ok) {
        const int error = errno;
        close(master);
        close(slave);
        errno = error;
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    pty.master = master;
    pty.slave = slave;
    pty.slavePath = name;
    return true;
}

}  // namespace ultsim
