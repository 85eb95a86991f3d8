// The pass-through between the driver's pseudo-terminal and the real device.
#include "vpihost/line_tap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/posix/line_termios.h"
#include "platform/serial.h"
#include "ultsim/raw_pty.h"
#include "vpihost/traffic_pieces.h"
#include "vpihost/wall_clock.h"

namespace vpihost {
namespace {

constexpr int kPollMs = 50;
constexpr int64_t kReopenEveryNs = 500'000'000;
// Bytes waiting for a side that does not take them (a driver that closed its
// port, a device held up by flow control). Beyond this they are dropped and
// noted, as a UART's buffer would overflow.
constexpr size_t kMaxQueued = 64 * 1024;
// What the trace keeps between two takes: the view takes it every 50 ms.
constexpr size_t kMaxKept = 10'000;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Writes what the descriptor takes now. False when it failed for good.
bool WriteSome(int fd, std::string& queued) {
    const ssize_t written = write(fd, queued.data(), queued.size());
    if (written > 0) {
        queued.erase(0, static_cast<size_t>(written));
        return true;
    }
    return written < 0 && (errno == EAGAIN || errno == EINTR);
}

}  // namespace

struct LineTap::Impl {
    // Set before the thread starts, then the thread's own.
    std::string device;
    telmor::platform::LineSettings line{};
    int deviceFd = -1;
    int master = -1;
    int slave = -1;  // held so the master never sees EIO while the driver's port is closed
    std::string slavePath;
    std::string toDevice;
    std::string toDriver;
    TrafficPieces frames{"/"};
    TrafficPieces lines{"\n\r"};
    int64_t lastTryNs = 0;
    uint64_t dropped = 0;     // from the driver while the device is lost
    bool deviceFull = false;  // the device does not take the driver's bytes
    bool driverFull = false;  // the driver's side does not take the network's bytes
    std::atomic<bool> stop{false};

    // Shared with the taking thread.
    std::mutex mu;
    std::vector<Passed> traffic;
    uint64_t trafficDropped = 0;
    std::vector<std::string> notes;

    ~Impl() {
        if (deviceFd >= 0) tcflush(deviceFd, TCOFLUSH);
        CloseFd(deviceFd);
        CloseFd(master);
        CloseFd(slave);
    }

    void Note(std::string text) {
        std::lock_guard lock(mu);
        notes.push_back(std::move(text));
    }

    void Keep(bool fromDriver, std::vector<TrafficPiece> pieces) {
        std::lock_guard lock(mu);
        for (TrafficPiece& piece : pieces) {
            if (traffic.size() >= kMaxKept) {
                ++trafficDropped;
                continue;
            }
            traffic.push_back({fromDriver, std::move(piece.bytes), piece.startNs});
        }
    }

