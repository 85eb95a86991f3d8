/*
 * Host services that a host library (VELDAN) exports to the telmor driver.
 * A host library exports exactly these names, with C linkage and no symbol
 * version. The driver reads the results of the first three as 16-bit codes.
 */
#ifndef VELDAN_VELDAN_H
#define VELDAN_VELDAN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(VELDAN_BUILD)
#define VELDAN_API __declspec(dllexport)
#else
#define VELDAN_API __declspec(dllimport)
#endif
#else
#define VELDAN_API __attribute__((visibility("default")))
#endif

/* Log levels the driver uses. */
#define VELDAN_LEVEL_MAJOR 32 /* start-up, warnings, address errors, failures */
#define VELDAN_LEVEL_TRACE 64 /* running trace */

/* Lookup result for an address the host has no gate for. */
#define VELDAN_NO_SUCH_GATE 5

/* Writes one log line; format is printf-style and ends without a line feed. */
VELDAN_API int err(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Finds the gate of `instance` named `address`: 0 found, 5 no such gate. */
VELDAN_API int KoriGetGateIdByAddressStr(int reserved, int instance, const char* address, uint32_t* gateId);

/* Converts a raw value laid out like a gate's value area into the gate's value. */
VELDAN_API int KoriCook(int reserved, uint32_t gateId, uint32_t raw, double* value);

/* Stores a value in a gate; the driver always passes kind 2 and a = b = 0. */
VELDAN_API int KoriPutGateVal(int reserved, uint32_t gateId, int kind, double value, int a, int b);

/* Tells the host that a station stopped answering; the driver passes a = b = 1. */
VELDAN_API int KoriSetPlcCommStatus(int reserved, int instance, uint32_t station, int a, int b);

#ifdef __cplusplus
}
#endif

#endif /* VELDAN_VELDAN_H */
