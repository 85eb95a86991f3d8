// Measuring how deep a thread's stack went: the unused part is painted with
// a pattern when the thread starts, and after its routine returns the lowest
// byte that no longer holds the pattern marks the deepest use.
#pragma once

#include <cstdint>

namespace telmor::platform::posix {

struct StackWindow {
    uintptr_t low;    // lowest usable address of the stack
    uintptr_t start;  // the painter's frame: use is counted from here
};

// Paints the calling thread's stack below the caller's frame. A zero window
// when the bounds are unknown.
StackWindow PaintUnusedStack();

// Bytes from the painter's frame to the deepest byte written since the
// paint; 0 for a zero window. What the thread library keeps at the top of
// the stack (the thread descriptor and static TLS, about 4.5 KiB with
// glibc, far more under ThreadSanitizer) is not counted.
uint32_t MeasureStackUse(const StackWindow& window);

}  // namespace telmor::platform::posix
