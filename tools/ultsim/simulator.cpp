// The simulator's line side: one service thread that reads frames, lets the
// network answer them, and writes what is due, one whole line at a time, paced
// at the line's character time when asked to.
#include "ultsim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>

#include "ultsim/faults.h"
#include "ultsim/frame.h"
#include "ultsim/line_format.h"
#include "ultsim/network.h"
#include "ultsim/raw_pty.h"

namespace ultsim {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kIdleWakeNs = 1'000 * kNsPerMs;
// Paced output this many characters behind its time counts as held up.
constexpr int64_t kStallCharacters = 10;
// After a read error (a device that went away) the line is left alone this long
// before it is read again, so the thread does not spin.
constexpr int64_t kReadErrorPauseNs = 20 * kNsPerMs;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Outgoing {
    int64_t dueNs;
    uint64_t seq;
    std::string bytes;
    bool spontaneous = false;
};

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Every valid point address of a value message.
unsigned PointAddress(unsigned index) {
    return index < 32 ? index : index - 32 + 40;
}
constexpr unsigned kPointAddresses = 48;

}  // namespace

struct Simulator::Impl {
    // Everything the test thread and the service thread share.
    mutable std::mutex mu;
    mutable std::condition_variable requestsCv;
    Network network;
    std::vector<Outgoing> pending;
    uint64_t nextSeq = 0;
    Fault fault = Fault::None;
    unsigned faultCount = 0;
    unsigned lateMs = 0;
    bool silent = false;
    double rate = 0;
    int64_t nextSpontaneousNs = 0;
    // A spontaneous message waits for the line: a line unit cannot send them
    // faster than its line carries them, and a queue of them would hold up
    // every answer.
    bool spontaneousQueued = false;
    std::mt19937 rng{2400};
    int64_t charNs = 0;
    std::vector<std::string> requests;
    std::vector<LineEvent> trace;
    std::vector<TimeSync> timeSyncs;
    std::vector<std::string> commandTexts;

