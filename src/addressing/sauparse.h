// Gate address grammar and the single and block address checks (SAUPARSE).
#pragma once

#include <cstdint>

#include "telmor/vpi.h"

namespace telmor {

// Checks the address text and fills the parsed fields (station, memoryType,
// address, bitNumber, dataWidth). 0 = valid, 1 = refused (logged, except the
// two silent refusals of special gates).
int Parse(GateRecord& gate);

// Command 3: the address as one gate of the host's gate type. 0 or 1.
int32_t SingleParse(VpiCallBlock* callBlock);

// Command 4: the address as a block. 0, 1, or 2 (internal error).
int32_t BlockParse(VpiCallBlock* callBlock);

}  // namespace telmor
