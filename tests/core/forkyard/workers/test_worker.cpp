// A worker program for the forkyard tests; NORVEX_TEST_MODE picks its behaviour.
#include "norvex/common/pyjson.hpp"
#include "norvex/common/worker_parent.hpp"

#include <boost/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include <dirent.h>
#include <unistd.h>

namespace {

std::string env(const char* name, const char* fallback = "") {
    const char* v = std::getenv(name);
    return v ? v : fallback;
}

void put(const std::string& bytes, FILE* to = stdout) {
    std::fwrite(bytes.data(), 1, bytes.size(), to);
    std::fflush(to);
}

void answer(const boost::json::value& result, const char* ending = "\n") {
    boost::json::object a{{"success", true}, {"result", result}};
    put(norvex::pyjson::dumps(a) + ending);
}

std::string unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Reads request lines until the quit request or the end of input.
void serve_until_quit() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.find("\"quit\"") != std::string::npos) std::exit(0);
    }
    std::exit(0);
}

boost::json::value read_command() {
    std::string line;
    if (!std::getline(std::cin, line)) std::exit(0);
    return norvex::pyjson::parse(line);
}

}  // namespace

int main() {
    norvex::end_with_parent();  // a test binary that crashes leaves no worker behind
    const std::string mode = env("NORVEX_TEST_MODE", "echo");

    if (mode == "deaf") {  // reads nothing, ever, and waits to be killed
        for (;;) pause();
    }
    if (mode == "exit_at_once") {  // leaves before reading anything
        put(env("NORVEX_TEST_STDERR", "boom\n"), stderr);
        return 3;
    }

    boost::json::value command = read_command();

    if (mode == "exit_silent") {  // takes the command; no answer, stderr text, exit
        put(env("NORVEX_TEST_STDERR", "boom\n"), stderr);
        return 3;
    }
    if (mode == "crash") {  // takes the command, then dies by a signal
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    }
    if (mode == "echo") {
        answer(command);
        serve_until_quit();
    }
    if (mode == "exit_after_answer") {
        answer(command);
        return 0;
    }
    if (mode == "late") {  // answers after NORVEX_TEST_DELAY seconds
        std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(env("NORVEX_TEST_DELAY", "2"))));
        answer(command);
        serve_until_quit();
    }
    if (mode == "hang") {  // never answers, but leaves on the quit request
        serve_until_quit();
    }
    if (mode == "ignore_quit") {  // answers, then ignores quit and SIGTERM
        std::signal(SIGTERM, SIG_IGN);
        answer(command);
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        for (;;) pause();
    }
    if (mode == "crlf") {
        answer(command, "\r\n");
        serve_until_quit();
    }
    if (mode == "no_newline") {  // the answer without a line feed, then exit
        answer(command, "");
        return 0;
    }
    if (mode == "raw") {  // exactly the bytes of NORVEX_TEST_HEX
        put(unhex(env("NORVEX_TEST_HEX")));
        serve_until_quit();
    }
    if (mode == "big") {  // a result string of NORVEX_TEST_SIZE bytes
        answer(boost::json::value(std::string(std::stoul(env("NORVEX_TEST_SIZE")), 'x')));
        serve_until_quit();
    }
    if (mode == "stderr_flood") {  // NORVEX_TEST_SIZE bytes on stderr first
        std::string chunk(65536, 'e');
        for (std::size_t left = std::stoul(env("NORVEX_TEST_SIZE")); left > 0;) {
            std::size_t n = std::min(left, chunk.size());
            put(chunk.substr(0, n), stderr);
            left -= n;
        }
        answer(command);
        serve_until_quit();
    }
    if (mode == "environment") {  // the variables named in the command's "names"
        boost::json::object seen;
        for (const auto& name : command.at("names").as_array()) {
            std::string n(name.as_string());
            const char* v = std::getenv(n.c_str());
            seen[n] = v ? boost::json::value(v) : boost::json::value(nullptr);
        }
        answer(seen);
        serve_until_quit();
    }
    if (mode == "cwd") {
        answer(boost::json::value(std::filesystem::current_path().string()));
        serve_until_quit();
    }
    if (mode == "fds") {  // the descriptors the worker holds open
        boost::json::array fds;
        DIR* dir = ::opendir("/proc/self/fd");
        while (dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            int fd = std::atoi(e->d_name);
            if (fd != ::dirfd(dir)) fds.push_back(fd);
        }
        ::closedir(dir);
        answer(fds);
        serve_until_quit();
    }
    if (mode == "read_fifo") {  // blocks opening the FIFO at the command's "path" until a writer comes
        std::FILE* fifo = std::fopen(std::string(command.at("path").as_string()).c_str(), "r");
        while (fifo != nullptr && std::fgetc(fifo) != EOF) {
        }
        answer(command);
        serve_until_quit();
    }
    if (mode == "spin") {  // busy for ever, reading nothing
        volatile unsigned long turns = 0;
        for (;;) turns = turns + 1UL;
    }
    if (mode == "answer_quit") {  // answers the quit request too, then exits
        answer(command);
        std::string line;
        while (std::getline(std::cin, line)) {
            answer(boost::json::value("bye"));
            return 0;
        }
        return 0;
    }
    put("unknown mode " + mode + "\n", stderr);
    return 2;
}
