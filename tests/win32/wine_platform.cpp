// The Windows backend of the platform layer under Wine, on the test build's
// fast clock (every driver duration 100 times shorter): named kernel
// objects, threads, the clock, and the serial port on the null device and on
// a COM port whose far end (a pseudo-terminal of the simulator) stays quiet.
//
// usage: wine_platform COMn [part of a case name]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "check.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace {

using namespace telmor::platform;

std::string g_port = "COM5";

constexpr LineSettings k9600SevenEven{9600, 7, 2, 0, 0x0303};

// Real milliseconds on the performance counter: GetTickCount64 moves in
// steps too coarse for the fast clock's short waits.
ULONGLONG RealNow() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>(counter.QuadPart) * 1000u / static_cast<ULONGLONG>(frequency.QuadPart);
}

// Opens the COM port and says how it failed, if it did.
bool OpenPort(const char* name, Handle* port, std::string* note) {
    const int code = SerialOpen(name, k9600SevenEven, port);
    *note = "code " + std::to_string(code) + ", LastError " + std::to_string(LastError());
    return code == kSerialOpenOk;
}

// A read run to its end on its own thread, as the driver's receiver does it.
struct ReadOutcome {
    bool ok = false;
    uint32_t count = 0;
    uint8_t byte = 0;
    uint32_t error = 0;
    ULONGLONG elapsedMs = 0;
};

ReadOutcome ReadOnce(Handle port) {
    IoRecord io{kNullHandle, 0};
    uint8_t byte = 0;
    ReadOutcome outcome;
    const ULONGLONG start = RealNow();
    if (SerialStartRead(port, io, &byte, 1) == IoStart::Failed) {
        outcome.error = LastError();
        return outcome;
    }
    outcome.ok = SerialWaitResult(port, io, &outcome.count);
    outcome.byte = byte;
    outcome.error = outcome.ok ? 0 : LastError();
    outcome.elapsedMs = RealNow() - start;
    return outcome;
}

struct BackgroundRead {
    Handle port = kNullHandle;
    ReadOutcome outcome;
    std::atomic<bool> done{false};
};

void ReadInBackground(void* raw, uint32_t) {
    auto* read = static_cast<BackgroundRead*>(raw);
    read->outcome = ReadOnce(read->port);
    read->done.store(true);
}

bool WaitFor(const std::atomic<bool>& flag, ULONGLONG realMs) {
    const ULONGLONG until = RealNow() + realMs;
    while (!flag.load()) {
        if (RealNow() >= until) return false;
        Sleep(2);
    }
    return true;
}

bool WriteAll(Handle port, const std::string& bytes, uint32_t* written) {
    IoRecord io{kNullHandle, 0};
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (SerialStartWrite(port, io, data, static_cast<uint32_t>(bytes.size())) == IoStart::Failed)
        return false;
    return SerialWaitResult(port, io, written);
}

void NamedObjectsAreSharedByNameAndKind() {
    const Handle first = CreateNamedEvent("TELMORTEST01EventSem");
    const Handle second = CreateNamedEvent("TELMORTEST01EventSem");
    const Handle other = CreateNamedEvent("TELMORTEST02EventSem");
    CHECK(first != kNullHandle && second != kNullHandle && other != kNullHandle);
    CHECK(first != second);  // two handles of one object
    CHECK(SetEvent(first));
    CHECK(WaitEvent(second, 0) == WaitResult::Signalled);
    CHECK(WaitEvent(other, 0) == WaitResult::TimedOut);
    // The real kernel object: another component of the process finds it by name.
    HANDLE os = OpenEventA(SYNCHRONIZE, FALSE, "TELMORTEST01EventSem");
    CHECK(os != nullptr);
    if (os != nullptr) CloseHandle(os);
    // One namespace for both kinds, as on Windows.
    CHECK(CreateNamedMutex("TELMORTEST01EventSem") == kNullHandle);
    CHECK(LastError() == ERROR_INVALID_HANDLE);
    // Unnamed objects are always new ones.
    const Handle unnamedA = CreateNamedEvent("");
    const Handle unnamedB = CreateNamedEvent(nullptr);
    CHECK(SetEvent(unnamedA));
    CHECK(WaitEvent(unnamedB, 0) == WaitResult::TimedOut);
    for (Handle handle : {first, second, other, unnamedA, unnamedB}) CHECK(CloseHandle(handle));
}

