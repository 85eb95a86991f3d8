// Quoting a received line in a log message.
#include "unsol/quote.h"

#include <cstring>

namespace telmor {

QuotedLine QuoteLine(const char* line, uint16_t length) {
    QuotedLine quoted{};
    size_t textLength = length >= 2 ? length - 2u : 0u;
    quoted.longForm = length >= 64;
    if (quoted.longForm) textLength = 62;
    std::memcpy(quoted.text, line, textLength);
    quoted.text[textLength] = '\0';
    return quoted;
}

}  // namespace telmor
