// Whole-file reads, atomic writes, the sweep of their leftovers and folder creation over POSIX calls.
#include "norvex/common/atomic_file.hpp"

#include "norvex/common/ids.hpp"
#include "norvex/common/pystr.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvex {

namespace {

// A path as Python's text shows it: a name that is not UTF-8 keeps its bytes as surrogate escapes.
std::string shown(const std::filesystem::path& path) { return pystr::fsdecode(path.native()); }

std::string os_error_text(int error_number, const std::filesystem::path& path) {
    return "[Errno " + std::to_string(error_number) + "] " + std::strerror(error_number) + ": '" + shown(path) + "'";
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Closes the descriptors and removes the temporary file unless released.
struct TempFile {
    int fd = -1;
    int lock_fd = -1;  // the same open file as fd, so the lock outlives fd's close
    std::filesystem::path path;
    bool keep = false;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!keep && !path.empty()) ::unlink(path.c_str());
        if (lock_fd >= 0) ::close(lock_fd);
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

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// What a temporary's name holds beyond the part standing for its target:
// the leading dot, the pid with its dot (10 digits hold any pid), the
// 12-digit id with its dot, and ".tmp".
constexpr std::size_t TEMPORARY_EXTRA = 1 + 11 + 13 + 4;
// An extension longer than this is no extension to keep.
constexpr std::size_t LONGEST_EXTENSION = 32;

// The longest file name `folder` takes, in bytes.
std::size_t name_limit(const std::filesystem::path& folder) {
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

std::string fnv1a_hex(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) out[static_cast<std::size_t>(i)] = digits[hash & 0xF];
    return out;
}

// The part of a temporary's name that stands for its target: the target's
// name when the whole temporary name fits the folder's limit; otherwise an
// abbreviation of it that does: its start (cut between UTF-8 letters), "~",
// a hash of the whole name, and its extension, which is what the sweeps'
// `owned` tests look at. A target whose own name passes the limit still
// fails, at its rename, with "File name too long" naming it.
std::string temporary_stem(const std::string& target_name, std::size_t limit) {
    if (target_name.size() + TEMPORARY_EXTRA <= limit) return target_name;
    std::string_view start = target_name;
    std::string_view extension;
    if (const std::size_t dot = start.rfind('.');
        dot != std::string_view::npos && dot > 0 && start.size() - dot <= LONGEST_EXTENSION) {
        extension = start.substr(dot);
        start = start.substr(0, dot);
    }
    const std::string hash = fnv1a_hex(target_name);
    const std::size_t fixed = TEMPORARY_EXTRA + 1 + hash.size() + extension.size();
    std::size_t room = limit > fixed ? limit - fixed : 0;
    if (room < start.size()) {
        while (room > 0 && (static_cast<unsigned char>(start[room]) & 0xC0) == 0x80) --room;
        start = start.substr(0, room);
    }
    return std::string(start) + "~" + hash + std::string(extension);
}

// The temporary of a target named `stem` (see temporary_stem): hidden, and
// never ending in the target's extension, so folder scans skip it. The pid
// keeps two processes (or a forked pair with one random state) from racing
// for one name; O_EXCL settles any collision left.
std::string temporary_name(const std::string& stem) {
    return "." + stem + "." + std::to_string(::getpid()) + "." + new_task_id() + ".tmp";
}

// The target's name of a temporary_name, or none for any other name.
std::optional<std::string_view> temporary_target(std::string_view name) {
    if (name.size() < 6 || name.front() != '.' || !name.ends_with(".tmp")) return std::nullopt;
    name = name.substr(1, name.size() - 5);
    const std::size_t id_dot = name.rfind('.');
    if (id_dot == std::string_view::npos) return std::nullopt;
    const std::string_view id = name.substr(id_dot + 1);
    if (id.size() != 12 || id.find_first_not_of("0123456789abcdef") != std::string_view::npos) return std::nullopt;
    name = name.substr(0, id_dot);
    const std::size_t pid_dot = name.rfind('.');
    if (pid_dot == std::string_view::npos || pid_dot == 0) return std::nullopt;
    const std::string_view pid = name.substr(pid_dot + 1);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    return name.substr(0, pid_dot);
}

int flock_retrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// Locks the new temporary for as long as it is written. False when a sweep
// removed it between its creation and the lock. Where the file system has no
// locks the temporary goes unlocked, and sweeps there cannot lock it either,
// so they leave it be.
bool lock_temporary(const TempFile& temp) {
    if (flock_retrying(temp.fd, LOCK_EX) != 0) return true;
    struct stat opened {}, named {};
    return ::fstat(temp.fd, &opened) == 0 && ::lstat(temp.path.c_str(), &named) == 0 && same_file(opened, named);
}

bool inside(const std::string& real, const std::string& folder) {
    if (folder == "/") return true;
    return real.size() > folder.size() && real.starts_with(folder) && real[folder.size()] == '/';
}

// True when the regular file behind `opened` lies inside `within` once every
// link is followed. The real path is found again from the name, so the
// inode there must be the one that was opened, or a swap got in between.
bool lies_within(const std::filesystem::path& path, const struct stat& opened, const std::filesystem::path& within) {
    char* real = ::realpath(path.c_str(), nullptr);
    char* folder = ::realpath(within.c_str(), nullptr);
    bool ok = false;
    if (real != nullptr && folder != nullptr && inside(real, folder)) {
        struct stat there {};
        ok = ::stat(real, &there) == 0 && same_file(there, opened);
    }
    std::free(real);
    std::free(folder);
    return ok;
}

}  // namespace

OsError::OsError(int error_number, const std::filesystem::path& path)
    : std::runtime_error(os_error_text(error_number, path)), errno_(error_number) {}

std::string_view file_type_name(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFDIR: return "a folder";
        case S_IFIFO: return "a named pipe (FIFO)";
        case S_IFCHR: return "a character device";
        case S_IFBLK: return "a block device";
        case S_IFSOCK: return "a socket";
        case S_IFLNK: return "a symbolic link";
        default: return "not a regular file";
    }
}

