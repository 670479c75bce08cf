// The progress line of `norvex scan`, drawn with a carriage return and "erase to end of line".
#include "progress_line.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <unistd.h>

namespace norvex::cli {

bool progress_wanted(bool quiet) {
    if (quiet || ::isatty(STDERR_FILENO) != 1) return false;
    const char* term = std::getenv("TERM");
    return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

ProgressLine::ProgressLine(bool enabled, std::size_t total) : enabled_(enabled), total_(total) { draw(); }

void ProgressLine::finished(bool ok) {
    ++done_;
    if (!ok) ++failed_;
    // Redrawing for every file would cost more than the analysis of a small one.
    const auto now = std::chrono::steady_clock::now();
    if (done_ == total_ || now - last_ >= std::chrono::milliseconds(80)) draw();
}

void ProgressLine::clear() {
    if (!enabled_) return;
    enabled_ = false;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::draw() {
    if (!enabled_) return;
    last_ = std::chrono::steady_clock::now();
    std::fprintf(stderr, "\r\x1b[Kscanning: %zu/%zu files, %zu failed", done_, total_, failed_);
    std::fflush(stderr);
}

}  // namespace norvex::cli
