# Build and install trees share one package shape:
#   bin/                     programs
#   lib/norvex/core/         forkyard and the other shared libraries
#   lib/norvex/workers/      worker programs, found by forkyard beside its own folder
# Every RPATH is relative to $ORIGIN, so nothing needs LD_LIBRARY_PATH.

set(NORVEX_LIB_SUBDIR "${CMAKE_INSTALL_LIBDIR}/norvex")
set(NORVEX_CORE_SUBDIR "${NORVEX_LIB_SUBDIR}/core")
set(NORVEX_WORKERS_SUBDIR "${NORVEX_LIB_SUBDIR}/workers")

set(NORVEX_CORE_DIR "${CMAKE_BINARY_DIR}/${NORVEX_CORE_SUBDIR}")
set(NORVEX_WORKERS_DIR "${CMAKE_BINARY_DIR}/${NORVEX_WORKERS_SUBDIR}")

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${NORVEX_CORE_DIR}")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/${NORVEX_LIB_SUBDIR}/static")

set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
# Folders made by an install are 0755 whatever the umask, as a package's are.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_SKIP_BUILD_RPATH OFF)

# A shared library of the package: lives in lib/norvex/core and finds its siblings there.
function(norvex_shared_library target)
  set_target_properties(${target} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY "${NORVEX_CORE_DIR}"
    SKIP_BUILD_RPATH OFF
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} EXPORT norvexTargets
    LIBRARY DESTINATION "${NORVEX_CORE_SUBDIR}"
    ARCHIVE DESTINATION "${NORVEX_LIB_SUBDIR}/static")
endfunction()

# A static library of the package (linked into the shared ones and the programs).
function(norvex_static_library target)
  install(TARGETS ${target} EXPORT norvexTargets
    ARCHIVE DESTINATION "${NORVEX_LIB_SUBDIR}/static")
endfunction()

# A worker program: lives in lib/norvex/workers, where forkyard looks for it.
function(norvex_worker_program target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${NORVEX_WORKERS_DIR}"
    BUILD_RPATH "$ORIGIN/../core"
    INSTALL_RPATH "$ORIGIN/../core")
  install(TARGETS ${target} EXPORT norvexTargets RUNTIME DESTINATION "${NORVEX_WORKERS_SUBDIR}")
endfunction()

# A program of the package, in bin/.
function(norvex_program target)
  set_target_properties(${target} PROPERTIES
    BUILD_RPATH "$ORIGIN/../${NORVEX_CORE_SUBDIR}"
    INSTALL_RPATH "$ORIGIN/../${NORVEX_CORE_SUBDIR}")
  install(TARGETS ${target} EXPORT norvexTargets RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endfunction()

# Installs the public headers of one folder of norvex/, keeping the folder path.
function(norvex_install_headers folder)
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/norvex/${folder}/"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/norvex/${folder}"
    FILES_MATCHING PATTERN "*.hpp" PATTERN "*.def")
endfunction()
