// The host commands handled in this directory.
#pragma once

#include <cstdint>

#include "telmor/vpi.h"

namespace telmor {

int32_t ColdStart(VpiCallBlock* callBlock);
int32_t WarmStart(VpiCallBlock* callBlock);
int32_t EndVpi(VpiCallBlock* callBlock);
int32_t CloseCom(VpiCallBlock* callBlock);
int32_t ReOpenCom(VpiCallBlock* callBlock);
int32_t GetVpiInfo(VpiCallBlock* callBlock);
int32_t ChangeVpiParams(VpiCallBlock* callBlock);

}  // namespace telmor
