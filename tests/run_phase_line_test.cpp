// The receiver's run-phase step, one line at a time: what is handed to a
// waiting command, what restarts the communication, what is only logged.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "host/context.h"
#include "platform/sync.h"
#include "support/scenario.h"
#include "transactions/handoff.h"
#include "unsol/unsol_thread.h"
#include "veldan/veldan_host.h"

namespace telmor::test {
namespace {

enum class Armed { None, Read, Write, AnyLine };

struct Case {
    const char* name;
    Armed armed;
    std::string line;
    bool delivered;
    Next next;
    std::vector<std::string> log;
};

class RunPhaseLine : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        VeldanReset();
        context_ = new (storage_) DriverContext{};
        context_->instanceNo = 1;
        context_->commState.store(5);
        context_->replyEvent = platform::CreateNamedEvent(nullptr);
        ASSERT_NE(context_->replyEvent, 0u);
    }
    void TearDown() override { platform::CloseHandle(context_->replyEvent); }

    alignas(8) unsigned char storage_[VPI_CONTEXT_SIZE];
    DriverContext* context_ = nullptr;
};

TEST_P(RunPhaseLine, HandlesTheLine) {
    const Case& c = GetParam();
    switch (c.armed) {
        case Armed::None:
            break;
        case Armed::Read:
            ArmReply(*context_, "U01205A", 7);
            break;
        case Armed::Write:
            ArmReply(*context_, "P01205I", 2);
            break;
        case Armed::AnyLine:
            ArmAnyLine(*context_);
            break;
    }
    const Next next = HandleRunPhaseLine(*context_, c.line.data(), static_cast<uint16_t>(c.line.size()));
    EXPECT_EQ(next, c.next);
    const bool delivered = platform::WaitEvent(context_->replyEvent, 0) == platform::WaitResult::Signalled;
    EXPECT_EQ(delivered, c.delivered);
    if (c.delivered) {
        EXPECT_EQ(std::string(context_->replyBuf, context_->replyLen), c.line);
        EXPECT_EQ(context_->expectLen.load(), 0);
        EXPECT_EQ(context_->acceptAnyLine.load(), 0) << "one line per arming";
    }
    EXPECT_EQ(LogLines(), c.log);
}

const std::string kLong = "X" + std::string(70, 'y');

INSTANTIATE_TEST_SUITE_P(
    Lines, RunPhaseLine,
    ::testing::Values(
        Case{"ReplyToTheRead", Armed::Read, "U01205A0 4123 \n\r", true, Next::Stay, {}},
        Case{"EmptyLineAcknowledgesAWrite", Armed::Write, "\n\r", true, Next::Stay, {}},
        Case{"EmptyLineIsNoReadReply",
             Armed::Read,
             "\n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, illegal msg received ''"}},
        Case{"PowerUpGoesToACommandGateWrite", Armed::AnyLine, "E070000000000000\n\r", true, Next::Stay, {}},
        Case{
            "PowerUpRestarts",
            Armed::None,
            "E070000000000000\n\r",
            false,
            Next::Restart,
            {"64 TELMOR> UnsolThread() warning, power up message received (E070), restarting UnsolThread()"}},
        Case{"ErrorReplyForTheWaitingStation", Armed::Read, "E064000000120000\n\r", true, Next::Stay, {}},
        Case{"ErrorReplyForAnotherStationIsDropped",
             Armed::Read,
             "E064000000130000\n\r",
             false,
             Next::Stay,
             {}},
        Case{"ErrorReplyNobodyWaitsForIsDropped", Armed::None, "E066000000120000\n\r", false, Next::Stay, {}},
        Case{"NoReplyMatchesStationAddressAndLetter",
             Armed::Read,
             "E06700000012050A\n\r",
             false,
             Next::Stay,
             {}},
        Case{"NoReplyForTheWaitingRequest", Armed::Read, "E0670000001205A0\n\r", true, Next::Stay, {}},
        Case{"ShortELine",
             Armed::None,
             "E06100004000000\n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, illegal length 17 'E' msg, 'E06100004000000' (3)"}},
        Case{"UnknownENumber",
             Armed::None,
             "E071000000000000\n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, illegal 'E' number in msg, 'E071000000000000' (3)"}},
        Case{"ScanEndOutOfPlace",
             Armed::None,
             "E069000000000000\n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, received E069 msg, 'E069000000000000' (3)"}},
        Case{"ModemStatusFourIsQuiet", Armed::None, "E061000040000000\n\r", false, Next::Stay, {}},
        Case{"ReplyShapedLineNobodyWaitsForIsAValueMessage",
             Armed::None,
             "U01205A0 4123 \n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, unknown message format, msg 'U01205A0 4123 '"}},
        Case{"LongIllegalLineIsCut",
             Armed::None,
             kLong + "\n\r",
             false,
             Next::Stay,
             {"64 TELMOR> UnsolThread() error, illegal msg received '" + kLong.substr(0, 62) + "..."}}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// EndVpi cuts a command's wait short while its reply may still be on the
// line; the receiver, not yet stopped, must not take that reply for a message
// the network sent of its own.
TEST_F(RunPhaseLine, AReplyStillOnItsWayWhenEndVpiCutsTheWaitIsTakenQuietly) {
    ArmReply(*context_, "U01205A", 7);
    context_->endRequested.store(1);
    EXPECT_EQ(AwaitReply(*context_, 60000), platform::WaitResult::TimedOut);
    const std::string late = "U01205A0 4123 \n\r";
    EXPECT_EQ(HandleRunPhaseLine(*context_, late.data(), static_cast<uint16_t>(late.size())), Next::Stay);
    EXPECT_EQ(LogLines(), std::vector<std::string>{});
}

}  // namespace
}  // namespace telmor::test
