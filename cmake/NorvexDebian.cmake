# `make package`: a Debian package of the install tree under /usr, built by CPack.
#
# The runtime dependencies are computed by dpkg-shlibdeps from the shared
# libraries the programs and libraries link; the package's own libraries in
# lib/norvex/core are found through their $ORIGIN run paths.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvex)
set(CPACK_PACKAGE_VENDOR "The norvex authors")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "runtime components for desktop AI agents")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "norvex gives the host program of a desktop AI agent isolated worker processes\n"
  "that speak JSON lines, structural analysis of Python source in such a worker,\n"
  "a pool that runs agent tasks concurrently, the desktop actions of a\n"
  "computer-use tool, and skills the agent writes and keeps itself.\n"
  "\n"
  "This package holds the norvex command line (analysis, folder scans, skills,\n"
  "desktop actions and an MCP server), its worker program, and the shared\n"
  "libraries with their headers and CMake package for hosts that link them.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "norvex developers <dev@norvex.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/${NORVEX_CORE_SUBDIR}")
# Typing pastes through a clipboard program; scrot is the capture of last resort.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xclip | xsel | wl-clipboard")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "scrot, libboost1.81-dev, libboost-json1.81-dev, libspdlog-dev, libfmt-dev, libicu-dev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Files of the package alone, not of `make install`: lintian's overrides.
set(CPACK_INSTALLED_DIRECTORIES "${PROJECT_SOURCE_DIR}/packaging/debian/overlay;usr")
include(CPack)
