// The "screenshot" action end to end on the X server of $DISPLAY, against Pillow doing the same in the same run.
//
// Usage: screenshot_bench [--repeat N] [--python INTERPRETER]
//   default: 15 runs a side; /usr/bin/python3 running bench/screenshot_pillow.py
//
// The whole action is timed in rounds that alternate the two sides (three
// runs of ours, then three of Pillow's in one Python process), so that the
// load of a shared machine, which drifts over a run, weighs on both alike;
// each side has one untimed warm-up first (screen detection, the X
// connection, shared memory; Python's imports), and each Python round one
// more. Both sides also report the CPU time of the action, which the load
// of other processes changes far less than the wall clock.
//
// Then the stages of our side are timed one by one, with the same kept
// buffers the action uses; their sum is printed beside the action's
// median, and the two must agree: they once did not, when the action freed
// and re-faulted its 20 MB on every call and the stages did not.
//
// NORVEX_DESKTOP_PIDS and NORVEX_X_SERVER_PID (set by bench/run_screenshot.sh)
// name the desktop's programs and the X server; their CPU time during the
// timed rounds is reported: the programs' should be nil (a quiet desktop),
// the server's is its share of both sides' captures.
#include "norvex/common/atomic_file.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/png_small.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <boost/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
namespace dh = norvex::pc::deskhand;

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double minimum(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

struct Usage {
    double cpu_ms;  // user + system, all threads
    long faults;    // minor page faults
};

Usage usage() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return {r.ru_utime.tv_sec * 1e3 + r.ru_utime.tv_usec / 1e3 + r.ru_stime.tv_sec * 1e3 + r.ru_stime.tv_usec / 1e3,
            r.ru_minflt};
}

// Wall time, CPU time and page faults of each run.
struct Runs {
    std::vector<double> wall, cpu, faults;

    void time(const std::function<void()>& run) {
        const Usage u0 = usage();
        const auto t0 = std::chrono::steady_clock::now();
        run();
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        const Usage u1 = usage();
        cpu.push_back(u1.cpu_ms - u0.cpu_ms);
        faults.push_back(static_cast<double>(u1.faults - u0.faults));
    }
};

Runs time_runs(int repeat, const std::function<void()>& run) {
    run();  // warm-up
    Runs r;
    for (int i = 0; i < repeat; ++i) r.time(run);
    return r;
}

std::string run_capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    if (pclose(pipe) != 0) out.clear();
    return out;
}

