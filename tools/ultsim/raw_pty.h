// A pseudo-terminal pair for a line unit or a pass-through: the slave in raw
// mode from the start (until the driver configures it, the line discipline
// would echo and change CR and NL), both ends closed on exec.
#pragma once

#include <string>

namespace ultsim {

struct RawPty {
    int master = -1;
    int slave = -1;  // kept open by the owner, so the master never sees EIO while nobody else has it open
    std::string slavePath;
};

// Opens a pair; the master non-blocking when asked. False with errno set and
// nothing left open.
bool OpenRawPty(RawPty& pty, bool nonBlockingMaster);

}  // namespace ultsim
