// Writing to a child's stdin without SIGPIPE.
//
// A write to a pipe whose reader has gone raises SIGPIPE, whose default
// action ends the whole host. write_all() blocks SIGPIPE in the calling
// thread for the duration of each write(2) and consumes the signal that
// write raised, so a vanished reader is an ordinary EPIPE error. The host's
// signal dispositions and the thread's mask are left as they were; a SIGPIPE
// that was already pending for another reason is left pending.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>

#include <string_view>

namespace norvex::forkyard {

// Writes all of `data`, suspending while the pipe is full. Throws
// boost::system::system_error (broken pipe when the reader has gone).
boost::asio::awaitable<void> write_all(boost::asio::posix::stream_descriptor& pipe, std::string_view data);

}  // namespace norvex::forkyard
