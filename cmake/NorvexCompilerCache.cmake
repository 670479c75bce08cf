# Compiles through ccache when it is installed, so a fresh clone on a machine
# that built norvex before (CI, a second checkout) reuses the objects.
#
# The base folder makes the cached paths relative to the source tree, so two
# clones share entries; the sloppiness lets precompiled headers be cached.
option(NORVEX_USE_CCACHE "Compile through ccache when it is installed" ON)
if(NORVEX_USE_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(NORVEX_CCACHE ccache)
  if(NORVEX_CCACHE)
    set(CMAKE_CXX_COMPILER_LAUNCHER
      "${CMAKE_COMMAND}" -E env
      "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}"
      "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      "${NORVEX_CCACHE}")
    message(STATUS "Compiling through ${NORVEX_CCACHE}")
  endif()
endif()
