// The receiver thread bringing a simulated network up, watching it and
// restarting, and EndVpi in every phase.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/sync.h"
#include "support/pty.h"
#include "support/scenario.h"
#include "veldan/veldan_host.h"

namespace telmor::test {
namespace {

class NetworkStartup : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
};

size_t CountRequests(const ultsim::Simulator& sim, const std::string& frame) {
    size_t count = 0;
    for (const std::string& request : sim.Requests()) count += request == frame ? 1 : 0;
    return count;
}

TEST_F(NetworkStartup, ComesUpToTheRunPhaseAndReadsTheStations) {
    Network net({{5, false}, {12, true}});
    ASSERT_TRUE(net.Start());
    const std::vector<std::string> requests = net.sim.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], "P00000Q/");
    EXPECT_EQ(requests[1], "P00001Q/");
    DriverContext& context = net.driver.context();
    EXPECT_EQ(context.commReady.load(), 1);
    EXPECT_EQ(context.stationPresent[12].load(), 1);
    EXPECT_EQ(context.stationPresent[5].load(), 0);
    EXPECT_TRUE(Logged("64 TELMOR> UnsolThread() info, initialising communication (might take +- 50 sec)"));
    EXPECT_TRUE(Logged("64 TELMOR> UnsolThread() info, E069 received, scan array done"));
    EXPECT_TRUE(Logged("32 TELMOR> UnsolThread() warning, station 5, no response from UTL during scan"));
    EXPECT_TRUE(Logged("64 TELMOR> ReadStations() info, ... initialising all values done"));
    bool reported = false;
    for (size_t i = 0; i < VeldanCallCount(); ++i) {
        VeldanCall call{};
        VeldanGetCall(i, &call);
        if (call.kind == VELDAN_CALL_COMM_STATUS) {
            EXPECT_EQ(call.station, 5u);
            EXPECT_EQ(call.instance, 1);
            EXPECT_EQ(call.a, 1);
            EXPECT_EQ(call.b, 1);
            reported = true;
        }
    }
    EXPECT_TRUE(reported);
    EXPECT_EQ(net.EndVpi(), VPI_DONE);
    EXPECT_TRUE(Logged("64 TELMOR> UnsolThread() info, closing thread"));
    EXPECT_TRUE(Logged("64 TELMOR> EndVpi() exited, 0"));
}

TEST_F(NetworkStartup, ModemStatusOneAsksAgainBeforeTheScan) {
    Network net;
    net.sim.SetModemStatuses({{61, '1'}, {60, '3'}});
    ASSERT_TRUE(net.Start(false));
    const std::vector<std::string> requests = net.sim.Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0], "P00000Q/");
    EXPECT_EQ(requests[1], "P00000Q/");
    EXPECT_EQ(requests[2], "P00001Q/");
    EXPECT_TRUE(Logged("64 TELMOR> UnsolThread() warning, 'TOTALAUSFALL ALLER 4 HAUPTKANALE' received"));
}

TEST_F(NetworkStartup, ScanWithoutEndRestartsAfterItsDeadline) {
    Network net;
    net.sim.SetScanDelayMs(600000);
    ASSERT_EQ(net.driver.ColdStart(net.sim.SlavePath()), VPI_DONE);
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(net.sim, "P00001Q/") >= 2; }));
    EXPECT_TRUE(
        Logged("32 TELMOR> UnsolThread() error, scan array passed 60 sec time-out, restarting UnsolThread"));
    EXPECT_EQ(net.driver.context().commReady.load(), 0);
}

