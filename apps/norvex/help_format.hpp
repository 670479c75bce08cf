// The layout of every help text: CLI11's, with "Commands" for its subcommands and no stray blank lines.
#pragma once

#include <CLI/Formatter.hpp>

#include <string>

namespace norvex::cli {

class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter();
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
};

}  // namespace norvex::cli
