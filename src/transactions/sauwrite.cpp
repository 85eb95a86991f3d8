// The write transaction: SingleWrite, BlockWrite and DoWrite.
#include "transactions/sauwrite.h"

#include <cstring>

#include "host/context.h"
#include "host/log.h"
#include "host/timeouts.h"
#include "serial/serial_link.h"
#include "transactions/build_write_request.h"
#include "transactions/exchange.h"
#include "transactions/handoff.h"
#include "transactions/local_gates.h"

namespace telmor {
namespace {

constexpr int kMaxAttempts = 3;

constexpr ExchangeTexts kWriteTexts{
    "TELMOR> DoWrite() wait, communication not initialised yet, '%s'",
    "TELMOR> DoWrite() error, waiting for mutex semaphore, err %u, '%s'",
    "TELMOR> DoWrite() error, time-out waiting for mutex semaphore, '%s'",
    "TELMOR> DoWrite() error, releasing mutex semaphore, err %u, '%s'",
};

enum class Route : uint8_t { Line, Reset, Refused, Internal };

// A memory-type letter in `letters`; codes outside ASCII letters never match.
bool InSet(const char* letters, int32_t memoryType) {
    return memoryType >= 'A' && memoryType <= 'z' && std::strchr(letters, memoryType) != nullptr;
}

bool IsMeasurementOnly(int32_t memoryType) {
    return InSet("Almpqtu", memoryType);
}

bool IsWritable(int32_t memoryType) {
    return memoryType == VPI_MEM_COMMAND_TEXT || InSet("CDEGIKLTVZjknorsvw", memoryType);
}

Route RouteOf(int32_t memoryType, const char* address) {
    if (memoryType == 'R') return Route::Reset;
    if (IsSpecialTextGate(memoryType) || IsMeasurementOnly(memoryType)) {
        TELMOR_LOG(kLevelTrace,
                   "TELMOR> DoWrite() error, no write supported for analog measurement gates, '%s'", address);
        return Route::Refused;
    }
    if (memoryType == 'H') {
        TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() error, no write supported for digital signal gates, '%s'",
                   address);
        return Route::Refused;
    }
    if (memoryType == 'S') {
        TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() error, no write supported for status gates, '%s'",
                   address);
        return Route::Refused;
    }
    return IsWritable(memoryType) ? Route::Line : Route::Internal;
}

// Error replies all refuse this time; an unknown code ends at once (-1).
int32_t ErrorReplyResult(const DriverContext& context, const char* address) {
    switch (ErrorReplyCode(context.replyBuf, context.replyLen)) {
        case -1:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() illegal error message '%.*s' received, '%s'",
                       QuotedLength(context.replyLen), context.replyBuf, address);
            return VPI_NOT_NOW;
        case 64:
            TELMOR_LOG(kLevelTrace,
                       "TELMOR> DoWrite() error msg 'COMMUNICATION OVERFLOW (64)' received, '%s'", address);
            return VPI_NOT_NOW;
        case 65:
            TELMOR_LOG(kLevelTrace,
                       "TELMOR> DoWrite() error msg 'ILLEGAL FORMAT REQUEST (65)' received, '%s'", address);
            return VPI_NOT_NOW;
        case 66:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() error msg 'MESSAGE TOO LONG (66)' received, '%s'",
                       address);
            return VPI_NOT_NOW;
        case 67:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() error msg 'NO REPLY ON REQUEST (67)' received, '%s'",
                       address);
            return VPI_NOT_NOW;
        default:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoWrite() internal error file SAUWRITE line %u", 232u);
            return -1;
    }
}

int32_t AwaitAcknowledge(DriverContext& context, const char* address) {
    const platform::WaitResult waited = AwaitReply(context, ReplyWaitMs(context));
    switch (waited) {
        case platform::WaitResult::Signalled:
            break;
        case platform::WaitResult::TimedOut:
            if (EndRequested(context)) return VPI_UNABLE;  // cut short: no time-out to report
            TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() error, time-out waiting for acknowledge, '%s'",
                       address);
            return VPI_UNABLE;
        case platform::WaitResult::Failed:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoWrite() error, waiting for semaphore, err %u, '%s'",
                       platform::LastError(), address);
            return VPI_UNABLE;
        default:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoWrite() unknown error %u, waiting for semaphore, err %u, '%s'",
                       static_cast<uint32_t>(waited), platform::LastError(), address);
            return VPI_UNABLE;
    }
    if (context.replyBuf[0] == 'E') return ErrorReplyResult(context, address);
    if (context.replyLen >= 2 && context.replyBuf[0] == '\n' && context.replyBuf[1] == '\r') return VPI_DONE;
    TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() internal error, acknowledge not LF CR, '%s'", address);
    return VPI_NOT_NOW;
}

