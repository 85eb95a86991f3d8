// Line bytes as trace text.
#include "ultsim/printable.h"

#include <cstdio>

namespace ultsim {

std::string Printable(std::string_view bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

}  // namespace ultsim
