// The actions of the computer-use tool and the parameters each one takes.
//
// This is the table `DeskhandExecutor::execute_action` dispatches on; front
// ends list it rather than keeping a copy (the MCP tool's schema, the help of
// `norvex computer`).
//
//   for (const auto& action : norvex::pc::deskhand::action_signatures())
//       std::cout << action.name << " takes " << action.params.size() << " parameters\n";
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace norvex::pc::deskhand {

// The most wheel steps one "scroll" takes, either way: amounts from
// -MAX_SCROLL_AMOUNT to MAX_SCROLL_AMOUNT are accepted, others refused. A step
// moves about three lines in most programs, so this is some 300 lines,
// several screens: farther than a model can aim without looking again. Each
// step is an event every program handles on its own (some animate it), so
// an unbounded amount could keep the desktop busy for hours.
inline constexpr std::int64_t MAX_SCROLL_AMOUNT = 100;

// One action: its name and the parameters it takes, by name. Any other
// parameter is refused before the action runs.
struct ActionSignature {
    std::string_view name;
    std::vector<std::string_view> params;
};

// Every action, in the order the tool declares them to a model.
const std::vector<ActionSignature>& action_signatures();

}  // namespace norvex::pc::deskhand
