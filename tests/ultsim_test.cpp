// The simulated substation network, driven through the slave side of its
// pseudo-terminal with plain reads and writes. Expected lines are spelled out
// byte by byte, so a slip in the simulator's layouts cannot hide behind the
// same slip in a shared helper.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ultsim/network_file.h"
#include "ultsim/simulator.h"

namespace {

using ultsim::Fault;
using ultsim::Simulator;
using ultsim::Station;
using Clock = std::chrono::steady_clock;

const std::string kEnd = "\n\r";

std::string Repeat(std::string_view text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
}

int64_t ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// The driver's end of the line, opened the way a serial port is opened.
class TestLine {
public:
    explicit TestLine(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~TestLine() {
        if (fd_ >= 0) close(fd_);
    }
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    void Write(std::string_view text) {
        while (!text.empty()) {
            const ssize_t n = write(fd_, text.data(), text.size());
            ASSERT_GT(n, 0);
            text.remove_prefix(static_cast<size_t>(n));
        }
    }

    // One byte, or -1 when none came in time.
    int ReadByte(int timeoutMs) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) return -1;
        unsigned char c = 0;
        return read(fd_, &c, 1) == 1 ? c : -1;
    }

    // Everything up to and including the byte after the next LF: a whole line,
    // or a line whose CR is missing. What came before a time-out otherwise.
    std::string ReadLine(int timeoutMs = 2000) {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            const int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            const int c = ReadByte(std::max(left, 1));
            if (c < 0) break;
            line += static_cast<char>(c);
            if (line.size() >= 2 && line[line.size() - 2] == '\n') break;
        }
        return line;
    }

    // True when no byte arrives within `ms`.
    bool Quiet(int ms) { return ReadByte(ms) < 0; }

    std::string Ask(std::string_view frame) {
        Write(frame);
        return ReadLine();
    }

private:
    int fd_;
};

class UltsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.OpenPty());
        sim.SetStations({Station{1}, Station{2, false}, Station{12}});
        sim.Start();
        line = std::make_unique<TestLine>(sim.SlavePath());
        ASSERT_TRUE(line->IsOpen());
    }

    Simulator sim;
    std::unique_ptr<TestLine> line;
};

// E number at 1-3, then 4-8, 9-11 station, 12-15, as the network fills them.
std::string ErrorReply(std::string_view code, std::string_view station) {
    return "E" + std::string(code) + "00000" + std::string(station) + "0000" + kEnd;
}

TEST_F(UltsimTest, StatusCommandAnswersTheModemStatusSequenceAndRepeatsItsLast) {
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "4"
              "0000000" +
                  kEnd);

    sim.SetModemStatuses({{60, '0'}, {61, '1'}, {61, '3'}});
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0600000"
              "0"
              "0000000" +
                  kEnd);
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "1"
              "0000000" +
                  kEnd);
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "3"
              "0000000" +
                  kEnd);
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "3"
              "0000000" +
                  kEnd);

    sim.SetModemStatuses({});
    line->Write("P00000Q/");
    EXPECT_TRUE(line->Quiet(200));
}

TEST_F(UltsimTest, ScanAnswersOneE062PerStationInOrderThenE069AfterTheScanDelay) {
    sim.SetStations({Station{1}, Station{5, false}, Station{999}});
    sim.SetScanDelayMs(150);
    const auto start = Clock::now();
    line->Write("P00001Q/");
    EXPECT_EQ(line->ReadLine(),
              "E062000"
              "@"
              "0"
              "001"
              "0000" +
                  kEnd);
    EXPECT_EQ(line->ReadLine(),
              "E062000"
              "O"
              "0"
              "005"
              "0000" +
                  kEnd);
    EXPECT_EQ(line->ReadLine(),
              "E062000"
              "@"
              "0"
              "999"
              "0000" +
                  kEnd);
    EXPECT_LT(ElapsedMs(start), 140);
    EXPECT_EQ(line->ReadLine(), "E069000000000000" + kEnd);
    EXPECT_GE(ElapsedMs(start), 150);
}

struct ReadCase {
    const char* name;
    char memType;
    unsigned address;
    uint32_t raw;
    const char* frame;
    std::string reply;
};

