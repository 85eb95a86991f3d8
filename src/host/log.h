// Writing the driver's log lines through the host's `err` service.
#pragma once

#include "platform/host_services.h"

namespace telmor {

inline constexpr int kLevelMajor = 32;  // start-up, warnings, address errors, failures
inline constexpr int kLevelTrace = 64;  // running trace

// Every driver log line goes through this macro so that the format is checked
// against its arguments and reaches the host unchanged.
#define TELMOR_LOG(level, ...) (::telmor::platform::Host().err((level), __VA_ARGS__))

}  // namespace telmor
