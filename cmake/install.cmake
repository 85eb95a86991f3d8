# Installation and the Debian package. The driver is a plug-in that hosts load
# by path, so it lives in a folder of its own under the library directory; the
# host library is an ordinary shared library.
set(TELMOR_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/telmor)

install(TARGETS telmor LIBRARY DESTINATION ${TELMOR_PLUGIN_DIR} COMPONENT runtime)
install(TARGETS veldan LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
install(DIRECTORY include/telmor include/veldan DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT runtime)
install(FILES tools/veldan/veldan_host.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veldan COMPONENT runtime)
if(TARGET vpihost)
  install(TARGETS vpihost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
if(TARGET ultsim_cli)
  install(TARGETS ultsim_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

configure_file(${CMAKE_SOURCE_DIR}/cmake/telmor.pc.in ${CMAKE_BINARY_DIR}/telmor.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/telmor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT runtime)

set(CPACK_PACKAGE_NAME telmor)
set(CPACK_PACKAGE_VENDOR "telmor developers")
set(CPACK_PACKAGE_CONTACT "telmor developers <dev@telmor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sauter ULT 2400 substation network driver for SCADA hosts, with its tools")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/debian/cpack_project_config.cmake)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/postinst ${CMAKE_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
