// execute_action: the handler of an action name, its arguments bound by name, every failure turned into a result map.
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/deskhand/params.hpp"

#include "norvex/common/logging.hpp"

#include <cxxabi.h>

#include <map>
#include <memory>
#include <typeinfo>

namespace norvex::pc::deskhand {

namespace {

using Params = boost::json::object;
using Handler = boost::json::object (*)(DeskhandExecutor&, const Params&);

// One entry per action: the handler's name binds the arguments, so its
// refusals read "_action_scroll() got an unexpected keyword argument ...".
const std::map<std::string, Handler, std::less<>>& handlers() {
    static const std::map<std::string, Handler, std::less<>> table = {
        {"screenshot",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_screenshot", p, {});
             return e._action_screenshot();
         }},
        {"left_click",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_left_click", p, {"coordinate"});
             return e._action_left_click(b.coordinate("coordinate"));
         }},
        {"right_click",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_right_click", p, {"coordinate"});
             return e._action_right_click(b.coordinate("coordinate"));
         }},
        {"middle_click",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_middle_click", p, {"coordinate"});
             return e._action_middle_click(b.coordinate("coordinate"));
         }},
        {"double_click",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_double_click", p, {"coordinate"});
             return e._action_double_click(b.coordinate("coordinate"));
         }},
        {"triple_click",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_triple_click", p, {"coordinate"});
             return e._action_triple_click(b.coordinate("coordinate"));
         }},
        {"mouse_move",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_mouse_move", p, {"coordinate"});
             return e._action_mouse_move(b.coordinate("coordinate"));
         }},
        {"left_click_drag",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_left_click_drag", p, {"start_coordinate", "coordinate"});
             return e._action_left_click_drag(b.coordinate("start_coordinate"), b.coordinate("coordinate"));
         }},
        {"left_mouse_down",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_left_mouse_down", p, {"coordinate"});
             return e._action_left_mouse_down(b.coordinate("coordinate"));
         }},
        {"left_mouse_up",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_left_mouse_up", p, {});
             return e._action_left_mouse_up();
         }},
        {"cursor_position",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_cursor_position", p, {});
             return e._action_cursor_position();
         }},
        {"scroll",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_scroll", p, {"coordinate", "direction", "amount"});
             return e._action_scroll(b.coordinate("coordinate"), b.strict_text("direction", "down"),
                                     b.integer("amount", 3));
         }},
        {"type",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_type", p, {"text"});
             return e._action_type(b.text("text", ""));
         }},
        {"key",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_key", p, {"text"});
             return e._action_key(b.text("text", ""));
         }},
        {"hold_key",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_hold_key", p, {"text", "duration"});
             return e._action_hold_key(b.text("text", ""), b.real("duration", 0.5));
         }},
        {"wait",
         [](DeskhandExecutor& e, const Params& p) {
             BoundParams b("_action_wait", p, {"duration"});
             return e._action_wait(b.real("duration", 1.0));
         }},
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

boost::json::object DeskhandExecutor::execute_action(const std::string& action, const boost::json::object& params) {
    _ensure_initialized();
    const auto& table = handlers();
    const auto it = table.find(action);
    if (it == table.end()) return error_result("Unknown action: " + action);
    try {
        return it->second(*this, params);
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
