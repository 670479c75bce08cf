// The clipboard through an installed command-line program (xclip, xsel, wl-copy).
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace norvex::pc {

// Sets the clipboard by piping the text into a program that then serves the
// selection from a background process of its own. set_text returns once the
// program has taken the text; the program's lasting server is not our child.
class ProgramClipboard final : public Clipboard {
public:
    // `command`: the program's full path and arguments, reading the text from
    // its standard input. `display`: a value for DISPLAY in its environment
    // (empty: inherit this process's).
    explicit ProgramClipboard(std::vector<std::string> command, std::optional<std::string> display = {});

    void set_text(const std::string& text) override;

    const std::vector<std::string>& command() const noexcept { return command_; }

private:
    std::vector<std::string> command_;
    std::optional<std::string> display_;
};

// The words of the first clipboard program found on PATH (wl-copy first under
// Wayland, else xclip, xsel, wl-copy), or empty when none is installed.
std::vector<std::string> find_clipboard_command();

// A clipboard over the first program found; throws DesktopError when none is installed.
std::unique_ptr<ProgramClipboard> make_program_clipboard(std::optional<std::string> display = {});

}  // namespace norvex::pc
