// The POSIX serial port on real pseudo-terminals: exclusive open, line
// settings, reads and writes, time-outs, purge, close while another thread
// waits, the null device and COM names. The mapping of the Windows codes to
// termios is also checked as a pure function, for what a pty does not keep.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/handle.h"
#include "platform/posix/line_termios.h"
#include "platform/posix/port_name.h"
#include "platform/posix/uucp_lock.h"
#include "platform/serial.h"
#include "support/pty.h"

namespace telmor::platform {
namespace {

using Clock = std::chrono::steady_clock;
using test::PtyPair;

constexpr uint16_t kDtrRtsOn = 0x0303;
constexpr LineSettings k9600N81{9600, 8, 0, 0, kDtrRtsOn};

long long RealMsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dir != nullptr && readdir(dir) != nullptr) ++count;
    if (dir != nullptr) closedir(dir);
    return count;
}

// One read on `port` as the receiver does it: start, then wait.
struct ReadResult {
    bool ok;
    uint32_t count;
    uint32_t error;
    std::string bytes;
};

ReadResult ReadOnce(Handle port, uint32_t length = 1) {
    IoRecord io{kNullHandle, 0};
    uint8_t buffer[64] = {};
    if (SerialStartRead(port, io, buffer, length) != IoStart::Pending) return {false, 0, LastError(), ""};
    uint32_t count = 0;
    bool ok = SerialWaitResult(port, io, &count);
    return {ok, count, ok ? 0 : LastError(), std::string(reinterpret_cast<char*>(buffer), count)};
}

bool WriteAll(Handle port, const std::string& bytes, uint32_t* written) {
    IoRecord io{kNullHandle, 0};
    IoStart start = SerialStartWrite(port, io, reinterpret_cast<const uint8_t*>(bytes.data()),
                                     static_cast<uint32_t>(bytes.size()));
    if (start == IoStart::Failed) return false;
    return SerialWaitResult(port, io, written);
}

class SerialOnPty : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()) << "openpty failed, errno " << pty.error; }
    void TearDown() override {
        if (port != kNullHandle) SerialClose(port);
    }
    int Open(const LineSettings& settings = k9600N81) {
        return SerialOpen(pty.slavePath.c_str(), settings, &port);
    }

    PtyPair pty;
    Handle port = kNullHandle;
};

// ---- opening ---------------------------------------------------------------

TEST_F(SerialOnPty, OpenAppliesWhatAPtyKeeps) {
    struct Case {
        LineSettings settings;
        speed_t speed;
        tcflag_t kept;  // of CSTOPB, PARODD, CMSPAR, CRTSCTS
    };
    const Case cases[] = {
        {{9600, 8, 0, 0, kDtrRtsOn}, B9600, 0},
        {{19200, 7, 2, 0, kDtrRtsOn}, B19200, 0},
        {{4800, 8, 1, 2, kDtrRtsOn}, B4800, PARODD | CSTOPB},
        {{1200, 7, 3, 0, kDtrRtsOn}, B1200, PARODD | CMSPAR},
        {{2400, 8, 4, 2, kDtrRtsOn}, B2400, CMSPAR | CSTOPB},
        {{300, 5, 0, 1, kDtrRtsOn}, B300, CSTOPB},
        {{57600, 8, 0, 0, 0x1000}, B57600, CRTSCTS},
        {{115200, 8, 0, 0, 0x0000}, B115200, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.baudRate);
        ASSERT_EQ(Open(c.settings), kSerialOpenOk) << "errno " << LastError();
        termios tio{};
        ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & (CSTOPB | PARODD | CMSPAR | CRTSCTS), c.kept);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        ASSERT_TRUE(SerialClose(port));
        port = kNullHandle;
    }
}

TEST_F(SerialOnPty, ReopeningWithSettingsAPtyIgnoresWorks) {
    // 7 data bits and parity leave a pty's state as it was; glibc's tcsetattr
    // then fails with EINVAL although nothing is wrong.
    const LineSettings sevenEven{9600, 7, 2, 0, kDtrRtsOn};
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Open(sevenEven), kSerialOpenOk) << "round " << round << " errno " << LastError();
        ASSERT_TRUE(SerialClose(port));
        port = kNullHandle;
    }
}

