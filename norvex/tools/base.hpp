// The host's tool interface, reduced to what the agent's tool registry reads and calls.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/json/object.hpp>

#include <string>

namespace norvex::tools {

// A tool the model can call. The registry offers it to the model by its
// name, description and argument schema, and runs execute with the model's
// keyword arguments; whatever execute returns is the text the model reads,
// so failures come back as text rather than exceptions.
class Tool {
public:
    virtual ~Tool() = default;

    virtual std::string name() const = 0;
    virtual std::string description() const = 0;
    // A JSON Schema object describing the keyword arguments.
    virtual boost::json::object parameters() const = 0;
    virtual boost::asio::awaitable<std::string> execute(boost::json::object kwargs) = 0;

protected:
    Tool() = default;
    Tool(const Tool&) = default;
    Tool& operator=(const Tool&) = default;
};

}  // namespace norvex::tools