TEST_F(UltsimTest, ReadsOfSinglePointsAnswerWithTheirOwnLayout) {
    const ReadCase cases[] = {
        {"A zero", 'A', 5, 0, "P00105A/",
         "U00105A0"
         "4000"
         " " +
             kEnd},
        {"A lowest", 'A', 5, static_cast<uint32_t>(-4000), "P00105A/",
         "U00105A0"
         "0000"
         " " +
             kEnd},
        {"A highest", 'A', 5, 5999, "P00105A/",
         "U00105A0"
         "9999"
         " " +
             kEnd},
        {"w at 40", 'w', 40, 123, "P00140w/",
         "U00140w0"
         "4123"
         " " +
             kEnd},
        {"I negative", 'I', 31, static_cast<uint32_t>(-1), "P00131I/",
         "U00131I0"
         "3999"
         " " +
             kEnd},
        {"G plain", 'G', 5, 1234, "P00105G/",
         "U00105G0"
         "1234"
         " " +
             kEnd},
        {"V with C", 'V', 5, 123, "P00105C/",
         "U00105C0"
         "0123"
         " " +
             kEnd},
        {"H byte", 'H', 5, 20, "P00105H/",
         "U00105H0"
         "DA@@"
         " " +
             kEnd},
        {"C byte with H", 'C', 6, 16, "P00106H/",
         "U00106H0"
         "@A@@"
         " " +
             kEnd},
        {"K with h", 'K', 5, 165, "P00105h/",
         "U00105h0"
         "EJ@@"
         " " +
             kEnd},
        {"L with b, second byte", 'L', 5, 165, "P00105b/",
         "U00105b0"
         "@@EJ"
         " " +
             kEnd},
        {"D with N", 'D', 5, 12345678, "P00105N/",
         "U00105N0"
         "0000 0000"
         " "
         "1234 5678"
         " " +
             kEnd},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        sim.SetValue(1, c.memType, c.address, c.raw);
        const std::string reply = line->Ask(c.frame);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(reply.size(), c.reply.size());
    }
}

TEST_F(UltsimTest, BlockReadsCarryThirtyTwoFieldsFromTheBlockStart) {
    sim.SetValue(1, 'A', 0, 1);
    sim.SetValue(1, 'A', 31, static_cast<uint32_t>(-1));
    sim.SetValue(1, 'A', 40, 7);
    sim.SetValue(1, 'A', 55, 8);
    sim.SetValue(1, 'L', 0, 165);
    sim.SetValue(1, 'H', 41, 0x5A);
    sim.SetValue(1, 'D', 0, 12345678);

    const ReadCase cases[] = {
        {"A at 0", 0, 0, 0, "P00180A/",
         "U00180A0"
         "4001 " +
             Repeat("4000 ", 30) + "3999 " + kEnd},
        {"A at 40", 0, 0, 0, "P001<0A/",
         "U001<0A0"
         "4007 " +
             Repeat("4000 ", 14) + "4008 " + Repeat("4000 ", 16) + kEnd},
        {"L first byte", 0, 0, 0, "P00180b/",
         "U00180b0"
         "EJ@@ " +
             Repeat("@@@@ ", 31) + kEnd},
        {"H at 40", 0, 0, 0, "P001<0H/",
         "U001<0H0"
         "@@@@ "
         "JE@@ " +
             Repeat("@@@@ ", 30) + kEnd},
        {"D upper digits", 0, 0, 0, "P00180D/",
         "U00180D0"
         "1234 " +
             Repeat("0000 ", 31) + kEnd},
        {"D lower digits", 0, 0, 0, "P00180E/",
         "U00180E0"
         "5678 " +
             Repeat("0000 ", 31) + kEnd},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reply = line->Ask(c.frame);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(reply.size(), 170u);
    }
}

