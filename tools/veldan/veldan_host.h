/*
 * The stand-in host library's own C API, for host programs and tests: define
 * gates, read values, log lines and communication-status reports back, and
 * make a service fail on purpose.
 *
 * Thread contract: every function may be called from any thread at any time,
 * also while the driver calls the services of veldan.h.
 */
#ifndef VELDAN_VELDAN_HOST_H
#define VELDAN_VELDAN_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "veldan/veldan.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Forgets every gate, log line, report and forced result. */
VELDAN_API void VeldanReset(void);

/* ---- gates ---- */
/* Defines a gate of `instance` (0..255, as the driver passes it) with the
 * address text; returns 0 and its id, or nonzero if the address exists. */
VELDAN_API int VeldanDefineGate(int instance, const char* address, int gateType, uint32_t* gateId);
/* Cooked value = raw * factor + offset (default 1 and 0). */
VELDAN_API int VeldanSetScale(uint32_t gateId, double factor, double offset);
/* Last put value, its raw value (what KoriCook got; the bit value for bit gates),
 * the number of puts and the time of the last put (CLOCK_REALTIME, ns). Returns
 * 0, or nonzero for an unknown gate. Any out pointer may be null. */
VELDAN_API int VeldanGetGate(uint32_t gateId, double* value, uint32_t* raw, uint32_t* putCount,
                             int64_t* lastPutNs);
/* Looks a gate up by instance and address; 0 and the id, or 5. */
VELDAN_API int VeldanFindGate(int instance, const char* address, uint32_t* gateId);
VELDAN_API size_t VeldanGateCount(void);

/* ---- calls the driver made, in order ---- */
enum VeldanCallKind {
    VELDAN_CALL_LOOKUP = 1,
    VELDAN_CALL_COOK = 2,
    VELDAN_CALL_PUT = 3,
    VELDAN_CALL_COMM_STATUS = 4
};
typedef struct VeldanCall {
    int kind;          /* VeldanCallKind */
    int instance;      /* lookup, comm status */
    char address[32];  /* lookup: the address asked for; cook/put: the gate's address */
    uint32_t gateId;   /* cook, put */
    uint32_t raw;      /* cook */
    double value;      /* put */
    int putKind, a, b; /* put: kind, a, b; comm status: a, b */
    uint32_t station;  /* comm status */
    int result;        /* what the service returned */
} VeldanCall;
VELDAN_API size_t VeldanCallCount(void);
/* Copies call i; 0, or nonzero when i is out of range. */
VELDAN_API int VeldanGetCall(size_t index, VeldanCall* call);

/* ---- forced results, to test the driver's failure paths ---- */
/* Makes the given service return `result` for the address (lookup) or the gate
 * of that address (cook, put); result 0 removes the forcing. */
VELDAN_API void VeldanForceResult(int kind, const char* address, int result);

/* ---- log ---- */
VELDAN_API size_t VeldanLogCount(void);
/* Copies log line i (without line feed, NUL-terminated, cut to `size`) and its
 * level; 0, or nonzero when i is out of range. */
VELDAN_API int VeldanGetLogLine(size_t index, int* level, char* text, size_t size);
/* Where log lines go besides the in-memory record: stderr on/off (default off),
 * a file (NULL closes it), and a level filter: only levels in `mask` are written
 * to stderr and the file (bit 0 = level 32, bit 1 = level 64; default both). */
VELDAN_API void VeldanLogToStderr(int on);
VELDAN_API int VeldanLogToFile(const char* path);
VELDAN_API void VeldanSetLogMask(int mask);
/* Called for every log line, on the thread that logged it (NULL removes it). */
typedef void (*VeldanLogCallback)(void* user, int level, const char* text);
VELDAN_API void VeldanSetLogCallback(VeldanLogCallback callback, void* user);
/* Called for every successful put, with the gate's raw value as the put left
 * it (see VeldanGetGate), taken together with the value. */
typedef void (*VeldanPutCallback)(void* user, uint32_t gateId, const char* address, double value,
                                  uint32_t raw);
VELDAN_API void VeldanSetPutCallback(VeldanPutCallback callback, void* user);
/* Called for every communication-status report the host library accepted. */
typedef void (*VeldanCommStatusCallback)(void* user, int instance, uint32_t station, int a, int b);
VELDAN_API void VeldanSetCommStatusCallback(VeldanCommStatusCallback callback, void* user);

#ifdef __cplusplus
}
#endif

#endif /* VELDAN_VELDAN_HOST_H */
