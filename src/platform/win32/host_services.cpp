// The host services, imported by name from the host library VELDAN.DLL.
//
// On Windows an import names its DLL, so `err` binds to the host library's
// own and never to a same-named function elsewhere in the process. A host
// library that lacks one of the five makes the loader refuse the driver:
// Windows has no weak imports to fall back from.
#include "platform/host_services.h"

#include "veldan/veldan.h"

namespace telmor::platform {

const HostServices& Host() {
    // Bound once, on first use; the addresses come from the import table.
    static const HostServices services{
        err, KoriGetGateIdByAddressStr, KoriCook, KoriPutGateVal, KoriSetPlcCommStatus,
    };
    return services;
}

}  // namespace telmor::platform
