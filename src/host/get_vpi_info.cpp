// GetVpiInfo: what the host needs to know before it allocates a context.
#include "host/banner.h"
#include "host/commands.h"
#include "host/log.h"

namespace telmor {

int32_t GetVpiInfo(VpiCallBlock* callBlock) {
    auto* info = static_cast<VpiInfo*>(callBlock->params);
    if (info == nullptr) return VPI_UNABLE;  // nothing to fill; never dereference a null record
    info->fixedA = 70;
    info->shortName = kShortName;
    info->banner = kBanner;
    info->contextSize = VPI_CONTEXT_SIZE;
    info->fixedB = 4;
    info->defaultBaudRate = 9600;
    info->defaultDataBits = 7;
    info->defaultStopBits = 1;
    info->defaultParity = 4;
    info->fixedC = 1;
    TELMOR_LOG(kLevelTrace, "TELMOR> GetVpiInfo() exited");
    return VPI_DONE;
}

}  // namespace telmor
