// SingleParse (command 3): a gate address checked against the host's gate type.
#include <cstdint>

#include "addressing/gate_record.h"
#include "addressing/sauparse.h"
#include "host/log.h"

namespace telmor {
namespace {

constexpr uint32_t TypeBit(int32_t gateType) {
    return 1u << gateType;
}

// The gate types one kind of address can be read into, and how the message
// names them.
struct GateTypeRule {
    uint32_t acceptedTypes;  // one bit per gate type code
    const char* expected;
};

constexpr GateTypeRule kAnalog32 = {TypeBit(VPI_GATE_ANALOG32) | TypeBit(VPI_GATE_ANALOG32_B),
                                    "ANALOG 32 BIT"};
constexpr GateTypeRule kDigital = {TypeBit(VPI_GATE_DIGITAL), "DIGITAL"};
// Dig. commands travel as signed 16-bit values.
constexpr GateTypeRule kSigned16 = {TypeBit(VPI_GATE_ANALOG16_SIGNED), "ANALOG 16 BIT, SIGNED16"};
constexpr GateTypeRule kAnalog16 = {
    TypeBit(VPI_GATE_ANALOG16) | TypeBit(VPI_GATE_ANALOG16_SIGNED) | TypeBit(VPI_GATE_ANALOG16_B),
    "ANALOG 16 BIT"};

// The rule for a parsed ordinary address, or nullptr when any type will do.
const GateTypeRule* RuleFor(const GateRecord& gate) {
    if (gate.dataWidth == 32) return &kAnalog32;
    if (gate.dataWidth != 8 && gate.dataWidth != 16) return nullptr;
    if (gate.bitNumber != -1) return &kDigital;
    if (gate.memoryType == 'C') return &kSigned16;
    return &kAnalog16;
}

bool Accepts(const GateTypeRule& rule, int32_t gateType) {
    return gateType >= 0 && gateType < 32 && (rule.acceptedTypes & TypeBit(gateType)) != 0;
}

bool IsSpecialGate(int32_t memoryType) {
    return memoryType >= VPI_MEM_COMMAND_TEXT && memoryType <= VPI_MEM_TEXT3;
}

}  // namespace

int32_t SingleParse(VpiCallBlock* callBlock) {
    GateRecord* gate = GateRecordOf(callBlock);
    if (gate == nullptr) {
        TELMOR_LOG(kLevelMajor, "TELMOR> SingleParse() error, no gate record");
        return VPI_UNABLE;
    }
    if (const int parsed = Parse(*gate); parsed != 0) return parsed;
    // Parse has already tied the special gates to the text gate type.
    if (IsSpecialGate(gate->memoryType)) return VPI_DONE;

    const GateTypeRule* rule = RuleFor(*gate);
    if (rule == nullptr || Accepts(*rule, gate->gateType)) return VPI_DONE;
    TELMOR_LOG(kLevelMajor, "TELMOR> SingleParse() error, gate type should be %s, gate '%s'", rule->expected,
               gate->addressText);
    return VPI_NOT_NOW;
}

}  // namespace telmor