OpenedFile open_regular_file(const std::filesystem::path& path, const std::filesystem::path* within) {
    OpenedFile out;
    // O_PATH reaches the file without opening it: no device driver's open,
    // no wait for a FIFO's writer, no access to the content yet.
    Descriptor probe{::open(path.c_str(), O_PATH | O_CLOEXEC)};
    if (probe.fd < 0 || ::fstat(probe.fd, &out.st) != 0) {
        out.error = errno;
        return out;
    }
    if (!S_ISREG(out.st.st_mode)) {
        out.outcome = OpenedFile::Outcome::not_regular;
        return out;
    }
    if (within != nullptr && !lies_within(path, out.st, *within)) {
        out.outcome = OpenedFile::Outcome::outside;
        return out;
    }
    // Reopening the probe through /proc reads exactly the file examined.
    const std::string self = "/proc/self/fd/" + std::to_string(probe.fd);
    int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && errno == ENOENT) {
        // No /proc: open the name again, without waiting, and make sure it is still the file examined.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat again {};
        if (fd >= 0 && (::fstat(fd, &again) != 0 || !same_file(again, out.st))) {
            ::close(fd);
            fd = -1;
            errno = EAGAIN;  // replaced while being opened: trying again is the remedy
        }
    }
    if (fd < 0) {
        out.error = errno;
        return out;
    }
    out.fd = fd;
    out.outcome = OpenedFile::Outcome::opened;
    return out;
}

void write_file_atomically(const std::filesystem::path& target, std::string_view bytes, Durability durability) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string stem = temporary_stem(target.filename().string(), name_limit(folder));
    TempFile temp;
    for (int attempt = 0;; ++attempt) {
        temp.path = folder / temporary_name(stem);
        temp.fd = ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temp.fd < 0) {
            const int err = errno;
            temp.path.clear();
            if (err == EEXIST && attempt < 16) continue;
            throw OsError(err, target);
        }
        if (lock_temporary(temp)) break;
        // Swept before it was locked: start again under a new name.
        ::close(temp.fd);
        temp.fd = -1;
        temp.path.clear();
        if (attempt >= 16) throw OsError(EAGAIN, target);
    }
    temp.lock_fd = ::fcntl(temp.fd, F_DUPFD_CLOEXEC, 0);
    if (temp.lock_fd < 0) throw OsError(errno, target);
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

std::vector<std::filesystem::path> sweep_stale_temporaries(const std::filesystem::path& folder,
                                                           const std::function<bool(std::string_view)>& owned) {
    std::vector<std::filesystem::path> removed;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return removed;
    const int dir_fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<std::string_view> target = temporary_target(entry->d_name);
        if (!target || !owned(*target)) continue;
        struct stat named {};
        if (::fstatat(dir_fd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode)) continue;
        Descriptor file{::openat(dir_fd, entry->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
        struct stat opened {};
        if (file.fd < 0 || ::fstat(file.fd, &opened) != 0 || !same_file(opened, named)) continue;
        // A writer holds its lock until the rename; a free lock means its process is gone.
        if (flock_retrying(file.fd, LOCK_EX | LOCK_NB) != 0) continue;
        if (::unlinkat(dir_fd, entry->d_name, 0) == 0) removed.push_back(folder / entry->d_name);
    }
    ::closedir(dir);
    return removed;
}

FileLock::FileLock(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0) throw OsError(errno, path);
    if (flock_retrying(fd_, LOCK_EX) != 0) {
        const int err = errno;
        ::close(fd_);
        throw OsError(err, path);
    }
}

FileLock::~FileLock() { ::close(fd_); }

std::string read_whole_file(const std::filesystem::path& path, const std::filesystem::path* within) {
    const OpenedFile opened = open_regular_file(path, within);
    switch (opened.outcome) {
        case OpenedFile::Outcome::opened: break;
        case OpenedFile::Outcome::failed: throw OsError(opened.error, path);
        case OpenedFile::Outcome::not_regular:
            // Python's open() refuses a folder by name; callers rely on that wording.
            if (S_ISDIR(opened.st.st_mode)) throw OsError(EISDIR, path);
            throw FileRefused(FileRefused::Reason::not_regular,
                              "Not a regular file: '" + shown(path) + "' is " +
                                  std::string(file_type_name(opened.st.st_mode)) + ", and only regular files are read");
        case OpenedFile::Outcome::outside:
            throw FileRefused(FileRefused::Reason::outside,
                              "Not read: '" + shown(path) + "' is a link to a file outside '" + shown(*within) +
                                  "', and only files inside it are read");
    }
    Descriptor guard{opened.fd};
    std::string content;
    if (opened.st.st_size > 0) content.reserve(static_cast<std::size_t>(opened.st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(opened.fd, buffer, sizeof buffer);
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
    std::error_code made;
    std::filesystem::create_directories(path, made);
    // Judged after the attempt, not before: another process making the same
    // folder at the same moment leaves a folder there, which is what was asked.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return;
    // Something else standing at the path is "File exists", as Python's mkdir says.
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) throw OsError(EEXIST, path);
    throw OsError(made ? made.value() : ENOENT, path);
}

}  // namespace norvex
