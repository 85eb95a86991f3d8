// The test build measures how deep its threads' stacks go (see
// DeepestThreadStackUse). Only the test build of the driver links this file.
#include "platform/thread.h"

namespace telmor::platform {

bool MeasuresThreadStacks() {
    return true;
}

}  // namespace telmor::platform
