// The "computer" and "computer_info" tools over MCP: deskhand's actions on a worker thread, results as MCP content.
#include "providers.hpp"

#include "norvex/common/error_text.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/actions.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/desktop/x11_desktop.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/json/parse.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace norvex::mcp {

namespace asio = boost::asio;
namespace json = boost::json;
using pc::deskhand::DeskhandExecutor;

namespace {

// The pauses of an action (wait, hold_key) end early when its call is
// cancelled, and its long loops (wheel steps, typing key by key) ask
// cancelled() between steps: the executor runs on another thread, and this
// is how a cancellation reaches a call that blocks.
class InterruptibleSleep {
public:
    void begin(std::uint64_t call) {
        std::lock_guard lock(mutex_);
        running_ = call;
    }
    void cancel(std::uint64_t call) {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = call;
        }
        changed_.notify_all();
    }
    void sleep(double seconds) {
        std::unique_lock lock(mutex_);
        const auto span = std::chrono::duration<double>(seconds < 0 ? 0 : seconds);
        if (changed_.wait_for(lock, span, [&] { return stopped(); })) {
            throw std::runtime_error("cancelled by the client");
        }
    }
    // Whether the running call has been cancelled.
    bool cancelled() {
        std::lock_guard lock(mutex_);
        return stopped();
    }

private:
    // Call numbers start at 1: none running is never cancelled.
    bool stopped() const { return running_ != 0 && cancelled_ == running_; }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t running_ = 0;
    std::uint64_t cancelled_ = 0;
};

class ComputerProvider : public ToolProvider {
public:
    ComputerProvider(asio::any_io_executor loop, std::filesystem::path data_dir) : loop_(std::move(loop)) {
        pc::deskhand::DeskhandOptions options;
        options.data_dir = std::move(data_dir);
        options.sleep = [this](double seconds) { sleeper_.sleep(seconds); };
        options.interrupted = [this] { return sleeper_.cancelled(); };
        executor_ = std::make_unique<DeskhandExecutor>(std::move(options));
        // The size the model's screenshots have belongs in the tool's description.
        definition_ = executor_->get_tool_definition();
    }

    ~ComputerProvider() override { worker_.join(); }

    std::vector<ToolInfo> tools() const override {
        const std::string size = std::to_string(definition_.at("display_width_px").as_int64()) + "x" +
                                 std::to_string(definition_.at("display_height_px").as_int64());
        return {
            {"computer",
             "Use the desktop with the mouse and keyboard and take screenshots. Screenshots are " + size +
                 " pixels; coordinates are in that space. Take a screenshot first to see the screen.",
             computer_input_schema()},
            {"computer_info", "The screen size, the screenshot size, their scale factor and the last screenshot's file.",
             json::parse(R"({"type": "object", "properties": {}})").as_object()},
        };
    }

    asio::awaitable<ToolResult> call(std::string name, json::object arguments) override {
        if (name == "computer_info") {
            // Named, not a temporary inside co_await: GCC 12 destroys such temporaries twice.
            std::function<json::object()> work = [this] { return executor_->get_display_info(); };
            const json::object info = co_await on_worker(std::move(work));
            co_return ToolResult::text(pyjson::dumps(info, pyjson::Layout::indent2));
        }
        const json::value* action = arguments.if_contains("action");
        if (action == nullptr || !action->is_string()) {
            co_return ToolResult::text("\"action\" must name the desktop action, e.g. \"screenshot\"", true);
        }
        const std::string chosen(action->as_string());
        json::object params = std::move(arguments);
        params.erase("action");
        std::function<json::object()> work = [this, chosen, params = std::move(params)] {
            return executor_->execute_action(chosen, params);
        };
        const json::object result = co_await on_worker(std::move(work));
        co_return to_content(result);
    }

private:
    static ToolResult to_content(const json::object& result) {
        const std::string type(result.at("type").as_string());
        if (type == "image") return ToolResult::image(std::string(result.at("base64").as_string()));
        if (type == "text") return ToolResult::text(std::string(result.at("text").as_string()));
        return ToolResult::text(std::string(result.at("error").as_string()), true);
    }

