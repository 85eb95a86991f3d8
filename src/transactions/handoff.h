// The reply hand-off between a command that waits for an answer and the
// receiver thread that reads every line.
//
// A command (holding portMutex) arms the hand-off before it sends, so a fast
// reply is never lost; the receiver copies a matching line into replyBuf,
// disarms and sets replyEvent, which stays set until the command arms anew.
// A command whose wait timed out disarms under the same lock (while the
// instance ends it stays armed, to take a late reply quietly); a later command
// re-arms and resets the event under it. So a late line is never handed to a
// later command as its own. All hand-off fields change, and the event is set
// and reset, only under handoffLock.
#pragma once

#include <cstdint>

#include "host/context.h"
#include "platform/sync.h"

namespace telmor {

// Command side -----------------------------------------------------------

// Expects a line whose first `matchLength` characters equal those of
// `prefix` (7 characters are kept for the error-reply match).
void ArmReply(DriverContext& context, const char* prefix, uint16_t matchLength);

// Expects the next line, whatever it holds (a command-gate write).
void ArmAnyLine(DriverContext& context);

// Waits up to `timeoutMs` for the armed line, less once EndVpi has asked to
// stop. Signalled means replyBuf and replyLen hold it; on any other outcome
// the hand-off is disarmed first, except while the instance ends.
platform::WaitResult AwaitReply(DriverContext& context, uint32_t timeoutMs);

// Runs `copy` while no delivery can change replyBuf or specialText.
template <typename Copy>
void WithHandoffLocked(DriverContext& context, Copy copy);

// Receiver side ----------------------------------------------------------

enum class Delivery : uint8_t { NotAwaited, Delivered, SignalFailed };

// The reply test that comes before any other handling of a run-phase line:
// any line while a command-gate write waits, an empty line while a write
// waits for its acknowledgement, or a line that starts with the armed prefix.
Delivery OfferAwaitedLine(DriverContext& context, const char* line, uint16_t length);

// An error reply E064..E067 is handed over when its request field (positions
// 9 onwards, `fieldLength` characters) names the waiting request.
Delivery OfferErrorReply(DriverContext& context, const char* line, uint16_t length, uint16_t fieldLength);

}  // namespace telmor

#include "platform/spin_lock.h"

template <typename Copy>
void telmor::WithHandoffLocked(DriverContext& context, Copy copy) {
    platform::SpinGuard guard(context.handoffLock);
    copy();
}
