// Skill files on disk: reading them back, versions, the folder scan and the store's writes (internal to the creator).
#pragma once

#include "norvex/common/atomic_file.hpp"

#include <boost/json/object.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::skills::creator::detail {

// The JSON dictionary a skill file holds. Throws OsError when it cannot be
// read, FileRefused when it is not a regular file or a link that leads out
// of its folder (the skills folder: nothing else is ever read through it),
// pyjson::DecodeError when it is not JSON, and std::invalid_argument when it
// holds something other than a dictionary.
boost::json::object read_skill_file(const std::filesystem::path& path);

// What the owner of the data folder can do about a refused skill file, to
// follow its message: " (remove it from the skills folder)" and the like.
std::string refusal_advice(const FileRefused& refused);

// The stored "version" (1 when missing) of an existing skill file, or none
// when the file is missing, unreadable, corrupt or its version not an integer.
std::optional<std::int64_t> stored_version(const std::filesystem::path& path);

// The "*.json" files directly inside `folder`, in name order; none when the
// folder is missing.
std::vector<std::filesystem::path> skill_files_in(const std::filesystem::path& folder);

// The file name without ".json", as Python's Path.stem gives it (text: a
// name that is not UTF-8 in its surrogate escapes).
std::string stem_of(const std::filesystem::path& file);

// The file's path as text, for records that show it ("file" of a listing).
std::string path_text(const std::filesystem::path& file);

// Writes one file of the store whole and atomically. First the temporaries
// that earlier saves into the same folder left when their process died are
// swept; `owned` tells the store's own among them by the name of the file
// they were to replace. Throws OsError.
void write_store_file(const std::filesystem::path& path, std::string_view bytes,
                      bool (*owned)(std::string_view target_name));
// The files the store keeps in the skills folder: "*.json" and "*.py".
bool is_skill_file_name(std::string_view name);

// Indent-2 ASCII JSON, Python's layout, written atomically into the skills folder.
void write_json_file(const std::filesystem::path& path, const boost::json::object& data);

}  // namespace norvex::skills::creator::detail
