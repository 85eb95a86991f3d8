// The shipped driver allocates nothing from ColdStart to EndVpi: every
// allocation call made from the driver's own code is counted while a whole
// start-up, read, write and shutdown runs against the simulated network.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
TEST(NoAllocation, NeedsTheUninstrumentedAllocator) {
    GTEST_SKIP() << "sanitizers own malloc";
}
#else

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "support/pty.h"
#include "support/scenario.h"
#include "telmor/vpi.h"
#include "veldan/veldan_host.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {

std::atomic<uintptr_t> g_driverStart{0};
std::atomic<uintptr_t> g_driverEnd{0};
std::atomic<int> g_fromDriver{0};
// The host library allocates for its records: counting those proves that the
// counting sees calls from a shared library at all.
std::atomic<uintptr_t> g_hostStart{0};
std::atomic<uintptr_t> g_hostEnd{0};
std::atomic<int> g_fromHost{0};

void CountIfFromDriver(void* caller) {
    const auto at = reinterpret_cast<uintptr_t>(caller);
    if (at >= g_driverStart.load(std::memory_order_relaxed) &&
        at < g_driverEnd.load(std::memory_order_relaxed)) {
        g_fromDriver.fetch_add(1, std::memory_order_relaxed);
    }
    if (at >= g_hostStart.load(std::memory_order_relaxed) && at < g_hostEnd.load(std::memory_order_relaxed)) {
        g_fromHost.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

extern "C" void* malloc(size_t size) {
    CountIfFromDriver(__builtin_return_address(0));
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    CountIfFromDriver(__builtin_return_address(0));
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* pointer, size_t size) {
    CountIfFromDriver(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}
extern "C" void free(void* pointer) {
    __libc_free(pointer);
}

void* operator new(size_t size) {
    CountIfFromDriver(__builtin_return_address(0));
    if (void* p = __libc_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    CountIfFromDriver(__builtin_return_address(0));
    if (void* p = __libc_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept {
    __libc_free(pointer);
}
void operator delete[](void* pointer) noexcept {
    __libc_free(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    __libc_free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    __libc_free(pointer);
}

namespace {

// The address range of the loaded object that defines `symbol`.
bool FindObjectRange(void* symbol, uintptr_t* start, uintptr_t* end) {
    Dl_info info{};
    if (dladdr(symbol, &info) == 0) return false;
    struct Search {
        uintptr_t base, start, end;
    } search{reinterpret_cast<uintptr_t>(info.dli_fbase), 0, 0};
    dl_iterate_phdr(
        [](dl_phdr_info* object, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            for (int i = 0; i < object->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = object->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
                const uintptr_t from = object->dlpi_addr + segment.p_vaddr;
                if (s->base < from - segment.p_vaddr || s->base > from) continue;
                s->start = from;
                s->end = from + segment.p_memsz;
                return 1;
            }
            return 0;
        },
        &search);
    *start = search.start;
    *end = search.end;
    return search.end != 0;
}

TEST(NoAllocation, WholeLifeOfAnInstance) {
    const char* path = std::getenv("TELMOR_DRIVER");
    ASSERT_NE(path, nullptr);
    void* driver = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(driver, nullptr) << dlerror();
    auto* vpiMain = reinterpret_cast<int32_t (*)(VpiCallBlock*)>(dlsym(driver, "VpiMain"));
    ASSERT_NE(vpiMain, nullptr);
    uintptr_t start = 0, end = 0, hostStart = 0, hostEnd = 0;
    ASSERT_TRUE(FindObjectRange(reinterpret_cast<void*>(vpiMain), &start, &end));
    ASSERT_TRUE(FindObjectRange(reinterpret_cast<void*>(&VeldanReset), &hostStart, &hostEnd));

    VeldanReset();
    ultsim::Simulator sim;
    sim.SetStations({{12, true}});
    sim.SetValue(12, 'A', 5, 42);
    ASSERT_TRUE(sim.OpenPty());
    sim.Start();
    alignas(8) static unsigned char context[VPI_CONTEXT_SIZE];
    ComSettings settings{};
    telmor::test::SetPortName(settings.portName, sim.SlavePath());
    settings.portEnabled = 1;
    settings.timeout = 500;
    settings.baudRate = 9600;
    settings.dataBits = 7;
    settings.parity = 2;
    GateRequest read{};
    read.addressText = "012A05";
    read.station = 12;
    read.memoryType = 'A';
    read.address = 5;
    read.bitNumber = -1;
    read.dataWidth = 16;
    read.count = 1;
    alignas(8) unsigned char area[8]{};
    read.value = area;

    g_driverStart = start;
    g_driverEnd = end;
    g_hostStart = hostStart;
    g_hostEnd = hostEnd;
    VpiCallBlock block{context, VPI_COLD_START, 1, sizeof(settings), &settings};
    ASSERT_EQ(vpiMain(&block), VPI_DONE);
    // The real-time driver: start-up pause, status and scan take a few seconds.
    ASSERT_TRUE(telmor::test::WaitUntil(
        [&] {
            block = VpiCallBlock{context, VPI_SINGLE_READ, 1, sizeof(read), &read};
            return vpiMain(&block) == VPI_DONE;
        },
        20000));
    block = VpiCallBlock{context, VPI_SINGLE_WRITE, 1, sizeof(read), &read};
    vpiMain(&block);  // refused (measurements cannot be written): a log line, no line traffic
    block = VpiCallBlock{context, VPI_END_VPI, 1, 0, nullptr};
    EXPECT_EQ(vpiMain(&block), VPI_DONE);
    g_driverEnd = 0;
    g_hostEnd = 0;

    int16_t value = 0;
    std::memcpy(&value, area + 2, sizeof(value));
    EXPECT_EQ(value, 42);
    EXPECT_GT(g_fromHost.load(), 0) << "the counting must see the host library's allocations";
    EXPECT_EQ(g_fromDriver.load(), 0) << "allocation calls made from the driver's code";
    sim.Stop();
}

}  // namespace
#endif