TEST_F(NetworkStartup, RunPhaseEventsRestartTheCommunication) {
    struct Case {
        std::function<void(Network&)> event;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {[](Network& n) { n.sim.SendPowerUp(); },
         "64 TELMOR> UnsolThread() warning, power up message received (E070), restarting UnsolThread()"},
        {[](Network& n) { n.sim.SendModemStatus(61, '2'); },
         "64 TELMOR> UnsolThread() warning, modem status in E061 lower than 4! restarting UnsolThread()"},
        {[](Network& n) { n.sim.SendModemStatus(60, '0'); },
         "64 TELMOR> UnsolThread() warning, modem status in E060 lower than 4! restarting UnsolThread()"},
        {[](Network& n) {
             Gate reset("000R", 0);
             EXPECT_EQ(n.Write(reset), VPI_DONE);
         },
         "64 TELMOR> UnsolThread() info, resetting communication, restarting UnsolThread()"},
    };
    for (const Case& c : cases) {
        VeldanReset();
        Network net;
        ASSERT_TRUE(net.Start());
        c.event(net);
        ASSERT_TRUE(WaitUntil([&] { return CountRequests(net.sim, "P00001Q/") >= 2; })) << c.logged;
        EXPECT_TRUE(Logged(c.logged));
        ASSERT_TRUE(WaitUntil([&] { return net.driver.context().commState.load() == 5; })) << c.logged;
        EXPECT_EQ(net.EndVpi(), VPI_DONE);
    }
}

TEST_F(NetworkStartup, RunPhaseModemStatusFourIsOnlyAWarning) {
    Network net;
    ASSERT_TRUE(net.Start());
    net.sim.SendModemStatus(60, '4');
    ASSERT_TRUE(WaitUntil([] {
        return Logged("64 TELMOR> UnsolThread() warning, 'E060' msg, 'Totalausfall aller 4 Hauptkanale'");
    }));
    EXPECT_EQ(CountRequests(net.sim, "P00001Q/"), 1u);
}

TEST_F(NetworkStartup, StationLostAndBackInTheRunPhase) {
    Network net;
    ASSERT_TRUE(net.Start());
    net.sim.SendStationResponse(12, false);
    ASSERT_TRUE(WaitUntil([&] { return net.driver.context().stationPresent[12].load() == 0; }));
    EXPECT_TRUE(Logged("32 TELMOR> UnsolThread() warning, no response anymore from UTL (E062 message)"));
    const size_t before = net.sim.Requests().size();
    net.sim.SendStationResponse(12, true);
    // The station that reports back is read again: eight block requests.
    ASSERT_TRUE(net.sim.WaitForRequests(before + 8, 5000));
    EXPECT_EQ(net.driver.context().stationPresent[12].load(), 1);
    const std::vector<std::string> requests = net.sim.Requests();
    EXPECT_EQ(requests[before], "P01280H/");
}

TEST_F(NetworkStartup, EndVpiEndsTheThreadInEveryPhase) {
    struct Case {
        const char* phase;
        std::function<void(Network&)> setUp;
        std::function<bool(Network&)> reached;
    };
    const std::vector<Case> cases = {
        {"start-up pause", [](Network&) {}, [](Network&) { return true; }},
        {"status phase", [](Network& n) { n.sim.SetModemStatuses({}); },
         [](Network& n) { return n.sim.Requests().size() >= 2; }},
        {"scan phase", [](Network& n) { n.sim.SetScanDelayMs(600000); },
         [](Network& n) { return n.driver.context().commState.load() == 3; }},
        {"run phase", [](Network&) {}, [](Network& n) { return n.driver.context().commState.load() == 5; }},
        {"after CloseCom", [](Network&) {},
         [](Network& n) {
             if (n.driver.context().commState.load() != 5) return false;
             EXPECT_EQ(n.driver.Call(VPI_CLOSE_COM), VPI_DONE);
             return true;
         }},
    };
    for (const Case& c : cases) {
        VeldanReset();
        Network net;
        c.setUp(net);
        ASSERT_EQ(net.driver.ColdStart(net.sim.SlavePath()), VPI_DONE);
        ASSERT_TRUE(WaitUntil([&] { return c.reached(net); })) << c.phase;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(net.EndVpi(), VPI_DONE) << c.phase;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.phase;
        EXPECT_EQ(net.driver.context().activeThreads.load(), 0) << c.phase;
        EXPECT_TRUE(Logged("64 TELMOR> UnsolThread() info, closing thread")) << c.phase;
    }
}