TEST_F(UltsimTest, TimeProgramReadsRunFromTheRequestedProgramToTheEndOfItsGroup) {
    sim.SetValue(1, 'Z', 5, 12345678);
    sim.SetValue(1, 'Z', 17, 1);
    sim.SetValue(1, 'Z', 128, 99999999);

    // Program 5: field 48 with the marker, letter h; programs 5..16.
    EXPECT_EQ(line->Ask("P001<8h/"),
              "U001<8h0"
              "1234 5678 " +
                  Repeat("0000 0000 ", 11) + kEnd);
    // Program 128: field 70, letter o; the last of its group.
    EXPECT_EQ(line->Ask("P001?0o/"),
              "U001?0o0"
              "9999 9999 " +
                  kEnd);
    // A block from 17 is the whole group.
    const std::string block = line->Ask("P001<0i/");
    EXPECT_EQ(block,
              "U001<0i0"
              "0000 0001 " +
                  Repeat("0000 0000 ", 15) + kEnd);
    EXPECT_EQ(block.size(), 170u);
}

TEST_F(UltsimTest, AnalogBlockAtFortyAndFirstTimeProgramOfAGroupAreToldApartByWhatTheStationHolds) {
    // "P001<0j/" is both the j block at 40 and time programs 33..48.
    EXPECT_EQ(line->Ask("P001<0j/"), "U001<0j0" + Repeat("4000 ", 32) + kEnd);
    sim.SetValue(1, 'Z', 40, 20001);
    EXPECT_EQ(line->Ask("P001<0j/"),
              "U001<0j0" + Repeat("0000 0000 ", 7) + "0002 0001 " + Repeat("0000 0000 ", 8) + kEnd);
}

struct WriteCase {
    const char* frame;
    char memType;
    unsigned address;
    uint32_t stored;
};

TEST_F(UltsimTest, WritesAreAcknowledgedAndStored) {
    const WriteCase cases[] = {
        {"P00105I @4000/", 'I', 5, 0},
        {"P00105j @0000/", 'j', 5, static_cast<uint32_t>(-4000)},
        {"P00141w @8000/", 'w', 41, 4000},
        {"P00105G @0077/", 'G', 5, 77},
        {"P00105C @0123/", 'V', 5, 123},
        {"P00105H @@A--/", 'C', 5, 0x10},
        {"P00106H @J@--/", 'H', 6, 0x0A},
        {"P00105@ @---2/", 'E', 5, 2},
        {"P00105h @EJ--/", 'K', 5, 165},
        {"P00105b @--EJ/", 'L', 5, 165},
        {"P00105D @1234 @5678/", 'D', 5, 12345678},
        {"P001<8h @1234 @5678/", 'Z', 5, 12345678},
        {"P001?0o @9999 @9999/", 'Z', 128, 99999999},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(line->Ask(c.frame), kEnd);
        EXPECT_EQ(sim.GetValue(1, c.memType, c.address), c.stored);
    }
}

TEST_F(UltsimTest, AWrittenValueReadsBackOnTheLine) {
    EXPECT_EQ(line->Ask("P00105I @4001/"), kEnd);
    EXPECT_EQ(line->Ask("P00105I/"),
              "U00105I0"
              "4001"
              " " +
                  kEnd);
    EXPECT_EQ(line->Ask("P00112D @0001 @0002/"), kEnd);
    EXPECT_EQ(line->Ask("P00112N/"),
              "U00112N0"
              "0000 0000"
              " "
              "0001 0002"
              " " +
                  kEnd);
    EXPECT_EQ(line->Ask("P00105H @@H--/"), kEnd);  // command 5 is bit 7
    EXPECT_EQ(line->Ask("P00105H/"),
              "U00105H0"
              "@H@@"
              " " +
                  kEnd);
}

TEST_F(UltsimTest, ByteWritesGoUnacknowledgedWhenAskedTo) {
    sim.SetAcknowledgeByteWrites(false);
    line->Write("P00105h @EJ--/");
    EXPECT_TRUE(line->Quiet(200));
    EXPECT_EQ(sim.GetValue(1, 'K', 5), 165u);
    EXPECT_EQ(line->Ask("P00105I @4000/"), kEnd);
}

