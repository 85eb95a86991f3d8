// The initial station read without a line: a stand-in block read records each
// request and fills the value area, so the order of blocks, the requests, the
// puts of every address and the stop checks can be compared exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/driver_threads.h"
#include "support/scenario.h"
#include "support/unsol_host_record.h"
#include "unsol/read_stations.h"
#include "unsol/station_read.h"

namespace {

// Names the instances of a table of cases after their `name` field.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

using unsol_test::LogLines;
using Trace = std::vector<std::string>;

constexpr uint32_t kInstanceNo = 0x0107;
constexpr int kHostInstance = 7;

const std::string kStartLine =
    "TELMOR> ReadStations() info, reading/initialising all values from connected stations ...";
const std::string kDoneLine = "TELMOR> ReadStations() info, ... initialising all values done";

// What the stand-in block read saw and does. One at a time: the tests run the
// station read on their own thread.
struct FakeReader {
    std::vector<std::string> requests;
    bool requestsWellFormed = true;
    bool areaZeroOnFirstRequest = true;
    int failAt = -1;  // index of the request that fails
    int32_t failResult = 0;
    std::function<void(int index)> during;  // runs inside request `index`
    telmor::DriverContext* context = nullptr;
};
FakeReader fake;

std::string Describe(const GateRequest& request) {
    return std::string(request.addressText) + " phase " + std::to_string(request.counterPhase) + " station " +
           std::to_string(request.station) + " " + static_cast<char>(request.memoryType) + " address " +
           std::to_string(request.address);
}

// Values that show where they came from: H byte = address + 1; A = 1000 - 100
// x address (signed); D upper digits = address, lower digits = 7.
void FillValues(GateRequest& request) {
    auto* bytes = static_cast<unsigned char*>(request.value);
    for (uint32_t i = 0; i < 32; ++i) {
        const uint32_t address = request.address + i;
        if (request.memoryType == 'H') {
            bytes[i] = static_cast<unsigned char>(address + 1);
        } else if (request.memoryType == 'A') {
            const auto value = static_cast<int16_t>(1000 - 100 * static_cast<int32_t>(address));
            std::memcpy(bytes + 2 * i, &value, sizeof value);
        } else {
            uint32_t value = 0;
            std::memcpy(&value, bytes + 4 * i, sizeof value);
            value = request.counterPhase == 0 ? address * 10000 : value / 10000 * 10000 + 7;
            std::memcpy(bytes + 4 * i, &value, sizeof value);
        }
    }
}

int32_t FakeBlockRead(VpiCallBlock* callBlock) {
    auto& request = *static_cast<GateRequest*>(callBlock->params);
    const int index = static_cast<int>(fake.requests.size());
    fake.requests.push_back(Describe(request));
    const int32_t width = request.memoryType == 'H' ? 8 : request.memoryType == 'A' ? 16 : 32;
    fake.requestsWellFormed = fake.requestsWellFormed && callBlock->context == fake.context &&
                              callBlock->commandCode == VPI_BLOCK_READ &&
                              callBlock->instanceNo == kInstanceNo && callBlock->paramSize == 48 &&
                              request.bitNumber == -1 && request.dataWidth == width && request.count == 32 &&
                              request.hostField8 == 0 && request.hostField10 == 0 &&
                              request.hostField12 == 0 && request.value != nullptr;
    if (request.counterPhase == 0) {
        const auto* bytes = static_cast<const unsigned char*>(request.value);
        for (int i = 0; i < 128; ++i)
            fake.areaZeroOnFirstRequest = fake.areaZeroOnFirstRequest && bytes[i] == 0;
    }
    if (fake.during) fake.during(index);
    if (index == fake.failAt) return fake.failResult;
    FillValues(request);
    return 0;
}

struct Block {
    char letter;
    unsigned first;
    unsigned used;
};
constexpr Block kBlocks[] = {{'H', 0, 32},  {'H', 40, 16}, {'A', 0, 32},
                             {'A', 40, 16}, {'D', 0, 32},  {'D', 40, 16}};

std::string Station3(unsigned station) {
    char text[8];
    std::snprintf(text, sizeof text, "%03u", station);
    return text;
}

std::string GateName(unsigned station, char letter, unsigned address) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", address);
    return Station3(station) + letter + text;
}

