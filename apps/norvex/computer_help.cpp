// The vocabulary of `norvex computer`, read from the code that defines it so its help never drifts.
#include "computer_help.hpp"

#include "mcp/providers.hpp"
#include "text_render.hpp"

#include "norvex/pc/deskhand/actions.hpp"

#include <boost/json/object.hpp>

namespace norvex::cli {

namespace json = boost::json;

namespace {

ComputerVocabulary read_vocabulary() {
    // What each parameter means is written once, in the schema models get.
    const json::object schema = mcp::computer_input_schema();

    ComputerVocabulary vocabulary;
    for (const auto& member : schema.at("properties").as_object()) {
        if (member.key() == "action") continue;
        const json::value* description = member.value().as_object().if_contains("description");
        vocabulary.params.push_back(
            {std::string(member.key()), description ? std::string(description->as_string()) : std::string()});
    }
    for (const auto& signature : pc::deskhand::action_signatures()) {
        ComputerAction action{std::string(signature.name), {}};
        for (std::string_view param : signature.params) action.params.emplace_back(param);
        vocabulary.actions.push_back(std::move(action));
    }
    return vocabulary;
}

}  // namespace

const ComputerVocabulary& computer_vocabulary() {
    static const ComputerVocabulary vocabulary = read_vocabulary();
    return vocabulary;
}

std::vector<std::string> computer_words() {
    std::vector<std::string> words;
    for (const ComputerAction& action : computer_vocabulary().actions) words.push_back(action.name);
    words.emplace_back(COMPUTER_INFO);
    words.emplace_back(COMPUTER_DEFINITION);
    return words;
}

std::string computer_footer() {
    const ComputerVocabulary& vocabulary = computer_vocabulary();
    std::vector<std::vector<std::string>> actions;
    for (const ComputerAction& action : vocabulary.actions) {
        std::string params;
        for (const std::string& p : action.params) params += (params.empty() ? "" : ", ") + p;
        actions.push_back({action.name, params.empty() ? "-" : params});
    }
    actions.push_back({COMPUTER_INFO, "the screen size, the screenshot size and their scale factor (exit status 1 when no display answers)"});
    actions.push_back({COMPUTER_DEFINITION, "the tool declaration a model is given, as JSON"});
    std::vector<std::vector<std::string>> params;
    for (const ComputerParam& p : vocabulary.params) params.push_back({p.name, p.description});

    return "Actions and the parameters each takes (in --params):\n" + format_table({{""}, {""}}, actions, 2) +
           "\nParameters:\n" + format_table({{""}, {""}}, params, 2) +
           "\nCoordinates are in the model's image space: the size of the screenshots, which are the\n"
           "screen scaled down to the model's limits, not screen pixels; 'norvex computer info' shows\n"
           "both sizes.\n"
           "Example: norvex computer left_click --params '{\"coordinate\": [500, 300]}'";
}

}  // namespace norvex::cli
