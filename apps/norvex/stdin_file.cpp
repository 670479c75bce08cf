// Reading standard input whole, and the temporary file that stands in for it.
#include "stdin_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace norvex::cli {

namespace {

std::string cause(int err) { return std::strerror(err); }

void write_all(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::runtime_error("cannot write " + path + ": " + cause(errno) + " (set TMPDIR to a folder with space)");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string read_stdin() {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return bytes;
        } else if (errno != EINTR) {
            throw std::runtime_error("cannot read standard input: " + cause(errno));
        }
    }
}

StdinFile::StdinFile() {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
    std::string pattern = folder + "/norvex-stdin-XXXXXX.py";
    const int fd = ::mkstemps(pattern.data(), 3);
    if (fd < 0) {
        throw std::runtime_error("cannot make a temporary file in " + folder + " for standard input: " + cause(errno) +
                                 " (set TMPDIR to a folder you can write)");
    }
    path_ = pattern;
    try {
        write_all(fd, read_stdin(), path_);
    } catch (...) {
        ::close(fd);
        ::unlink(path_.c_str());
        throw;
    }
    ::close(fd);
    if (char* real = ::realpath(path_.c_str(), nullptr); real != nullptr) {
        resolved_ = real;
        std::free(real);
    }
}

StdinFile::~StdinFile() { ::unlink(path_.c_str()); }

std::string StdinFile::hide_path(std::string text) const {
    // The resolved name first: the given one may be a part of it.
    if (resolved_ != path_) replace_all(text, resolved_, STDIN_NAME);
    replace_all(text, path_, STDIN_NAME);
    return text;
}

}  // namespace norvex::cli
