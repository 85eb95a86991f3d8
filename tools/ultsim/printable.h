// Line bytes as one line of text for a trace: LF and CR as \n and \r, other
// control bytes and bytes above 0x7E as \xNN.
#pragma once

#include <string>
#include <string_view>

namespace ultsim {

std::string Printable(std::string_view bytes);

}  // namespace ultsim
