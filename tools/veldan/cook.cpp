// How a raw device value stands in a gate's value area, by gate type: 8- and
// 16-bit values in the area's second 16-bit word (the upper half of the 32-bit
// raw value), 32-bit values in all four bytes.
#include <cstddef>
#include <cstdint>

#include "state.h"

namespace veldan {
namespace {

enum class Layout { kUpper16, kUpper16Signed, kWhole32, kNone };

// Index: gate type 0..7. Type 3 is accepted by the driver for no memory type;
// it is cooked like the other 16-bit types so that a stray use still shows.
constexpr Layout kLayouts[] = {
    Layout::kUpper16,        // 0 analog 16 bit
    Layout::kUpper16Signed,  // 1 analog 16 bit, signed
    Layout::kUpper16,        // 2 analog 16 bit
    Layout::kUpper16,        // 3
    Layout::kWhole32,        // 4 analog 32 bit
    Layout::kWhole32,        // 5 analog 32 bit
    Layout::kUpper16,        // 6 digital
    Layout::kNone,           // 7 text
};

}  // namespace

bool CookRaw(int gateType, uint32_t raw, double* value) {
    if (gateType < 0 || static_cast<size_t>(gateType) >= std::size(kLayouts)) return false;
    const auto upper = static_cast<uint16_t>(raw >> 16);
    switch (kLayouts[gateType]) {
        case Layout::kUpper16:
            *value = upper;
            return true;
        case Layout::kUpper16Signed:
            *value = static_cast<int16_t>(upper);
            return true;
        case Layout::kWhole32:
            *value = raw;
            return true;
        case Layout::kNone:
            break;
    }
    return false;
}

}  // namespace veldan
