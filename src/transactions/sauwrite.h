// The write transaction (SAUWRITE): SingleWrite, BlockWrite and DoWrite.
#pragma once

#include <cstdint>

#include "telmor/vpi.h"

namespace telmor {

int32_t SingleWrite(VpiCallBlock* callBlock);
int32_t BlockWrite(VpiCallBlock* callBlock);
int32_t DoWrite(VpiCallBlock* callBlock);

}  // namespace telmor
