// Reads and writes end to end against the simulated network.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "support/scenario.h"
#include "veldan/veldan_host.h"

namespace telmor::test {
namespace {

class Transactions : public ::testing::Test {
protected:
    void SetUp() override {
        VeldanReset();
        ASSERT_TRUE(net_.Start());
        VeldanReset();
        requestsBefore_ = net_.sim.Requests().size();
    }
    // The frames the driver sent since the test began.
    std::vector<std::string> Sent() const {
        const std::vector<std::string> all = net_.sim.Requests();
        return {all.begin() + static_cast<long>(requestsBefore_), all.end()};
    }
    Network net_{{{12, true}, {13, false}}};
    size_t requestsBefore_ = 0;
};

TEST_F(Transactions, SingleReadsDecodeEveryKindOfReply) {
    struct Case {
        const char* address;
        int gateType;
        char memType;
        uint32_t stored;
        const char* frame;
        int64_t expected;  // the gate's value: 16-bit (signed where the type is) or 32-bit
    };
    const Case cases[] = {
        {"012A05", 0, 'A', static_cast<uint32_t>(-123), "P01205A/", -123},
        {"012G07", 0, 'G', 4000, "P01207G/", 4000},
        {"012V07", 0, 'V', 9999, "P01207C/", 9999},
        {"012H03", 0, 'H', 20, "P01203H/", 20},
        {"012H032", 6, 'H', 20, "P01203H/", 1},
        {"012K04", 0, 'K', 200, "P01204h/", 200},
        {"012L04", 0, 'L', 165, "P01204b/", 165},
        {"012D05", 4, 'D', 12345678, "P01205N/", 12345678},
        {"012Z005", 4, 'Z', 87654321, "P012<8h/", 87654321},
    };
    for (const Case& c : cases) {
        Gate gate(c.address, c.gateType);
        net_.sim.SetValue(12, c.memType, gate.request.address, c.stored);
        requestsBefore_ = net_.sim.Requests().size();
        ASSERT_EQ(net_.Read(gate), VPI_DONE) << c.address;
        ASSERT_EQ(Sent(), std::vector<std::string>{c.frame}) << c.address;
        const int64_t got = gate.request.dataWidth == 32 ? int64_t{gate.Value32()}
                            : c.memType == 'A'           ? int64_t{gate.Value16()}
                                                         : int64_t{gate.UValue16()};
        EXPECT_EQ(got, c.expected) << c.address;
    }
}

TEST_F(Transactions, BlockReadsFillTheValueArea) {
    for (unsigned a = 40; a < 56; ++a) net_.sim.SetValue(12, 'A', a, a * 10);
    Gate block("012A40", 0, 32);
    std::memset(block.area, 0x5A, sizeof(block.area));
    ASSERT_EQ(net_.Read(block), VPI_DONE);
    EXPECT_EQ(Sent(), std::vector<std::string>{"P012<0A/"});
    for (unsigned i = 0; i < 16; ++i) {
        int16_t value = 0;
        std::memcpy(&value, block.area + 2 * i, 2);
        EXPECT_EQ(value, static_cast<int16_t>((40 + i) * 10)) << i;
    }
    EXPECT_EQ(block.area[32], 0x5A) << "elements past address 55 keep their value";
}

TEST_F(Transactions, CounterBlocksTakeTwoRequests) {
    for (unsigned a = 0; a < 32; ++a) net_.sim.SetValue(12, 'D', a, 10000000u + a * 10001u);
    Gate block("012D00", 4, 32);
    block.request.counterPhase = 7;
    ASSERT_EQ(net_.Read(block), VPI_DONE);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"P01280D/", "P01280E/"}));
    EXPECT_EQ(block.request.counterPhase, 7u);
    for (unsigned i = 0; i < 32; ++i) {
        uint32_t value = 0;
        std::memcpy(&value, block.area + 4 * i, 4);
        EXPECT_EQ(value, 10000000u + i * 10001u) << i;
    }
}

