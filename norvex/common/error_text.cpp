// Error texts for people: a system error's context and message, never where in Boost it was raised.
#include "norvex/common/error_text.hpp"

#include <utility>

namespace norvex {

SystemError::SystemError(const boost::system::error_code& code, std::string_view context)
    : boost::system::system_error(code),
      text_(context.empty() ? code.message() : std::string(context) + ": " + code.message()) {}

SystemError::SystemError(std::string text, const boost::system::error_code& code)
    : boost::system::system_error(code), text_(std::move(text)) {}

SystemError SystemError::from(const boost::system::system_error& e) { return SystemError(error_message(e), e.code()); }

std::string error_message(const std::exception& e) {
    const auto* system = dynamic_cast<const boost::system::system_error*>(&e);
    std::string text = e.what();
    if (system == nullptr || dynamic_cast<const SystemError*>(&e) != nullptr) return text;
    // Boost builds what() as the context, ": " and the code's what(), which
    // is the message followed by the bracketed category, number and location.
    const boost::system::error_code code = system->code();
    const std::string tail = code.what();
    if (text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
        return text.substr(0, text.size() - tail.size()) + code.message();
    // Some other layout: cut at the bracket Boost appends, wherever it is.
    if (const auto bracket = text.rfind(" [" + code.to_string()); bracket != std::string::npos)
        return text.substr(0, bracket);
    return text;
}

void rethrow_with_plain_text(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const SystemError&) {
        throw;
    } catch (const boost::system::system_error& system) {
        throw SystemError::from(system);
    }
}

}  // namespace norvex
