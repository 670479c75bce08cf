// Bicubic resampling: separable Keys cubic in fixed point, weights computed once per axis.
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/parallel_rows.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace norvex::pc::deskhand {

namespace {

constexpr double CUBIC_SUPPORT = 2.0;
constexpr int PRECISION_BITS = 22;  // weights times 2^22; 255 * 2^22 * a few taps stays in 32 bits

double cubic(double x) {
    constexpr double a = -0.5;
    x = std::fabs(x);
    if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0) return (((x - 5.0) * x + 8.0) * x - 4.0) * a;
    return 0.0;
}

// For each output position: the first input index, how many inputs, and
// their weights (fixed point, summing to 2^22 up to rounding).
struct Taps {
    int size = 0;  // taps per output (the widest)
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::int32_t> weights;  // out_size * size
};

Taps compute_taps(int in_size, int out_size) {
    const double scale = static_cast<double>(in_size) / out_size;
    const double filter_scale = std::max(scale, 1.0);
    const double support = CUBIC_SUPPORT * filter_scale;
    Taps t;
    t.size = static_cast<int>(std::ceil(support)) * 2 + 1;
    t.first.resize(out_size);
    t.count.resize(out_size);
    t.weights.assign(static_cast<std::size_t>(out_size) * t.size, 0);
    std::vector<double> k(t.size);
    for (int o = 0; o < out_size; ++o) {
        const double center = (o + 0.5) * scale;
        int lo = static_cast<int>(center - support + 0.5);
        if (lo < 0) lo = 0;
        int hi = static_cast<int>(center + support + 0.5);
        if (hi > in_size) hi = in_size;
        const int n = std::min(hi - lo, t.size);
        double total = 0.0;
        for (int i = 0; i < n; ++i) {
            k[i] = cubic((i + lo - center + 0.5) / filter_scale);
            total += k[i];
        }
        for (int i = 0; i < n; ++i) {
            const double w = total != 0.0 ? k[i] / total : 0.0;
            const double fixed = w * (1 << PRECISION_BITS);
            t.weights[static_cast<std::size_t>(o) * t.size + i] =
                static_cast<std::int32_t>(fixed < 0 ? fixed - 0.5 : fixed + 0.5);
        }
        t.first[o] = lo;
        t.count[o] = n;
    }
    return t;
}

inline std::uint8_t clip8(std::int32_t acc) {
    const std::int32_t v = acc >> PRECISION_BITS;
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

constexpr std::int32_t HALF = 1 << (PRECISION_BITS - 1);

void horizontal_row(const std::uint8_t* src, std::uint8_t* dst, int out_width, const Taps& t) {
    for (int o = 0; o < out_width; ++o) {
        const std::int32_t* w = t.weights.data() + static_cast<std::size_t>(o) * t.size;
        const std::uint8_t* p = src + static_cast<std::size_t>(t.first[o]) * 3;
        std::int32_t r = HALF, g = HALF, b = HALF;
        for (int i = 0; i < t.count[o]; ++i, p += 3) {
            r += p[0] * w[i];
            g += p[1] * w[i];
            b += p[2] * w[i];
        }
        dst[o * 3] = clip8(r);
        dst[o * 3 + 1] = clip8(g);
        dst[o * 3 + 2] = clip8(b);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same sums with the three channels of a tap in one vector: the pixel's
// bytes widened to 32 bits, times the tap's weight, added up; then the
// shift and the clamp to 0..255 (by the saturating packs). The same integer
// arithmetic, so the same bytes. Each tap loads four bytes, one past its
// pixel: the caller keeps the image's last row on the plain path.
__attribute__((target("sse4.1"))) void horizontal_row_sse41(const std::uint8_t* src, std::uint8_t* dst, int out_width,
                                                            const Taps& t) {
    for (int o = 0; o < out_width; ++o) {
        const std::int32_t* w = t.weights.data() + static_cast<std::size_t>(o) * t.size;
        const std::uint8_t* p = src + static_cast<std::size_t>(t.first[o]) * 3;
        __m128i acc = _mm_set1_epi32(HALF);
        for (int i = 0; i < t.count[o]; ++i, p += 3) {
            std::int32_t four;
            std::memcpy(&four, p, 4);
            const __m128i px = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(four));
            acc = _mm_add_epi32(acc, _mm_mullo_epi32(px, _mm_set1_epi32(w[i])));
        }
        const __m128i v = _mm_srai_epi32(acc, PRECISION_BITS);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
        const auto rgb = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
        dst[o * 3] = static_cast<std::uint8_t>(rgb);
        dst[o * 3 + 1] = static_cast<std::uint8_t>(rgb >> 8);
        dst[o * 3 + 2] = static_cast<std::uint8_t>(rgb >> 16);
    }
}
#endif

void horizontal(const RgbImage& in, RgbImage& out, const Taps& t) {
    const std::size_t in_stride = static_cast<std::size_t>(in.width) * 3;
    const std::size_t out_stride = static_cast<std::size_t>(out.width) * 3;
    auto row = horizontal_row;
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("sse4.1")) row = horizontal_row_sse41;
#endif
    parallel_rows(in.height, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const std::uint8_t* src = in.pixels.data() + y * in_stride;
            std::uint8_t* dst = out.pixels.data() + y * out_stride;
            (y + 1 < in.height ? row : horizontal_row)(src, dst, out.width, t);
        }
    });
}

