// Device state from the host's line settings.
#include "platform/win32/comm_state.h"

namespace telmor::platform::win32 {
namespace {

// A byte received with a parity or framing error would become this one,
// were error-character replacement on (it is off).
constexpr char kErrorChar = static_cast<char>(0xFC);

DWORD DtrControlFor(DtrMode mode) {
    switch (mode) {
        case DtrMode::On:
            return DTR_CONTROL_ENABLE;
        case DtrMode::Handshake:
            return DTR_CONTROL_HANDSHAKE;
        case DtrMode::Off:
            break;
    }
    return DTR_CONTROL_DISABLE;
}

DWORD RtsControlFor(RtsMode mode) {
    switch (mode) {
        case RtsMode::On:
            return RTS_CONTROL_ENABLE;
        case RtsMode::Handshake:
            return RTS_CONTROL_HANDSHAKE;
        case RtsMode::Toggle:
            return RTS_CONTROL_TOGGLE;
        case RtsMode::Off:
            break;
    }
    return RTS_CONTROL_DISABLE;
}

}  // namespace

void ApplyLineSettings(const LineSettings& settings, DCB* dcb) {
    dcb->BaudRate = settings.baudRate;
    dcb->fBinary = TRUE;
    dcb->fParity = TRUE;
    dcb->fOutxCtsFlow = FALSE;
    dcb->fOutxDsrFlow = FALSE;
    dcb->fDtrControl = DtrControlFor(DtrFromLineControl(settings.lineControl)) & 3u;
    dcb->fDsrSensitivity = FALSE;
    dcb->fOutX = FALSE;
    dcb->fInX = FALSE;
    dcb->fErrorChar = FALSE;
    dcb->fNull = FALSE;
    dcb->fRtsControl = RtsControlFor(RtsFromLineControl(settings.lineControl)) & 3u;
    dcb->fAbortOnError = FALSE;
    dcb->ByteSize = settings.dataBits;
    dcb->Parity = settings.parity;
    dcb->StopBits = settings.stopBits;
    dcb->ErrorChar = kErrorChar;
}

COMMTIMEOUTS OpenTimeouts(DWORD readTotalMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = readTotalMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return timeouts;
}

}  // namespace telmor::platform::win32
