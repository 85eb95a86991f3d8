// How the host's line-control word drives DTR and RTS. The first matching
// bit wins, in the order of each table.
#include <cstddef>
#include <cstdint>

#include "platform/serial.h"

namespace telmor::platform {
namespace {

template <typename Mode>
struct LineControlRule {
    uint16_t bits;
    Mode mode;
};

constexpr LineControlRule<DtrMode> kDtrRules[] = {
    {0x0001 | 0x0100, DtrMode::On},
    {0x8000, DtrMode::Handshake},
};

constexpr LineControlRule<RtsMode> kRtsRules[] = {
    {0x0002 | 0x0200, RtsMode::On},
    {0x1000, RtsMode::Handshake},
    {0x2000, RtsMode::Toggle},
};

template <typename Mode, size_t N>
Mode FirstMatch(const LineControlRule<Mode> (&rules)[N], uint16_t lineControl, Mode otherwise) {
    for (const LineControlRule<Mode>& rule : rules) {
        if ((lineControl & rule.bits) != 0) return rule.mode;
    }
    return otherwise;
}

}  // namespace

DtrMode DtrFromLineControl(uint16_t lineControl) {
    return FirstMatch(kDtrRules, lineControl, DtrMode::Off);
}

RtsMode RtsFromLineControl(uint16_t lineControl) {
    return FirstMatch(kRtsRules, lineControl, RtsMode::Off);
}

}  // namespace telmor::platform
