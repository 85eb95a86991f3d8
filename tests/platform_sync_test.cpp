// Named mutexes and manual-reset events: one object per name, recursion and
// abandonment of mutexes, Set/Reset/Pulse of events, bounded waits on the
// fast test clock, and stale handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/handle.h"
#include "platform/sync.h"

namespace telmor::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a waiter thread to be inside its wait; the tests that use
// it give their waiters much longer time-outs.
void LetWaitersBlock() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

long long RealMsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A handle closed at the end of the test.
struct Owned {
    Handle handle;
    explicit Owned(Handle h) : handle(h) {}
    ~Owned() {
        if (handle != kNullHandle) CloseHandle(handle);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

TEST(PlatformEvent, SameNameIsTheSameObjectAndOtherNamesAreNot) {
    Owned first(CreateNamedEvent("TELMOR01EventSem"));
    Owned second(CreateNamedEvent("TELMOR01EventSem"));
    Owned other(CreateNamedEvent("TELMOR02EventSem"));
    ASSERT_NE(first.handle, kNullHandle);
    ASSERT_NE(second.handle, kNullHandle);
    ASSERT_NE(other.handle, kNullHandle);
    EXPECT_NE(first.handle, second.handle);

    ASSERT_TRUE(SetEvent(first.handle));
    EXPECT_EQ(WaitEvent(second.handle, 0), WaitResult::Signalled);
    EXPECT_EQ(WaitEvent(other.handle, 0), WaitResult::TimedOut);
}

TEST(PlatformEvent, ObjectLivesUntilItsLastHandleIsClosed) {
    Handle first = CreateNamedEvent("TELMOR03EventSem");
    Handle second = CreateNamedEvent("TELMOR03EventSem");
    ASSERT_TRUE(SetEvent(first));
    ASSERT_TRUE(CloseHandle(first));
    EXPECT_EQ(WaitEvent(second, 0), WaitResult::Signalled);
    ASSERT_TRUE(CloseHandle(second));

    // A new object of the old name starts reset.
    Owned again(CreateNamedEvent("TELMOR03EventSem"));
    EXPECT_EQ(WaitEvent(again.handle, 0), WaitResult::TimedOut);
}

TEST(PlatformHandles, ClosedHandlesFailWithoutReachingANewObject) {
    Handle stale = CreateNamedEvent("TELMOR04EventSem");
    ASSERT_TRUE(CloseHandle(stale));
    Owned fresh(CreateNamedEvent("TELMOR04EventSem"));

    EXPECT_FALSE(SetEvent(stale));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EBADF));
    EXPECT_EQ(WaitEvent(stale, 0), WaitResult::Failed);
    EXPECT_FALSE(CloseHandle(stale));
    EXPECT_FALSE(CloseHandle(kNullHandle));
    EXPECT_EQ(WaitEvent(fresh.handle, 0), WaitResult::TimedOut);  // the stale Set did not land here
}

TEST(PlatformHandles, KindsAreCheckedAndShareOneNamespace) {
    Owned mutex(CreateNamedMutex("TELMOR05MutexSem"));
    Owned event(CreateNamedEvent("TELMOR05EventSem"));
    EXPECT_EQ(CreateNamedEvent("TELMOR05MutexSem"), kNullHandle);
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EEXIST));
    EXPECT_FALSE(SetEvent(mutex.handle));
    EXPECT_EQ(WaitMutex(event.handle, 0), WaitResult::Failed);
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EBADF));
}

TEST(PlatformHandles, UnnamedObjectsAreAlwaysNew) {
    Owned first(CreateNamedEvent(nullptr));
    Owned second(CreateNamedEvent(""));
    ASSERT_NE(first.handle, kNullHandle);
    ASSERT_TRUE(SetEvent(first.handle));
    EXPECT_EQ(WaitEvent(second.handle, 0), WaitResult::TimedOut);
}

