// parse_file: path expansion and resolution, reading, decoding and parsing, with Python's error texts.
#include "norvex/workers/astprobe/parse_file.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/pyast/constant_repr.hpp"
#include "norvex/pyast/parse.hpp"
#include "norvex/workers/astprobe/user_home.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvex::astprobe {
namespace {

namespace fs = std::filesystem;

ParsedFile failure(std::string message) {
    ParsedFile out;
    out.error = std::move(message);
    return out;
}

// str(OSError) as Python writes it: "[Errno 2] No such file or directory: '/x'";
// `filename` is text (a name that is not UTF-8 in its surrogate escapes).
std::string os_error_text(int err, const std::string* filename) {
    std::string out = "[Errno " + std::to_string(err) + "] " + std::strerror(err);
    if (filename != nullptr) {
        out += ": ";
        pyast::append_str_repr(out, *filename);
    }
    return out;
}

// A file that could not be read, carrying the text the caller is shown.
struct ReadFailure {
    std::string text;
};

// Home folders are text here, as os.path.expanduser gives them.
std::string home_of_current_user() {
    if (const char* home = std::getenv("HOME"); home != nullptr) return pystr::fsdecode(home);
    return pystr::fsdecode(home_of_uid(::getuid()).value_or(std::string()));
}

// Path.resolve(strict=False): symbolic links and "." / ".." resolved as far as
// the path exists, the rest kept as written.
std::string resolve(const std::string& expanded) {
    std::error_code ec;
    fs::path path = expanded.empty() ? fs::path(".") : fs::path(expanded);
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    if (char* real = ::realpath(absolute.c_str(), nullptr); real != nullptr) {
        std::string out(real);
        std::free(real);
        return out;
    }
    fs::path weak = fs::weakly_canonical(absolute, ec);
    fs::path chosen = ec ? absolute.lexically_normal() : weak;
    std::string out = chosen.string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

// The whole content of an open regular file of `size` bytes (as fstat saw it).
std::string read_all(int fd, off_t size) {
    // Read straight into the text, sized from the file: no second buffer to
    // copy from, nor its pages of stack to fault in. One byte more than the
    // size sees the end of the file without another resize.
    std::string bytes;
    std::size_t length = 0;
    if (size > 0) bytes.resize(static_cast<std::size_t>(size) + 1);
    while (true) {
        if (length == bytes.size()) bytes.resize(std::max<std::size_t>(2 * length, 65536));
        const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
        if (n > 0) {
            length += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            throw ReadFailure{os_error_text(errno, nullptr)};
        }
    }
    bytes.resize(length);
    return bytes;
}

// The bytes of the file the caller named, or the error a caller is shown.
// `path` is the caller's text and `resolved` the file's name on the system.
std::string read_source(std::string_view path, const std::string& resolved) {
    const OpenedFile opened = open_regular_file(resolved);
    const std::string shown = pystr::fsdecode(resolved);
    switch (opened.outcome) {
        case OpenedFile::Outcome::opened: break;
        case OpenedFile::Outcome::failed:
            // Path.exists() answers false for these and raises the rest.
            if (opened.error == ENOENT || opened.error == ENOTDIR || opened.error == ELOOP || opened.error == EBADF) {
                throw ReadFailure{"File not found: " + std::string(path)};
            }
            throw ReadFailure{os_error_text(opened.error, &shown)};
        case OpenedFile::Outcome::not_regular:
            // Python's open() refuses a folder by name. Anything else but a
            // file is never read: a device such as /dev/zero has no end, and
            // a FIFO would hold the worker until a writer came.
            if (S_ISDIR(opened.st.st_mode)) throw ReadFailure{os_error_text(EISDIR, &shown)};
            throw ReadFailure{"Not a regular file: " + std::string(path) + " is " +
                            std::string(file_type_name(opened.st.st_mode)) +
                            "; give the path of a Python source file"};
        case OpenedFile::Outcome::outside: break;  // not asked for
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{opened.fd};
    return read_all(opened.fd, opened.st.st_size);
}

}  // namespace

std::string expand_user(std::string_view path) {
    if (path.empty() || path.front() != '~') return std::string(path);
    std::size_t slash = path.find('/', 1);
    if (slash == std::string_view::npos) slash = path.size();
    std::string home;
    if (slash == 1) {
        home = home_of_current_user();
        if (home.empty() && std::getenv("HOME") == nullptr) return std::string(path);
    } else {
        std::optional<std::string> found = home_of_user(pystr::fsencode_replace(path.substr(1, slash - 1)));
        if (!found) return std::string(path);
        home = pystr::fsdecode(*found);
    }
    while (!home.empty() && home.back() == '/') home.pop_back();
    std::string out = home + std::string(path.substr(slash));
    return out.empty() ? std::string("/") : out;
}

std::string decode_source(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string text = pystr::is_valid_utf8(bytes) ? std::string(bytes) : pystr::decode_utf8_replace(bytes);
    if (text.find('\r') == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out.push_back(text[i]);
        } else {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return out;
}

namespace {

// decode_source without a copy for the common text: UTF-8 already, with "\n" line ends and no byte order mark.
std::string decode_read_text(std::string bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0 && bytes.find('\r') == std::string::npos &&
        pystr::is_valid_utf8(bytes)) {
        return bytes;
    }
    return decode_source(bytes);
}

}  // namespace

ParsedFile parse_file(std::string_view path) {
    try {
        const std::string expanded = expand_user(path);
        // Python's path functions refuse these before asking the system.
        if (expanded.find('\0') != std::string::npos) return failure("embedded null byte");
        // The system takes bytes: a name that is not UTF-8 arrives in its
        // surrogate escapes and goes back to its own bytes here.
        const std::string resolved = resolve(pystr::fsencode(expanded));
        std::string text = decode_read_text(read_source(path, resolved));
        // CPython refuses NUL before tokenizing, without a line; the line of
        // the first one is what lets a reader find it.
        if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
            const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
            return failure("Syntax error at line " + std::to_string(line) +
                           ": source code string cannot contain null bytes");
        }

        pyast::ParseResult parsed = pyast::parse(std::move(text));
        if (!parsed.tree) {
            const pyast::SyntaxError& e = *parsed.error;
            return failure("Syntax error at line " + std::to_string(e.lineno) + ": " + e.msg);
        }
        ParsedFile out;
        out.source = parsed.tree->source;  // a view of the tree's own copy
        out.tree = std::move(parsed.tree);
        return out;
    } catch (const ReadFailure& e) {
        return failure(e.text);
    } catch (const std::exception& e) {
        return failure(e.what());
    }
}

}  // namespace norvex::astprobe
