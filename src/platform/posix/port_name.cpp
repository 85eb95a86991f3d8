// Port name to device path.
#include "platform/posix/port_name.h"

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/handle_table.h"

namespace telmor::platform::posix {
namespace {

constexpr unsigned kHighestComPort = 256;

// The N of "COMN" (1..256, no leading zero), or 0 when the name is not one.
unsigned ComPortNumber(const char* name) {
    if (strncasecmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
    unsigned number = 0;
    for (const char* digit = name + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || digit - name > 5) return 0;
        number = number * 10 + static_cast<unsigned>(*digit - '0');
    }
    return number <= kHighestComPort ? number : 0;
}

bool Fits(int written, size_t size) {
    return written >= 0 && static_cast<size_t>(written) < size;
}

}  // namespace

bool IsNullDeviceName(const char* name) {
    return std::strcmp(name, "NUL") == 0;
}

bool DevicePathFor(const char* name, const char* comDir, char* path, size_t size) {
    if (name[0] == '\0') return Fail(EINVAL);
    int written = 0;
    unsigned com = ComPortNumber(name);
    if (name[0] == '/') {
        written = std::snprintf(path, size, "%s", name);
    } else if (com != 0 && comDir != nullptr && comDir[0] != '\0') {
        written = std::snprintf(path, size, "%s/com%u", comDir, com);
    } else if (com != 0) {
        written = std::snprintf(path, size, "/dev/ttyS%u", com - 1);
    } else {
        written = std::snprintf(path, size, "/dev/%s", name);
    }
    return Fits(written, size) || Fail(ENAMETOOLONG);
}

}  // namespace telmor::platform::posix
