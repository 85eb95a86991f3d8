// The reply hand-off between commands and the receiver thread.
#include "transactions/handoff.h"

#include <cstring>

#include "platform/spin_lock.h"

namespace telmor {
namespace {

constexpr uint16_t kKeptPrefix = 7;

bool Armed(const DriverContext& context) {
    return context.expectLen.load(std::memory_order_relaxed) != 0 ||
           context.acceptAnyLine.load(std::memory_order_relaxed) != 0;
}

void Disarm(DriverContext& context) {
    context.expectLen.store(0, std::memory_order_relaxed);
    context.acceptAnyLine.store(0, std::memory_order_relaxed);
}

// Copies the line and disarms; called with the lock held.
void TakeLine(DriverContext& context, const char* line, uint16_t length) {
    std::memcpy(context.replyBuf, line, length);
    context.replyLen = length;
    Disarm(context);
}

// Called with the lock held: arming resets the event under the same lock, so
// the signal of a delivery can never land after a later command has armed
// and wake it with a line that was not its own.
Delivery Signal(DriverContext& context) {
    return platform::SetEvent(context.replyEvent) ? Delivery::Delivered : Delivery::SignalFailed;
}

}  // namespace

void ArmReply(DriverContext& context, const char* prefix, uint16_t matchLength) {
    platform::SpinGuard guard(context.handoffLock);
    std::memcpy(context.replyBuf, prefix, kKeptPrefix);
    context.replyBuf[kKeptPrefix] = '\0';
    context.acceptAnyLine.store(0, std::memory_order_relaxed);
    context.expectLen.store(matchLength, std::memory_order_relaxed);
    platform::ResetEvent(context.replyEvent);
}

void ArmAnyLine(DriverContext& context) {
    platform::SpinGuard guard(context.handoffLock);
    context.expectLen.store(0, std::memory_order_relaxed);
    context.acceptAnyLine.store(1, std::memory_order_relaxed);
    platform::ResetEvent(context.replyEvent);
}

// Waits in slices so that EndVpi, which stops the receiver that would hand
// the reply over, does not have to sit out a whole reply time-out.
platform::WaitResult WaitUnlessEnding(const DriverContext& context, uint32_t timeoutMs) {
    constexpr uint32_t kSlice = 50;
    for (;;) {
        const uint32_t step = timeoutMs < kSlice ? timeoutMs : kSlice;
        const platform::WaitResult result = platform::WaitEvent(context.replyEvent, step);
        timeoutMs -= step;
        if (result != platform::WaitResult::TimedOut || timeoutMs == 0) return result;
        if (EndRequested(context)) return platform::WaitResult::TimedOut;
    }
}

platform::WaitResult AwaitReply(DriverContext& context, uint32_t timeoutMs) {
    const platform::WaitResult result = WaitUnlessEnding(context, timeoutMs);
    if (result == platform::WaitResult::Signalled) return result;
    platform::SpinGuard guard(context.handoffLock);
    // The line may have been taken just as the wait ended: then it is ours.
    if (!Armed(context)) return platform::WaitResult::Signalled;
    // Once EndVpi has asked to stop, the hand-off stays armed: a reply still
    // on its way is then taken here, instead of being read as a message the
    // network sent of its own. A command that still arms after this (one that
    // was already past its own stop check) replaces the prefix and resets the
    // event under the lock, so that reply never reaches it.
    if (!EndRequested(context)) Disarm(context);
    return result;
}

Delivery OfferAwaitedLine(DriverContext& context, const char* line, uint16_t length) {
    {
        platform::SpinGuard guard(context.handoffLock);
        const uint16_t expect = context.expectLen.load(std::memory_order_relaxed);
        const bool anyLine = context.acceptAnyLine.load(std::memory_order_relaxed) != 0;
        const bool emptyAck = expect == 2 && length == 2 && line[0] == '\n' && line[1] == '\r';
        const bool prefixMatch =
            expect != 0 && length >= expect && std::memcmp(line, context.replyBuf, expect) == 0;
        if (!anyLine && !emptyAck && !prefixMatch) return Delivery::NotAwaited;
        TakeLine(context, line, length);
        return Signal(context);
    }
}

Delivery OfferErrorReply(DriverContext& context, const char* line, uint16_t length, uint16_t fieldLength) {
    constexpr uint16_t kFieldStart = 9;
    if (length < kFieldStart + fieldLength) return Delivery::NotAwaited;
    {
        platform::SpinGuard guard(context.handoffLock);
        if (context.expectLen.load(std::memory_order_relaxed) == 0) return Delivery::NotAwaited;
        if (std::memcmp(line + kFieldStart, context.replyBuf + 1, fieldLength) != 0)
            return Delivery::NotAwaited;
        TakeLine(context, line, length);
        return Signal(context);
    }
}

}  // namespace telmor
