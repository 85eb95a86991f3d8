// The driver describes itself in code page 437, the character set of the DOS
// consoles its banner was drawn for; terminals today speak UTF-8.
#pragma once

#include <string>

namespace vpihost {

// Converts code page 437 text to UTF-8. Control characters other than line
// feed and tab (the banner starts with a backspace) are dropped.
std::string Cp437ToUtf8(const std::string& text);

}  // namespace vpihost
