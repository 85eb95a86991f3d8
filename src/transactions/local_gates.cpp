// Gates answered from the driver's own storage.
#include "transactions/local_gates.h"

#include <cstring>

#include "transactions/handoff.h"

namespace telmor {
namespace {

constexpr size_t kWindow = 80;

// Writes a 16-bit value into the second word of a host value area, which
// need not be aligned.
void StoreSecondWord(void* area, uint16_t value) {
    std::memcpy(static_cast<unsigned char*>(area) + 2, &value, sizeof(value));
}

}  // namespace

bool IsSpecialTextGate(int32_t memoryType) {
    return memoryType == VPI_MEM_TEXT1 || memoryType == VPI_MEM_TEXT2 || memoryType == VPI_MEM_TEXT3;
}

void ReadSpecialText(DriverContext& context, GateRequest& request) {
    const size_t start = static_cast<size_t>(request.memoryType - VPI_MEM_TEXT1) * kWindow;
    auto* out = static_cast<char*>(request.value);
    // Serialised with a command-gate write, which rewrites the text.
    WithHandoffLocked(context, [&] {
        const char* window = context.specialText + start;
        const size_t used = strnlen(window, kWindow);
        std::memcpy(out, window, used);
        std::memset(out + used, 0, kWindow - used);
    });
}

void ReadStatusGate(const DriverContext& context, GateRequest& request) {
    const uint32_t station = request.address;
    const uint16_t value = station < kStationCount
                               ? context.stationPresent[station].load(std::memory_order_relaxed)
                               : context.commState.load(std::memory_order_relaxed);
    StoreSecondWord(request.value, value);
}

void StoreSpecialText(DriverContext& context) {
    WithHandoffLocked(context, [&] {
        std::memset(context.specialText, 0, strnlen(context.specialText, kLineSize));
        const size_t length = context.replyLen <= kLineSize ? context.replyLen : kLineSize;
        const size_t copied = strnlen(context.replyBuf, length);
        std::memcpy(context.specialText, context.replyBuf, copied);
        std::memset(context.specialText + copied, 0, length - copied);
    });
}

}  // namespace telmor
