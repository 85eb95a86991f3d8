// The five services the driver imports by name from the host library.
//
// The binding reaches the host library's own definitions, never a same-named
// function elsewhere in the process (the C library has an `err` that exits).
#pragma once

#include <cstdint>

namespace telmor::platform {

// The format attribute lets the compiler check every log call.
typedef int (*ErrFn)(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
using GetGateIdFn = int (*)(int reserved, int instance, const char* address, uint32_t* gateId);
using CookFn = int (*)(int reserved, uint32_t gateId, uint32_t raw, double* value);
using PutGateValFn = int (*)(int reserved, uint32_t gateId, int kind, double value, int a, int b);
using SetCommStatusFn = int (*)(int reserved, int instance, uint32_t station, int a, int b);

struct HostServices {
    ErrFn err;
    GetGateIdFn getGateId;
    CookFn cook;
    PutGateValFn putGateVal;
    SetCommStatusFn setPlcCommStatus;
};

// The bound services. Every member is callable: a service the host library
// lacks is replaced by one that does nothing and returns 1.
const HostServices& Host();

}  // namespace telmor::platform