void ClosedHandlesFailWithoutReachingANewObject() {
    const Handle old = CreateNamedEvent("TELMORTEST03EventSem");
    CHECK(CloseHandle(old));
    const Handle fresh = CreateNamedEvent("TELMORTEST03EventSem");
    CHECK(fresh != old);
    CHECK(!SetEvent(old));
    CHECK(LastError() == ERROR_INVALID_HANDLE);
    CHECK(!CloseHandle(old));
    CHECK(WaitEvent(fresh, 0) == WaitResult::TimedOut);  // the stale value did not set it
    CHECK(WaitMutex(fresh, 0) == WaitResult::Failed);    // kinds are checked
    CHECK(CloseHandle(fresh));
}

void EventsSetResetPulseAndTimeOutOnTheFastClock() {
    const Handle event = CreateNamedEvent("TELMORTEST04EventSem");
    CHECK(SetEvent(event));
    CHECK(WaitEvent(event, 0) == WaitResult::Signalled);
    CHECK(WaitEvent(event, 0) == WaitResult::Signalled);  // manual reset: stays set
    CHECK(ResetEvent(event));
    const ULONGLONG start = RealNow();
    CHECK(WaitEvent(event, 5000) == WaitResult::TimedOut);  // 50 real ms
    const ULONGLONG elapsed = RealNow() - start;
    CHECK_NOTE(elapsed >= 40 && elapsed < 1000, std::to_string(elapsed) + " ms");
    // A pulse releases a thread waiting at that moment and leaves it reset.
    struct Waiter {
        Handle event;
        WaitResult result = WaitResult::Failed;
        std::atomic<bool> done{false};
    } waiter{event};
    CHECK(StartThread(
        [](void* raw, uint32_t) {
            auto* w = static_cast<Waiter*>(raw);
            w->result = WaitEvent(w->event, 500000);  // 5 real s
            w->done.store(true);
        },
        &waiter, 0, 4096));
    Sleep(200);
    CHECK(PulseEvent(event));
    CHECK(WaitFor(waiter.done, 3000));
    CHECK(waiter.result == WaitResult::Signalled);
    CHECK(WaitEvent(event, 0) == WaitResult::TimedOut);
    CHECK(CloseHandle(event));
}

void MutexIsRecursiveOwnedAndAbandoned() {
    const Handle mutex = CreateNamedMutex("TELMORTEST05MutexSem");
    CHECK(WaitMutex(mutex, 0) == WaitResult::Signalled);
    CHECK(WaitMutex(mutex, 0) == WaitResult::Signalled);  // recursive for its owner
    struct Other {
        Handle mutex;
        WaitResult result = WaitResult::Failed;
        bool released = true;
        std::atomic<bool> done{false};
    } other{mutex};
    CHECK(StartThread(
        [](void* raw, uint32_t) {
            auto* o = static_cast<Other*>(raw);
            o->result = WaitMutex(o->mutex, 2000);  // 20 real ms
            o->released = ReleaseMutex(o->mutex);
            o->done.store(true);
        },
        &other, 0, 4096));
    CHECK(WaitFor(other.done, 3000));
    CHECK(other.result == WaitResult::TimedOut);
    CHECK(!other.released);  // only the owner may release
    CHECK(ReleaseMutex(mutex));
    CHECK(ReleaseMutex(mutex));
    CHECK(!ReleaseMutex(mutex));
    // An owner that ends without releasing abandons it to the next waiter.
    std::atomic<bool> taken{false};
    struct Owner {
        Handle mutex;
        std::atomic<bool>* taken;
    } owner{mutex, &taken};
    CHECK(StartThread(
        [](void* raw, uint32_t) {
            auto* o = static_cast<Owner*>(raw);
            WaitMutex(o->mutex, 0);
            o->taken->store(true);
        },
        &owner, 0, 4096));
    CHECK(WaitFor(taken, 3000));
    Sleep(100);  // let the owner end
    CHECK(WaitMutex(mutex, 100000) == WaitResult::Abandoned);
    CHECK(ReleaseMutex(mutex));
    CHECK(CloseHandle(mutex));
}

