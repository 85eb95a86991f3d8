// The driver as a SCADA host sees it: a library loaded by path, one entry
// point, the records of the host header, and a context block per instance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "telmor/vpi.h"
#include "vpihost/gate_values.h"

namespace vpihost {

class Driver {
public:
    Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // dlopen and dlsym("VpiMain"). False with the reason in `error`. The library
    // stays loaded for the life of the process: its threads may outlive EndVpi
    // by a moment.
    bool Load(const std::string& path, std::string& error);
    const std::string& Path() const { return path_; }

    // GetVpiInfo; needs no context.
    VpiInfo Info();
    // Allocates the instance's context, zeroed, of the size GetVpiInfo reported.
    void AllocateContext(uint32_t size, uint32_t instance);
    uint32_t Instance() const { return instance_; }

    int32_t Call(uint32_t command, void* params, uint32_t paramSize);

private:
    using VpiMainFn = int32_t (*)(VpiCallBlock*);
    VpiMainFn vpiMain_ = nullptr;
    std::unique_ptr<uint64_t[]> context_;
    uint32_t instance_ = 1;
    std::string path_;
};

// TELMOR_DRIVER when set, otherwise the driver next to this program.
std::string DefaultDriverPath();

// SingleAddressParser (blockSize 0) or BlockAddressParser on `record`, whose
// address text must outlive the call. Returns the driver's result.
int32_t CheckGate(Driver& driver, GateRecord& record, const char* address, int gateType, int blockSize);

// The read/write record for a checked gate or block, pointing at `area`.
GateRequest MakeRequest(const GateRecord& record, int count, ValueArea& area);

}  // namespace vpihost
