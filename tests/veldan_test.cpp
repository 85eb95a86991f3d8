// The stand-in host library: gate registry, raw layouts and scaling, the log
// and its sinks, the call record, forced results and callbacks.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "veldan_host.h"

namespace {

using ErrFn = int (*)(int, const char*, ...);

// The host library's own `err`, looked up on its handle: a plain call could
// bind to the C library's `err`, which exits.
ErrFn HostErr() {
    static const ErrFn fn = [] {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&VeldanReset), &info) == 0) std::abort();
        void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
        if (library == nullptr) std::abort();
        return reinterpret_cast<ErrFn>(dlsym(library, "err"));
    }();
    return fn;
}

std::string LogText(size_t index, int* level = nullptr) {
    char text[1100] = {};
    if (VeldanGetLogLine(index, level, text, sizeof text) != 0) return "<none>";
    return text;
}

VeldanCall Call(size_t index) {
    VeldanCall call{};
    EXPECT_EQ(VeldanGetCall(index, &call), 0) << "no call " << index;
    return call;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class VeldanTest : public ::testing::Test {
protected:
    void SetUp() override { VeldanReset(); }
    void TearDown() override {
        VeldanLogToStderr(0);
        VeldanLogToFile(nullptr);
        VeldanSetLogMask(3);
        VeldanSetLogCallback(nullptr, nullptr);
        VeldanSetPutCallback(nullptr, nullptr);
        VeldanSetCommStatusCallback(nullptr, nullptr);
        VeldanReset();
    }

    uint32_t Define(int instance, const char* address, int gateType) {
        uint32_t id = 0;
        EXPECT_EQ(VeldanDefineGate(instance, address, gateType, &id), 0) << address;
        return id;
    }
};

TEST_F(VeldanTest, RegistryKeepsInstancesApartAndRefusesBadGates) {
    const uint32_t a = Define(1, "012A05", 0);
    const uint32_t b = Define(2, "012A05", 0);
    EXPECT_NE(a, b);
    EXPECT_NE(a, 0u);
    EXPECT_NE(VeldanDefineGate(1, "012A05", 1, nullptr), 0) << "same address twice in one instance";
    EXPECT_EQ(VeldanGateCount(), 2u);

    uint32_t id = 0;
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 2, "012A05", &id), 0);
    EXPECT_EQ(id, b);
    id = 77;
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 3, "012A05", &id), VELDAN_NO_SUCH_GATE);
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 1, "012a05", &id), VELDAN_NO_SUCH_GATE) << "letters are exact";
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 1, "012A0", &id), VELDAN_NO_SUCH_GATE);
    EXPECT_EQ(id, 77u) << "a failed lookup leaves the id alone";
    EXPECT_NE(KoriGetGateIdByAddressStr(1, 1, "012A05", &id), 0) << "reserved argument must be 0";
    EXPECT_NE(KoriGetGateIdByAddressStr(0, 1, nullptr, &id), 0);
    EXPECT_NE(KoriGetGateIdByAddressStr(0, 1, "012A05", nullptr), 0);

    struct Bad {
        int instance;
        const char* address;
        int gateType;
    };
    const Bad bad[] = {{-1, "X", 0},
                       {256, "X", 0},
                       {0, nullptr, 0},
                       {0, "", 0},
                       {0, "X", -1},
                       {0, "X", 8},
                       {0, "0123456789012345678901234567890123", 0}};
    for (const Bad& gate : bad) {
        EXPECT_NE(VeldanDefineGate(gate.instance, gate.address, gate.gateType, nullptr), 0)
            << gate.instance << " '" << (gate.address ? gate.address : "(null)") << "' " << gate.gateType;
    }

    VeldanReset();
    EXPECT_EQ(VeldanGateCount(), 0u);
    double value = 0;
    EXPECT_EQ(KoriCook(0, a, 0, &value), VELDAN_NO_SUCH_GATE) << "an id from before the reset is unknown";
    EXPECT_NE(Define(1, "012A05", 0), a) << "ids are not reused";
}

