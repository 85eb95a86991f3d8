// The write request frames of every memory type, the refused values with
// their messages, and the time synchronisation frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "support/codecs_log.h"
#include "transactions/build_write_request.h"
#include "veldan/veldan_host.h"

namespace telmor {
namespace {

using codecs_test::kMajor;
using codecs_test::kTrace;
using codecs_test::LoggedLines;
using codecs_test::LogLine;

constexpr size_t kRequestBufSize = 512;
constexpr char kFill = 'x';

// The value area of a gate: 16-bit values in the second word, 32-bit values
// in the first four bytes.
struct Area {
    Area() { std::memset(bytes, 0xA5, sizeof bytes); }
    static Area Word(uint16_t word) {
        Area area;
        std::memcpy(area.bytes + 2, &word, sizeof word);
        return area;
    }
    static Area Long(uint32_t value) {
        Area area;
        std::memcpy(area.bytes, &value, sizeof value);
        return area;
    }
    unsigned char bytes[8];
};

GateRequest Request(int32_t memoryType, uint32_t station, uint32_t address, void* value) {
    GateRequest request{};
    request.addressText = "gate";
    request.station = station;
    request.memoryType = memoryType;
    request.address = address;
    request.bitNumber = -1;
    request.count = 1;
    request.value = value;
    return request;
}

struct Built {
    int result;
    std::string frame;
    bool untouched;  // not a byte of the buffer written
};

// Builds into a filled request buffer; checks that nothing past the
// terminator was written.
Built Build(const GateRequest& request, const std::tm* localNow = nullptr,
            size_t frameSize = kRequestBufSize) {
    char buffer[kRequestBufSize];
    std::memset(buffer, kFill, sizeof buffer);
    const int result = BuildWriteRequestAt(request, buffer, frameSize, localNow);
    const size_t length = strnlen(buffer, sizeof buffer);
    // A frame that does not fit may leave its cut text inside frameSize.
    const size_t firstFree = frameSize < sizeof buffer ? frameSize : length + 1;
    for (size_t i = firstFree; i < sizeof buffer; ++i) {
        if (buffer[i] != kFill) {
            ADD_FAILURE() << "byte " << i << " written";
            break;
        }
    }
    if (length == sizeof buffer) return {result, "", true};
    return {result, std::string(buffer, length), false};
}

// Saturday 9 December 2000, 18:10:07.
std::tm SaturdayEvening() {
    std::tm t{};
    t.tm_year = 100;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 18;
    t.tm_min = 10;
    t.tm_sec = 7;
    t.tm_wday = 6;
    return t;
}

class BuildWriteRequestTest : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
};

struct FrameCase {
    int32_t memoryType;
    uint32_t address;
    Area area;
    const char* frame;
};

TEST_F(BuildWriteRequestTest, FramesByMemoryType) {
    const FrameCase cases[] = {
        {'I', 5, Area::Word(0), "P00105I @4000/"},
        {'I', 5, Area::Word(4000), "P00105I @8000/"},
        {'j', 5, Area::Word(static_cast<uint16_t>(-4000)), "P00105j @0000/"},
        {'w', 55, Area::Word(1), "P00155w @4001/"},
        {'G', 5, Area::Word(0), "P00105G @0000/"},
        {'G', 5, Area::Word(9999), "P00105G @9999/"},
        {'V', 5, Area::Word(123), "P00105C @0123/"},
        {'C', 5, Area::Word(0), "P00105H @D@--/"},
        {'C', 5, Area::Word(1), "P00105H @H@--/"},
        {'C', 5, Area::Word(2), "P00105H @B@--/"},
        {'C', 5, Area::Word(3), "P00105H @@A--/"},
        {'C', 5, Area::Word(4), "P00105H @@B--/"},
        {'C', 5, Area::Word(5), "P00105H @@H--/"},
        {'C', 5, Area::Word(6), "P00105H @@D--/"},
        {'C', 5, Area::Word(7), "P00105H @A@--/"},
        {'C', 5, Area::Word(12), "P00105H @J@--/"},
        {'E', 5, Area::Word(0), "P00105@ @---0/"},
        {'E', 5, Area::Word(2), "P00105@ @---2/"},
        {'E', 5, Area::Word(3), "P00105@ @---3/"},
        {'K', 5, Area::Word(165), "P00105h @EJ--/"},
        {'K', 5, Area::Word(255), "P00105h @OO--/"},
        {'K', 5, Area::Word(0), "P00105h @@@--/"},
        {'L', 5, Area::Word(165), "P00105b @--EJ/"},
        {'D', 5, Area::Long(12345678), "P00105D @1234 @5678/"},
        {'D', 5, Area::Long(99999999), "P00105D @9999 @9999/"},
        {'D', 40, Area::Long(0), "P00140D @0000 @0000/"},
        {'Z', 5, Area::Long(12345678), "P001<8h @1234 @5678/"},
        {'Z', 17, Area::Long(1), "P001<0i @0000 @0001/"},
        {'Z', 128, Area::Long(99999999), "P001?0o @9999 @9999/"},
    };
    for (const FrameCase& c : cases) {
        FrameCase copy = c;
        const Built built = Build(Request(c.memoryType, 1, c.address, copy.area.bytes));
        EXPECT_EQ(built.result, 0) << c.frame;
        EXPECT_EQ(built.frame, c.frame);
    }
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(BuildWriteRequestTest, CommandTextGoesOutUnchangedIfItFits) {
    char text[] = "P00000Q/ any text";
    EXPECT_EQ(Build(Request(VPI_MEM_COMMAND_TEXT, 0, 0, text)).frame, text);

    // The buffer holds frameSize - 1 characters and the terminator.
    std::string longest(kRequestBufSize - 1, 'T');
    Built built = Build(Request(VPI_MEM_COMMAND_TEXT, 0, 0, longest.data()));
    EXPECT_EQ(built.result, 0);
    EXPECT_EQ(built.frame, longest);
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});

