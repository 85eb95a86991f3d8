/*
 * telmor host interface: the records a SCADA host shares with the driver and
 * the one entry point it calls. Plain C, usable from C and C++ hosts.
 *
 * Pointers have the native width. On a 32-bit build every offset and size is
 * the fixed layout hosts rely on; the static assertions at the end prove it.
 */
#ifndef TELMOR_VPI_H
#define TELMOR_VPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Command codes of VpiCallBlock.commandCode. */
enum VpiCommand {
    VPI_COLD_START = 1,
    VPI_WARM_START = 2,
    VPI_SINGLE_ADDRESS_PARSER = 3,
    VPI_BLOCK_ADDRESS_PARSER = 4,
    VPI_SINGLE_READ = 5,
    VPI_BLOCK_READ = 6,
    VPI_SINGLE_WRITE = 7,
    VPI_BLOCK_WRITE = 10,
    VPI_END_VPI = 11,
    VPI_CLOSE_COM = 12,
    VPI_REOPEN_COM = 13,
    VPI_GET_VPI_INFO = 14,
    VPI_CHANGE_VPI_PARAMS = 15,
    VPI_READ_INPUT = 17,  /* named by hosts, no handler */
    VPI_WRITE_OUTPUT = 18 /* named by hosts, no handler */
};

/* Result codes of every command. */
enum VpiResult {
    VPI_DONE = 0,    /* carried out */
    VPI_NOT_NOW = 1, /* refused, network not ready, mutex busy, error answer */
    VPI_UNABLE = 2   /* no handler, no port, system failure, no answer */
};

/* Gate type codes of GateRecord.gateType. */
enum VpiGateType {
    VPI_GATE_ANALOG16 = 0,
    VPI_GATE_ANALOG16_SIGNED = 1,
    VPI_GATE_ANALOG16_B = 2,
    VPI_GATE_UNUSED3 = 3,
    VPI_GATE_ANALOG32 = 4,
    VPI_GATE_ANALOG32_B = 5,
    VPI_GATE_DIGITAL = 6,
    VPI_GATE_TEXT = 7
};

/* Memory type codes of the special gates "!T", "!1", "!2", "!3". */
enum VpiSpecialGate { VPI_MEM_COMMAND_TEXT = 1, VPI_MEM_TEXT1 = 2, VPI_MEM_TEXT2 = 3, VPI_MEM_TEXT3 = 4 };

#define VPI_CONTEXT_SIZE 3152u
#define VPI_PORT_NAME_SIZE 12

typedef struct VpiCallBlock {
    void* context;        /* the instance's DriverContext (VPI_CONTEXT_SIZE bytes) */
    uint32_t commandCode; /* VpiCommand */
    uint32_t instanceNo;
    uint32_t paramSize;
    void* params; /* the command's parameter record */
} VpiCallBlock;

/* ColdStart's parameters. */
typedef struct ComSettings {
    char portName[VPI_PORT_NAME_SIZE];
    int32_t portEnabled;
    int32_t timeout; /* hundredths of a second */
    uint16_t baudRate;
    uint16_t dataBits;
    uint16_t stopBits; /* 0 one, 1 one and a half, 2 two */
    uint16_t parity;   /* 0 none, 1 odd, 2 even, 3 mark, 4 space */
} ComSettings;

/* ChangeVpiParams' parameters: no portEnabled, so 4 bytes shorter. */
typedef struct VpiParams {
    char portName[VPI_PORT_NAME_SIZE];
    int32_t timeout;   /* 0 or -1 keeps the current one */
    uint16_t baudRate; /* 0 keeps all four line settings */
    uint16_t dataBits;
    uint16_t stopBits;
    uint16_t parity;
} VpiParams;

/* Filled by GetVpiInfo; needs no context. */
typedef struct VpiInfo {
    int32_t fixedA;
    const char* shortName;
    const char* banner;
    uint32_t contextSize;
    int32_t fixedB;
    uint16_t defaultBaudRate;
    uint16_t defaultDataBits;
    uint16_t defaultStopBits;
    uint16_t defaultParity;
    int32_t fixedC;
} VpiInfo;

