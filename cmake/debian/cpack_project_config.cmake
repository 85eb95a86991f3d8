# Read by cpack for each generator it runs. The Debian package's dependencies
# come from dpkg-shlibdeps alone; where it is missing, CPack would still build
# the package, quietly declaring no dependencies at all.
if(CPACK_GENERATOR STREQUAL "DEB")
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW) # a program must be executable, as for CPack's own look-up
  find_program(TELMOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
  cmake_policy(POP)
  if(NOT TELMOR_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps not found (apt-get install dpkg-dev): "
                        "the package would declare no dependencies")
  endif()
endif()
