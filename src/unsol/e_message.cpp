// Fields of the network's "E" messages.
#include "unsol/e_message.h"

namespace telmor {

int32_t ModemStatus(const char* line) {
    return line[8] >= '0' && line[8] <= '4' ? line[8] - '0' : -1;
}

bool StationAnswered(const char* line) {
    return (static_cast<unsigned char>(line[7]) & 0x0F) != 0x0F;
}

}  // namespace telmor