void ThreadsGetTheirArgumentAndValue() {
    struct Seen {
        void* arg = nullptr;
        uint32_t value = 0;
        std::atomic<bool> done{false};
    } seen;
    CHECK(StartThread(
        [](void* raw, uint32_t value) {
            auto* s = static_cast<Seen*>(raw);
            s->arg = raw;
            s->value = value;
            s->done.store(true);
        },
        &seen, 4711, 4096));
    CHECK(WaitFor(seen.done, 3000));
    CHECK(seen.arg == &seen);
    CHECK(seen.value == 4711u);
    CHECK(!StartThread(nullptr, nullptr, 0, 4096));
}

void ClockRunsOneHundredTimesFaster() {
    CHECK(TimeFactor() == 100u);
    CHECK(ToRealMs(1) == 1u);
    CHECK(ToRealMs(4000) == 40u);
    const uint64_t before = NowMs();
    const ULONGLONG start = RealNow();
    SleepMs(10000);  // 100 real ms
    const ULONGLONG elapsed = RealNow() - start;
    const uint64_t driverElapsed = NowMs() - before;
    CHECK_NOTE(elapsed >= 90 && elapsed < 1000, std::to_string(elapsed) + " ms");
    CHECK_NOTE(driverElapsed >= 9000 && driverElapsed < 100000, std::to_string(driverElapsed) + " driver ms");
}

void NullDeviceReadsWaitTheirTimeOutAndWritesSucceed() {
    Handle port = kNullHandle;
    CHECK(SerialOpen("NUL", k9600SevenEven, &port) == kSerialOpenOk);
    CHECK(SerialSetReadTimeout(port, 5000));  // 50 real ms
    uint32_t timeout = 0;
    CHECK(SerialGetReadTimeout(port, &timeout) && timeout == 5000u);
    // The device itself would report end of file at once; the receiver
    // would spin on that.
    const ReadOutcome read = ReadOnce(port);
    CHECK_NOTE(read.ok && read.count == 0, "error " + std::to_string(read.error));
    CHECK_NOTE(read.elapsedMs >= 40 && read.elapsedMs < 1000, std::to_string(read.elapsedMs) + " ms");
    uint32_t written = 0;
    CHECK(WriteAll(port, "P00000Q/", &written));
    CHECK(written == 8u);
    CHECK(SerialPurgeReceive(port));
    // A close ends a read that waits on another thread at once.
    CHECK(SerialSetReadTimeout(port, 1000000));  // 10 real s
    BackgroundRead background;
    background.port = port;
    CHECK(StartThread(ReadInBackground, &background, 0, 4096));
    Sleep(200);
    const ULONGLONG start = RealNow();
    CHECK(SerialClose(port));
    CHECK(WaitFor(background.done, 2000));
    CHECK_NOTE(RealNow() - start < 1000, std::to_string(RealNow() - start) + " ms");
    CHECK(!background.outcome.ok);
}

