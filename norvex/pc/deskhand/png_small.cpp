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

inline std::uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

// The residue of filter f (1 Sub, 2 Up, 3 Average, 4 Paeth; 0 None) at byte i.
inline std::uint8_t residue(int f, const std::uint8_t* cur, const std::uint8_t* up, std::size_t i) {
    constexpr std::size_t BPP = 3;
    const int a = i >= BPP ? cur[i - BPP] : 0, b = up[i], c = i >= BPP ? up[i - BPP] : 0;
    switch (f) {
        case 1:
            return static_cast<std::uint8_t>(cur[i] - a);
        case 2:
            return static_cast<std::uint8_t>(cur[i] - b);
        case 3:
            return static_cast<std::uint8_t>(cur[i] - ((a + b) >> 1));
        case 4:
            return static_cast<std::uint8_t>(cur[i] - paeth(a, b, c));
        default:
            return cur[i];
    }
}

// Filters rows [first, last) into `out` (one filter-type byte and the
// residues per row). The five histograms come from one pass over the row;
// only the chosen filter's residues are written.
void filter_rows(const RgbImage& im, int first, int last, std::uint8_t* out) {
    constexpr std::size_t BPP = 3;
    const std::size_t stride = static_cast<std::size_t>(im.width) * BPP;
    static const std::array<double, 4097> nlogn = [] {
        std::array<double, 4097> t{};
        for (std::size_t i = 1; i < t.size(); ++i) t[i] = i * std::log2(static_cast<double>(i));
        return t;
    }();
    const std::vector<std::uint8_t> zero(stride, 0);
    std::array<std::array<std::uint32_t, 256>, 5> hist;
    for (int y = first; y < last; ++y) {
        const std::uint8_t* cur = im.pixels.data() + y * stride;
        const std::uint8_t* up = y ? cur - stride : zero.data();
        for (auto& h : hist) h.fill(0);
        for (std::size_t i = 0; i < BPP && i < stride; ++i)
            for (int f = 0; f < 5; ++f) ++hist[f][residue(f, cur, up, i)];
        for (std::size_t i = BPP; i < stride; ++i) {
            const int a = cur[i - BPP], b = up[i], c = up[i - BPP], x = cur[i];
            ++hist[0][x];
            ++hist[1][static_cast<std::uint8_t>(x - a)];
            ++hist[2][static_cast<std::uint8_t>(x - b)];
            ++hist[3][static_cast<std::uint8_t>(x - ((a + b) >> 1))];
            ++hist[4][static_cast<std::uint8_t>(x - paeth(a, b, c))];
        }
        int best = 0;
        double best_bits = 0;
        for (int f = 0; f < 5; ++f) {
            // -sum(n * log2(n / total)) = total*log2(total) - sum(n*log2(n)):
            // the row's size in bits under an order-0 model.
            double bits = stride < nlogn.size() ? nlogn[stride] : stride * std::log2(static_cast<double>(stride));
            for (std::uint32_t h : hist[f])
                if (h) bits -= h < nlogn.size() ? nlogn[h] : h * std::log2(static_cast<double>(h));
            if (f == 0 || bits < best_bits) {
                best = f;
                best_bits = bits;
            }
        }
        std::uint8_t* dst = out + y * (stride + 1);
        dst[0] = static_cast<std::uint8_t>(best);
        for (std::size_t i = 0; i < stride; ++i) dst[1 + i] = residue(best, cur, up, i);
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
