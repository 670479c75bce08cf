// A matcher for texts people read: no source location of the build, no bracketed error code.
#pragma once

#include <gmock/gmock.h>

#include <string>

namespace norvex::testing {

// Boost's what() of a system error ends in "[system:125 at /usr/include/boost/
// asio/detail/descriptor_read_op.hpp:116:5 in function ...]"; none of that
// may reach a message, a record or an answer.
inline ::testing::Matcher<const std::string&> CarriesNoSourceLocation() {
    using ::testing::HasSubstr;
    return ::testing::Not(::testing::AnyOf(HasSubstr("/usr/include"), HasSubstr(".hpp:"), HasSubstr("boost/"),
                                           HasSubstr("[system:"), HasSubstr(" in function ")));
}

}  // namespace norvex::testing
