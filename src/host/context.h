// DriverContext: all working state of one driver instance, in the block of
// VPI_CONTEXT_SIZE bytes that the host allocates and passes in every call.
//
// Ownership and ordering of the fields shared between threads:
// - The host's command threads, the receiver thread (UnsolThread) and the
//   station read threads share this record. Single-byte and word fields that
//   more than one thread touches are atomics; relaxed order is enough for the
//   state bytes (each is a value on its own), the hand-off and the stop
//   request use acquire/release as noted.
// - The hand-off fields (expectLen, acceptAnyLine, replyBuf, replyLen) change
//   only under handoffLock; see transactions/handoff.h.
// - rxLine belongs to the receiver thread; requestBuf to the holder of
//   portMutex. specialText is written by the command-gate write (holding
//   portMutex) and read by reads of "!1".."!3", both under handoffLock.
// - portMutex, replyEvent and the two I/O records are set by ColdStart before
//   any thread starts and closed by EndVpi after every thread has left.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/handle.h"
#include "platform/serial.h"
#include "telmor/vpi.h"

namespace telmor {

inline constexpr size_t kLineSize = 512;
inline constexpr size_t kStationCount = 1000;

// Bits of DriverContext::flags.
inline constexpr uint8_t kFlagStopRequested = 4;
inline constexpr uint8_t kFlagThreadEnded = 8;

struct PortSettings {
    char portName[VPI_PORT_NAME_SIZE];
    uint16_t baudRate;
    uint16_t dataBits;
    uint16_t stopBits;
    uint16_t parity;
    uint16_t lineControl;
};

struct DriverContext {
    uint32_t instanceNo;
    std::atomic<int32_t> timeout;       // hundredths of a second
    std::atomic<int32_t> endRequested;  // set by EndVpi
    std::atomic<platform::Handle> comHandle;
    platform::IoRecord writeOverlapped;
    platform::IoRecord readOverlapped;
    PortSettings portSettings;
    std::atomic<int32_t> commReady;
    char requestBuf[kLineSize];
    char rxLine[kLineSize];
    std::atomic<uint8_t> stationPresent[kStationCount];
    std::atomic<uint8_t> flags;  // kFlagStopRequested, kFlagThreadEnded
    std::atomic<uint8_t> commState;
    std::atomic<uint8_t> resetRequested;
    platform::Handle replyEvent;
    platform::Handle portMutex;
    std::atomic<uint16_t> expectLen;
    char replyBuf[kLineSize];
    uint16_t replyLen;
    std::atomic<uint16_t> readStationNo;
    char specialText[kLineSize];
    std::atomic<uint8_t> acceptAnyLine;

    // Fields of this implementation, in the room the small I/O records leave.
    std::atomic<uint8_t> handoffLock;     // guards the hand-off fields
    std::atomic<uint8_t> sendLock;        // one Send at a time per instance
    std::atomic<uint16_t> activeThreads;  // driver threads that may still use this context
    std::atomic<int32_t> readTimeoutCs;   // the port's read time-out, also while it is closed
};

static_assert(sizeof(DriverContext) <= VPI_CONTEXT_SIZE, "DriverContext must fit the host's block");
static_assert(std::atomic<uint8_t>::is_always_lock_free && std::atomic<uint16_t>::is_always_lock_free &&
                  std::atomic<int32_t>::is_always_lock_free,
              "context atomics must be plain memory");

inline DriverContext& ContextOf(const VpiCallBlock* callBlock) {
    return *static_cast<DriverContext*>(callBlock->context);
}

// Whether EndVpi has asked the instance to stop. Acquire pairs with EndVpi's
// release, although nothing else is published with it.
inline bool EndRequested(const DriverContext& context) {
    return context.endRequested.load(std::memory_order_acquire) != 0;
}

}  // namespace telmor
