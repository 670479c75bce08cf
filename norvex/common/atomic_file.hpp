// Whole-file reads and writes with Python's OSError wording, writes atomic (temporary file + rename).
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace norvex {

// A failed file-system call, worded as Python words its OSError:
// "[Errno 21] Is a directory: '/home/me/.norvex/skills/x.json'". A path that
// is not UTF-8 is shown as Python shows it, with surrogate escapes.
class OsError : public std::runtime_error {
public:
    OsError(int error_number, const std::filesystem::path& path);
    int error_number() const noexcept { return errno_; }

private:
    int errno_;
};

// A file that was not read because of what it is or where it lies. what()
// names the file and the reason; the reader adds what its user can do.
class FileRefused : public std::runtime_error {
public:
    enum class Reason {
        not_regular,  // a FIFO, a device or a socket
        outside,      // a link that leads out of the folder its reader keeps to
    };
    FileRefused(Reason reason, const std::string& message) : std::runtime_error(message), reason_(reason) {}
    Reason reason() const noexcept { return reason_; }

private:
    Reason reason_;
};

// What open_regular_file found.
struct OpenedFile {
    enum class Outcome {
        opened,       // fd is open for reading
        failed,       // the system refused: error holds errno (ENOENT for a missing file)
        not_regular,  // something else stands there: st.st_mode tells what
        outside,      // a regular file whose real place is outside `within`
    };
    Outcome outcome = Outcome::failed;
    int fd = -1;  // read-only and close-on-exec when opened; the caller closes it
    int error = 0;
    struct stat st {};  // of what stands at the path, unless failed
};

// Opens `path` (links followed) for reading only when it is a regular file,
// and, when `within` is given, only when its real place is inside that folder.
// The path is first opened without access to its content, what that reached
// is examined with fstat, and only a regular file is then opened for reading,
// through that same descriptor: a FIFO cannot block the caller, a device is
// never opened (opening one has effects of its own: a serial line raises DTR,
// a tape rewinds), and nothing swapped in after the check is read.
OpenedFile open_regular_file(const std::filesystem::path& path, const std::filesystem::path* within = nullptr);

// "a folder", "a named pipe (FIFO)", "a character device", "a block device"
// or "a socket", for a message about a file of that type.
std::string_view file_type_name(mode_t mode);

// Replaces `target` whole with `bytes`: the bytes go to a new file in the
// same folder, are flushed to disk, and the file is renamed over the target.
// Readers, and another process writing the same file, see either the old or
// the new content, never a mix; a crash leaves the old file. The new file
// gets the old one's permissions, or 0666 less the umask when it is new.
// The temporary file is locked while it is written, so that
// sweep_stale_temporaries can tell a live writer's from one whose process
// died. The temporary's name fits the folder's file-name limit whatever the
// target's length. Throws OsError naming `target` (the folder must exist);
// a target whose own name passes the limit fails with ENAMETOOLONG.
// `Durability::replaced_only` skips the flush to disk: still never a half
// file for readers, but a power cut may leave the old content. Fit for files
// that are rewritten constantly and cheap to lose, such as the latest screenshot.
enum class Durability { flushed, replaced_only };
void write_file_atomically(const std::filesystem::path& target, std::string_view bytes,
                           Durability durability = Durability::flushed);

// Removes from `folder` the temporary files write_file_atomically left
// behind when its process died mid-write (a kill -9, a power cut), for the
// targets whose file name `owned` accepts. A target name too long to fit
// its temporary's name reaches `owned` abbreviated: its start, "~", a hash
// of the whole and its extension ("long_na~3f2a...e1.json"), so tests on
// the extension hold for it too. A temporary whose writer is still
// at work holds its lock and stays, whichever process that is; so does every
// other file. Gives the files removed. Never throws: a folder that cannot be
// read has nothing swept.
std::vector<std::filesystem::path> sweep_stale_temporaries(const std::filesystem::path& folder,
                                                           const std::function<bool(std::string_view)>& owned);

// An exclusive advisory lock (flock) on the file at `path`, which is created
// empty when missing and never removed (removing it would let a process lock
// a new file while another still holds the old one), held while the object
// lives. Processes that take it around each read-modify-write of a shared
// file make those steps one at a time, so none rewrites the file from a copy
// another has since changed. Throws OsError naming `path` when the file
// cannot be opened or locked.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// The whole content of a regular file. Throws OsError naming `path` (a
// folder fails with EISDIR, as Python's open() does) and FileRefused for
// anything else that is not a regular file. With `within`, a file whose real
// place (links followed) is outside that folder is refused too.
std::string read_whole_file(const std::filesystem::path& path, const std::filesystem::path* within = nullptr);

// mkdir -p: creates the folder and its missing parents; an existing folder is
// fine. Throws OsError naming `path` when something else stands in the way.
void make_dirs(const std::filesystem::path& path);

}  // namespace norvex
