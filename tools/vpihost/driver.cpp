// Loading the driver and calling it through VpiMain, as a plug-in host does.
#include "vpihost/driver.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace vpihost {

bool Driver::Load(const std::string& path, std::string& error) {
    // RTLD_LOCAL, as plug-in hosts load drivers: nothing of the driver joins the
    // global scope, and the driver finds its host library on its own.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    void* symbol = dlsym(library, "VpiMain");
    if (symbol == nullptr) {
        error = path + " has no VpiMain";
        return false;
    }
    // dlsym hands back an object pointer; copying its bits is the defined way to a function pointer.
    static_assert(sizeof symbol == sizeof vpiMain_);
    std::memcpy(&vpiMain_, &symbol, sizeof symbol);
    path_ = path;
    return true;
}

VpiInfo Driver::Info() {
    VpiInfo info{};
    Call(VPI_GET_VPI_INFO, &info, sizeof info);
    return info;
}

void Driver::AllocateContext(uint32_t size, uint32_t instance) {
    context_ = std::make_unique<uint64_t[]>((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));
    instance_ = instance;
}

int32_t Driver::Call(uint32_t command, void* params, uint32_t paramSize) {
    VpiCallBlock block{};
    block.context = context_.get();
    block.commandCode = command;
    block.instanceNo = instance_;
    block.paramSize = paramSize;
    block.params = params;
    return vpiMain_(&block);
}

std::string DefaultDriverPath() {
    if (const char* fromEnvironment = std::getenv("TELMOR_DRIVER"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return VPIHOST_DRIVER_RELATIVE;
    std::string directory(self, static_cast<size_t>(length));
    directory.erase(directory.rfind('/') + 1);
    // In the build tree the driver sits in ../lib; an installed driver is a
    // plug-in in its own folder under the library directory.
    const std::string built = directory + VPIHOST_DRIVER_RELATIVE;
    if (access(built.c_str(), R_OK) == 0) return built;
    return directory + VPIHOST_DRIVER_INSTALLED;
}

int32_t CheckGate(Driver& driver, GateRecord& record, const char* address, int gateType, int blockSize) {
    record = GateRecord{};
    record.addressText = address;
    record.gateType = gateType;
    record.blockSize = blockSize;
    const uint32_t command = blockSize > 0 ? VPI_BLOCK_ADDRESS_PARSER : VPI_SINGLE_ADDRESS_PARSER;
    return driver.Call(command, &record, sizeof record);
}

GateRequest MakeRequest(const GateRecord& record, int count, ValueArea& area) {
    GateRequest request{};
    request.addressText = record.addressText;
    request.station = record.station;
    request.memoryType = record.memoryType;
    request.address = record.address;
    request.bitNumber = record.bitNumber;
    request.dataWidth = record.dataWidth;
    request.count = count;
    request.value = area.bytes;
    return request;
}

}  // namespace vpihost