/* A gate or block as the address commands see it. */
typedef struct GateRecord {
    const char* addressText;
    uint32_t reserved;
    int32_t gateType;
    int32_t blockSize;
    uint32_t station;   /* 0..999, 1000 for S and R */
    int32_t memoryType; /* letter's character code, or VpiSpecialGate */
    uint32_t address;
    int32_t bitNumber; /* 0..7, -1 none */
    int32_t dataWidth; /* 8, 16 or 32 */
} GateRecord;

/* A gate or block as the read and write commands see it. */
typedef struct GateRequest {
    const char* addressText;
    uint32_t counterPhase;
    uint32_t station;
    int32_t memoryType;
    uint32_t address;
    int32_t bitNumber;
    int32_t dataWidth;
    uint32_t hostField8;
    int32_t count;
    uint32_t hostField10;
    void* value;
    uint32_t hostField12;
} GateRequest;

#if defined(_WIN32)
#define TELMOR_EXPORT __declspec(dllexport)
#else
#define TELMOR_EXPORT __attribute__((visibility("default")))
#endif

/* The driver's only exported entry point. */
TELMOR_EXPORT int32_t VpiMain(VpiCallBlock* callBlock);

#ifdef __cplusplus
}
#endif

/* Fixed 32-bit layouts, checked where they are really compiled. */
#if defined(__cplusplus)
#define TELMOR_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define TELMOR_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#include <stddef.h>
#if UINTPTR_MAX == 0xFFFFFFFFu
TELMOR_STATIC_ASSERT(sizeof(VpiCallBlock) == 20, "VpiCallBlock size");
TELMOR_STATIC_ASSERT(offsetof(VpiCallBlock, commandCode) == 4, "commandCode");
TELMOR_STATIC_ASSERT(offsetof(VpiCallBlock, instanceNo) == 8, "instanceNo");
TELMOR_STATIC_ASSERT(offsetof(VpiCallBlock, paramSize) == 12, "paramSize");
TELMOR_STATIC_ASSERT(offsetof(VpiCallBlock, params) == 16, "params");
TELMOR_STATIC_ASSERT(sizeof(ComSettings) == 28, "ComSettings size");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, portEnabled) == 12, "portEnabled");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, timeout) == 16, "timeout");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, baudRate) == 20, "baudRate");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, dataBits) == 22, "dataBits");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, stopBits) == 24, "stopBits");
TELMOR_STATIC_ASSERT(offsetof(ComSettings, parity) == 26, "parity");
TELMOR_STATIC_ASSERT(sizeof(VpiParams) == 24, "VpiParams size");
TELMOR_STATIC_ASSERT(offsetof(VpiParams, timeout) == 12, "timeout");
TELMOR_STATIC_ASSERT(offsetof(VpiParams, baudRate) == 16, "baudRate");
TELMOR_STATIC_ASSERT(offsetof(VpiParams, parity) == 22, "parity");
TELMOR_STATIC_ASSERT(sizeof(VpiInfo) == 32, "VpiInfo size");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, shortName) == 4, "shortName");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, banner) == 8, "banner");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, contextSize) == 12, "contextSize");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, fixedB) == 16, "fixedB");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, defaultBaudRate) == 20, "defaultBaudRate");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, defaultDataBits) == 22, "defaultDataBits");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, defaultStopBits) == 24, "defaultStopBits");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, defaultParity) == 26, "defaultParity");
TELMOR_STATIC_ASSERT(offsetof(VpiInfo, fixedC) == 28, "fixedC");
TELMOR_STATIC_ASSERT(sizeof(GateRecord) == 36, "GateRecord size");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, gateType) == 8, "gateType");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, blockSize) == 12, "blockSize");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, station) == 16, "station");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, memoryType) == 20, "memoryType");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, address) == 24, "address");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, bitNumber) == 28, "bitNumber");
TELMOR_STATIC_ASSERT(offsetof(GateRecord, dataWidth) == 32, "dataWidth");
TELMOR_STATIC_ASSERT(sizeof(GateRequest) == 48, "GateRequest size");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, counterPhase) == 4, "counterPhase");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, station) == 8, "station");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, memoryType) == 12, "memoryType");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, address) == 16, "address");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, bitNumber) == 20, "bitNumber");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, dataWidth) == 24, "dataWidth");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, count) == 32, "count");
TELMOR_STATIC_ASSERT(offsetof(GateRequest, value) == 40, "value");
#endif

#endif /* TELMOR_VPI_H */