// CPU time (ms) the listed processes have used so far; gone ones count 0.
double cpu_of(const std::vector<int>& pids) {
    long long ticks = 0;
    for (int pid : pids) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(in, line)) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoll(field);
            if (i == 15) stime = std::stoll(field);
        }
        ticks += utime + stime;
    }
    return 1e3 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::vector<int> pids_from(const char* variable) {
    std::vector<int> pids;
    if (const char* list = std::getenv(variable)) {
        std::istringstream in(list);
        int pid = 0;
        while (in >> pid) pids.push_back(pid);
    }
    return pids;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 15;
    std::string python = "/usr/bin/python3";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--python" && i + 1 < argc) python = argv[++i];
        else {
            std::cerr << "usage: screenshot_bench [--repeat N] [--python INTERPRETER]\n";
            return 2;
        }
    }
    if (!std::getenv("DISPLAY")) {
        std::cerr << "screenshot_bench: DISPLAY is not set; bench/run_screenshot.sh starts a busy Xvfb for it\n";
        return 2;
    }
    const fs::path data = fs::temp_directory_path() / ("norvex_screenshot_bench_" + std::to_string(::getpid()));
    const fs::path script = fs::path(NORVEX_BENCH_SOURCE_DIR) / "screenshot_pillow.py";
    auto pillow = [&](int runs) -> std::optional<boost::json::object> {
        const std::string out = run_capture("'" + python + "' '" + script.string() + "' --repeat " +
                                            std::to_string(runs) + " --data-dir '" + (data / "pillow").string() + "'");
        if (out.empty()) return std::nullopt;
        return boost::json::parse(out).as_object();
    };

    // The whole action, as the model client calls it, alternating with Pillow.
    dh::DeskhandExecutor executor(dh::DeskhandOptions{.data_dir = data / "ours"});
    auto action = [&] {
        const auto result = executor.execute_action("screenshot");
        if (result.at("type").as_string() != "image") {
            std::cerr << "screenshot failed: " << boost::json::serialize(result) << '\n';
            std::exit(1);
        }
    };
    action();  // warm-up
    std::map<std::string, std::vector<double>> theirs;
    boost::json::object py_info;
    Runs ours;
    const std::vector<int> desktop = pids_from("NORVEX_DESKTOP_PIDS"), server = pids_from("NORVEX_X_SERVER_PID");
    const double desktop_before = cpu_of(desktop), server_before = cpu_of(server);
    const auto rounds_start = std::chrono::steady_clock::now();
    constexpr int PER_ROUND = 3;
    for (int done = 0; done < repeat; done += PER_ROUND) {
        const int runs = std::min(PER_ROUND, repeat - done);
        for (int i = 0; i < runs; ++i) ours.time(action);
        const auto round = pillow(runs);
        if (!round) {
            fs::remove_all(data);
            std::cerr << "screenshot_bench: the Pillow side failed (is python3-pil installed?)\n";
            return 1;
        }
        for (const auto& [key, value] : *round)
            if (value.is_array())
                for (const auto& v : value.as_array()) theirs[key].push_back(v.to_number<double>());
        py_info = *round;
    }
    const double rounds_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - rounds_start).count();
    const double desktop_ms = cpu_of(desktop) - desktop_before, server_ms = cpu_of(server) - server_before;
    const auto info = executor.get_display_info();
    const int api_w = static_cast<int>(info.at("api_width").as_int64());
    const int api_h = static_cast<int>(info.at("api_height").as_int64());
    const auto png_bytes = fs::file_size(data / "ours" / "screenshots" / "latest.png");

    // Our stages, one by one, with the buffers kept as the action keeps them.
    norvex::pc::X11Desktop x11;
    norvex::pc::RgbImage full, small;
    dh::BicubicResizer resizer;
    dh::SmallPngEncoder encoder;
    std::string png;
    boost::json::string b64;
    const Runs capture = time_runs(repeat, [&] { x11.screenshot_into(full); });
    const Runs resize = time_runs(repeat, [&] { resizer.resize(full, api_w, api_h, small); });
    const Runs encode = time_runs(repeat, [&] { encoder.encode(small, png); });
    const Runs base64 = time_runs(repeat, [&] { b64 = dh::base64_encode_json(png); });
    const Runs save = time_runs(repeat, [&] {
        norvex::write_file_atomically(data / "stage.png", png, norvex::Durability::replaced_only);
    });
    fs::remove_all(data);

    const auto py_bytes = py_info.at("png_bytes").to_number<std::int64_t>();
    std::printf("screen %lldx%lld -> %dx%d, %d timed runs a side (medians; minima in brackets), Pillow %s\n",
                static_cast<long long>(info.at("screen_width").as_int64()),
                static_cast<long long>(info.at("screen_height").as_int64()), api_w, api_h, repeat,
                std::string(py_info.at("pillow").as_string()).c_str());
    std::printf("%-22s %16s %16s   %s\n", "", "norvex ms", "Pillow ms", "norvex CPU ms, page faults");
    auto row = [&](const char* name, const Runs& r, const char* key) {
        std::printf("%-22s %7.1f (%6.1f) %7.1f (%6.1f)   %6.1f, %5.0f\n", name, median(r.wall), minimum(r.wall),
                    median(theirs[key]), minimum(theirs[key]), median(r.cpu), median(r.faults));
    };
    row("whole action", ours, "total");
    std::printf("%-22s %7.1f          %7.1f\n", "  its CPU time", median(ours.cpu), median(theirs["total_cpu"]));
    std::printf("-- stages, timed apart\n");
    row("capture", capture, "capture");
    row("resize to API size", resize, "resize");
    row("PNG for the model", encode, "encode");
    row("Base64", base64, "base64");
    row("latest.png", save, "save_latest");
    const double stage_sum = median(capture.wall) + median(resize.wall) + median(encode.wall) + median(base64.wall) +
                             median(save.wall);
    std::printf("sum of the stages %.1f ms against the whole action's %.1f ms\n", stage_sum, median(ours.wall));
    std::printf("speed-up of the whole action: %.1fx (medians), %.1fx (minima), %.1fx in CPU time\n",
                median(theirs["total"]) / median(ours.wall), minimum(theirs["total"]) / minimum(ours.wall),
                median(theirs["total_cpu"]) / median(ours.cpu));
    if (!desktop.empty())
        std::printf("CPU used in the %.1f s of timed rounds: %.0f ms by the desktop's programs, %.0f ms by the X server\n",
                    rounds_seconds, desktop_ms, server_ms);
    std::printf("PNG bytes: norvex %llu, Pillow optimize=True %lld (%+.1f%%)\n",
                static_cast<unsigned long long>(png_bytes), static_cast<long long>(py_bytes),
                100.0 * (static_cast<double>(png_bytes) - static_cast<double>(py_bytes)) / static_cast<double>(py_bytes));
    return 0;
}
