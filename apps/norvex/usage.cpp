// Checks and echoes behind the usage errors of the command line.
#include "usage.hpp"

#include "suggest.hpp"

#include "norvex/common/pystr.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <charconv>

namespace norvex::cli {

namespace {

constexpr std::size_t ECHO_LIMIT = 20;
constexpr std::size_t ECHO_KEPT = 16;

std::string braced(const std::vector<std::string>& names) {
    return "{" + fmt::format("{}", fmt::join(names, ",")) + "}";
}

// A validator whose description is made when it is shown.
class LazyDescription : public CLI::Validator {
public:
    explicit LazyDescription(std::function<std::string()> describe) { desc_function_ = std::move(describe); }
};

}  // namespace

std::string echo(std::string_view typed) {
    // Control characters would drive the terminal rather than show; they are written as escapes.
    std::string text;
    for (const char c : pystr::decode_utf8_replace(typed)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            text += fmt::format("\\x{:02x}", byte);
        } else {
            text += c;
        }
    }
    if (pystr::length(text) <= ECHO_LIMIT) return "'" + text + "'";
    return "'" + std::string(pystr::cut(text, ECHO_KEPT)) + "…'";
}

CLI::Validator integer_range(std::string option, std::int64_t low, std::int64_t high) {
    auto check = [option = std::move(option), low, high](std::string& text) -> std::string {
        const std::string wanted = fmt::format("{} must be an integer from {} to {}", option, low, high);
        const char* first = text.data();
        const char* last = text.data() + text.size();
        // from_chars takes no plus sign, but people do write one.
        if (last - first > 1 && first[0] == '+' && first[1] >= '0' && first[1] <= '9') ++first;
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(first, last, value);
        const bool digits_only = first != last && end == last;
        if (ec == std::errc::invalid_argument || !digits_only) {
            throw UsageError(fmt::format("{}; {} is not an integer", wanted, echo(text)));
        }
        // Too large for 64 bits is out of range too: said without the overflowed value.
        if (ec == std::errc::result_out_of_range || value < low || value > high) {
            throw UsageError(fmt::format("{}, not {}", wanted, echo(text)));
        }
        return {};
    };
    return CLI::Validator(std::move(check), "");
}

CLI::Validator one_of(std::string option, std::vector<std::string> names) {
    std::string description = braced(names);
    auto check = [option = std::move(option), names = std::move(names)](std::string& text) -> std::string {
        for (const std::string& name : names) {
            if (text == name) return {};
        }
        throw UsageError(fmt::format("{} must be one of {}, not {}{}", option, fmt::join(names, ", "), echo(text),
                                     did_you_mean(text, names, "")));
    };
    return CLI::Validator(std::move(check), std::move(description));
}

CLI::Validator choices_hint(std::function<std::vector<std::string>()> names) {
    return LazyDescription([names = std::move(names)] { return braced(names()); });
}

}  // namespace norvex::cli
