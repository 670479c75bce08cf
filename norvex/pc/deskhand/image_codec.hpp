// Images for the model: bicubic shrinking, PNG in and out, Base64.
#pragma once

#include "norvex/pc/desktop/desktop.hpp"

#include <boost/json/string.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace norvex::pc::deskhand {

// The image resampled to width x height with the Keys cubic (a = -0.5,
// Catmull-Rom), its support widened by the shrink ratio as an antialiasing
// filter, weights renormalised at the borders, horizontal pass first with
// 8-bit rounding in between: the "bicubic" of the common imaging libraries.
RgbImage resize_bicubic(const RgbImage& image, int width, int height);

// resize_bicubic for image after image: the intermediate image, the result's
// buffer and the weights (while the sizes stay) are kept from call to call.
class BicubicResizer {
public:
    BicubicResizer();
    ~BicubicResizer();
    BicubicResizer(const BicubicResizer&) = delete;
    BicubicResizer& operator=(const BicubicResizer&) = delete;

    // `out` (not `image` itself) becomes `image` resampled to width x height.
    void resize(const RgbImage& image, int width, int height, RgbImage& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

enum class PngEffort {
    small,  // the smallest at a reasonable cost (entropy-chosen filters, libdeflate): what the model is sent
    quick,  // libspng with zlib's defaults: files nobody sends
};

// The image as PNG bytes (8-bit RGB, no ancillary chunks).
std::string encode_png(const RgbImage& image, PngEffort effort = PngEffort::small);

// Decodes PNG bytes of any colour type and depth to 8-bit RGB (alpha
// dropped). Throws std::runtime_error saying what is wrong with them.
RgbImage decode_png(std::string_view png);
RgbImage read_png_file(const std::filesystem::path& path);

// Standard Base64 (RFC 4648 alphabet, '=' padding, no line breaks).
std::string base64_encode(std::string_view bytes);
// The same made straight into the text of a result map, without a copy.
boost::json::string base64_encode_json(std::string_view bytes);
std::string base64_decode(std::string_view text);

}  // namespace norvex::pc::deskhand
