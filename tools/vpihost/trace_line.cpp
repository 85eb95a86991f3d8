// Trace text of line traffic.
#include "vpihost/trace_line.h"

#include "ultsim/printable.h"

namespace vpihost {

std::string TraceLine::Text() const {
    return (fromDriver ? "-> " : "<- ") + ultsim::Printable(bytes);
}

}  // namespace vpihost
