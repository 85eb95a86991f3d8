// Detached driver threads with a stack the driver safely fits in.
#include "platform/thread.h"

#include "platform/start_records.h"
#include "platform/win32/handle_table.h"

namespace telmor::platform {
namespace {

// The driver asks for 4096 bytes. Windows reserves whole 64 KiB units and
// commits pages as the stack grows, so 64 KiB costs nothing more than the
// request and leaves room for one log line formatted by the host's `err`
// (its buffer and vsnprintf) on top of the driver's own frames. Wine gives
// every thread at least 1 MiB whatever is asked.
constexpr uint32_t kMinimumStackBytes = 64 * 1024;

StartRecord* TakeStartRecord(ThreadEntry entry, void* arg, uint32_t value) {
    const ULONGLONG deadline = GetTickCount64() + kStartRecordWaitMs;
    for (;;) {
        StartRecord* record = TryTakeStartRecord(entry, arg, value);
        if (record != nullptr || GetTickCount64() >= deadline) return record;
        Sleep(1);
    }
}

DWORD WINAPI RunThread(LPVOID raw) {
    const ThreadStart start = TakeOverStartRecord(static_cast<StartRecord*>(raw));
    start.entry(start.arg, start.value);
    return 0;
}

}  // namespace

bool StartThread(ThreadEntry entry, void* arg, uint32_t value, uint32_t stackBytes) {
    if (entry == nullptr) return win32::Fail(ERROR_INVALID_PARAMETER);
    StartRecord* record = TakeStartRecord(entry, arg, value);
    if (record == nullptr) return win32::Fail(ERROR_NOT_ENOUGH_MEMORY);
    const SIZE_T reserve = stackBytes > kMinimumStackBytes ? stackBytes : kMinimumStackBytes;
    HANDLE thread =
        CreateThread(nullptr, reserve, RunThread, record, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        const DWORD error = GetLastError();
        FreeStartRecord(record);
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
