// The shipped driver does not measure its threads' stacks: painting and
// scanning some 60 KiB at every thread's start and end is work for tests
// only, and the scan would run after the thread has told EndVpi it is gone.
#include "platform/thread.h"

namespace telmor::platform {

bool MeasuresThreadStacks() {
    return false;
}

}  // namespace telmor::platform