TEST(PlatformEvent, SetStaysSetUntilReset) {
    Owned event(CreateNamedEvent("TELMOR06EventSem"));
    ASSERT_TRUE(SetEvent(event.handle));
    EXPECT_EQ(WaitEvent(event.handle, 1000), WaitResult::Signalled);
    EXPECT_EQ(WaitEvent(event.handle, 1000), WaitResult::Signalled);
    ASSERT_TRUE(ResetEvent(event.handle));
    EXPECT_EQ(WaitEvent(event.handle, 0), WaitResult::TimedOut);
}

TEST(PlatformEvent, WaitTimesOutOnTheFastClock) {
    Owned event(CreateNamedEvent("TELMOR07EventSem"));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(WaitEvent(event.handle, 2000), WaitResult::TimedOut);  // 20 real ms
    long long elapsed = RealMsSince(start);
    EXPECT_GE(elapsed, 20);
    EXPECT_LT(elapsed, 1000);
}

// Starts `count` threads that wait on `event` for up to 100 real seconds
// and records what each wait returned.
struct Waiters {
    std::vector<std::thread> threads;
    std::vector<WaitResult> results;
    Waiters(Handle event, int count) : results(static_cast<size_t>(count), WaitResult::Failed) {
        for (int i = 0; i < count; ++i) {
            threads.emplace_back(
                [this, event, i] { results[static_cast<size_t>(i)] = WaitEvent(event, 10000000); });
        }
    }
    std::vector<WaitResult> Join() {
        for (std::thread& thread : threads) thread.join();
        return results;
    }
};

TEST(PlatformEvent, PulseReleasesTheWaitersOfThatMomentAndLeavesTheEventReset) {
    Owned event(CreateNamedEvent("TELMOR08EventSem"));
    Waiters waiters(event.handle, 3);
    LetWaitersBlock();
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(PulseEvent(event.handle));
    EXPECT_EQ(waiters.Join(), std::vector<WaitResult>(3, WaitResult::Signalled));
    EXPECT_LT(RealMsSince(start), 5000);
    // Nobody who comes later is released by that pulse.
    EXPECT_EQ(WaitEvent(event.handle, 1000), WaitResult::TimedOut);
}

TEST(PlatformEvent, SetAndAnImmediateResetStillReleaseEveryWaiter) {
    Owned event(CreateNamedEvent("TELMOR09EventSem"));
    Waiters waiters(event.handle, 3);
    LetWaitersBlock();
    ASSERT_TRUE(SetEvent(event.handle));
    ASSERT_TRUE(ResetEvent(event.handle));
    EXPECT_EQ(waiters.Join(), std::vector<WaitResult>(3, WaitResult::Signalled));
}

TEST(PlatformEvent, ClosingTheHandleDuringAWaitLeavesTheWaiterSafe) {
    Handle event = CreateNamedEvent("TELMOR10EventSem");
    WaitResult result = WaitResult::Failed;
    std::thread waiter([&] { result = WaitEvent(event, 20000); });  // 200 real ms
    LetWaitersBlock();
    ASSERT_TRUE(CloseHandle(event));
    waiter.join();
    EXPECT_EQ(result, WaitResult::TimedOut);
    EXPECT_FALSE(SetEvent(event));
}

TEST(PlatformMutex, IsRecursiveForItsOwnerAndExclusiveForOthers) {
    Owned mutex(CreateNamedMutex("TELMOR11MutexSem"));
    ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
    ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);

    auto otherThreadTries = [&](uint32_t timeoutMs) {
        WaitResult result = WaitResult::Failed;
        std::thread other([&] {
            result = WaitMutex(mutex.handle, timeoutMs);
            if (result == WaitResult::Signalled) ReleaseMutex(mutex.handle);
        });
        other.join();
        return result;
    };
    EXPECT_EQ(otherThreadTries(1000), WaitResult::TimedOut);
    ASSERT_TRUE(ReleaseMutex(mutex.handle));
    EXPECT_EQ(otherThreadTries(0), WaitResult::TimedOut);  // still held once
    ASSERT_TRUE(ReleaseMutex(mutex.handle));
    EXPECT_EQ(otherThreadTries(0), WaitResult::Signalled);

    EXPECT_FALSE(ReleaseMutex(mutex.handle));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EPERM));
}

