// Stack painting and scanning. Both run outside the sanitizers: they touch
// memory below the stack pointer that no object owns.
#include "platform/posix/stack_probe.h"

#include <pthread.h>

#include <cstddef>

namespace telmor::platform::posix {
namespace {

constexpr uintptr_t kPattern = static_cast<uintptr_t>(0xA5A5A5A5A5A5A5A5ull);
// Room left unpainted below the painter's own frame, for the frames of the
// calls that follow it before the thread routine starts.
constexpr uintptr_t kMarginBytes = 512;

// pthread_getattr_np is the one way to the bounds; glibc allocates a small
// CPU set inside it, once per thread start.
bool CurrentStack(uintptr_t* low, uintptr_t* high) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
    void* base = nullptr;
    size_t size = 0;
    bool known = pthread_attr_getstack(&attr, &base, &size) == 0;
    pthread_attr_destroy(&attr);
    if (!known) return false;
    *low = reinterpret_cast<uintptr_t>(base);
    *high = *low + size;
    return true;
}

}  // namespace

__attribute__((noinline, no_sanitize_address, no_sanitize_thread)) StackWindow PaintUnusedStack() {
    uintptr_t low = 0;
    uintptr_t high = 0;
    if (!CurrentStack(&low, &high)) return StackWindow{0, 0};
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t end = (here - kMarginBytes) & ~(sizeof(uintptr_t) - 1);
    if (end <= low || here >= high) return StackWindow{0, 0};
    StackWindow window{low, here};
    // volatile keeps the compiler from turning the loop into a call that
    // would itself run on the memory being painted.
    for (volatile uintptr_t* word = reinterpret_cast<uintptr_t*>(window.low);
         reinterpret_cast<uintptr_t>(word) < end; ++word) {
        *word = kPattern;
    }
    return window;
}

__attribute__((noinline, no_sanitize_address, no_sanitize_thread)) uint32_t MeasureStackUse(
    const StackWindow& window) {
    if (window.start == 0) return 0;
    const volatile uintptr_t* word = reinterpret_cast<const uintptr_t*>(window.low);
    while (reinterpret_cast<uintptr_t>(word) < window.start && *word == kPattern) ++word;
    return static_cast<uint32_t>(window.start - reinterpret_cast<uintptr_t>(word));
}

}  // namespace telmor::platform::posix
