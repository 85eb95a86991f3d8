// The serial device: exclusive open with line settings in the Windows codes
// the host gives, overlapped-style reads and writes, purge and close.
//
// Thread contract: one thread reads while another writes; writes on one port
// are serialised by the caller. SerialClose may run on any thread while a read
// or write on the same port is in progress: that call then ends promptly with
// a failure, and the OS descriptor is released only after no call uses it.
// A closed handle value is never handed out again for another port.
#pragma once

#include <cstdint>

#include "platform/handle.h"

namespace telmor::platform {

// Line settings as the host gives them (Windows codes).
struct LineSettings {
    uint32_t baudRate;
    uint8_t dataBits;      // 5..8
    uint8_t parity;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits;      // 0 one, 1 one and a half, 2 two
    uint16_t lineControl;  // DTR/RTS bits, see below
};

// Line-control word: DTR raised by 0x0001 or 0x0100, else handshake by
// 0x8000, else off. RTS raised by 0x0002 or 0x0200, else handshake by 0x1000,
// else toggle by 0x2000, else off.
enum class DtrMode : uint8_t { Off, On, Handshake };
enum class RtsMode : uint8_t { Off, On, Handshake, Toggle };
DtrMode DtrFromLineControl(uint16_t lineControl);
RtsMode RtsFromLineControl(uint16_t lineControl);

// Result codes of SerialOpen (those of the driver's OpenPort step).
enum SerialOpenCode : int {
    kSerialOpenOk = 0,
    kSerialOpenFailed = 1,       // cannot open, or time-outs cannot be set
    kSerialStateReadFailed = 4,  // line state cannot be read
    kSerialStateSetFailed = 5,   // line state cannot be set
};

// Opens `name` for exclusive use and applies the settings; the initial read
// time-out is 1000 driver ms. The name "NUL" opens a null device: no state,
// writes succeed, nothing ever arrives. On failure nothing stays open.
int SerialOpen(const char* name, const LineSettings& settings, Handle* port);

// Total time one read may wait, in driver ms.
bool SerialGetReadTimeout(Handle port, uint32_t* timeoutMs);
bool SerialSetReadTimeout(Handle port, uint32_t timeoutMs);

// Overlapped-style I/O: a start, then a wait for its result. The record lives
// in the caller's context; `event` is the event created for it.
struct IoRecord {
    Handle event;
    uint32_t reserved;
};

enum class IoStart : uint8_t { Completed, Pending, Failed };

// Starts reading up to `length` bytes (the driver reads one at a time).
IoStart SerialStartRead(Handle port, IoRecord& io, uint8_t* buffer, uint32_t length);
// Starts writing all `length` bytes.
IoStart SerialStartWrite(Handle port, IoRecord& io, const uint8_t* buffer, uint32_t length);
// Waits for the started operation. A read that reached its read time-out
// succeeds with 0 bytes. False when the operation failed (LastError set).
bool SerialWaitResult(Handle port, IoRecord& io, uint32_t* transferred);

// Discards what was received and not yet read.
bool SerialPurgeReceive(Handle port);

// Closes the port (also reachable through CloseHandle). False when it fails.
bool SerialClose(Handle port);

}  // namespace telmor::platform
