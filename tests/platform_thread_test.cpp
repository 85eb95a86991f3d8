// Driver threads: the start hands over its argument and value, the stack the
// driver asks for (4096 bytes) is raised to one that works, and the deepest
// stack use is measured.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "platform/handle.h"
#include "platform/thread.h"
#include "support/scenario.h"

namespace telmor::platform {
namespace {

constexpr uint32_t kDriverStackRequest = 4096;

struct Handover {
    std::atomic<void*> arg{nullptr};
    std::atomic<uint32_t> value{0};
    std::atomic<int> runs{0};
};

void RecordHandover(void* arg, uint32_t value) {
    Handover* handover = static_cast<Handover*>(arg);
    handover->arg.store(arg);
    handover->value.store(value);
    handover->runs.fetch_add(1);
}

TEST(PlatformThread, StartHandsOverArgumentAndValue) {
    Handover handover;
    ASSERT_TRUE(StartThread(RecordHandover, &handover, 0xDEADBEEF, kDriverStackRequest));
    ASSERT_TRUE(telmor::test::WaitUntil([&] { return handover.runs.load() == 1; }));
    EXPECT_EQ(handover.arg.load(), &handover);
    EXPECT_EQ(handover.value.load(), 0xDEADBEEFu);
}

TEST(PlatformThread, ManyStartsInARowAllRun) {
    static Handover handover;  // outlives the test even if a start fails
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(StartThread(RecordHandover, &handover, 1, kDriverStackRequest)) << i;
    EXPECT_TRUE(telmor::test::WaitUntil([&] { return handover.runs.load() == 300; }));
}

TEST(PlatformThread, RefusesANullRoutine) {
    EXPECT_FALSE(StartThread(nullptr, nullptr, 0, kDriverStackRequest));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(EINVAL));
}

// What the host's log service does with a driver log line: printf-family
// formatting into a buffer on the stack.
__attribute__((format(printf, 1, 2), noinline)) int FormatLikeTheLog(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    return length + line[0];
}

std::atomic<int> g_formatted{0};

void FormatALogLine(void*, uint32_t value) {
    FormatLikeTheLog("TELMOR> %s() error, '%s' %u %f %e %g", "GetChar", "012A05", value, 3.25 * value,
                     1.0e300 / value, 2.5e-300 * value);
    g_formatted.fetch_add(1);
}

void DoNothing(void*, uint32_t) {
    g_formatted.fetch_add(1);
}

TEST(PlatformThread, MeasuresTheDeepestStackUseOfEndedThreads) {
    // A thread that does nothing shows what the thread itself costs; one that
    // formats a log line must show more.
    ASSERT_TRUE(StartThread(DoNothing, nullptr, 0, kDriverStackRequest));
    ASSERT_TRUE(
        telmor::test::WaitUntil([] { return g_formatted.load() == 1 && DeepestThreadStackUse() != 0; }));
    uint32_t idle = DeepestThreadStackUse();

    ASSERT_TRUE(StartThread(FormatALogLine, nullptr, 7, kDriverStackRequest));
    ASSERT_TRUE(
        telmor::test::WaitUntil([&] { return g_formatted.load() == 2 && DeepestThreadStackUse() > idle; }));
    uint32_t formatting = DeepestThreadStackUse();

    std::printf("stack use: idle thread %u bytes, thread formatting a log line %u bytes\n", idle, formatting);
    RecordProperty("idle_stack_bytes", static_cast<int>(idle));
    RecordProperty("formatting_stack_bytes", static_cast<int>(formatting));
    EXPECT_GT(formatting, idle + 512);  // at least the line buffer
    // The backend's minimum stack is 64 KiB (256 KiB under sanitizers); a
    // log line must leave most of it free.
    EXPECT_LT(formatting, 32u * 1024u);
}

}  // namespace
}  // namespace telmor::platform
