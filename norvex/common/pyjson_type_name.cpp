// The Python type name of a decoded JSON value.
#include "norvex/common/pyjson.hpp"

namespace norvex::pyjson {

std::string_view type_name(const boost::json::value& value) noexcept {
    switch (value.kind()) {
        case boost::json::kind::null: return "NoneType";
        case boost::json::kind::bool_: return "bool";
        case boost::json::kind::int64:
        case boost::json::kind::uint64: return "int";
        case boost::json::kind::double_: return "float";
        case boost::json::kind::string: return "str";
        case boost::json::kind::array: return "list";
        case boost::json::kind::object: return "dict";
    }
    return "object";
}

}  // namespace norvex::pyjson
