// Gates answered from the driver's own storage, without line traffic: the
// special text gates "!1".."!3" and the station status gate S.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

bool IsSpecialTextGate(int32_t memoryType);

// Copies the gate's 80-character window of specialText into its value area.
void ReadSpecialText(DriverContext& context, GateRequest& request);

// Stores a station's presence, or commState for address 1000 and above, as a
// 16-bit value in the value area's second word.
void ReadStatusGate(const DriverContext& context, GateRequest& request);

// Replaces specialText with the line that answered a command-gate write.
void StoreSpecialText(DriverContext& context);

}  // namespace telmor
