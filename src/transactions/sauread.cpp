// The read transaction: SingleRead, BlockRead and DoRead.
#include "transactions/sauread.h"

#include <cstring>

#include "host/context.h"
#include "host/log.h"
#include "host/timeouts.h"
#include "serial/serial_link.h"
#include "transactions/build_request.h"
#include "transactions/exchange.h"
#include "transactions/handoff.h"
#include "transactions/local_gates.h"
#include "transactions/store_data.h"

namespace telmor {
namespace {

constexpr int kMaxAttempts = 3;

constexpr ExchangeTexts kReadTexts{
    "TELMOR> DoRead() wait, communication not initialised yet, '%s'",
    "TELMOR> DoRead() error, waiting for mutex semaphore, err %u, '%s'",
    "TELMOR> DoRead() error, time-out waiting for mutex semaphore, '%s'",
    "TELMOR> DoRead() error, releasing mutex semaphore, err %u, '%s'",
};

enum class Route : uint8_t { Line, Refused, Local, Internal };

// Which reads go on the line; the rest are refused or answered locally.
Route RouteOf(int32_t memoryType, const char* address) {
    switch (memoryType) {
        case VPI_MEM_COMMAND_TEXT:
        case 'E':
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error, no read supported for command gates, '%s'",
                       address);
            return Route::Refused;
        case 'R':
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error, no read supported for reset comms gate, '%s'",
                       address);
            return Route::Refused;
        case 'T':
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error, no read supported for timer sync gates, '%s'",
                       address);
            return Route::Refused;
        case 'S':
            return Route::Local;
        case 'A':
        case 'C':
        case 'D':
        case 'G':
        case 'H':
        case 'I':
        case 'K':
        case 'L':
        case 'V':
        case 'Z':
            return Route::Line;
        default:
            if (memoryType >= 'j' && memoryType <= 'w') return Route::Line;
            return Route::Internal;
    }
}

// Error replies: 064..066 refuse this time, 067 (no substation reply) is a
// failed exchange; any other code is an internal error (-1 ends at once).
int32_t ErrorReplyResult(const DriverContext& context, const char* address) {
    const int32_t code = ErrorReplyCode(context.replyBuf, context.replyLen);
    switch (code) {
        case -1:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() illegal error message '%.*s' received, '%s'",
                       QuotedLength(context.replyLen), context.replyBuf, address);
            return VPI_NOT_NOW;
        case 64:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error msg 'COMMUNICATION OVERFLOW (64)' received, '%s'",
                       address);
            return VPI_NOT_NOW;
        case 65:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error msg 'ILLEGAL FORMAT REQUEST (65)' received, '%s'",
                       address);
            return VPI_NOT_NOW;
        case 66:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error msg 'MESSAGE TOO LONG (66)' received, '%s'",
                       address);
            return VPI_NOT_NOW;
        case 67:
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error msg 'NO REPLY ON REQUEST (67)' received, '%s'",
                       address);
            return VPI_UNABLE;
        default:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoRead() internal error file SAUREAD line %u", 277u);
            return -1;
    }
}

// One attempt: send, wait for the hand-off, decode. -1 = stop at once.
int32_t ReadAttempt(DriverContext& context, GateRequest& request, const char* address) {
    // Armed before the send, so a reply faster than this thread is kept.
    char prefix[8];
    std::memcpy(prefix, context.requestBuf, 7);
    prefix[0] = 'U';
    ArmReply(context, prefix, 7);
    if (Send(context.requestBuf, context) != 0) {
        AwaitReply(context, 0);  // no reply awaited any more
        TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error, sending request, '%s'", address);
        return VPI_UNABLE;
    }
    const platform::WaitResult waited = AwaitReply(context, ReplyWaitMs(context));
    switch (waited) {
        case platform::WaitResult::Signalled:
            break;
        case platform::WaitResult::TimedOut:
            if (EndRequested(context)) return VPI_UNABLE;  // cut short: no time-out to report
            TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() error, time-out waiting for answer, '%s'", address);
            return VPI_UNABLE;
        case platform::WaitResult::Failed:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoRead() error, waiting for semaphore, err %u, '%s'",
                       platform::LastError(), address);
            return VPI_UNABLE;
        default:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoRead() unknown error %u, waiting for semaphore, err %u, '%s'",
                       static_cast<uint32_t>(waited), platform::LastError(), address);
            return VPI_UNABLE;
    }
    if (context.replyBuf[0] == 'E') return ErrorReplyResult(context, address);
    return StoreData(request, context.replyBuf, context.replyLen) == 0 ? VPI_DONE : VPI_NOT_NOW;
}