TEST_F(VeldanTest, CookReadsTheValueAreaLayoutOfTheGateType) {
    struct Case {
        int gateType;
        uint32_t raw;
        double expected;
    };
    // The low word of 8- and 16-bit values carries no value: it holds junk here.
    const Case cases[] = {
        {0, 0x007B1234u, 123.0},        {0, 0xFFFF0000u, 65535.0},  {0, 0x8000FFFFu, 32768.0},
        {1, 0xFFFF1234u, -1.0},         {1, 0x80000000u, -32768.0}, {1, 0x7FFFFFFFu, 32767.0},
        {1, 0xF060ABCDu, -4000.0},      {2, 0xFFFF0000u, 65535.0},  {3, 0x00050000u, 5.0},
        {6, 0x00135555u, 19.0},         {4, 0x0001E240u, 123456.0}, {4, 0x05F5E0FFu, 99999999.0},
        {5, 0xFFFFFFFFu, 4294967295.0}, {5, 0x0000FFFFu, 65535.0},
    };
    for (const Case& c : cases) {
        VeldanReset();
        const uint32_t id = Define(0, "G", c.gateType);
        double value = -12345.0;
        ASSERT_EQ(KoriCook(0, id, c.raw, &value), 0) << "type " << c.gateType;
        EXPECT_EQ(value, c.expected) << "type " << c.gateType << " raw 0x" << std::hex << c.raw;
    }

    const uint32_t text = Define(0, "!1", 7);
    double value = 5.0;
    EXPECT_NE(KoriCook(0, text, 0x00010000u, &value), 0) << "a text gate has no raw layout";
    EXPECT_EQ(value, 5.0);
}

TEST_F(VeldanTest, ScaleAppliesAfterTheLayoutAndPutKeepsValueRawCountAndTime) {
    const uint32_t analog = Define(0, "012C05", 1);
    const uint32_t bit = Define(0, "012H053", 6);
    ASSERT_EQ(VeldanSetScale(analog, 0.5, 10.0), 0);
    EXPECT_NE(VeldanSetScale(9999, 1.0, 0.0), 0);

    double cooked = 0;
    ASSERT_EQ(KoriCook(0, analog, 0xFFFE0000u, &cooked), 0);
    EXPECT_EQ(cooked, 9.0);  // -2 * 0.5 + 10

    const auto before = std::chrono::system_clock::now().time_since_epoch();
    ASSERT_EQ(KoriPutGateVal(0, analog, 2, cooked, 0, 0), 0);
    ASSERT_EQ(KoriPutGateVal(0, bit, 2, 1.0, 0, 0), 0);
    const auto after = std::chrono::system_clock::now().time_since_epoch();

    double value = 0;
    uint32_t raw = 0, count = 0;
    int64_t when = 0;
    ASSERT_EQ(VeldanGetGate(analog, &value, &raw, &count, &when), 0);
    EXPECT_EQ(value, 9.0);
    EXPECT_EQ(raw, 0xFFFE0000u) << "the raw value the cook got";
    EXPECT_EQ(count, 1u);
    EXPECT_GE(when, std::chrono::duration_cast<std::chrono::nanoseconds>(before).count());
    EXPECT_LE(when, std::chrono::duration_cast<std::chrono::nanoseconds>(after).count());

    ASSERT_EQ(VeldanGetGate(bit, &value, &raw, &count, nullptr), 0);
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(raw, 1u) << "a bit put without a cook keeps the bit as raw value";

    ASSERT_EQ(KoriPutGateVal(0, bit, 2, 0.0, 0, 0), 0);
    ASSERT_EQ(VeldanGetGate(bit, &value, &raw, &count, nullptr), 0);
    EXPECT_EQ(raw, 0u) << "a cook's raw value does not stick to later puts";
    EXPECT_EQ(count, 2u);

    EXPECT_EQ(KoriPutGateVal(0, 9999, 2, 1.0, 0, 0), VELDAN_NO_SUCH_GATE);
    EXPECT_NE(KoriPutGateVal(0, analog, 1, 1.0, 0, 0), 0) << "only kind 2 is served";
    EXPECT_NE(KoriPutGateVal(0, analog, 2, 1.0, 1, 0), 0);
    EXPECT_NE(KoriPutGateVal(3, analog, 2, 1.0, 0, 0), 0);
    ASSERT_EQ(VeldanGetGate(analog, &value, nullptr, &count, nullptr), 0);
    EXPECT_EQ(count, 1u) << "refused puts store nothing";
    EXPECT_EQ(value, 9.0);
}

