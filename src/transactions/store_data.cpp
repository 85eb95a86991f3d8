// Decoding a read reply: its length for the memory type and count, the
// character test of every value field, and the values in the host's area.
#include "transactions/store_data.h"

#include <cstddef>
#include <cstring>

#include "host/log.h"
#include "transactions/chars.h"
#include "transactions/exchange.h"
#include "transactions/value_encodings.h"

namespace telmor {

namespace {

constexpr size_t kFirstField = 8;
constexpr size_t kShortFieldStep = 5;  // four characters and a separator
constexpr size_t kLongFieldStep = 10;  // "dddd dddd" and a separator
constexpr size_t kLongRunStep = 5;     // from the first run of four to the second
constexpr size_t kReplyFrame = 10;     // head of eight characters and LF CR
constexpr uint16_t kShortSingleLength = 15;
constexpr uint16_t kCounterSingleLength = 30;
constexpr size_t kCounterSingleField = 18;
constexpr uint32_t kLastStoppedAddress = 56;  // the upper half of a block ends at 55
constexpr uint32_t kCounterSplit = 10000;
constexpr size_t kSingleWordOffset = 2;  // 16-bit single values use the second word

enum class Decode : uint8_t {
    kOffsetFourDigit,
    kPlainFourDigit,
    kNegatedNibbleByte,
    kFirstNibbleByte,
    kSecondNibbleByte,
    kNibbleBit,
    kEightDigit,
    kSplitCounter,
};

struct DecodeRule {
    char memoryType;
    Decode single;
    Decode block;
    uint8_t blockElementSize;  // bytes of one element of a block's array
    bool stopsAtAddress56;     // types whose upper block half ends at address 55
};

constexpr DecodeRule kDecodeRules[] = {
    {'A', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'I', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'j', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'k', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'l', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'m', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'n', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'o', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'p', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'q', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'r', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'s', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'t', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'u', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'v', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'w', Decode::kOffsetFourDigit, Decode::kOffsetFourDigit, 2, true},
    {'G', Decode::kPlainFourDigit, Decode::kPlainFourDigit, 2, true},
    {'V', Decode::kPlainFourDigit, Decode::kPlainFourDigit, 2, true},
    {'C', Decode::kNegatedNibbleByte, Decode::kNegatedNibbleByte, 2, false},
    {'H', Decode::kNibbleBit, Decode::kFirstNibbleByte, 1, false},
    {'K', Decode::kFirstNibbleByte, Decode::kFirstNibbleByte, 1, false},
    {'L', Decode::kSecondNibbleByte, Decode::kFirstNibbleByte, 1, false},
    {'D', Decode::kEightDigit, Decode::kSplitCounter, 4, true},
    {'Z', Decode::kEightDigit, Decode::kEightDigit, 4, false},
};

const DecodeRule* FindDecodeRule(int32_t memoryType) {
    for (const DecodeRule& rule : kDecodeRules) {
        if (rule.memoryType == memoryType) return &rule;
    }
    return nullptr;
}

// Where the fields of a reply lie and how long it must be. Lengths are
// worked out in 16 bits, as the reply length itself is counted.
struct ReplyShape {
    uint16_t length;
    size_t firstField;
    size_t fieldStep;
};

ReplyShape SingleShape(const DecodeRule& rule, uint32_t address) {
    if (rule.memoryType == 'D') return {kCounterSingleLength, kCounterSingleField, kLongFieldStep};
    if (rule.memoryType == 'Z') {
        // One long field for each program from the requested one to the end
        // of its group of sixteen.
        const uint32_t skipped = (address - 1u) % 16u;
        return {static_cast<uint16_t>(170u - 10u * skipped), kFirstField, kLongFieldStep};
    }
    return {kShortSingleLength, kFirstField, kShortFieldStep};
}

ReplyShape BlockShape(const DecodeRule& rule, int32_t count) {
    const uint32_t n = static_cast<uint32_t>(count);
    if (rule.block == Decode::kEightDigit) {
        return {static_cast<uint16_t>(10u * (n + 1u)), kFirstField, kLongFieldStep};
    }
    return {static_cast<uint16_t>(5u * (n + 2u)), kFirstField, kShortFieldStep};
}

enum class FieldStatus { kDecoded, kIllegalData, kReadingData };

struct FieldValue {
    FieldStatus status;
    uint32_t value;   // the stored bits: 16-bit values in the low half
    size_t failedAt;  // where the characters shown in the message start
};

FieldValue Illegal(size_t position) {
    return {FieldStatus::kIllegalData, 0, position};
}
FieldValue Decoded(uint32_t value) {
    return {FieldStatus::kDecoded, value, 0};
}

FieldValue DecodeDigits(Decode decode, const char* reply, size_t position) {
    const char* field = reply + position;
    if (decode == Decode::kEightDigit) {
        if (!CheckChars(field, 4, true)) return Illegal(position);
        if (!CheckChars(field + kLongRunStep, 4, true)) return Illegal(position + kLongRunStep);
        uint32_t value = 0;
        if (!EightDigitValue(field, &value)) return {FieldStatus::kReadingData, 0, position};
        return Decoded(value);
    }
    if (!CheckChars(field, 4, true)) return Illegal(position);
    if (decode == Decode::kOffsetFourDigit)
        return Decoded(static_cast<uint16_t>(OffsetFourDigitValue(field)));
    return Decoded(FourDigitValue(field));
}

FieldValue DecodeNibbles(Decode decode, const char* reply, size_t position, int32_t bitNumber) {
    const char* field = reply + position;
    // The negated byte tests only the two characters it uses; the other
    // nibble types test all four, also those they do not use.
    const uint16_t tested = decode == Decode::kNegatedNibbleByte ? 2 : 4;
    if (!CheckChars(field, tested, false)) return Illegal(position);
    const uint8_t first = NibbleByteValue(field);
    switch (decode) {
        case Decode::kNegatedNibbleByte:
            return Decoded(static_cast<uint16_t>(-first));
        case Decode::kSecondNibbleByte:
            return Decoded(NibbleByteValue(field + 2));
        case Decode::kNibbleBit:
            if (bitNumber >= 0 && bitNumber <= 7) return Decoded((first >> bitNumber) & 1u);
            return Decoded(first);
        default:
            return Decoded(first);
    }
}

FieldValue DecodeField(Decode decode, const char* reply, size_t position, int32_t bitNumber) {
    switch (decode) {
        case Decode::kOffsetFourDigit:
        case Decode::kPlainFourDigit:
        case Decode::kEightDigit:
            return DecodeDigits(decode, reply, position);
        case Decode::kSplitCounter:
            return DecodeDigits(Decode::kPlainFourDigit, reply, position);
        default:
            return DecodeNibbles(decode, reply, position, bitNumber);
    }
}

// Logs a refused field; "gate" or "block" names what was read.
void LogRefusedField(const DecodeRule& rule, const FieldValue& field, const GateRequest& request,
                     const char* reply, const char* kind) {
    const char* shown = reply + field.failedAt;
    if (field.status == FieldStatus::kReadingData) {
        TELMOR_LOG(kLevelTrace, "TELMOR> StoreData() error, reading data '%.9s' in reply, %s '%s'", shown,
                   kind, AddressOf(request.addressText));
        return;
    }
    const int level = rule.memoryType == 'L' ? kLevelMajor : kLevelTrace;
    TELMOR_LOG(level, "TELMOR> StoreData() error, illegal data '%.4s' in reply, %s '%s'", shown, kind,
               AddressOf(request.addressText));
}

// The host's area may lie at any alignment, hence the byte copies.
void StoreSingle(void* area, Decode decode, uint32_t value) {
    auto* bytes = static_cast<unsigned char*>(area);
    if (decode == Decode::kEightDigit) {
        std::memcpy(bytes, &value, sizeof value);
        return;
    }
    const auto word = static_cast<uint16_t>(value);
    std::memcpy(bytes + kSingleWordOffset, &word, sizeof word);
}

void StoreElement(unsigned char* element, uint8_t size, uint32_t value) {
    if (size == 1) {
        *element = static_cast<unsigned char>(value);
    } else if (size == 2) {
        const auto word = static_cast<uint16_t>(value);
        std::memcpy(element, &word, sizeof word);
    } else {
        std::memcpy(element, &value, sizeof value);
    }
}

// A counter block comes in two replies of four digits each: the first sets
// the upper digits and clears the lower, the second keeps the upper digits
// and replaces the lower.
uint32_t CounterElement(const unsigned char* element, uint32_t digits, bool lowerDigits) {
    if (!lowerDigits) return digits * kCounterSplit;
    uint32_t previous = 0;
    std::memcpy(&previous, element, sizeof previous);
    return previous / kCounterSplit * kCounterSplit + digits;
}

int StoreSingleGate(const DecodeRule& rule, GateRequest& request, const char* reply) {
    const ReplyShape shape = SingleShape(rule, request.address);
    const FieldValue field = DecodeField(rule.single, reply, shape.firstField, request.bitNumber);
    if (field.status != FieldStatus::kDecoded) {
        LogRefusedField(rule, field, request, reply, "gate");
        return 1;
    }
    StoreSingle(request.value, rule.single, field.value);
    return 0;
}

int StoreBlock(const DecodeRule& rule, GateRequest& request, const char* reply, uint16_t replyLength) {
    const ReplyShape shape = BlockShape(rule, request.count);
    // The length check compares in 16 bits, so a huge count can pass it;
    // never decode more fields than the reply holds.
    const size_t fieldsInReply =
        replyLength >= kReplyFrame ? (replyLength - kReplyFrame) / shape.fieldStep : 0;
    const size_t fields = request.count > 0 ? static_cast<size_t>(request.count) : 0;
    const uint32_t decoded = static_cast<uint32_t>(fields < fieldsInReply ? fields : fieldsInReply);
    const bool lowerDigits = request.counterPhase != 0;
    for (uint32_t i = 0; i < decoded; ++i) {
        if (rule.stopsAtAddress56 && uint64_t{request.address} + i >= kLastStoppedAddress) return 0;
        const FieldValue field = DecodeField(rule.block, reply, shape.firstField + i * shape.fieldStep, -1);
        if (field.status != FieldStatus::kDecoded) {
            LogRefusedField(rule, field, request, reply, "block");
            return 1;
        }
        unsigned char* element =
            static_cast<unsigned char*>(request.value) + size_t{i} * rule.blockElementSize;
        const uint32_t value = rule.block == Decode::kSplitCounter
                                   ? CounterElement(element, field.value, lowerDigits)
                                   : field.value;
        StoreElement(element, rule.blockElementSize, value);
    }
    return 0;
}

}  // namespace

int StoreData(GateRequest& request, const char* reply, uint16_t replyLength) {
    const DecodeRule* rule = FindDecodeRule(request.memoryType);
    if (rule == nullptr) {
        TELMOR_LOG(kLevelMajor, "TELMOR> StoreData() internal error, memory type %d not decoded, gate '%s'",
                   request.memoryType, AddressOf(request.addressText));
        return 1;
    }
    const bool single = request.count == 1;
    const uint16_t expected =
        single ? SingleShape(*rule, request.address).length : BlockShape(*rule, request.count).length;
    if (replyLength != expected) {
        TELMOR_LOG(kLevelTrace, "TELMOR> StoreData() error, illegal reply length (%u/%u), gate '%s'",
                   unsigned{replyLength}, unsigned{expected}, AddressOf(request.addressText));
        return 1;
    }
    return single ? StoreSingleGate(*rule, request, reply) : StoreBlock(*rule, request, reply, replyLength);
}

}  // namespace telmor
