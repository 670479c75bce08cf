// Binding the model's named arguments to a handler's parameters, with Python's call-time messages.
#pragma once

#include <boost/json/object.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvex::pc::deskhand {

// The arguments of one handler call. The constructor refuses a name the
// handler does not declare with std::invalid_argument, worded as Python's
// TypeError ("_action_scroll() got an unexpected keyword argument 'bogus'");
// the getters refuse a value of the wrong kind the same way.
class BoundParams {
public:
    BoundParams(std::string handler, const boost::json::object& params, std::span<const std::string_view> names);

    // A list, or none when absent or null.
    std::optional<boost::json::array> coordinate(std::string_view name) const;
    // Text; absent or null gives `fallback` (null counts as no text).
    std::string text(std::string_view name, std::string_view fallback) const;
    // Text that must be text when given (null is refused).
    std::string strict_text(std::string_view name, std::string_view fallback) const;
    // An integer; a real is truncated toward zero.
    std::int64_t integer(std::string_view name, std::int64_t fallback) const;
    // A real; integers accepted.
    double real(std::string_view name, double fallback) const;

private:
    const boost::json::value* find(std::string_view name) const;
    [[noreturn]] void wrong_kind(std::string_view name, std::string_view expected, const boost::json::value& v) const;

    std::string handler_;
    const boost::json::object& params_;
};

// A number of a coordinate as an integer (reals truncated toward zero);
// anything else throws std::invalid_argument.
std::int64_t coordinate_number(const boost::json::value& v);

}  // namespace norvex::pc::deskhand