// The eight requests of a station read, counters twice.
Trace RequestsOf(unsigned station) {
    Trace requests;
    for (const Block& block : kBlocks) {
        const std::string text = GateName(station, block.letter, block.first);
        const std::string rest = " station " + std::to_string(station) + " " + block.letter + " address " +
                                 std::to_string(block.first);
        requests.push_back(text + " phase 0" + rest);
        if (block.letter == 'D') requests.push_back(text + " phase 1" + rest);
    }
    return requests;
}

// The lookups of a station read, leaving out the blocks in `skipped`.
Trace LookupsOf(unsigned station, std::vector<int> skipped = {}) {
    Trace lookups;
    for (int b = 0; b < 6; ++b) {
        if (std::find(skipped.begin(), skipped.end(), b) != skipped.end()) continue;
        for (unsigned a = kBlocks[b].first; a < kBlocks[b].first + kBlocks[b].used; ++a) {
            const std::string gate = GateName(station, kBlocks[b].letter, a);
            lookups.push_back(gate);
            if (kBlocks[b].letter != 'H') continue;
            for (char bit = '0'; bit <= '7'; ++bit) lookups.push_back(gate + bit);
        }
    }
    return lookups;
}

class StationReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        VeldanReset();
        fake = FakeReader{};
        fake.context = &context();
        context().instanceNo = kInstanceNo;
        context().commState = 4;
    }

    telmor::DriverContext& context() { return block_.context; }

    double ValueOf(const std::string& address) {
        uint32_t id = 0;
        EXPECT_EQ(VeldanFindGate(kHostInstance, address.c_str(), &id), 0) << address;
        double value = -99999.0;
        uint32_t putCount = 0;
        VeldanGetGate(id, &value, nullptr, &putCount, nullptr);
        EXPECT_EQ(putCount, 1u) << address;
        return value;
    }

    unsol_test::ContextBlock block_;
};

TEST_F(StationReadTest, ReadsTheSixBlocksAndPutsEveryAddress) {
    for (const char* gate : {"012H05", "012H051", "012H053", "012H45"}) {
        unsol_test::DefineGate(kHostInstance, gate, VPI_GATE_DIGITAL);
    }
    unsol_test::DefineGate(kHostInstance, "012A00", VPI_GATE_ANALOG16_SIGNED);
    unsol_test::DefineGate(kHostInstance, "012A41", VPI_GATE_ANALOG16_SIGNED);
    unsol_test::DefineGate(kHostInstance, "012D31", VPI_GATE_ANALOG32);
    unsol_test::DefineGate(kHostInstance, "012D55", VPI_GATE_ANALOG32);

    telmor::ReadStationWith(context(), 12, FakeBlockRead);

    EXPECT_EQ(fake.requests, RequestsOf(12));
    EXPECT_TRUE(fake.requestsWellFormed);
    EXPECT_TRUE(fake.areaZeroOnFirstRequest);
    // Blocks at 40 end at 55, although their requests ask for 32 values.
    EXPECT_EQ(unsol_test::LookedUp(), LookupsOf(12));
    EXPECT_EQ(ValueOf("012H05"), 6.0);
    EXPECT_EQ(ValueOf("012H051"), 1.0);
    EXPECT_EQ(ValueOf("012H053"), 0.0);
    EXPECT_EQ(ValueOf("012H45"), 46.0);
    EXPECT_EQ(ValueOf("012A00"), 1000.0);
    EXPECT_EQ(ValueOf("012A41"), -3100.0);
    EXPECT_EQ(ValueOf("012D31"), 310007.0);
    EXPECT_EQ(ValueOf("012D55"), 550007.0);
    EXPECT_EQ(LogLines(), std::vector<unsol_test::LogLine>{});
}

