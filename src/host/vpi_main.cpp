// The driver's one entry point and its fixed command table.
#include <cstdint>

#include "addressing/sauparse.h"
#include "host/commands.h"
#include "telmor/vpi.h"
#include "transactions/sauread.h"
#include "transactions/sauwrite.h"

namespace telmor {
namespace {

using Handler = int32_t (*)(VpiCallBlock*);

// One slot per command code 0..18; an empty slot answers 2.
constexpr Handler kCommandTable[19] = {
    nullptr,          // 0
    ColdStart,        // 1
    WarmStart,        // 2
    SingleParse,      // 3 SingleAddressParser
    BlockParse,       // 4 BlockAddressParser
    SingleRead,       // 5
    BlockRead,        // 6
    SingleWrite,      // 7
    nullptr,          // 8
    nullptr,          // 9
    BlockWrite,       // 10
    EndVpi,           // 11
    CloseCom,         // 12
    ReOpenCom,        // 13
    GetVpiInfo,       // 14
    ChangeVpiParams,  // 15
    nullptr,          // 16
    nullptr,          // 17 ReadInput: named by hosts, no handler
    nullptr,          // 18 WriteOutput: named by hosts, no handler
};

}  // namespace
}  // namespace telmor

extern "C" TELMOR_EXPORT int32_t VpiMain(VpiCallBlock* callBlock) {
    // A null call block cannot name a command; answer like an empty slot.
    if (callBlock == nullptr) return VPI_UNABLE;
    const uint32_t code = callBlock->commandCode;
    if (code >= sizeof(telmor::kCommandTable) / sizeof(telmor::kCommandTable[0])) return VPI_UNABLE;
    const telmor::Handler handler = telmor::kCommandTable[code];
    if (handler == nullptr) return VPI_UNABLE;
    return handler(callBlock);
}
