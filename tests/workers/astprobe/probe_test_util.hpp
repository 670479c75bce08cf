// Shared helpers of the astprobe tests: parsing snippets, JSON text, scratch folders, program paths.
#pragma once

#include "norvex/common/ids.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace norvex::testing {

inline const std::string ASTPROBE_PROGRAM = NORVEX_ASTPROBE_PROGRAM;
inline const std::string ASTPROBE_DATA = NORVEX_ASTPROBE_TEST_DATA;

// A snippet parsed by pyast; the test fails loudly when it does not parse.
inline std::unique_ptr<pyast::Tree> parse_ok(std::string source) {
    pyast::ParseResult r = pyast::parse(std::move(source));
    if (!r.tree) throw std::runtime_error("snippet does not parse: " + r.error->msg);
    return std::move(r.tree);
}

// The compact JSON text Python's json.dumps writes: the form expected values are taken in.
inline std::string text_of(const boost::json::value& v) { return pyjson::dumps(v); }

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
public:
    ScratchDir() : path_(std::filesystem::temp_directory_path() / ("astprobe_test_" + new_task_id())) {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    // Writes `bytes` to a file of this folder and gives its path.
    std::string write(const std::string& name, std::string_view bytes) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace norvex::testing
