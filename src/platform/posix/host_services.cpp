// Binds the host services to the host library's own definitions.
//
// Importing them by name would bind `err` to whatever comes first in the
// process's lookup scope, and a host that loads the driver with RTLD_LOCAL
// often has the C library there, whose `err` prints and exits the process.
// A symbol looked up on the host library's own handle is searched in that
// library before its dependencies; checking the object it came from rules out
// a same-named function of a dependency when the library lacks one.
#include "platform/host_services.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

#ifndef VELDAN_SONAME
#error "VELDAN_SONAME must name the host library, e.g. \"libveldan.so.1\""
#endif

namespace telmor::platform {
namespace {

// A service the host library lacks does nothing and reports "not done".
int ErrStub(int, const char*, ...) {
    return 1;
}
int GetGateIdStub(int, int, const char*, uint32_t*) {
    return 1;
}
int CookStub(int, uint32_t, uint32_t, double*) {
    return 1;
}
int PutGateValStub(int, uint32_t, int, double, int, int) {
    return 1;
}
int SetCommStatusStub(int, int, uint32_t, int, int) {
    return 1;
}

// The object that defines `symbol`, or null.
const link_map* DefiningObject(void* symbol) {
    Dl_info info;
    void* object = nullptr;
    if (dladdr1(symbol, &info, &object, RTLD_DL_LINKMAP) == 0) return nullptr;
    return static_cast<const link_map*>(object);
}

template <typename Fn>
Fn Resolve(void* library, const link_map* libraryMap, const char* name, Fn stub) {
    if (library == nullptr) return stub;
    void* symbol = dlsym(library, name);
    if (symbol == nullptr || DefiningObject(symbol) != libraryMap) return stub;
    // dlsym hands back an object pointer; copying its bits is the defined way
    // to turn it into the function pointer it stands for.
    static_assert(sizeof(Fn) == sizeof(symbol));
    Fn fn;
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

HostServices Bind() {
    // The driver has a DT_NEEDED on the host library, so it is already loaded;
    // the handle keeps it so for as long as the driver is.
    void* library = dlopen(VELDAN_SONAME, RTLD_LAZY | RTLD_NOLOAD);
    link_map* libraryMap = nullptr;
    if (library != nullptr && dlinfo(library, RTLD_DI_LINKMAP, &libraryMap) != 0) library = nullptr;
    return HostServices{
        Resolve<ErrFn>(library, libraryMap, "err", ErrStub),
        Resolve<GetGateIdFn>(library, libraryMap, "KoriGetGateIdByAddressStr", GetGateIdStub),
        Resolve<CookFn>(library, libraryMap, "KoriCook", CookStub),
        Resolve<PutGateValFn>(library, libraryMap, "KoriPutGateVal", PutGateValStub),
        Resolve<SetCommStatusFn>(library, libraryMap, "KoriSetPlcCommStatus", SetCommStatusStub),
    };
}

}  // namespace

const HostServices& Host() {
    // Bound once, on first use, by whichever thread comes first; the others
    // wait for it. The driver allocates nothing for it.
    static const HostServices services = Bind();
    return services;
}

}  // namespace telmor::platform
