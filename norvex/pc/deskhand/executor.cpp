// The executor's state: lazy screen detection, the scale between the two spaces, display info and tool definition.
#include "norvex/pc/deskhand/executor.hpp"

#include "norvex/common/logging.hpp"
#include "norvex/common/py_round.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/pc/deskhand/host_defaults.hpp"
#include "norvex/pc/deskhand/scaling.hpp"
#include "norvex/pc/deskhand/screenshot_buffers.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

std::shared_ptr<spdlog::logger> log() { return logging::get("norvex.pc.deskhand"); }

// int(word) for the decimal words of a display report; anything else throws.
std::int64_t parse_int(std::string_view word) {
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size())
        throw std::invalid_argument("invalid literal for int() with base 10: '" + std::string(word) + "'");
    return value;
}

// str.split() without arguments: words between runs of white space.
std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    std::string current;
    for (char32_t c : pystr::to_u32(line)) {
        if (pystr::is_space(c)) {
            if (!current.empty()) words.push_back(std::move(current));
            current.clear();
        } else {
            pystr::append_utf8(current, c);
        }
    }
    if (!current.empty()) words.push_back(std::move(current));
    return words;
}

}  // namespace

boost::json::object text_result(std::string text) {
    return {{"type", "text"}, {"text", std::move(text)}};
}

boost::json::object error_result(std::string error) {
    return {{"type", "error"}, {"error", std::move(error)}};
}

boost::json::object image_result(boost::json::string base64) {
    return {{"type", "image"}, {"base64", std::move(base64)}, {"media_type", "image/png"}};
}

DeskhandExecutor::DeskhandExecutor(DeskhandOptions options)
    : _display_number(options.display_number), options_(std::move(options)) {
    fill_defaults(options_);
}

DeskhandExecutor::~DeskhandExecutor() = default;

std::filesystem::path DeskhandExecutor::screenshot_dir() const {
    const auto data = options_.data_dir.empty() ? default_data_dir() : options_.data_dir;
    return data / "screenshots";
}

Desktop& DeskhandExecutor::_desktop() {
    if (!desktop_) {
        desktop_ = options_.open_desktop();
        if (!desktop_)
            throw DesktopError("The desktop factory gave no desktop; give DeskhandOptions::open_desktop a working one");
        desktop_->set_interruption([this] { _check_interrupted(); });
        if (measure_on_open_) {
            // The server answering now may not be the one measured before
            // (restarted at another size), or none could be measured then.
            _initialized = false;
            _ensure_initialized();
        }
    }
    return *desktop_;
}

void DeskhandExecutor::_drop_lost_desktop() {
    // A broken connection stays broken; only a new desktop can act again.
    desktop_.reset();
    measure_on_open_ = true;
}

void DeskhandExecutor::connect_desktop() {
    _ensure_initialized();
    try {
        _desktop();
    } catch (const DesktopError&) {
        throw;
    } catch (const std::exception& e) {
        throw DesktopError(e.what());
    }
}

void DeskhandExecutor::_check_interrupted() const {
    if (options_.interrupted && options_.interrupted())
        throw DesktopError("interrupted by the caller before it finished; take a screenshot to see how far it got");
}

void DeskhandExecutor::_pause(double seconds) {
    // What time.sleep refuses, refused the same way whatever sleep was injected.
    if (std::isnan(seconds))
        throw std::invalid_argument("Invalid value NaN (not a number); give the duration in seconds, 0 or more");
    if (seconds < 0)
        throw std::invalid_argument("sleep length must be non-negative; give the duration in seconds, 0 or more");
    options_.sleep(seconds);
}

void DeskhandExecutor::_ensure_initialized() {
    if (_initialized) return;
    try {
        _detect_screen_size();
        _initialized = true;
    } catch (const std::exception& e) {
        log()->warn("Could not detect screen size: {}. Using defaults.", e.what());
        _screen_width = FALLBACK_SCREEN_WIDTH;
        _screen_height = FALLBACK_SCREEN_HEIGHT;
        measure_on_open_ = true;
        _compute_scale();
        _initialized = true;
    }
}

