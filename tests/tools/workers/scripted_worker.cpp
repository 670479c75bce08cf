// A stand-in for astprobe in the tool tests: the command's action picks how it answers.
//   "hang"   reads the command and never answers (leaves on the quit request)
//   "stuck"  reads the command, then neither reads nor answers again, as a
//            worker blocked in a system call: only a signal ends it; a path
//            named stuck.py does the same whatever the action (the command
//            line only passes the real operations)
//   "reply"  writes the command's "path" text as its answer line, as it is
//   anything else: answers with the request line it received, as text
#include "norvex/common/pyjson.hpp"
#include "norvex/common/worker_parent.hpp"

#include <boost/json.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

void put_line(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Reads until the quit request or the end of input.
int wait_for_quit() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find("\"quit\"") != std::string::npos) return 0;
    }
    return 0;
}

}  // namespace

int main() {
    norvex::end_with_parent();  // a test binary that crashes leaves no worker behind
    std::string line;
    if (!std::getline(std::cin, line)) return 0;
    const boost::json::object command = norvex::pyjson::parse(line).as_object();
    const boost::json::value* action = command.if_contains("action");
    const bool is_text = action != nullptr && action->is_string();

    const boost::json::value* path = command.if_contains("path");
    const bool stuck_path =
        path != nullptr && path->is_string() && std::string_view(path->get_string()).ends_with("/stuck.py");
    if ((is_text && action->get_string() == "stuck") || stuck_path) {
        for (;;) ::pause();
    }
    if (is_text && action->get_string() == "hang") return wait_for_quit();
    if (is_text && action->get_string() == "reply") {
        put_line(std::string(command.at("path").as_string()));
        return wait_for_quit();
    }
    boost::json::object answer;
    answer["success"] = true;
    answer["result"] = line;
    put_line(norvex::pyjson::dumps(answer));
    return wait_for_quit();
}
