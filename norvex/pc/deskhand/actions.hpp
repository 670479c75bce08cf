// The actions of the computer-use tool and the parameters each one takes.
//
// This is the table `DeskhandExecutor::execute_action` dispatches on; front
// ends list it rather than keeping a copy (the MCP tool's schema, the help of
// `norvex computer`).
//
//   for (const auto& action : norvex::pc::deskhand::action_signatures())
//       std::cout << action.name << " takes " << action.params.size() << " parameters\n";
#pragma once

#include <string_view>
#include <vector>

namespace norvex::pc::deskhand {

// One action: its name and the parameters it takes, by name. Any other
// parameter is refused before the action runs.
struct ActionSignature {
    std::string_view name;
    std::vector<std::string_view> params;
};

// Every action, in the order the tool declares them to a model.
const std::vector<ActionSignature>& action_signatures();

}  // namespace norvex::pc::deskhand
