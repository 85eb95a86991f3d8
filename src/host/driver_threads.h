// Starting and ending the driver's threads so that EndVpi knows when no
// thread uses the context any more.
#pragma once

#include <cstdint>

#include "host/context.h"
#include "platform/thread.h"

namespace telmor {

// What every driver thread asks for; the platform raises it to what its OS
// allows and the driver needs.
inline constexpr uint32_t kThreadStackBytes = 4096;

// Counts the thread in activeThreads and starts it. False (and not counted)
// when it could not be started.
bool StartDriverThread(DriverContext& context, platform::ThreadEntry entry, uint32_t value);

// The last act of a driver thread: after it the thread never touches the
// context again.
void LeaveDriverThread(DriverContext& context);

}  // namespace telmor
