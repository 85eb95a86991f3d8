// UUCP lock files, the convention by which serial programs on one machine
// (minicom, cu, gpsd, ...) keep off a line another one uses:
// <lockDir>/LCK..<device name> holding the owner's PID as ten characters
// and a line feed.
#pragma once

#include <cstddef>

namespace telmor::platform::posix {

inline constexpr char kUucpLockDir[] = "/var/lock";
inline constexpr size_t kLockPathSize = 128;

// Takes the lock of `devicePath` (a resolved path) in `lockDir` and writes
// the lock file's path to `lockPath`. A lock whose PID is gone is stale and
// taken over. False (LastError EBUSY) when a running process holds it.
// When the directory is missing or not writable no lock is taken and
// `lockPath` is left empty: the exclusive open still holds.
// Pseudo-terminals (/dev/pts/N) get no lock: their numbers are reused at
// once, and a lock left by a killed test would block a later stranger.
bool TakeUucpLock(const char* lockDir, const char* devicePath, char* lockPath, size_t size);

// Removes a lock taken by TakeUucpLock; nothing for an empty path.
void DropUucpLock(const char* lockPath);

}  // namespace telmor::platform::posix
