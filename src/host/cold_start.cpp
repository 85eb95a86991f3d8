// ColdStart: fills the context, opens the port, creates the instance's named
// objects and starts the receiver thread.
#include <cstdio>
#include <cstring>
#include <new>

#include "host/commands.h"
#include "host/driver_threads.h"
#include "host/log.h"
#include "host/named_objects.h"
#include "platform/sync.h"
#include "serial/serial_link.h"
#include "unsol/unsol_thread.h"

namespace telmor {
namespace {

constexpr uint16_t kDtrAndRtsRaised = 0x0303;

void CopySettings(PortSettings& port, const ComSettings& settings) {
    std::memcpy(port.portName, settings.portName, sizeof(port.portName));
    port.portName[sizeof(port.portName) - 1] = '\0';
    port.baudRate = settings.baudRate;
    port.dataBits = settings.dataBits;
    port.stopBits = settings.stopBits;
    port.parity = settings.parity;
    port.lineControl = kDtrAndRtsRaised;
}

// Creates one named object; logs with `message` and returns false on failure.
template <typename Create>
bool CreateObject(const DriverContext& context, const char* nameFormat, const char* message,
                  platform::Handle* handle, Create create) {
    char name[kObjectNameSize];
    std::snprintf(name, sizeof(name), nameFormat, context.instanceNo);
    *handle = create(name);
    if (*handle != platform::kNullHandle) return true;
    TELMOR_LOG(kLevelMajor, message, name, platform::LastError());
    return false;
}

bool CreateNamedObjects(DriverContext& context) {
    constexpr const char* kOverlappedMessage =
        "TELMOR> ColdStart() error, creating overlapped write event semaphore '%s', err %u";
    return CreateObject(context, kMutexNameFormat,
                        "TELMOR> ColdStart() error, creating mutex semaphore '%s', err %u",
                        &context.portMutex, platform::CreateNamedMutex) &&
           CreateObject(context, kReplyEventNameFormat,
                        "TELMOR> ColdStart() error, creating synchronisation event semaphore '%s', err %u",
                        &context.replyEvent, platform::CreateNamedEvent) &&
           CreateObject(context, kWriteEventNameFormat, kOverlappedMessage, &context.writeOverlapped.event,
                        platform::CreateNamedEvent) &&
           CreateObject(context, kReadEventNameFormat, kOverlappedMessage, &context.readOverlapped.event,
                        platform::CreateNamedEvent);
}

}  // namespace

int32_t ColdStart(VpiCallBlock* callBlock) {
    TELMOR_LOG(kLevelMajor, "TELMOR : SAUTER 2400 driver,Version 7.60 compiled on %s at %s", __DATE__,
               __TIME__);
    const auto* settings = static_cast<const ComSettings*>(callBlock->params);
    if (callBlock->context == nullptr || settings == nullptr) return VPI_UNABLE;

    // The host's block is raw memory until now: construct the context in it,
    // which also clears every field.
    auto& context = *new (callBlock->context) DriverContext{};
    context.instanceNo = callBlock->instanceNo;
    context.timeout.store(settings->timeout, std::memory_order_relaxed);
    if (settings->timeout < 500) {
        TELMOR_LOG(kLevelMajor, "TELMOR> Coldstart() warning, time-out should be bigger than 5");
    }
    ClearCommState(context, ClearStop::Yes);

    if (settings->portEnabled == 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> ColdStart() installation OK!");
        return VPI_DONE;
    }
    CopySettings(context.portSettings, *settings);
    const platform::Handle port = OpenCom(context.portSettings);
    if (port == platform::kNullHandle) {
        TELMOR_LOG(kLevelMajor, "TELMOR> ColdStart() error opening COM port");
        return VPI_UNABLE;
    }
    context.comHandle.store(port, std::memory_order_release);
    SetReadTimeout(context, port, 400);

    // A failure here leaves no thread behind, so EndVpi can still end the
    // instance and close what was opened.
    if (!CreateNamedObjects(context)) return VPI_UNABLE;

    if (!StartDriverThread(context, UnsolThreadEntry, 0)) {
        // Reporting success without a receiver would leave the host with an
        // instance that never brings the network up.
        TELMOR_LOG(kLevelMajor, "TELMOR> ColdStart() error, starting receiver thread, err %u",
                   platform::LastError());
        return VPI_UNABLE;
    }
    TELMOR_LOG(kLevelTrace, "TELMOR> ColdStart() installation OK!");
    return VPI_DONE;
}

}  // namespace telmor
