// An agent host in miniature: the code-analysis tool on a shared forkyard, a crewhall pool
// running analysis tasks with a status callback, the computer-use tool's declaration, and
// the skill creator on a data folder.
//
//     norvex_host DATA_DIR FILE.py [FILE.py ...]
#include <norvex/core/crewhall/crewhall.hpp>
#include <norvex/core/forkyard/forkyard.hpp>
#include <norvex/pc/deskhand/executor.hpp>
#include <norvex/skills/creator/skill_creator.hpp>
#include <norvex/tools/sourcelens.hpp>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace asio = boost::asio;
namespace json = boost::json;
using namespace norvex;

namespace {

// The model's side of the host, reduced to a fixed plan: one analysis per file.
asio::awaitable<void> analyse(crewhall::Crewhall& pool, std::vector<std::string> files) {
    std::vector<std::string> ids;
    // Tasks and results are named locals: GCC 12 mishandles temporaries inside a co_await expression.
    for (const std::string& file : files) {
        crewhall::WorkerTask task{.name = "complexity of " + file, .prompt = file};
        auto status = co_await pool.submit(std::move(task));
        ids.push_back(status->task_id);
    }
    const auto statuses = co_await pool.wait_all(ids, 120.0);
    for (const auto& status : statuses) {
        std::cout << "task " << status->name << ": " << crewhall::to_string(status->state) << "\n";
        if (status->result) std::cout << *status->result << "\n";
    }
    std::cout << "pool stats: " << json::serialize(pool.stats()) << "\n";
}

// The skill creator is synchronous: plain calls, files under the data folder.
void manage_skills(const std::string& data_dir) {
    skills::creator::SkillCreator creator({.data_dir = data_dir});
    const auto made = creator.create_from_dict(json::parse(R"({
        "name": "open_reports", "description": "Open the reports folder", "app": "files",
        "category": "files", "triggers": ["open reports"],
        "steps": [{"description": "Open the folder", "operation": "open_folder", "params": {"path": "~/reports"}}],
        "reason": "asked for twice this week"})").as_object());
    std::cout << "skill created: " << (made.success ? "yes" : "no") << " (" << made.message << ")\n";
    for (const auto& entry : creator.list_saved_skills()) {
        std::cout << "saved skill: " << std::string_view(entry.at("name").as_string()) << " v"
                  << entry.at("version").as_int64() << "\n";
    }
    std::cout << "improvement stats: " << json::serialize(creator.get_improvement_stats()) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: norvex_host DATA_DIR FILE.py [FILE.py ...]\n";
        return 2;
    }
    const std::vector<std::string> files(argv + 2, argv + argc);

    // One loop, one thread; every asynchronous component shares it.
    asio::io_context io;
    forkyard::Forkyard yard{io.get_executor(), {.max_workers = 2}};
    sourcelens::SourcelensTool tool{yard};
    std::cout << "tool: " << tool.name() << " (" << tool.parameters().at("required").as_array().size()
              << " required arguments)\n";

    crewhall::Crewhall pool{io.get_executor(),
                            {.max_workers = 2, .on_status_change = [](const crewhall::WorkerStatus& s) {
                                 std::cout << "status " << s.name << ": " << crewhall::to_string(s.state) << "\n";
                             }}};
    // The executor a real host would hand to its model client; here each task is one tool call.
    pool.set_executor([&tool](const crewhall::WorkerTask& task, crewhall::UpdateStatus,
                              double) -> asio::awaitable<std::string> {
        json::object kwargs{{"operation", "complexity"}, {"path", task.prompt}};
        std::string text = co_await tool.execute(std::move(kwargs));
        if (text.starts_with("[ERROR] ")) throw std::runtime_error(text.substr(8));
        co_return text;
    });

    auto done = asio::co_spawn(io, analyse(pool, files), asio::use_future);
    io.run();
    done.get();

    // What the model client would send to declare the computer-use tool; actions would follow
    // as computer.execute_action("screenshot") and so on, one blocking call each.
    pc::deskhand::DeskhandExecutor computer({.data_dir = argv[1]});
    const json::object definition = computer.get_tool_definition();
    std::cout << "computer tool: " << std::string_view(definition.at("name").as_string()) << " "
              << std::string_view(definition.at("type").as_string())
              << "\n";

    manage_skills(argv[1]);
    return 0;
}
