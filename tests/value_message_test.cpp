// Value messages from the substations: every rejection with its one log line
// and no host call, and the exact sequence of lookups, cooks and puts for the
// values that a line carries, including host-service failures.
#include "unsol/value_message.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/unsol_host_record.h"

namespace {

// Names the instances of a table of cases after their `name` field.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

using unsol_test::CallTrace;
using unsol_test::LogLines;
using Trace = std::vector<std::string>;

// The host instance is the low byte of instanceNo.
constexpr uint32_t kInstanceNo = 0x0203;
constexpr int kHostInstance = 3;

std::string Msg(const std::string& body) {
    return body + "\n\r";
}

// "U", station 012, address 05, two characters not looked at, digital field
// "CA@@" (byte 19), then the analog and counter fields of the longer forms.
const std::string kDigital = Msg("U0120500CA@@0");
const std::string kAnalog4123 = Msg("U0120500CA@@04123x");
const std::string kCombined = Msg("U0120500CA@@0412300012 34560");

class ValueMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        VeldanReset();
        block_.context.instanceNo = kInstanceNo;
    }

    void DefineStation12Address5() {
        unsol_test::DefineGate(kHostInstance, "012H05", VPI_GATE_DIGITAL);
        for (char bit = '0'; bit <= '7'; ++bit) {
            unsol_test::DefineGate(kHostInstance, std::string("012H05") + bit, VPI_GATE_DIGITAL);
        }
        unsol_test::DefineGate(kHostInstance, "012A05", VPI_GATE_ANALOG16_SIGNED);
        unsol_test::DefineGate(kHostInstance, "012D05", VPI_GATE_ANALOG32);
    }

    // The line in a buffer of exactly its length, as rxLine holds it: no NUL
    // behind it, so a read past the end shows under the address sanitizer.
    void Handle(const std::string& line) {
        const auto exact = std::make_unique<char[]>(line.size());
        line.copy(exact.get(), line.size());
        telmor::HandleValueMessage(block_.context, exact.get(), static_cast<uint16_t>(line.size()));
    }

    unsol_test::ContextBlock block_;
};

// The puts of byte 19 ("CA") into 012H05 and its bits, lowest bit first.
const Trace kByte19Puts = {
    "lookup 012H05 rc 0", "cook 012H05 raw 0x00130000", "put 012H05 19", "lookup 012H050 rc 0",
    "put 012H050 1",      "lookup 012H051 rc 0",        "put 012H051 1", "lookup 012H052 rc 0",
    "put 012H052 0",      "lookup 012H053 rc 0",        "put 012H053 0", "lookup 012H054 rc 0",
    "put 012H054 1",      "lookup 012H055 rc 0",        "put 012H055 0", "lookup 012H056 rc 0",
    "put 012H056 0",      "lookup 012H057 rc 0",        "put 012H057 0",
};

Trace Join(Trace head, const Trace& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct RejectCase {
    const char* name;
    std::string line;
    std::string log;
};

class RejectedLine : public ValueMessageTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(RejectedLine, LogsTheFirstReasonOnceAndTouchesNoGate) {
    DefineStation12Address5();
    Handle(GetParam().line);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{{64, GetParam().log}}));
    EXPECT_EQ(CallTrace(), Trace{});
}

const std::string k61 = "U0120500" + std::string(53, 'x');  // 63 with LF CR: quoted whole
const std::string k62 = "U0120500" + std::string(54, 'y');  // 64 with LF CR: long form
const std::string k98 = "U0B20500" + std::string(90, 'z');

