// Parse throughput and memory of pyast::parse over a corpus of Python files, against CPython's ast.parse in the same run.
//
// Usage: pyast_bench [--repeat N] [--python INTERPRETER] [FOLDER-OR-FILE ...]
//   default corpus: /usr/lib/python3.11; default interpreter: /usr/bin/python3
//
// Throughput: every file is read into memory first, then the best of N passes
// of parse() over all of them is timed (the string copy parse() takes is
// inside the timing, as any caller pays it). The Python side
// (bench/python/pyast_parse_baseline.py) gets the same file list and times
// ast.parse the same way. Both sides also report the best pass's CPU time,
// the steadier figure when other work shares the machine.
//
// Memory: the global allocator is counted (bytes live, by
// malloc_usable_size). For each file, the peak of live heap during parse()
// above what was live before is "peak", and what the returned tree still holds
// is "kept"; both are compared with the file's size. This covers the arena,
// the source copy, the token list and the parser's own working memory. The
// arena's own count of bytes used against bytes taken shows its waste.
// The timed passes run as a program parsing file after file does, reusing
// the block pool (block_pool.hpp); the memory pass empties the pool before
// each file, so its peak counts every block the parse uses.
#include "norvex/pyast/block_pool.hpp"
#include "norvex/pyast/lexer.hpp"
#include "norvex/pyast/parse.hpp"

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <boost/json.hpp>

