// The device state and time-outs a COM port gets from the host's settings.
#pragma once

#include <cstdint>

#include "platform/serial.h"
#include "platform/win32/windows_api.h"

namespace telmor::platform::win32 {

// The host's queue sizes for both directions.
inline constexpr DWORD kQueueBytes = 1200;

// Changes the state read from the device as the host's settings ask; the
// XON/XOFF limits and characters, the EOF and event characters and
// transmit-continue-on-XOFF stay as read. Parity and stop-bit codes are
// Windows' own and pass unchanged: SetCommState refuses what the device
// cannot do.
void ApplyLineSettings(const LineSettings& settings, DCB* dcb);

// Time-outs at open: a total read time-out of `readTotalMs` real ms, no
// interval or per-byte part, and no write time-out.
COMMTIMEOUTS OpenTimeouts(DWORD readTotalMs);

}  // namespace telmor::platform::win32