void ComPortOpensOnceReadsTimeOutAndWrites() {
    Handle port = kNullHandle;
    std::string note;
    CHECK_NOTE(OpenPort(g_port.c_str(), &port, &note), note);
    uint32_t timeout = 0;
    CHECK(SerialGetReadTimeout(port, &timeout) && timeout == 1000u);
    // Opened for exclusive use: a second open fails, whatever the spelling.
    Handle second = kNullHandle;
    const std::string lower = "com" + g_port.substr(3);
    CHECK(SerialOpen(g_port.c_str(), k9600SevenEven, &second) == kSerialOpenFailed);
    CHECK(LastError() == ERROR_ACCESS_DENIED);
    CHECK(SerialOpen(lower.c_str(), k9600SevenEven, &second) == kSerialOpenFailed);
    CHECK(SerialOpen(("\\\\.\\" + g_port).c_str(), k9600SevenEven, &second) == kSerialOpenFailed);
    CHECK(second == kNullHandle);
    // A read that reaches the time-out brings no byte and no error, however
    // the device reports it.
    CHECK(SerialSetReadTimeout(port, 4000));  // 40 real ms
    CHECK(SerialGetReadTimeout(port, &timeout) && timeout == 4000u);
    for (int round = 0; round < 3; ++round) {
        const ReadOutcome read = ReadOnce(port);
        CHECK_NOTE(read.ok && read.count == 0, "error " + std::to_string(read.error));
        CHECK_NOTE(read.elapsedMs >= 30 && read.elapsedMs < 2000, std::to_string(read.elapsedMs) + " ms");
    }
    // Both ways over the line: the simulator answers the status request
    // with one line, which arrives byte by byte.
    uint32_t written = 0;
    CHECK(WriteAll(port, "P00000Q/", &written));
    CHECK(written == 8u);
    CHECK(SerialSetReadTimeout(port, 200000));  // 2 real s
    std::string line;
    for (ReadOutcome read = ReadOnce(port); read.ok && read.count == 1; read = ReadOnce(port)) {
        line += static_cast<char>(read.byte);
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\n\r") == 0) break;
    }
    CHECK_NOTE(line.rfind("E06", 0) == 0 && line.size() >= 4 && line.compare(line.size() - 2, 2, "\n\r") == 0,
               "'" + line + "'");
    CHECK(SerialPurgeReceive(port));
    CHECK(SerialClose(port));
    CHECK(!SerialClose(port));
    CHECK_NOTE(OpenPort(g_port.c_str(), &port, &note), note);
    CHECK(CloseHandle(port));  // the generic close reaches the port as well
}

void CloseDuringAReadEndsItAndTheValueGoesStale() {
    Handle port = kNullHandle;
    std::string note;
    CHECK_NOTE(OpenPort(g_port.c_str(), &port, &note), note);
    CHECK(SerialSetReadTimeout(port, 1000000));  // 10 real s
    BackgroundRead background;
    background.port = port;
    CHECK(StartThread(ReadInBackground, &background, 0, 4096));
    Sleep(300);  // the read is pending in the device now
    const ULONGLONG start = RealNow();
    CHECK(SerialClose(port));
    CHECK(WaitFor(background.done, 3000));
    const ULONGLONG elapsed = RealNow() - start;
    CHECK_NOTE(elapsed < 1500, std::to_string(elapsed) + " ms");
    CHECK(!background.outcome.ok);
    CHECK_NOTE(background.outcome.error == ERROR_OPERATION_ABORTED, std::to_string(background.outcome.error));
    // The old value reaches nothing, also after the device was opened anew.
    Handle reopened = kNullHandle;
    CHECK_NOTE(OpenPort(g_port.c_str(), &reopened, &note), note);
    CHECK(reopened != port);
    IoRecord io{kNullHandle, 0};
    uint8_t byte = 0;
    CHECK(SerialStartRead(port, io, &byte, 1) == IoStart::Failed);
    CHECK(LastError() == ERROR_INVALID_HANDLE);
    CHECK(SerialClose(reopened));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_port = argv[1];
    return wintest::RunCases(
        {
            {"NamedObjectsAreSharedByNameAndKind", NamedObjectsAreSharedByNameAndKind},
            {"ClosedHandlesFailWithoutReachingANewObject", ClosedHandlesFailWithoutReachingANewObject},
            {"EventsSetResetPulseAndTimeOutOnTheFastClock", EventsSetResetPulseAndTimeOutOnTheFastClock},
            {"MutexIsRecursiveOwnedAndAbandoned", MutexIsRecursiveOwnedAndAbandoned},
            {"ThreadsGetTheirArgumentAndValue", ThreadsGetTheirArgumentAndValue},
            {"ClockRunsOneHundredTimesFaster", ClockRunsOneHundredTimesFaster},
            {"NullDeviceReadsWaitTheirTimeOutAndWritesSucceed",
             NullDeviceReadsWaitTheirTimeOutAndWritesSucceed},
            {"ComPortOpensOnceReadsTimeOutAndWrites", ComPortOpensOnceReadsTimeOutAndWrites},
            {"CloseDuringAReadEndsItAndTheValueGoesStale", CloseDuringAReadEndsItAndTheValueGoesStale},
        },
        argc > 2 ? argv[2] : nullptr);
}