int32_t ReadOnLine(DriverContext& context, GateRequest& request, const char* address) {
    if (!NetworkReady(context, kReadTexts, address)) return VPI_NOT_NOW;
    if (!TakePortMutex(context, kReadTexts, address)) return VPI_NOT_NOW;
    context.requestBuf[0] = '\0';
    BuildRequest(request, context.requestBuf);
    if (context.requestBuf[0] == '\0') {
        // A request that has no frame (logged by BuildRequest) never goes out.
        ReleasePortMutex(context, kReadTexts, address);
        return VPI_NOT_NOW;
    }
    int32_t result = VPI_UNABLE;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        result = ReadAttempt(context, request, address);
        if (result == -1) {
            ReleasePortMutex(context, kReadTexts, address);
            return VPI_UNABLE;
        }
        if (result == VPI_DONE || !NormalOperation(context)) break;
    }
    ReleasePortMutex(context, kReadTexts, address);
    return FinalResult(context, result);
}

}  // namespace

int32_t DoRead(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    auto* request = static_cast<GateRequest*>(callBlock->params);
    if (context.comHandle.load(std::memory_order_acquire) == platform::kNullHandle) {
        TELMOR_LOG(kLevelTrace, "TELMOR> DoRead() Error, COM port not open");
        return VPI_UNABLE;
    }
    const char* address = AddressOf(request->addressText);
    switch (RouteOf(request->memoryType, address)) {
        case Route::Refused:
            return VPI_NOT_NOW;
        case Route::Local:
            ReadStatusGate(context, *request);
            return VPI_DONE;
        case Route::Internal:
            TELMOR_LOG(kLevelMajor, "TELMOR> DoRead() internal error file SAUREAD line %u", 176u);
            return VPI_UNABLE;
        case Route::Line:
            break;
    }
    return ReadOnLine(context, *request, address);
}

int32_t SingleRead(VpiCallBlock* callBlock) {
    auto* request = static_cast<GateRequest*>(callBlock->params);
    if (request == nullptr) return VPI_UNABLE;
    if (IsSpecialTextGate(request->memoryType)) {
        ReadSpecialText(ContextOf(callBlock), *request);
        return VPI_DONE;
    }
    const int32_t result = DoRead(callBlock);
    if (result != VPI_DONE) TELMOR_LOG(kLevelTrace, "TELMOR> SingleRead(), ret val is %d", result);
    return result;
}

int32_t BlockRead(VpiCallBlock* callBlock) {
    auto* request = static_cast<GateRequest*>(callBlock->params);
    if (request == nullptr) return VPI_UNABLE;
    int32_t result = VPI_DONE;
    if (request->memoryType == 'D' && request->count != 1) {
        // Counters come in two replies: upper four digits, then lower four.
        const uint32_t saved = request->counterPhase;
        request->counterPhase = 0;
        result = DoRead(callBlock);
        if (result == VPI_DONE) {
            request->counterPhase = 1;
            result = DoRead(callBlock);
        }
        request->counterPhase = saved;
    } else {
        result = DoRead(callBlock);
    }
    if (result != VPI_DONE) TELMOR_LOG(kLevelTrace, "TELMOR> BlockRead(), ret val is %d", result);
    return result;
}

}  // namespace telmor
