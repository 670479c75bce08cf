// Resampling against Pillow's bicubic, PNG round trips and filter choice, Base64.
#include "tests/support/scratch_dir.hpp"

#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/png_small.hpp"
#include "norvex/pc/desktop/recording_desktop.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <tuple>

namespace norvex::pc::deskhand {
namespace {

RgbImage noise(int w, int h, unsigned seed) {
    std::mt19937 gen(seed);
    RgbImage img{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3)};
    for (auto& p : img.pixels) p = static_cast<std::uint8_t>(gen() & 0xFF);
    return img;
}

bool have_pillow() {
    return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}

// The largest difference of any channel between two images of one size.
int max_difference(const RgbImage& a, const RgbImage& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) worst = std::max(worst, std::abs(a.pixels[i] - b.pixels[i]));
    return worst;
}

TEST(Resample, MatchesPillowBicubicWithinOneLevel) {
    if (!have_pillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    testing::ScratchDir dir;
    struct Case {
        RgbImage image;
        int w, h;
    };
    const Case cases[] = {{RecordingDesktop::gradient(1920, 1080), 1429, 804},
                          {noise(301, 199, 7), 97, 150},
                          {noise(40, 30, 9), 80, 45}};
    int n = 0;
    for (const auto& c : cases) {
        const auto in = dir.write("in" + std::to_string(n) + ".png", encode_png(c.image, PngEffort::quick));
        const auto out = (dir.path() / ("out" + std::to_string(n) + ".png")).string();
        const std::string cmd = "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                                "Image.open(sys.argv[1]).resize((int(sys.argv[3]), int(sys.argv[4])), resample=3)"
                                ".save(sys.argv[2])' " +
                                in + " " + out + " " + std::to_string(c.w) + " " + std::to_string(c.h);
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const RgbImage pillow = read_png_file(out);
        const RgbImage ours = resize_bicubic(c.image, c.w, c.h);
        ASSERT_EQ(ours.width, pillow.width);
        ASSERT_EQ(ours.height, pillow.height);
        EXPECT_LE(max_difference(ours, pillow), 1) << "case " << n;
        ++n;
    }
}

TEST(Resample, KeepsFlatColoursExact) {
    RgbImage flat{50, 40, std::vector<std::uint8_t>(50 * 40 * 3)};
    for (std::size_t i = 0; i < flat.pixels.size(); i += 3) {
        flat.pixels[i] = 10;
        flat.pixels[i + 1] = 200;
        flat.pixels[i + 2] = 255;
    }
    const RgbImage small = resize_bicubic(flat, 17, 33);
    for (std::size_t i = 0; i < small.pixels.size(); i += 3) {
        ASSERT_EQ(small.pixels[i], 10);
        ASSERT_EQ(small.pixels[i + 1], 200);
        ASSERT_EQ(small.pixels[i + 2], 255);
    }
    EXPECT_THROW(resize_bicubic(flat, 0, 10), std::invalid_argument);
}

TEST(Resample, EveryCopyOfARepeatedRowShrinksAlike) {
    // One noisy row repeated down the image: every output row must be the
    // same, whichever way a row is computed (the last row of an image takes
    // a different code path from the rows above it on some machines).
    for (const auto& [w, h, out_w] : {std::tuple{1920, 6, 1429}, std::tuple{301, 5, 97}, std::tuple{40, 3, 80}}) {
        const RgbImage row = noise(w, 1, static_cast<unsigned>(w));
        RgbImage tall{w, h, {}};
        for (int y = 0; y < h; ++y) tall.pixels.insert(tall.pixels.end(), row.pixels.begin(), row.pixels.end());
        const RgbImage shrunk = resize_bicubic(tall, out_w, h);
        const RgbImage single = resize_bicubic(row, out_w, 1);
        const std::size_t stride = static_cast<std::size_t>(out_w) * 3;
        for (int y = 0; y < h; ++y)
            ASSERT_TRUE(std::equal(single.pixels.begin(), single.pixels.end(), shrunk.pixels.begin() + y * stride))
                << w << " wide, row " << y;
    }
}

TEST(Resample, AReusedResizerGivesWhatAFreshOneGives) {
    // One resizer through changing input and output sizes, both one-axis
    // cases and a shrink back to an earlier size: kept weights or buffers
    // from the call before must never leak into the next result.
    BicubicResizer resizer;
    RgbImage out{999, 999, std::vector<std::uint8_t>(999u * 999u * 3u, 0x5a)};
    const struct {
        RgbImage image;
        int w, h;
    } steps[] = {{noise(301, 199, 7), 97, 150}, {noise(301, 199, 8), 97, 150}, {noise(310, 199, 9), 97, 150},
                 {noise(301, 205, 10), 97, 150}, {noise(301, 199, 11), 301, 60}, {noise(301, 199, 12), 40, 199},
                 {noise(40, 30, 13), 80, 45},    {noise(301, 199, 14), 301, 199}, {noise(301, 199, 15), 97, 150}};
    int n = 0;
    for (const auto& s : steps) {
        resizer.resize(s.image, s.w, s.h, out);
        const RgbImage fresh = resize_bicubic(s.image, s.w, s.h);
        ASSERT_EQ(out.width, s.w) << "step " << n;
        ASSERT_EQ(out.height, s.h) << "step " << n;
        EXPECT_EQ(out.pixels, fresh.pixels) << "step " << n;
        ++n;
    }
    EXPECT_THROW(resizer.resize(out, 10, 10, out), std::invalid_argument);
}

TEST(Png, AReusedEncoderWritesEachImageWhole) {
    // A large noisy image first, so the kept buffers are bigger than the next
    // image needs; then smaller and different images through the same encoder.
    SmallPngEncoder encoder;
    std::string png = "stale bytes that must go";
    for (const RgbImage& img : {noise(300, 200, 1), noise(17, 5, 2), RecordingDesktop::gradient(64, 48), noise(1, 1, 3)}) {
        encoder.encode(img, png);
        const RgbImage back = decode_png(png);
        ASSERT_EQ(back.width, img.width);
        ASSERT_EQ(back.height, img.height);
        EXPECT_EQ(back.pixels, img.pixels);
        EXPECT_EQ(png, encode_png(img, PngEffort::small));
    }
    EXPECT_THROW(encoder.encode(RgbImage{2, 2, {1, 2, 3}}, png), std::invalid_argument);
}

// The filter-type byte of each row of a PNG this encoder wrote (one IDAT, RGB).
std::vector<int> row_filters(const std::string& png, const RgbImage& image) {
    std::string idat;
    for (std::size_t pos = 8; pos + 12 <= png.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(png[i])); };
        const std::uint32_t len = byte(pos) << 24 | byte(pos + 1) << 16 | byte(pos + 2) << 8 | byte(pos + 3);
        if (png.compare(pos + 4, 4, "IDAT") == 0) idat += png.substr(pos + 8, len);
        pos += 12 + len;
    }
    const std::size_t stride = static_cast<std::size_t>(image.width) * 3 + 1;
    std::vector<unsigned char> raw(stride * image.height);
    uLongf size = raw.size();
    EXPECT_EQ(::uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()), Z_OK);
    std::vector<int> filters;
    for (int y = 0; y < image.height; ++y) filters.push_back(raw[y * stride]);
    return filters;
}

