// CloseCom, ReOpenCom and ChangeVpiParams: closing, reopening and
// reconfiguring the port while the receiver thread goes on.
#include <cstring>

#include "host/commands.h"
#include "host/context.h"
#include "host/log.h"
#include "serial/serial_link.h"

namespace telmor {
namespace {

// An instance installed without communication, or whose ColdStart failed
// before its named objects existed, has no events for the port's I/O and no
// receiver thread: opening a port there would give a line nobody reads.
bool HasCommunication(const DriverContext& context) {
    return context.portMutex != platform::kNullHandle &&
           context.readOverlapped.event != platform::kNullHandle;
}

// Opens the port of portSettings and makes it the instance's port.
bool OpenInstancePort(DriverContext& context) {
    const platform::Handle port = OpenCom(context.portSettings);
    if (port == platform::kNullHandle) return false;
    context.comHandle.store(port, std::memory_order_release);
    SetReadTimeout(context, port, context.timeout.load(std::memory_order_relaxed));
    return true;
}

}  // namespace

int32_t CloseCom(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    const platform::Handle port = context.comHandle.load(std::memory_order_acquire);
    if (port == platform::kNullHandle) return VPI_DONE;
    // A close that fails has released the handle all the same (it is made
    // stale before anything can fail), so it is not kept: every later close,
    // and EndVpi, would fail on it for good.
    const int closed = ClosePort(port);
    context.comHandle.store(platform::kNullHandle, std::memory_order_release);
    if (closed != 0) {
        TELMOR_LOG(kLevelTrace, "TELMOR> CloseCom() exited 2");
        return VPI_UNABLE;
    }
    return VPI_DONE;
}

int32_t ReOpenCom(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    if (!HasCommunication(context)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> ReOpenCom() error, instance installed without communication");
        return VPI_UNABLE;
    }
    if (!OpenInstancePort(context)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> ReOpenCom() exited 2");
        return VPI_UNABLE;
    }
    TELMOR_LOG(kLevelTrace, "TELMOR> ReOpenCom() exited 0");
    return VPI_DONE;
}

int32_t ChangeVpiParams(VpiCallBlock* callBlock) {
    DriverContext& context = ContextOf(callBlock);
    const auto* params = static_cast<const VpiParams*>(callBlock->params);
    if (params == nullptr) return VPI_UNABLE;
    if (!HasCommunication(context)) {
        TELMOR_LOG(kLevelMajor, "TELMOR> ChangeVpiParams() error, instance installed without communication");
        return VPI_UNABLE;
    }
    if (params->timeout != 0 && params->timeout != -1)
        context.timeout.store(params->timeout, std::memory_order_relaxed);
    CloseCom(callBlock);
    std::memcpy(context.portSettings.portName, params->portName, sizeof(context.portSettings.portName));
    context.portSettings.portName[sizeof(context.portSettings.portName) - 1] = '\0';
    if (params->baudRate != 0) {
        context.portSettings.baudRate = params->baudRate;
        context.portSettings.dataBits = params->dataBits;
        context.portSettings.stopBits = params->stopBits;
        context.portSettings.parity = params->parity;
    }
    if (!OpenInstancePort(context)) {
        TELMOR_LOG(kLevelTrace, "TELMOR> ChangeVpiParams() open new COM port failed");
        return VPI_UNABLE;
    }
    return VPI_DONE;
}

}  // namespace telmor
