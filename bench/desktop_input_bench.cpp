// Latency of X11Desktop input on a private Xvfb: from the call to the event at a client window.
//
// Each iteration makes one call (a click, a key press, a jump of the
// pointer) and then waits on a separate Xlib connection until the window
// under the pointer has received the last event of it. The reported time
// is that whole span; "call_us" is the part spent inside the call, which
// returns once the server has handled the input (XSync).
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <benchmark/benchmark.h>

#include "../tests/support/xvfb.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <memory>

namespace {

using clock_type = std::chrono::steady_clock;

struct Stage {
    std::unique_ptr<norvex::testing::Xvfb> server;
    Display* client = nullptr;
    Window window = 0;
    std::unique_ptr<norvex::pc::X11Desktop> desktop;

    Stage() {
        server = std::make_unique<norvex::testing::Xvfb>(1280, 800);
        client = XOpenDisplay(server->display().c_str());
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.event_mask = ButtonPressMask | ButtonReleaseMask | KeyPressMask | KeyReleaseMask | PointerMotionMask |
                                StructureNotifyMask;
        window = XCreateWindow(client, DefaultRootWindow(client), 0, 0, 1280, 800, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        XMapRaised(client, window);
        XEvent event;
        do XWindowEvent(client, window, StructureNotifyMask, &event);
        while (event.type != MapNotify);
        XSetInputFocus(client, window, RevertToPointerRoot, CurrentTime);
        XSync(client, False);
        desktop = std::make_unique<norvex::pc::X11Desktop>(server->display());
    }
    ~Stage() {
        desktop.reset();
        XCloseDisplay(client);
    }

    void wait_for(int type) {
        XEvent event;
        do XNextEvent(client, &event);
        while (event.type != type);
    }
};

Stage& stage() {
    static Stage s;
    return s;
}

template <typename Call>
void measure(benchmark::State& state, int last_event, Call call) {
    Stage& s = stage();
    XSync(s.client, True);  // drop what earlier cases left
    double call_seconds = 0;
    for (auto _ : state) {
        const auto start = clock_type::now();
        call(s);
        const auto returned = clock_type::now();
        s.wait_for(last_event);
        const auto seen = clock_type::now();
        state.SetIterationTime(std::chrono::duration<double>(seen - start).count());
        call_seconds += std::chrono::duration<double>(returned - start).count();
    }
    state.counters["call_us"] =
        benchmark::Counter(call_seconds * 1e6 / static_cast<double>(state.iterations()));
}

void BM_Click(benchmark::State& state) {
    int i = 0;
    measure(state, ButtonRelease, [&](Stage& s) { s.desktop->click(100 + (i++ % 500), 200); });
}
BENCHMARK(BM_Click)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_KeyPress(benchmark::State& state) {
    measure(state, KeyRelease, [](Stage& s) { s.desktop->press("a"); });
}
BENCHMARK(BM_KeyPress)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_HotkeyCtrlShiftT(benchmark::State& state) {
    // Three keys down, three up; waits for the last release.
    measure(state, KeyRelease, [](Stage& s) {
        s.desktop->hotkey({"ctrl", "shift", "t"});
    });
}
BENCHMARK(BM_HotkeyCtrlShiftT)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(500);

void BM_PointerJump(benchmark::State& state) {
    int i = 0;
    measure(state, MotionNotify, [&](Stage& s) { s.desktop->move_to(300 + (i++ % 2) * 400, 400, 0); });
}
BENCHMARK(BM_PointerJump)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