TEST_F(NetworkStartup, EndVpiDoesNotSitOutAWaitingRead) {
    Network net;
    ASSERT_TRUE(net.Start(true, 30000));  // a reply wait of 300 s, 3 s in fast time
    net.sim.SetSilent(true);
    const size_t before = net.sim.Requests().size();
    Gate gate("012A05", 0);
    Gate queued("012A06", 0);
    int32_t result = -1;
    int32_t queuedResult = -1;
    std::thread reader([&] { result = net.Read(gate); });
    ASSERT_TRUE(net.sim.WaitForRequests(before + 1, 2000));
    // A second read waits for the port mutex the first one holds.
    std::thread second([&] { queuedResult = net.Read(queued); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(net.EndVpi(), VPI_DONE);
    reader.join();
    second.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(result, VPI_NOT_NOW) << "an ending instance reports a failed exchange as not done";
    EXPECT_EQ(queuedResult, VPI_NOT_NOW);
    EXPECT_EQ(net.sim.Requests().size(), before + 1)
        << "no retry once the instance ends, and nothing from the read that waited for the mutex";
    EXPECT_EQ(CountLogged("64 TELMOR> DoRead() error, time-out waiting for answer"), 0u)
        << "the wait was cut short, it did not time out";
}

TEST_F(NetworkStartup, EndVpiDuringARestartIsNotLost) {
    for (int round = 0; round < 20; ++round) {
        VeldanReset();
        Network net;
        ASSERT_TRUE(net.Start(false));
        net.sim.SendPowerUp();
        std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
        EXPECT_EQ(net.EndVpi(), VPI_DONE);
        EXPECT_EQ(net.driver.context().activeThreads.load(), 0);
    }
}

TEST_F(NetworkStartup, FailedColdStartLeavesAnInstanceEndVpiCanEnd) {
    DriverInstance driver;
    EXPECT_EQ(driver.ColdStart("/dev/tm-none"), VPI_UNABLE);
    EXPECT_TRUE(Logged("32 TELMOR> ColdStart() error opening COM port"));
    EXPECT_EQ(driver.EndVpi(), VPI_DONE);
}

TEST_F(NetworkStartup, NamedObjectsCarryTheInstanceNumber) {
    for (uint32_t instance : {1u, 2u, 123u}) {
        VeldanReset();
        Network net({{12, true}}, instance);
        ASSERT_EQ(net.driver.ColdStart(net.sim.SlavePath()), VPI_DONE);
        char name[40];
        std::snprintf(name, sizeof(name), "TELMOR%02uMutexSem", instance);
        const platform::Handle same = platform::CreateNamedMutex(name);
        ASSERT_NE(same, 0u);
        // The same object: the driver's mutex, held here, keeps WarmStart out.
        ASSERT_EQ(platform::WaitMutex(same, 0), platform::WaitResult::Signalled);
        std::thread other([&] { EXPECT_EQ(net.driver.Call(VPI_WARM_START), VPI_NOT_NOW); });
        other.join();
        EXPECT_TRUE(Logged("32 TELMOR> WarmStart() error, time-out waiting for mutex semaphore"));
        platform::ReleaseMutex(same);
        platform::CloseHandle(same);
        EXPECT_EQ(net.EndVpi(), VPI_DONE);
    }
}

TEST_F(NetworkStartup, WarmStartAsksForTheStatus) {
    Network net;
    ASSERT_TRUE(net.Start());
    const size_t before = CountRequests(net.sim, "P00000Q/");
    EXPECT_EQ(net.driver.Call(VPI_WARM_START), VPI_DONE);
    EXPECT_TRUE(net.sim.WaitForRequests(net.sim.Requests().size(), 100));
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(net.sim, "P00000Q/") == before + 1; }));
    EXPECT_TRUE(Logged("64 TELMOR> WarmStart()"));
    // The status answer in the run phase changes nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(CountRequests(net.sim, "P00001Q/"), 1u);
}

