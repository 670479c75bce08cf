# Exports the installed targets as a CMake package: find_package(norvex CONFIG).
include(CMakePackageConfigHelpers)

set(NORVEX_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/norvex")
install(EXPORT norvexTargets NAMESPACE norvex:: DESTINATION "${NORVEX_CMAKE_DIR}")
configure_package_config_file(cmake/norvexConfig.cmake.in
  "${CMAKE_BINARY_DIR}/norvexConfig.cmake"
  INSTALL_DESTINATION "${NORVEX_CMAKE_DIR}")
write_basic_package_version_file("${CMAKE_BINARY_DIR}/norvexConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_BINARY_DIR}/norvexConfig.cmake" "${CMAKE_BINARY_DIR}/norvexConfigVersion.cmake"
  DESTINATION "${NORVEX_CMAKE_DIR}")
