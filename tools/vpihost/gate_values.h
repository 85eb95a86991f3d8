// What the host knows about a gate's value area: where the driver puts a
// value for each memory type, and how wide and signed it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vpihost {

// Large enough for every value area: a block of 32 values of 32 bits, the 80
// characters of a text gate, a command text of up to 511 characters.
struct ValueArea {
    alignas(8) uint8_t bytes[512] = {};
};

// A gate type that fits the address, for when the user gives none: 4 for 32-bit
// values, 6 for a bit, 7 for the special gates, 1 for signed values, else 0.
int DefaultGateType(const std::string& address);

// The memory type as written in addresses: "A", "H", ..., or "!T", "!1", "!2", "!3".
std::string MemoryTypeText(int memoryType);
bool IsTextGate(int memoryType);  // "!1", "!2", "!3": read back as text
bool IsSigned(int memoryType);    // offset values and the negated command byte
bool Is32Bit(int memoryType);     // counters and time programs

// A single gate: 8/16-bit values in the second 16-bit word, 32-bit ones in bytes 0..3.
int64_t DecodeSingle(const ValueArea& area, int memoryType);
// A block: bytes, 16-bit or 32-bit elements by memory type.
std::vector<int64_t> DecodeBlock(const ValueArea& area, int memoryType, int count);
// The text of "!1", "!2", "!3": up to 80 characters, NUL-padded, maybe
// unterminated. "!1" holds the line that answered a command text, whose LF CR
// `withoutLineEnd` leaves out.
std::string DecodeText(const ValueArea& area, bool withoutLineEnd = false);

// Puts a write's value into the area as the driver reads it. Refuses numbers that
// the value's width cannot hold; the driver checks the ranges of each memory type.
bool EncodeWrite(int memoryType, const std::string& value, ValueArea& area, std::string& error);

}  // namespace vpihost