TEST(PlatformMutex, OnlyTheOwnerMayRelease) {
    Owned mutex(CreateNamedMutex("TELMOR12MutexSem"));
    ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
    bool released = true;
    std::thread other([&] { released = ReleaseMutex(mutex.handle); });
    other.join();
    EXPECT_FALSE(released);
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
}

TEST(PlatformMutex, OwnerThatEndsWithoutReleasingAbandonsIt) {
    Owned mutex(CreateNamedMutex("TELMOR13MutexSem"));
    std::thread owner([&] {
        ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
        ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);  // held twice
    });
    owner.join();

    EXPECT_EQ(WaitMutex(mutex.handle, 1000), WaitResult::Abandoned);
    // The abandoned mutex is now ours, once.
    WaitResult other = WaitResult::Failed;
    std::thread tryer([&] { other = WaitMutex(mutex.handle, 0); });
    tryer.join();
    EXPECT_EQ(other, WaitResult::TimedOut);
    ASSERT_TRUE(ReleaseMutex(mutex.handle));
    EXPECT_FALSE(ReleaseMutex(mutex.handle));
    // Abandonment is reported once.
    EXPECT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
    ASSERT_TRUE(ReleaseMutex(mutex.handle));
}

TEST(PlatformMutex, AbandonmentWakesAThreadAlreadyWaiting) {
    Owned mutex(CreateNamedMutex("TELMOR14MutexSem"));
    Owned ownerHolds(CreateNamedEvent(nullptr));
    Owned ownerMayEnd(CreateNamedEvent(nullptr));
    std::thread owner([&] {
        EXPECT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
        SetEvent(ownerHolds.handle);
        WaitEvent(ownerMayEnd.handle, 10000000);
    });
    ASSERT_EQ(WaitEvent(ownerHolds.handle, 10000000), WaitResult::Signalled);
    WaitResult result = WaitResult::Failed;
    std::thread waiter([&] {
        result = WaitMutex(mutex.handle, 10000000);
        if (result != WaitResult::TimedOut && result != WaitResult::Failed) ReleaseMutex(mutex.handle);
    });
    LetWaitersBlock();
    SetEvent(ownerMayEnd.handle);
    owner.join();
    waiter.join();
    EXPECT_EQ(result, WaitResult::Abandoned);
}

TEST(PlatformMutex, WaitTimesOutOnTheFastClock) {
    Owned mutex(CreateNamedMutex("TELMOR15MutexSem"));
    ASSERT_EQ(WaitMutex(mutex.handle, 0), WaitResult::Signalled);
    WaitResult result = WaitResult::Failed;
    long long elapsed = 0;
    std::thread other([&] {
        Clock::time_point start = Clock::now();
        result = WaitMutex(mutex.handle, 3000);  // 30 real ms
        elapsed = RealMsSince(start);
    });
    other.join();
    EXPECT_EQ(result, WaitResult::TimedOut);
    EXPECT_GE(elapsed, 30);
    EXPECT_LT(elapsed, 1000);
    ReleaseMutex(mutex.handle);
}

TEST(PlatformMutex, KeepsItsHoldersApart) {
    Handle mutex = CreateNamedMutex("TELMOR16MutexSem");
    Owned second(CreateNamedMutex("TELMOR16MutexSem"));  // the same mutex through another handle
    int counter = 0;                                     // guarded by the mutex only
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        Handle use = t % 2 == 0 ? mutex : second.handle;
        threads.emplace_back([&, use] {
            for (int i = 0; i < 2000; ++i) {
                if (WaitMutex(use, 10000000) != WaitResult::Signalled) {
                    failures.fetch_add(1);
                    continue;
                }
                ++counter;
                ReleaseMutex(use);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(counter, 8000);
    CloseHandle(mutex);
}

}  // namespace
}  // namespace telmor::platform
