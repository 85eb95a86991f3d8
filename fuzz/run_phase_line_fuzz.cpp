// Feeds arbitrary lines from the line to the receiver's run-phase step, with a
// command waiting for a reply, and the reply decoder with arbitrary requests.
// Nothing a substation sends may crash the driver or make it read or write
// outside its buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "host/context.h"
#include "transactions/handoff.h"
#include "transactions/store_data.h"
#include "unsol/unsol_thread.h"
#include "veldan/veldan_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    alignas(8) static unsigned char storage[VPI_CONTEXT_SIZE];
    auto& context = *new (storage) telmor::DriverContext{};
    context.instanceNo = 1;
    context.commState.store(4);
    const uint8_t selector = data[0];
    const uint8_t memoryType = data[1];
    data += 2;
    size -= 2;
    const auto length = static_cast<uint16_t>(size > telmor::kLineSize ? telmor::kLineSize : size);
    char line[telmor::kLineSize];
    std::memcpy(line, data, length);

    // The receiver's step, with a read armed so the hand-off is exercised.
    if (selector & 1) telmor::ArmReply(context, "U01205A", (selector & 2) ? 7 : 2);
    if (selector & 4) telmor::ArmAnyLine(context);
    telmor::HandleRunPhaseLine(context, line, length);

    // The decoder for whatever memory type and count the host might pass.
    alignas(8) unsigned char area[4096];
    GateRequest request{};
    request.addressText = "fuzz";
    request.memoryType = memoryType;
    request.address = selector % 60;
    request.bitNumber = (selector & 8) ? selector % 8 : -1;
    request.counterPhase = (selector >> 4) & 1;
    request.count = (selector & 0x20) ? 1 : 32;
    request.value = area;
    telmor::StoreData(request, line, length);
    if (VeldanLogCount() > 10000) VeldanReset();
    return 0;
}
