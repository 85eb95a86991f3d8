// The gate file: the gates a commissioning run defines in the host, one gate
// or block a line as "ADDRESS TYPE [block N] [SCALE] [UNIT]", '#' starting a
// comment. Written by hand, so every error names its line.
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
    int blockSize = 0;  // a block of this many gates from `address` on; 0 a single gate
    int line = 0;       // line in the gate file, 0 for gates made up by the program
};

struct GateFile {
    std::vector<GateSpec> gates;
    std::vector<std::string> errors;  // "NAME:LINE: reason", in line order
};

// Gate types by code or by name ("analog16", "signed16", "analog32", "digital", "text", ...).
bool ParseGateType(const std::string& text, int& gateType);

GateFile ParseGateFile(std::istream& in, const std::string& name);

// The single gates a block stands for: its address and the `blockSize - 1`
// after it ("012A40" block 32: 012A40 to 012A71; "012Z017" block 16:
// 012Z017 to 012Z032), with the block's type, scale, unit and line. Whether
// each exists is the driver's to say. Empty when the address does not end in
// its point number.
std::vector<GateSpec> BlockMembers(const GateSpec& block);
// Reads the file at `path`; a file that cannot be opened is one error.
GateFile LoadGateFile(const std::string& path);

}  // namespace vpihost
