// Skill files on disk: reading, versions, the folder scan and writing.
#include "norvex/skills/creator/skill_files.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/py_str.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace norvex::skills::creator::detail {

namespace json = boost::json;

json::object read_skill_file(const std::filesystem::path& path) {
    // A link planted in the folder must not make another file readable
    // through the skill tools, nor a FIFO hang them.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    json::value value = pyjson::parse(read_whole_file(path, &folder));
    if (json::object* data = value.if_object()) return std::move(*data);
    throw std::invalid_argument("the file holds a " + std::string(py_type_name(value)) +
                                ", not a JSON object with the skill's keys");
}

std::string refusal_advice(const FileRefused& refused) {
    switch (refused.reason()) {
        case FileRefused::Reason::not_regular: return " (remove it from the skills folder)";
        case FileRefused::Reason::outside:
            return " (copy the file into the skills folder in place of the link, or remove the link)";
    }
    return "";
}

std::optional<std::int64_t> stored_version(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return std::nullopt;
    try {
        const json::object data = read_skill_file(path);
        const json::value* version = data.if_contains("version");
        if (!version) return 1;
        if (const auto* i = version->if_int64()) return *i;
        if (const auto* d = version->if_double(); d && std::isfinite(*d) && std::trunc(*d) == *d &&
                                                  std::fabs(*d) < 9.0e18) {
            return static_cast<std::int64_t>(*d);
        }
    } catch (const std::exception&) {
        // A broken file must not block saving the skill again.
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> skill_files_in(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return files;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.size() >= 5 && name.ends_with(".json")) files.push_back(it->path());
    }
    // Code-point order, as Python sorts the names: UTF-8 bytes sort the same way.
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.filename().string() < b.filename().string();
    });
    return files;
}

std::string stem_of(const std::filesystem::path& file) {
    const std::string name = pystr::fsdecode(file.filename().native());
    if (name == ".json") return name;  // a dot file has no suffix to Python
    return name.substr(0, name.size() - 5);
}

std::string path_text(const std::filesystem::path& file) { return pystr::fsdecode(file.native()); }

void write_store_file(const std::filesystem::path& path, std::string_view bytes,
                      bool (*owned)(std::string_view target_name)) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    for (const std::filesystem::path& removed : sweep_stale_temporaries(folder, owned)) {
        log()->info("Removed {}: a temporary file left by a save that was cut short", removed.string());
    }
    write_file_atomically(path, bytes);
}

bool is_skill_file_name(std::string_view name) { return name.ends_with(".json") || name.ends_with(".py"); }

void write_json_file(const std::filesystem::path& path, const json::object& data) {
    write_store_file(path, pyjson::dumps(data, pyjson::Layout::indent2), is_skill_file_name);
}

}  // namespace norvex::skills::creator::detail