void vertical(const RgbImage& in, RgbImage& out, const Taps& t) {
    const std::size_t stride = static_cast<std::size_t>(in.width) * 3;
    parallel_rows(out.height, [&](int first, int last) {
        std::vector<std::int32_t> acc(stride);
        for (int o = first; o < last; ++o) {
            std::fill(acc.begin(), acc.end(), HALF);
            const std::int32_t* w = t.weights.data() + static_cast<std::size_t>(o) * t.size;
            for (int i = 0; i < t.count[o]; ++i) {
                const std::uint8_t* row = in.pixels.data() + (t.first[o] + i) * stride;
                const std::int32_t wi = w[i];
                for (std::size_t x = 0; x < stride; ++x) acc[x] += row[x] * wi;
            }
            std::uint8_t* dst = out.pixels.data() + o * stride;
            for (std::size_t x = 0; x < stride; ++x) dst[x] = clip8(acc[x]);
        }
    });
}

void shape(RgbImage& image, int width, int height) {
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
}

}  // namespace

// One axis's weights, remade only when its sizes change.
struct CachedTaps {
    Taps taps;
    int in = 0, out = 0;

    const Taps& get(int in_size, int out_size) {
        if (in_size != in || out_size != out) {
            taps = compute_taps(in_size, out_size);
            in = in_size;
            out = out_size;
        }
        return taps;
    }
};

struct BicubicResizer::State {
    CachedTaps across, down;
    RgbImage wide;  // the horizontal pass's result
};

BicubicResizer::BicubicResizer() : state_(std::make_unique<State>()) {}
BicubicResizer::~BicubicResizer() = default;

void BicubicResizer::resize(const RgbImage& image, int width, int height, RgbImage& out) {
    if (width <= 0 || height <= 0 || image.width <= 0 || image.height <= 0)
        throw std::invalid_argument("cannot resize a " + std::to_string(image.width) + "x" +
                                    std::to_string(image.height) + " image to " + std::to_string(width) + "x" +
                                    std::to_string(height) + ": both sizes must be positive");
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        throw std::invalid_argument("image pixel buffer does not match its size");
    if (&image == &out) throw std::invalid_argument("cannot resize an image into itself");
    if (width == image.width && height == image.height) {
        out = image;
        return;
    }
    if (width == image.width) {
        shape(out, width, height);
        vertical(image, out, state_->down.get(image.height, height));
        return;
    }
    if (height == image.height) {
        shape(out, width, height);
        horizontal(image, out, state_->across.get(image.width, width));
        return;
    }
    shape(state_->wide, width, image.height);
    horizontal(image, state_->wide, state_->across.get(image.width, width));
    shape(out, width, height);
    vertical(state_->wide, out, state_->down.get(image.height, height));
}

RgbImage resize_bicubic(const RgbImage& image, int width, int height) {
    RgbImage out;
    BicubicResizer().resize(image, width, height, out);
    return out;
}

}  // namespace norvex::pc::deskhand
