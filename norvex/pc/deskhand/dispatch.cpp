// execute_action: the handler of an action name, its arguments bound by name, every failure turned into a result map.
#include "norvex/pc/deskhand/actions.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/params.hpp"

#include "norvex/common/logging.hpp"

#include <cxxabi.h>

#include <algorithm>
#include <memory>
#include <typeinfo>

namespace norvex::pc::deskhand {

namespace {

using Handler = boost::json::object (*)(DeskhandExecutor&, const BoundParams&);

struct Action {
    ActionSignature signature;
    Handler run;
};

// One entry per action, in the tool's order. The arguments are bound under
// the handler's name, so refusals read "_action_scroll() got an unexpected
// keyword argument ...".
const std::vector<Action>& actions() {
    static const std::vector<Action> table = {
        {{"screenshot", {}},
         [](DeskhandExecutor& e, const BoundParams&) { return e._action_screenshot(); }},
        {{"left_click", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_left_click(b.coordinate("coordinate")); }},
        {{"right_click", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_right_click(b.coordinate("coordinate")); }},
        {{"middle_click", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_middle_click(b.coordinate("coordinate")); }},
        {{"double_click", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_double_click(b.coordinate("coordinate")); }},
        {{"triple_click", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_triple_click(b.coordinate("coordinate")); }},
        {{"mouse_move", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_mouse_move(b.coordinate("coordinate")); }},
        {{"left_click_drag", {"start_coordinate", "coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) {
             return e._action_left_click_drag(b.coordinate("start_coordinate"), b.coordinate("coordinate"));
         }},
        {{"left_mouse_down", {"coordinate"}},
         [](DeskhandExecutor& e, const BoundParams& b) {
             return e._action_left_mouse_down(b.coordinate("coordinate"));
         }},
        {{"left_mouse_up", {}},
         [](DeskhandExecutor& e, const BoundParams&) { return e._action_left_mouse_up(); }},
        {{"cursor_position", {}},
         [](DeskhandExecutor& e, const BoundParams&) { return e._action_cursor_position(); }},
        {{"scroll", {"coordinate", "direction", "amount"}},
         [](DeskhandExecutor& e, const BoundParams& b) {
             return e._action_scroll(b.coordinate("coordinate"), b.strict_text("direction", "down"),
                                     b.integer("amount", 3));
         }},
        {{"type", {"text"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_type(b.text("text", "")); }},
        {{"key", {"text"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_key(b.text("text", "")); }},
        {{"hold_key", {"text", "duration"}},
         [](DeskhandExecutor& e, const BoundParams& b) {
             return e._action_hold_key(b.text("text", ""), b.real("duration", 0.5));
         }},
        {{"wait", {"duration"}},
         [](DeskhandExecutor& e, const BoundParams& b) { return e._action_wait(b.real("duration", 1.0)); }},
    };
    return table;
}

// The exception's type as C++ names it, for the log line's context.
std::string type_name(const std::type_info& t) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(t.name(), nullptr, nullptr, &status),
                                                      std::free);
    return status == 0 && demangled ? demangled.get() : t.name();
}

}  // namespace

const std::vector<ActionSignature>& action_signatures() {
    static const std::vector<ActionSignature> signatures = [] {
        std::vector<ActionSignature> all;
        for (const Action& action : actions()) all.push_back(action.signature);
        return all;
    }();
    return signatures;
}

boost::json::object DeskhandExecutor::execute_action(const std::string& action, const boost::json::object& params) {
    _ensure_initialized();
    const auto& table = actions();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const Action& a) { return a.signature.name == action; });
    if (it == table.end()) return error_result("Unknown action: " + action);
    try {
        const BoundParams bound("_action_" + action, params, it->signature.params);
        // A call cancelled while it waited for its turn does not start.
        _check_interrupted();
        return it->run(*this, bound);
    } catch (const DesktopLostError& e) {
        // Dropped here, so the next action opens a new connection: a host
        // that keeps its executor recovers once the server is back.
        _drop_lost_desktop();
        logging::get("norvex.pc.deskhand")->error("Action {} failed\n{}: {}", action, type_name(typeid(e)), e.what());
        return error_result("Action " + action + " failed: " + e.what_broke() +
                            "; the next action connects to the display again, so repeat it once the display "
                            "server is running");
    } catch (const std::exception& e) {
        // Python's logger.exception puts the traceback under the message;
        // the nearest thing here is the exception's type and text.
        logging::get("norvex.pc.deskhand")
            ->error("Action {} failed\n{}: {}", action, type_name(typeid(e)), e.what());
        return error_result("Action " + action + " failed: " + e.what());
    } catch (...) {
        logging::get("norvex.pc.deskhand")->error("Action {} failed\nunknown exception", action);
        return error_result("Action " + action + " failed: unknown error");
    }
}

}  // namespace norvex::pc::deskhand
