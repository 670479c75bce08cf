// Error texts for people: a system error's context and message, never where in Boost it was raised.
#pragma once

#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <exception>
#include <string>
#include <string_view>

namespace norvex {

// A boost::system::system_error whose what() is "context: message", or the
// message alone without a context. Boost's own what() appends the error's
// category and number and, for an error asio raised, the header line and
// function it came from ("[system:125 at /usr/include/boost/asio/detail/
// descriptor_read_op.hpp:116:5 in function ...]"): nothing a user can act on,
// and it shows where the program was built. Catch it as the Boost type; its
// code() is the original one.
class SystemError : public boost::system::system_error {
public:
    explicit SystemError(const boost::system::error_code& code, std::string_view context = {});
    // The same error, with error_message's text.
    static SystemError from(const boost::system::system_error& e);
    const char* what() const noexcept override { return text_.c_str(); }

private:
    SystemError(std::string text, const boost::system::error_code& code);

    std::string text_;
};

// What `e` says, for a message, a log record or an answer: what() of any
// exception, except that a Boost system error gives its context and its
// code's message only. Use it wherever a caught exception becomes text.
std::string error_message(const std::exception& e);

// Rethrows `e` as it is, except a Boost system error, which comes back as a
// SystemError with the same code and error_message's text: for an operation
// that passes on errors raised inside asio to a caller who may print them.
[[noreturn]] void rethrow_with_plain_text(const std::exception_ptr& e);

}  // namespace norvex
