// The gate file: the gates a commissioning run defines in the host, one per
// line as "ADDRESS TYPE [SCALE] [UNIT]", '#' starting a comment. Written by
// hand, so every error names its line.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace vpihost {

struct GateSpec {
    std::string address;
    int gateType = 0;  // 0..7 as the host header numbers them
    double scale = 1;  // cooked value = raw * scale
    std::string unit;
    int line = 0;  // line in the gate file, 0 for gates made up by the program
};

struct GateFile {
    std::vector<GateSpec> gates;
    std::vector<std::string> errors;  // "NAME:LINE: reason", in line order
};

// Gate types by code or by name ("analog16", "signed16", "analog32", "digital", "text", ...).
bool ParseGateType(const std::string& text, int& gateType);

GateFile ParseGateFile(std::istream& in, const std::string& name);
// Reads the file at `path`; a file that cannot be opened is one error.
GateFile LoadGateFile(const std::string& path);

}  // namespace vpihost
