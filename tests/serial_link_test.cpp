// The serial link on a real pseudo-terminal: framing of received lines and
// sending frames. The test holds the master side, the driver the slave.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "host/context.h"
#include "platform/serial.h"
#include "serial/serial_link.h"
#include "support/pty.h"
#include "veldan/veldan_host.h"

namespace {

struct Line {
    int master = -1;
    int slave = -1;
    std::string path;
    Line() {
        char name[64];
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        path = name;
    }
    ~Line() {
        close(slave);
        close(master);
    }
    void Write(const std::string& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string ReadAvailable(size_t want) const {
        std::string got;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (got.size() < want && std::chrono::steady_clock::now() < until) {
            char buffer[600];
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n > 0) got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
};

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override {
        VeldanReset();
        context_ = new (storage_) telmor::DriverContext{};
        telmor::PortSettings settings{};
        telmor::test::SetPortName(settings.portName, line_.path);
        settings.baudRate = 9600;
        settings.dataBits = 7;
        settings.parity = 2;
        settings.lineControl = 0x0303;
        const telmor::platform::Handle port = telmor::OpenCom(settings);
        ASSERT_NE(port, 0u);
        context_->comHandle.store(port);
        telmor::SetReadTimeout(*context_, port, 100);  // 1 s, 10 ms in fast time
        VeldanReset();
    }
    void TearDown() override {
        const telmor::platform::Handle port = context_->comHandle.load();
        if (port != 0) telmor::ClosePort(port);
    }

    // One Receive: its result and the line it delivered.
    std::pair<int, std::string> Receive() {
        uint16_t length = 0;
        const int result = telmor::Receive(context_->rxLine, &length, *context_);
        return {result, result == 0 ? std::string(context_->rxLine, length) : std::string()};
    }

    static std::vector<std::string> Log() {
        std::vector<std::string> lines;
        for (size_t i = 0; i < VeldanLogCount(); ++i) {
            int level = 0;
            char text[1024];
            VeldanGetLogLine(i, &level, text, sizeof(text));
            lines.push_back(std::to_string(level) + " " + text);
        }
        return lines;
    }

    Line line_;
    alignas(8) unsigned char storage_[VPI_CONTEXT_SIZE];
    telmor::DriverContext* context_ = nullptr;
};

TEST_F(SerialLink, FramesLinesEndingWithLfCr) {
    struct Case {
        std::string sent;
        std::vector<std::pair<int, std::string>> received;
    };
    const std::string x512(512, 'x');
    const std::string line512 = std::string(510, 'y') + "\n\r";
    const std::vector<Case> cases = {
        {"abc\n\r", {{0, "abc\n\r"}}},
        {"a\rb\n\r", {{0, "a\rb\n\r"}}},                                   // a CR before the LF is data
        {"\n\r", {{0, "\n\r"}}},                                           // the empty line
        {x512 + "ok\n\r", {{1, ""}, {0, "ok\n\r"}}},                       // 512 bytes without LF
        {line512, {{0, line512}}},                                         // exactly 512 bytes is a line
        {std::string(511, 'z') + "\n\rok\n\r", {{1, ""}, {0, "ok\n\r"}}},  // LF at 512: no room for CR
    };
    for (const Case& c : cases) {
        line_.Write(c.sent);
        for (const auto& expected : c.received) EXPECT_EQ(Receive(), expected) << c.sent.substr(0, 20);
        EXPECT_EQ(Receive().first, 1) << "nothing left over after " << c.sent.substr(0, 20);
    }
    EXPECT_TRUE(Log().empty());
}

TEST_F(SerialLink, ByteOtherThanCrAfterLfIsReportedAndConsumed) {
    line_.Write("abc\nxyz\n\r");
    EXPECT_EQ(Receive().first, 1);
    EXPECT_EQ(Receive(), std::make_pair(0, std::string("yz\n\r")));
    const std::string text63(63, 't');
    line_.Write(text63 + "\nQ");
    EXPECT_EQ(Receive().first, 1);
    const std::vector<std::string> expected = {
        "64 TELMOR> Receive() illegal message, 78h i.s.o. CR, 4 char read 'abc'",
        "64 TELMOR> Receive() illegal message, 51h i.s.o. CR, 64 char read '" + text63 + "\n...'",
    };
    EXPECT_EQ(Log(), expected);
}

TEST_F(SerialLink, PauseLongerThanReadTimeoutDropsThePartialLine) {
    line_.Write("ab");
    EXPECT_EQ(Receive().first, 1);
    line_.Write("cd\n\r");
    EXPECT_EQ(Receive(), std::make_pair(0, std::string("cd\n\r")));
}

TEST_F(SerialLink, ClosedPortWaitsAboutOneReadTimeoutSilently) {
    ASSERT_EQ(telmor::ClosePort(context_->comHandle.exchange(0)), 0);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Receive().first, 1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(25)) << "a closed port must not make the receiver spin";
    EXPECT_TRUE(Log().empty());
}

TEST_F(SerialLink, SendWritesTheFrameUnchanged) {
    EXPECT_EQ(telmor::Send("P00105A/", *context_), 0);
    EXPECT_EQ(line_.ReadAvailable(8), "P00105A/");
    EXPECT_TRUE(Log().empty());
}

TEST_F(SerialLink, ConcurrentSendsNeverInterleave) {
    const std::string a(200, 'a'), b(200, 'b');
    std::thread other([&] {
        for (int i = 0; i < 20; ++i) telmor::Send(a.c_str(), *context_);
    });
    for (int i = 0; i < 20; ++i) telmor::Send(b.c_str(), *context_);
    other.join();
    const std::string got = line_.ReadAvailable(8000);
    ASSERT_EQ(got.size(), 8000u);
    for (size_t at = 0; at < got.size(); at += 200) {
        EXPECT_EQ(got.substr(at, 200), std::string(200, got[at])) << "frame at " << at << " was interleaved";
    }
}

TEST_F(SerialLink, SendOnAClosedPortFailsWithItsMessage) {
    ASSERT_EQ(telmor::ClosePort(context_->comHandle.exchange(0)), 0);
    EXPECT_EQ(telmor::Send("P00000Q/", *context_), 1);
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("64 TELMOR> Send() overlapped WriteFile() failed, err ", 0), 0u) << log[0];
}

TEST_F(SerialLink, SecondOpenOfTheSamePortFails) {
    telmor::PortSettings settings{};
    telmor::test::SetPortName(settings.portName, line_.path);
    settings.baudRate = 9600;
    settings.dataBits = 8;
    EXPECT_EQ(telmor::OpenCom(settings), 0u);
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "64 TELMOR> OpenCom() open COM port failed");
}

}  // namespace
