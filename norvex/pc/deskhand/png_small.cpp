// The model's PNG: per-row filters chosen by entropy, compressed with libdeflate, chunks written here.
//
// zlib at level 9 spends most of a screenshot's time searching matches and
// still loses to a better filter choice: rows of text compress best
// unfiltered, photos with Paeth or Up, and the smallest sum of residues
// (the usual heuristic) often picks wrong for text. The residues' byte
// entropy predicts the compressed size better, and libdeflate's encoder
// finds the matches several times faster than zlib's. On a screen that is
// one grainy photo edge to edge, zlib's filtered strategy still comes out
// about 1.5% smaller (libdeflate has no such strategy); on screens of text,
// widgets and some pictures this encoder is the smaller one.
#include "norvex/pc/deskhand/png_small.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/parallel_rows.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

// The four filters' residues of one row, each into its own buffer. Every
// residue depends on the unfiltered bytes only, so each loop is a plain
// element-wise one the vectoriser turns into SIMD; Paeth's choice is written
// with selects instead of branches (photos make those branches unpredictable).
// Bytes before the row's start count as 0, as the format says.
void residue_rows(const std::uint8_t* cur, const std::uint8_t* up, std::size_t n, std::uint8_t* const res[4]) {
    constexpr std::size_t BPP = 3;
    std::uint8_t* sub = res[0];
    std::uint8_t* upf = res[1];
    std::uint8_t* avg = res[2];
    std::uint8_t* pae = res[3];
    const std::size_t head = n < BPP ? n : BPP;
    for (std::size_t i = 0; i < head; ++i) {
        sub[i] = cur[i];
        upf[i] = static_cast<std::uint8_t>(cur[i] - up[i]);
        avg[i] = static_cast<std::uint8_t>(cur[i] - (up[i] >> 1));
        pae[i] = static_cast<std::uint8_t>(cur[i] - up[i]);  // a = c = 0: Paeth predicts b
    }
    for (std::size_t i = BPP; i < n; ++i) sub[i] = static_cast<std::uint8_t>(cur[i] - cur[i - BPP]);
    for (std::size_t i = BPP; i < n; ++i) upf[i] = static_cast<std::uint8_t>(cur[i] - up[i]);
    for (std::size_t i = BPP; i < n; ++i) avg[i] = static_cast<std::uint8_t>(cur[i] - ((cur[i - BPP] + up[i]) >> 1));
    for (std::size_t i = BPP; i < n; ++i) {
        const int a = cur[i - BPP], b = up[i], c = up[i - BPP];
        // |p - a|, |p - b|, |p - c| with p = a + b - c.
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int pred = ((pa <= pb) & (pa <= pc)) ? a : (pb <= pc ? b : c);
        pae[i] = static_cast<std::uint8_t>(cur[i] - pred);
    }
}

// The size in bits of `row` under an order-0 model of its bytes:
// -sum(n * log2(n / total)) = total * log2(total) - sum(n * log2(n)).
// Counts go to two interleaved tables (a run of equal bytes, as flat areas
// give, would otherwise make every increment wait for the one before on the
// same counter) and `counts` is left zeroed for the next row.
double order0_bits(const std::uint8_t* row, std::size_t n, std::array<std::uint32_t, 512>& counts) {
    static const std::array<double, 4097> nlogn = [] {
        std::array<double, 4097> t{};
        for (std::size_t i = 1; i < t.size(); ++i) t[i] = i * std::log2(static_cast<double>(i));
        return t;
    }();
    auto n_log_n = [](std::size_t v) {
        return v < nlogn.size() ? nlogn[v] : static_cast<double>(v) * std::log2(static_cast<double>(v));
    };
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        ++counts[row[i]];
        ++counts[256 + row[i + 1]];
    }
    if (i < n) ++counts[row[i]];
    double bits = n_log_n(n);
    for (int v = 0; v < 256; ++v) {
        const std::uint32_t h = counts[v] + counts[256 + v];
        counts[v] = counts[256 + v] = 0;
        if (h) bits -= n_log_n(h);
    }
    return bits;
}