TEST_F(Transactions, FailedExchangesAreRetriedInNormalOperation) {
    struct Case {
        ultsim::Fault fault;
        int32_t result;
        const char* logged;
    };
    const Case cases[] = {
        {ultsim::Fault::NoAnswer, VPI_UNABLE,
         "64 TELMOR> DoRead() error, time-out waiting for answer, '012A05'"},
        {ultsim::Fault::Error064, VPI_NOT_NOW,
         "64 TELMOR> DoRead() error msg 'COMMUNICATION OVERFLOW (64)' received, '012A05'"},
        {ultsim::Fault::Error067, VPI_UNABLE,
         "64 TELMOR> DoRead() error msg 'NO REPLY ON REQUEST (67)' received, '012A05'"},
        {ultsim::Fault::WrongLength, VPI_NOT_NOW,
         "64 TELMOR> StoreData() error, illegal reply length (14/15), gate '012A05'"},
        {ultsim::Fault::OtherStation, VPI_UNABLE,
         "64 TELMOR> DoRead() error, time-out waiting for answer, '012A05'"},
    };
    for (const Case& c : cases) {
        VeldanReset();
        Gate gate("012A05", 0);
        requestsBefore_ = net_.sim.Requests().size();
        net_.sim.SetFault(c.fault, 3);
        EXPECT_EQ(net_.Read(gate), c.result) << c.logged;
        EXPECT_EQ(Sent(), (std::vector<std::string>(3, "P01205A/"))) << c.logged;
        EXPECT_EQ(CountLogged(c.logged), 3u) << c.logged;
        EXPECT_TRUE(Logged("64 TELMOR> SingleRead(), ret val is " + std::to_string(c.result))) << c.logged;
        net_.sim.SetFault(ultsim::Fault::None);
    }
}

TEST_F(Transactions, ErrorReplyForAnotherStationDoesNotEndTheWait) {
    Gate gate("012A05", 0);
    net_.sim.SetFault(ultsim::Fault::NoAnswer, 1);
    std::thread noise([&] {
        net_.sim.WaitForRequests(requestsBefore_ + 1, 2000);
        net_.sim.SendRaw("E064000000010000\n\r");  // station 001: not ours
    });
    net_.sim.SetValue(12, 'A', 5, 9);
    EXPECT_EQ(net_.Read(gate), VPI_DONE);  // the first attempt timed out, the second got its reply
    noise.join();
    EXPECT_EQ(Sent().size(), 2u);
    EXPECT_EQ(CountLogged("64 TELMOR> DoRead() error, time-out waiting for answer"), 1u);
    EXPECT_EQ(CountLogged("64 TELMOR> DoRead() error msg"), 0u);
}

TEST_F(Transactions, LateReplyIsNeverTakenByTheNextCommand) {
    Gate first("012A05", 0), second("012A06", 0);
    net_.sim.SetValue(12, 'A', 5, 55);
    net_.sim.SetValue(12, 'A', 6, 66);
    net_.sim.SetLateMs(450);  // longer than one reply wait (300 ms in fast time)
    net_.sim.SetFault(ultsim::Fault::LateAnswer, 3);
    EXPECT_EQ(net_.Read(first), VPI_DONE) << "a late reply to the same frame during its retry may be taken";
    EXPECT_EQ(first.Value16(), 55);
    net_.sim.SetFault(ultsim::Fault::None);
    EXPECT_EQ(net_.Read(second), VPI_DONE);
    EXPECT_EQ(second.Value16(), 66) << "the second read got the first read's late reply";
}

TEST_F(Transactions, LocalGatesNeedNoLine) {
    Gate status("012S", 0), lost("013S", 0), state("000R", 0);
    ASSERT_EQ(net_.Read(status), VPI_DONE);
    EXPECT_EQ(status.UValue16(), 1);
    ASSERT_EQ(net_.Read(lost), VPI_DONE);
    EXPECT_EQ(lost.UValue16(), 0);
    EXPECT_EQ(net_.Read(state), VPI_NOT_NOW);
    EXPECT_TRUE(Logged("64 TELMOR> DoRead() error, no read supported for reset comms gate, '000R'"));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Transactions, WritesAreAcknowledgedAndStored) {
    struct Case {
        const char* address;
        int gateType;
        int64_t value;
        const char* frame;
        char memType;
        uint32_t stored;
    };
    const Case cases[] = {
        {"012I05", 0, 0, "P01205I @4000/", 'I', 0},
        {"012j05", 0, -4000, "P01205j @0000/", 'j', static_cast<uint32_t>(-4000)},
        {"012V05", 0, 123, "P01205C @0123/", 'V', 123},
        {"012D05", 4, 12345678, "P01205D @1234 @5678/", 'D', 12345678},
        {"012Z005", 4, 12345678, "P012<8h @1234 @5678/", 'Z', 12345678},
        {"012C05", 1, 3, "P01205H @@A--/", 'C', 16},  // the command byte the code stands for
        {"012E05", 0, 2, "P01205@ @---2/", 'E', 2},
    };
    for (const Case& c : cases) {
        Gate gate(c.address, c.gateType);
        if (gate.request.dataWidth == 32) {
            gate.Set32(static_cast<uint32_t>(c.value));
        } else {
            gate.Set16(static_cast<int16_t>(c.value));
        }
        requestsBefore_ = net_.sim.Requests().size();
        ASSERT_EQ(net_.Write(gate), VPI_DONE) << c.address;
        EXPECT_EQ(Sent(), std::vector<std::string>{c.frame}) << c.address;
        EXPECT_EQ(net_.sim.GetValue(12, c.memType, gate.request.address), c.stored) << c.address;
    }
}

