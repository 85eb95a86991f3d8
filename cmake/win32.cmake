# The Windows build: TELMOR.DLL as hosts load it, the stand-in host library
# VELDAN.DLL, and the programs that test both under Wine.

# The driver imports exactly the five host services, by name, from
# VELDAN.DLL: the import library comes from a list of those names, not from
# the stand-in host library, whose test API the driver must never reach.
set(TELMOR_VELDAN_IMPORTS ${CMAKE_BINARY_DIR}/lib/libveldan_imports.a)
add_custom_command(
  OUTPUT ${TELMOR_VELDAN_IMPORTS}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_SOURCE_DIR}/src/platform/win32/veldan_imports.def
          --dllname VELDAN.DLL --output-lib ${TELMOR_VELDAN_IMPORTS}
  DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/veldan_imports.def
  COMMENT "Import library of the host services in VELDAN.DLL"
  VERBATIM)
add_custom_target(veldan_imports_lib DEPENDS ${TELMOR_VELDAN_IMPORTS})
add_library(veldan_imports STATIC IMPORTED GLOBAL)
set_target_properties(veldan_imports PROPERTIES IMPORTED_LOCATION ${TELMOR_VELDAN_IMPORTS})
add_dependencies(veldan_imports veldan_imports_lib)

# The driver's calendar time uses the reentrant localtime_r, which mingw-w64
# offers (over localtime_s) when the POSIX thread-safe functions are asked for.
target_compile_definitions(telmor_core PRIVATE _POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# Hosts look for TELMOR.DLL; VpiMain is exported under its plain name.
set_target_properties(telmor PROPERTIES OUTPUT_NAME TELMOR PREFIX "" SUFFIX ".DLL")
target_sources(telmor PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/win32/telmor.def)
target_link_libraries(telmor PRIVATE veldan_imports)
# Loaded where the host runs it: the stand-in host library is built first so
# that a build leaves both DLLs side by side.
add_dependencies(telmor veldan)

add_subdirectory(${CMAKE_SOURCE_DIR}/tests/win32 ${CMAKE_BINARY_DIR}/tests-win32)
