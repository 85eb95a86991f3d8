// Parser of the hand-written network file: one directive a line, each checked
// completely, so that a typo stops the simulator with the line to fix instead of
// serving a network that differs from the file.
#include "ultsim/network_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace ultsim {
namespace {

constexpr unsigned kMaxStation = 999;
constexpr int64_t kMaxCounter = 99999999;
constexpr unsigned kTimePrograms = 128;

// What a value of each memory type may hold; anything else the simulator would
// refuse or could not put on the line.
struct ValueRange {
    std::string_view letters;
    int64_t min;
    int64_t max;
};

constexpr ValueRange kValueRanges[] = {
    {"AIjklmnopqrstuvw", std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()},
    {"GV", 0, std::numeric_limits<uint32_t>::max()},
    {"HCKLE", 0, 255},
    {"DZ", 0, kMaxCounter},
};

const ValueRange* RangeOf(char memType) {
    for (const ValueRange& range : kValueRanges) {
        if (range.letters.find(memType) != std::string_view::npos) return &range;
    }
    return nullptr;
}

std::vector<std::string_view> Words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

template <typename T>
bool ParseNumber(std::string_view word, T& value) {
    const char* end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc() && ptr == end && !word.empty();
}

// One file being parsed; each directive returns an empty string or the reason
// its line is wrong.
class Parser {
public:
    std::string Directive(const std::vector<std::string_view>& words) {
        const std::string_view name = words[0];
        const std::vector<std::string_view> args(words.begin() + 1, words.end());
        if (name == "station") return StationLine(args);
        if (name == "value") return ValueLine(args);
        if (name == "rate") return RateLine(args);
        if (name == "modem") return ModemLine(args);
        if (name == "baud") return BaudLine(args);
        return "unknown directive \"" + std::string(name) + "\"";
    }

    NetworkDescription network;

private:
    bool Declared(unsigned station) const {
        return std::any_of(network.stations.begin(), network.stations.end(),
                           [station](const Station& s) { return s.number == station; });
    }

    std::string StationLine(const std::vector<std::string_view>& args) {
        unsigned number = 0;
        if (args.empty() || args.size() > 2) return "expected \"station N [silent]\"";
        if (!ParseNumber(args[0], number) || number > kMaxStation) return "station number must be 0 to 999";
        if (args.size() == 2 && args[1] != "silent") return "expected \"silent\" after the station number";
        if (Declared(number)) return "station " + std::to_string(number) + " declared twice";
        network.stations.push_back(Station{number, args.size() == 1});
        return "";
    }

    std::string ValueLine(const std::vector<std::string_view>& args) {
        if (args.size() != 4) return "expected \"value STATION MEMTYPE ADDRESS RAW\"";
        NetworkValue value{};
        if (!ParseNumber(args[0], value.station) || !Declared(value.station)) {
            return "value for a station that no earlier station line declares";
        }
        const ValueRange* range = args[1].size() == 1 ? RangeOf(args[1][0]) : nullptr;
        if (range == nullptr) return "unknown memory type \"" + std::string(args[1]) + "\"";
        value.memType = args[1][0];
        if (!ParseNumber(args[2], value.address)) return "address must be a number";
        if (value.memType == 'Z' && (value.address < 1 || value.address > kTimePrograms)) {
            return "time program must be 1 to 128";
        }
        int64_t raw = 0;
        if (!ParseNumber(args[3], raw) || raw < range->min || raw > range->max) {
            return "value must be " + std::to_string(range->min) + " to " + std::to_string(range->max) +
                   " for memory type " + value.memType;
        }
        value.raw = static_cast<uint32_t>(raw);
        network.values.push_back(value);
        return "";
    }

    std::string RateLine(const std::vector<std::string_view>& args) {
        double rate = 0;
        if (args.size() != 1 || !ParseNumber(args[0], rate) || !std::isfinite(rate) || rate < 0) {
            return "expected \"rate R\", R messages a second, 0 or more";
        }
        if (network.rate) return "rate given twice";
        network.rate = rate;
        return "";
    }

    std::string ModemLine(const std::vector<std::string_view>& args) {
        int eNumber = 0;
        if (args.size() < 2 || !ParseNumber(args[0], eNumber) || (eNumber != 60 && eNumber != 61)) {
            return "expected \"modem 60|61 STATUS...\"";
        }
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i].size() != 1 || args[i][0] < '0' || args[i][0] > '9') {
                return "modem status must be one digit, not \"" + std::string(args[i]) + "\"";
            }
            network.modemStatuses.emplace_back(eNumber, args[i][0]);
        }
        return "";
    }

    std::string BaudLine(const std::vector<std::string_view>& args) {
        unsigned baud = 0;
        if (args.size() != 1 || !ParseNumber(args[0], baud) || baud == 0) return "expected \"baud N\", N > 0";
        if (network.baud != 0) return "baud given twice";
        network.baud = baud;
        return "";
    }
};

}  // namespace

NetworkParseResult ParseNetworkText(std::string_view text, const std::string& source) {
    Parser parser;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        ++lineNumber;
        const std::vector<std::string_view> words = Words(text.substr(pos, end - pos));
        pos = end + 1;
        if (words.empty()) continue;
        const std::string reason = parser.Directive(words);
        if (!reason.empty()) return {std::nullopt, source + ":" + std::to_string(lineNumber) + ": " + reason};
    }
    return {std::move(parser.network), ""};
}

NetworkParseResult ReadNetworkFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {std::nullopt, path + ":0: cannot open the file"};
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) return {std::nullopt, path + ":0: cannot read the file"};
    return ParseNetworkText(text.str(), path);
}

void Apply(const NetworkDescription& network, Simulator& sim) {
    sim.SetStations(network.stations);
    for (const NetworkValue& value : network.values) {
        sim.SetValue(value.station, value.memType, value.address, value.raw);
    }
    if (network.rate) sim.SetSpontaneousRate(*network.rate);
    if (!network.modemStatuses.empty()) sim.SetModemStatuses(network.modemStatuses);
    if (network.baud != 0) sim.SetBaud(network.baud);
}

}  // namespace ultsim
