// The tap that lets vpihost trace a real line: a pseudo-terminal the driver
// opens, passed through to the device. Here the "device" is another
// pseudo-terminal whose master side plays the network.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/pty.h"
#include "support/scenario.h"
#include "vpihost/line_tap.h"
#include "vpihost/traffic_pieces.h"

namespace {

using telmor::test::PtyPair;
using vpihost::LineTap;
using vpihost::TrafficPieces;

constexpr int64_t kMs = 1'000'000;

TEST(TrafficPieces, FramesAndLinesEndWhereTheLineSaysSo) {
    struct Case {
        const char* name;
        const char* end;
        std::vector<std::string> feeds;  // one every millisecond
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"two frames in one read", "/", {"P00100H/P002"}, {"P00100H/"}},
        {"a frame over three reads", "/", {"P0", "010", "0H/"}, {"P00100H/"}},
        {"a line ends with LF and CR", "\n\r", {"E069000000000000\n\rU0"}, {"E069000000000000\n\r"}},
        {"an LF alone does not end a line", "\n\r", {"E069\nX\n", "\r"}, {"E069\nX\n\r"}},
    };
    for (const Case& c : cases) {
        TrafficPieces pieces(c.end);
        std::vector<std::string> got;
        int64_t now = 0;
        for (const std::string& feed : c.feeds)
            for (const vpihost::TrafficPiece& piece : pieces.Feed(feed, now += kMs))
                got.push_back(piece.bytes);
        EXPECT_EQ(got, c.pieces) << c.name;
    }
}

TEST(TrafficPieces, WhatNeverEndsIsShownOnceTheLineIsQuietOrTheRunTooLong) {
    TrafficPieces pieces("\n\r");
    EXPECT_TRUE(pieces.Feed("E06", 10 * kMs).empty());
    EXPECT_TRUE(pieces.Feed("2 garbled", 20 * kMs).empty());
    EXPECT_TRUE(pieces.Idle(20 * kMs + TrafficPieces::kQuietNs - 1).empty()) << "still arriving";
    const std::vector<vpihost::TrafficPiece> quiet = pieces.Idle(20 * kMs + TrafficPieces::kQuietNs);
    ASSERT_EQ(quiet.size(), 1u);
    EXPECT_EQ(quiet[0].bytes, "E062 garbled");
    EXPECT_EQ(quiet[0].startNs, 10 * kMs) << "the time of its first byte";

    const std::vector<vpihost::TrafficPiece> runaway = pieces.Feed(std::string(1000, 'x'), 30 * kMs);
    ASSERT_EQ(runaway.size(), 1u);
    EXPECT_EQ(runaway[0].bytes.size(), TrafficPieces::kMaxPiece);
    ASSERT_EQ(pieces.Flush().size(), 1u) << "the rest, at the end";
}

// The driver's side of the tap, opened the way the driver opens its port.
class DriverEnd {
public:
    explicit DriverEnd(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~DriverEnd() {
        if (fd_ >= 0) close(fd_);
    }
    DriverEnd(const DriverEnd&) = delete;
    DriverEnd& operator=(const DriverEnd&) = delete;
    bool ok() const { return fd_ >= 0; }
    bool Send(const std::string& bytes) const {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    std::string Receive(size_t count, int timeoutMs) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{fd_, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

private:
    int fd_;
};

// Takes from `take` until at least `count` items came (or 3 s passed).
template <typename T, typename Take>
std::vector<T> TakeUntil(Take take, size_t count) {
    std::vector<T> all;
    telmor::test::WaitUntil(
        [&] {
            for (T& item : take()) all.push_back(std::move(item));
            return all.size() >= count;
        },
        3000);
    return all;
}

TEST(LineTap, PassesBothWaysAndKeepsWhatPassedWithItsDirection) {
    PtyPair network;
    ASSERT_TRUE(network.ok()) << network.error;
    LineTap tap;
    std::string error;
    ASSERT_TRUE(tap.Open(network.slavePath, {9600, 7, 2, 0}, error)) << error;
    LineTap second;
    EXPECT_FALSE(second.Open(network.slavePath, {9600, 7, 2, 0}, error));
    EXPECT_NE(error.find("in use by another program"), std::string::npos) << error;

    DriverEnd driver(tap.DriverPort());
    ASSERT_TRUE(driver.ok()) << tap.DriverPort();
    ASSERT_TRUE(driver.Send("P01200H/"));
    EXPECT_EQ(network.Receive(8, 2000), "P01200H/");
    const std::string reply = "\rU01200H0@@@@\n\r";
    ASSERT_TRUE(network.Send(reply));
    EXPECT_EQ(driver.Receive(reply.size(), 2000), reply);

    const auto passed = TakeUntil<LineTap::Passed>([&] { return tap.TakeTraffic(); }, 2);
    ASSERT_EQ(passed.size(), 2u);
    EXPECT_TRUE(passed[0].fromDriver);
    EXPECT_EQ(passed[0].bytes, "P01200H/");
    EXPECT_FALSE(passed[1].fromDriver);
    EXPECT_EQ(passed[1].bytes, reply);
    EXPECT_LE(passed[0].realTimeNs, passed[1].realTimeNs);
}

// An adapter pulled out and plugged in again: its name comes back, here a
// link that is pointed at a new pseudo-terminal.
TEST(LineTap, ADeviceThatGoesAwayIsOpenedAgainOnceItIsBack) {
    const std::string link = "/tmp/line_tap_test." + std::to_string(getpid());
    unlink(link.c_str());
    auto network = std::make_unique<PtyPair>();
    ASSERT_TRUE(network->ok());
    ASSERT_EQ(symlink(network->slavePath.c_str(), link.c_str()), 0);
    LineTap tap;
    std::string error;
    ASSERT_TRUE(tap.Open(link, {9600, 8, 0, 0}, error)) << error;
    DriverEnd driver(tap.DriverPort());
    ASSERT_TRUE(driver.ok());

    unlink(link.c_str());
    network.reset();
    auto notes = TakeUntil<std::string>([&] { return tap.TakeNotes(); }, 1);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("device lost: " + link + " (", 0), 0u) << notes[0];
    ASSERT_TRUE(driver.Send("P00100H/")) << "the driver's port stays open meanwhile";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    network = std::make_unique<PtyPair>();
    ASSERT_TRUE(network->ok());
    ASSERT_EQ(symlink(network->slavePath.c_str(), link.c_str()), 0);
    notes = TakeUntil<std::string>([&] { return tap.TakeNotes(); }, 1);
    unlink(link.c_str());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "device back: " + link + "; 8 bytes from the driver dropped meanwhile");
    ASSERT_TRUE(driver.Send("P00200H/"));
    EXPECT_EQ(network->Receive(8, 2000), "P00200H/") << "only what was sent after the return";
}

}  // namespace