enum class Outcome : uint8_t { Attempted, Finished };

struct AttemptResult {
    Outcome outcome;
    int32_t result;
};

// One attempt. Finished = return `result` at once (the mutex is released by
// the caller on every way out).
AttemptResult WriteAttempt(DriverContext& context, const GateRequest& request, const char* address) {
    if (BuildWriteRequest(request, context.requestBuf, sizeof(context.requestBuf)) != 0) {
        return {Outcome::Finished, VPI_NOT_NOW};
    }
    const int32_t type = request.memoryType;
    const bool noAnswer = type == 'K' || type == 'L';
    if (type == VPI_MEM_COMMAND_TEXT) {
        ArmAnyLine(context);
    } else if (!noAnswer) {
        ArmReply(context, context.requestBuf, 2);
    }
    if (Send(context.requestBuf, context) != 0) {
        if (!noAnswer) AwaitReply(context, 0);  // no reply awaited any more
        TELMOR_LOG(kLevelMajor, "TELMOR> DoWrite() error, sending request, '%s'", address);
        return {Outcome::Attempted, VPI_UNABLE};
    }
    if (noAnswer) return {Outcome::Finished, VPI_DONE};
    if (type == VPI_MEM_COMMAND_TEXT) {
        // Whatever comes back (or what the buffer held when nothing came)
        // becomes the text of the special gates.
        AwaitReply(context, ReplyWaitMs(context));
        StoreSpecialText(context);
        return {Outcome::Finished, VPI_DONE};
    }
    const int32_t result = AwaitAcknowledge(context, address);
    if (result == -1) return {Outcome::Finished, VPI_UNABLE};
    return {Outcome::Attempted, result};
}

int32_t WriteOnLine(DriverContext& context, const GateRequest& request, const char* address) {
    if (!NetworkReady(context, kWriteTexts, address)) return VPI_NOT_NOW;
    if (!TakePortMutex(context, kWriteTexts, address)) return VPI_NOT_NOW;
    int32_t result = VPI_UNABLE;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const AttemptResult done = WriteAttempt(context, request, address);
        if (done.outcome == Outcome::Finished) {
            ReleasePortMutex(context, kWriteTexts, address);
            return done.result;
        }
        result = done.result;
        if (result == VPI_DONE || !NormalOperation(context)) break;
    }
    ReleasePortMutex(context, kWriteTexts, address);
    return FinalResult(context, result);
}

}  // namespace

int32_t DoWrite(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    const auto* request = static_cast<const GateRequest*>(callBlock->params);
    if (context.comHandle.load(std::memory_order_acquire) == platform::kNullHandle) {
        TELMOR_LOG(kLevelTrace, "TELMOR> DoWrite() Error, COM port not open");
        return VPI_UNABLE;
    }
    const char* address = AddressOf(request->addressText);
    switch (RouteOf(request->memoryType, address)) {
        case Route::Reset:
            // The receiver thread restarts the communication at its next turn.
            context.resetRequested.store(1, std::memory_order_relaxed);
            return VPI_DONE;
        case Route::Refused:
            return VPI_NOT_NOW;
        case Route::Internal:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoWrite() internal error file SAUWRITE line %u", 112u);
            return VPI_UNABLE;
        case Route::Line:
            break;
    }
    return WriteOnLine(context, *request, address);
}

int32_t SingleWrite(VpiCallBlock* callBlock) {
    const auto* request = static_cast<const GateRequest*>(callBlock->params);
    if (request == nullptr) return VPI_UNABLE;
    const int32_t result = DoWrite(callBlock);
    if (result != VPI_DONE) {
        TELMOR_LOG(kLevelTrace, "TELMOR> SingleWrite() , ret val is %d gate '%s'", result,
                   AddressOf(request->addressText));
    }
    return result;
}

int32_t BlockWrite(VpiCallBlock* callBlock) {
    const auto* request = static_cast<const GateRequest*>(callBlock->params);
    TELMOR_LOG(kLevelTrace, "TELMOR> BlockWrite() not supported by this driver, block '%s'",
               request != nullptr ? AddressOf(request->addressText) : "");
    return VPI_NOT_NOW;
}

}  // namespace telmor
