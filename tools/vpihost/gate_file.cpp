// Gate file parsing. Only the file's own format is checked here; whether the
// driver accepts an address for its gate type is asked of the driver itself.
#include "vpihost/gate_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "vpihost/options.h"

namespace vpihost {
namespace {

struct TypeName {
    const char* name;
    int code;
};

// The words of the driver's own messages, shortened for typing.
constexpr TypeName kTypeNames[] = {
    {"analog16", 0},  {"signed16", 1}, {"analog16b", 2}, {"analog32", 4},
    {"analog32b", 5}, {"digital", 6},  {"text", 7},
};

// The driver works on a copy of at most 31 characters; no valid address is longer than 7.
constexpr size_t kMaxAddressLength = 31;
// The network's replies hold 32 values at most; the driver says which sizes it takes.
constexpr long long kMaxBlockSize = 32;
// A station number of three digits and a memory-type letter before the point number.
constexpr size_t kPointNumberAt = 4;

bool ParseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

std::vector<std::string> Fields(const std::string& line) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    return fields;
}

// Returns an empty string when the fields make a gate, else the reason.
std::string ParseGateLine(const std::vector<std::string>& fields, GateSpec& gate) {
    gate.address = fields[0];
    if (gate.address.size() > kMaxAddressLength) return "address '" + gate.address + "' is too long";
    if (fields.size() < 2) return "gate type missing after '" + gate.address + "'";
    if (!ParseGateType(fields[1], gate.gateType))
        return "gate type '" + fields[1] + "' is not 0..7 or a type name";
    size_t next = 2;
    if (next < fields.size() && fields[next] == "block") {
        if (++next == fields.size()) return "block size missing after 'block'";
        const std::string& size = fields[next++];
        const std::optional<long long> count = ParseInteger(size, 1, kMaxBlockSize);
        if (!count)
            return "block size '" + size + "' is not a whole number 1.." + std::to_string(kMaxBlockSize);
        gate.blockSize = static_cast<int>(*count);
    }
    double scale = 0;
    if (next < fields.size() && ParseNumber(fields[next], scale)) {
        if (!std::isfinite(scale) || scale == 0)
            return "scale '" + fields[next] + "' must be a non-zero number";
        gate.scale = scale;
        ++next;
    }
    if (next < fields.size()) gate.unit = fields[next++];
    if (next < fields.size()) return "unexpected '" + fields[next] + "' after the unit";
    return {};
}

}  // namespace

bool ParseGateType(const std::string& text, int& gateType) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '7') {
        gateType = text[0] - '0';
        return true;
    }
    for (const TypeName& type : kTypeNames) {
        if (text == type.name) {
            gateType = type.code;
            return true;
        }
    }
    return false;
}

GateFile ParseGateFile(std::istream& in, const std::string& name) {
    GateFile file;
    std::map<std::string, int> firstLine;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::vector<std::string> fields = Fields(line);
        if (fields.empty()) continue;
        GateSpec gate;
        gate.line = number;
        std::string reason = ParseGateLine(fields, gate);
        if (reason.empty()) {
            const auto [where, added] = firstLine.emplace(gate.address, number);
            if (!added)
                reason =
                    "gate " + gate.address + " is already defined on line " + std::to_string(where->second);
        }
        if (reason.empty()) {
            file.gates.push_back(gate);
        } else {
            file.errors.push_back(name + ":" + std::to_string(number) + ": " + reason);
        }
    }
    return file;
}

std::vector<GateSpec> BlockMembers(const GateSpec& block) {
    const std::string& address = block.address;
    const size_t width = address.size() > kPointNumberAt ? address.size() - kPointNumberAt : 0;
    if (width == 0 || width > 3 ||
        address.find_first_not_of("0123456789", kPointNumberAt) != std::string::npos)
        return {};
    const int first = std::atoi(address.c_str() + kPointNumberAt);
    std::vector<GateSpec> members;
    for (int index = 0; index < block.blockSize; ++index) {
        GateSpec member = block;
        member.blockSize = 0;
        char number[8];
        std::snprintf(number, sizeof number, "%0*d", static_cast<int>(width), first + index);
        member.address = address.substr(0, kPointNumberAt) + number;
        members.push_back(std::move(member));
    }
    return members;
}

GateFile LoadGateFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        GateFile file;
        file.errors.push_back(path + ": cannot be opened");
        return file;
    }
    return ParseGateFile(in, path);
}

}  // namespace vpihost
