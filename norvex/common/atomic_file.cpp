// Whole-file reads, atomic writes and folder creation over POSIX calls.
#include "norvex/common/atomic_file.hpp"

#include "norvex/common/ids.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace norvex {

namespace {

std::string os_error_text(int error_number, const std::filesystem::path& path) {
    return "[Errno " + std::to_string(error_number) + "] " + std::strerror(error_number) + ": '" +
           path.string() + "'";
}

// Closes the descriptor and removes the temporary file unless released.
struct TempFile {
    int fd = -1;
    std::filesystem::path path;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!keep && !path.empty()) ::unlink(path.c_str());
    }
};

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

OsError::OsError(int error_number, const std::filesystem::path& path)
    : std::runtime_error(os_error_text(error_number, path)), errno_(error_number) {}

void write_file_atomically(const std::filesystem::path& target, std::string_view bytes, Durability durability) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    TempFile temp;
    // The pid keeps two processes (or a forked pair with one random state)
    // from racing for one name; O_EXCL settles any collision left. The name
    // never ends in the target's extension, so folder scans skip it.
    for (int attempt = 0; temp.fd < 0; ++attempt) {
        temp.path = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                              new_task_id() + ".tmp");
        temp.fd = ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temp.fd < 0 && (errno != EEXIST || attempt >= 16)) {
            const int err = errno;
            temp.path.clear();
            throw OsError(err, target);
        }
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(temp.fd, old.st_mode & 07777);
    if (!write_all(temp.fd, bytes)) throw OsError(errno, target);
    if (durability == Durability::flushed && ::fsync(temp.fd) != 0) throw OsError(errno, target);
    const int fd = temp.fd;
    temp.fd = -1;
    if (::close(fd) != 0) throw OsError(errno, target);
    if (::rename(temp.path.c_str(), target.c_str()) != 0) throw OsError(errno, target);
    temp.keep = true;
}

std::string read_whole_file(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw OsError(errno, path);
    TempFile guard{fd, {}, true};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw OsError(errno, path);
    if (S_ISDIR(st.st_mode)) throw OsError(EISDIR, path);
    std::string content;
    if (st.st_size > 0) content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw OsError(errno, path);
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return content;
}

void make_dirs(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return;
    // Something else standing at the path is "File exists", as Python's mkdir says.
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) throw OsError(EEXIST, path);
    std::filesystem::create_directories(path, ec);
    if (ec) throw OsError(ec.value(), path);
}

}  // namespace norvex
