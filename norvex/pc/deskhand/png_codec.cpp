// PNG encoding and decoding through libspng.
#include "norvex/pc/deskhand/image_codec.hpp"
#include "norvex/pc/deskhand/png_small.hpp"

#include <spng.h>
#include <zlib.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

struct CtxFree {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};
using Ctx = std::unique_ptr<spng_ctx, CtxFree>;

void check(int err, const char* what) {
    if (err) throw std::runtime_error(std::string(what) + ": " + spng_strerror(err));
}

}  // namespace

std::string encode_png(const RgbImage& image, PngEffort effort) {
    check_encodable(image);
    if (effort == PngEffort::small) return encode_png_small(image);
    Ctx ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) throw std::runtime_error("PNG encoder: out of memory");
    check(spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1), "PNG encoder");
    check(spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, Z_DEFAULT_COMPRESSION), "PNG encoder");
    spng_ihdr ihdr{};
    ihdr.width = static_cast<std::uint32_t>(image.width);
    ihdr.height = static_cast<std::uint32_t>(image.height);
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    check(spng_set_ihdr(ctx.get(), &ihdr), "PNG encoder header");
    check(spng_encode_image(ctx.get(), image.pixels.data(), image.pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE),
          "PNG encoding");
    std::size_t len = 0;
    int err = 0;
    void* buf = spng_get_png_buffer(ctx.get(), &len, &err);
    check(err, "PNG encoder buffer");
    std::string out(static_cast<const char*>(buf), len);
    std::free(buf);
    return out;
}

RgbImage decode_png(std::string_view png) {
    Ctx ctx(spng_ctx_new(0));
    if (!ctx) throw std::runtime_error("PNG decoder: out of memory");
    // Screens up to 16k x 16k; anything larger is not a screenshot.
    spng_set_image_limits(ctx.get(), 16384, 16384);
    check(spng_set_png_buffer(ctx.get(), png.data(), png.size()), "not a PNG image");
    spng_ihdr ihdr{};
    check(spng_get_ihdr(ctx.get(), &ihdr), "not a readable PNG image");
    std::size_t size = 0;
    check(spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &size), "PNG image");
    RgbImage img{static_cast<int>(ihdr.width), static_cast<int>(ihdr.height), std::vector<std::uint8_t>(size)};
    check(spng_decode_image(ctx.get(), img.pixels.data(), size, SPNG_FMT_RGB8, SPNG_DECODE_TRNS), "PNG decoding");
    return img;
}

RgbImage read_png_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string() + ": the capture program wrote no file there");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    try {
        return decode_png(bytes.str());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path.string() + ": " + e.what());
    }
}

}  // namespace norvex::pc::deskhand
