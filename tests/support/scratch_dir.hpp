// A fresh folder under the system's temporary folder, removed with the object.
#pragma once

#include "norvex/common/ids.hpp"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace norvex::testing {

class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "norvex_test_")
        : path_(std::filesystem::temp_directory_path() / (prefix + new_task_id())) {
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
