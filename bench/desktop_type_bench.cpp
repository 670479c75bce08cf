// The executor's "type" of 1,000 characters on a private Xvfb and a private headless sway: from the call until a client has them all.
//
// On X11 two clients read the keys: a plain Xlib window counting KeyRelease
// events (how fast the server takes and delivers them), and xterm running
// `cat` into a file in character mode (how fast a real terminal turns them
// into bytes for its program). On Wayland foot runs the same `cat`. The time
// of an iteration runs from the call until the client has the last
// character; "call_ms" is the part spent inside the call. Runs of
// characters the layout lacks add, on X11, the wait for lent keys
// (X11DesktopOptions::remap_settle_seconds) once per run of up to the
// number of spare keycodes; on Wayland, a new keymap per run.
#include "norvex/pc/deskhand/executor.hpp"

#include <benchmark/benchmark.h>
#include <boost/json/serialize.hpp>

#include "../tests/pc/desktop/wayland_clients.hpp"
#include "../tests/support/sway.hpp"
#include "../tests/support/xterm_cat.hpp"
#include "../tests/support/xvfb.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;
namespace dh = norvex::pc::deskhand;

// Lower-case words: no Shift, so one KeyRelease per character.
std::string plain_text(std::size_t n) {
    const std::string words = "the quick brown fox jumps over the lazy dog and types on ";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += words[i % words.size()];
    return text;
}

// Shifted letters, punctuation and digits: what a command line looks like.
std::string mixed_text(std::size_t n) {
    const std::string line = "grep -rn \"TODO(x)\" src/ | wc -l; echo $HOME && ls -la ~/Documents/*.PDF 42 ";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += line[i % line.size()];
    return text;
}

// A Russian sentence: letters the US layout lacks, typed through lent keys.
std::string cyrillic_text(std::size_t n) {
    const std::u32string line = U"\u0441\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u044d\u0442\u0438\u0445 "
                                U"\u043c\u044f\u0433\u043a\u0438\u0445 \u0444\u0440\u0430\u043d\u0446\u0443\u0437\u0441\u043a\u0438\u0445 "
                                U"\u0431\u0443\u043b\u043e\u043a ";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t c = line[i % line.size()];
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xc0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return text;
}

// An executor with its own defaults, whose desktop is open: each stage
// opens its own while the environment names its display server, so the
// other stage's variables do not matter after.
struct Executor {
    std::filesystem::path folder;
    std::unique_ptr<dh::DeskhandExecutor> executor;

