// Where the host's port name leads on a POSIX system.
//
//   "NUL"               the null device (exactly these three upper-case letters)
//   "/..."              the path itself
//   "COM1" .. "COM256"  (any case) $TELMOR_COM_DIR/comN when that variable is
//                       set and not empty, else /dev/ttyS<N-1>
//   anything else       under /dev: "ttyUSB0" is /dev/ttyUSB0, "pts/3" /dev/pts/3
#pragma once

#include <cstddef>

namespace telmor::platform::posix {

inline constexpr char kComDirVariable[] = "TELMOR_COM_DIR";

bool IsNullDeviceName(const char* name);

// Writes the device path of `name` into `path`, with `comDir` standing for
// $TELMOR_COM_DIR (null when unset). False (LastError ENAMETOOLONG, or
// EINVAL for an empty name) when there is none.
bool DevicePathFor(const char* name, const char* comDir, char* path, size_t size);

}  // namespace telmor::platform::posix
