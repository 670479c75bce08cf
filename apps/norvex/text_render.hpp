// Readable text for people: aligned tables, one-line cells, and a tidy rendering of any JSON result.
#pragma once

#include <boost/json/value.hpp>

#include <string>
#include <vector>

namespace norvex::cli {

struct Column {
    std::string header;
    bool right = false;  // numbers line up on the right
};

// The rows under their headers, each column as wide as its widest cell (in
// characters), two spaces apart, every line indented by `indent` spaces and
// ending in a line feed; trailing spaces are dropped.
std::string format_table(const std::vector<Column>& columns, const std::vector<std::vector<std::string>>& rows,
                         std::size_t indent = 0);

// A value as one line: text as it is (its first line), numbers as Python
// writes them, true and false as yes and no, null and empty text as "-",
// lists joined with ", ", dictionaries as their non-empty values joined with
// ": " ({"name": "path", "annotation": "Path"} reads "path: Path"). Cut to
// 60 characters with "…".
std::string cell_text(const boost::json::value& value);

// The words joined with ", " into lines of at most `width` characters, each
// line indented by `indent` spaces; ends in a line feed.
std::string wrap_list(const std::vector<std::string>& words, std::size_t width, std::size_t indent);

// Any result for people, whatever its shape: dictionaries as aligned
// "key  value" lines, with lists of dictionaries as tables under a heading
// naming the key and the count; lists of dictionaries as tables whose
// columns are the keys; "(none)" for what is empty. Ends in a line feed.
std::string readable(const boost::json::value& value);

}  // namespace norvex::cli
