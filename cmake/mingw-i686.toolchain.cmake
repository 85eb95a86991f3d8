# Cross-compiling for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686).
#
# The posix thread model: the standard library's mutexes (which the stand-in
# host library uses) need it with GCC 12. Its winpthread is linked in
# statically, like libgcc and libstdc++, so the DLLs need no runtime DLL of
# mingw's beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TELMOR_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TELMOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TELMOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TELMOR_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${TELMOR_MINGW_PREFIX}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${TELMOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
