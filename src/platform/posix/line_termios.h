// The host's line settings (Windows codes) as termios flags. Pure functions,
// so the mapping can be checked for every code, also for what a
// pseudo-terminal would not keep.
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/serial.h"

namespace telmor::platform::posix {

// The Bxxxx constant of a rate. False for a rate without one: the port is
// refused rather than run at some other speed.
bool SpeedForBaud(uint32_t baudRate, speed_t* speed);

// Turns `tio`, as read from the device, into the state the settings ask
// for: raw bytes both ways, the speed, the character frame, parity checking
// on input when parity is on, no XON/XOFF, RTS/CTS flow control for RTS
// handshake, reads that wait for one byte (VMIN 1, VTIME 0). False when a
// setting has no POSIX counterpart; `tio` is then unspecified.
bool TermiosForLine(const LineSettings& settings, termios* tio);

// Whether the device kept what was asked, for the fields every tty keeps:
// speed, CSTOPB, PARODD, CMSPAR, CRTSCTS, CLOCAL, CREAD, VMIN and VTIME.
// A pseudo-terminal forces CS8 and drops PARENB, so those two are not
// compared.
bool LineKept(const termios& wanted, const termios& actual);

}  // namespace telmor::platform::posix
