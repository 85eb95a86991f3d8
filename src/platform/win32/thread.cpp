// Detached driver threads with a stack the driver safely fits in.
#include "platform/thread.h"

#include <atomic>

#include "platform/win32/handle_table.h"

namespace telmor::platform {
namespace {

// The driver asks for 4096 bytes. Windows reserves whole 64 KiB units and
// commits pages as the stack grows, so 64 KiB costs nothing more than the
// request and leaves room for one log line formatted by the host's `err`
// (its buffer and vsnprintf) on top of the driver's own frames. Wine gives
// every thread at least 1 MiB whatever is asked.
constexpr uint32_t kMinimumStackBytes = 64 * 1024;

// Start records: a starter fills a free one, the new thread copies it out and
// frees it before running the routine, so only starts in flight hold one.
constexpr unsigned kStartRecordCount = 64;
constexpr ULONGLONG kStartRecordWaitMs = 2000;  // real ms

struct StartRecord {
    std::atomic<bool> busy{false};
    ThreadEntry entry = nullptr;
    void* arg = nullptr;
    uint32_t value = 0;
};

StartRecord g_startRecords[kStartRecordCount];

StartRecord* TryTakeStartRecord() {
    for (StartRecord& record : g_startRecords) {
        bool expected = false;
        if (record.busy.compare_exchange_strong(expected, true, std::memory_order_acquire)) return &record;
    }
    return nullptr;
}

// A burst of starts (a station read for every station that reports back)
// can find every record in flight; each is freed as soon as its thread runs,
// so the starter waits a little rather than fail.
StartRecord* TakeStartRecord() {
    const ULONGLONG deadline = GetTickCount64() + kStartRecordWaitMs;
    for (;;) {
        StartRecord* record = TryTakeStartRecord();
        if (record != nullptr || GetTickCount64() >= deadline) return record;
        Sleep(1);
    }
}

DWORD WINAPI RunThread(LPVOID raw) {
    StartRecord* record = static_cast<StartRecord*>(raw);
    const ThreadEntry entry = record->entry;
    void* const arg = record->arg;
    const uint32_t value = record->value;
    record->busy.store(false, std::memory_order_release);
    entry(arg, value);
    return 0;
}

}  // namespace

bool StartThread(ThreadEntry entry, void* arg, uint32_t value, uint32_t stackBytes) {
    if (entry == nullptr) return win32::Fail(ERROR_INVALID_PARAMETER);
    StartRecord* record = TakeStartRecord();
    if (record == nullptr) return win32::Fail(ERROR_NOT_ENOUGH_MEMORY);
    record->entry = entry;
    record->arg = arg;
    record->value = value;
    const SIZE_T reserve = stackBytes > kMinimumStackBytes ? stackBytes : kMinimumStackBytes;
    HANDLE thread =
        CreateThread(nullptr, reserve, RunThread, record, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        const DWORD error = GetLastError();
        record->busy.store(false, std::memory_order_release);
        return win32::Fail(error);
    }
    // Detached: the driver follows its threads' lives through its context.
    ::CloseHandle(thread);
    return true;
}

void YieldThread() {
    SwitchToThread();
}

// Not measured on Windows: the committed part of a stack grows in whole
// pages from a first commit that the image header sets, which would not
// tell the driver's own use.
uint32_t DeepestThreadStackUse() {
    return 0;
}

}  // namespace telmor::platform