    std::string tooLong(kRequestBufSize, 'T');
    built = Build(Request(VPI_MEM_COMMAND_TEXT, 0, 0, tooLong.data()));
    EXPECT_EQ(built.result, 1);
    EXPECT_EQ(built.frame, "");
    EXPECT_EQ(
        LoggedLines(),
        (std::vector<LogLine>{
            {kTrace, "TELMOR> BuildWriteRequest() error, frame longer than 511 characters, gate 'gate'"}}));
}

struct RefusedCase {
    int32_t memoryType;
    Area area;
    std::vector<LogLine> log;
};

std::vector<LogLine> OutOfRange(const std::string& shown) {
    return {{kTrace, "TELMOR> BuildWriteRequest() value " + shown + " out of range, gate 'gate'"}};
}

TEST_F(BuildWriteRequestTest, RefusedValuesWriteNoFrame) {
    const RefusedCase cases[] = {
        {'I', Area::Word(4001), OutOfRange("4001")},
        // 16-bit values show widened with their sign.
        {'I', Area::Word(static_cast<uint16_t>(-4001)), OutOfRange("4294963295")},
        {'v', Area::Word(static_cast<uint16_t>(-4001)), OutOfRange("4294963295")},
        {'C', Area::Word(8), OutOfRange("8")},
        {'C', Area::Word(11), OutOfRange("11")},
        {'C', Area::Word(13), OutOfRange("13")},
        {'C', Area::Word(256), OutOfRange("256")},
        {'C', Area::Word(65535), OutOfRange("4294967295")},
        {'K', Area::Word(256), OutOfRange("256")},
        {'L', Area::Word(256), OutOfRange("256")},
        {'L', Area::Word(0x8000), OutOfRange("4294934528")},
        // Outside what four digits carry.
        {'G', Area::Word(10000), OutOfRange("10000")},
        {'G', Area::Word(static_cast<uint16_t>(-1)), OutOfRange("4294967295")},
        {'V', Area::Word(static_cast<uint16_t>(-1)), OutOfRange("4294967295")},
        {'V', Area::Word(32767), OutOfRange("32767")},
        // 32-bit values show unchanged; two groups of four carry 0..99999999.
        {'D', Area::Long(100000000), OutOfRange("100000000")},
        {'D', Area::Long(UINT32_MAX), OutOfRange("4294967295")},
        {'Z', Area::Long(100000000), OutOfRange("100000000")},
        // E shows its value unsigned.
        {'E',
         Area::Word(4),
         {{kTrace, "TELMOR> BuildWriteRequest() value 4 out of range (0..3), gate 'gate'"}}},
        {'E',
         Area::Word(65535),
         {{kTrace, "TELMOR> BuildWriteRequest() value 65535 out of range (0..3), gate 'gate'"}}},
    };
    for (const RefusedCase& c : cases) {
        VeldanReset();
        RefusedCase copy = c;
        const Built built = Build(Request(c.memoryType, 1, 5, copy.area.bytes));
        EXPECT_EQ(built.result, 1) << static_cast<char>(c.memoryType);
        EXPECT_TRUE(built.untouched);
        EXPECT_EQ(LoggedLines(), c.log);
    }
}

TEST_F(BuildWriteRequestTest, FieldsThatDoNotFitAreRefused) {
    struct Case {
        int32_t memoryType;
        uint32_t station;
        uint32_t address;
    };
    const Case cases[] = {{'I', 1000, 5}, {'C', 1, 100}, {'E', UINT32_MAX, 0}, {'K', 1, 256},
                          {'D', 1, 100},  {'Z', 1, 0},   {'Z', 1, 129},        {'T', 1000, 0}};
    const std::tm now = SaturdayEvening();
    for (const Case& c : cases) {
        VeldanReset();
        Area area = Area::Word(1);
        std::memset(area.bytes, 0, 2);  // the 32-bit types see the value 65536
        const Built built = Build(Request(c.memoryType, c.station, c.address, area.bytes), &now);
        EXPECT_EQ(built.result, 1);
        EXPECT_TRUE(built.untouched);
        const std::string line = "TELMOR> BuildWriteRequest() error, station " + std::to_string(c.station) +
                                 " or address " + std::to_string(c.address) + " out of range, gate 'gate'";
        EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{kMajor, line}}));
    }
}

