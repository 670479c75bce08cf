// Whole-file reads and writes with Python's OSError wording, writes atomic (temporary file + rename).
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace norvex {

// A failed file-system call, worded as Python words its OSError:
// "[Errno 21] Is a directory: '/home/me/.norvex/skills/x.json'".
class OsError : public std::runtime_error {
public:
    OsError(int error_number, const std::filesystem::path& path);
    int error_number() const noexcept { return errno_; }

private:
    int errno_;
};

// Replaces `target` whole with `bytes`: the bytes go to a new file in the
// same folder, are flushed to disk, and the file is renamed over the target.
// Readers, and another process writing the same file, see either the old or
// the new content, never a mix; a crash leaves the old file. The new file
// gets the old one's permissions, or 0666 less the umask when it is new.
// Throws OsError naming `target` (the folder must exist).
// `Durability::replaced_only` skips the flush to disk: still never a half
// file for readers, but a power cut may leave the old content. Fit for files
// that are rewritten constantly and cheap to lose, such as the latest screenshot.
enum class Durability { flushed, replaced_only };
void write_file_atomically(const std::filesystem::path& target, std::string_view bytes,
                           Durability durability = Durability::flushed);

// The whole content of a regular file. Throws OsError naming `path`
// (a folder fails with EISDIR, as Python's open() does).
std::string read_whole_file(const std::filesystem::path& path);

// mkdir -p: creates the folder and its missing parents; an existing folder is
// fine. Throws OsError naming `path` when something else stands in the way.
void make_dirs(const std::filesystem::path& path);

}  // namespace norvex