INSTANTIATE_TEST_SUITE_P(
    Cases, RejectedLine,
    ::testing::Values(
        RejectCase{"Length14", Msg("U0120500CA@@"),
                   "TELMOR> UnsolThread() error, illegal message length, msg 'U0120500CA@@'"},
        RejectCase{"OnlyU", Msg("U"), "TELMOR> UnsolThread() error, illegal message length, msg 'U'"},
        RejectCase{"ShortWinsOverBadStation", Msg("U0A2"),
                   "TELMOR> UnsolThread() error, illegal message length, msg 'U0A2'"},
        RejectCase{"StationLetter", Msg("U0A20500CA@@0"),
                   "TELMOR> UnsolThread() error, illegal station address in msg 'U0A20500CA@@0'"},
        RejectCase{"StationBeforeAddress", Msg("U0A2X500CA@@0"),
                   "TELMOR> UnsolThread() error, illegal station address in msg 'U0A2X500CA@@0'"},
        RejectCase{"AddressSpace", Msg("U012 500CA@@0"),
                   "TELMOR> UnsolThread() error, illegal address in msg 'U012 500CA@@0'"},
        RejectCase{"AddressSign", Msg("U012-500CA@@0"),
                   "TELMOR> UnsolThread() error, illegal address in msg 'U012-500CA@@0'"},
        RejectCase{"Address32", Msg("U0123200CA@@0"),
                   "TELMOR> UnsolThread() error, address out of range in msg 'U0123200CA@@0'"},
        RejectCase{"Address39", Msg("U0123900CA@@0"),
                   "TELMOR> UnsolThread() error, address out of range in msg 'U0123900CA@@0'"},
        RejectCase{"Address56", Msg("U0125600CA@@0"),
                   "TELMOR> UnsolThread() error, address out of range in msg 'U0125600CA@@0'"},
        RejectCase{"RangeBeforeFormat", Msg("U0129900CA@@00"),
                   "TELMOR> UnsolThread() error, address out of range in msg 'U0129900CA@@00'"},
        RejectCase{"Length16", Msg("U0120500CA@@00"),
                   "TELMOR> UnsolThread() error, unknown message format, msg 'U0120500CA@@00'"},
        RejectCase{"Length63QuotedWhole", Msg(k61),
                   "TELMOR> UnsolThread() error, unknown message format, msg '" + k61 + "'"},
        RejectCase{"Length64LongForm", Msg(k62),
                   "TELMOR> UnsolThread() error, unknown message format, msg '" + k62 + "..."},
        RejectCase{
            "LongStationLongForm", Msg(k98),
            "TELMOR> UnsolThread() error, illegal station address in msg '" + k98.substr(0, 62) + "..."},
        RejectCase{"DigitalP", Msg("U0120500CAP@0"),
                   "TELMOR> UnsolThread() error, illegal data 'CAP@' in msg 'U0120500CAP@0\n\r'"},
        RejectCase{"DigitalUnusedHalfChecked", Msg("U0120500CA@10"),
                   "TELMOR> UnsolThread() error, illegal data 'CA@1' in msg 'U0120500CA@10\n\r'"},
        RejectCase{"AnalogDigitalFieldChecked", Msg("U0120500cA@@04123x"),
                   "TELMOR> UnsolThread() error, illegal data 'cA@@' in msg 'U0120500cA@@04123x\n\r'"},
        RejectCase{"AnalogLetter", Msg("U0120500CA@@04A23x"),
                   "TELMOR> UnsolThread() error, illegal data '4A23' in msg 'U0120500CA@@04A23x\n\r'"},
        RejectCase{
            "AnalogBeforeCounter", Msg("U0120500CA@@0 12300O12 34560"),
            "TELMOR> UnsolThread() error, illegal data ' 123' in msg 'U0120500CA@@0 12300O12 34560\n\r'"},
        RejectCase{
            "CounterHigh", Msg("U0120500CA@@041230-012 34560"),
            "TELMOR> UnsolThread() error, illegal data '-012' in msg 'U0120500CA@@041230-012 34560\n\r'"},
        RejectCase{
            "CounterLow", Msg("U0120500CA@@0412300012 34x60"),
            "TELMOR> UnsolThread() error, illegal data '34x6' in msg 'U0120500CA@@0412300012 34x60\n\r'"}),
    CaseName<RejectCase>);

struct PutCase {
    const char* name;
    std::string line;
    Trace trace;
};

class AcceptedLine : public ValueMessageTest, public ::testing::WithParamInterface<PutCase> {};

TEST_P(AcceptedLine, PutsEveryValueInOrder) {
    DefineStation12Address5();
    Handle(GetParam().line);
    EXPECT_EQ(LogLines(), std::vector<unsol_test::LogLine>{});
    EXPECT_EQ(CallTrace(), GetParam().trace);
}

Trace AnalogPuts(const char* raw, const char* value) {
    return {"lookup 012A05 rc 0", std::string("cook 012A05 raw ") + raw, std::string("put 012A05 ") + value};
}

Trace CounterPuts(const char* raw, const char* value) {
    return {"lookup 012D05 rc 0", std::string("cook 012D05 raw ") + raw, std::string("put 012D05 ") + value};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcceptedLine,
    ::testing::Values(PutCase{"DigitalByteThenBitsLowestFirst", kDigital, kByte19Puts},
                      PutCase{
                          "DigitalAllNibbleValues",
                          Msg("U0120500@OO@0"),
                          {"lookup 012H05 rc 0", "cook 012H05 raw 0x00F00000", "put 012H05 240",
                           "lookup 012H050 rc 0", "put 012H050 0", "lookup 012H051 rc 0", "put 012H051 0",
                           "lookup 012H052 rc 0", "put 012H052 0", "lookup 012H053 rc 0", "put 012H053 0",
                           "lookup 012H054 rc 0", "put 012H054 1", "lookup 012H055 rc 0", "put 012H055 1",
                           "lookup 012H056 rc 0", "put 012H056 1", "lookup 012H057 rc 0", "put 012H057 1"}},
                      PutCase{"Analog4123", kAnalog4123, AnalogPuts("0x007B0000", "123")},
                      PutCase{"Analog3999", Msg("U0120500CA@@03999x"), AnalogPuts("0xFFFF0000", "-1")},
                      PutCase{"Analog0000", Msg("U0120500CA@@00000x"), AnalogPuts("0xF0600000", "-4000")},
                      PutCase{"Analog9999", Msg("U0120500CA@@09999x"), AnalogPuts("0x176F0000", "5999")},
                      PutCase{"CombinedDigitalAnalogCounter", kCombined,
                              Join(Join(kByte19Puts, AnalogPuts("0x007B0000", "123")),
                                   CounterPuts("0x0001E240", "123456"))},
                      PutCase{"CounterLargest", Msg("U0120500CA@@0412309999 99990"),
                              Join(Join(kByte19Puts, AnalogPuts("0x007B0000", "123")),
                                   CounterPuts("0x05F5E0FF", "99999999"))},
                      PutCase{"CounterTabBetweenRuns", Msg("U0120500CA@@0412300012\t34560"),
                              Join(Join(kByte19Puts, AnalogPuts("0x007B0000", "123")),
                                   CounterPuts("0x0001E240", "123456"))}),
    CaseName<PutCase>);

