// Reading a Python file for analysis: its text and syntax tree, or the error a caller is shown.
#pragma once

#include "norvex/pyast/ast.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace norvex::astprobe {

// The outcome of parse_file: a tree and its text, or an error text; never both.
struct ParsedFile {
    std::unique_ptr<pyast::Tree> tree;  // null on failure
    std::string_view source;            // the text the tree was parsed from (the tree's); empty on failure
    std::optional<std::string> error;   // set exactly when tree is null

    bool ok() const noexcept { return tree != nullptr; }
    // The Module node; only when ok().
    const pyast::Node& module() const noexcept { return *tree->root; }
};

// Reads and parses one file. `path` is text as Python holds it: a file name
// that is not UTF-8 comes in its surrogate escapes (pystr::fsdecode), and
// every path in an error text is shown that way. Never throws: a missing
// file gives "File not found: " + path as written; anything but a regular
// file or a folder (a FIFO, a device) gives "Not a regular file: " + path +
// " is a named pipe (FIFO); ..." without being opened for reading; a syntax
// error gives "Syntax error at line N: msg"; any other failure gives its
// message in Python's form ("[Errno 21] Is a directory: '/abs/dir'").
ParsedFile parse_file(std::string_view path);

// The text of a file's bytes: a leading UTF-8 byte order mark dropped, every
// maximal invalid UTF-8 subsequence replaced by U+FFFD, "\r\n" and lone "\r"
// turned into "\n".
std::string decode_source(std::string_view bytes);

// os.path.expanduser: "~" and "~/..." use $HOME (else the password entry of
// this user), "~name/..." that user's home; an unknown user leaves the path
// as it is.
std::string expand_user(std::string_view path);

}  // namespace norvex::astprobe