TEST_F(VeldanTest, EveryServiceCallIsRecordedInOrder) {
    const uint32_t id = Define(4, "012A05", 0);
    uint32_t found = 0;
    double value = 0;
    KoriGetGateIdByAddressStr(0, 4, "012A05", &found);
    KoriGetGateIdByAddressStr(0, 4, "999A99", &found);
    KoriCook(0, id, 0x002A0000u, &value);
    KoriPutGateVal(0, id, 2, value, 0, 0);
    KoriSetPlcCommStatus(0, 4, 12, 1, 1);
    ASSERT_EQ(VeldanCallCount(), 5u);

    VeldanCall call = Call(0);
    EXPECT_EQ(call.kind, VELDAN_CALL_LOOKUP);
    EXPECT_EQ(call.instance, 4);
    EXPECT_STREQ(call.address, "012A05");
    EXPECT_EQ(call.gateId, id);
    EXPECT_EQ(call.result, 0);

    call = Call(1);
    EXPECT_STREQ(call.address, "999A99");
    EXPECT_EQ(call.result, VELDAN_NO_SUCH_GATE);

    call = Call(2);
    EXPECT_EQ(call.kind, VELDAN_CALL_COOK);
    EXPECT_STREQ(call.address, "012A05") << "cook names the gate's address";
    EXPECT_EQ(call.gateId, id);
    EXPECT_EQ(call.raw, 0x002A0000u);
    EXPECT_EQ(call.result, 0);

    call = Call(3);
    EXPECT_EQ(call.kind, VELDAN_CALL_PUT);
    EXPECT_STREQ(call.address, "012A05");
    EXPECT_EQ(call.value, 42.0);
    EXPECT_EQ(call.putKind, 2);
    EXPECT_EQ(call.a, 0);
    EXPECT_EQ(call.b, 0);

    call = Call(4);
    EXPECT_EQ(call.kind, VELDAN_CALL_COMM_STATUS);
    EXPECT_EQ(call.instance, 4);
    EXPECT_EQ(call.station, 12u);
    EXPECT_EQ(call.a, 1);
    EXPECT_EQ(call.b, 1);
    EXPECT_EQ(call.result, 0);

    EXPECT_NE(VeldanGetCall(5, &call), 0);

    // A lookup address longer than the record's field is cut, not overrun.
    const std::string longAddress(40, 'x');
    KoriGetGateIdByAddressStr(0, 4, longAddress.c_str(), &found);
    EXPECT_EQ(std::string(Call(5).address), longAddress.substr(0, 31));
}

TEST_F(VeldanTest, ForcedResultsFailTheServiceUntilCleared) {
    const uint32_t id = Define(0, "012A05", 0);
    const uint32_t other = Define(0, "012A06", 0);
    uint32_t found = 99;
    double value = 7.0;

    VeldanForceResult(VELDAN_CALL_LOOKUP, "012A05", 9);
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 0, "012A05", &found), 9);
    EXPECT_EQ(found, 99u);
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 0, "012A06", &found), 0) << "other addresses are not forced";

    VeldanForceResult(VELDAN_CALL_COOK, "012A05", 4);
    EXPECT_EQ(KoriCook(0, id, 0x00010000u, &value), 4);
    EXPECT_EQ(value, 7.0);
    EXPECT_EQ(KoriCook(0, other, 0x00010000u, &value), 0);

    VeldanForceResult(VELDAN_CALL_PUT, "012A05", 6);
    EXPECT_EQ(KoriPutGateVal(0, id, 2, 1.0, 0, 0), 6);
    uint32_t count = 5;
    ASSERT_EQ(VeldanGetGate(id, nullptr, nullptr, &count, nullptr), 0);
    EXPECT_EQ(count, 0u);

    VeldanForceResult(VELDAN_CALL_COMM_STATUS, nullptr, 3);
    EXPECT_EQ(KoriSetPlcCommStatus(0, 0, 12, 1, 1), 3);
    EXPECT_EQ(Call(VeldanCallCount() - 1).result, 3) << "the record shows the forced result";

    for (int kind : {VELDAN_CALL_LOOKUP, VELDAN_CALL_COOK, VELDAN_CALL_PUT})
        VeldanForceResult(kind, "012A05", 0);
    VeldanForceResult(VELDAN_CALL_COMM_STATUS, nullptr, 0);
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 0, "012A05", &found), 0);
    EXPECT_EQ(KoriCook(0, id, 0x00010000u, &value), 0);
    EXPECT_EQ(KoriPutGateVal(0, id, 2, 1.0, 0, 0), 0);
    EXPECT_EQ(KoriSetPlcCommStatus(0, 0, 12, 1, 1), 0);

    VeldanForceResult(VELDAN_CALL_LOOKUP, "012A05", 9);
    VeldanReset();
    Define(0, "012A05", 0);
    EXPECT_EQ(KoriGetGateIdByAddressStr(0, 0, "012A05", &found), 0) << "a reset clears forcings";
}