TEST_F(NetworkStartup, TwoInstancesOnTwoLinesSideBySide) {
    Network first({{1, true}}, 1);
    Network second({{2, true}}, 2);
    ASSERT_EQ(first.driver.ColdStart(first.sim.SlavePath()), VPI_DONE);
    ASSERT_EQ(second.driver.ColdStart(second.sim.SlavePath()), VPI_DONE);
    ASSERT_TRUE(WaitUntil([&] {
        return first.driver.context().commState.load() == 5 && second.driver.context().commState.load() == 5;
    }));
    EXPECT_EQ(first.driver.context().stationPresent[1].load(), 1);
    EXPECT_EQ(first.driver.context().stationPresent[2].load(), 0);
    EXPECT_EQ(second.driver.context().stationPresent[2].load(), 1);
    EXPECT_EQ(second.driver.context().stationPresent[1].load(), 0);
    EXPECT_EQ(first.EndVpi(), VPI_DONE);
    EXPECT_EQ(second.driver.context().commState.load(), 5) << "ending one instance leaves the other running";
    EXPECT_EQ(second.EndVpi(), VPI_DONE);
}

// A close that fails has still released the handle (both backends make it
// stale first): keeping it would make every later CloseCom, and EndVpi, fail.
TEST_F(NetworkStartup, AFailedCloseLeavesNoDeadHandleBehind) {
    Network net;
    ASSERT_TRUE(net.Start());
    const auto port = net.driver.context().comHandle.load();
    EXPECT_EQ(net.driver.Call(VPI_CLOSE_COM), VPI_DONE);
    net.driver.context().comHandle.store(port);  // a handle that is already gone
    EXPECT_EQ(net.driver.Call(VPI_CLOSE_COM), VPI_UNABLE);
    EXPECT_TRUE(Logged("64 TELMOR> CloseCom() exited 2"));
    EXPECT_EQ(net.driver.context().comHandle.load(), 0u);
    EXPECT_EQ(net.driver.Call(VPI_REOPEN_COM), VPI_DONE);
    EXPECT_EQ(net.EndVpi(), VPI_DONE);
}

TEST_F(NetworkStartup, CloseAndReopenThePortWhileTheThreadRuns) {
    Network net;
    ASSERT_TRUE(net.Start());
    EXPECT_EQ(net.driver.Call(VPI_REOPEN_COM), VPI_UNABLE) << "the port is open and not shared";
    EXPECT_EQ(net.driver.Call(VPI_CLOSE_COM), VPI_DONE);
    EXPECT_EQ(net.driver.context().comHandle.load(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The read under way when the port closed ends with one failure; after that
    // the closed port is waited on, not read.
    EXPECT_LE(CountLogged("64 TELMOR> GetChar()"), 1u);
    EXPECT_EQ(net.driver.Call(VPI_REOPEN_COM), VPI_DONE);
    EXPECT_TRUE(Logged("64 TELMOR> ReOpenCom() exited 0"));
    VpiParams params{};
    SetPortName(params.portName, net.sim.SlavePath());
    params.timeout = -1;
    EXPECT_EQ(net.driver.Call(VPI_CHANGE_VPI_PARAMS, &params), VPI_DONE);
    EXPECT_EQ(net.driver.context().timeout.load(), 3000);
    // The line still works: a read goes through.
    Gate gate("012A05", 0);
    net.sim.SetValue(12, 'A', 5, 77);
    EXPECT_EQ(net.Read(gate), VPI_DONE);
    EXPECT_EQ(gate.Value16(), 77);
}

}  // namespace
}  // namespace telmor::test