TEST_F(SerialOnPty, SettingsWithoutACounterpartAreRefusedAndNothingStaysOpen) {
    const LineSettings refused[] = {
        {14400, 8, 0, 0, kDtrRtsOn},  // a Windows rate with no Bxxxx
        {128000, 8, 0, 0, kDtrRtsOn}, {0, 8, 0, 0, kDtrRtsOn},    {9600, 4, 0, 0, kDtrRtsOn},
        {9600, 9, 0, 0, kDtrRtsOn},   {9600, 8, 5, 0, kDtrRtsOn}, {9600, 8, 0, 3, kDtrRtsOn},
        {9600, 8, 0, 1, kDtrRtsOn},  // 1.5 stop bits need 5 data bits
        {9600, 5, 0, 2, kDtrRtsOn},  // and 2 need more than 5
    };
    int descriptors = OpenDescriptorCount();
    for (const LineSettings& settings : refused) {
        SCOPED_TRACE(testing::Message() << settings.baudRate << " " << int{settings.dataBits} << " "
                                        << int{settings.parity} << " " << int{settings.stopBits});
        EXPECT_EQ(Open(settings), kSerialStateSetFailed);
        EXPECT_EQ(port, kNullHandle);
        EXPECT_EQ(LastError(), static_cast<uint32_t>(EINVAL));
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(Open(), kSerialOpenOk);  // nothing kept the device
}

TEST_F(SerialOnPty, SecondOpenFailsInThisAndInAnotherProcessUntilClosed) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    Handle second = kNullHandle;
    EXPECT_EQ(SerialOpen(pty.slavePath.c_str(), k9600N81, &second), kSerialOpenFailed);
    EXPECT_EQ(second, kNullHandle);
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EBUSY));

    auto openInChild = [&] {
        pid_t child = fork();
        if (child == 0) {
            Handle other = kNullHandle;
            _exit(SerialOpen(pty.slavePath.c_str(), k9600N81, &other));
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(openInChild(), kSerialOpenFailed);

    ASSERT_TRUE(SerialClose(port));
    port = kNullHandle;
    EXPECT_EQ(openInChild(), kSerialOpenOk);
    EXPECT_EQ(Open(), kSerialOpenOk);
}

TEST(SerialOpen, DevicesThatCannotServeFailWithTheirCodeAndLeaveNothingOpen) {
    int descriptors = OpenDescriptorCount();
    Handle port = kNullHandle;
    EXPECT_EQ(SerialOpen("/dev/telmor-no-such-device", k9600N81, &port), kSerialOpenFailed);
    EXPECT_EQ(LastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(SerialOpen("/dev/null", k9600N81, &port), kSerialStateReadFailed);  // not a tty
    EXPECT_EQ(LastError(), static_cast<uint32_t>(ENOTTY));
    EXPECT_EQ(SerialOpen("", k9600N81, &port), kSerialOpenFailed);
    EXPECT_EQ(port, kNullHandle);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// ---- transfers --------------------------------------------------------------

TEST_F(SerialOnPty, BytesGoBothWaysUnchanged) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    const std::string frame("P01205A/\r\n\x00\x11\x13\xff", 14);
    uint32_t written = 0;
    ASSERT_TRUE(WriteAll(port, frame, &written)) << LastError();
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(pty.Receive(frame.size(), 2000), frame);

    const std::string line("U01205A\r\x00\x11\x13\xff\n\r", 14);
    ASSERT_TRUE(SerialSetReadTimeout(port, 500000));  // the pty hands bytes on asynchronously
    ASSERT_TRUE(pty.Send(line));
    std::string received;
    while (received.size() < line.size()) {
        ReadResult read = ReadOnce(port);
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.count, 1u) << "after " << received.size();
        received += read.bytes;
    }
    EXPECT_EQ(received, line);
}

TEST_F(SerialOnPty, AnEmptyWriteSucceedsAtOnce) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    uint32_t written = 99;
    EXPECT_TRUE(WriteAll(port, "", &written));
    EXPECT_EQ(written, 0u);
}

