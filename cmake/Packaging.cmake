# A Debian package of everything `cmake --install` puts in place: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME "corvella")
set(CPACK_PACKAGE_VENDOR "Corvella")
set(CPACK_PACKAGE_CONTACT "Corvella maintainers <corvella@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the unit on the serial ports, reads and writes its whole program, edits every\nparameter live on graphical pages and keeps presets in .asc files. Includes the\ncommand-line tool and a simulator of the unit.")
# The platform plugins are loaded at run time, so no library dependency names them. The Qt
# libraries themselves come from dpkg-shlibdeps with their exact versions when it is available.
find_program(CORVELLA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CORVELLA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), libqt6svg6 (>= 6.2), qt6-qpa-plugins")
endif()
include(CPack)
