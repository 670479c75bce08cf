// `norvex analyze` for people: compact views of a whole analysis and a summary, a tidy rendering of the rest.
#pragma once

#include <boost/json/value.hpp>

#include <string>
#include <string_view>

namespace norvex::cli {

// The readable text of the worker's `result` for `operation`. The "analyze"
// and "summarize" results get views of their own; `json_command` is the
// command line that prints everything, shown at the end of the "analyze"
// view. A result of another shape than expected falls back to the generic
// rendering rather than failing.
std::string analysis_text(std::string_view operation, const boost::json::value& result,
                          std::string_view json_command);

}  // namespace norvex::cli