    // The line: changed only while the service thread is not running.
    std::mutex controlMu;
    int lineFd = -1;
    int ownSlaveFd = -1;
    std::string path;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};

    // The service thread's own.
    Framer framer;
    std::string current;  // the line being written
    size_t currentPos = 0;
    int64_t currentStartNs = 0;
    int64_t currentCharNs = 0;
    int64_t lineFreeNs = 0;
    int64_t readPausedUntilNs = 0;

    Impl() {
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            wakeRead = fds[0];
            wakeWrite = fds[1];
        }
    }
    ~Impl() {
        CloseLine();
        CloseFd(wakeRead);
        CloseFd(wakeWrite);
    }

    void CloseLine() {
        CloseFd(lineFd);
        CloseFd(ownSlaveFd);
        path.clear();
    }

    void Wake() const {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(wakeWrite, &byte, 1);  // a full pipe wakes anyway
    }

    // mu held.
    void Enqueue(std::string bytes, int64_t dueNs, bool spontaneous = false) {
        pending.push_back(Outgoing{dueNs, nextSeq++, std::move(bytes), spontaneous});
        spontaneousQueued = spontaneousQueued || spontaneous;
    }

    void Send(std::string bytes) {
        {
            std::lock_guard lock(mu);
            Enqueue(std::move(bytes), NowNs());
        }
        Wake();
    }

    // mu held.
    void HandleFrame(const std::string& text, int64_t now) {
        requests.push_back(text);
        trace.push_back(LineEvent{true, text, static_cast<uint64_t>(now)});
        requestsCv.notify_all();
        if (text.back() != '/') return;  // an over-long run without "/": nothing to answer
        const Frame frame = ParseFrame(text);
        Answer answer = network.Serve(frame);
        if (answer.kind == AnswerKind::CommandText) commandTexts.push_back(text);
        if (answer.served && frame.kind == FrameKind::TimeSync)
            timeSyncs.push_back(TimeSync{frame.station, text});
        if (silent) return;
        std::vector<Reply> replies = std::move(answer.replies);
        if (answer.kind != AnswerKind::NetworkCommand && faultCount > 0) {
            replies = ApplyFault(fault, std::move(replies), frame, lateMs);
            if (--faultCount == 0) fault = Fault::None;
        }
        for (Reply& reply : replies) Enqueue(std::move(reply.line), now + int64_t{reply.delayMs} * kNsPerMs);
    }

    // mu held. Random value messages, also stored as the network's values.
    void SendSpontaneous(int64_t now, int64_t& wakeAt) {
        if (rate <= 0) return;
        std::vector<unsigned> answering;
        for (const Station& station : network.Stations())
            if (station.answers) answering.push_back(station.number);
        std::exponential_distribution<double> gap(rate);
        auto nextGap = [&] { return static_cast<int64_t>(gap(rng) * 1e9); };
        if (nextSpontaneousNs == 0 || nextSpontaneousNs < now - kIdleWakeNs)
            nextSpontaneousNs = now + nextGap();
        while (nextSpontaneousNs <= now) {
            nextSpontaneousNs += nextGap();
            if (answering.empty() || spontaneousQueued) continue;
            const unsigned station = answering[rng() % answering.size()];
            const unsigned address = PointAddress(static_cast<unsigned>(rng() % kPointAddresses));
            const auto byte = static_cast<uint8_t>(rng() & 0xFFu);
            const auto analog = static_cast<int16_t>(static_cast<int>(rng() % 10000) - 4000);
            const auto counter = static_cast<uint32_t>(rng() % 100000000u);
            switch (rng() % 3) {
                case 0:
                    network.SetValue(station, 'H', address, byte);
                    Enqueue(DigitalMessage(station, address, byte), now, true);
                    break;
                case 1:
                    network.SetValue(station, 'A', address, static_cast<uint32_t>(analog));
                    Enqueue(AnalogMessage(station, address, analog), now, true);
                    break;
                default:
                    network.SetValue(station, 'H', address, byte);
                    network.SetValue(station, 'A', address, static_cast<uint32_t>(analog));
                    network.SetValue(station, 'D', address, counter);
                    Enqueue(CombinedMessage(station, address, byte, analog, counter), now, true);
                    break;
            }
        }
        wakeAt = std::min(wakeAt, nextSpontaneousNs);
    }

    // mu held. Takes the earliest line that is due, in the order it was queued.
    void TakeNextDue(int64_t now, int64_t& wakeAt) {
        auto best = pending.end();
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (it->dueNs > now) {
                wakeAt = std::min(wakeAt, it->dueNs);
            } else if (best == pending.end() ||
                       std::tie(it->dueNs, it->seq) < std::tie(best->dueNs, best->seq)) {
                best = it;
            }
        }
        if (best == pending.end()) return;
        current = std::move(best->bytes);
        if (best->spontaneous) spontaneousQueued = false;
        pending.erase(best);
        currentPos = 0;
        currentCharNs = charNs;
        currentStartNs = currentCharNs > 0 ? std::max(now, lineFreeNs) : now;
        trace.push_back(LineEvent{false, current, static_cast<uint64_t>(currentStartNs)});
    }

    // Writes what of the current line is due. Returns true when the line would
    // not take more just now.
    bool WriteDue(int64_t now, int64_t& wakeAt) {
        while (currentPos < current.size()) {
            size_t count = current.size() - currentPos;
            if (currentCharNs > 0) {
                const int64_t dueNs = currentStartNs + static_cast<int64_t>(currentPos) * currentCharNs;
                if (dueNs > now) {
                    wakeAt = std::min(wakeAt, dueNs);
                    return false;
                }
                // A little late (the scheduler), the next characters catch up,
                // so the line keeps its rate; held up for longer (a line that
                // would not take more), the rest keeps the character time from
                // now on instead of going out in a burst.
                if (now - dueNs > kStallCharacters * currentCharNs)
                    currentStartNs = now - static_cast<int64_t>(currentPos) * currentCharNs;
                count = 1;
            }
            const ssize_t written = write(lineFd, current.data() + currentPos, count);
            if (written < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) return true;
                current.clear();  // the line is gone; what was left of this line is lost with it
                break;
            }
            currentPos += static_cast<size_t>(written);
            lineFreeNs = currentStartNs + static_cast<int64_t>(currentPos) * currentCharNs;
        }
        current.clear();
        currentPos = 0;
        return false;
    }

    void ReadLine(int64_t now) {
        char buffer[512];
        const ssize_t n = read(lineFd, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n <= 0) {
            readPausedUntilNs = now + kReadErrorPauseNs;
            return;
        }
        const std::vector<std::string> frames = framer.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        if (frames.empty()) return;
        std::lock_guard lock(mu);
        for (const std::string& frame : frames) HandleFrame(frame, NowNs());
    }

    void Run() {
        while (!stopping.load(std::memory_order_acquire)) {
            int64_t now = NowNs();
            int64_t wakeAt = now + kIdleWakeNs;
            {
                std::lock_guard lock(mu);
                SendSpontaneous(now, wakeAt);
                if (current.empty()) TakeNextDue(now, wakeAt);
            }
            const bool blocked = !current.empty() && WriteDue(now, wakeAt);
            if (current.empty()) {
                std::lock_guard lock(mu);
                for (const Outgoing& item : pending) wakeAt = std::min(wakeAt, item.dueNs);
            }
            const bool reading = now >= readPausedUntilNs;
            if (!reading) wakeAt = std::min(wakeAt, readPausedUntilNs);
            // A line that is neither read nor written is left out of the poll: a hung-up
            // device would report POLLHUP without end.
            const bool watchLine = reading || blocked;
            pollfd fds[2] = {{watchLine ? lineFd : -1,
                              static_cast<short>((reading ? POLLIN : 0) | (blocked ? POLLOUT : 0)), 0},
                             {wakeRead, POLLIN, 0}};
            const int64_t waitNs = std::max<int64_t>(0, wakeAt - now);
            const timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                                   static_cast<long>(waitNs % 1'000'000'000)};
            if (ppoll(fds, 2, &timeout, nullptr) < 0) continue;
            if (fds[1].revents & POLLIN) {
                char drain[64];
                while (read(wakeRead, drain, sizeof drain) > 0) {
                }
            }
            now = NowNs();
            if (reading && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) ReadLine(now);
        }
    }
};

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::OpenPty() {
    std::lock_guard control(impl_->controlMu);
    if (impl_->thread.joinable()) return false;
    impl_->CloseLine();
    RawPty pty;
    if (!OpenRawPty(pty, true)) return false;
    impl_->lineFd = pty.master;
    impl_->ownSlaveFd = pty.slave;
    impl_->path = pty.slavePath;
    return true;
}

