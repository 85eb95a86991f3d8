// Losing the device under the driver and getting it back, as a host does it:
// a USB-serial adapter pulled out makes every read fail, so the port is
// closed; once the device is there again, it is reopened. The decisions are
// kept apart from the calls so that a test can drive them line by line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vpihost {

// The path whose presence tells that the device is plugged in: the name itself
// when it is a path, /dev/NAME for a bare device name. Empty for COM names,
// whose device the driver maps on its own: those are simply retried.
std::string DevicePathOf(const std::string& port);

// Whether a driver log line tells that a read from the port failed.
bool IsReadFailure(const std::string& logLine);

class PortWatch {
public:
    enum class Action { None, Close, Reopen };

    // How long between two attempts to close or reopen the port.
    static constexpr int64_t kRetryEveryNs = 1'000'000'000;

    // `port` as the host record names it.
    explicit PortWatch(const std::string& port) : devicePath_(DevicePathOf(port)) {}

    // A driver log line. Close when it is the first read failure on an open
    // port; failures logged after that are the same loss.
    Action OnLog(const std::string& logLine, int64_t nowNs);
    // What CloseCom returned; a failed close is tried again a second later.
    void Closed(int32_t result, int64_t nowNs);
    // Once a pass of the main loop: at most one action a second while the
    // device is lost. `exists` is asked about the device path only then.
    Action Tick(int64_t nowNs, const std::function<bool(const std::string&)>& exists);
    // What ReOpenCom returned. True when the device is back.
    bool Reopened(int32_t result);

    bool Lost() const { return phase_ != Phase::Open; }

private:
    enum class Phase { Open, Closing, Waiting };

    std::string devicePath_;
    Phase phase_ = Phase::Open;
    int64_t lastTryNs_ = 0;
};

// Whether `path` names something that exists (a link is followed).
bool PathExists(const std::string& path);

}  // namespace vpihost
