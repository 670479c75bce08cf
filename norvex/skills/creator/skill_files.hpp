// Skill files on disk: reading them back, versions, the folder scan and the store's writes (internal to the creator).
#pragma once

#include "norvex/common/atomic_file.hpp"
#include "norvex/skills/creator/records.hpp"

#include <boost/json/object.hpp>

#include <chrono>
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

// The blueprint of a skill file, built as loading the saved skills builds
// it (the file name without ".json" for a missing name). Throws what
// read_skill_file and blueprint_from_dict throw: such a file is skipped.
SkillBlueprint load_skill_file(const std::filesystem::path& path);

// Keeps the bytes of `file`, which a save is about to replace although they
// could not be loaded, in a new file beside it named file name +
// ".unreadable-" + the UTC time of `when` ("20231114T221320Z"), then "-2",
// "-3"... while that name is taken. When the whole passes the folder's
// file-name limit the original name is cut short; the time and mark stay.
// `bytes` is the content when it could be read; without it the file is
// linked under the new name, which needs no permission to read it. Gives
// the new file's path. Throws OsError.
std::filesystem::path keep_aside(const std::filesystem::path& file, const std::string* bytes,
                                 std::chrono::system_clock::time_point when);

// Before a save replaces the skill file at `path`: a regular file there
// that loading would skip is kept aside (as keep_aside does) and the copy's
// path given; none when the file is missing, loads, or is no regular file
// (a link is replaced, never its target). Throws OsError when the file
// cannot be kept, and then it must not be replaced.
std::optional<std::filesystem::path> keep_unloadable_skill_file(const std::filesystem::path& path,
                                                                std::chrono::system_clock::time_point when);

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