    // Runs a blocking executor call on the one worker thread (the executor
    // takes one caller at a time) and waits for it without blocking the loop.
    // Cancelling the waiting call interrupts the action's pauses and returns
    // at once; the action's result, if it still comes, is dropped.
    asio::awaitable<json::object> on_worker(std::function<json::object()> work) {
        struct Outcome {
            explicit Outcome(asio::any_io_executor loop) : done(loop, asio::steady_timer::time_point::max()) {}
            asio::steady_timer done;
            json::object value;
            std::exception_ptr error;
            bool finished = false;
        };
        auto outcome = std::make_shared<Outcome>(loop_);
        const std::uint64_t call = ++calls_;
        asio::post(worker_, [this, outcome, call, work = std::move(work)]() mutable {
            sleeper_.begin(call);
            try {
                outcome->value = work();
            } catch (...) {
                outcome->error = std::current_exception();
            }
            asio::post(loop_, [outcome] {
                outcome->finished = true;
                outcome->done.cancel();
            });
        });
        co_await outcome->done.async_wait(asio::as_tuple(asio::use_awaitable));
        if (!outcome->finished) {
            sleeper_.cancel(call);
            throw SystemError(asio::error::operation_aborted);
        }
        if (outcome->error) std::rethrow_exception(outcome->error);
        co_return std::move(outcome->value);
    }

    asio::any_io_executor loop_;
    asio::thread_pool worker_{1};
    InterruptibleSleep sleeper_;
    std::uint64_t calls_ = 0;
    std::unique_ptr<DeskhandExecutor> executor_;
    json::object definition_;
};

}  // namespace

bool desktop_available() {
    try {
        pc::X11Desktop probe;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<ToolProvider> make_computer_provider(asio::any_io_executor loop, std::filesystem::path data_dir) {
    return std::make_unique<ComputerProvider>(std::move(loop), std::move(data_dir));
}

json::object computer_input_schema() {
    json::array actions;
    for (const auto& action : pc::deskhand::action_signatures()) actions.push_back(json::string(action.name));
    json::object schema = json::parse(R"({"type": "object", "properties": {
        "action": {"type": "string", "description": "The desktop action to carry out."},
        "coordinate": {"type": "array", "items": {"type": "number"}, "minItems": 2, "maxItems": 2,
                       "description": "[x, y] in screenshot pixels: the target of clicks, mouse_move, scroll, left_mouse_down, and the end of left_click_drag."},
        "start_coordinate": {"type": "array", "items": {"type": "number"}, "minItems": 2, "maxItems": 2,
                             "description": "[x, y] where left_click_drag starts."},
        "text": {"type": "string", "description": "What to type (type), or the key or keys joined by + (key, hold_key), e.g. \"ctrl+s\"."},
        "direction": {"type": "string", "enum": ["up", "down", "left", "right"], "description": "scroll: the direction (default down)."},
        "amount": {"type": "integer"},
        "duration": {"type": "number", "description": "Seconds: hold_key (default 0.5), wait (default 1.0, at most 10)."}},
      "required": ["action"]})").as_object();
    json::object& properties = schema["properties"].as_object();
    properties["action"].as_object()["enum"] = std::move(actions);
    // The bound and its reason, where a model reads them before it asks.
    const std::int64_t most = pc::deskhand::MAX_SCROLL_AMOUNT;
    json::object& amount = properties["amount"].as_object();
    amount["minimum"] = -most;
    amount["maximum"] = most;
    amount["description"] = "scroll: how many wheel steps (default 3), at most " + std::to_string(most) +
                            " either way: a step moves about three lines, so " + std::to_string(most) +
                            " is several screens; to go farther, scroll again after a screenshot or press keys "
                            "such as Page_Down.";
    return schema;
}

}  // namespace norvex::mcp
