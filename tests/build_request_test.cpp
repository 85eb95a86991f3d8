// The read request frames of every memory type, single and block, and the
// frames that are refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/codecs_log.h"
#include "transactions/build_request.h"
#include "veldan/veldan_host.h"

namespace telmor {
namespace {

using codecs_test::kMajor;
using codecs_test::LoggedLines;
using codecs_test::LogLine;

constexpr size_t kRequestBufSize = 512;
constexpr char kFill = 'x';

GateRequest Request(int32_t memoryType, uint32_t station, uint32_t address, int32_t count,
                    uint32_t counterPhase = 0) {
    GateRequest request{};
    request.addressText = "gate";
    request.station = station;
    request.memoryType = memoryType;
    request.address = address;
    request.bitNumber = -1;
    request.count = count;
    request.counterPhase = counterPhase;
    return request;
}

// The frame, and a check that nothing past its terminator was written.
std::string Build(const GateRequest& request) {
    char buffer[kRequestBufSize];
    std::memset(buffer, kFill, sizeof buffer);
    BuildRequest(request, buffer);
    const size_t length = strnlen(buffer, sizeof buffer);
    for (size_t i = length + 1; i < sizeof buffer; ++i) {
        if (buffer[i] != kFill) ADD_FAILURE() << "byte " << i << " written";
    }
    return length < sizeof buffer ? std::string(buffer, length) : std::string("<unterminated>");
}

class BuildRequestTest : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
};

struct FrameCase {
    int32_t memoryType;
    uint32_t station;
    uint32_t address;
    int32_t count;
    uint32_t counterPhase;
    const char* frame;
};

TEST_F(BuildRequestTest, FramesByMemoryType) {
    const FrameCase cases[] = {
        {'A', 1, 5, 1, 0, "P00105A/"},
        {'A', 1, 0, 32, 0, "P00180A/"},
        {'A', 1, 40, 32, 0, "P001<0A/"},
        {'G', 999, 31, 1, 0, "P99931G/"},
        {'G', 999, 0, 32, 0, "P99980G/"},
        {'H', 12, 5, 1, 0, "P01205H/"},
        {'H', 12, 40, 32, 0, "P012<0H/"},
        {'I', 0, 55, 1, 0, "P00055I/"},
        {'I', 0, 40, 32, 0, "P000<0I/"},
        {'C', 1, 5, 1, 0, "P00105H/"},
        {'C', 1, 40, 32, 0, "P001<0H/"},
        {'D', 1, 5, 1, 0, "P00105N/"},
        {'D', 1, 5, 1, 1, "P00105N/"},
        {'D', 1, 0, 32, 0, "P00180D/"},
        {'D', 1, 40, 32, 1, "P001<0E/"},
        {'K', 3, 7, 1, 0, "P00307h/"},
        {'K', 3, 0, 32, 0, "P00380h/"},
        {'L', 3, 7, 1, 0, "P00307b/"},
        {'L', 3, 40, 32, 0, "P003<0b/"},
        {'V', 3, 7, 1, 0, "P00307C/"},
        {'V', 3, 0, 32, 0, "P00380C/"},
        // Time programs: address field and letter from the program number,
        // the marker also on single gates.
        {'Z', 1, 1, 1, 0, "P001<0h/"},
        {'Z', 1, 5, 1, 0, "P001<8h/"},
        {'Z', 1, 16, 1, 0, "P001?0h/"},
        {'Z', 1, 17, 16, 0, "P001<0i/"},
        {'Z', 1, 113, 16, 0, "P001<0o/"},
        {'Z', 1, 128, 1, 0, "P001?0o/"},
        // Every position-4 digit a block can carry gets its marker.
        {'A', 7, 10, 0, 0, "P00790A/"},
        {'A', 7, 20, -1, 0, "P007:0A/"},
        {'A', 7, 30, 2, 0, "P007;0A/"},
        {'A', 7, 50, 32, 0, "P007=0A/"},
        {'A', 7, 60, 32, 0, "P007>0A/"},
        {'A', 7, 70, 32, 0, "P007?0A/"},
    };
    for (const FrameCase& c : cases) {
        const GateRequest request = Request(c.memoryType, c.station, c.address, c.count, c.counterPhase);
        EXPECT_EQ(Build(request), c.frame) << static_cast<char>(c.memoryType) << " count " << c.count;
    }
    EXPECT_EQ(LoggedLines(), std::vector<LogLine>{});
}

TEST_F(BuildRequestTest, LowerCaseTypesAskWithTheirOwnLetter) {
    for (char type = 'j'; type <= 'w'; ++type) {
        EXPECT_EQ(Build(Request(type, 2, 9, 1)), std::string("P00209") + type + "/");
        EXPECT_EQ(Build(Request(type, 2, 40, 32)), std::string("P002<0") + type + "/");
    }
}

TEST_F(BuildRequestTest, TypeWithoutFrameIsAnInternalErrorAndWritesNothing) {
    for (int32_t type : {int32_t{'E'}, int32_t{'R'}, int32_t{'S'}, int32_t{'T'}, int32_t{'B'}, 1, 2, 3, 4}) {
        VeldanReset();
        char buffer[kRequestBufSize];
        std::memset(buffer, kFill, sizeof buffer);
        BuildRequest(Request(type, 1, 5, 1), buffer);
        BuildRequest(Request(type, 1, 0, 32), buffer);
        EXPECT_EQ(buffer[0], kFill) << type;
        const std::vector<LogLine> expected = {
            {kMajor, "TELMOR> BuildRequest() internal error file SAUREAD line 366"},
            {kMajor, "TELMOR> BuildRequest() internal error file SAUREAD line 434"},
        };
        EXPECT_EQ(LoggedLines(), expected) << type;
    }
}

struct RefusedCase {
    int32_t memoryType;
    uint32_t station;
    uint32_t address;
    const char* line;
};

// Numbers wider than their field would make a longer frame asking for
// another gate: the frame is left empty so that no earlier one is resent.
TEST_F(BuildRequestTest, FieldsThatDoNotFitLeaveAnEmptyFrame) {
    const RefusedCase cases[] = {
        {'A', 1000, 5, "TELMOR> BuildRequest() error, station 1000 or address 5 out of range, 'gate'"},
        {'A', UINT32_MAX, 5,
         "TELMOR> BuildRequest() error, station 4294967295 or address 5 out of range, 'gate'"},
        {'D', 1, 100, "TELMOR> BuildRequest() error, station 1 or address 100 out of range, 'gate'"},
        {'Z', 1, 0, "TELMOR> BuildRequest() error, station 1 or address 0 out of range, 'gate'"},
        {'Z', 1, 129, "TELMOR> BuildRequest() error, station 1 or address 129 out of range, 'gate'"},
        {'Z', 1000, 1, "TELMOR> BuildRequest() error, station 1000 or address 1 out of range, 'gate'"},
    };
    for (const RefusedCase& c : cases) {
        VeldanReset();
        EXPECT_EQ(Build(Request(c.memoryType, c.station, c.address, 1)), "");
        EXPECT_EQ(LoggedLines(), (std::vector<LogLine>{{kMajor, c.line}}));
    }
}

// The host's record may come without an address text; the message quotes an
// empty one instead of handing a null pointer to the formatter.
TEST_F(BuildRequestTest, ARefusalWithoutAnAddressTextQuotesNothing) {
    GateRequest request = Request('A', 1000, 5, 1);
    request.addressText = nullptr;
    EXPECT_EQ(Build(request), "");
    EXPECT_EQ(LoggedLines(),
              (std::vector<LogLine>{
                  {kMajor, "TELMOR> BuildRequest() error, station 1000 or address 5 out of range, ''"}}));
}

}  // namespace
}  // namespace telmor
