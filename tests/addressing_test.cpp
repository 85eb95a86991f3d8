// The gate address grammar (Parse) and the single and block checks, run
// against the stand-in host so that every log line is compared whole, with
// its level.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "addressing/sauparse.h"
#include "support/codecs_log.h"
#include "veldan/veldan_host.h"

namespace telmor {
namespace {

using codecs_test::kMajor;
using codecs_test::LoggedLines;
using codecs_test::LogLine;

// The log the host should have seen: nothing, or one line at level 32.
std::vector<LogLine> Expected(const std::string& line) {
    if (line.empty()) return {};
    return {{kMajor, line}};
}

// Parsed fields start with values no parse produces, to show which ones a
// call wrote.
constexpr uint32_t kUntouched = 0xA5A5A5A5u;
constexpr int32_t kUntouchedSigned = -0x5A5A5A5A;

GateRecord MakeRecord(const char* text, int32_t gateType, int32_t blockSize = 0) {
    GateRecord gate{};
    gate.addressText = text;
    gate.reserved = 0x11111111u;
    gate.gateType = gateType;
    gate.blockSize = blockSize;
    gate.station = kUntouched;
    gate.memoryType = kUntouchedSigned;
    gate.address = kUntouched;
    gate.bitNumber = kUntouchedSigned;
    gate.dataWidth = kUntouchedSigned;
    return gate;
}

class AddressingTest : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
};

// ---- Parse: accepted addresses and the fields they give ------------------

struct ValidCase {
    const char* text;
    int32_t gateType;
    uint32_t station;
    int32_t memoryType;
    uint32_t address;
    int32_t bitNumber;
    int32_t dataWidth;
};

const ValidCase kValidCases[] = {
    // Point addresses: both halves of the range, each group's width.
    {"001A00", 0, 1, 'A', 0, -1, 16},
    {"001A31", 0, 1, 'A', 31, -1, 16},
    {"001A40", 0, 1, 'A', 40, -1, 16},
    {"001A55", 0, 1, 'A', 55, -1, 16},
    {"999w12", 0, 999, 'w', 12, -1, 16},
    {"042C05", 1, 42, 'C', 5, -1, 16},
    {"001E45", 0, 1, 'E', 45, -1, 16},
    {"001D05", 4, 1, 'D', 5, -1, 32},
    {"001G55", 0, 1, 'G', 55, -1, 16},
    {"001u40", 0, 1, 'u', 40, -1, 16},
    {"001K31", 0, 1, 'K', 31, -1, 16},
    // Dig. signals: the whole byte, or one bit of it.
    {"001H05", 0, 1, 'H', 5, -1, 8},
    {"001H057", 6, 1, 'H', 5, 7, 8},
    {"001H550", 6, 1, 'H', 55, 0, 8},
    // Time programs.
    {"001Z001", 4, 1, 'Z', 1, -1, 32},
    {"001Z128", 4, 1, 'Z', 128, -1, 32},
    // Network gates: R and S belong to station 1000, T keeps its station and
    // leaves the address alone.
    {"123R", 0, 1000, 'R', 0, -1, 16},
    {"005S", 0, 1000, 'S', 5, -1, 16},
    {"010T", 0, 10, 'T', kUntouched, -1, 16},
    // The station ends at the first non-digit.
    {"1T2A01", 0, 1, 'A', 1, -1, 16},
    // Special gates carry no station; only their first two characters count.
    {"!T", 7, kUntouched, VPI_MEM_COMMAND_TEXT, kUntouched, -1, 16},
    {"!1", 7, kUntouched, VPI_MEM_TEXT1, kUntouched, -1, 16},
    {"!2", 7, kUntouched, VPI_MEM_TEXT2, kUntouched, -1, 16},
    {"!3", 7, kUntouched, VPI_MEM_TEXT3, kUntouched, -1, 16},
    {"!T5", 7, kUntouched, VPI_MEM_COMMAND_TEXT, kUntouched, -1, 16},
};

TEST_F(AddressingTest, ParseAcceptsValidAddressesAndFillsTheirFields) {
    for (const ValidCase& c : kValidCases) {
        SCOPED_TRACE(c.text);
        VeldanReset();
        GateRecord gate = MakeRecord(c.text, c.gateType, 7);
        EXPECT_EQ(Parse(gate), 0);
        EXPECT_EQ(gate.station, c.station);
        EXPECT_EQ(gate.memoryType, c.memoryType);
        EXPECT_EQ(gate.address, c.address);
        EXPECT_EQ(gate.bitNumber, c.bitNumber);
        EXPECT_EQ(gate.dataWidth, c.dataWidth);
        // The host's own fields stay as the host wrote them.
        EXPECT_EQ(gate.addressText, c.text);
        EXPECT_EQ(gate.reserved, 0x11111111u);
        EXPECT_EQ(gate.gateType, c.gateType);
        EXPECT_EQ(gate.blockSize, 7);
        EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
    }
}

// ---- Parse: refused addresses and their one log line ---------------------

struct RefusedCase {
    std::string text;  // may hold bytes above 0x7F
    int32_t gateType;
    std::string line;  // empty: refused without a word
};

const RefusedCase kRefusedCases[] = {
    // Station and memory type missing. The missing letter is shown as nothing
    // rather than as a NUL that would end the host's line early.
    {"", 0, "TELMOR> Parse() error, illegal station number in ''"},
    {"001", 0, "TELMOR> Parse() error, illegal memory type '' in '001'"},
    {"1", 0, "TELMOR> Parse() error, illegal memory type '' in '1'"},
    {"1T2", 0, "TELMOR> Parse() error, illegal memory type '' in '1T2'"},
    // Each point group's words, for a missing and an out-of-range address.
    {"001A", 0, "TELMOR> Parse() error, illegal analog measurement address in '001A'"},
    {"001A32", 0, "TELMOR> Parse() error, analog measurement address 32 out of range in '001A32'"},
    {"001A39", 0, "TELMOR> Parse() error, analog measurement address 39 out of range in '001A39'"},
    {"001A56", 0, "TELMOR> Parse() error, analog measurement address 56 out of range in '001A56'"},
    {"001s99", 0, "TELMOR> Parse() error, analog measurement address 99 out of range in '001s99'"},
    {"001C", 1, "TELMOR> Parse() error, illegal dig. command address in '001C'"},
    {"001E32", 0, "TELMOR> Parse() error, dig. command address 32 out of range in '001E32'"},
    {"001D", 4, "TELMOR> Parse() error, illegal counter value address in '001D'"},
    {"001D56", 4, "TELMOR> Parse() error, counter value address 56 out of range in '001D56'"},
    {"001H", 6, "TELMOR> Parse() error, illegal dig. signal address in '001H'"},
    {"001H35", 6, "TELMOR> Parse() error, dig. signal address 35 out of range in '001H35'"},
    {"001G", 0, "TELMOR> Parse() error, illegal analog setpoint address in '001G'"},
    {"001l39", 0, "TELMOR> Parse() error, analog setpoint address 39 out of range in '001l39'"},
    {"001K", 0, "TELMOR> Parse() error, illegal analog setpoint address in '001K'"},
    {"001K32", 0, "TELMOR> Parse() error, analog setpoint address 32 out of range in '001K32'"},
    {"001K40", 0, "TELMOR> Parse() error, analog setpoint address 40 out of range in '001K40'"},
    // Range comes before length; the bit digit before length too.
    {"001A5", 0, "TELMOR> Parse() error, illegal gate address string length '001A5'"},
    {"001A005", 0, "TELMOR> Parse() error, illegal gate address string length '001A005'"},
    {"001A99", 0, "TELMOR> Parse() error, analog measurement address 99 out of range in '001A99'"},
    {"001A991", 0, "TELMOR> Parse() error, analog measurement address 99 out of range in '001A991'"},
    {"001H058", 6, "TELMOR> Parse() error, bit number 8 dig. signal out of range in '001H058'"},
    {"001H059", 6, "TELMOR> Parse() error, bit number 9 dig. signal out of range in '001H059'"},
    {"001H0", 6, "TELMOR> Parse() error, illegal gate address string length '001H0'"},
    {"001H0571", 6, "TELMOR> Parse() error, illegal gate address string length '001H0571'"},
    {"001C051", 1, "TELMOR> Parse() error, illegal gate address string length '001C051'"},
    // Time programs.
    {"001Z", 4, "TELMOR> Parse() error, illegal time program number in '001Z'"},
    {"001Z000", 4, "TELMOR> Parse() error, time program number 0 out of range in '001Z000'"},
    {"001Z0", 4, "TELMOR> Parse() error, time program number 0 out of range in '001Z0'"},
    {"001Z129", 4, "TELMOR> Parse() error, time program number 129 out of range in '001Z129'"},
    {"001Z999", 4, "TELMOR> Parse() error, time program number 999 out of range in '001Z999'"},
    {"001Z12", 4, "TELMOR> Parse() error, illegal gate address string length '001Z12'"},
    {"001Z0011", 4, "TELMOR> Parse() error, illegal gate address string length '001Z0011'"},
    // Network gates take nothing after the letter.
    {"001R0", 0, "TELMOR> Parse() error, illegal gate address string length '001R0'"},
    {"001S12", 0, "TELMOR> Parse() error, illegal gate address string length '001S12'"},
    {"010T1", 0, "TELMOR> Parse() error, illegal gate address string length '010T1'"},
    // Characters by position; beyond position 7 nothing is tested.
    {"A01A01", 0, "TELMOR> Parse() error, illegal character 1 in 'A01A01'"},
    {"0Q1A01", 0, "TELMOR> Parse() error, illegal character 2 in '0Q1A01'"},
    {"00TA01", 0, "TELMOR> Parse() error, illegal character 3 in '00TA01'"},
    {"001a01", 0, "TELMOR> Parse() error, illegal character 4 in '001a01'"},
    {"001B01", 0, "TELMOR> Parse() error, illegal character 4 in '001B01'"},
    {"001A 1", 0, "TELMOR> Parse() error, illegal character 5 in '001A 1'"},
    {"001A01X", 0, "TELMOR> Parse() error, illegal character 7 in '001A01X'"},
    {"001A0123XY", 0, "TELMOR> Parse() error, illegal gate address string length '001A0123XY'"},
    // Bytes above 0x7F are characters like any other outside the sets.
    {"\xB5", 0, "TELMOR> Parse() error, illegal character 1 in '\xB5'"},
    {"0\xFF", 0, "TELMOR> Parse() error, illegal character 2 in '0\xFF'"},
    {"001\xC1", 0, "TELMOR> Parse() error, illegal character 4 in '001\xC1'"},
    {"001A0\xE9", 0, "TELMOR> Parse() error, illegal character 6 in '001A0\xE9'"},
    {"001A01\x80", 0, "TELMOR> Parse() error, illegal character 7 in '001A01\x80'"},
    {"001A010\xB5", 0, "TELMOR> Parse() error, illegal gate address string length '001A010\xB5'"},
    // Special gates: only text gates, only the four names.
    {"!T", 0, ""},
    {"!1", 6, ""},
    {"!3", 3, ""},
    {"!5", 7, ""},
    {"!", 7, ""},
    {"!0", 7, ""},
    {"!T12", 7, "TELMOR> Parse() error, illegal character 4 in '!T12'"},
    {"!1X", 7, "TELMOR> Parse() error, illegal character 3 in '!1X'"},
    {"1!", 7, "TELMOR> Parse() error, illegal character 2 in '1!'"},
};

TEST_F(AddressingTest, ParseRefusesWithOneLineOrSilently) {
    for (const RefusedCase& c : kRefusedCases) {
        SCOPED_TRACE(c.text);
        VeldanReset();
        GateRecord gate = MakeRecord(c.text.c_str(), c.gateType);
        EXPECT_EQ(Parse(gate), 1);
        EXPECT_EQ(LoggedLines(), Expected(c.line));
    }
}

// A refusal keeps what Parse had written by then; the character test comes
// before any field is touched.
TEST_F(AddressingTest, ParseKeepsTheFieldsItWroteBeforeRefusing) {
    struct Case {
        const char* text;
        int32_t gateType;
        uint32_t station;
        int32_t memoryType;
        uint32_t address;
        int32_t bitNumber;
        int32_t dataWidth;
    };
    const Case cases[] = {
        {"001a01", 0, kUntouched, kUntouchedSigned, kUntouched, kUntouchedSigned, kUntouchedSigned},
        {"", 0, kUntouched, kUntouchedSigned, kUntouched, -1, 16},
        {"012", 0, 12, 0, kUntouched, -1, 16},
        {"001A99", 0, 1, 'A', 99, -1, 16},
        {"002D", 4, 2, 'D', kUntouched, -1, 32},
        {"003H058", 6, 3, 'H', 5, 8, 8},
        {"004Z129", 4, 4, 'Z', 129, -1, 32},
        {"005S1", 0, 5, 'S', kUntouched, -1, 16},
        {"!T", 0, kUntouched, VPI_MEM_COMMAND_TEXT, kUntouched, -1, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GateRecord gate = MakeRecord(c.text, c.gateType);
        EXPECT_EQ(Parse(gate), 1);
        EXPECT_EQ(gate.station, c.station);
        EXPECT_EQ(gate.memoryType, c.memoryType);
        EXPECT_EQ(gate.address, c.address);
        EXPECT_EQ(gate.bitNumber, c.bitNumber);
        EXPECT_EQ(gate.dataWidth, c.dataWidth);
    }
}

// The working copy holds 31 characters: a longer text is refused and quoted
// with what fits, and nothing beyond the copy is written.
TEST_F(AddressingTest, ParseRefusesTextsLongerThanTheWorkingCopy) {
    const std::string fits = "001A01" + std::string(25, '0');
    const struct {
        std::string text;
        std::string quoted;
    } cases[] = {
        {fits, fits},
        {fits + "9", fits},
        {fits + "XYZ\xB5", fits},
        {"001A01" + std::string(4000, '7'), "001A01" + std::string(25, '7')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        VeldanReset();
        GateRecord gate = MakeRecord(c.text.c_str(), 0);
        EXPECT_EQ(Parse(gate), 1);
        EXPECT_EQ(LoggedLines(),
                  Expected("TELMOR> Parse() error, illegal gate address string length '" + c.quoted + "'"));
    }
}

TEST_F(AddressingTest, ParseRefusesAMissingAddressText) {
    GateRecord gate = MakeRecord(nullptr, 0);
    EXPECT_EQ(Parse(gate), 1);
    EXPECT_EQ(LoggedLines(), Expected("TELMOR> Parse() error, no gate address string"));
    EXPECT_EQ(gate.bitNumber, kUntouchedSigned);
}

// ---- SingleParse ---------------------------------------------------------

int32_t RunSingleParse(GateRecord& gate) {
    VpiCallBlock block{nullptr, VPI_SINGLE_ADDRESS_PARSER, 0, sizeof gate, &gate};
    return SingleParse(&block);
}

int32_t RunBlockParse(GateRecord& gate) {
    VpiCallBlock block{nullptr, VPI_BLOCK_ADDRESS_PARSER, 0, sizeof gate, &gate};
    return BlockParse(&block);
}

struct SingleCase {
    const char* text;
    std::vector<int32_t> accepted;
    const char* expected;  // how the refusal names the wanted type; nullptr: refused silently
};

const SingleCase kSingleCases[] = {
    {"001A05", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001n45", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001E05", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001K31", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001t00", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001C05", {1}, "ANALOG 16 BIT, SIGNED16"},
    {"001D05", {4, 5}, "ANALOG 32 BIT"},
    {"001Z001", {4, 5}, "ANALOG 32 BIT"},
    {"001H05", {0, 1, 2}, "ANALOG 16 BIT"},
    {"001H057", {6}, "DIGITAL"},
    {"005S", {0, 1, 2}, "ANALOG 16 BIT"},
    {"000R", {0, 1, 2}, "ANALOG 16 BIT"},
    {"010T", {0, 1, 2}, "ANALOG 16 BIT"},
    {"!T", {7}, nullptr},
    {"!1", {7}, nullptr},
    {"!2", {7}, nullptr},
    {"!3", {7}, nullptr},
};

// Every gate type code the host has, and codes it should never send.
const int32_t kGateTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, -1, 8, 31, 32, 33, INT32_MAX, INT32_MIN};

// The line a refused single gate gets: none when Parse refused it silently.
std::string SingleRefusal(const SingleCase& c) {
    if (c.expected == nullptr) return {};
    return std::string("TELMOR> SingleParse() error, gate type should be ") + c.expected + ", gate '" +
           c.text + "'";
}

bool IsAccepted(const SingleCase& c, int32_t gateType) {
    for (const int32_t type : c.accepted) {
        if (type == gateType) return true;
    }
    return false;
}

TEST_F(AddressingTest, SingleParseTiesTheMemoryTypeToTheGateType) {
    for (const SingleCase& c : kSingleCases) {
        for (const int32_t gateType : kGateTypes) {
            SCOPED_TRACE(std::string(c.text) + " gate type " + std::to_string(gateType));
            VeldanReset();
            GateRecord gate = MakeRecord(c.text, gateType);
            const bool accepted = IsAccepted(c, gateType);
            EXPECT_EQ(RunSingleParse(gate), accepted ? 0 : 1);
            EXPECT_EQ(LoggedLines(), Expected(accepted ? std::string() : SingleRefusal(c)));
        }
    }
}

TEST_F(AddressingTest, SingleParsePassesParseRefusalsOnUnchanged) {
    GateRecord gate = MakeRecord("001A99", 0);
    EXPECT_EQ(RunSingleParse(gate), 1);
    EXPECT_EQ(LoggedLines(),
              Expected("TELMOR> Parse() error, analog measurement address 99 out of range in '001A99'"));
}

// ---- BlockParse ----------------------------------------------------------

struct BlockCase {
    const char* text;
    int32_t gateType;
    int32_t blockSize;
    int32_t result;
    const char* line;  // "" for none
};

const BlockCase kBlockCases[] = {
    {"001A40", 0, 32, 0, ""},
    {"001A00", 0, 32, 0, ""},
    {"001A10", 0, 32, 1, "TELMOR> BlockParse() error, block address should be 0 or 40, block '001A10'"},
    {"001A00", 0, 16, 1, "TELMOR> BlockParse() error, block size should be 32, block '001A00'"},
    {"001A10", 0, 16, 1, "TELMOR> BlockParse() error, block address should be 0 or 40, block '001A10'"},
    {"001A40", 0, 0, 1, "TELMOR> BlockParse() error, block size should be 32, block '001A40'"},
    {"001D00", 0, 33, 1, "TELMOR> BlockParse() error, block size should be 32, block '001D00'"},
    // The gate type plays no part for blocks.
    {"001A00", 6, 32, 0, ""},
    {"001K00", 0, 32, 0, ""},
    {"001K40", 0, 32, 1, "TELMOR> Parse() error, analog setpoint address 40 out of range in '001K40'"},
    {"001Z001", 4, 16, 0, ""},
    {"001Z017", 4, 16, 0, ""},
    {"001Z113", 4, 16, 0, ""},
    {"001Z016", 4, 16, 1,
     "TELMOR> BlockParse() error, block address should be 1, 17, 33, 49, 65, 81, 97 or 113, block '001Z016'"},
    {"001Z097", 4, 16, 0, ""},
    {"001Z009", 4, 16, 1,
     "TELMOR> BlockParse() error, block address should be 1, 17, 33, 49, 65, 81, 97 or 113, block '001Z009'"},
    {"001Z128", 4, 16, 1,
     "TELMOR> BlockParse() error, block address should be 1, 17, 33, 49, 65, 81, 97 or 113, block '001Z128'"},
    {"001Z001", 4, 32, 1, "TELMOR> BlockParse() error, block size should be 16, block '001Z001'"},
    {"001H00", 0, 32, 0, ""},
    {"001H003", 6, 32, 1,
     "TELMOR> BlockParse() error, no blocks allowed for spec. dig. gates, block '001H003'"},
    {"001H403", 6, 7, 1,
     "TELMOR> BlockParse() error, no blocks allowed for spec. dig. gates, block '001H403'"},
    {"005S", 0, 32, 1,
     "TELMOR> BlockParse() error, substation status not supported for blocks, block '005S'"},
    {"000R", 0, 32, 1, "TELMOR> BlockParse() error, reset gate not supported for blocks, block '000R'"},
    {"010T", 0, 32, 1, "TELMOR> BlockParse() error, time sync. not supported for blocks, block '010T'"},
    {"001E00", 0, 32, 2, "TELMOR> BlockParse()  internal error file SAUPARSE line 188"},
    {"!T", 7, 32, 2, "TELMOR> BlockParse()  internal error file SAUPARSE line 188"},
    {"!3", 7, 32, 2, "TELMOR> BlockParse()  internal error file SAUPARSE line 188"},
    {"!T", 0, 32, 1, ""},
    {"001A99", 0, 32, 1, "TELMOR> Parse() error, analog measurement address 99 out of range in '001A99'"},
};

TEST_F(AddressingTest, BlockParseTiesTheMemoryTypeToBlockStartAndSize) {
    for (const BlockCase& c : kBlockCases) {
        SCOPED_TRACE(std::string(c.text) + " size " + std::to_string(c.blockSize));
        VeldanReset();
        GateRecord gate = MakeRecord(c.text, c.gateType, c.blockSize);
        EXPECT_EQ(RunBlockParse(gate), c.result);
        EXPECT_EQ(LoggedLines(), Expected(c.line));
    }
}

// Every letter with a point block takes the blocks at 0 and 40 (K has no 40).
TEST_F(AddressingTest, BlockParseAcceptsPointBlocksOfEveryLetterThatHasThem) {
    for (const char letter : std::string("ACDGHIKLVjklmnopqrstuvw")) {
        for (const char* start : {"00", "40"}) {
            if (letter == 'K' && std::string(start) == "40") continue;
            const std::string text = std::string("017") + letter + start;
            SCOPED_TRACE(text);
            VeldanReset();
            GateRecord gate = MakeRecord(text.c_str(), 0, 32);
            EXPECT_EQ(RunBlockParse(gate), 0);
            EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
        }
    }
}

// ---- A call block without a gate record ----------------------------------

TEST_F(AddressingTest, AddressCommandsWithoutAGateRecordAreRefused) {
    VpiCallBlock block{nullptr, VPI_SINGLE_ADDRESS_PARSER, 0, 0, nullptr};
    EXPECT_EQ(SingleParse(&block), 2);
    block.commandCode = VPI_BLOCK_ADDRESS_PARSER;
    EXPECT_EQ(BlockParse(&block), 2);
    EXPECT_EQ(SingleParse(nullptr), 2);
    EXPECT_EQ(BlockParse(nullptr), 2);
    const std::vector<LogLine> expected = {{kMajor, "TELMOR> SingleParse() error, no gate record"},
                                           {kMajor, "TELMOR> BlockParse() error, no gate record"},
                                           {kMajor, "TELMOR> SingleParse() error, no gate record"},
                                           {kMajor, "TELMOR> BlockParse() error, no gate record"}};
    EXPECT_EQ(LoggedLines(), expected);
}

}  // namespace
}  // namespace telmor
