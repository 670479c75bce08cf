// The benchmark's echo worker: answers its one command with a fixed line, then waits for the quit request.
//
// Plain read(2)/write(2) and nothing else, so a round trip through the
// manager measures the manager and the operating system, not the worker.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace {

constexpr std::string_view ANSWER = "{\"success\": true, \"result\": \"pong\"}\n";

// Reads stdin until `lines` line feeds have arrived in total; false at the end of input.
class LineCounter {
public:
    bool read_lines(int lines) {
        while (seen_ < lines) {
            ssize_t n = ::read(0, buf_, sizeof buf_);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            for (ssize_t i = 0; i < n; ++i)
                if (buf_[i] == '\n') ++seen_;
        }
        return true;
    }

private:
    char buf_[65536];
    int seen_ = 0;
};

// At namespace scope: a function-local static would bring in libstdc++'s
// initialisation guards, and with them the whole library at every launch.
LineCounter in;

bool write_all(std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(1, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

int main() {
    if (!in.read_lines(1)) return 0;
    if (!write_all(ANSWER)) return 1;
    // The next line is the quit request; the end of input means the same.
    in.read_lines(2);
    return 0;
}
