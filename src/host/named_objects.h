// The instance's named OS objects: the port mutex and three events.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telmor {

// "TELMOR%02u" followed by the role and "Sem".
inline constexpr const char* kMutexNameFormat = "TELMOR%02uMutexSem";
inline constexpr const char* kReplyEventNameFormat = "TELMOR%02uEventSem";
inline constexpr const char* kWriteEventNameFormat = "TELMOR%02uWriteEventSem";
inline constexpr const char* kReadEventNameFormat = "TELMOR%02uReadEventSem";

// Room for the longest name with a 10-digit instance number.
inline constexpr size_t kObjectNameSize = 40;

}  // namespace telmor
