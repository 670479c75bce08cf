# Precompiled headers: the heavy third-party headers a target's files share
# are parsed once per target instead of once per file.
#
#   norvex_precompile(<target> [ASIO] [JSON] [CLI] [GTEST])
#
# Only targets with several files that include these headers gain from it; a
# file that does not need them pays little for having them. The fuzz build
# (clang) goes without: it compiles few files.
set(NORVEX_PCH_ASIO
  <boost/asio/any_io_executor.hpp> <boost/asio/awaitable.hpp> <boost/asio/cancellation_signal.hpp>
  <boost/asio/co_spawn.hpp> <boost/asio/io_context.hpp> <boost/asio/posix/stream_descriptor.hpp>
  <boost/asio/steady_timer.hpp> <boost/asio/this_coro.hpp> <boost/asio/use_awaitable.hpp>)
set(NORVEX_PCH_JSON <boost/json/array.hpp> <boost/json/object.hpp> <boost/json/parse.hpp> <boost/json/value.hpp> <fmt/format.h>)
set(NORVEX_PCH_CLI <CLI/CLI.hpp>)
set(NORVEX_PCH_GTEST <gtest/gtest.h> <gmock/gmock.h>)

option(NORVEX_PRECOMPILE_HEADERS "Precompile the heavy third-party headers" ON)

function(norvex_precompile target)
  if(NOT NORVEX_PRECOMPILE_HEADERS OR NORVEX_BUILD_FUZZ)
    return()
  endif()
  set(headers)
  foreach(set IN LISTS ARGN)
    list(APPEND headers ${NORVEX_PCH_${set}})
  endforeach()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
