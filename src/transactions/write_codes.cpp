// The codes of the digital command write, indexed by the gate value.
#include "transactions/write_codes.h"

#include <cstddef>

namespace telmor {

namespace {

constexpr const char* kDigitalCommandCodes[] = {
    "D@--/", "H@--/", "B@--/", "@A--/", "@B--/", "@H--/", "@D--/",
    "A@--/", nullptr, nullptr, nullptr, nullptr, "J@--/",
};

}  // namespace

const char* DigitalCommandCode(uint16_t value) {
    if (value >= sizeof kDigitalCommandCodes / sizeof kDigitalCommandCodes[0]) return nullptr;
    return kDigitalCommandCodes[value];
}

}  // namespace telmor