namespace {

// Counting is on only while memory is measured: the timed passes pay
// nothing for it. Blocks allocated uncounted may be freed while counting
// (and the other way round), so the live count is only read as a difference
// over a stretch that allocates and frees its own memory.
bool g_counting = false;
std::int64_t g_live = 0;
std::int64_t g_peak = 0;

void* counted(void* p) {
    if (p == nullptr) throw std::bad_alloc();
    if (!g_counting) return p;
    g_live += static_cast<std::int64_t>(malloc_usable_size(p));
    g_peak = std::max(g_peak, g_live);
    return p;
}

void uncounted(void* p) {
    if (p == nullptr) return;
    if (g_counting) g_live -= static_cast<std::int64_t>(malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted(std::malloc(n == 0 ? 1 : n)); }
void* operator new[](std::size_t n) { return counted(std::malloc(n == 0 ? 1 : n)); }
void* operator new(std::size_t n, std::align_val_t a) {
    return counted(std::aligned_alloc(static_cast<std::size_t>(a), (std::max<std::size_t>(n, 1) + static_cast<std::size_t>(a) - 1) & ~(static_cast<std::size_t>(a) - 1)));
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }
void operator delete(void* p, std::align_val_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::align_val_t) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { uncounted(p); }

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Source {
    std::string path;
    std::string text;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> python_files(const std::vector<std::string>& roots) {
    std::vector<fs::path> files;
    for (const auto& root : roots) {
        if (fs::is_regular_file(root)) {
            files.emplace_back(root);
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied)) {
            if (entry.is_regular_file() && entry.path().extension() == ".py") files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// CPU time of this process (the parsing runs on one thread).
double cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string mb(double bytes) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f MB/s", bytes / 1e6);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::string python = "/usr/bin/python3";
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) repeat = std::atoi(argv[++i]);
        else if (arg == "--python" && i + 1 < argc) python = argv[++i];
        else roots.push_back(arg);
    }
    if (roots.empty()) roots.emplace_back("/usr/lib/python3.11");

    // Files pyast::parse rejects (a coding other than UTF-8, say) are left out
    // of both sides, so the two parsers do the same work.
    std::vector<Source> sources;
    std::size_t rejected = 0;
    for (const auto& path : python_files(roots)) {
        std::string text = read_file(path);
        if (!norvex::pyast::parse(text).tree) {
            ++rejected;
            continue;
        }
        sources.push_back({path.string(), std::move(text)});
    }
    std::size_t total = 0;
    for (const auto& s : sources) total += s.text.size();
    std::printf("corpus: %zu files, %zu bytes (%zu left out: pyast::parse rejects them)\n", sources.size(), total,
                rejected);

    double best = 1e300, best_cpu = 1e300;
    for (int r = 0; r < repeat; ++r) {
        const double start_cpu = cpu_seconds();
        const auto start = Clock::now();
        std::size_t nodes_seen = 0;
        for (const auto& s : sources) {
            auto result = norvex::pyast::parse(s.text);
            nodes_seen += result.tree != nullptr;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best_cpu = std::min(best_cpu, cpu_seconds() - start_cpu);
        if (nodes_seen != sources.size()) std::abort();
        best = std::min(best, seconds);
    }
    const double ours = static_cast<double>(total) / best;
    const double ours_cpu = static_cast<double>(total) / best_cpu;
    std::printf("pyast::parse  best of %d: %.3f s, %s (CPU time: %.3f s, %s)\n", repeat, best, mb(ours).c_str(),
                best_cpu, mb(ours_cpu).c_str());

    std::printf("block pool: %.2f MB kept for the next parse after the timed passes (at most %.0f MB a thread)\n",
                static_cast<double>(norvex::pyast::block_pool::kept_bytes()) / 1e6,
                static_cast<double>(norvex::pyast::block_pool::max_kept) / 1e6);

    // Memory, one file at a time, outside the timing.
    g_counting = true;
    double peak_total = 0, kept_total = 0, worst_peak = 0, worst_kept = 0;
    double worst_peak_big = 0;
    std::string worst_peak_path, worst_peak_big_path;
    const Source* largest = &*std::max_element(sources.begin(), sources.end(),
        [](const Source& a, const Source& b) { return a.text.size() < b.text.size(); });
    double largest_peak = 0, largest_kept = 0;
    double arena_used = 0, arena_reserved = 0;
    // Small files are dominated by fixed minimums (the arena's first block, a
    // chunk of tokens, the interning table), so their ratios say little.
    constexpr std::size_t kBig = 64 * 1024;
    for (const auto& s : sources) {
        // Each parse starts with an empty block pool, so the peak counts every
        // block it uses; the pool's blocks are not what the tree keeps.
        norvex::pyast::block_pool::release();
        const std::int64_t before = g_live;
        g_peak = g_live;
        auto result = norvex::pyast::parse(s.text);
        const double peak = static_cast<double>(g_peak - before);
        norvex::pyast::block_pool::release();
        const double kept = static_cast<double>(g_live - before);
        arena_used += static_cast<double>(result.tree->arena.bytes_used());
        arena_reserved += static_cast<double>(result.tree->arena.bytes_reserved());
        const double size = static_cast<double>(std::max<std::size_t>(s.text.size(), 1));
        peak_total += peak;
        kept_total += kept;
        if (s.text.size() >= 1024) {
            if (peak / size > worst_peak) worst_peak = peak / size, worst_peak_path = s.path;
            worst_kept = std::max(worst_kept, kept / size);
        }
        if (s.text.size() >= kBig && peak / size > worst_peak_big) worst_peak_big = peak / size, worst_peak_big_path = s.path;
        if (&s == largest) largest_peak = peak, largest_kept = kept;
    }
    // The tokenizer alone, to see how much of the peak is the token list.
    double tokens_total = 0;
    for (const auto& s : sources) {
        norvex::pyast::block_pool::release();
        const std::int64_t before = g_live;
        g_peak = g_live;
        norvex::pyast::Arena arena;
        norvex::pyast::Tokenizer tok(s.text, arena);
        tok.all();
        tokens_total += static_cast<double>(g_peak - before);
    }
    std::printf("memory, tokenizer alone (all files): peak %.2fx the source bytes\n", tokens_total / total);
    std::printf("memory, the trees' arenas: %.2fx the source bytes used, %.2fx taken from the heap\n",
                arena_used / total, arena_reserved / total);
    std::printf("memory, all files: peak %.2fx the source bytes, kept %.2fx (sums over files)\n", peak_total / total,
                kept_total / total);
    std::printf("memory, worst file of >= 1 KiB: peak %.2fx (%s); worst kept %.2fx\n", worst_peak,
                worst_peak_path.c_str(), worst_kept);
    std::printf("memory, worst file of >= 64 KiB: peak %.2fx (%s)\n", worst_peak_big, worst_peak_big_path.c_str());
    std::printf("memory, largest file (%s, %zu bytes): peak %.2fx, kept %.2fx\n", largest->path.c_str(),
                largest->text.size(), largest_peak / largest->text.size(), largest_kept / largest->text.size());

    // The same files through CPython, same run.
    const fs::path list = fs::temp_directory_path() / ("pyast_bench_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(list);
        for (const auto& s : sources) out << s.path << '\n';
    }
    const fs::path script = fs::path(NORVEX_BENCH_SOURCE_DIR) / "python" / "pyast_parse_baseline.py";
    const std::string command =
        "'" + python + "' '" + script.string() + "' '" + list.string() + "' --repeat " + std::to_string(repeat);
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
        ::pclose(pipe);
    }
    fs::remove(list);
    boost::system::error_code ec;
    const boost::json::value v = boost::json::parse(text, ec);
    if (ec || !v.is_object()) {
        std::fprintf(stderr, "pyast_bench: the Python side failed: %s\n", command.c_str());
        return 1;
    }
    const auto& o = v.as_object();
    const double theirs = o.at("bytes_per_second").to_number<double>();
    const double theirs_cpu = static_cast<double>(total) / o.at("cpu_seconds").to_number<double>();
    std::printf("ast.parse     best of %d: %.3f s, %s (CPU time: %.3f s, %s) (%s, %lld files, %lld rejected)\n",
                repeat, o.at("seconds").to_number<double>(), mb(theirs).c_str(),
                o.at("cpu_seconds").to_number<double>(), mb(theirs_cpu).c_str(), python.c_str(),
                static_cast<long long>(o.at("files").as_int64()), static_cast<long long>(o.at("rejected").as_array().size()));
    // With other work on the machine, the wall clock also counts time spent
    // waiting for a core; the CPU-time ratio is the steadier one then.
    std::printf("ratio: pyast::parse is %.1fx ast.parse (CPU time: %.1fx)\n", ours / theirs, ours_cpu / theirs_cpu);
    return 0;
}