TEST_F(StationReadTest, HostFailuresNameTheReadStationsRoutine) {
    unsol_test::DefineGate(kHostInstance, "012H00", VPI_GATE_DIGITAL);
    unsol_test::DefineGate(kHostInstance, "012H007", VPI_GATE_DIGITAL);
    unsol_test::DefineGate(kHostInstance, "012A40", VPI_GATE_ANALOG16_SIGNED);
    VeldanForceResult(VELDAN_CALL_COOK, "012H00", 3);
    VeldanForceResult(VELDAN_CALL_PUT, "012H007", 6);
    VeldanForceResult(VELDAN_CALL_LOOKUP, "012D40", 8);
    telmor::ReadStationWith(context(), 12, FakeBlockRead);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{
                              {64, "TELMOR> ReadStations(), Kori5Cook('012H00') rc 3"},
                              {64, "TELMOR> ReadStations(), Kori5PutGateVal('012H007') rc 6"},
                              {64, "TELMOR> ReadStations(), Kori5GetGateId('012D40') rc 8"},
                          }));
    EXPECT_EQ(ValueOf("012A40"), -3000.0);
}

struct FailureCase {
    const char* name;
    int failAt;
    int32_t result;
    Trace requests;
    std::string log;
    std::vector<int> blocksNotPut;
};

class BlockFailure : public StationReadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(BlockFailure, IsLoggedOnceAndTheNextBlockFollows) {
    fake.failAt = GetParam().failAt;
    fake.failResult = GetParam().result;
    telmor::ReadStationWith(context(), 12, FakeBlockRead);
    EXPECT_EQ(fake.requests, GetParam().requests);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, GetParam().log}}));
    EXPECT_EQ(unsol_test::LookedUp(), LookupsOf(12, GetParam().blocksNotPut));
}

Trace Without(Trace requests, size_t index) {
    requests.erase(requests.begin() + static_cast<std::ptrdiff_t>(index));
    return requests;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockFailure,
    ::testing::Values(
        FailureCase{
            "H40", 1, 2, RequestsOf(12), "TELMOR> ReadStations(), DoBlockRead('012H40') ret val is 2", {1}},
        // The lower digits are not asked for when the upper ones failed.
        FailureCase{"D00First",
                    4,
                    1,
                    Without(RequestsOf(12), 5),
                    "TELMOR> ReadStations(), DoBlockRead('012D00') ret val is 1",
                    {4}},
        FailureCase{"D40Second",
                    7,
                    1,
                    RequestsOf(12),
                    "TELMOR> ReadStations(), DoBlockRead('012D40') ret val is 1",
                    {5}}),
    CaseName<FailureCase>);

struct StopCase {
    const char* name;
    std::function<void(telmor::DriverContext&)> stop;
    int commStateAfter;  // the walk leaves commState as the stop set it
};

const StopCase kStops[] = {
    {"EndRequested", [](telmor::DriverContext& c) { c.endRequested = 1; }, 4},
    {"Restart", [](telmor::DriverContext& c) { c.commState = 0; }, 0},
    {"ScanAgain", [](telmor::DriverContext& c) { c.commState = 3; }, 3},
    {"Reset", [](telmor::DriverContext& c) { c.resetRequested = 1; }, 4},
};

class StopRequest : public StationReadTest, public ::testing::WithParamInterface<StopCase> {};

// The checks come before each block: the block under way is finished and put.
TEST_P(StopRequest, EndsTheStationReadBeforeTheNextBlock) {
    fake.during = [this](int index) {
        if (index == 1) GetParam().stop(context());
    };
    telmor::ReadStationWith(context(), 12, FakeBlockRead);
    const Trace all = RequestsOf(12);
    EXPECT_EQ(fake.requests, Trace(all.begin(), all.begin() + 2));
    EXPECT_EQ(unsol_test::LookedUp(), LookupsOf(12, {2, 3, 4, 5}));
}

