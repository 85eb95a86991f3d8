// Fields of the network's "E" messages.
#include "unsol/e_message.h"

namespace telmor {

int32_t ReadNumber3(const char* line, uint16_t length, uint16_t at) {
    while (at < length && (line[at] == ' ' || (line[at] >= '\t' && line[at] <= '\r'))) ++at;
    int32_t value = 0;
    int digits = 0;
    for (; digits < 3 && at < length && line[at] >= '0' && line[at] <= '9'; ++digits, ++at) {
        value = value * 10 + (line[at] - '0');
    }
    return digits == 0 ? -1 : value;
}

int32_t ModemStatus(const char* line) {
    return line[8] >= '0' && line[8] <= '4' ? line[8] - '0' : -1;
}

bool StationAnswered(const char* line) {
    return (static_cast<unsigned char>(line[7]) & 0x0F) != 0x0F;
}

}  // namespace telmor