TEST_F(SerialOnPty, ReadTimeOutGivesZeroBytesOnTheFastClock) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    uint32_t timeout = 0;
    ASSERT_TRUE(SerialGetReadTimeout(port, &timeout));
    EXPECT_EQ(timeout, 1000u);

    ASSERT_TRUE(SerialSetReadTimeout(port, 4000));  // 40 real ms
    ASSERT_TRUE(SerialGetReadTimeout(port, &timeout));
    EXPECT_EQ(timeout, 4000u);
    Clock::time_point start = Clock::now();
    ReadResult read = ReadOnce(port);
    long long elapsed = RealMsSince(start);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.count, 0u);
    EXPECT_GE(elapsed, 40);
    EXPECT_LT(elapsed, 2000);
}

TEST_F(SerialOnPty, PurgeDiscardsWhatArrived) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    ASSERT_TRUE(pty.Send("stale"));
    pollfd arrived{pty.slave, POLLIN, 0};
    ASSERT_EQ(poll(&arrived, 1, 2000), 1);
    ASSERT_TRUE(SerialPurgeReceive(port));
    ASSERT_TRUE(SerialSetReadTimeout(port, 500));
    EXPECT_EQ(ReadOnce(port).count, 0u);
    ASSERT_TRUE(pty.Send("x"));
    ASSERT_TRUE(SerialSetReadTimeout(port, 500000));
    EXPECT_EQ(ReadOnce(port).bytes, "x");
}

TEST_F(SerialOnPty, HangUpFailsTheReadInsteadOfSpinning) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    pty.CloseMaster();
    ReadResult read = ReadOnce(port);
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(read.error == ENODEV || read.error == EIO) << read.error;
}

TEST_F(SerialOnPty, AReaderAndAWriterWorkAtTheSameTime) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    ASSERT_TRUE(SerialSetReadTimeout(port, 500000));  // 5 real s: the echo may lag on a busy machine
    std::string sent;
    for (int i = 0; i < 200; ++i) sent += "P" + std::to_string(1000 + i) + "Q/";
    // The master echoes everything back.
    std::thread echo([&] {
        size_t echoed = 0;
        while (echoed < sent.size()) {
            std::string chunk = pty.Receive(sent.size() - echoed, 5000);
            if (chunk.empty() || !pty.Send(chunk)) break;
            echoed += chunk.size();
        }
    });
    std::string received;
    std::thread reader([&] {
        while (received.size() < sent.size()) {
            ReadResult read = ReadOnce(port, 16);
            if (!read.ok || read.count == 0) break;
            received += read.bytes;
        }
    });
    bool allWritten = true;
    for (int i = 0; i < 200; ++i) {
        uint32_t written = 0;
        std::string frame = sent.substr(static_cast<size_t>(i) * 7, 7);
        allWritten = allWritten && WriteAll(port, frame, &written) && written == 7;
    }
    reader.join();
    echo.join();
    EXPECT_TRUE(allWritten);
    EXPECT_EQ(received, sent);
}

// ---- closing ----------------------------------------------------------------

TEST_F(SerialOnPty, CloseEndsAReadWaitingOnAnotherThreadPromptly) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    ASSERT_TRUE(SerialSetReadTimeout(port, 1000000));  // 10 real s
    ReadResult read{};
    long long readMs = 0;
    std::thread reader([&] {
        Clock::time_point start = Clock::now();
        read = ReadOnce(port);
        readMs = RealMsSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the reader is inside its wait
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(SerialClose(port));
    long long closeMs = RealMsSince(start);
    reader.join();
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, static_cast<uint32_t>(ECANCELED));
    EXPECT_LT(readMs, 3000);
    EXPECT_LT(closeMs, 1000);

    // The handle is dead for every call; the device is free again.
    Handle closed = port;
    port = kNullHandle;
    uint32_t timeout = 0;
    EXPECT_FALSE(SerialPurgeReceive(closed));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EBADF));
    EXPECT_FALSE(SerialGetReadTimeout(closed, &timeout));
    EXPECT_EQ(ReadOnce(closed).ok, false);
    EXPECT_FALSE(SerialClose(closed));
    EXPECT_FALSE(CloseHandle(closed));
    EXPECT_EQ(Open(), kSerialOpenOk);
}