// Between the two requests of a counter block there is no check.
TEST_P(StopRequest, LetsACounterBlockFinishItsSecondRequest) {
    fake.during = [this](int index) {
        if (index == 4) GetParam().stop(context());
    };
    telmor::ReadStationWith(context(), 12, FakeBlockRead);
    const Trace all = RequestsOf(12);
    EXPECT_EQ(fake.requests, Trace(all.begin(), all.begin() + 6));
}

TEST_P(StopRequest, EndsTheWalkWithoutTheDoneMessage) {
    context().stationPresent[3] = 1;
    context().stationPresent[998] = 1;
    fake.during = [this](int index) {
        if (index == 0) GetParam().stop(context());
    };
    telmor::ReadStationsWith(context(), FakeBlockRead);
    EXPECT_EQ(fake.requests, Trace{RequestsOf(3).front()});
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}}));
    EXPECT_EQ(context().commState.load(), GetParam().commStateAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, StopRequest, ::testing::ValuesIn(kStops), CaseName<StopCase>);

TEST_F(StationReadTest, WalksThePresentStationsInOrderAndEndsDone) {
    context().stationPresent[998] = 1;
    context().stationPresent[0] = 1;
    context().stationPresent[3] = 1;
    telmor::ReadStationsWith(context(), FakeBlockRead);
    Trace expected = RequestsOf(0);
    for (unsigned station : {3u, 998u}) {
        const Trace more = RequestsOf(station);
        expected.insert(expected.end(), more.begin(), more.end());
    }
    EXPECT_EQ(fake.requests, expected);
    EXPECT_EQ(context().readStationNo.load(), 998);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}, {64, kDoneLine}}));
    EXPECT_EQ(context().commState.load(), 5);
}

TEST_F(StationReadTest, AStopAfterTheLastStationStillCountsAsNotDone) {
    context().stationPresent[999] = 1;
    fake.during = [this](int index) {
        if (index == 7) context().resetRequested = 1;
    };
    telmor::ReadStationsWith(context(), FakeBlockRead);
    EXPECT_EQ(fake.requests.size(), 8u);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}}));
    EXPECT_EQ(context().commState.load(), 4);
}

TEST_F(StationReadTest, WithNoStationPresentNothingIsReadAndTheReadIsDone) {
    telmor::ReadStations(context());
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}, {64, kDoneLine}}));
    EXPECT_EQ(context().commState.load(), 5);
    EXPECT_EQ(VeldanCallCount(), 0u);
}

TEST_F(StationReadTest, NotInNormalOperationTheWalkEndsAtOnce) {
    context().commState = 3;
    context().stationPresent[0] = 1;
    telmor::ReadStationsWith(context(), FakeBlockRead);
    EXPECT_TRUE(fake.requests.empty());
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}}));
    EXPECT_EQ(context().commState.load(), 3);
}

// The thread routines leave the context when done, so that EndVpi may go on.
TEST_F(StationReadTest, ThreadRoutinesLeaveTheContextWhenDone) {
    ASSERT_TRUE(telmor::StartDriverThread(context(), telmor::ReadStationsThread, 0));
    ASSERT_TRUE(telmor::test::WaitUntil([&] { return context().activeThreads.load() == 0; }, 10000));
    EXPECT_EQ(context().commState.load(), 5);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, kStartLine}, {64, kDoneLine}}));

    context().commState = 0;  // the station read stops before its first block
    ASSERT_TRUE(telmor::StartDriverThread(context(), telmor::ReadStationThread, 12));
    ASSERT_TRUE(telmor::StartDriverThread(context(), telmor::ReadStationThread, 1000));
    ASSERT_TRUE(telmor::test::WaitUntil([&] { return context().activeThreads.load() == 0; }, 10000));
    EXPECT_EQ(LogLines().size(), 2u);
}

}  // namespace
