// Small 32-bit handles for every OS object the driver keeps in its context,
// and the per-thread last-error code that failed platform calls leave behind.
#pragma once

#include <cstdint>

namespace telmor::platform {

// 0 is the null handle. Values come from a process-wide table, so they are
// plain numbers that fit the fixed context and print with "%u".
using Handle = uint32_t;
inline constexpr Handle kNullHandle = 0;

// The OS error code of the calling thread's last failed platform call
// (errno on POSIX, GetLastError on Windows).
uint32_t LastError();

// Closes any handle of the table (mutex, event, serial port). False when the
// handle is unknown or already closed.
bool CloseHandle(Handle handle);

}  // namespace telmor::platform
