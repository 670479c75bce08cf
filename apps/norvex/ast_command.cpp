// `norvex ast`: a file's syntax tree as Python's ast.dump writes it, parsed in this process.
#include "commands.hpp"

#include "stdin_file.hpp"

#include "norvex/common/pystr.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/workers/astprobe/parse_file.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>

namespace norvex::cli {

void add_ast(CLI::App& parent, AstCommand& command) {
    command.app = parent.add_subcommand("ast", "Print the whole syntax tree of a Python file");
    command.app->add_option("path", command.path, "The Python file; - reads it from standard input")
        ->type_name("FILE")
        ->required();
    command.app->add_flag("--positions", command.positions, "Include line and column positions of every node");
}

int run_ast(const AstCommand& command) {
    // Standard input goes through a file too, so that the worker's reader
    // takes it: the file is read (encoding, line ends, "~") and its errors
    // are worded exactly as an analysis of it would report them.
    std::optional<StdinFile> copy;
    if (command.path == "-") copy.emplace();
    // parse_file takes text, as Python's sys.argv holds the command line's bytes.
    const astprobe::ParsedFile parsed = astprobe::parse_file(pystr::fsdecode(copy ? copy->path() : command.path));
    if (!parsed.ok()) {
        const std::string error = pystr::fsencode_replace(*parsed.error);
        std::cerr << "norvex ast: " << (copy ? copy->hide_path(error) : error) << '\n';
        return EXIT_FAILED;
    }
    pyast::DumpOptions options;
    options.include_attributes = command.positions;
    std::cout << pyast::dump(&parsed.module(), options) << '\n';
    return EXIT_OK;
}

}  // namespace norvex::cli
