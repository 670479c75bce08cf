// An executor over a recording desktop, with its screen size, system, clipboard, pauses and programs under the test's control.
#pragma once

#include "tests/support/scratch_dir.hpp"

#include "norvex/common/errors.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/pc/deskhand/executor.hpp"
#include "norvex/pc/desktop/recording_desktop.hpp"

#include <boost/json/parse.hpp>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvex::testing {

// A clipboard handle onto a recording clipboard that outlives it.
class SharedClipboard : public pc::Clipboard {
public:
    explicit SharedClipboard(std::shared_ptr<pc::RecordingClipboard> target) : target_(std::move(target)) {}
    void set_text(const std::string& text) override { target_->set_text(text); }

private:
    std::shared_ptr<pc::RecordingClipboard> target_;
};

// A desktop handle onto a recording desktop that outlives the executor.
class SharedDesktop : public pc::Desktop {
public:
    explicit SharedDesktop(std::shared_ptr<pc::RecordingDesktop> t) : t_(std::move(t)) {}
    void click(int x, int y, int clicks, pc::MouseButton b) override { t_->click(x, y, clicks, b); }
    void move_to(int x, int y, double d) override { t_->move_to(x, y, d); }
    void mouse_down(pc::MouseButton b) override { t_->mouse_down(b); }
    void mouse_up(pc::MouseButton b) override { t_->mouse_up(b); }
    std::pair<int, int> position() override { return t_->position(); }
    void scroll(int n) override { t_->scroll(n); }
    void hscroll(int n) override { t_->hscroll(n); }
    void press(const std::string& k) override { t_->press(k); }
    void hotkey(const std::vector<std::string>& k) override { t_->hotkey(k); }
    void key_down(const std::string& k) override { t_->key_down(k); }
    void key_up(const std::string& k) override { t_->key_up(k); }
    void write(const std::string& s, double i) override { t_->write(s, i); }
    pc::RgbImage screenshot() override { return t_->screenshot(); }

private:
    std::shared_ptr<pc::RecordingDesktop> t_;
};

struct ExecutorRig {
    std::optional<std::pair<std::int64_t, std::int64_t>> screen{{1920, 1080}};
    std::string system = "Linux";
    bool clipboard_available = true;
    bool clipboard_fails = false;
    // Set when the executor first opens its desktop; outlives the executor.
    std::shared_ptr<pc::RecordingDesktop> desktop;
    // The clipboard every opened clipboard writes to (the executor drops
    // its own after each "type").
    std::shared_ptr<pc::RecordingClipboard> clipboard = std::make_shared<pc::RecordingClipboard>();
    int desktops_opened = 0;
    int size_queries = 0;
    std::vector<double> sleeps;
    std::vector<std::vector<std::string>> programs;
    // What a program "run" does: by default nothing, exit status 0.
    std::function<pc::deskhand::CommandOutput(const std::vector<std::string>&, double)> on_run =
        [](const std::vector<std::string>&, double) { return pc::deskhand::CommandOutput{}; };
    std::vector<std::string> screenshot_command;
    // Applied to the recording desktop when it is opened.
    std::function<void(pc::RecordingDesktop&)> prepare = [](pc::RecordingDesktop&) {};
    ScratchDir data{"norvex_deskhand_"};

    pc::deskhand::DeskhandOptions options(std::optional<std::int64_t> display_number = {}) {
        pc::deskhand::DeskhandOptions o;
        o.display_number = display_number;
        o.system_name = system;
        o.data_dir = data.path();
        o.open_desktop = [this]() -> std::unique_ptr<pc::Desktop> {
            desktop = std::make_shared<pc::RecordingDesktop>();
            prepare(*desktop);
            ++desktops_opened;
            return std::make_unique<SharedDesktop>(desktop);
        };
        o.open_clipboard = [this]() -> std::unique_ptr<pc::Clipboard> {
            if (!clipboard_available) throw pc::DesktopError("no clipboard program installed");
            clipboard->fails = clipboard_fails;
            return std::make_unique<SharedClipboard>(clipboard);
        };
        o.screen_size = [this] {
            ++size_queries;
            return screen;
        };
        o.screenshot_command = [this] { return screenshot_command; };
        o.sleep = [this](double s) {
            sleeps.push_back(s);
            if (desktop) desktop->record("sleep(" + pyjson::float_repr(s) + ")");
        };
        o.run = [this](const std::vector<std::string>& argv, double limit) {
            auto words = argv;
            words.push_back("limit=" + pyjson::float_repr(limit));
            programs.push_back(words);
            return on_run(argv, limit);
        };
        return o;
    }

    std::unique_ptr<pc::deskhand::DeskhandExecutor> make(std::optional<std::int64_t> display_number = {}) {
        return std::make_unique<pc::deskhand::DeskhandExecutor>(options(display_number));
    }

    std::vector<std::string> calls() const { return desktop ? desktop->calls() : std::vector<std::string>{}; }
};

// A JSON object from its text, for parameters and expected maps.
inline boost::json::object obj(std::string_view json) { return boost::json::parse(json).as_object(); }

}  // namespace norvex::testing
