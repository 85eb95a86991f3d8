// Decoding read replies into the host's value area: every memory type single
// and as a block, the refused replies with their messages, and what a
// refused block leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/codecs_log.h"
#include "transactions/store_data.h"
#include "veldan/veldan_host.h"

namespace telmor {
namespace {

using codecs_test::kMajor;
using codecs_test::kTrace;
using codecs_test::LoggedLines;
using codecs_test::LogLine;

constexpr unsigned char kUntouchedByte = 0xA5;
constexpr uint16_t kUntouchedWord = 0xA5A5;
constexpr uint32_t kUntouchedLong = 0xA5A5A5A5u;

// "U", the six characters of the request, one unexamined character, each
// field with its separator, LF CR.
std::string Reply(const std::string& head, const std::vector<std::string>& fields) {
    std::string reply = "U" + head + "#";
    for (const std::string& field : fields) reply += field + " ";
    return reply + "\n\r";
}

std::vector<std::string> Repeated(size_t count, const std::string& field) {
    return std::vector<std::string>(count, field);
}

// Four-digit fields first, first + 1, ...
std::vector<std::string> Numbered(size_t count, unsigned first) {
    std::vector<std::string> fields;
    for (unsigned i = 0; i < count; ++i) {
        char field[8];
        std::snprintf(field, sizeof field, "%04u", first + i);
        fields.push_back(field);
    }
    return fields;
}

// A value area filled with a pattern no decode produces.
struct Area {
    explicit Area(size_t size = 256) : bytes(size, kUntouchedByte) {}
    uint16_t Word(size_t offset) const {
        uint16_t word = 0;
        std::memcpy(&word, bytes.data() + offset, sizeof word);
        return word;
    }
    uint32_t Long(size_t offset) const {
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + offset, sizeof value);
        return value;
    }
    void SetLong(size_t offset, uint32_t value) { std::memcpy(bytes.data() + offset, &value, sizeof value); }
    std::vector<unsigned char> bytes;
};

GateRequest Request(int32_t memoryType, uint32_t address, int32_t count, void* value, int32_t bitNumber = -1,
                    uint32_t counterPhase = 0) {
    GateRequest request{};
    request.addressText = "gate";
    request.station = 1;
    request.memoryType = memoryType;
    request.address = address;
    request.bitNumber = bitNumber;
    request.count = count;
    request.counterPhase = counterPhase;
    request.value = value;
    return request;
}

int Store(GateRequest request, const std::string& reply) {
    return StoreData(request, reply.data(), static_cast<uint16_t>(reply.size()));
}

std::vector<LogLine> One(int level, const std::string& text) {
    return {{level, text}};
}

class StoreDataTest : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
};

struct SingleCase {
    int32_t memoryType;
    int32_t bitNumber;
    const char* field;
    uint16_t stored;
};

