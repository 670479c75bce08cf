// Skill files on disk: reading, versions, the folder scan and writing.
#include "norvex/skills/creator/skill_files.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"
#include "norvex/skills/creator/creator_internal.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace norvex::skills::creator::detail {

namespace json = boost::json;

json::object read_skill_file(const std::filesystem::path& path) {
    // A link planted in the folder must not make another file readable
    // through the skill tools, nor a FIFO hang them.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    json::value value = pyjson::parse(read_whole_file(path, &folder));
    if (json::object* data = value.if_object()) return std::move(*data);
    throw std::invalid_argument("the file holds a " + std::string(pyjson::type_name(value)) +
                                ", not a JSON object with the skill's keys");
}

SkillBlueprint load_skill_file(const std::filesystem::path& path) {
    return blueprint_from_dict(read_skill_file(path), {.name = stem_of(path), .read_version = true});
}

namespace {

std::string utc_stamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char buffer[32];
    return std::string(buffer, std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &utc));
}

// The first `size` bytes of a name, never ending inside a UTF-8 sequence.
std::string cut_name(const std::string& name, std::size_t size) {
    if (name.size() <= size) return name;
    while (size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80) --size;
    return name.substr(0, size);
}

// Writes `bytes` to the new file `copy`; false when a file of that name exists.
bool write_new_file(const std::filesystem::path& copy, std::string_view bytes) {
    // Owner-only: the history or skill in it may be private, whatever the folder allows.
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return false;
        throw OsError(errno, copy);
    }
    int err = 0;
    while (!bytes.empty() && err == 0) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n >= 0) bytes.remove_prefix(static_cast<std::size_t>(n));
        else if (errno != EINTR) err = errno;
    }
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(copy.c_str());  // a half copy would pass for the whole
        throw OsError(err, copy);
    }
    return true;
}

}  // namespace

std::filesystem::path keep_aside(const std::filesystem::path& file, const std::string* bytes,
                                 std::chrono::system_clock::time_point when) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const long found = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t limit = found > 0 ? static_cast<std::size_t>(found) : 255;
    const std::string name = file.filename().string();
    const std::string mark = ".unreadable-" + utc_stamp(when);
    for (int n = 1; n <= 100; ++n) {
        const std::string suffix = n == 1 ? mark : mark + "-" + std::to_string(n);
        const std::size_t room = limit > suffix.size() ? limit - suffix.size() : 0;
        const std::filesystem::path copy = folder / (cut_name(name, room) + suffix);
        if (bytes != nullptr) {
            if (write_new_file(copy, *bytes)) return copy;
        } else if (::link(file.c_str(), copy.c_str()) == 0) {
            return copy;
        } else if (errno != EEXIST) {
            throw OsError(errno, copy);
        }
    }
    throw OsError(EEXIST, folder / (name + mark));
}

std::optional<std::filesystem::path> keep_unloadable_skill_file(const std::filesystem::path& path,
                                                                std::chrono::system_clock::time_point when) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes;
    try {
        bytes = read_whole_file(path);
        // Loaded exactly as load_saved_skills loads it: what it would skip is kept.
        blueprint_from_dict([&] {
            json::value value = pyjson::parse(bytes);
            if (json::object* data = value.if_object()) return std::move(*data);
            throw std::invalid_argument("not a JSON object");
        }(), {.name = stem_of(path), .read_version = true});
        return std::nullopt;
    } catch (const OsError&) {
        return keep_aside(path, nullptr, when);  // unreadable to this user: linked, not read
    } catch (const std::exception&) {
        return keep_aside(path, &bytes, when);
    }
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