bool Simulator::OpenDevice(const std::string& path) {
    std::lock_guard control(impl_->controlMu);
    if (impl_->thread.joinable()) return false;
    impl_->CloseLine();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (!MakeRaw(fd)) {
        close(fd);
        return false;
    }
    impl_->lineFd = fd;
    impl_->path = path;
    return true;
}

bool Simulator::SetDeviceSpeed(unsigned baud) {
    static constexpr std::pair<unsigned, speed_t> kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    std::lock_guard control(impl_->controlMu);
    const auto it = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                 [baud](const auto& e) { return e.first == baud; });
    termios settings{};
    if (it == std::end(kSpeeds) || impl_->lineFd < 0 || tcgetattr(impl_->lineFd, &settings) != 0)
        return false;
    cfsetispeed(&settings, it->second);
    cfsetospeed(&settings, it->second);
    return tcsetattr(impl_->lineFd, TCSANOW, &settings) == 0;
}

std::string Simulator::SlavePath() const {
    std::lock_guard control(impl_->controlMu);
    return impl_->path;
}

void Simulator::Start() {
    std::lock_guard control(impl_->controlMu);
    if (impl_->thread.joinable() || impl_->lineFd < 0 || impl_->wakeRead < 0) return;
    impl_->stopping.store(false, std::memory_order_release);
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
}

void Simulator::Stop() {
    std::lock_guard control(impl_->controlMu);
    if (!impl_->thread.joinable()) return;
    impl_->stopping.store(true, std::memory_order_release);
    impl_->Wake();
    impl_->thread.join();
}

void Simulator::SetModemStatuses(std::vector<std::pair<int, char>> seq) {
    std::lock_guard lock(impl_->mu);
    impl_->network.SetModemStatuses(std::move(seq));
}

void Simulator::SetStations(std::vector<Station> stations) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->network.SetStations(std::move(stations));
    }
    impl_->Wake();  // the random messages may now have somebody to come from
}

void Simulator::SetScanDelayMs(unsigned ms) {
    std::lock_guard lock(impl_->mu);
    impl_->network.SetScanDelayMs(ms);
}

