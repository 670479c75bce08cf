// ProgramClipboard: the clipboard through xclip, xsel or wl-copy.
#include "norvex/pc/desktop/program_clipboard.hpp"

namespace norvex::pc {

ProgramClipboard::ProgramClipboard(std::vector<std::string> command, std::optional<std::string> display)
    : command_(std::move(command)), display_(std::move(display)) {}
void ProgramClipboard::set_text(const std::string&) { throw DesktopError("not built yet"); }
std::vector<std::string> find_clipboard_command() { return {}; }
std::unique_ptr<ProgramClipboard> make_program_clipboard(std::optional<std::string>) {
    throw DesktopError("no clipboard program found: install xclip, xsel or wl-clipboard");
}

}  // namespace norvex::pc
