// The driver's name and its code page 437 banner box.
#pragma once

namespace telmor {

extern const char kShortName[];
// 204 bytes before the NUL: a backspace, then three box lines.
extern const char kBanner[];

}  // namespace telmor