    // The device with the line settings, for exclusive use: a second program
    // on the same line would take bytes away from the driver.
    bool OpenDevice(std::string& error) {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = device + ": " + std::strerror(errno);
            return false;
        }
        termios tio{};
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = device + ": in use by another program";
        } else if (tcgetattr(fd, &tio) != 0 || !telmor::platform::posix::TermiosForLine(line, &tio) ||
                   tcsetattr(fd, TCSANOW, &tio) != 0) {
            error = device + ": cannot set the line settings (" + std::strerror(errno) + ")";
        } else {
            tcflush(fd, TCIOFLUSH);
            deviceFd = fd;
            return true;
        }
        close(fd);
        return false;
    }

    bool OpenPty(std::string& error) {
        ultsim::RawPty pty;
        if (!ultsim::OpenRawPty(pty, true)) {
            error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        master = pty.master;
        slave = pty.slave;
        slavePath = pty.slavePath;
        return true;
    }

    void Lose(const char* reason, int64_t now) {
        tcflush(deviceFd, TCOFLUSH);
        CloseFd(deviceFd);
        dropped = toDevice.size();  // what had not gone out yet is lost with the device
        toDevice.clear();
        lastTryNs = now;
        Note("device lost: " + device + " (" + reason + ")");
    }

    void TryReopen(int64_t now) {
        if (now - lastTryNs < kReopenEveryNs) return;
        lastTryNs = now;
        std::string error;
        if (!OpenDevice(error)) return;
        Note("device back: " + device +
             (dropped ? "; " + std::to_string(dropped) + " bytes from the driver dropped meanwhile" : ""));
    }

    // Queues what there is room for; the first overflow of a run is noted.
    void Queue(std::string& queue, const char* bytes, size_t count, bool& overflowing, const char* note) {
        const size_t room = kMaxQueued - std::min(kMaxQueued, queue.size());
        const size_t taken = std::min(room, count);
        queue.append(bytes, taken);
        const bool overflow = taken < count;
        if (overflow && !overflowing) Note(note);
        overflowing = overflow;
    }

    void FromDriver(int64_t now) {
        char buffer[512];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) return;
        const auto count = static_cast<size_t>(n);
        Keep(true, frames.Feed({buffer, count}, now));
        if (deviceFd < 0) {
            dropped += count;
        } else {
            Queue(toDevice, buffer, count, deviceFull,
                  "the device does not take what the driver sends; bytes dropped");
        }
    }

    void FromDevice(int64_t now) {
        char buffer[512];
        const ssize_t n = read(deviceFd, buffer, sizeof buffer);
        if (n > 0) {
            const auto count = static_cast<size_t>(n);
            Keep(false, lines.Feed({buffer, count}, now));
            Queue(toDriver, buffer, count, driverFull,
                  "the driver does not take what arrives; bytes dropped");
            return;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        // Readable with nothing to read is how an unplugged adapter looks.
        Lose(n == 0 ? "end of file" : std::strerror(errno), now);
    }

    void Run() {
        while (!stop.load()) {
            pollfd fds[2] = {{master, POLLIN, 0}, {deviceFd, POLLIN, 0}};
            if (!toDriver.empty()) fds[0].events |= POLLOUT;
            if (!toDevice.empty()) fds[1].events |= POLLOUT;
            const int ready = poll(fds, 2, kPollMs);
            const int64_t now = RealTimeNs();
            if (ready > 0) Serve(fds, now);
            if (deviceFd < 0) TryReopen(now);
            Keep(true, frames.Idle(now));
            Keep(false, lines.Idle(now));
        }
        Keep(true, frames.Flush());
        Keep(false, lines.Flush());
    }

    void Serve(const pollfd (&fds)[2], int64_t now) {
        if (fds[0].revents & POLLIN) FromDriver(now);
        if ((fds[0].revents & POLLOUT) && !WriteSome(master, toDriver)) toDriver.clear();
        if (deviceFd < 0) return;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) FromDevice(now);
        if (deviceFd >= 0 && (fds[1].revents & POLLOUT) && !WriteSome(deviceFd, toDevice))
            Lose(std::strerror(errno), now);
    }
};

LineTap::LineTap() : impl_(std::make_unique<Impl>()) {}

LineTap::~LineTap() {
    Stop();
}

bool LineTap::Open(const std::string& device, const TapSettings& line, std::string& error) {
    if (thread_.joinable()) {
        error = "the tap is already open";
        return false;
    }
    impl_->device = device;
    impl_->line.baudRate = line.baud;
    impl_->line.dataBits = static_cast<uint8_t>(line.dataBits);
    impl_->line.parity = static_cast<uint8_t>(line.parity);
    impl_->line.stopBits = static_cast<uint8_t>(line.stopBits);
    if (!impl_->OpenDevice(error) || !impl_->OpenPty(error)) return false;
    thread_ = std::thread([impl = impl_.get()] { impl->Run(); });
    return true;
}

std::string LineTap::DriverPort() const {
    return impl_->slavePath;
}

void LineTap::Stop() {
    impl_->stop = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<LineTap::Passed> LineTap::TakeTraffic() {
    std::lock_guard lock(impl_->mu);
    std::vector<Passed> taken;
    taken.swap(impl_->traffic);
    return taken;
}

std::vector<std::string> LineTap::TakeNotes() {
    std::lock_guard lock(impl_->mu);
    std::vector<std::string> taken;
    taken.swap(impl_->notes);
    if (impl_->trafficDropped) {
        taken.push_back("trace: " + std::to_string(impl_->trafficDropped) +
                        " pieces not shown (too many at once)");
        impl_->trafficDropped = 0;
    }
    return taken;
}

}  // namespace vpihost
