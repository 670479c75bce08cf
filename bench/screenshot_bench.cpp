// The "screenshot" action end to end on the X server of $DISPLAY, against Pillow doing the same in the same run.
//
// Usage: screenshot_bench [--repeat N] [--python INTERPRETER]
//   default: 20 runs; /usr/bin/python3 running bench/screenshot_pillow.py
//
// Both sides take one untimed warm-up run (screen detection, the X
// connection, shared memory), then N timed runs; medians and minima are
// reported. The stages of our side are timed separately on the same screen
// with the same functions the action calls. On a shared machine the load
// drifts, so the whole action is also timed in rounds that alternate the
// two sides (three runs of ours, then three of Pillow's), which the
// "interleaved" line reports.
#include "norvex/common/atomic_file.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <boost/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace fs = std::filesystem;
namespace dh = norvex::pc::deskhand;

namespace {

struct Stats {
    double median = 0, min = 0, cpu = 0;
    long faults = 0;
};

struct Usage {
    double cpu_ms;
    long faults;
};
Usage usage() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return {r.ru_utime.tv_sec * 1e3 + r.ru_utime.tv_usec / 1e3 + r.ru_stime.tv_sec * 1e3 + r.ru_stime.tv_usec / 1e3,
            r.ru_minflt};
}

Stats time_runs(int repeat, const std::function<void()>& run) {
    run();  // warm-up
    std::vector<double> ms, cpu, faults;
    for (int i = 0; i < repeat; ++i) {
        const Usage u0 = usage();
        const auto t0 = std::chrono::steady_clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        const Usage u1 = usage();
        cpu.push_back(u1.cpu_ms - u0.cpu_ms);
        faults.push_back(static_cast<double>(u1.faults - u0.faults));
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    std::sort(faults.begin(), faults.end());
    return {ms[ms.size() / 2], ms.front(), cpu[cpu.size() / 2], static_cast<long>(faults[faults.size() / 2])};
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

}  // namespace

int main(int argc, char** argv) {
    int repeat = 20;
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

    // Ours: the whole action, as the model client calls it.
    dh::DeskhandExecutor executor(dh::DeskhandOptions{.data_dir = data / "ours"});
    std::size_t png_bytes = 0;
    const Stats action = time_runs(repeat, [&] {
        const auto result = executor.execute_action("screenshot");
        if (result.at("type").as_string() != "image") {
            std::cerr << "screenshot failed: " << boost::json::serialize(result) << '\n';
            std::exit(1);
        }
        png_bytes = result.at("base64").as_string().size() / 4 * 3;
    });
    const auto info = executor.get_display_info();
    const int api_w = static_cast<int>(info.at("api_width").as_int64());
    const int api_h = static_cast<int>(info.at("api_height").as_int64());
    png_bytes = fs::file_size(data / "ours" / "screenshots" / "latest.png");

    // Our stages, one by one.
    norvex::pc::X11Desktop desktop;
    norvex::pc::RgbImage full, small;
    std::string png, b64;
    const Stats capture = time_runs(repeat, [&] { full = desktop.screenshot(); });
    const Stats resize = time_runs(repeat, [&] {
        small = (api_w < full.width) ? dh::resize_bicubic(full, api_w, api_h) : full;
    });
    const Stats encode = time_runs(repeat, [&] { png = dh::encode_png(small, dh::PngEffort::small); });
    const Stats base64 = time_runs(repeat, [&] { b64 = dh::base64_encode(png); });
    const Stats save = time_runs(repeat, [&] { norvex::write_file_atomically(data / "stage.png", png, norvex::Durability::replaced_only); });

    // Pillow, same screen, same run.
    const fs::path script = fs::path(NORVEX_BENCH_SOURCE_DIR) / "screenshot_pillow.py";
    const std::string py_out = run_capture("'" + python + "' '" + script.string() + "' --repeat " +
                                           std::to_string(repeat) + " --data-dir '" + (data / "pillow").string() + "'");
    if (py_out.empty()) {
        fs::remove_all(data);
        std::cerr << "screenshot_bench: the Pillow side failed (is python3-pil installed?)\n";
        return 1;
    }
    const auto py = boost::json::parse(py_out).as_object();

    // Alternating rounds of the whole action.
    std::vector<double> ours_rounds, theirs_rounds;
    const Usage r0 = usage();
    for (int round = 0; round < std::max(1, repeat / 3); ++round) {
        for (int i = 0; i < 3; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            executor.execute_action("screenshot");
            ours_rounds.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        const std::string out = run_capture("'" + python + "' '" + script.string() + "' --repeat 3 --data-dir '" +
                                            (data / "pillow").string() + "'");
        if (out.empty()) break;
        const boost::json::value round_result = boost::json::parse(out);
        for (const auto& v : round_result.at("total_runs").as_array()) theirs_rounds.push_back(v.to_number<double>());
    }
    const Usage r1 = usage();
    fs::remove_all(data);
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    auto py_ms = [&](const char* key, const char* which = "median") {
        return py.at(key).as_object().at(which).to_number<double>();
    };
    const auto py_bytes = py.at("png_bytes").to_number<std::int64_t>();

    std::printf("screen %lldx%lld -> %dx%d, %d timed runs each (medians; minima in brackets), Pillow %s\n",
                static_cast<long long>(info.at("screen_width").as_int64()),
                static_cast<long long>(info.at("screen_height").as_int64()), api_w, api_h, repeat,
                std::string(py.at("pillow").as_string()).c_str());
    std::printf("%-26s %12s %12s\n", "stage", "norvex ms", "Pillow ms");
    auto row = [](const char* name, Stats ours, double theirs, double theirs_min) {
        std::printf("%-26s %6.1f (%5.1f) %6.1f (%5.1f)   cpu %6.1f ms, %5ld faults\n", name, ours.median, ours.min, theirs,
                    theirs_min, ours.cpu, ours.faults);
    };
    row("capture", capture, py_ms("capture"), py_ms("capture", "min"));
    row("resize to API size", resize, py_ms("resize"), py_ms("resize", "min"));
    row("PNG for the model", encode, py_ms("encode"), py_ms("encode", "min"));
    row("Base64", base64, py_ms("base64"), py_ms("base64", "min"));
    row("latest.png", save, py_ms("save_latest"), py_ms("save_latest", "min"));
    row("whole action", action, py_ms("total"), py_ms("total", "min"));
    std::printf("speed-up of the whole action: %.1fx (median), %.1fx (min)\n", py_ms("total") / action.median,
                py_ms("total", "min") / action.min);
    std::printf("interleaved rounds: norvex %.1f ms, Pillow %.1f ms (medians of %zu and %zu runs): %.1fx\n",
                median(ours_rounds), median(theirs_rounds), ours_rounds.size(), theirs_rounds.size(),
                median(theirs_rounds) / median(ours_rounds));
    std::printf("interleaved: cpu %.1f ms and %.0f faults per action (averages, Python's process time not counted)\n",
                (r1.cpu_ms - r0.cpu_ms) / std::max<std::size_t>(1, ours_rounds.size()),
                static_cast<double>(r1.faults - r0.faults) / std::max<std::size_t>(1, ours_rounds.size()));
    std::printf("PNG bytes: norvex %zu, Pillow optimize=True %lld (%+.1f%%)\n", png_bytes,
                static_cast<long long>(py_bytes), 100.0 * (static_cast<double>(png_bytes) - py_bytes) / py_bytes);
    return 0;
}
