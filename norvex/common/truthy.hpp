// Python's truth value of a JSON value.
#pragma once

#include <boost/json/value.hpp>

namespace norvex {

// True for true, non-zero numbers and non-empty strings, arrays and objects;
// false for null, false, zero and empty values.
inline bool truthy(const boost::json::value& v) noexcept {
    switch (v.kind()) {
        case boost::json::kind::null: return false;
        case boost::json::kind::bool_: return v.get_bool();
        case boost::json::kind::int64: return v.get_int64() != 0;
        case boost::json::kind::uint64: return v.get_uint64() != 0;
        case boost::json::kind::double_: return v.get_double() != 0.0;  // NaN is true, as in Python
        case boost::json::kind::string: return !v.get_string().empty();
        case boost::json::kind::array: return !v.get_array().empty();
        case boost::json::kind::object: return !v.get_object().empty();
    }
    return false;
}

}  // namespace norvex