TEST_F(UltsimTest, TimeSynchronisationIsAcknowledgedAndRecorded) {
    const std::string frame = "P00140B @0912 @2000 @0766 @1810/";
    EXPECT_EQ(line->Ask(frame), kEnd);
    EXPECT_EQ(line->Ask("P01240B @3112 @2024 @5977 @2359/"), kEnd);
    // Day 32, and a weekday that is not repeated: refused.
    EXPECT_EQ(line->Ask("P00140B @3212 @2000 @0766 @1810/"), ErrorReply("065", "001"));
    EXPECT_EQ(line->Ask("P00140B @0912 @2000 @0767 @1810/"), ErrorReply("065", "001"));

    const auto syncs = sim.TimeSyncs();
    ASSERT_EQ(syncs.size(), 2u);
    EXPECT_EQ(syncs[0].station, 1u);
    EXPECT_EQ(syncs[0].frame, frame);
    EXPECT_EQ(syncs[1].station, 12u);
}

TEST_F(UltsimTest, RequestsThatCannotBeServedGetE065AndSilentStationsE067) {
    struct Case {
        const char* frame;
        std::string reply;
    };
    const Case cases[] = {
        {"P00105X/", ErrorReply("065", "001")},        // no such request letter
        {"P00135A/", ErrorReply("065", "001")},        // address 35 does not exist
        {"P00185A/", ErrorReply("065", "001")},        // a block starts at 0 or 40
        {"P00132h/", ErrorReply("065", "001")},        // K stops at 31
        {"P00105D/", ErrorReply("065", "001")},        // counters are read singly with N
        {"P00180N/", ErrorReply("065", "001")},        // ... and as blocks with D and E
        {"P00105A @4000/", ErrorReply("065", "001")},  // measurements cannot be written
        {"P00105I @9000/", ErrorReply("065", "001")},  // beyond +4000
        {"P00105H @@@--/", ErrorReply("065", "001")},  // no such command code
        {"P00105@ @---4/", ErrorReply("065", "001")},
        {"P01205Ax/", ErrorReply("065", "012")},  // no known layout
        {"P00002Q/", ErrorReply("065", "000")},   // no such network command
        {"P00305A/",
         "E06700000"
         "00305A"
         "0" +
             kEnd},  // station 3 is not on the network
        {"P00205A/",
         "E06700000"
         "00205A"
         "0" +
             kEnd},  // station 2 does not answer
        {"P00205I @4100/",
         "E06700000"
         "00205I"
         "0" +
             kEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        const std::string reply = line->Ask(c.frame);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(reply.size(), 18u);
    }
    EXPECT_EQ(sim.GetValue(2, 'I', 5), 0u) << "a write to a station that does not answer stores nothing";
}

TEST_F(UltsimTest, FaultsChangeTheAnswerToTheNextRequest) {
    struct Case {
        Fault fault;
        std::string reply;
    };
    const Case cases[] = {
        {Fault::WrongLength,
         "U00105A0"
         "4000" +
             kEnd},
        {Fault::ExtraChar,
         "U00105A0"
         "4000"
         "  " +
             kEnd},
        {Fault::GarbleByte,
         "U00105A0"
         "?000"
         " " +
             kEnd},
        {Fault::MissingCr,
         "U00105A0"
         "4000"
         " "
         "\nx"},
        {Fault::OtherStation,
         "U00205A0"
         "4000"
         " " +
             kEnd},
        {Fault::Error064, ErrorReply("064", "001")},
        {Fault::Error065, ErrorReply("065", "001")},
        {Fault::Error066, ErrorReply("066", "001")},
        {Fault::Error067,
         "E06700000"
         "00105A"
         "0" +
             kEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim.SetFault(c.fault);
        EXPECT_EQ(line->Ask("P00105A/"), c.reply);
        EXPECT_EQ(line->Ask("P00105A/"),
                  "U00105A0"
                  "4000"
                  " " +
                      kEnd)
            << "the fault lasts one request";
    }
}

TEST_F(UltsimTest, FaultsOnAcknowledgements) {
    sim.SetFault(Fault::WrongLength);
    EXPECT_EQ(line->Ask("P00105I @4000/"), "0" + kEnd);
    sim.SetFault(Fault::MissingCr);
    EXPECT_EQ(line->Ask("P00105I @4000/"), "\nx");
    sim.SetFault(Fault::Error066);
    EXPECT_EQ(line->Ask("P00105I @4000/"), ErrorReply("066", "001"));
}

TEST_F(UltsimTest, MissingAndLateAnswersCountRequestsButSpareNetworkCommands) {
    sim.SetFault(Fault::NoAnswer, 2);
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "4"
              "0000000" +
                  kEnd);
    line->Write("P00105A/");
    EXPECT_TRUE(line->Quiet(150));
    line->Write("P00105I @4000/");
    EXPECT_TRUE(line->Quiet(150));
    EXPECT_EQ(line->Ask("P00105A/"),
              "U00105A0"
              "4000"
              " " +
                  kEnd);

    sim.SetLateMs(200);
    sim.SetFault(Fault::LateAnswer);
    const auto start = Clock::now();
    EXPECT_EQ(line->Ask("P00105A/"),
              "U00105A0"
              "4000"
              " " +
                  kEnd);
    EXPECT_GE(ElapsedMs(start), 200);
}

TEST_F(UltsimTest, ALateAnswerDoesNotHoldBackLinesThatAreDueEarlier) {
    sim.SetLateMs(300);
    sim.SetFault(Fault::LateAnswer);
    line->Write("P00105A/");
    sim.SendPowerUp();
    EXPECT_EQ(line->ReadLine(), "E070000000000000" + kEnd);
    EXPECT_EQ(line->ReadLine(),
              "U00105A0"
              "4000"
              " " +
                  kEnd);
}

TEST_F(UltsimTest, SilentNetworkAnswersNothingButStillSendsWhatTheTestSends) {
    sim.SetSilent(true);
    line->Write("P00000Q/");
    line->Write("P00105A/");
    EXPECT_TRUE(line->Quiet(200));
    sim.SendPowerUp();
    EXPECT_EQ(line->ReadLine(), "E070000000000000" + kEnd);
    sim.SetSilent(false);
    EXPECT_EQ(line->Ask("P00105A/"),
              "U00105A0"
              "4000"
              " " +
                  kEnd);
}

TEST_F(UltsimTest, CommandTextsAreAnsweredWithTheConfiguredLineAndRecorded) {
    EXPECT_EQ(line->Ask("HELLO/"), "OK" + kEnd);
    sim.SetCommandReply("STATUS 7 READY");
    EXPECT_EQ(line->Ask("X 1 2 3/"), "STATUS 7 READY" + kEnd);
    EXPECT_EQ(sim.CommandTexts(), (std::vector<std::string>{"HELLO/", "X 1 2 3/"}));
}

TEST_F(UltsimTest, SpontaneousLinesHaveTheirExactLayout) {
    struct Case {
        const char* name;
        std::function<void()> send;
        std::string line;
    };
    const Case cases[] = {
        {"digital", [&] { sim.SendDigitalMessage(12, 5, 19); },
         "U01205"
         "11"
         "CA@@"
         " " +
             kEnd},
        {"analog", [&] { sim.SendAnalogMessage(12, 5, 123); },
         "U01205"
         "22"
         "@@@@"
         " "
         "4123"
         " " +
             kEnd},
        {"analog lowest", [&] { sim.SendAnalogMessage(7, 31, -4000); },
         "U00731"
         "22"
         "@@@@"
         " "
         "0000"
         " " +
             kEnd},
        {"combined", [&] { sim.SendCombinedMessage(12, 41, 255, -1, 123456); },
         "U01241"
         "33"
         "OO@@"
         " "
         "3999"
         " "
         "0012 3456"
         " " +
             kEnd},
        {"power up", [&] { sim.SendPowerUp(); }, "E070000000000000" + kEnd},
        {"modem status", [&] { sim.SendModemStatus(60, '0'); },
         "E0600000"
         "0"
         "0000000" +
             kEnd},
        {"station lost", [&] { sim.SendStationResponse(12, false); },
         "E062000"
         "O"
         "0"
         "012"
         "0000" +
             kEnd},
        {"station back", [&] { sim.SendStationResponse(12, true); },
         "E062000"
         "@"
         "0"
         "012"
         "0000" +
             kEnd},
        {"raw", [&] { sim.SendRaw("abc\nx"); }, "abc\nx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.send();
        EXPECT_EQ(line->ReadLine(), c.line);
    }
}

TEST_F(UltsimTest, SpontaneousMessagesAndStationReportsChangeWhatTheNetworkAnswers) {
    sim.SendCombinedMessage(12, 5, 19, 123, 87654321);
    line->ReadLine();
    EXPECT_EQ(line->Ask("P01205H/"),
              "U01205H0"
              "CA@@"
              " " +
                  kEnd);
    EXPECT_EQ(line->Ask("P01205A/"),
              "U01205A0"
              "4123"
              " " +
                  kEnd);
    EXPECT_EQ(line->Ask("P01205N/"),
              "U01205N0"
              "0000 0000"
              " "
              "8765 4321"
              " " +
                  kEnd);

    sim.SendStationResponse(12, false);
    line->ReadLine();
    EXPECT_EQ(line->Ask("P01205A/"),
              "E06700000"
              "01205A"
              "0" +
                  kEnd);
    sim.SendStationResponse(3, true);  // a station the network did not have before
    line->ReadLine();
    EXPECT_EQ(line->Ask("P00305A/"),
              "U00305A0"
              "4000"
              " " +
                  kEnd);
}

TEST_F(UltsimTest, RandomValueMessagesComeOnlyFromAnsweringStations) {
    sim.SetRandomSeed(7);
    sim.SetSpontaneousRate(200);
    std::vector<std::string> lines;
    const auto start = Clock::now();
    while (ElapsedMs(start) < 500) lines.push_back(line->ReadLine(200));
    sim.SetSpontaneousRate(0);
    ASSERT_GE(lines.size(), 30u);
    for (const std::string& message : lines) {
        if (message.empty()) continue;
        SCOPED_TRACE(message);
        EXPECT_TRUE(message.size() == 15 || message.size() == 20 || message.size() == 30);
        EXPECT_TRUE(message.rfind("U001", 0) == 0 || message.rfind("U012", 0) == 0);
        EXPECT_EQ(message.substr(message.size() - 2), kEnd);
        const int address = std::stoi(message.substr(4, 2));
        EXPECT_TRUE(address <= 31 || (address >= 40 && address <= 55));
    }
    while (!line->Quiet(100)) {
    }
}

// The simulator's own slave descriptor keeps the line usable while the driver
// has the port closed: what it sends then waits for the next open.
TEST_F(UltsimTest, LineSurvivesTheDriverClosingAndReopeningThePort) {
    line.reset();
    sim.SendPowerUp();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    line = std::make_unique<TestLine>(sim.SlavePath());
    EXPECT_EQ(line->ReadLine(), "E070000000000000" + kEnd);
    EXPECT_EQ(line->Ask("P00000Q/"),
              "E0610000"
              "4"
              "0000000" +
                  kEnd);
}

TEST_F(UltsimTest, RequestsTraceAndWaitSeeEveryFrame) {
    line->Ask("P00000Q/");
    line->Write("P00105A/");
    ASSERT_TRUE(sim.WaitForRequests(2, 2000));
    EXPECT_FALSE(sim.WaitForRequests(3, 100));
    EXPECT_EQ(sim.Requests(), (std::vector<std::string>{"P00000Q/", "P00105A/"}));
    line->ReadLine();

    const auto trace = sim.Trace();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_TRUE(trace[0].fromDriver);
    EXPECT_EQ(trace[0].bytes, "P00000Q/");
    EXPECT_FALSE(trace[1].fromDriver);
    EXPECT_EQ(trace[1].bytes,
              "E0610000"
              "4"
              "0000000" +
                  kEnd);
    for (size_t i = 1; i < trace.size(); ++i) EXPECT_GE(trace[i].monotonicNs, trace[i - 1].monotonicNs);
}

// 9600 baud, 10 bits a character: 1.0417 ms a byte. Over 200 bytes the spread
// between the first and the last stays within a few percent of 199 character times.
TEST_F(UltsimTest, PacedOutputKeepsTheCharacterTime) {
    sim.SetBaud(9600, 10);
    sim.SendRaw(std::string(200, 'x'));
    ASSERT_EQ(line->ReadByte(2000), 'x');
    const auto first = Clock::now();
    for (int i = 1; i < 200; ++i) ASSERT_EQ(line->ReadByte(1000), 'x');
    const double elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - first).count();
    const double expectedMs = 199 * 10 * 1000.0 / 9600;
    EXPECT_NEAR(elapsedMs, expectedMs, expectedMs * 0.04);

    sim.SetBaud(0);
    const auto start = Clock::now();
    sim.SendRaw(std::string(200, 'y'));
    for (int i = 0; i < 200; ++i) ASSERT_EQ(line->ReadByte(1000), 'y');
    EXPECT_LT(ElapsedMs(start), 50);
}

// More spontaneous messages than a slow line carries: they wait for the line
// one at a time, so an answer still goes out behind at most one of them.
TEST_F(UltsimTest, SpontaneousMessagesNeverHoldUpAnAnswer) {
    sim.SetBaud(2400, 10);  // about 4 ms a character, 0.1 s a value message
    sim.SetSpontaneousRate(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    line->Write("P00105A/");
    std::string answer;
    const auto start = Clock::now();
    while (ElapsedMs(start) < 1500 && answer.rfind("U00105A", 0) != 0) answer = line->ReadLine(1500);
    EXPECT_EQ(answer.rfind("U00105A", 0), 0u) << "no answer behind the value messages";
}

TEST_F(UltsimTest, LinesNeverInterleaveEvenWhilePaced) {
    sim.SetBaud(38400);
    line->Write("P00180A/");
    ASSERT_TRUE(sim.WaitForRequests(1, 2000));
    for (int i = 0; i < 5; ++i) sim.SendDigitalMessage(1, static_cast<unsigned>(i), 0x11);
    const std::string block = "U00180A0" + Repeat("4000 ", 32) + kEnd;
    std::vector<std::string> lines;
    for (int i = 0; i < 6; ++i) lines.push_back(line->ReadLine());
    EXPECT_EQ(lines[0], block);
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(lines[i],
                  "U00"
                  "10" +
                      std::to_string(i - 1) +
                      "11"
                      "AA@@"
                      " " +
                      kEnd);
}

TEST(UltsimLifecycle, StopsAndRestartsAndDestroysWithOutputStillQueued) {
    Simulator sim;
    ASSERT_TRUE(sim.OpenPty());
    sim.SetStations({Station{1}});
    sim.Start();
    {
        TestLine line(sim.SlavePath());
        EXPECT_EQ(line.Ask("P00000Q/"),
                  "E0610000"
                  "4"
                  "0000000" +
                      kEnd);
        sim.Stop();
        line.Write("P00105A/");
        EXPECT_TRUE(line.Quiet(100));
        sim.Start();
        EXPECT_EQ(line.ReadLine(),
                  "U00105A0"
                  "4000"
                  " " +
                      kEnd);
    }
    // Nobody reads: the pty's queue fills up and the service thread waits to
    // write. Destruction must still end promptly.
    sim.SendRaw(std::string(200000, 'z'));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(UltsimLifecycle, StartWithoutALineDoesNothing) {
    Simulator sim;
    sim.Start();
    sim.Stop();
    EXPECT_TRUE(sim.SlavePath().empty());
    EXPECT_THROW(sim.SetValue(1, 'x', 0, 0), std::invalid_argument);
}

// --- the network file ---

TEST(UltsimNetworkFile, ParsesEveryDirectiveWithCommentsAndBlankLines) {
    const ultsim::NetworkParseResult parsed = ultsim::ParseNetworkText(
        "# two stations\n"
        "station 1\n"
        "\n"
        "  station 12 silent   # listed, never answers\n"
        "value 1 A 3 -5\n"
        "value 12 D 7 99999999\r\n"
        "rate 2.5\n"
        "modem 61 1 4\n"
        "baud 9600",
        "net.txt");
    ASSERT_TRUE(parsed.network) << parsed.error;
    const ultsim::NetworkDescription& net = *parsed.network;
    ASSERT_EQ(net.stations.size(), 2u);
    EXPECT_EQ(net.stations[0].number, 1u);
    EXPECT_TRUE(net.stations[0].answers);
    EXPECT_EQ(net.stations[1].number, 12u);
    EXPECT_FALSE(net.stations[1].answers);
    ASSERT_EQ(net.values.size(), 2u);
    EXPECT_EQ(net.values[0].raw, static_cast<uint32_t>(-5));
    EXPECT_EQ(net.values[1].memType, 'D');
    EXPECT_EQ(net.values[1].raw, 99999999u);
    EXPECT_EQ(net.rate, 2.5);
    EXPECT_EQ(net.modemStatuses, (std::vector<std::pair<int, char>>{{61, '1'}, {61, '4'}}));
    EXPECT_EQ(net.baud, 9600u);
}

TEST(UltsimNetworkFile, RefusesBadLinesNamingFileAndLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"stations 1", "f:1: unknown directive \"stations\""},
        {"station", "f:1: expected \"station N [silent]\""},
        {"station 1000", "f:1: station number must be 0 to 999"},
        {"station 1x", "f:1: station number must be 0 to 999"},
        {"station 1 quiet", "f:1: expected \"silent\" after the station number"},
        {"station 1\nstation 1", "f:2: station 1 declared twice"},
        {"value 1 A 3 5", "f:1: value for a station that no earlier station line declares"},
        {"station 1\nvalue 1 X 3 5", "f:2: unknown memory type \"X\""},
        {"station 1\nvalue 1 H 3 256", "f:2: value must be 0 to 255 for memory type H"},
        {"station 1\nvalue 1 D 3 100000000", "f:2: value must be 0 to 99999999 for memory type D"},
        {"station 1\nvalue 1 G 3 -1", "f:2: value must be 0 to 4294967295 for memory type G"},
        {"station 1\nvalue 1 Z 0 5", "f:2: time program must be 1 to 128"},
        {"station 1\nvalue 1 A x 5", "f:2: address must be a number"},
        {"station 1\nvalue 1 A 3", "f:2: expected \"value STATION MEMTYPE ADDRESS RAW\""},
        {"rate -1", "f:1: expected \"rate R\", R messages a second, 0 or more"},
        {"rate 1\nrate 2", "f:2: rate given twice"},
        {"modem 62 4", "f:1: expected \"modem 60|61 STATUS...\""},
        {"modem 61", "f:1: expected \"modem 60|61 STATUS...\""},
        {"modem 61 4 12", "f:1: modem status must be one digit, not \"12\""},
        {"baud 0", "f:1: expected \"baud N\", N > 0"},
        {"# fine\n\nbaud 9600\nbaud 4800", "f:4: baud given twice"},
    };
    for (const Case& c : cases) {
        const ultsim::NetworkParseResult parsed = ultsim::ParseNetworkText(c.text, "f");
        EXPECT_FALSE(parsed.network) << c.text;
        EXPECT_EQ(parsed.error, c.error) << c.text;
    }
}

TEST(UltsimNetworkFile, MissingFileIsReportedWithItsPath) {
    const ultsim::NetworkParseResult parsed = ultsim::ReadNetworkFile("/nonexistent/net.txt");
    EXPECT_FALSE(parsed.network);
    EXPECT_EQ(parsed.error, "/nonexistent/net.txt:0: cannot open the file");
}

TEST(UltsimNetworkFile, ApplyLoadsValuesAndStationsIntoTheSimulator) {
    const ultsim::NetworkParseResult parsed = ultsim::ParseNetworkText(
        "station 3\nstation 4 silent\nvalue 3 A 1 -5\nvalue 3 C 2 17\nvalue 4 Z 128 1234\n", "net");
    ASSERT_TRUE(parsed.network) << parsed.error;
    Simulator sim;
    ultsim::Apply(*parsed.network, sim);
    EXPECT_EQ(sim.GetValue(3, 'A', 1), static_cast<uint32_t>(-5));
    EXPECT_EQ(sim.GetValue(3, 'H', 2), 17u);  // the command byte shares the dig. signal's store
    EXPECT_EQ(sim.GetValue(4, 'Z', 128), 1234u);
    EXPECT_EQ(sim.GetValue(3, 'A', 2), 0u);
}

}  // namespace
