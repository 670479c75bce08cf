// `norvex computer`: one call of the computer-use executor on the desktop of $DISPLAY.
#include "commands.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>

namespace norvex::cli {

void add_computer(CLI::App& parent, ComputerCommand& command) {
    command.app = parent.add_subcommand(
        "computer",
        "Run one computer-use action on the desktop of $DISPLAY (or `info`, `tool-definition`) and print the result");
    command.app->add_option("action", command.action,
                            "info, tool-definition, or an action: screenshot, left_click, type, key, scroll, wait, ...")
        ->required();
    command.app->add_option("--json", command.json, R"(The action's parameters, e.g. '{"coordinate": [500, 300]}')");
    command.app->add_option("--out", command.out, "screenshot only: write the PNG to this file");
    command.app->add_option("--data-dir", command.data_dir, "Folder for screenshots/latest.png (default ~/.norvex)");
}

int run_computer(const ComputerCommand& command) {
    pc::deskhand::DeskhandOptions options;
    options.data_dir = command.data_dir;
    pc::deskhand::DeskhandExecutor executor(std::move(options));

    if (command.action == "info" || command.action == "tool-definition") {
        const auto map = command.action == "info" ? executor.get_display_info() : executor.get_tool_definition();
        std::cout << pyjson::dumps(map, pyjson::Layout::indent2) << '\n';
        return EXIT_OK;
    }
    boost::json::object params;
    if (!command.json.empty()) {
        boost::json::value parsed;
        try {
            parsed = pyjson::parse(command.json);
        } catch (const pyjson::DecodeError& e) {
            std::cerr << "norvex computer: --json is not valid JSON: " << e.what() << '\n';
            return EXIT_USAGE;
        }
        if (!parsed.is_object()) {
            std::cerr << "norvex computer: --json must be a JSON object of parameters, such as "
                         "'{\"coordinate\": [500, 300]}'\n";
            return EXIT_USAGE;
        }
        params = std::move(parsed.as_object());
    }
    if (!command.out.empty() && command.action != "screenshot") {
        std::cerr << "norvex computer: --out goes with the screenshot action only\n";
        return EXIT_USAGE;
    }
    auto result = executor.execute_action(command.action, params);
    const bool failed = result.at("type").as_string() == "error";
    if (!command.out.empty() && !failed) {
        const std::string png = pc::deskhand::base64_decode(result.at("base64").as_string());
        std::ofstream file(command.out, std::ios::binary);
        if (!(file << png)) {
            std::cerr << "norvex computer: cannot write " << command.out << "; check the folder exists and is writable\n";
            return EXIT_FAILED;
        }
        // The picture went to the file; the map says where instead of repeating it.
        result.erase("base64");
        result["file"] = command.out;
        result["bytes"] = static_cast<std::int64_t>(png.size());
    }
    std::cout << pyjson::dumps(result, pyjson::Layout::indent2) << '\n';
    return failed ? EXIT_FAILED : EXIT_OK;
}

}  // namespace norvex::cli
