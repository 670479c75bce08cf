// ProgramClipboard: the clipboard through xclip, xsel or wl-copy.
#include "norvex/pc/desktop/program_clipboard.hpp"

#include "norvex/pc/desktop/spawn.hpp"

#include <cstdlib>

namespace norvex::pc {

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

ProgramClipboard::ProgramClipboard(std::vector<std::string> command, std::optional<std::string> display)
    : command_(std::move(command)), display_(std::move(display)) {
    if (command_.empty()) throw DesktopError("no clipboard program given: install xclip, xsel or wl-clipboard");
}

void ProgramClipboard::set_text(const std::string& text) {
    std::vector<std::string> env;
    if (display_) env.push_back("DISPLAY=" + *display_);
    const ProgramRun run = run_with_input(command_, text, env);
    if (run.exit_code != 0) {
        std::string message = command_[0] + " could not set the clipboard (exit " + std::to_string(run.exit_code) + ")";
        if (const std::string why = trimmed(run.error_text); !why.empty()) message += ": " + why;
        throw DesktopError(message + "; check that DISPLAY names a running X server");
    }
}

std::vector<std::string> find_clipboard_command() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool on_wayland = wayland != nullptr && *wayland != '\0';
    if (on_wayland) {
        if (auto p = find_program("wl-copy")) return {*p};
    }
    if (auto p = find_program("xclip")) return {*p, "-selection", "clipboard"};
    if (auto p = find_program("xsel")) return {*p, "--clipboard", "--input"};
    if (auto p = find_program("wl-copy")) return {*p};
    return {};
}

std::unique_ptr<ProgramClipboard> make_program_clipboard(std::optional<std::string> display) {
    auto command = find_clipboard_command();
    if (command.empty()) throw DesktopError("no clipboard program found: install xclip, xsel or wl-clipboard");
    return std::make_unique<ProgramClipboard>(std::move(command), std::move(display));
}

}  // namespace norvex::pc
