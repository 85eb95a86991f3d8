// Sending one frame.
#include <cstring>

#include "host/log.h"
#include "platform/serial.h"
#include "platform/spin_lock.h"
#include "serial/serial_link.h"

namespace telmor {

int Send(const char* text, DriverContext& context) {
    const auto length = static_cast<uint32_t>(std::strlen(text));
    // The receiver thread sends without the port mutex, commands with it; all
    // share the one write record, so sends of an instance never overlap.
    platform::SpinGuard guard(context.sendLock);
    const platform::Handle port = context.comHandle.load(std::memory_order_acquire);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    if (platform::SerialStartWrite(port, context.writeOverlapped, bytes, length) ==
        platform::IoStart::Failed) {
        TELMOR_LOG(kLevelTrace, "TELMOR> Send() overlapped WriteFile() failed, err %u",
                   platform::LastError());
        return 1;
    }
    uint32_t written = 0;
    if (!platform::SerialWaitResult(port, context.writeOverlapped, &written)) {
        TELMOR_LOG(kLevelTrace, "TELMOR> Send() GetOverlappedResult() error %u", platform::LastError());
        return 1;
    }
    if (written < length) {
        TELMOR_LOG(kLevelTrace, "TELMOR> Send() error, only %u of %u bytes written", written, length);
        return 1;
    }
    return 0;
}

}  // namespace telmor