TEST_F(BuildWriteRequestTest, FrameThatDoesNotFitTheBufferIsRefused) {
    Area area = Area::Word(0);
    const Built built = Build(Request('I', 1, 5, area.bytes), nullptr, 14);
    EXPECT_EQ(built.result, 1);
    EXPECT_EQ(built.frame, "");
    EXPECT_EQ(
        LoggedLines(),
        (std::vector<LogLine>{
            {kTrace, "TELMOR> BuildWriteRequest() error, frame longer than 13 characters, gate 'gate'"}}));
    EXPECT_EQ(Build(Request('I', 1, 5, area.bytes), nullptr, 15).frame, "P00105I @4000/");
}

TEST_F(BuildWriteRequestTest, TypesWithoutWriteFrameAreInternalErrors) {
    for (int32_t type :
         {int32_t{'A'}, int32_t{'H'}, int32_t{'S'}, int32_t{'R'}, int32_t{'l'}, int32_t{'u'}, 2, 3, 4, 0}) {
        VeldanReset();
        Area area = Area::Word(0);
        const Built built = Build(Request(type, 1, 5, area.bytes));
        EXPECT_EQ(built.result, 2) << type;
        EXPECT_TRUE(built.untouched);
        EXPECT_EQ(LoggedLines(),
                  (std::vector<LogLine>{
                      {kMajor, "TELMOR> BuildWriteRequest() internal error file SAUWRITE line 435"}}));
    }
}

TEST_F(BuildWriteRequestTest, TimeSynchronisationFrame) {
    struct Case {
        uint16_t value;
        std::tm time;
        const char* frame;
    };
    std::tm sunday = SaturdayEvening();
    sunday.tm_mday = 10;
    sunday.tm_wday = 0;
    std::tm newYear{};
    newYear.tm_year = 2024 - 1900;
    newYear.tm_mon = 0;
    newYear.tm_mday = 1;
    newYear.tm_wday = 1;
    const Case cases[] = {
        {0, SaturdayEvening(), "P00140B @0912 @2000 @0766 @1810/"},
        {100, SaturdayEvening(), "P00140B @0912 @2000 @0766 @1810/"},
        {108, SaturdayEvening(), "P00140B @0912 @2000 @0766 @1810/"},
        {101, SaturdayEvening(), "P00140B @0912 @2000 @0711 @1810/"},
        {103, SaturdayEvening(), "P00140B @0912 @2000 @0733 @1810/"},
        {107, SaturdayEvening(), "P00140B @0912 @2000 @0777 @1810/"},
        {0, sunday, "P00140B @1012 @2000 @0777 @1810/"},
        {0, newYear, "P00140B @0101 @2024 @0011 @0000/"},
    };
    for (const Case& c : cases) {
        Area area = Area::Word(c.value);
        const Built built = Build(Request('T', 1, 77, area.bytes), &c.time);
        EXPECT_EQ(built.result, 0);
        EXPECT_EQ(built.frame, c.frame) << c.value;
    }
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(BuildWriteRequestTest, TimeSynchronisationWithoutUsableTimeIsRefused) {
    std::tm badYear = SaturdayEvening();
    badYear.tm_year = 10000 - 1900;
    std::tm badMonth = SaturdayEvening();
    badMonth.tm_mon = 12;
    const std::tm* times[] = {nullptr, &badYear, &badMonth};
    for (const std::tm* time : times) {
        VeldanReset();
        Area area = Area::Word(static_cast<uint16_t>(-3));
        const Built built = Build(Request('T', 1, 0, area.bytes), time);
        EXPECT_EQ(built.result, 1);
        EXPECT_EQ(LoggedLines(), OutOfRange("4294967293"));
    }
}

TEST_F(BuildWriteRequestTest, TimeSynchronisationUsesTheLocalClock) {
    Area area = Area::Word(105);
    char frame[kRequestBufSize];
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(BuildWriteRequest(Request('T', 12, 0, area.bytes), frame, sizeof frame), 0);
    const std::time_t after = std::time(nullptr);
    // The frame carries the local time of a moment between the two readings;
    // the gate value names the weekday.
    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        std::tm local{};
        ASSERT_NE(localtime_r(&t, &local), nullptr);
        char expected[64];
        ASSERT_EQ(BuildWriteRequestAt(Request('T', 12, 0, area.bytes), expected, sizeof expected, &local), 0);
        matched = std::string(frame) == expected;
    }
    EXPECT_TRUE(matched) << frame;
}

TEST_F(BuildWriteRequestTest, ValueAreaNeedNotBeAligned) {
    unsigned char bytes[9] = {};
    const uint16_t word = 165;
    std::memcpy(bytes + 3, &word, sizeof word);
    EXPECT_EQ(Build(Request('L', 1, 5, bytes + 1)).frame, "P00105b @--EJ/");
    const uint32_t value = 12345678;
    std::memcpy(bytes + 1, &value, sizeof value);
    EXPECT_EQ(Build(Request('D', 1, 5, bytes + 1)).frame, "P00105D @1234 @5678/");
}

}  // namespace
}  // namespace telmor
