// The pool of open serial ports and the rules that let SerialClose run while
// another thread is inside a call on the same port.
//
// Every call pins the port (users + 1) for its duration. SerialClose makes
// the handle stale, sets `closing` and makes `wakeFd` readable, which ends
// every wait on the port at once; the descriptors are closed by whoever
// unpins last, so no call ever uses a closed or reused descriptor.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/handle.h"
#include "platform/posix/uucp_lock.h"

namespace telmor::platform::posix {

inline constexpr uint32_t kSerialPortCount = 64;
inline constexpr uint32_t kInitialReadTimeoutMs = 1000;

// A started read or write, kept until SerialWaitResult carries it out.
struct PendingIo {
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    bool armed = false;
};

// What SerialOpen sets up before the port gets its handle.
struct PortSetup {
    int fd = -1;         // -1 for the null device
    int wakeFd = -1;     // eventfd, readable once the port is closing
    bool owned = false;  // exclusive use taken: the device's state is ours to reset
    uint32_t baudRate = 0;
    char lockPath[kLockPathSize] = {};
};

struct SerialPort {
    bool used = false;  // under the table lock

    // Fixed from open until the port is released.
    PortSetup setup;
    std::atomic<uint32_t> readTimeoutMs{kInitialReadTimeoutMs};  // driver ms

    // Under `lock`.
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t usersLeft = PTHREAD_COND_INITIALIZER;
    uint32_t users = 0;
    bool closing = false;
    PendingIo read;
    PendingIo write;
};

// Gives `setup` a pool entry and a handle. kNullHandle (LastError EMFILE)
// when the pool or the table is full; `setup` then stays the caller's.
Handle InstallPort(const PortSetup& setup);

// Closes what a setup holds; for failed opens and released ports.
// Returns the errno of closing the device, 0 when it closed cleanly.
int ReleaseSetup(const PortSetup& setup);

// The live port of `handle`, pinned; null (LastError EBADF) for anything else.
SerialPort* PinPort(Handle handle);

// Ends a pin. The last pin of a closing port releases it; that release's
// errno is returned, 0 otherwise.
int UnpinPort(SerialPort* port);

// First step of SerialClose: the handle becomes stale and the port is
// pinned and marked closing. Null (LastError EBADF) for a bad handle.
SerialPort* BeginClose(Handle handle);

}  // namespace telmor::platform::posix
