// The model's PNG: per-row filters chosen by entropy, compressed with libdeflate, chunks written here.
//
// zlib at level 9 spends most of a screenshot's time searching matches and
// still loses to a better filter choice: rows of text compress best
// unfiltered, photos with Paeth or Up, and the smallest sum of residues
// (the usual heuristic) often picks wrong for text. The residues' byte
// entropy predicts the compressed size better, and libdeflate's encoder
// finds the matches faster than zlib's at a smaller size.
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/png_small.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

inline std::uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

// -sum(n * log2(n / total)): the row's size in bits under an order-0 model.
double entropy_bits(const std::uint8_t* row, std::size_t n, const std::array<double, 4097>& nlogn) {
    std::array<std::uint32_t, 256> hist{};
    for (std::size_t i = 0; i < n; ++i) ++hist[row[i]];
    double bits = n < nlogn.size() ? nlogn[n] : n * std::log2(static_cast<double>(n));
    for (std::uint32_t h : hist) {
        if (h) bits -= h < nlogn.size() ? nlogn[h] : h * std::log2(static_cast<double>(h));
    }
    return bits;
}

// The filtered scanlines: one filter-type byte and the residues per row.
std::vector<std::uint8_t> filter_image(const RgbImage& im) {
    constexpr int BPP = 3;
    const std::size_t stride = static_cast<std::size_t>(im.width) * BPP;
    std::vector<std::uint8_t> out((stride + 1) * im.height);
    std::vector<std::uint8_t> zero(stride, 0);
    std::array<std::vector<std::uint8_t>, 5> cand;
    for (auto& c : cand) c.resize(stride);
    static const std::array<double, 4097> nlogn = [] {
        std::array<double, 4097> t{};
        for (std::size_t i = 1; i < t.size(); ++i) t[i] = i * std::log2(static_cast<double>(i));
        return t;
    }();
    for (int y = 0; y < im.height; ++y) {
        const std::uint8_t* cur = im.pixels.data() + y * stride;
        const std::uint8_t* up = y ? cur - stride : zero.data();
        for (std::size_t i = 0; i < BPP && i < stride; ++i) {
            cand[0][i] = cur[i];
            cand[1][i] = cur[i];
            cand[2][i] = static_cast<std::uint8_t>(cur[i] - up[i]);
            cand[3][i] = static_cast<std::uint8_t>(cur[i] - (up[i] >> 1));
            cand[4][i] = static_cast<std::uint8_t>(cur[i] - up[i]);  // Paeth of (0, b, 0) is b
        }
        for (std::size_t i = BPP; i < stride; ++i) {
            const int a = cur[i - BPP], b = up[i], c = up[i - BPP];
            cand[0][i] = cur[i];
            cand[1][i] = static_cast<std::uint8_t>(cur[i] - a);
            cand[2][i] = static_cast<std::uint8_t>(cur[i] - b);
            cand[3][i] = static_cast<std::uint8_t>(cur[i] - ((a + b) >> 1));
            cand[4][i] = static_cast<std::uint8_t>(cur[i] - paeth(a, b, c));
        }
        int best = 0;
        double best_bits = 0;
        for (int f = 0; f < 5; ++f) {
            const double bits = entropy_bits(cand[f].data(), stride, nlogn);
            if (f == 0 || bits < best_bits) {
                best = f;
                best_bits = bits;
            }
        }
        std::uint8_t* dst = out.data() + y * (stride + 1);
        dst[0] = static_cast<std::uint8_t>(best);
        std::memcpy(dst + 1, cand[best].data(), stride);
    }
    return out;
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

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

std::string encode_png_small(const RgbImage& image) {
    const std::vector<std::uint8_t> raw = filter_image(image);
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(SMALL_PNG_LEVEL));
    if (!compressor) throw std::runtime_error("PNG encoder: out of memory");
    std::vector<std::uint8_t> idat(libdeflate_zlib_compress_bound(compressor.get(), raw.size()));
    const std::size_t n =
        libdeflate_zlib_compress(compressor.get(), raw.data(), raw.size(), idat.data(), idat.size());
    if (n == 0) throw std::runtime_error("PNG encoder: compression failed");

    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(8 + 25 + n + 12 + 12);
    std::uint8_t ihdr[13] = {};
    const auto w = static_cast<std::uint32_t>(image.width), h = static_cast<std::uint32_t>(image.height);
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
        ihdr[4 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
    }
    ihdr[8] = 8;   // bits per sample
    ihdr[9] = 2;   // truecolour
    put_chunk(png, "IHDR", ihdr, sizeof ihdr);
    put_chunk(png, "IDAT", idat.data(), n);
    put_chunk(png, "IEND", nullptr, 0);
    return png;
}

}  // namespace norvex::pc::deskhand
