// The X11 and Wayland desktops side by side on the same 1920x1080 content: captures and the executor's screenshot, click and key actions.
//
// X11: a private Xvfb with one window covering the screen. Wayland: a private
// headless sway (pixman renderer) with the tests' probe client fullscreen.
// Both show the same picture (each pixel's colour encodes its position), so
// the captures copy and convert the same bytes. Each action returns once the
// display server has handled it (XSync; a Wayland round trip), as the
// executor's callers see it. Needs Xvfb, sway and, as root, the user
// norvex-test (scripts/install-deps.sh test).
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/desktop/wayland_desktop.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <benchmark/benchmark.h>
#include <boost/json.hpp>

#include "../tests/pc/desktop/wayland_clients.hpp"
#include "../tests/support/sway.hpp"
#include "../tests/support/xvfb.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

namespace {

namespace dh = norvex::pc::deskhand;
namespace fs = std::filesystem;

constexpr int WIDTH = 1920;
constexpr int HEIGHT = 1080;

std::uint32_t pattern(int x, int y) {
    return static_cast<std::uint32_t>(x % 256) << 16 | static_cast<std::uint32_t>(y % 256) << 8 |
           static_cast<std::uint32_t>((x / 256) * 16 + y / 256);
}

// A backend ready to act: its server, a client window showing the pattern, and a factory of desktops for it.
struct Stage {
    std::function<std::unique_ptr<norvex::pc::Desktop>()> open;
    fs::path data;
    std::unique_ptr<dh::DeskhandExecutor> executor;
    std::unique_ptr<norvex::pc::Desktop> desktop;

    void finish() {
        data = fs::temp_directory_path() / ("norvex-backends-bench-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        dh::DeskhandOptions options;
        options.data_dir = data;
        options.open_desktop = open;
        options.screen_size = [] { return std::optional<std::pair<std::int64_t, std::int64_t>>({WIDTH, HEIGHT}); };
        executor = std::make_unique<dh::DeskhandExecutor>(options);
        desktop = open();
    }
    virtual ~Stage() {
        executor.reset();
        desktop.reset();
        std::error_code ec;
        fs::remove_all(data, ec);
    }
};

struct X11Stage : Stage {
    norvex::testing::Xvfb server{WIDTH, HEIGHT};
    Display* client = nullptr;

    X11Stage() {
        client = XOpenDisplay(server.display().c_str());
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = StructureNotifyMask;
        const Window window = XCreateWindow(client, DefaultRootWindow(client), 0, 0, WIDTH, HEIGHT, 0, CopyFromParent,
                                            InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(client, window);
        XEvent event;
        do XWindowEvent(client, window, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        XSetInputFocus(client, window, RevertToPointerRoot, CurrentTime);
        auto* pixels = static_cast<std::uint32_t*>(std::malloc(static_cast<std::size_t>(WIDTH) * HEIGHT * 4));
        for (int y = 0; y < HEIGHT; ++y)
            for (int x = 0; x < WIDTH; ++x) pixels[static_cast<std::size_t>(y) * WIDTH + x] = pattern(x, y);
        XImage* image = XCreateImage(client, DefaultVisual(client, DefaultScreen(client)), 24, ZPixmap, 0,
                                     reinterpret_cast<char*>(pixels), WIDTH, HEIGHT, 32, 0);
        XPutImage(client, window, DefaultGC(client, DefaultScreen(client)), image, 0, 0, 0, 0, WIDTH, HEIGHT);
        XSync(client, False);
        XDestroyImage(image);  // frees the pixels too
        const std::string name = server.display();
        open = [name] { return std::make_unique<norvex::pc::X11Desktop>(name); };
        finish();
    }
    ~X11Stage() override {
        executor.reset();
        desktop.reset();
        XCloseDisplay(client);
    }
};

struct WaylandStage : Stage {
    norvex::testing::Sway server{WIDTH, HEIGHT, 1};
    std::unique_ptr<norvex::pc::WaylandDesktop> keeper;  // gives the seat its keyboard before the probe starts
    std::unique_ptr<norvex::testing::Probe> probe;

    WaylandStage() {
        keeper = std::make_unique<norvex::pc::WaylandDesktop>(server.socket());
        probe = std::make_unique<norvex::testing::Probe>(server, 1);
        const std::string socket = server.socket();
        open = [socket] { return std::make_unique<norvex::pc::WaylandDesktop>(socket); };
        finish();
    }
    ~WaylandStage() override {
        executor.reset();
        desktop.reset();
        probe.reset();
        keeper.reset();
    }
};

Stage& stage(const std::string& backend) {
    if (backend == "x11") {
        static X11Stage x11;
        return x11;
    }
    static WaylandStage wayland;
    return wayland;
}

void check(const boost::json::object& result, const char* what) {
    if (result.contains("error") || (result.contains("type") && result.at("type") == "error")) {
        std::cerr << what << " failed: " << boost::json::serialize(result) << '\n';
        std::exit(1);
    }
}

void register_backend(const std::string& backend) {
    benchmark::RegisterBenchmark(("BM_Capture/" + backend).c_str(), [backend](benchmark::State& state) {
        Stage& s = stage(backend);
        norvex::pc::RgbImage image;
        s.desktop->screenshot_into(image);
        for (auto _ : state) s.desktop->screenshot_into(image);
        state.counters["first_pixel_ok"] = image.pixels.size() >= 3 && image.pixels[0] == 0 && image.pixels[1] == 0 ? 1 : 0;
    })->Unit(benchmark::kMillisecond)->Iterations(40);
    benchmark::RegisterBenchmark(("BM_ScreenshotAction/" + backend).c_str(), [backend](benchmark::State& state) {
        Stage& s = stage(backend);
        check(s.executor->execute_action("screenshot"), "screenshot");
        for (auto _ : state) check(s.executor->execute_action("screenshot"), "screenshot");
    })->Unit(benchmark::kMillisecond)->Iterations(20);
    benchmark::RegisterBenchmark(("BM_ClickAction/" + backend).c_str(), [backend](benchmark::State& state) {
        Stage& s = stage(backend);
        int i = 0;
        for (auto _ : state) {
            boost::json::object params{{"coordinate", boost::json::array{100 + (i++ % 500), 200}}};
            check(s.executor->execute_action("left_click", params), "left_click");
        }
    })->Unit(benchmark::kMicrosecond)->Iterations(500);
    benchmark::RegisterBenchmark(("BM_KeyAction/" + backend).c_str(), [backend](benchmark::State& state) {
        Stage& s = stage(backend);
        for (auto _ : state) check(s.executor->execute_action("key", {{"text", "a"}}), "key");
    })->Unit(benchmark::kMicrosecond)->Iterations(500);
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::string why = norvex::testing::Sway::unavailable(); !why.empty()) {
        std::cerr << "desktop_backends_bench: " << why << '\n';
        return 1;
    }
    register_backend("x11");
    register_backend("wayland");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
