// The creator's folders, its clock, and the shared instance.
#include "norvex/skills/creator/skill_creator.hpp"

#include "norvex/common/atomic_file.hpp"
#include "norvex/common/logging.hpp"
#include "norvex/skills/creator/creator_internal.hpp"
#include "norvex/skills/creator/skill_files.hpp"

#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <pwd.h>
#include <unistd.h>

namespace norvex::skills::creator {

namespace detail {

std::shared_ptr<spdlog::logger> log() { return logging::get("norvex.skills.creator"); }

std::string validation_failed(const std::vector<std::string>& problems) {
    std::string message = "Validation failed:";
    for (const std::string& problem : problems) message += "\n  - " + problem;
    return message;
}

}  // namespace detail

namespace {

std::filesystem::path home_dir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return ".";
}

}  // namespace

const std::filesystem::path& default_data_dir() {
    static const std::filesystem::path dir = home_dir() / ".norvex";
    return dir;
}

const std::filesystem::path& default_skills_dir() {
    static const std::filesystem::path dir = default_data_dir() / "skills";
    return dir;
}

const std::filesystem::path& default_improvement_log() {
    static const std::filesystem::path file = default_data_dir() / "improvement_log.json";
    return file;
}

SkillCreator::SkillCreator(SkillCreatorOptions options)
    : options_(std::move(options)),
      skills_dir_(options_.data_dir / "skills"),
      improvement_log_path_(options_.data_dir / "improvement_log.json") {
    make_dirs(skills_dir_);
    _load_improvement_log();
}

std::string SkillCreator::now_text() const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(options_.clock());
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(buffer, n);
}

std::filesystem::path SkillCreator::skill_file(std::string_view name, std::string_view extension) const {
    std::string file_name(name);
    file_name += extension;
    return skills_dir_ / file_name;
}

void SkillCreator::keep_unloadable(const std::filesystem::path& path) const {
    try {
        if (const auto copy = detail::keep_unloadable_skill_file(path, options_.clock())) {
            detail::log()->warn("Kept {} as {} before saving the skill anew: the file could not be loaded",
                                path.string(), copy->string());
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(path.string() + " cannot be loaded and could not be kept aside before the save (" +
                                 e.what() + "), so it was left as it is (move it out of the skills folder or make "
                                            "it readable, then create the skill again)");
    }
}

SkillCreator& get_skill_creator() {
    // Made on first use; a construction that throws is tried again next time.
    static SkillCreator instance;
    return instance;
}

}  // namespace norvex::skills::creator