TEST_F(VeldanTest, ErrKeepsEveryLineAndWritesOnlyEnabledLevelsToTheSinks) {
    char path[] = "/tmp/veldan_log_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(VeldanLogToFile(path), 0);
    VeldanLogToStderr(1);
    VeldanSetLogMask(1);  // level 32 only

    testing::internal::CaptureStderr();
    HostErr()(32, "TELMOR> ColdStart() error, port '%s' err %u", "COM5", 2u);
    HostErr()(64, "TELMOR> GetVpiInfo() exited");
    HostErr()(7, "odd level");
    const std::string toStderr = testing::internal::GetCapturedStderr();
    VeldanLogToStderr(0);
    VeldanLogToFile(nullptr);

    ASSERT_EQ(VeldanLogCount(), 3u) << "the in-memory record keeps all levels";
    int level = 0;
    EXPECT_EQ(LogText(0, &level), "TELMOR> ColdStart() error, port 'COM5' err 2");
    EXPECT_EQ(level, 32);
    EXPECT_EQ(LogText(1, &level), "TELMOR> GetVpiInfo() exited");
    EXPECT_EQ(level, 64);
    const std::string expected = "[32] TELMOR> ColdStart() error, port 'COM5' err 2\n[7] odd level\n";
    EXPECT_EQ(toStderr, expected);
    EXPECT_EQ(ReadFile(path), expected);

    // Reopening appends; mask 2 lets level 64 through.
    ASSERT_EQ(VeldanLogToFile(path), 0);
    VeldanSetLogMask(2);
    HostErr()(32, "major");
    HostErr()(64, "trace");
    VeldanLogToFile(nullptr);
    EXPECT_EQ(ReadFile(path), expected + "[64] trace\n");
    std::remove(path);

    EXPECT_NE(VeldanLogToFile("/nonexistent-dir/log"), 0);
}

