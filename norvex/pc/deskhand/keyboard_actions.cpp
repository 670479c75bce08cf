// The keyboard handlers and the pause: typing key by key, keys and combinations, holding, waiting.
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/key_map.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace norvex::pc::deskhand {

namespace {

// No pause between typed characters: the display server queues the key
// events for the focused client, which reads them at its own pace, so
// waiting gains nothing: xterm under Xvfb takes 1,000 characters sent back
// to back without losing one, in about 12 ms (bench/desktop_type_bench.cpp).
constexpr double TYPING_INTERVAL_SECONDS = 0.0;

}  // namespace

boost::json::object DeskhandExecutor::_action_type(const std::string& text) {
    if (text.empty()) return error_result("type requires text parameter");
    Desktop& desktop = _desktop();
    // Key events, not a paste: a paste shortcut is not the same everywhere
    // (a terminal takes ctrl+v as a character of its own), nothing tells
    // whether the paste arrived, and it overwrites the user's clipboard,
    // which cannot be put back safely while the target may still be reading
    // it. Key events reach whatever has the focus, and a failure to send
    // them throws here, so the action never reports text it did not type.
    desktop.write(text, TYPING_INTERVAL_SECONDS);
    std::string shown(pystr::cut(text, 50));
    if (pystr::length(text) > 50) shown += "...";
    return text_result("Typed: " + shown);
}

boost::json::object DeskhandExecutor::_action_key(const std::string& text) {
    if (text.empty()) return error_result("key requires text parameter");
    Desktop& desktop = _desktop();
    if (text.find('+') != std::string::npos) {
        std::vector<std::string> keys;
        std::size_t start = 0;
        while (true) {
            const std::size_t plus = text.find('+', start);
            const std::string_view piece =
                pystr::strip(std::string_view(text).substr(start, plus == std::string::npos ? plus : plus - start));
            auto key = mapped_key(piece);
            keys.push_back(key ? *key : pystr::lower(piece));
            if (plus == std::string::npos) break;
            start = plus + 1;
        }
        if (system_name() == "Darwin") std::replace(keys.begin(), keys.end(), std::string("ctrl"), std::string("command"));
        desktop.hotkey(keys);
        return text_result(fmt::format("Pressed: {}", fmt::join(keys, "+")));
    }
    auto mapped = mapped_key(text);
    const std::string key = mapped ? *mapped : pystr::lower(text);
    desktop.press(key);
    return text_result("Pressed: " + key);
}

boost::json::object DeskhandExecutor::_action_hold_key(const std::string& text, double duration) {
    if (text.empty()) return error_result("hold_key requires text parameter");
    // Refused before the key goes down: a failing pause after key_down would
    // leave the key held.
    if (std::isnan(duration) || duration < 0)
        return error_result("hold_key requires a duration of 0 or more seconds, got " + pyjson::float_repr(duration));
    Desktop& desktop = _desktop();
    const std::string key = pystr::lower(text);
    desktop.key_down(key);
    try {
        _pause(std::min(duration, 5.0));
    } catch (...) {
        desktop.key_up(key);
        throw;
    }
    desktop.key_up(key);
    return text_result("Held " + key + " for " + pyjson::float_repr(duration) + "s");
}

boost::json::object DeskhandExecutor::_action_wait(double duration) {
    // min() as Python's: a NaN duration stays NaN and the pause refuses it.
    const double d = std::isnan(duration) ? duration : std::min(duration, 10.0);
    _pause(d);
    return text_result("Waited " + pyjson::float_repr(d) + "s");
}

}  // namespace norvex::pc::deskhand