// Filters rows [first, last) into `out` (one filter-type byte and the
// residues per row), each row with the filter whose residues have the
// lowest byte entropy.
void filter_rows(const RgbImage& im, int first, int last, std::uint8_t* out) {
    constexpr std::size_t BPP = 3;
    const std::size_t stride = static_cast<std::size_t>(im.width) * BPP;
    std::vector<std::uint8_t> scratch(stride * 5, 0);  // the row above the first (zeros), then four residue rows
    const std::uint8_t* zero = scratch.data();
    std::uint8_t* const res[4] = {scratch.data() + stride, scratch.data() + 2 * stride, scratch.data() + 3 * stride,
                                  scratch.data() + 4 * stride};
    std::array<std::uint32_t, 512> counts{};
    for (int y = first; y < last; ++y) {
        const std::uint8_t* cur = im.pixels.data() + y * stride;
        const std::uint8_t* up = y ? cur - stride : zero;
        residue_rows(cur, up, stride, res);
        int best = 0;
        double best_bits = 0;
        for (int f = 0; f < 5; ++f) {
            const double bits = order0_bits(f == 0 ? cur : res[f - 1], stride, counts);
            if (f == 0 || bits < best_bits) {
                best = f;
                best_bits = bits;
            }
        }
        std::uint8_t* dst = out + y * (stride + 1);
        dst[0] = static_cast<std::uint8_t>(best);
        std::memcpy(dst + 1, best == 0 ? cur : res[best - 1], stride);
    }
}

void filter_image(const RgbImage& im, std::vector<std::uint8_t>& out) {
    const std::size_t stride = static_cast<std::size_t>(im.width) * 3;
    out.resize((stride + 1) * im.height);
    parallel_rows(im.height, [&](int first, int last) { filter_rows(im, first, last, out.data()); });
}

void put32(std::string& s, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    s.append(b, 4);
}

void put_chunk(std::string& png, const char type[4], const std::uint8_t* data, std::size_t len) {
    put32(png, static_cast<std::uint32_t>(len));
    const std::size_t start = png.size();
    png.append(type, 4);
    if (len) png.append(reinterpret_cast<const char*>(data), len);
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(png.data() + start), static_cast<uInt>(4 + len));
    put32(png, static_cast<std::uint32_t>(crc));
}

}  // namespace

struct SmallPngEncoder::State {
    struct CompressorFree {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor;
    std::vector<std::uint8_t> filtered;  // filter byte and residues per row
    std::vector<std::uint8_t> idat;      // the compressed stream
};

SmallPngEncoder::SmallPngEncoder() : state_(std::make_unique<State>()) {}
SmallPngEncoder::~SmallPngEncoder() = default;

void check_encodable(const RgbImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        throw std::invalid_argument("cannot encode an empty or inconsistent image as PNG");
}

void SmallPngEncoder::encode(const RgbImage& image, std::string& png) {
    check_encodable(image);
    State& s = *state_;
    if (!s.compressor) {
        s.compressor.reset(libdeflate_alloc_compressor(SMALL_PNG_LEVEL));
        if (!s.compressor) throw std::runtime_error("PNG encoder: out of memory");
    }
    filter_image(image, s.filtered);
    s.idat.resize(libdeflate_zlib_compress_bound(s.compressor.get(), s.filtered.size()));
    const std::size_t n =
        libdeflate_zlib_compress(s.compressor.get(), s.filtered.data(), s.filtered.size(), s.idat.data(), s.idat.size());
    if (n == 0) throw std::runtime_error("PNG encoder: compression failed");
    const std::vector<std::uint8_t>& idat = s.idat;

    png.assign("\x89PNG\r\n\x1a\n", 8);
    png.reserve(8 + 25 + n + 12 + 12);
    std::uint8_t ihdr[13] = {};
    const auto w = static_cast<std::uint32_t>(image.width), h = static_cast<std::uint32_t>(image.height);
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
        ihdr[4 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
    }
    ihdr[8] = 8;  // bits per sample
    ihdr[9] = 2;  // truecolour
    put_chunk(png, "IHDR", ihdr, sizeof ihdr);
    put_chunk(png, "IDAT", idat.data(), n);
    put_chunk(png, "IEND", nullptr, 0);
}

std::string encode_png_small(const RgbImage& image) {
    std::string png;
    SmallPngEncoder().encode(image, png);
    return png;
}

}  // namespace norvex::pc::deskhand
