# A Debian package of everything `cmake --install` puts in place: `cpack -G DEB` in the build folder.
set(CORVELLA_MAINTAINER "Corvella Developers <corvella-devel@lists.corvella.org>")
# Release stamps for the changelog and the AppStream metadata; SOURCE_DATE_EPOCH, when set, fixes
# them for reproducible packages.
string(TIMESTAMP CORVELLA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP CORVELLA_RELEASE_DATE "%Y-%m-%d" UTC)
add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME "corvella")
set(CPACK_PACKAGE_VENDOR "Corvella")
set(CPACK_PACKAGE_CONTACT "${CORVELLA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvella.org/")
# Debian's tools show the description in 80 columns, with the leading space each line gets.
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the unit on the serial ports, reads and writes its whole program, edits\nevery parameter live on graphical pages and keeps presets in .asc files.\nIncludes the command-line tool and a simulator of the unit.")
# The build keeps debug information; the package does not.
set(CPACK_STRIP_FILES ON)
# Folders as Debian has them whatever the umask of the machine that packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The platform plugins are loaded at run time, so no library dependency names them. The Qt
# libraries themselves come from dpkg-shlibdeps with their exact versions when it is available.
find_program(CORVELLA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CORVELLA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), libqt6svg6 (>= 6.2), libqt6charts6 (>= 6.2), qt6-qpa-plugins")
endif()
include(CPack)
