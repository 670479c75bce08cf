// Named-argument binding for the handlers, refusing what a Python call would refuse.
#include "norvex/pc/deskhand/params.hpp"

#include "norvex/common/pyjson.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace norvex::pc::deskhand {

namespace {

// int(x) of a real, with Python's refusals of NaN and infinities; values
// beyond 64 bits are refused too (no caller can use them).
std::int64_t truncate_real(double d) {
    if (std::isnan(d)) throw std::invalid_argument("cannot convert float NaN to integer");
    if (std::isinf(d)) throw std::invalid_argument("cannot convert float infinity to integer");
    const double t = std::trunc(d);
    if (t < -9.2e18 || t > 9.2e18)
        throw std::invalid_argument("number " + pyjson::float_repr(d) + " is too large for a screen or step count");
    return static_cast<std::int64_t>(t);
}

std::int64_t exact_integer(const boost::json::value& v) {
    if (v.is_int64()) return v.get_int64();
    if (v.is_uint64()) {
        if (v.get_uint64() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw std::invalid_argument("number " + std::to_string(v.get_uint64()) +
                                        " is too large for a screen or step count");
        return static_cast<std::int64_t>(v.get_uint64());
    }
    return truncate_real(v.get_double());
}

}  // namespace

std::int64_t coordinate_number(const boost::json::value& v) {
    if (!v.is_number())
        throw std::invalid_argument("coordinate values must be numbers, not " + std::string(pyjson::type_name(v)) +
                                    "; send the coordinate as [x, y]");
    return exact_integer(v);
}

BoundParams::BoundParams(std::string handler, const boost::json::object& params,
                         std::span<const std::string_view> names)
    : handler_(std::move(handler)), params_(params) {
    for (const auto& [key, value] : params) {
        bool known = false;
        for (auto n : names) known = known || n == std::string_view(key);
        if (!known)
            throw std::invalid_argument(handler_ + "() got an unexpected keyword argument '" + std::string(key) + "'");
    }
}

const boost::json::value* BoundParams::find(std::string_view name) const { return params_.if_contains(name); }

void BoundParams::wrong_kind(std::string_view name, std::string_view expected, const boost::json::value& v) const {
    throw std::invalid_argument(handler_ + "() argument '" + std::string(name) + "' must be " + std::string(expected) +
                                ", not " + std::string(pyjson::type_name(v)));
}

std::optional<boost::json::array> BoundParams::coordinate(std::string_view name) const {
    const auto* v = find(name);
    if (!v || v->is_null()) return std::nullopt;
    if (!v->is_array()) wrong_kind(name, "a list [x, y]", *v);
    return v->get_array();
}

std::string BoundParams::text(std::string_view name, std::string_view fallback) const {
    const auto* v = find(name);
    if (!v || v->is_null()) return v ? std::string() : std::string(fallback);
    if (!v->is_string()) wrong_kind(name, "str", *v);
    return std::string(v->get_string());
}

std::string BoundParams::strict_text(std::string_view name, std::string_view fallback) const {
    const auto* v = find(name);
    if (!v) return std::string(fallback);
    if (!v->is_string()) wrong_kind(name, "str", *v);
    return std::string(v->get_string());
}

std::int64_t BoundParams::integer(std::string_view name, std::int64_t fallback) const {
    const auto* v = find(name);
    if (!v) return fallback;
    if (!v->is_number()) wrong_kind(name, "int", *v);
    return exact_integer(*v);
}

double BoundParams::real(std::string_view name, double fallback) const {
    const auto* v = find(name);
    if (!v) return fallback;
    if (!v->is_number()) wrong_kind(name, "float", *v);
    return v->to_number<double>();
}

}  // namespace norvex::pc::deskhand