void DeskhandExecutor::_detect_screen_size() {
    const std::string& system = options_.system_name;
    measure_on_open_ = false;
    auto fallback = [this] {
        _screen_width = FALLBACK_SCREEN_WIDTH;
        _screen_height = FALLBACK_SCREEN_HEIGHT;
        measure_on_open_ = true;
    };
    if (system == "Windows") {
        // The Windows display metrics exist only in a Windows build; elsewhere
        // this is the "library unavailable" case.
        fallback();
    } else if (system == "Darwin") {
        try {
            _detect_darwin();
        } catch (const std::exception&) {
            fallback();
        }
    } else {
        try {
            std::optional<std::pair<std::int64_t, std::int64_t>> size;
            if (options_.screen_size) size = options_.screen_size();
            if (!size) {
                fallback();
            } else {
                _screen_width = size->first;
                _screen_height = size->second;
            }
        } catch (const std::exception&) {
            fallback();
        }
    }
    _compute_scale();
}

void DeskhandExecutor::_detect_darwin() {
    // A width of 0 means "not found yet", also when measuring again.
    _screen_width = 0;
    _screen_height = 0;
    const CommandOutput report = options_.run({"system_profiler", "SPDisplaysDataType"}, 5.0);
    for (std::string_view line : pystr::splitlines(report.out)) {
        if (line.find("Resolution") == std::string_view::npos) continue;
        const auto words = split_words(line);
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (words[i] == "x" && i > 0 && i + 1 < words.size()) {
                _screen_width = parse_int(words[i - 1]);
                _screen_height = parse_int(words[i + 1]);
                break;
            }
        }
        if (_screen_width > 0) break;
    }
    if (_screen_width == 0) {
        _screen_width = FALLBACK_SCREEN_WIDTH;
        _screen_height = FALLBACK_SCREEN_HEIGHT;
        measure_on_open_ = true;
    }
}

void DeskhandExecutor::_compute_scale() {
    _scale_factor = _get_scale_factor(_screen_width, _screen_height);
    _api_width = static_cast<std::int64_t>(static_cast<double>(_screen_width) * _scale_factor);
    _api_height = static_cast<std::int64_t>(static_cast<double>(_screen_height) * _scale_factor);
    log()->info("Screen: {}x{}, API: {}x{}, Scale: {:.3f}", _screen_width, _screen_height, _api_width, _api_height,
                _scale_factor);
}

std::pair<std::int64_t, std::int64_t> DeskhandExecutor::_to_screen_coords(std::int64_t api_x,
                                                                           std::int64_t api_y) const {
    if (_scale_factor >= 1.0) return {api_x, api_y};
    auto convert = [this](std::int64_t v, std::int64_t size) {
        const double scaled = std::trunc(static_cast<double>(v) / _scale_factor);
        // Clamped as a real first: a huge value must not overflow the integer.
        const double clamped = std::max(0.0, std::min(scaled, static_cast<double>(size - 1)));
        return static_cast<std::int64_t>(clamped);
    };
    return {convert(api_x, _screen_width), convert(api_y, _screen_height)};
}

boost::json::object DeskhandExecutor::get_display_info() {
    _ensure_initialized();
    boost::json::object info;
    info["screen_width"] = _screen_width;
    info["screen_height"] = _screen_height;
    info["api_width"] = _api_width;
    info["api_height"] = _api_height;
    info["scale_factor"] = py_round(_scale_factor, 3);
    if (_last_screenshot_path)
        info["last_screenshot"] = *_last_screenshot_path;
    else
        info["last_screenshot"] = nullptr;
    return info;
}

boost::json::object DeskhandExecutor::get_tool_definition() {
    _ensure_initialized();
    boost::json::object def;
    def["type"] = "computer_20250124";
    def["name"] = "computer";
    def["display_width_px"] = _api_width;
    def["display_height_px"] = _api_height;
    if (_display_number) def["display_number"] = *_display_number;
    return def;
}

}  // namespace norvex::pc::deskhand