TEST_F(SerialOnPty, CloseEndsAWriteBlockedOnAFullLine) {
    LineSettings fast = k9600N81;
    fast.baudRate = 4000000;
    ASSERT_EQ(Open(fast), kSerialOpenOk);
    std::string big(1 << 20, 'x');  // far more than the pty buffers; the master never reads
    bool ok = true;
    uint32_t written = 0;
    uint32_t error = 0;
    std::thread writer([&] {
        ok = WriteAll(port, big, &written);
        error = LastError();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(SerialClose(port));
    port = kNullHandle;
    writer.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<uint32_t>(ECANCELED));
    EXPECT_LT(written, big.size());
}

TEST_F(SerialOnPty, AWriteThatCannotGoOutEndsAfterItsAllowance) {
    LineSettings fast = k9600N81;
    fast.baudRate = 4000000;
    ASSERT_EQ(Open(fast), kSerialOpenOk);
    std::string blocked(64 * 1024, 'x');  // the master never reads
    uint32_t written = 0;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(WriteAll(port, blocked, &written));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_LT(written, blocked.size());
    EXPECT_LT(RealMsSince(start), 3000);
}

TEST_F(SerialOnPty, CloseHandleClosesAPort) {
    ASSERT_EQ(Open(), kSerialOpenOk);
    EXPECT_TRUE(CloseHandle(port));
    port = kNullHandle;
    EXPECT_EQ(Open(), kSerialOpenOk);
}

// ---- the null device and port names -------------------------------------------

TEST(SerialNullDevice, WritesSucceedAndReadsWaitTheirTimeOutForNothing) {
    Handle port = kNullHandle;
    LineSettings unsupported{14400, 9, 7, 7, 0};  // the null device has no state to refuse it
    ASSERT_EQ(SerialOpen("NUL", unsupported, &port), kSerialOpenOk);
    Handle second = kNullHandle;
    ASSERT_EQ(SerialOpen("NUL", k9600N81, &second), kSerialOpenOk);

    uint32_t written = 0;
    EXPECT_TRUE(WriteAll(port, "P00000Q/", &written));
    EXPECT_EQ(written, 8u);
    ASSERT_TRUE(SerialSetReadTimeout(port, 3000));
    Clock::time_point start = Clock::now();
    ReadResult read = ReadOnce(port);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.count, 0u);
    EXPECT_GE(RealMsSince(start), 30);
    EXPECT_TRUE(SerialPurgeReceive(port));
    EXPECT_TRUE(SerialClose(port));
    EXPECT_TRUE(SerialClose(second));

    // Only the exact upper-case name is the null device.
    EXPECT_EQ(SerialOpen("nul", k9600N81, &port), kSerialOpenFailed);
}

TEST(SerialPortName, MapsToDevicePaths) {
    struct Case {
        const char* name;
        const char* comDir;
        const char* path;
    };
    const Case cases[] = {
        {"COM1", nullptr, "/dev/ttyS0"},
        {"com2", nullptr, "/dev/ttyS1"},
        {"CoM256", nullptr, "/dev/ttyS255"},
        {"COM257", nullptr, "/dev/COM257"},
        {"COM0", nullptr, "/dev/COM0"},
        {"COM01", nullptr, "/dev/COM01"},
        {"COM1x", nullptr, "/dev/COM1x"},
        {"COM5", "/tmp/ports", "/tmp/ports/com5"},
        {"com12", "/tmp/ports", "/tmp/ports/com12"},
        {"COM5", "", "/dev/ttyS4"},
        {"ttyUSB0", "/tmp/ports", "/dev/ttyUSB0"},
        {"pts/3", nullptr, "/dev/pts/3"},
        {"/dev/pts/3", "/tmp/ports", "/dev/pts/3"},
        {"/tmp/x", nullptr, "/tmp/x"},
    };
    for (const Case& c : cases) {
        char path[64] = {};
        ASSERT_TRUE(posix::DevicePathFor(c.name, c.comDir, path, sizeof(path))) << c.name;
        EXPECT_STREQ(path, c.path) << c.name;
    }
    char small[12];
    EXPECT_FALSE(posix::DevicePathFor("ttyUSB0", nullptr, small, sizeof(small)));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(ENAMETOOLONG));
}

