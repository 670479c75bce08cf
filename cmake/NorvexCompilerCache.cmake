# Compiles through ccache when it is installed, so a fresh clone on a machine
# that built norvex before (CI, a second checkout) reuses the objects.
#
# The base folder makes the cached paths relative to the source tree, and the
# working folder is left out of the key, so two clones share entries; an
# object taken from another clone's build names that clone's build folder in
# its debug information.
option(NORVEX_USE_CCACHE "Compile through ccache when it is installed" ON)
if(NORVEX_USE_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(NORVEX_CCACHE ccache)
  if(NORVEX_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER
      "${CMAKE_COMMAND}" -E env
      "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}" CCACHE_NOHASHDIR=true
      "${NORVEX_CCACHE}")
    message(STATUS "Compiling through ${NORVEX_CCACHE}")
  endif()
endif()
