// Shell completion made from the live command tree, so it names exactly what the parser accepts.
#pragma once

#include <CLI/App.hpp>

#include <string>

namespace norvex::cli {

// A bash script defining `_norvex` and registering it for the norvex
// command: it completes commands and their subcommands, the options in
// reach at each (those of commands that pass unknown options up included),
// the listed choices of options and arguments ({a,b} in their help), and
// file or folder names for FILE and DIR values.
std::string bash_completion(const CLI::App& root);

}  // namespace norvex::cli
