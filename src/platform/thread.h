// Starting the driver's threads. Threads are detached: the driver tracks
// their life itself through its context.
#pragma once

#include <cstdint>

namespace telmor::platform {

// A thread routine gets the one argument it was started with and a 32-bit
// value handed over with the start (for example the station to read).
using ThreadEntry = void (*)(void* arg, uint32_t value);

// Starts `entry` on a new thread. `stackBytes` is the size the driver asks
// for; a backend raises it to the smallest size its OS allows and the driver
// safely needs. False when the thread could not be started (LastError set).
bool StartThread(ThreadEntry entry, void* arg, uint32_t value, uint32_t stackBytes);

// Gives up the rest of the time slice (used by short spin waits).
void YieldThread();

// Deepest stack use, in bytes, seen so far on any thread that StartThread
// started and that has ended. For measurements and tests: only the test build
// measures (MeasuresThreadStacks); the shipped driver reports 0.
uint32_t DeepestThreadStackUse();
bool MeasuresThreadStacks();

}  // namespace telmor::platform