TEST_F(StoreDataTest, SingleShortFieldsGoIntoTheSecondWord) {
    const SingleCase cases[] = {
        {'A', -1, "4000", 0},
        {'A', -1, "0000", static_cast<uint16_t>(-4000)},
        {'A', -1, "9999", 5999},
        {'I', -1, "4123", 123},
        {'m', -1, "3999", static_cast<uint16_t>(-1)},
        {'w', -1, "8000", 4000},
        {'G', -1, "4000", 4000},
        {'V', -1, "0000", 0},
        {'V', -1, "9999", 9999},
        // Negated nibble byte: only the first two characters are looked at.
        {'C', -1, "@A12", static_cast<uint16_t>(-16)},
        {'C', -1, "A@--", static_cast<uint16_t>(-1)},
        {'C', -1, "@@@@", 0},
        {'C', -1, "OO@@", static_cast<uint16_t>(-255)},
        // Nibble bytes: low nibble first; H and K take the first byte, L the second.
        {'H', -1, "DA@@", 20},
        {'H', -1, "OO@@", 255},
        {'H', 0, "DA@@", 0},
        {'H', 2, "DA@@", 1},
        {'H', 4, "DA@@", 1},
        {'H', 7, "OO@@", 1},
        {'K', -1, "@@DA", 0},
        {'K', -1, "DA@@", 20},
        {'L', -1, "@@DA", 20},
        {'L', -1, "DA@@", 0},
    };
    for (const SingleCase& c : cases) {
        Area area;
        const GateRequest request = Request(c.memoryType, 5, 1, area.bytes.data(), c.bitNumber);
        EXPECT_EQ(Store(request, Reply("00105X", {c.field})), 0) << c.field;
        EXPECT_EQ(area.Word(2), c.stored) << static_cast<char>(c.memoryType) << " " << c.field;
        EXPECT_EQ(area.Word(0), kUntouchedWord) << "first word is the host's";
        EXPECT_EQ(area.Long(4), kUntouchedLong);
    }
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

struct RefusedCase {
    int32_t memoryType;
    uint32_t address;
    std::string reply;
    std::vector<LogLine> log;
};

TEST_F(StoreDataTest, RefusedSingleRepliesLeaveTheAreaAlone) {
    const std::string head = "00105X";
    const RefusedCase cases[] = {
        {'A', 5, Reply(head, {"4000"}).substr(1),
         One(kTrace, "TELMOR> StoreData() error, illegal reply length (14/15), gate 'gate'")},
        {'A', 5, Reply(head, {"40000"}),
         One(kTrace, "TELMOR> StoreData() error, illegal reply length (16/15), gate 'gate'")},
        {'D', 5, Reply(head, {"4000"}),
         One(kTrace, "TELMOR> StoreData() error, illegal reply length (15/30), gate 'gate'")},
        {'Z', 16, Reply(head, Repeated(16, "0000 0000")),
         One(kTrace, "TELMOR> StoreData() error, illegal reply length (170/20), gate 'gate'")},
        {'A', 5, Reply(head, {"12x4"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '12x4' in reply, gate 'gate'")},
        {'G', 5, Reply(head, {"-123"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '-123' in reply, gate 'gate'")},
        {'C', 5, Reply(head, {"@1@@"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '@1@@' in reply, gate 'gate'")},
        // All four characters must be nibble letters though two are used;
        // L reports it at the major level.
        {'H', 5, Reply(head, {"DA1@"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data 'DA1@' in reply, gate 'gate'")},
        {'K', 5, Reply(head, {"DA@P"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data 'DA@P' in reply, gate 'gate'")},
        {'L', 5, Reply(head, {"DA1@"}),
         One(kMajor, "TELMOR> StoreData() error, illegal data 'DA1@' in reply, gate 'gate'")},
        // Long fields: each run of four is tested and shown on its own.
        {'D', 5, Reply(head, {"0000 0000", "00x2 3456"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '00x2' in reply, gate 'gate'")},
        {'D', 5, Reply(head, {"0000 0000", "0012 34x6"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '34x6' in reply, gate 'gate'")},
        {'D', 5, Reply(head, {"0000 0000", "0012/3456"}),
         One(kTrace, "TELMOR> StoreData() error, reading data '0012/3456' in reply, gate 'gate'")},
        // A digit between the runs would shift the second number by one
        // place; it is refused like any other character that is not a blank.
        {'D', 5, Reply(head, {"0000 0000", "001293456"}),
         One(kTrace, "TELMOR> StoreData() error, reading data '001293456' in reply, gate 'gate'")},
        {'Z', 16, Reply(head, {"12x4 5678"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '12x4' in reply, gate 'gate'")},
        {'Z', 16, Reply(head, {"1234 567@"}),
         One(kTrace, "TELMOR> StoreData() error, illegal data '567@' in reply, gate 'gate'")},
        {'Z', 128, Reply(head, {"1234-5678"}),
         One(kTrace, "TELMOR> StoreData() error, reading data '1234-5678' in reply, gate 'gate'")},
        {'E', 5, Reply(head, {"4000"}),
         One(kMajor, "TELMOR> StoreData() internal error, memory type 69 not decoded, gate 'gate'")},
    };
    for (const RefusedCase& c : cases) {
        VeldanReset();
        Area area;
        EXPECT_EQ(Store(Request(c.memoryType, c.address, 1, area.bytes.data()), c.reply), 1) << c.reply;
        EXPECT_EQ(LoggedLines(), c.log) << c.reply;
        EXPECT_EQ(area.bytes, Area().bytes) << c.reply;
    }
}

TEST_F(StoreDataTest, SingleCounterTakesTheSecondLongField) {
    // The first long field is not examined; white space between the runs
    // (a blank, or a tab as the scan allows) separates the two numbers.
    for (const char* field : {"0012 3456", "0012\t3456"}) {
        Area area;
        EXPECT_EQ(Store(Request('D', 5, 1, area.bytes.data()), Reply("00105N", {"xxxxxxxxx", field})), 0);
        EXPECT_EQ(area.Long(0), 123456u);
        EXPECT_EQ(area.Long(4), kUntouchedLong);
    }
    Area area;
    EXPECT_EQ(Store(Request('D', 5, 1, area.bytes.data()), Reply("00105N", {"0000 0000", "9999 9999"})), 0);
    EXPECT_EQ(area.Long(0), 99999999u);
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(StoreDataTest, SingleTimeProgramReplyRunsToTheEndOfItsGroup) {
    struct Case {
        uint32_t program;
        size_t fields;
    };
    const Case cases[] = {{1, 16}, {17, 16}, {113, 16}, {5, 12}, {16, 1}, {128, 1}};
    for (const Case& c : cases) {
        std::vector<std::string> fields = Repeated(c.fields, "9999 9999");
        fields[0] = "1234 5678";
        const std::string reply = Reply("001<0h", fields);
        Area area;
        EXPECT_EQ(Store(Request('Z', c.program, 1, area.bytes.data()), reply), 0) << c.program;
        EXPECT_EQ(reply.size(), 10 + 10 * c.fields);
        EXPECT_EQ(area.Long(0), 12345678u) << c.program;
        EXPECT_EQ(area.Long(4), kUntouchedLong);
    }
}

TEST_F(StoreDataTest, ShortBlocksStopAtAddress55) {
    // Addresses 40 to 55 exist; the rest of the reply is not stored.
    for (int32_t type : {int32_t{'A'}, int32_t{'G'}, int32_t{'j'}}) {
        Area area;
        EXPECT_EQ(Store(Request(type, 40, 32, area.bytes.data()), Reply("001<0A", Numbered(32, 4001))), 0);
        for (size_t i = 0; i < 16; ++i) {
            const uint16_t expected =
                type == 'G' ? static_cast<uint16_t>(4001 + i) : static_cast<uint16_t>(1 + i);
            EXPECT_EQ(area.Word(2 * i), expected) << i;
        }
        for (size_t i = 16; i < 32; ++i) EXPECT_EQ(area.Word(2 * i), kUntouchedWord) << i;
    }
    Area area;
    EXPECT_EQ(Store(Request('V', 0, 32, area.bytes.data()), Reply("00180C", Numbered(32, 100))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.Word(2 * i), 100 + i) << i;
    EXPECT_EQ(area.Word(64), kUntouchedWord);
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(StoreDataTest, NibbleBlocksStoreAllValues) {
    for (int32_t type : {int32_t{'H'}, int32_t{'K'}, int32_t{'L'}}) {
        Area area;
        // Blocks of every nibble type take the first byte of each field.
        EXPECT_EQ(Store(Request(type, 40, 32, area.bytes.data()), Reply("001<0h", Repeated(32, "DA@O"))), 0);
        for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.bytes[i], 20) << static_cast<char>(type) << i;
        EXPECT_EQ(area.bytes[32], kUntouchedByte);
    }
    Area area;
    EXPECT_EQ(Store(Request('C', 40, 32, area.bytes.data()), Reply("001<0H", Repeated(32, "@A--"))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.Word(2 * i), static_cast<uint16_t>(-16)) << i;
    EXPECT_EQ(area.Word(64), kUntouchedWord);
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(StoreDataTest, TimeProgramBlockHasNoStop) {
    std::vector<std::string> fields;
    for (unsigned i = 0; i < 16; ++i) fields.push_back("0001 " + Numbered(1, i)[0]);
    Area area;
    EXPECT_EQ(Store(Request('Z', 113, 16, area.bytes.data()), Reply("001<0o", fields)), 0);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(area.Long(4 * i), 10000 + i) << i;
    EXPECT_EQ(area.Long(64), kUntouchedLong);
}

TEST_F(StoreDataTest, CounterBlockCombinesItsTwoReplies) {
    Area area;
    for (size_t i = 0; i < 32; ++i) area.SetLong(4 * i, 99999999u);
    GateRequest request = Request('D', 0, 32, area.bytes.data(), -1, 0);
    EXPECT_EQ(Store(request, Reply("00180D", Numbered(32, 12))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.Long(4 * i), (12 + i) * 10000) << "upper only, " << i;
    request.counterPhase = 1;
    EXPECT_EQ(Store(request, Reply("00180E", Numbered(32, 3456))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.Long(4 * i), (12 + i) * 10000 + 3456 + i) << i;

    // A second reply handled again (a retried request) replaces the lower
    // digits once more instead of adding to them.
    EXPECT_EQ(Store(request, Reply("00180E", Numbered(32, 3456))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(area.Long(4 * i), (12 + i) * 10000 + 3456 + i) << i;

    // In the upper half only the addresses 40 to 55 are counters.
    Area upper;
    EXPECT_EQ(Store(Request('D', 40, 32, upper.bytes.data(), -1, 0), Reply("001<0D", Numbered(32, 7))), 0);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(upper.Long(4 * i), (7 + i) * 10000) << i;
    for (size_t i = 16; i < 32; ++i) EXPECT_EQ(upper.Long(4 * i), kUntouchedLong) << i;
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(StoreDataTest, RefusedBlockKeepsTheElementsBeforeTheBadField) {
    {
        Area area;
        std::vector<std::string> fields = Numbered(32, 4000);
        fields[4] = "12A4";
        EXPECT_EQ(Store(Request('A', 0, 32, area.bytes.data()), Reply("00180A", fields)), 1);
        EXPECT_EQ(LoggedLines(),
                  One(kTrace, "TELMOR> StoreData() error, illegal data '12A4' in reply, block 'gate'"));
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(area.Word(2 * i), i);
        for (size_t i = 4; i < 32; ++i) EXPECT_EQ(area.Word(2 * i), kUntouchedWord);
    }
    {
        VeldanReset();
        Area area;
        std::vector<std::string> fields = Repeated(32, "DA@@");
        fields[1] = "DA@0";
        EXPECT_EQ(Store(Request('L', 0, 32, area.bytes.data()), Reply("00180b", fields)), 1);
        EXPECT_EQ(LoggedLines(),
                  One(kMajor, "TELMOR> StoreData() error, illegal data 'DA@0' in reply, block 'gate'"));
        EXPECT_EQ(area.bytes[0], 20);
        EXPECT_EQ(area.bytes[1], kUntouchedByte);
    }
    {
        // A failed second counter reply: the first elements are combined,
        // the later ones still hold their upper digits only.
        VeldanReset();
        Area area;
        for (size_t i = 0; i < 32; ++i) area.SetLong(4 * i, 50000);
        std::vector<std::string> fields = Numbered(32, 1);
        fields[2] = "00 1";
        EXPECT_EQ(Store(Request('D', 0, 32, area.bytes.data(), -1, 1), Reply("00180E", fields)), 1);
        EXPECT_EQ(LoggedLines(),
                  One(kTrace, "TELMOR> StoreData() error, illegal data '00 1' in reply, block 'gate'"));
        EXPECT_EQ(area.Long(0), 50001u);
        EXPECT_EQ(area.Long(4), 50002u);
        EXPECT_EQ(area.Long(8), 50000u);
    }
}

TEST_F(StoreDataTest, RefusedTimeProgramBlockShowsTheFailedRun) {
    struct Case {
        size_t badField;
        const char* field;
        const char* line;
    };
    const Case cases[] = {
        {2, "0001 00x1", "TELMOR> StoreData() error, illegal data '00x1' in reply, block 'gate'"},
        {3, "x001 0001", "TELMOR> StoreData() error, illegal data 'x001' in reply, block 'gate'"},
        {3, "0001/0001", "TELMOR> StoreData() error, reading data '0001/0001' in reply, block 'gate'"},
    };
    for (const Case& c : cases) {
        VeldanReset();
        std::vector<std::string> fields = Repeated(16, "0001 0001");
        fields[c.badField] = c.field;
        Area area;
        EXPECT_EQ(Store(Request('Z', 1, 16, area.bytes.data()), Reply("001<0h", fields)), 1);
        EXPECT_EQ(LoggedLines(), One(kTrace, c.line));
        for (size_t i = 0; i < c.badField; ++i) EXPECT_EQ(area.Long(4 * i), 10001u);
        EXPECT_EQ(area.Long(4 * c.badField), kUntouchedLong);
    }
}

TEST_F(StoreDataTest, BlockLengthFollowsTheCount) {
    Area area;
    EXPECT_EQ(Store(Request('A', 0, 32, area.bytes.data()), Reply("00180A", Numbered(32, 0)).substr(1)), 1);
    EXPECT_EQ(Store(Request('Z', 1, 16, area.bytes.data()), Reply("001<0h", Repeated(15, "0000 0000"))), 1);
    EXPECT_EQ(Store(Request('H', 0, 0, area.bytes.data()), Reply("00180H", Repeated(32, "@@@@"))), 1);
    const std::vector<LogLine> expected = {
        {kTrace, "TELMOR> StoreData() error, illegal reply length (169/170), gate 'gate'"},
        {kTrace, "TELMOR> StoreData() error, illegal reply length (160/170), gate 'gate'"},
        {kTrace, "TELMOR> StoreData() error, illegal reply length (170/10), gate 'gate'"},
    };
    EXPECT_EQ(LoggedLines(), expected);
    EXPECT_EQ(area.bytes, Area().bytes);

    // Empty blocks decode nothing, whatever the reply holds.
    EXPECT_EQ(Store(Request('A', 0, 0, area.bytes.data()), Reply("00180A", {})), 0);
    EXPECT_EQ(Store(Request('A', 0, -1, area.bytes.data()), "U0018"), 0);
    EXPECT_EQ(area.bytes, Area().bytes);
}

TEST_F(StoreDataTest, CountsThatWrapTheLengthDecodeOnlyWhatTheReplyHolds) {
    // 5 x (65568 + 2) and 10 x (65552 + 1) are 170 in 16 bits: the length
    // check passes, and only the fields in the reply may be decoded. The
    // area is exactly as long as those fields, so a sanitizer sees any
    // write beyond.
    std::vector<unsigned char> shortArea(32 * 2);
    EXPECT_EQ(Store(Request('C', 0, 65568, shortArea.data()), Reply("00180H", Repeated(32, "A@@@"))), 0);
    for (size_t i = 0; i < 32; ++i) EXPECT_EQ(shortArea[2 * i], 0xFF);
    std::vector<unsigned char> longArea(16 * 4);
    EXPECT_EQ(Store(Request('Z', 1, 65552, longArea.data()), Reply("001<0h", Repeated(16, "0000 0001"))), 0);
    EXPECT_EQ(longArea[60], 1);
}

TEST_F(StoreDataTest, AreaNeedNotBeAligned) {
    Area area;
    unsigned char* odd = area.bytes.data() + 1;
    EXPECT_EQ(Store(Request('A', 5, 1, odd), Reply("00105A", {"4005"})), 0);
    EXPECT_EQ(area.Word(3), 5);
    EXPECT_EQ(Store(Request('D', 5, 1, odd), Reply("00105N", {"0000 0000", "0001 0002"})), 0);
    EXPECT_EQ(area.Long(1), 10002u);
    EXPECT_EQ(Store(Request('D', 0, 32, odd, -1, 0), Reply("00180D", Numbered(32, 3))), 0);
    EXPECT_EQ(area.Long(1 + 4 * 31), 340000u);
    EXPECT_EQ(Store(Request('C', 0, 32, odd), Reply("00180H", Repeated(32, "@A@@"))), 0);
    EXPECT_EQ(area.Word(1 + 2 * 31), static_cast<uint16_t>(-16));
}

}  // namespace
}  // namespace telmor
