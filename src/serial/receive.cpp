// Receiving one line: any run of bytes that ends with LF followed by CR.
#include "host/log.h"
#include "platform/clock.h"
#include "platform/serial.h"
#include "serial/serial_link.h"

namespace telmor {
namespace {

enum class CharResult { Byte, TimedOut, Failed };

// Waits about one read time-out: the pace of the receiver while the port is
// closed or failing, so that it neither spins nor floods the log.
void PaceLikeReadTimeout(const DriverContext& context) {
    platform::SleepMs(ReadTimeoutMs(context.readTimeoutCs.load(std::memory_order_relaxed)));
}

// One byte from the port into `slot`.
CharResult GetChar(DriverContext& context, platform::Handle port, uint8_t* slot) {
    if (platform::SerialStartRead(port, context.readOverlapped, slot, 1) == platform::IoStart::Failed) {
        TELMOR_LOG(kLevelTrace, "TELMOR> GetChar() overlapped ReadFile() failed, err %u",
                   platform::LastError());
        return CharResult::Failed;
    }
    uint32_t got = 0;
    if (!platform::SerialWaitResult(port, context.readOverlapped, &got)) {
        TELMOR_LOG(kLevelTrace, "TELMOR> GetChar() GetOverlappedResult() error %u", platform::LastError());
        return CharResult::Failed;
    }
    return got == 0 ? CharResult::TimedOut : CharResult::Byte;
}

void LogMissingCr(const char* buffer, uint16_t count, uint8_t byte) {
    if (count < 64) {
        TELMOR_LOG(kLevelTrace, "TELMOR> Receive() illegal message, %02Xh i.s.o. CR, %u char read '%.*s'",
                   byte, count, static_cast<int>(count - 1), buffer);
    } else {
        TELMOR_LOG(kLevelTrace, "TELMOR> Receive() illegal message, %02Xh i.s.o. CR, %u char read '%.64s...'",
                   byte, count, buffer);
    }
}

}  // namespace

int Receive(char* buffer, uint16_t* length, DriverContext& context) {
    const platform::Handle port = context.comHandle.load(std::memory_order_acquire);
    if (port == platform::kNullHandle) {
        PaceLikeReadTimeout(context);
        return 1;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(buffer);
    uint16_t count = 0;
    bool lfSeen = false;
    for (;;) {
        uint8_t scratch = 0;
        // After an LF at the very end of the buffer the CR has no room; it is
        // read into a scratch byte so the next line starts clean.
        uint8_t* slot = count < kLineSize ? bytes + count : &scratch;
        const CharResult got = GetChar(context, port, slot);
        if (got == CharResult::Failed) {
            PaceLikeReadTimeout(context);
            return 1;
        }
        if (got == CharResult::TimedOut) return 1;  // the partial line is dropped
        if (count == kLineSize) return 1;           // LF was the 512th byte: no room for the CR
        if (lfSeen) {
            if (*slot == '\r') {
                *length = static_cast<uint16_t>(count + 1);
                return 0;
            }
            LogMissingCr(buffer, count, *slot);
            return 1;
        }
        lfSeen = *slot == '\n';
        ++count;
        if (count == kLineSize && !lfSeen) return 1;
    }
}

}  // namespace telmor
