// The port mutex, the retry rule and the error replies shared by the read and
// write transactions.
#include "transactions/exchange.h"

#include "host/log.h"
#include "host/timeouts.h"
#include "platform/clock.h"
#include "platform/sync.h"

namespace telmor {

bool NormalOperation(const DriverContext& context) {
    // Once EndVpi has asked to stop, nobody reads the replies any more.
    return context.commState.load(std::memory_order_relaxed) >= 4 &&
           context.resetRequested.load(std::memory_order_relaxed) == 0 && !EndRequested(context);
}

int32_t FinalResult(const DriverContext& context, int32_t lastAttempt) {
    if (lastAttempt == VPI_DONE) return VPI_DONE;
    return NormalOperation(context) ? lastAttempt : VPI_NOT_NOW;
}

bool NetworkReady(const DriverContext& context, const ExchangeTexts& texts, const char* address) {
    if (context.commReady.load(std::memory_order_acquire) != 0) return true;
    TELMOR_LOG(kLevelTrace, texts.notInitialised, address);
    // The pause holds back a caller that asks again at once; EndVpi, which
    // waits for the station reads, need not sit it out.
    constexpr uint32_t kSlice = 50;
    for (uint32_t left = 2500; left > 0 && !EndRequested(context); left -= kSlice) platform::SleepMs(kSlice);
    return false;
}

bool TakePortMutex(const DriverContext& context, const ExchangeTexts& texts, const char* address) {
    switch (platform::WaitMutex(context.portMutex, MutexWaitMs(context))) {
        case platform::WaitResult::Signalled:
        case platform::WaitResult::Abandoned:
            // A command that waited for the mutex while EndVpi began sends
            // nothing: nobody reads the answers any more.
            if (!EndRequested(context)) return true;
            platform::ReleaseMutex(context.portMutex);
            return false;
        case platform::WaitResult::TimedOut:
            TELMOR_LOG(kLevelMajor, texts.mutexTimedOut, address);
            return false;
        case platform::WaitResult::Failed:
            break;
    }
    TELMOR_LOG(kLevelMajor, texts.mutexFailed, platform::LastError(), address);
    return false;
}

void ReleasePortMutex(const DriverContext& context, const ExchangeTexts& texts, const char* address) {
    if (!platform::ReleaseMutex(context.portMutex)) {
        TELMOR_LOG(kLevelMajor, texts.releaseFailed, platform::LastError(), address);
    }
}

int32_t ReadNumber3(const char* line, uint16_t length, uint16_t at) {
    while (at < length && (line[at] == ' ' || (line[at] >= '\t' && line[at] <= '\r'))) ++at;
    int32_t value = 0;
    int digits = 0;
    for (; digits < 3 && at < length && line[at] >= '0' && line[at] <= '9'; ++digits, ++at) {
        value = value * 10 + (line[at] - '0');
    }
    return digits == 0 ? -1 : value;
}

int QuotedLength(uint16_t length) {
    return length >= 2 ? length - 2 : 0;
}

const char* AddressOf(const char* addressText) {
    return addressText != nullptr ? addressText : "";
}

}  // namespace telmor