TEST_F(VeldanTest, LogLinesAreCutToTheBufferNotOverrun) {
    const std::string longText(3000, 'y');
    HostErr()(64, "TELMOR> %s", longText.c_str());
    const std::string line = LogText(0);
    EXPECT_GE(line.size(), 1000u);
    EXPECT_LT(line.size(), 3000u);
    EXPECT_EQ(line.substr(0, 10), "TELMOR> yy");

    char small[6];
    int level = 0;
    ASSERT_EQ(VeldanGetLogLine(0, &level, small, sizeof small), 0);
    EXPECT_STREQ(small, "TELMO");
    EXPECT_NE(VeldanGetLogLine(1, &level, small, sizeof small), 0);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Deepest use of a painted thread stack by `body`, in bytes. The thread's own
// record at the top of the stack is counted too; compare two bodies.
size_t StackUse(void* (*body)(void*)) {
    constexpr size_t kStackBytes = 64 * 1024;
    constexpr unsigned char kPaint = 0xA5;
    auto* stack = static_cast<unsigned char*>(std::aligned_alloc(4096, kStackBytes));
    if (stack == nullptr) return SIZE_MAX;
    std::memset(stack, kPaint, kStackBytes);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstack(&attr, stack, kStackBytes);
    pthread_t thread;
    size_t used = SIZE_MAX;
    if (pthread_create(&thread, &attr, body, nullptr) == 0) {
        pthread_join(thread, nullptr);
        size_t untouched = 0;
        while (untouched < kStackBytes && stack[untouched] == kPaint) ++untouched;
        used = kStackBytes - untouched;
    }
    pthread_attr_destroy(&attr);
    std::free(stack);
    return used;
}

// The driver's threads have small stacks: logging must not need much of one,
// also with both sinks on (an unbuffered stderr is where stdio would put a
// large buffer on the stack).
TEST_F(VeldanTest, ErrNeedsLittleStack) {
    if (kSanitized) GTEST_SKIP() << "sanitizer frames are larger and poison the painted stack";
    VeldanLogToFile("/dev/null");
    VeldanLogToStderr(1);
    testing::internal::CaptureStderr();
    const size_t idle = StackUse([](void*) -> void* { return nullptr; });
    const size_t logging = StackUse([](void*) -> void* {
        HostErr()(32, "TELMOR> ColdStart() error, cannot open port '%s', err %u, %02u%%", "/dev/pts/12", 2u,
                  7u);
        return nullptr;
    });
    testing::internal::GetCapturedStderr();
    ASSERT_NE(logging, SIZE_MAX);
    ASSERT_EQ(VeldanLogCount(), 1u);
    EXPECT_LT(logging - idle, 6u * 1024u) << "err used " << logging - idle << " bytes of stack";
}

struct Seen {
    std::vector<std::string> lines;
    std::vector<std::string> puts;
    std::vector<uint32_t> raws;
    std::vector<std::string> reports;
    size_t logCountInCallback = 0;
};

TEST_F(VeldanTest, CallbacksSeeLinesAndPutsAndMayCallBackIn) {
    Seen seen;
    VeldanSetLogCallback(
        [](void* user, int level, const char* text) {
            auto* s = static_cast<Seen*>(user);
            s->lines.push_back(std::to_string(level) + " " + text);
            s->logCountInCallback = VeldanLogCount();  // must not deadlock
        },
        &seen);
    VeldanSetPutCallback(
        [](void* user, uint32_t, const char* address, double value, uint32_t raw) {
            uint32_t count = 0;
            uint32_t id = 0;
            VeldanFindGate(0, address, &id);
            VeldanGetGate(id, nullptr, nullptr, &count, nullptr);
            static_cast<Seen*>(user)->puts.push_back(std::string(address) + "=" + std::to_string(value) +
                                                     " #" + std::to_string(count));
            static_cast<Seen*>(user)->raws.push_back(raw);
        },
        &seen);
    VeldanSetCommStatusCallback(
        [](void* user, int instance, uint32_t station, int a, int b) {
            static_cast<Seen*>(user)->reports.push_back(std::to_string(instance) + " " +
                                                        std::to_string(station) + " " + std::to_string(a) +
                                                        " " + std::to_string(b));
        },
        &seen);

    const uint32_t id = Define(0, "012A05", 0);
    HostErr()(64, "TELMOR> x %d", 1);
    double cooked = 0;
    ASSERT_EQ(KoriCook(0, id, 0x0FA00000u, &cooked), 0);
    KoriPutGateVal(0, id, 2, 2.5, 0, 0);
    KoriPutGateVal(0, id, 1, 3.5, 0, 0);  // refused: no callback
    KoriSetPlcCommStatus(0, 1, 12, 1, 1);
    KoriSetPlcCommStatus(1, 1, 13, 1, 1);  // refused: no callback
    VeldanSetCommStatusCallback(nullptr, nullptr);
    VeldanSetLogCallback(nullptr, nullptr);
    HostErr()(64, "after");

    EXPECT_EQ(seen.lines, std::vector<std::string>{"64 TELMOR> x 1"});
    EXPECT_EQ(seen.logCountInCallback, 1u);
    EXPECT_EQ(seen.puts, std::vector<std::string>{"012A05=2.500000 #1"}) << "called after the put is stored";
    EXPECT_EQ(seen.raws, std::vector<uint32_t>{0x0FA00000u}) << "the raw value the put kept, from the cook";
    EXPECT_EQ(seen.reports, std::vector<std::string>{"1 12 1 1"});
}

// Run under ThreadSanitizer to mean much: driver threads and a host reader at once.
TEST_F(VeldanTest, ServicesAndHostApiMayRunOnManyThreadsAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::vector<uint32_t> ids;
    for (int t = 0; t < kThreads; ++t) ids.push_back(Define(t, "012A05", 0));
    std::atomic<int> callbackLines{0};
    VeldanSetLogCallback([](void* user, int, const char*) { ++*static_cast<std::atomic<int>*>(user); },
                         &callbackLines);

    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) {
            VeldanCall call{};
            VeldanGetCall(VeldanCallCount() / 2, &call);
            LogText(VeldanLogCount() / 2);
            VeldanGetGate(ids[0], nullptr, nullptr, nullptr, nullptr);
        }
    });
    std::vector<std::thread> drivers;
    for (int t = 0; t < kThreads; ++t) {
        drivers.emplace_back([t] {
            for (int i = 0; i < kRounds; ++i) {
                uint32_t id = 0;
                double value = 0;
                KoriGetGateIdByAddressStr(0, t, "012A05", &id);
                KoriCook(0, id, static_cast<uint32_t>(i) << 16, &value);
                KoriPutGateVal(0, id, 2, value, 0, 0);
                HostErr()(64, "TELMOR> thread %d round %d", t, i);
            }
        });
    }
    for (std::thread& thread : drivers) thread.join();
    stop = true;
    reader.join();
    VeldanSetLogCallback(nullptr, nullptr);

    EXPECT_EQ(VeldanCallCount(), static_cast<size_t>(kThreads * kRounds * 3));
    EXPECT_EQ(VeldanLogCount(), static_cast<size_t>(kThreads * kRounds));
    EXPECT_EQ(callbackLines.load(), kThreads * kRounds);
    for (uint32_t id : ids) {
        double value = 0;
        uint32_t count = 0;
        ASSERT_EQ(VeldanGetGate(id, &value, nullptr, &count, nullptr), 0);
        EXPECT_EQ(count, static_cast<uint32_t>(kRounds));
        EXPECT_EQ(value, kRounds - 1.0);
    }
}

}  // namespace