TEST_F(Transactions, ByteWritesDoNotWaitForAnAcknowledgement) {
    net_.sim.SetAcknowledgeByteWrites(false);
    Gate gate("012K04", 0);
    gate.Set16(255);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(net_.Write(gate), VPI_DONE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    ASSERT_TRUE(net_.sim.WaitForRequests(requestsBefore_ + 1, 2000));
    EXPECT_EQ(Sent(), std::vector<std::string>{"P01204h @OO--/"});
}

TEST_F(Transactions, RefusedValuesSendNothing) {
    Gate gate("012I05", 0);
    gate.Set16(4001);
    EXPECT_EQ(net_.Write(gate), VPI_NOT_NOW);
    EXPECT_TRUE(Logged("64 TELMOR> BuildWriteRequest() value 4001 out of range, gate '012I05'"));
    EXPECT_TRUE(Logged("64 TELMOR> SingleWrite() , ret val is 1 gate '012I05'"));
    Gate block("012A00", 0, 32);
    EXPECT_EQ(net_.driver.Call(VPI_BLOCK_WRITE, &block.request), VPI_NOT_NOW);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Transactions, CommandGateTextAndItsAnswer) {
    net_.sim.SetCommandReply("HELLO FROM THE LINE UNIT");
    Gate command("!T", 7);
    const char text[] = "X12345/";
    std::memcpy(command.area, text, sizeof(text));
    ASSERT_EQ(net_.Write(command), VPI_DONE);
    EXPECT_EQ(Sent(), std::vector<std::string>{"X12345/"});
    Gate window("!1", 7);
    net_.driver.Call(VPI_CLOSE_COM);  // the text gates answer even with the port closed
    ASSERT_EQ(net_.Read(window), VPI_DONE);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(window.area)), "HELLO FROM THE LINE UNIT\n\r");
}

TEST_F(Transactions, TimeSynchronisationReachesTheStation) {
    Gate sync("012T", 0);
    sync.Set16(103);
    ASSERT_EQ(net_.Write(sync), VPI_DONE);
    const auto syncs = net_.sim.TimeSyncs();
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].station, 12u);
    ASSERT_EQ(syncs[0].frame.size(), 32u);
    EXPECT_EQ(syncs[0].frame.substr(23, 2), "33");
}

TEST_F(Transactions, ConcurrentReadersEachGetTheirOwnValue) {
    for (unsigned a = 0; a < 8; ++a) net_.sim.SetValue(12, 'A', a, 100 + a);
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (unsigned a = 0; a < 8; ++a) {
        readers.emplace_back([&, a] {
            char text[8];
            std::snprintf(text, sizeof(text), "012A%02u", a);
            for (int round = 0; round < 5; ++round) {
                Gate gate(text, 0);
                if (net_.Read(gate) != VPI_DONE || gate.Value16() != static_cast<int16_t>(100 + a)) ++wrong;
            }
        });
    }
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(TransactionsBeforeStart, ReadBeforeTheNetworkIsUpWaitsOnceAndRefuses) {
    VeldanReset();
    Network net;
    net.sim.SetModemStatuses({});
    ASSERT_EQ(net.driver.ColdStart(net.sim.SlavePath()), VPI_DONE);
    Gate gate("012A05", 0);
    EXPECT_EQ(net.Read(gate), VPI_NOT_NOW);
    EXPECT_TRUE(Logged("64 TELMOR> DoRead() wait, communication not initialised yet, '012A05'"));
    for (const std::string& frame : net.sim.Requests()) EXPECT_EQ(frame, "P00000Q/");
}

}  // namespace
}  // namespace telmor::test
