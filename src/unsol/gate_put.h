// Gate address strings built from a station, memory type and address, and the
// host-service sequence that puts one value or one bit into such a gate. The
// value messages and the initial station read name and fill gates alike.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

// "SSSMAA" and the bit gate "SSSMAAB": six or seven characters and a NUL.
inline constexpr uint16_t kGateAddressSize = 8;

struct GateAddress {
    char text[kGateAddressSize];
};

// "%03u%c%02u": `station` below 1000, `address` below 100.
GateAddress MakeGateAddress(uint16_t station, char memoryType, uint16_t address);

// The byte gate's address followed by the digit `bit` (0..7).
GateAddress MakeBitGateAddress(const GateAddress& byteGate, uint16_t bit);

// 8- and 16-bit raw values stand in the upper 16 bits, as in a gate's value area.
inline uint32_t RawFromWord(uint16_t value) {
    return static_cast<uint32_t>(value) << 16;
}

// Puts a digital byte into gate "SSSHAA", then each of its bits b = 0..7 into
// "SSSHAAb".
void PutDigitalByte(const DriverContext& context, const char* routine, uint16_t station, uint16_t address,
                    uint8_t byte);

}  // namespace telmor
