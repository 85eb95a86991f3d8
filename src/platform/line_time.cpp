// Line time of characters.
#include "platform/line_time.h"

#include "platform/clock.h"

namespace telmor::platform {
namespace {

constexpr uint64_t kBitsPerCharacter = 12;
constexpr uint32_t kWriteSlackMs = 5000;  // driver ms

}  // namespace

uint64_t LineMs(uint32_t baudRate, uint64_t characters) {
    if (baudRate == 0) return 0;
    return (characters * kBitsPerCharacter * 1000 + baudRate - 1) / baudRate;
}

uint64_t WriteAllowanceMs(uint32_t baudRate, uint64_t characters) {
    return 2 * LineMs(baudRate, characters) + ToRealMs(kWriteSlackMs);
}

}  // namespace telmor::platform
