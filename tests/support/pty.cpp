// openpty-based pseudo-terminal pair.
#include "support/pty.h"

#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "ultsim/raw_pty.h"

namespace telmor::test {
namespace {

bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

void SetPortName(char (&portName)[VPI_PORT_NAME_SIZE], const std::string& path) {
    const std::string name = path.rfind("/dev/", 0) == 0 ? path.substr(5) : path;
    std::memset(portName, 0, sizeof portName);
    if (name.size() >= sizeof portName) {
        ADD_FAILURE() << "port name '" << name << "' does not fit the host record";
        return;
    }
    std::memcpy(portName, name.data(), name.size());
}

PtyPair::PtyPair() {
    ultsim::RawPty pty;
    if (!ultsim::OpenRawPty(pty, false)) {
        error = errno;
        return;
    }
    master = pty.master;
    slave = pty.slave;
    slavePath = pty.slavePath;
    // The test writes and reads the master as raw bytes as well.
    if (!MakeRaw(master)) {
        error = errno;
        CloseMaster();
        CloseSlave();
    }
}

PtyPair::~PtyPair() {
    CloseMaster();
    CloseSlave();
}

bool PtyPair::Send(std::string_view bytes) const {
    while (!bytes.empty()) {
        ssize_t written = write(master, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string PtyPair::Receive(size_t count, int timeoutMs) const {
    std::string received;
    long long deadline = NowMs() + timeoutMs;
    while (received.size() < count) {
        long long left = deadline - NowMs();
        if (left <= 0) break;
        pollfd fd{master, POLLIN, 0};
        int ready = poll(&fd, 1, static_cast<int>(left));
        if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
        if (ready < 0 || (fd.revents & POLLIN) == 0) break;
        char buffer[512];
        size_t want = count - received.size() < sizeof(buffer) ? count - received.size() : sizeof(buffer);
        ssize_t got = read(master, buffer, want);
        if (got <= 0) break;
        received.append(buffer, static_cast<size_t>(got));
    }
    return received;
}

void PtyPair::CloseMaster() {
    if (master >= 0) close(master);
    master = -1;
}

void PtyPair::CloseSlave() {
    if (slave >= 0) close(slave);
    slave = -1;
}

}  // namespace telmor::test
