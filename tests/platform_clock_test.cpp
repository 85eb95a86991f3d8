// The driver's clock in the test build: 100 times faster than real time,
// monotonic, and pauses that keep their length through signals.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"

namespace telmor::platform {
namespace {

using Clock = std::chrono::steady_clock;

long long RealMsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(PlatformClock, TestBuildRunsOneHundredTimesFaster) {
    EXPECT_EQ(TimeFactor(), 100u);
}

TEST(PlatformClock, ToRealMsDividesByTheFactorAndNeverRoundsAWaitAway) {
    struct Case {
        uint32_t driverMs;
        uint32_t realMs;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {99, 1}, {100, 1}, {250, 2}, {1000, 10}, {4000, 40}, {60000, 600}};
    for (const Case& c : cases) EXPECT_EQ(ToRealMs(c.driverMs), c.realMs) << c.driverMs;
}

TEST(PlatformClock, SleepOfOneDriverSecondTakesAboutTenRealMs) {
    Clock::time_point start = Clock::now();
    uint64_t before = NowMs();
    SleepMs(1000);
    uint64_t driverElapsed = NowMs() - before;
    long long realElapsed = RealMsSince(start);
    EXPECT_GE(realElapsed, 10);
    EXPECT_LT(realElapsed, 500);
    EXPECT_GE(driverElapsed, 1000u);
    EXPECT_LT(driverElapsed, 50000u);
}

TEST(PlatformClock, NowMsNeverGoesBackwards) {
    uint64_t last = NowMs();
    for (int i = 0; i < 10000; ++i) {
        uint64_t now = NowMs();
        ASSERT_GE(now, last);
        last = now;
    }
}

std::atomic<int> g_signals{0};
void CountSignal(int) {
    g_signals.fetch_add(1);
}

TEST(PlatformClock, SleepKeepsItsLengthWhenSignalsInterruptIt) {
    struct sigaction action {};
    action.sa_handler = CountSignal;  // no SA_RESTART: nanosleep returns EINTR
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    pthread_t sleeper = pthread_self();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        while (!done.load()) {
            pthread_kill(sleeper, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Clock::time_point start = Clock::now();
    SleepMs(10000);  // 100 real ms
    long long realElapsed = RealMsSince(start);
    done.store(true);
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_GT(g_signals.load(), 2);
    EXPECT_GE(realElapsed, 100);
}

}  // namespace
}  // namespace telmor::platform