int paeth_guess(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

TEST(Png, EachRowGetsTheFilterThatFitsItAndEveryFilterDecodes) {
    // Five bands of eight rows, each made so that one filter leaves almost
    // nothing to code: two values at random (none), a ramp of its own slope
    // per row (Sub), the row above plus one (Up), the mean of left and above
    // (Average) and Paeth's own guess (Paeth), the last two with a random bit
    // added. A band's first row follows another kind and may go either way.
    constexpr int W = 64, BAND = 8;
    RgbImage im{W, BAND * 5, std::vector<std::uint8_t>(W * BAND * 5 * 3)};
    std::mt19937 gen(5);
    const std::size_t stride = W * 3;
    for (int y = 0; y < im.height; ++y) {
        std::uint8_t* cur = im.pixels.data() + y * stride;
        const std::uint8_t* up = y ? cur - stride : nullptr;
        const int kind = y / BAND, slope = 3 + 5 * (y % BAND);  // no two rows alike
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= 3 ? cur[i - 3] : 0, b = up ? up[i] : 0, c = (up && i >= 3) ? up[i - 3] : 0;
            const int bit = static_cast<int>(gen() & 1);
            const int v = kind == 0   ? (bit ? 255 : 0)
                          : kind == 1 ? static_cast<int>(i) * slope
                          : kind == 2 ? (y % BAND == 0 ? static_cast<int>(gen()) : b + 1)
                          : kind == 3 ? ((a + b) >> 1) + bit
                                      : paeth_guess(a, b, c) + bit;
            cur[i] = static_cast<std::uint8_t>(v);
        }
    }
    const std::string png = encode_png(im, PngEffort::small);
    EXPECT_EQ(decode_png(png).pixels, im.pixels);
    const std::vector<int> filters = row_filters(png, im);
    for (int y = 0; y < im.height; ++y) {
        if (y % BAND == 0) continue;
        EXPECT_EQ(filters[y], y / BAND) << "row " << y;
    }
}

TEST(Png, RoundTripsBothEffortsAndRefusesGarbage) {
    const RgbImage img = noise(123, 45, 3);
    for (auto effort : {PngEffort::small, PngEffort::quick}) {
        const std::string png = encode_png(img, effort);
        EXPECT_EQ(png.substr(1, 3), "PNG");
        const RgbImage back = decode_png(png);
        EXPECT_EQ(back.width, 123);
        EXPECT_EQ(back.height, 45);
        EXPECT_EQ(back.pixels, img.pixels);
    }
    EXPECT_THROW(decode_png("GIF89a"), std::runtime_error);
    EXPECT_THROW(read_png_file("/nonexistent/latest.png"), std::runtime_error);
}

TEST(Base64, EncodesTheStandardAlphabetWithPadding) {
    EXPECT_EQ(base64_encode(""), "");
    EXPECT_EQ(base64_encode("f"), "Zg==");
    EXPECT_EQ(base64_encode("fo"), "Zm8=");
    EXPECT_EQ(base64_encode("foo"), "Zm9v");
    EXPECT_EQ(base64_encode("\xfb\xff\xbf"), "+/+/");
    const std::string bytes = encode_png(noise(10, 10, 1));
    EXPECT_EQ(base64_decode(base64_encode(bytes)), bytes);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string_view part(bytes.data(), n);
        ASSERT_EQ(std::string_view(base64_encode_json(part)), base64_encode(part)) << n << " bytes";
    }
}

}  // namespace
}  // namespace norvex::pc::deskhand
