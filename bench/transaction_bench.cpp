// What a read costs: one full SingleRead round trip through VpiMain over a
// pseudo-terminal to the simulated network, and the pure decode steps alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <new>

#include "support/scenario.h"
#include "transactions/store_data.h"
#include "unsol/value_message.h"
#include "veldan/veldan_host.h"

namespace {

void BM_SingleReadRoundTrip(benchmark::State& state) {
    VeldanReset();
    telmor::test::Network net;
    net.sim.SetValue(12, 'A', 5, 1234);
    if (!net.Start()) {
        state.SkipWithError("network did not come up");
        return;
    }
    telmor::test::Gate gate("012A05", 0);
    for (auto _ : state) {
        if (net.Read(gate) != VPI_DONE) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SingleReadRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The initial read of a network of three stations (24 block requests and
// about 2,500 gate puts), timed from the end of the scan to commState 5.
void BM_InitialReadThreeStations(benchmark::State& state) {
    for (auto _ : state) {
        VeldanReset();
        telmor::test::Network net({{1, true}, {2, true}, {12, true}});
        if (!net.Start(false)) {
            state.SkipWithError("network did not come up");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        if (!telmor::test::WaitUntil([&] { return net.driver.context().commState.load() == 5; }, 20000)) {
            state.SkipWithError("the initial read did not finish");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_InitialReadThreeStations)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_StoreDataBlockOf32(benchmark::State& state) {
    std::string reply = "U01280A0";
    for (int i = 0; i < 32; ++i) reply += "4123 ";
    reply += "\n\r";
    alignas(8) unsigned char area[128];
    GateRequest request{};
    request.addressText = "012A00";
    request.memoryType = 'A';
    request.count = 32;
    request.value = area;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            telmor::StoreData(request, reply.data(), static_cast<uint16_t>(reply.size())));
    }
}
BENCHMARK(BM_StoreDataBlockOf32);

void BM_CombinedValueMessage(benchmark::State& state) {
    VeldanReset();
    uint32_t id = 0;
    for (const char* address : {"012H05", "012A05", "012D05"}) VeldanDefineGate(1, address, 0, &id);
    alignas(8) unsigned char storage[VPI_CONTEXT_SIZE]{};
    auto* context = new (storage) telmor::DriverContext{};
    context->instanceNo = 1;
    const char line[] = "U0120533CA@@ 4123 0012 3456 \n\r";
    for (auto _ : state) telmor::HandleValueMessage(*context, line, 30);
}
BENCHMARK(BM_CombinedValueMessage);

}  // namespace

BENCHMARK_MAIN();
