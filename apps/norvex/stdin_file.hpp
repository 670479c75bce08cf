// "-" for standard input: its whole text, or a temporary file holding it for code that takes a path.
#pragma once

#include <string>
#include <string_view>

namespace norvex::cli {

// The name messages give standard input, where a file name would stand.
inline constexpr std::string_view STDIN_NAME = "<stdin>";

// Everything on standard input, as bytes. Throws std::runtime_error naming
// the cause when it cannot be read.
std::string read_stdin();

// Standard input copied to a new file "norvex-stdin-XXXXXX.py" in $TMPDIR
// (else /tmp), removed again with the object.
class StdinFile {
public:
    // Throws std::runtime_error naming the folder and the cause when the
    // copy cannot be made.
    StdinFile();
    ~StdinFile();
    StdinFile(const StdinFile&) = delete;
    StdinFile& operator=(const StdinFile&) = delete;

    const std::string& path() const noexcept { return path_; }

    // `text` with the temporary file's name, as given and as resolved,
    // replaced by "<stdin>": the user never typed that name.
    std::string hide_path(std::string text) const;

private:
    std::string path_;
    std::string resolved_;
};

}  // namespace norvex::cli