TEST_F(SerialOnPty, ComNamesReachThePortsLinkedInTheComDirectory) {
    char dir[] = "/tmp/telmor-com-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string link = std::string(dir) + "/com5";
    ASSERT_EQ(symlink(pty.slavePath.c_str(), link.c_str()), 0);
    const char* previous = std::getenv(posix::kComDirVariable);
    std::string saved = previous != nullptr ? previous : "";
    setenv(posix::kComDirVariable, dir, 1);

    for (const char* name : {"COM5", "com5"}) {
        ASSERT_EQ(SerialOpen(name, k9600N81, &port), kSerialOpenOk) << name << " errno " << LastError();
        uint32_t written = 0;
        EXPECT_TRUE(WriteAll(port, "P00001Q/", &written));
        EXPECT_EQ(pty.Receive(8, 2000), "P00001Q/");
        ASSERT_TRUE(SerialClose(port));
        port = kNullHandle;
    }

    if (previous != nullptr) {
        setenv(posix::kComDirVariable, saved.c_str(), 1);
    } else {
        unsetenv(posix::kComDirVariable);
    }
    unlink(link.c_str());
    rmdir(dir);
}

// ---- pure mappings -----------------------------------------------------------

TEST(SerialLineTermios, MapsEveryWindowsCode) {
    struct Case {
        LineSettings settings;
        tcflag_t size;
        tcflag_t parity;  // PARENB, PARODD, CMSPAR
        tcflag_t stop;
        bool inputParityCheck;
    };
    const Case cases[] = {
        {{9600, 8, 0, 0, kDtrRtsOn}, CS8, 0, 0, false},
        {{9600, 7, 1, 0, kDtrRtsOn}, CS7, PARENB | PARODD, 0, true},
        {{9600, 7, 2, 2, kDtrRtsOn}, CS7, PARENB, CSTOPB, true},
        {{9600, 6, 3, 0, kDtrRtsOn}, CS6, PARENB | PARODD | CMSPAR, 0, true},
        {{9600, 8, 4, 2, kDtrRtsOn}, CS8, PARENB | CMSPAR, CSTOPB, true},
        {{9600, 5, 0, 1, kDtrRtsOn}, CS5, 0, CSTOPB, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.settings.dataBits} << " " << int{c.settings.parity} << " "
                                        << int{c.settings.stopBits});
        // Start from a cooked, odd-parity, XON/XOFF state, as a device may be left.
        termios tio{};
        tio.c_iflag = ICRNL | IXON | IXOFF | ISTRIP | INPCK;
        tio.c_oflag = OPOST | ONLCR;
        tio.c_lflag = ICANON | ECHO | ISIG;
        tio.c_cflag = CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        ASSERT_TRUE(posix::TermiosForLine(c.settings, &tio));
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
        EXPECT_EQ(tio.c_cflag & CSTOPB, c.stop);
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.inputParityCheck);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t{CLOCAL | CREAD});
        EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        EXPECT_EQ(cfgetospeed(&tio), B9600);
    }
}

TEST(SerialLineTermios, RtsHandshakeIsHardwareFlowControl) {
    termios tio{};
    ASSERT_TRUE(posix::TermiosForLine({19200, 8, 0, 0, 0x1000}, &tio));
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    ASSERT_TRUE(posix::TermiosForLine({19200, 8, 0, 0, 0x1002}, &tio));  // raised wins over handshake
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
}

TEST(SerialLineTermios, KnowsTheRatesThatHaveAConstant) {
    struct Case {
        uint32_t rate;
        bool known;
    };
    const Case cases[] = {{110, true},    {300, true},     {1200, true},    {9600, true},   {14400, false},
                          {19200, true},  {28800, false},  {38400, true},   {56000, false}, {57600, true},
                          {115200, true}, {128000, false}, {256000, false}, {0, false}};
    for (const Case& c : cases) {
        speed_t speed = B0;
        EXPECT_EQ(posix::SpeedForBaud(c.rate, &speed), c.known) << c.rate;
    }
}

