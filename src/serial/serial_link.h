// The serial link: opening, configuring and closing the port, sending one
// frame and receiving one LF CR line.
#pragma once

#include <cstdint>

#include "host/context.h"
#include "platform/handle.h"

namespace telmor {

// Opens and configures the port of `settings`; logs the outcome. Returns the
// handle, or kNullHandle when it cannot be opened or configured.
platform::Handle OpenCom(const PortSettings& settings);

// The step of OpenCom that talks to the OS: 0, or 1, 4, 5 (see SerialOpenCode).
int OpenPort(const PortSettings& settings, platform::Handle* port);

// 0, or 7 when closing failed.
int ClosePort(platform::Handle port);

// Sets the port's total read time-out to `hundredths` x 10 ms, writing it only
// when it changes; also remembered in the context for pacing while the port
// is closed. Failures are not reported.
void SetReadTimeout(DriverContext& context, platform::Handle port, int32_t hundredths);

// The read time-out a port gets for the host's `hundredths`: a value of 0 or
// below would make every read return at once and the receiver spin, so it
// keeps the 1-second default.
uint32_t ReadTimeoutMs(int32_t hundredths);

// Writes the NUL-terminated frame and waits until it is out. 0, or 1 (logged).
// One Send of an instance at a time, whichever thread calls it.
int Send(const char* text, DriverContext& context);

// Reads one line, LF CR included, into `buffer` (kLineSize bytes) and its
// length into `length`. 0 with a whole line, 1 otherwise (time-out silent,
// read failures logged). Only the receiver thread calls it.
int Receive(char* buffer, uint16_t* length, DriverContext& context);

}  // namespace telmor
