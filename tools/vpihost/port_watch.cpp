// When the device is lost, and when to try it again.
#include "vpihost/port_watch.h"

#include <sys/stat.h>

namespace vpihost {
namespace {

// The receiver logs one of these a read time-out while the port's reads fail
// (EIO or ENODEV once the adapter is gone).
constexpr const char* kReadFailures[] = {
    "TELMOR> GetChar() GetOverlappedResult() error ",
    "TELMOR> GetChar() overlapped ReadFile() failed, err ",
};

// "COM1".."COM256", which the driver maps to a device of its own choosing.
bool IsComName(const std::string& port) {
    if (port.size() < 4 || port.size() > 6 || port[3] == '0') return false;
    for (size_t i = 0; i < 3; ++i)
        if ((port[i] | 0x20) != "com"[i]) return false;
    if (port.find_first_not_of("0123456789", 3) != std::string::npos) return false;
    return std::stoi(port.substr(3)) <= 256;
}

}  // namespace

std::string DevicePathOf(const std::string& port) {
    if (port.empty() || IsComName(port)) return {};
    if (port[0] == '/') return port;
    return "/dev/" + port;
}

bool IsReadFailure(const std::string& logLine) {
    for (const char* failure : kReadFailures)
        if (logLine.find(failure) != std::string::npos) return true;
    return false;
}

PortWatch::Action PortWatch::OnLog(const std::string& logLine, int64_t nowNs) {
    if (phase_ != Phase::Open || !IsReadFailure(logLine)) return Action::None;
    phase_ = Phase::Closing;
    lastTryNs_ = nowNs;
    return Action::Close;
}

void PortWatch::Closed(int32_t result, int64_t nowNs) {
    if (phase_ != Phase::Closing) return;
    lastTryNs_ = nowNs;
    if (result == 0) phase_ = Phase::Waiting;
}

PortWatch::Action PortWatch::Tick(int64_t nowNs, const std::function<bool(const std::string&)>& exists) {
    if (phase_ == Phase::Open || nowNs - lastTryNs_ < kRetryEveryNs) return Action::None;
    lastTryNs_ = nowNs;
    if (phase_ == Phase::Closing) return Action::Close;
    // Reopening a path that is not there cannot work; the check is cheap.
    if (!devicePath_.empty() && !exists(devicePath_)) return Action::None;
    return Action::Reopen;
}

bool PortWatch::Reopened(int32_t result) {
    if (phase_ != Phase::Waiting || result != 0) return false;
    phase_ = Phase::Open;
    return true;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

}  // namespace vpihost
