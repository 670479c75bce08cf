// Reading skill files back: the stored dictionary and its version (internal to the creator).
#pragma once

#include <boost/json/object.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace norvex::skills::creator::detail {

// The JSON dictionary a skill file holds. Throws OsError when it cannot be
// read, pyjson::DecodeError when it is not JSON, and std::invalid_argument
// when it holds something other than a dictionary.
boost::json::object read_skill_file(const std::filesystem::path& path);

// The stored "version" (1 when missing) of an existing skill file, or none
// when the file is missing, unreadable, corrupt or its version not an integer.
std::optional<std::int64_t> stored_version(const std::filesystem::path& path);

// The "*.json" files directly inside `folder`, in name order; none when the
// folder is missing.
std::vector<std::filesystem::path> skill_files_in(const std::filesystem::path& folder);

// The file name without ".json", as Python's Path.stem gives it.
std::string stem_of(const std::filesystem::path& file);

// Indent-2 ASCII JSON, Python's layout, written atomically.
void write_json_file(const std::filesystem::path& path, const boost::json::object& data);

}  // namespace norvex::skills::creator::detail
