// An example worker program: counts lines, words and characters of a text it is sent.
//
// It speaks the worker line protocol: one JSON command on stdin, one JSON
// answer on stdout, then it leaves on the quit request or at end of input,
// and it never outlives the manager that started it.
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/common/worker_parent.hpp"

#include <boost/json.hpp>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

boost::json::object answer_to(const boost::json::value& command) {
    const auto* request = command.if_object();
    if (request == nullptr) return {{"success", false}, {"error", "the command must be a JSON object"}};
    const auto* action = request->if_contains("action");
    if (action == nullptr || !action->is_string() || action->get_string() != "stats")
        return {{"success", false}, {"error", "Unknown action: try {\"action\": \"stats\", \"text\": \"...\"}"}};
    const auto* text_value = request->if_contains("text");
    if (text_value == nullptr || !text_value->is_string())
        return {{"success", false}, {"error", "No text given: add a \"text\" string"}};

    std::string_view text = text_value->get_string();
    std::size_t words = 0;
    bool in_word = false;
    for (char32_t c : norvex::pystr::to_u32(text)) {
        bool space = norvex::pystr::is_space(c);
        if (!space && !in_word) ++words;
        in_word = !space;
    }
    return {{"success", true},
            {"result",
             {{"lines", norvex::pystr::splitlines(text).size()},
              {"words", words},
              {"characters", norvex::pystr::length(text)}}}};
}

}  // namespace

int main() {
    // First of all: a host that dies, even by kill -9, takes this worker with it.
    norvex::end_with_parent();
    std::string line;
    if (!std::getline(std::cin, line)) return 0;
    boost::json::object answer;
    try {
        answer = answer_to(norvex::pyjson::parse(line));
    } catch (const std::exception& e) {
        answer = {{"success", false}, {"error", std::string("Invalid JSON: ") + e.what()}};
    }
    std::string out = norvex::pyjson::dumps(answer) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    while (std::getline(std::cin, line)) {
        if (line.find("\"quit\"") != std::string::npos) break;
    }
    return 0;
}
