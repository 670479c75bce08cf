// What `norvex computer` accepts: the actions, their parameters and what each parameter means.
#pragma once

#include <string>
#include <vector>

namespace norvex::cli {

// The words `norvex computer` takes besides the actions.
inline constexpr const char* COMPUTER_INFO = "info";
inline constexpr const char* COMPUTER_DEFINITION = "tool-definition";

struct ComputerAction {
    std::string name;
    std::vector<std::string> params;  // in the order the tool's schema lists them
};

struct ComputerParam {
    std::string name;
    std::string description;
};

struct ComputerVocabulary {
    std::vector<ComputerAction> actions;
    std::vector<ComputerParam> params;
};

// The computer tool's actions and parameters, worked out once: the actions
// and what each takes from the executor's table, what the parameters mean
// from the schema the MCP tool gives models.
const ComputerVocabulary& computer_vocabulary();

// Every word the ACTION argument takes: the actions, then "info" and "tool-definition".
std::vector<std::string> computer_words();

// The help footer: each action with its parameters, what the parameters
// mean, and the space coordinates are in.
std::string computer_footer();

}  // namespace norvex::cli
