// Detached driver threads with a stack size the OS accepts, and the record
// of the deepest stack use they reached.
#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/posix/handle_table.h"
#include "platform/posix/real_time.h"
#include "platform/posix/stack_probe.h"
#include "platform/start_records.h"

namespace telmor::platform {
namespace {

// The driver asks for 4096 bytes, below what Linux accepts (16 KiB). A
// thread that formats one log line with vsnprintf (several conversions into
// a 512-byte buffer) reaches about 4 KiB below its first frame, and glibc
// keeps about 4.5 KiB at the top of the stack for the thread descriptor and
// TLS; 64 KiB leaves ample room for the driver's line buffers and whatever
// the host's log service does on top.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint32_t kMinimumStackBytes = 256 * 1024;  // sanitizer frames are several times larger
#else
constexpr uint32_t kMinimumStackBytes = 64 * 1024;
#endif

std::atomic<uint32_t> g_deepestStackUse{0};

StartRecord* TakeStartRecord(ThreadEntry entry, void* arg, uint32_t value) {
    timespec deadline = posix::DeadlineAfter(kStartRecordWaitMs);
    for (;;) {
        StartRecord* record = TryTakeStartRecord(entry, arg, value);
        if (record != nullptr || posix::MsUntil(deadline) == 0) return record;
        timespec pause{0, 200000};
        nanosleep(&pause, nullptr);
    }
}

void NoteStackUse(uint32_t used) {
    uint32_t deepest = g_deepestStackUse.load(std::memory_order_relaxed);
    while (used > deepest &&
           !g_deepestStackUse.compare_exchange_weak(deepest, used, std::memory_order_relaxed)) {
    }
}

void* RunThread(void* raw) {
    const ThreadStart start = TakeOverStartRecord(static_cast<StartRecord*>(raw));
    if (!MeasuresThreadStacks()) {
        start.entry(start.arg, start.value);
        return nullptr;
    }
    posix::StackWindow window = posix::PaintUnusedStack();
    start.entry(start.arg, start.value);
    NoteStackUse(posix::MeasureStackUse(window));
    return nullptr;
}

size_t StackSizeFor(uint32_t requested) {
    size_t size = requested > kMinimumStackBytes ? requested : kMinimumStackBytes;
    long page = sysconf(_SC_PAGESIZE);
    size_t pageBytes = page > 0 ? static_cast<size_t>(page) : 4096;
    return (size + pageBytes - 1) / pageBytes * pageBytes;
}

int CreateDetached(StartRecord* record, uint32_t stackBytes) {
    pthread_attr_t attr;
    int error = pthread_attr_init(&attr);
    if (error != 0) return error;
    error = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (error == 0) error = pthread_attr_setstacksize(&attr, StackSizeFor(stackBytes));
    pthread_t thread;
    if (error == 0) error = pthread_create(&thread, &attr, RunThread, record);
    pthread_attr_destroy(&attr);
    return error;
}

}  // namespace

bool StartThread(ThreadEntry entry, void* arg, uint32_t value, uint32_t stackBytes) {
    if (entry == nullptr) return posix::Fail(EINVAL);
    StartRecord* record = TakeStartRecord(entry, arg, value);
    if (record == nullptr) return posix::Fail(EAGAIN);
    int error = CreateDetached(record, stackBytes);
    if (error == 0) return true;
    FreeStartRecord(record);
    return posix::Fail(error);
}

void YieldThread() {
    sched_yield();
}

uint32_t DeepestThreadStackUse() {
    return g_deepestStackUse.load(std::memory_order_relaxed);
}

}  // namespace telmor::platform
