// Value area layouts by memory type, as the read and write commands use them.
#include "vpihost/gate_values.h"

#include <cstdlib>
#include <cstring>

#include "vpihost/options.h"

namespace vpihost {
namespace {

// Offset four-digit values (measurements and signed setpoints) and C.
constexpr const char kSignedLetters[] = "AIjknorswvlmpqtuC";
constexpr const char kByteBlockLetters[] = "HKL";
constexpr const char* kSpecialNames[] = {"", "!T", "!1", "!2", "!3"};

bool IsOneOf(int memoryType, const char* letters) {
    return memoryType > 4 && memoryType < 128 && std::strchr(letters, memoryType) != nullptr;
}

template <typename T>
T Load(const ValueArea& area, size_t offset) {
    T value;
    std::memcpy(&value, area.bytes + offset, sizeof value);
    return value;
}

}  // namespace

int DefaultGateType(const std::string& address) {
    if (!address.empty() && address[0] == '!') return 7;
    if (address.size() < 4) return 0;
    const char letter = address[3];
    if (Is32Bit(letter)) return 4;
    if (letter == 'H' && address.size() == 7) return 6;
    return IsSigned(letter) ? 1 : 0;
}

std::string MemoryTypeText(int memoryType) {
    if (memoryType >= 1 && memoryType <= 4) return kSpecialNames[memoryType];
    if (memoryType > 32 && memoryType < 127) return std::string(1, static_cast<char>(memoryType));
    return std::to_string(memoryType);
}

bool IsTextGate(int memoryType) {
    return memoryType >= 2 && memoryType <= 4;
}
bool IsSigned(int memoryType) {
    return IsOneOf(memoryType, kSignedLetters);
}
bool Is32Bit(int memoryType) {
    return memoryType == 'D' || memoryType == 'Z';
}

int64_t DecodeSingle(const ValueArea& area, int memoryType) {
    if (Is32Bit(memoryType)) return Load<uint32_t>(area, 0);
    if (IsSigned(memoryType)) return Load<int16_t>(area, 2);
    return Load<uint16_t>(area, 2);
}

std::vector<int64_t> DecodeBlock(const ValueArea& area, int memoryType, int count) {
    std::vector<int64_t> values;
    const size_t width = IsOneOf(memoryType, kByteBlockLetters) ? 1 : Is32Bit(memoryType) ? 4 : 2;
    for (size_t i = 0; i < static_cast<size_t>(count) && (i + 1) * width <= sizeof area.bytes; ++i) {
        const size_t offset = i * width;
        if (width == 1) {
            values.push_back(area.bytes[offset]);
        } else if (width == 4) {
            values.push_back(Load<uint32_t>(area, offset));
        } else if (IsSigned(memoryType)) {
            values.push_back(Load<int16_t>(area, offset));
        } else {
            values.push_back(Load<uint16_t>(area, offset));
        }
    }
    return values;
}

std::string DecodeText(const ValueArea& area, bool withoutLineEnd) {
    const auto* bytes = reinterpret_cast<const char*>(area.bytes);
    std::string text(bytes, strnlen(bytes, 80));
    while (withoutLineEnd && !text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool EncodeWrite(int memoryType, const std::string& value, ValueArea& area, std::string& error) {
    area = ValueArea{};
    if (memoryType == 1) {
        if (value.size() >= sizeof area.bytes) {
            error = "command text longer than " + std::to_string(sizeof area.bytes - 1) + " characters";
            return false;
        }
        std::memcpy(area.bytes, value.data(), value.size());
        return true;
    }
    if (Is32Bit(memoryType)) {
        const std::optional<long long> number = ParseInteger(value, 0, UINT32_MAX);
        if (!number) {
            error = "value '" + value + "' is not a whole number 0..4294967295";
            return false;
        }
        const auto word = static_cast<uint32_t>(*number);
        std::memcpy(area.bytes, &word, sizeof word);
        return true;
    }
    const std::optional<long long> number = ParseInteger(value, INT16_MIN, UINT16_MAX);
    if (!number) {
        error = "value '" + value + "' is not a whole number -32768..65535";
        return false;
    }
    const auto half = static_cast<uint16_t>(*number);
    std::memcpy(area.bytes + 2, &half, sizeof half);
    return true;
}

}  // namespace vpihost
