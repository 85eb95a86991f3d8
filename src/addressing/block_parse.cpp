// BlockParse (command 4): a block address checked against the blocks the
// network delivers in one reply.
#include <cstdint>

#include "addressing/gate_record.h"
#include "addressing/memory_types.h"
#include "addressing/sauparse.h"
#include "host/log.h"

namespace telmor {
namespace {

enum class BlockKind {
    kPoints,        // 32 point addresses from 0 or 40
    kTimePrograms,  // 16 time programs from 1 + 16 k
    kRefused,       // a network gate, which has no block form
};

struct BlockRule {
    const char* letters;
    BlockKind kind;
    const char* refusedWhat;  // kRefused: how the message names the gate
};

constexpr BlockRule kBlockRules[] = {
    {"ACDGHIKLVjklmnopqrstuvw", BlockKind::kPoints, nullptr},
    {"Z", BlockKind::kTimePrograms, nullptr},
    {"R", BlockKind::kRefused, "reset gate"},
    {"S", BlockKind::kRefused, "substation status"},
    {"T", BlockKind::kRefused, "time sync."},
};

constexpr int32_t kPointBlockSize = 32;
constexpr int32_t kTimeProgramBlockSize = 16;
constexpr uint32_t kUpperPointBlock = 40;
constexpr unsigned kInternalErrorLine = 188;

const BlockRule* FindBlockRule(int32_t memoryType) {
    for (const BlockRule& rule : kBlockRules) {
        if (IsOneOf(rule.letters, memoryType)) return &rule;
    }
    return nullptr;
}

// The address is checked before the size, so a block wrong in both is
// reported for its address.
int32_t CheckPointBlock(const GateRecord& gate) {
    if (gate.address != 0 && gate.address != kUpperPointBlock) {
        TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse() error, block address should be 0 or 40, block '%s'",
                   gate.addressText);
        return VPI_NOT_NOW;
    }
    if (gate.blockSize != kPointBlockSize) {
        TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse() error, block size should be 32, block '%s'",
                   gate.addressText);
        return VPI_NOT_NOW;
    }
    return VPI_DONE;
}

int32_t CheckTimeProgramBlock(const GateRecord& gate) {
    // Parse admits time programs 1..128 only, so address - 1 cannot wrap.
    if ((gate.address - 1) % kTimeProgramBlockSize != 0) {
        TELMOR_LOG(kLevelMajor,
                   "TELMOR> BlockParse() error, block address should be 1, 17, 33, 49, 65, 81, 97 or 113, "
                   "block '%s'",
                   gate.addressText);
        return VPI_NOT_NOW;
    }
    if (gate.blockSize != kTimeProgramBlockSize) {
        TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse() error, block size should be 16, block '%s'",
                   gate.addressText);
        return VPI_NOT_NOW;
    }
    return VPI_DONE;
}

}  // namespace

int32_t BlockParse(VpiCallBlock* callBlock) {
    GateRecord* gate = GateRecordOf(callBlock);
    if (gate == nullptr) {
        TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse() error, no gate record");
        return VPI_UNABLE;
    }
    if (const int parsed = Parse(*gate); parsed != 0) return parsed;
    if (gate->bitNumber != -1) {
        TELMOR_LOG(kLevelMajor,
                   "TELMOR> BlockParse() error, no blocks allowed for spec. dig. gates, block '%s'",
                   gate->addressText);
        return VPI_NOT_NOW;
    }
    const BlockRule* rule = FindBlockRule(gate->memoryType);
    if (rule == nullptr) {
        // E and the special gates parse, but no reply layout serves them as blocks.
        TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse()  internal error file SAUPARSE line %u",
                   kInternalErrorLine);
        return VPI_UNABLE;
    }
    switch (rule->kind) {
        case BlockKind::kPoints:
            return CheckPointBlock(*gate);
        case BlockKind::kTimePrograms:
            return CheckTimeProgramBlock(*gate);
        case BlockKind::kRefused:
            break;
    }
    TELMOR_LOG(kLevelMajor, "TELMOR> BlockParse() error, %s not supported for blocks, block '%s'",
               rule->refusedWhat, gate->addressText);
    return VPI_NOT_NOW;
}

}  // namespace telmor
