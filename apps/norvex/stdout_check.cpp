// std::cout on file descriptor 1 with the cause of a failed write kept for the last check.
#include "stdout_check.hpp"

#include "commands.hpp"

#include <cerrno>
#include <cstring>
#include <iostream>

#include <unistd.h>

namespace norvex::cli {

CheckedStdout::CheckedStdout() {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    previous_ = std::cout.rdbuf(this);
}

CheckedStdout::~CheckedStdout() {
    drain();
    std::cout.rdbuf(previous_);
}

bool CheckedStdout::drain() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
        const ssize_t n = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(pptr() - next));
        if (n >= 0) {
            next += n;
        } else if (errno != EINTR) {
            error_ = errno;
        }
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

CheckedStdout::int_type CheckedStdout::overflow(int_type c) {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int CheckedStdout::sync() { return drain() ? 0 : -1; }

int CheckedStdout::finish(int status) {
    std::cout.flush();
    drain();
    if (error_ == 0) return status;
    std::cerr << "norvex: cannot write to standard output: " << std::strerror(error_) << '\n';
    return status == EXIT_OK ? EXIT_FAILED : status;
}

}  // namespace norvex::cli