class CounterUnreadable : public ValueMessageTest, public ::testing::WithParamInterface<char> {};

// Only white space separates the runs: a sign would make a negative run of an
// unsigned counter, a digit would shift the second run by one place.
TEST_P(CounterUnreadable, KeepsTheEarlierPutsAndDropsTheCounter) {
    DefineStation12Address5();
    std::string line = kCombined;
    line[22] = GetParam();
    Handle(line);
    const std::string counterField = line.substr(18, 9);
    EXPECT_EQ(LogLines(),
              (std::vector<unsol_test::LogLine>{{64, "TELMOR> UnSolThread() error, reading data '" +
                                                         counterField + "' in msg '" + line + "'"}}));
    EXPECT_EQ(CallTrace(), Join(kByte19Puts, AnalogPuts("0x007B0000", "123")));
}

INSTANTIATE_TEST_SUITE_P(Separators, CounterUnreadable, ::testing::Values('X', '/', '-', '+', '3'));

TEST_F(ValueMessageTest, EveryAddressOfTheValidRangesNamesItsGates) {
    for (const char* address : {"00", "31", "40", "55"}) {
        VeldanReset();
        Handle(Msg(std::string("U999") + address + "00O@@@0412300000 00010"));
        const std::string h = std::string("999H") + address;
        EXPECT_EQ(unsol_test::LookedUp(),
                  (Trace{h, h + "0", h + "1", h + "2", h + "3", h + "4", h + "5", h + "6", h + "7",
                         std::string("999A") + address, std::string("999D") + address}))
            << address;
        EXPECT_EQ(LogLines(), std::vector<unsol_test::LogLine>{}) << address;
    }
}

TEST_F(ValueMessageTest, GatesTheHostDoesNotKnowAreSkippedSilently) {
    unsol_test::DefineGate(kHostInstance + 1, "012A05", VPI_GATE_ANALOG16_SIGNED);  // another instance's
    Handle(kCombined);
    EXPECT_EQ(CallTrace(), (Trace{"lookup 012H05 rc 5", "lookup 012H050 rc 5", "lookup 012H051 rc 5",
                                  "lookup 012H052 rc 5", "lookup 012H053 rc 5", "lookup 012H054 rc 5",
                                  "lookup 012H055 rc 5", "lookup 012H056 rc 5", "lookup 012H057 rc 5",
                                  "lookup 012A05 rc 5", "lookup 012D05 rc 5"}));
    EXPECT_EQ(LogLines(), std::vector<unsol_test::LogLine>{});
}

TEST_F(ValueMessageTest, HostFailuresAreLoggedAndTheNextPutGoesOn) {
    DefineStation12Address5();
    VeldanForceResult(VELDAN_CALL_LOOKUP, "012H05", 7);
    VeldanForceResult(VELDAN_CALL_PUT, "012H052", 4);
    VeldanForceResult(VELDAN_CALL_LOOKUP, "012H057", 0x10005);  // read as 16 bits: no such gate
    VeldanForceResult(VELDAN_CALL_COOK, "012A05", 9);
    Handle(kCombined);
    EXPECT_EQ(LogLines(), (std::vector<unsol_test::LogLine>{
                              {64, "TELMOR> UnsolThread(), Kori5GetGateId('012H05') rc 7"},
                              {64, "TELMOR> UnsolThread(), Kori5PutGateVal('012H052') rc 4"},
                              {64, "TELMOR> UnsolThread(), Kori5Cook('012A05') rc 9"},
                          }));
    EXPECT_EQ(CallTrace(), (Trace{"lookup 012H05 rc 7", "lookup 012H050 rc 0",
                                  "put 012H050 1",      "lookup 012H051 rc 0",
                                  "put 012H051 1",      "lookup 012H052 rc 0",
                                  "put 012H052 0 rc 4", "lookup 012H053 rc 0",
                                  "put 012H053 0",      "lookup 012H054 rc 0",
                                  "put 012H054 1",      "lookup 012H055 rc 0",
                                  "put 012H055 0",      "lookup 012H056 rc 0",
                                  "put 012H056 0",      "lookup 012H057 rc 65541",
                                  "lookup 012A05 rc 0", "cook 012A05 raw 0x007B0000 rc 9",
                                  "lookup 012D05 rc 0", "cook 012D05 raw 0x0001E240",
                                  "put 012D05 123456"}));
}

}  // namespace
