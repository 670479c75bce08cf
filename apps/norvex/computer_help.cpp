// The vocabulary of `norvex computer`, read from the code that defines it so its help never drifts.
#include "computer_help.hpp"

#include "mcp/providers.hpp"
#include "text_render.hpp"

#include "norvex/common/logging.hpp"
#include "norvex/pc/deskhand/executor.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/json/object.hpp>

#include <stdexcept>

namespace norvex::cli {

namespace json = boost::json;
namespace deskhand = pc::deskhand;

namespace {

// An executor that can refuse arguments but never touch a desktop, a clipboard or the clock.
std::unique_ptr<deskhand::DeskhandExecutor> inert_executor() {
    deskhand::DeskhandOptions options;
    options.system_name = "Linux";
    options.data_dir = "/nonexistent";
    options.screen_size = [] { return std::optional<std::pair<std::int64_t, std::int64_t>>({1280, 800}); };
    options.open_desktop = []() -> std::unique_ptr<pc::Desktop> { throw std::logic_error("no desktop here"); };
    options.open_clipboard = []() -> std::unique_ptr<pc::Clipboard> { throw std::logic_error("no clipboard here"); };
    options.screenshot_command = [] { return std::vector<std::string>{}; };
    options.sleep = [](double) {};
    options.run = [](const std::vector<std::string>&, double) { return deskhand::CommandOutput{}; };
    return std::make_unique<deskhand::DeskhandExecutor>(std::move(options));
}

// Whether `action` takes `param`. deskhand keeps its table of handlers to
// itself, but binding refuses an undeclared name before anything runs, and
// a declared one given a dictionary fails its kind check (every parameter
// is a list, text or a number) before the handler starts: so the question
// is answered without acting.
bool takes(deskhand::DeskhandExecutor& executor, const std::string& action, const std::string& param) {
    const json::object result = executor.execute_action(action, {{param, json::object{}}});
    const json::value* error = result.if_contains("error");
    if (error == nullptr || !error->is_string()) throw std::logic_error("the parameter probe ran " + action);
    return std::string_view(error->get_string()).find("unexpected keyword argument") == std::string_view::npos;
}

ComputerVocabulary read_vocabulary() {
    // The schema lives with the MCP tool; its provider measures the screen
    // once on construction, which is harmless here.
    boost::asio::io_context io;
    const auto provider = mcp::make_computer_provider(io.get_executor(), {});
    const json::object schema = provider->tools().at(0).input_schema;
    const json::object& properties = schema.at("properties").as_object();

    ComputerVocabulary vocabulary;
    for (const auto& member : properties) {
        if (member.key() == "action") continue;
        const json::value* description = member.value().as_object().if_contains("description");
        vocabulary.params.push_back(
            {std::string(member.key()), description ? std::string(description->as_string()) : std::string()});
    }
    // The probes' refusals are answers, not failures worth a record.
    const auto log = logging::get("norvex.pc.deskhand");
    const auto level = log->level();
    log->set_level(spdlog::level::off);
    const auto executor = inert_executor();
    for (const json::value& name : properties.at("action").at("enum").as_array()) {
        ComputerAction action{std::string(name.as_string()), {}};
        for (const ComputerParam& param : vocabulary.params) {
            if (takes(*executor, action.name, param.name)) action.params.push_back(param.name);
        }
        vocabulary.actions.push_back(std::move(action));
    }
    log->set_level(level);
    return vocabulary;
}

}  // namespace

const ComputerVocabulary& computer_vocabulary() {
    static const ComputerVocabulary vocabulary = read_vocabulary();
    return vocabulary;
}

std::vector<std::string> computer_words() {
    std::vector<std::string> words;
    try {
        for (const ComputerAction& action : computer_vocabulary().actions) words.push_back(action.name);
    } catch (const std::exception&) {
        // Help and completion still work, with the words known without the table.
    }
    words.emplace_back(COMPUTER_INFO);
    words.emplace_back(COMPUTER_DEFINITION);
    return words;
}

std::string computer_footer() try {
    const ComputerVocabulary& vocabulary = computer_vocabulary();
    std::vector<std::vector<std::string>> actions;
    for (const ComputerAction& action : vocabulary.actions) {
        std::string params;
        for (const std::string& p : action.params) params += (params.empty() ? "" : ", ") + p;
        actions.push_back({action.name, params.empty() ? "-" : params});
    }
    actions.push_back({COMPUTER_INFO, "the screen size, the screenshot size and their scale factor"});
    actions.push_back({COMPUTER_DEFINITION, "the tool declaration a model is given, as JSON"});
    std::vector<std::vector<std::string>> params;
    for (const ComputerParam& p : vocabulary.params) params.push_back({p.name, p.description});

    return "Actions and the parameters each takes (in --params):\n" + format_table({{""}, {""}}, actions, 2) +
           "\nParameters:\n" + format_table({{""}, {""}}, params, 2) +
           "\nCoordinates are in the model's image space: the size of the screenshots, which are the\n"
           "screen scaled down to the model's limits, not screen pixels; 'norvex computer info' shows\n"
           "both sizes.\n"
           "Example: norvex computer left_click --params '{\"coordinate\": [500, 300]}'";
} catch (const std::exception& e) {
    // The help is printed while the parser unwinds, where a throw would end the program.
    return std::string("The list of actions could not be read (") + e.what() +
           "); the computer tool of 'norvex mcp' describes them in its schema.";
}

}  // namespace norvex::cli
