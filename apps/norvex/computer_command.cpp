// `norvex computer`: one call of the computer-use executor on the desktop of $DISPLAY.
#include "commands.hpp"

#include "computer_help.hpp"
#include "suggest.hpp"
#include "usage.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/image_codec.hpp"

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <fstream>
#include <iostream>
#include <vector>

namespace norvex::cli {

namespace json = boost::json;

namespace {

json::object parse_params(const std::string& text) {
    if (text.empty()) return {};
    json::value parsed;
    try {
        parsed = pyjson::parse(text);
    } catch (const pyjson::DecodeError& e) {
        throw UsageError(std::string("--params is not valid JSON: ") + e.what() +
                         "; give one JSON object, such as '{\"coordinate\": [500, 300]}'");
    }
    if (!parsed.is_object()) {
        throw UsageError("--params must be a JSON object of parameters, such as '{\"coordinate\": [500, 300]}'");
    }
    return std::move(parsed.as_object());
}

// Width and height from a PNG's header (IHDR comes first), or zeros.
std::pair<std::uint32_t, std::uint32_t> png_size(std::string_view png) {
    if (png.size() < 24) return {0, 0};
    auto be32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

std::string info_line(const json::object& info) {
    const json::value& last = info.at("last_screenshot");
    return fmt::format("screen {}x{}, screenshots {}x{} (scale factor {}); coordinates are in screenshot pixels{}",
                       pyjson::dumps(info.at("screen_width")), pyjson::dumps(info.at("screen_height")),
                       pyjson::dumps(info.at("api_width")), pyjson::dumps(info.at("api_height")),
                       pyjson::dumps(info.at("scale_factor")),
                       last.is_string() ? "; last screenshot: " + std::string(last.get_string()) : "");
}

// A screenshot for people: where the picture is, never the picture itself.
int print_screenshot(const ComputerCommand& command, pc::deskhand::DeskhandExecutor& executor, json::object result) {
    const std::string png = pc::deskhand::base64_decode(result.at("base64").as_string());
    if (!command.out.empty()) {
        std::ofstream file(command.out, std::ios::binary);
        if (!(file << png) || !file.flush()) {
            std::cerr << "norvex computer: cannot write " << command.out
                      << "; check the folder exists and is writable\n";
            return EXIT_FAILED;
        }
        // The picture went to the file; the map says where instead of repeating it.
        result.erase("base64");
        result["file"] = command.out;
        result["bytes"] = static_cast<std::int64_t>(png.size());
    }
    if (command.json) {
        std::cout << pyjson::dumps(result, pyjson::Layout::indent2) << '\n';
        return EXIT_OK;
    }
    const json::value saved = executor.get_display_info().at("last_screenshot");
    const auto [width, height] = png_size(png);
    std::vector<std::string> places;
    if (!command.out.empty()) places.push_back(command.out);
    if (saved.is_string()) places.emplace_back(saved.get_string());
    std::cout << fmt::format("screenshot {}x{} ({} bytes of PNG) saved to {}\n", width, height, png.size(),
                             fmt::join(places, " and "));
    return EXIT_OK;
}

}  // namespace

void add_computer(CLI::App& parent, ComputerCommand& command) {
    command.app = parent.add_subcommand(
        "computer", "Run one computer-use action on the desktop of $DISPLAY, or show its sizes or tool declaration");
    command.app->add_option("action", command.action, "An action (listed below), info or tool-definition")
        ->type_name("ACTION")
        ->check(choices_hint(computer_words))
        ->required();
    command.app->add_option("--params", command.params,
                            R"(The action's parameters as one JSON object, e.g. '{"coordinate": [500, 300]}')")
        ->type_name("JSON");
    command.app->add_option("--out", command.out, "screenshot only: also write the PNG to this file")->type_name("FILE");
    command.app->add_option("--data-dir", command.data_dir, "Folder for screenshots/latest.png (default ~/.norvex)")
        ->type_name("DIR");
    command.app->add_flag("--json", command.json, "Print the result map as JSON (indent 2), as a model gets it");
    command.app->footer([] { return computer_footer(); });
}

int run_computer(const ComputerCommand& command) {
    const json::object params = parse_params(command.params);
    if (!command.out.empty() && command.action != "screenshot") {
        throw UsageError("--out goes with the screenshot action only");
    }
    pc::deskhand::DeskhandOptions options;
    options.data_dir = command.data_dir;
    pc::deskhand::DeskhandExecutor executor(std::move(options));

    // The tool declaration is a JSON document whoever reads it.
    if (command.action == COMPUTER_DEFINITION) {
        std::cout << pyjson::dumps(executor.get_tool_definition(), pyjson::Layout::indent2) << '\n';
        return EXIT_OK;
    }
    if (command.action == COMPUTER_INFO) {
        // The library falls back to 1920x1080 when it cannot measure; here
        // that would report a screen that is not there.
        try {
            executor.connect_desktop();
        } catch (const std::exception& e) {
            std::cerr << "norvex computer: no display could be reached, so there is no screen size to show: "
                      << e.what() << '\n';
            return EXIT_FAILED;
        }
        const json::object info = executor.get_display_info();
        std::cout << (command.json ? pyjson::dumps(info, pyjson::Layout::indent2) : info_line(info)) << '\n';
        return EXIT_OK;
    }

    json::object result = executor.execute_action(command.action, params);
    const std::string type(result.at("type").as_string());
    if (type == "error") {
        const std::string error(result.at("error").as_string());
        if (error == "Unknown action: " + command.action) {
            throw UsageError("unknown action " + echo(command.action) +
                             did_you_mean(command.action, computer_words(), "; 'norvex help computer' lists them"));
        }
        if (command.json) {
            std::cout << pyjson::dumps(result, pyjson::Layout::indent2) << '\n';
        } else {
            std::cerr << "norvex computer: " << error << '\n';
        }
        return EXIT_FAILED;
    }
    if (type == "image") return print_screenshot(command, executor, std::move(result));
    std::cout << (command.json ? pyjson::dumps(result, pyjson::Layout::indent2) : std::string(result.at("text").as_string()))
              << '\n';
    return EXIT_OK;
}

}  // namespace norvex::cli
