// A network described in a small text file that a person writes by hand: the
// stations, the values they hold, the spontaneous message rate, the modem-status
// sequence and the line speed. Parsing needs no Simulator, so a file can be
// checked (and tested) on its own; Apply then configures a Simulator from it.
//
//   # comment (also after a directive)
//   station N [silent]              a station (silent: listed by the scan, answers nothing)
//   value STATION MEMTYPE ADDRESS RAW
//   rate R                          spontaneous value messages a second
//   modem E STATUS...               answers to the status command, e.g. "modem 61 1 4"
//   baud N                          pace output at N baud
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ultsim/simulator.h"

namespace ultsim {

struct NetworkValue {
    unsigned station;
    char memType;
    unsigned address;
    uint32_t raw;  // offset memory types: the signed value, two's complement
};

struct NetworkDescription {
    std::vector<Station> stations;
    std::vector<NetworkValue> values;
    std::optional<double> rate;
    std::vector<std::pair<int, char>> modemStatuses;  // empty: the simulator's default
    unsigned baud = 0;                                // 0: not given
};

struct NetworkParseResult {
    std::optional<NetworkDescription> network;
    std::string error;  // "SOURCE:LINE: reason" when network is empty
};

// `source` names the text in error messages (usually the file's path).
NetworkParseResult ParseNetworkText(std::string_view text, const std::string& source);
// Reads and parses a file; an unreadable file is reported as "PATH:0: reason".
NetworkParseResult ReadNetworkFile(const std::string& path);

// Stations, values, rate, modem statuses and pacing (SetBaud). A real device's
// line speed is the caller's business: only it knows which kind of line is open.
void Apply(const NetworkDescription& network, Simulator& sim);

}  // namespace ultsim
