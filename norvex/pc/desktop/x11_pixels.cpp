// Pixel conversion from X images to packed RGB.
#include "norvex/pc/desktop/x11_pixels.hpp"

#include <bit>
#include <cstdint>
#include <string>

namespace norvex::pc::x11 {

namespace {

struct Channel {
    int shift = 0;
    int bits = 0;
    unsigned long mask = 0;

    explicit Channel(unsigned long m) : shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)), mask(m) {}

    std::uint8_t of(std::uint32_t pixel) const {
        const std::uint32_t v = static_cast<std::uint32_t>((pixel & mask) >> shift);
        if (bits == 8) return static_cast<std::uint8_t>(v);
        if (bits == 0) return 0;
        // Scale a narrower or wider channel to 0..255.
        const std::uint32_t top = (1u << bits) - 1;
        return static_cast<std::uint8_t>((v * 255u + top / 2) / top);
    }
};

}  // namespace

RgbImage to_rgb(const XImage& image, const Visual& visual) {
    RgbImage out;
    to_rgb(image, visual, out);
    return out;
}

void to_rgb(const XImage& image, const Visual& visual, RgbImage& out) {
    const int bpp = image.bits_per_pixel;
    if (bpp != 24 && bpp != 32)
        throw DesktopError("the X screen uses " + std::to_string(bpp) +
                           " bits per pixel; screenshots need a 24- or 32-bit TrueColor screen (start the X server with depth 24)");
    out.width = image.width;
    out.height = image.height;
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 3);
    const Channel red(visual.red_mask);
    const Channel green(visual.green_mask);
    const Channel blue(visual.blue_mask);
    const int bytes = bpp / 8;
    const bool lsb = image.byte_order == LSBFirst;
    const bool common = bpp == 32 && lsb && red.shift == 16 && green.shift == 8 && blue.shift == 0 &&
                        red.bits == 8 && green.bits == 8 && blue.bits == 8;

    std::uint8_t* dst = out.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(image.data) + static_cast<std::ptrdiff_t>(y) * image.bytes_per_line;
        if (common) {
            // Bytes B, G, R, X in memory: the layout of nearly every X server today.
            for (int x = 0; x < image.width; ++x, row += 4, dst += 3) {
                dst[0] = row[2];
                dst[1] = row[1];
                dst[2] = row[0];
            }
            continue;
        }
        for (int x = 0; x < image.width; ++x, row += bytes, dst += 3) {
            std::uint32_t pixel = 0;
            for (int i = 0; i < bytes; ++i) {
                const std::uint32_t byte = row[lsb ? i : bytes - 1 - i];
                pixel |= byte << (8 * i);
            }
            dst[0] = red.of(pixel);
            dst[1] = green.of(pixel);
            dst[2] = blue.of(pixel);
        }
    }
}

}  // namespace norvex::pc::x11