TEST(SerialLineControl, DtrAndRtsFollowTheFirstMatchingBit) {
    struct Case {
        uint16_t word;
        DtrMode dtr;
        RtsMode rts;
    };
    const Case cases[] = {
        {0x0303, DtrMode::On, RtsMode::On},         {0x0000, DtrMode::Off, RtsMode::Off},
        {0x0001, DtrMode::On, RtsMode::Off},        {0x0100, DtrMode::On, RtsMode::Off},
        {0x8000, DtrMode::Handshake, RtsMode::Off}, {0x8001, DtrMode::On, RtsMode::Off},
        {0x0002, DtrMode::Off, RtsMode::On},        {0x0200, DtrMode::Off, RtsMode::On},
        {0x1000, DtrMode::Off, RtsMode::Handshake}, {0x2000, DtrMode::Off, RtsMode::Toggle},
        {0x3000, DtrMode::Off, RtsMode::Handshake}, {0x2202, DtrMode::Off, RtsMode::On},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DtrFromLineControl(c.word), c.dtr) << std::hex << c.word;
        EXPECT_EQ(RtsFromLineControl(c.word), c.rts) << std::hex << c.word;
    }
}

// ---- UUCP lock files -----------------------------------------------------------

class UucpLock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(mkdtemp(dir), nullptr); }
    void TearDown() override {
        unlink(LockFile().c_str());
        rmdir(dir);
    }
    std::string LockFile() const { return std::string(dir) + "/LCK..ttyS7"; }
    void WriteLock(const std::string& text) const {
        int fd = open(LockFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    }
    std::string ReadLock() const {
        char text[64] = {};
        int fd = open(LockFile().c_str(), O_RDONLY);
        if (fd < 0) return "(none)";
        ssize_t length = read(fd, text, sizeof(text) - 1);
        close(fd);
        return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
    }
    static std::string PidText(long pid) {
        char text[16];
        std::snprintf(text, sizeof(text), "%10ld\n", pid);
        return text;
    }

    char dir[32] = "/tmp/telmor-lock-XXXXXX";
    char lockPath[posix::kLockPathSize] = {};
};

TEST_F(UucpLock, IsTakenWithTheOwnPidAndDroppedAgain) {
    ASSERT_TRUE(posix::TakeUucpLock(dir, "/dev/ttyS7", lockPath, sizeof(lockPath)));
    EXPECT_EQ(std::string(lockPath), LockFile());
    EXPECT_EQ(ReadLock(), PidText(getpid()));
    posix::DropUucpLock(lockPath);
    EXPECT_EQ(ReadLock(), "(none)");
}

TEST_F(UucpLock, ALiveOwnerKeepsTheLineAndAStaleLockIsTakenOver) {
    pid_t sleeper = fork();
    if (sleeper == 0) {
        pause();
        _exit(0);
    }
    WriteLock(PidText(sleeper));
    EXPECT_FALSE(posix::TakeUucpLock(dir, "/dev/ttyS7", lockPath, sizeof(lockPath)));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EBUSY));
    EXPECT_EQ(ReadLock(), PidText(sleeper));

    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);  // its PID is gone now: the lock is stale
    ASSERT_TRUE(posix::TakeUucpLock(dir, "/dev/ttyS7", lockPath, sizeof(lockPath)));
    EXPECT_EQ(ReadLock(), PidText(getpid()));
    posix::DropUucpLock(lockPath);
}

TEST_F(UucpLock, IsSkippedWhereItCannotBeKept) {
    EXPECT_TRUE(posix::TakeUucpLock("/telmor-no-such-dir", "/dev/ttyS7", lockPath, sizeof(lockPath)));
    EXPECT_STREQ(lockPath, "");
    EXPECT_TRUE(posix::TakeUucpLock(dir, "/dev/pts/7", lockPath, sizeof(lockPath)));
    EXPECT_STREQ(lockPath, "");
    posix::DropUucpLock(lockPath);  // nothing to drop
}

}  // namespace
}  // namespace telmor::platform
