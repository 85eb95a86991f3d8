// Reaching the GateRecord that the address commands get as their parameters.
#pragma once

#include "telmor/vpi.h"

namespace telmor {

// The call block's GateRecord, or nullptr when the host passed none.
inline GateRecord* GateRecordOf(const VpiCallBlock* callBlock) {
    if (callBlock == nullptr) return nullptr;
    return static_cast<GateRecord*>(callBlock->params);
}

}  // namespace telmor
