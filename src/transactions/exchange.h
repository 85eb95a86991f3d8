// What the read and write transactions share: the port mutex with its
// messages, the retry rule and the error replies of the network.
#pragma once

#include <cstdint>

#include "host/context.h"

namespace telmor {

// The log texts of one transaction routine.
struct ExchangeTexts {
    const char* notInitialised;  // '%s'
    const char* mutexFailed;     // err %u, '%s'
    const char* mutexTimedOut;   // '%s'
    const char* releaseFailed;   // err %u, '%s'
};

// Normal operation: the network is up, no reset is asked for and the instance
// is not ending. Only then is a failed attempt tried again, and reported as it
// is.
bool NormalOperation(const DriverContext& context);

// The routine's result from its last attempt's result.
int32_t FinalResult(const DriverContext& context, int32_t lastAttempt);

// Refuses while the network is not up: logs, pauses 2500 ms (less once the
// instance ends), false.
bool NetworkReady(const DriverContext& context, const ExchangeTexts& texts, const char* address);

// Waits for portMutex (four times the time-out); an abandoned mutex counts as
// taken. Logs and returns false when it is not taken; false without a word
// when the instance has begun to end meanwhile.
bool TakePortMutex(const DriverContext& context, const ExchangeTexts& texts, const char* address);
void ReleasePortMutex(const DriverContext& context, const ExchangeTexts& texts, const char* address);

// The number at `at` read as "%03u" reads it (white space, then up to three
// digits) without passing `length`; -1 when there is none. The network's
// three-digit fields (E numbers, error codes, stations) are all read so.
int32_t ReadNumber3(const char* line, uint16_t length, uint16_t at);

// The code in positions 1 to 3 of an error reply; -1 when there is no number.
inline int32_t ErrorReplyCode(const char* line, uint16_t length) {
    return ReadNumber3(line, length, 1);
}

// The text of a handed-over line for a log message (without LF CR).
int QuotedLength(uint16_t length);

// The address text of a request, never null.
const char* AddressOf(const char* addressText);

}  // namespace telmor
