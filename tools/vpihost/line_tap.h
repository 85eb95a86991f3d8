// Watching a real serial line without changing the driver: the tool opens the
// device itself and gives the driver a pseudo-terminal in its place. A thread
// copies the bytes both ways and keeps what passed, with its time and
// direction. When the device goes away (an adapter pulled out) the driver
// sees a quiet line; the tap opens the device again once it is back.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vpihost {

// The line settings in the host's codes, as the driver gets them.
struct TapSettings {
    uint32_t baud = 9600;
    unsigned dataBits = 8;
    unsigned parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    unsigned stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

class LineTap {
public:
    struct Passed {
        bool fromDriver;  // a frame sent by the driver; false: a line from the network
        std::string bytes;
        int64_t realTimeNs;  // when its first byte passed
    };

    LineTap();
    ~LineTap();
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;

    // Opens `device` for exclusive use with the line settings and a
    // pseudo-terminal for the driver, and starts copying. False with the reason.
    bool Open(const std::string& device, const TapSettings& line, std::string& error);
    // The pseudo-terminal the driver opens instead of the device.
    std::string DriverPort() const;
    void Stop();

    std::vector<Passed> TakeTraffic();
    // "device lost: PATH (reason)", "device back: PATH", bytes dropped meanwhile.
    std::vector<std::string> TakeNotes();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
};

}  // namespace vpihost