    explicit Executor(const std::string& name) {
        folder = std::filesystem::temp_directory_path() / ("norvex_type_bench_" + name + "_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        executor = std::make_unique<dh::DeskhandExecutor>(dh::DeskhandOptions{.data_dir = folder});
        const boost::json::object moved = executor->execute_action("mouse_move", {{"coordinate", {100, 100}}});
        if (moved.at("type") != "text") throw std::runtime_error("cannot open the desktop: " + boost::json::serialize(moved));
    }
    ~Executor() {
        executor.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    double type(const std::string& text) {
        const auto start = clock_type::now();
        const boost::json::object result = executor->execute_action("type", {{"text", text}});
        if (result.at("type") != "text") throw std::runtime_error("type failed: " + boost::json::serialize(result));
        return std::chrono::duration<double>(clock_type::now() - start).count();
    }
};

struct Stage {
    std::unique_ptr<norvex::testing::Xvfb> server;
    std::unique_ptr<Executor> executor;

    Stage() {
        server = std::make_unique<norvex::testing::Xvfb>(1280, 800);
        // The executor's own defaults: the X11 desktop of $DISPLAY.
        ::setenv("DISPLAY", server->display().c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("NORVEX_DESKTOP");
        executor = std::make_unique<Executor>("x11");
    }
    double type(const std::string& text) { return executor->type(text); }
    const std::filesystem::path& folder() const { return executor->folder; }
};

Stage& stage() {
    static Stage s;
    return s;
}

struct WaylandStage {
    std::unique_ptr<norvex::testing::Sway> server;
    std::unique_ptr<Executor> executor;

    WaylandStage() {
        server = std::make_unique<norvex::testing::Sway>(1280, 800);
        // The executor's own defaults: the Wayland desktop of $WAYLAND_DISPLAY.
        ::setenv("WAYLAND_DISPLAY", server->socket().c_str(), 1);
        ::setenv("XDG_SESSION_TYPE", "wayland", 1);
        ::unsetenv("NORVEX_DESKTOP");
        // Opened before any client: its virtual keyboard is the seat's
        // keyboard, without which no client gets the focus.
        executor = std::make_unique<Executor>("wayland");
    }
    double type(const std::string& text) { return executor->type(text); }
    const std::filesystem::path& folder() const { return executor->folder; }
};

WaylandStage& wayland_stage() {
    static WaylandStage s;
    return s;
}

std::uintmax_t bytes_in(const std::filesystem::path& file) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(file, ec);
    return ec ? 0 : n;
}

bool wait_for_size(const std::filesystem::path& file, std::uintmax_t bytes, std::chrono::seconds limit) {
    const auto deadline = clock_type::now() + limit;
    while (bytes_in(file) < bytes) {
        if (clock_type::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A window over the whole screen with the focus, counting key releases.
class CountingWindow {
public:
    explicit CountingWindow(const std::string& display) : client_(XOpenDisplay(display.c_str())) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = KeyReleaseMask | StructureNotifyMask;
        window_ = XCreateWindow(client_, DefaultRootWindow(client_), 0, 0, 1280, 800, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(client_, window_);
        XEvent event;
        do XWindowEvent(client_, window_, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        XSetInputFocus(client_, window_, RevertToPointerRoot, CurrentTime);
        XSync(client_, True);
    }
    ~CountingWindow() {
        XDestroyWindow(client_, window_);
        XCloseDisplay(client_);
    }
    void wait_for_releases(std::size_t n) {
        XEvent event;
        for (std::size_t seen = 0; seen < n;) {
            XNextEvent(client_, &event);
            if (event.type == KeyRelease) ++seen;
        }
    }

private:
    Display* client_;
    Window window_ = 0;
};

void to_window(benchmark::State& state, const std::string& text, std::size_t releases) {
    Stage& s = stage();
    CountingWindow window(s.server->display());
    double call_seconds = 0;
    for (auto _ : state) {
        const auto start = clock_type::now();
        call_seconds += s.type(text);
        window.wait_for_releases(releases);
        state.SetIterationTime(std::chrono::duration<double>(clock_type::now() - start).count());
    }
    state.counters["call_ms"] = benchmark::Counter(call_seconds * 1e3 / static_cast<double>(state.iterations()));
}

void to_xterm(benchmark::State& state, const std::string& text) {
    Stage& s = stage();
    norvex::testing::XtermCat terminal(s.server->display(), s.folder() / "typed.txt");
    // No window manager: the keyboard follows the pointer onto the terminal.
    s.executor->executor->execute_action("mouse_move", {{"coordinate", {100, 100}}});
    const auto ready = clock_type::now() + std::chrono::seconds(30);
    while (terminal.size() == 0) {
        if (clock_type::now() > ready) throw std::runtime_error("xterm never took a key");
        s.type(".");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double call_seconds = 0;
    for (auto _ : state) {
        const std::uintmax_t before = terminal.size();
        const auto start = clock_type::now();
        call_seconds += s.type(text);
        if (!terminal.wait_for_size(before + text.size(), std::chrono::seconds(60)))
            throw std::runtime_error("xterm did not pass the text on within 60 s");
        state.SetIterationTime(std::chrono::duration<double>(clock_type::now() - start).count());
    }
    state.counters["call_ms"] = benchmark::Counter(call_seconds * 1e3 / static_cast<double>(state.iterations()));
}

// foot (a Wayland terminal) running the same cat: what reaches it is what
// sway passed on. Typing on Wayland is paced (a burst at once, then a
// steady rate) across calls: back to back, the iterations measure the rate;
// `rest` before each, untimed, lets the burst build up again, as between an
// agent's actions.
void to_foot(benchmark::State& state, const std::string& text, std::chrono::milliseconds rest = {}) {
    WaylandStage& s = wayland_stage();
    const std::filesystem::path file = s.folder() / "typed.txt";
    std::filesystem::remove(file);
    const std::string script = "stty -icanon -echo; exec cat > '" + file.string() + "'";
    norvex::testing::ClientProgram foot({"foot", "--", "sh", "-c", script}, *s.server);
    // sway gives a new window the focus as it maps; keys sent before that go nowhere.
    const auto ready = clock_type::now() + std::chrono::seconds(30);
    while (bytes_in(file) == 0) {
        if (clock_type::now() > ready) throw std::runtime_error("foot never took a key");
        s.type(".");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double call_seconds = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(rest);
        const std::uintmax_t before = bytes_in(file);
        const auto start = clock_type::now();
        call_seconds += s.type(text);
        if (!wait_for_size(file, before + text.size(), std::chrono::seconds(60)))
            throw std::runtime_error("foot did not pass the text on within 60 s");
        state.SetIterationTime(std::chrono::duration<double>(clock_type::now() - start).count());
    }
    state.counters["call_ms"] = benchmark::Counter(call_seconds * 1e3 / static_cast<double>(state.iterations()));
}

void BM_Type1000PlainToWindow(benchmark::State& state) { to_window(state, plain_text(1000), 1000); }
BENCHMARK(BM_Type1000PlainToWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Type1000PlainToXterm(benchmark::State& state) { to_xterm(state, plain_text(1000)); }
BENCHMARK(BM_Type1000PlainToXterm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Type1000CommandLineToXterm(benchmark::State& state) { to_xterm(state, mixed_text(1000)); }
BENCHMARK(BM_Type1000CommandLineToXterm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Type1000CyrillicToXterm(benchmark::State& state) { to_xterm(state, cyrillic_text(1000)); }
BENCHMARK(BM_Type1000CyrillicToXterm)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Type1000PlainToFoot(benchmark::State& state) { to_foot(state, plain_text(1000)); }
BENCHMARK(BM_Type1000PlainToFoot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Type1000PlainToFootAfterAPause(benchmark::State& state) {
    to_foot(state, plain_text(1000), std::chrono::milliseconds(1000));
}
BENCHMARK(BM_Type1000PlainToFootAfterAPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Type1000CommandLineToFoot(benchmark::State& state) { to_foot(state, mixed_text(1000)); }
BENCHMARK(BM_Type1000CommandLineToFoot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Type1000CyrillicToFoot(benchmark::State& state) { to_foot(state, cyrillic_text(1000)); }
BENCHMARK(BM_Type1000CyrillicToFoot)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