void Simulator::SetValue(unsigned station, char memType, unsigned address, uint32_t raw) {
    std::lock_guard lock(impl_->mu);
    impl_->network.SetValue(station, memType, address, raw);
}

uint32_t Simulator::GetValue(unsigned station, char memType, unsigned address) const {
    std::lock_guard lock(impl_->mu);
    return impl_->network.GetValue(station, memType, address);
}

void Simulator::SetFault(Fault f, unsigned count) {
    std::lock_guard lock(impl_->mu);
    impl_->fault = f;
    impl_->faultCount = f == Fault::None ? 0 : count;
}

void Simulator::SetLateMs(unsigned ms) {
    std::lock_guard lock(impl_->mu);
    impl_->lateMs = ms;
}

void Simulator::SetSilent(bool silent) {
    std::lock_guard lock(impl_->mu);
    impl_->silent = silent;
}

void Simulator::SetCommandReply(std::string line) {
    std::lock_guard lock(impl_->mu);
    impl_->network.SetCommandReply(std::move(line));
}

void Simulator::SetAcknowledgeByteWrites(bool on) {
    std::lock_guard lock(impl_->mu);
    impl_->network.SetAcknowledgeByteWrites(on);
}

void Simulator::SendDigitalMessage(unsigned station, unsigned address, uint8_t byte) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->network.SetValue(station, 'H', address, byte);
    }
    impl_->Send(DigitalMessage(station, address, byte));
}

void Simulator::SendAnalogMessage(unsigned station, unsigned address, int16_t value) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->network.SetValue(station, 'A', address, static_cast<uint32_t>(value));
    }
    impl_->Send(AnalogMessage(station, address, value));
}

void Simulator::SendCombinedMessage(unsigned station, unsigned address, uint8_t byte, int16_t analog,
                                    uint32_t counter) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->network.SetValue(station, 'H', address, byte);
        impl_->network.SetValue(station, 'A', address, static_cast<uint32_t>(analog));
        impl_->network.SetValue(station, 'D', address, counter);
    }
    impl_->Send(CombinedMessage(station, address, byte, analog, counter));
}

void Simulator::SendPowerUp() {
    impl_->Send(PowerUpLine());
}

void Simulator::SendModemStatus(int eNumber, char status) {
    impl_->Send(ModemStatusLine(eNumber, status));
}

void Simulator::SendStationResponse(unsigned station, bool answers) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->network.SetStationAnswers(station, answers);
    }
    impl_->Send(StationResponseLine(station, answers));
}

void Simulator::SendRaw(const std::string& bytes) {
    impl_->Send(bytes);
}

void Simulator::SetSpontaneousRate(double messagesPerSecond) {
    {
        std::lock_guard lock(impl_->mu);
        impl_->rate = messagesPerSecond;
        impl_->nextSpontaneousNs = 0;
    }
    impl_->Wake();
}

void Simulator::SetRandomSeed(uint32_t seed) {
    std::lock_guard lock(impl_->mu);
    impl_->rng.seed(seed);
}

void Simulator::SetBaud(unsigned baud, unsigned bitsPerChar) {
    std::lock_guard lock(impl_->mu);
    impl_->charNs = baud == 0 ? 0 : static_cast<int64_t>(bitsPerChar) * 1'000'000'000 / baud;
}

namespace {

template <typename T>
std::vector<T> From(const std::vector<T>& all, size_t first) {
    return first < all.size() ? std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(first), all.end())
                              : std::vector<T>{};
}

}  // namespace

std::vector<std::string> Simulator::Requests(size_t first) const {
    std::lock_guard lock(impl_->mu);
    return From(impl_->requests, first);
}

bool Simulator::WaitForRequests(size_t n, unsigned timeoutMs) const {
    std::unique_lock lock(impl_->mu);
    return impl_->requestsCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return impl_->requests.size() >= n; });
}

std::vector<LineEvent> Simulator::Trace(size_t first) const {
    std::lock_guard lock(impl_->mu);
    return From(impl_->trace, first);
}

std::vector<Simulator::TimeSync> Simulator::TimeSyncs() const {
    std::lock_guard lock(impl_->mu);
    return impl_->timeSyncs;
}

std::vector<std::string> Simulator::CommandTexts() const {
    std::lock_guard lock(impl_->mu);
    return impl_->commandTexts;
}

}  // namespace ultsim
