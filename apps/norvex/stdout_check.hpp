// Standard output that remembers why a write failed, checked at exit as coreutils do.
#pragma once

#include <array>
#include <streambuf>

namespace norvex::cli {

// While it lives, std::cout writes through it to file descriptor 1. The
// first failed write (a full disk, a closed pipe with SIGPIPE ignored) keeps
// its cause; later output is dropped, as it could not arrive in order.
class CheckedStdout : public std::streambuf {
public:
    CheckedStdout();
    ~CheckedStdout() override;
    CheckedStdout(const CheckedStdout&) = delete;
    CheckedStdout& operator=(const CheckedStdout&) = delete;

    // Writes what is buffered; when any write failed, says so on stderr with
    // the cause and turns a successful `status` into 1. Gives the status to exit with.
    int finish(int status);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool drain();

    std::array<char, 65536> buffer_{};
    std::streambuf* previous_ = nullptr;
    int error_ = 0;  // errno of the first failed write
};

}  // namespace norvex::cli
