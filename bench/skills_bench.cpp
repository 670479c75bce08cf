// The skill creator over 1,000 saved skills: loading, listing, and saving one skill.
//
// Skills are real files in a scratch data folder under the system's temporary
// folder, in the layout create_skill writes (two steps with placeholders,
// indent-2 JSON). Creating rewrites the skill file and the whole improvement
// log, each flushed to disk, so its cost grows with the log: the /N argument
// is the log's length before the run.
#include "norvex/common/atomic_file.hpp"
#include "norvex/common/ids.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/skills/creator/skill_creator.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace json = boost::json;
using namespace norvex::skills::creator;

constexpr int SAVED_SKILLS = 1000;

SkillBlueprint blueprint(const std::string& name) {
    return SkillBlueprint{
        .name = name,
        .description = "Send an email to someone",
        .app = "thunderbird",
        .category = "email",
        .triggers = {"email", "mail"},
        .required_params = {"to"},
        .optional_params = {"subject"},
        .steps = {json::object{{"operation", "open_app"}, {"description", "Open the mail app"},
                               {"params", {{"name", "thunderbird"}}}},
                  json::object{{"operation", "keyboard_type"}, {"description", "Type {{to}}"},
                               {"params", {{"text", "{{to}}: {{subject}}"}}}, {"wait_after", 0.5}}},
        .reason = "the user mails a lot",
    };
}

// A data folder removed with the object.
struct ScratchData {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("norvex_skills_bench_" + norvex::new_task_id());
    ~ScratchData() { std::filesystem::remove_all(dir); }
};

// A data folder with SAVED_SKILLS skill files, written as create_skill writes them.
const ScratchData& saved_skills() {
    static const ScratchData data = [] {
        ScratchData d;
        std::filesystem::create_directories(d.dir / "skills");
        for (int i = 0; i < SAVED_SKILLS; ++i) {
            const SkillBlueprint b = blueprint("skill_" + std::to_string(i));
            std::ofstream(d.dir / "skills" / (b.name + ".json"), std::ios::binary)
                << norvex::pyjson::dumps(b.to_dict(), norvex::pyjson::Layout::indent2);
        }
        return d;
    }();
    return data;
}

void BM_LoadSavedSkills(benchmark::State& state) {
    const SkillCreator creator({.data_dir = saved_skills().dir});
    for (auto _ : state) {
        auto skills = creator.load_saved_skills();
        if (skills.size() != SAVED_SKILLS) state.SkipWithError("wrong number of skills");
        benchmark::DoNotOptimize(skills);
    }
    state.counters["skills/s"] = benchmark::Counter(double(SAVED_SKILLS) * double(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadSavedSkills)->Unit(benchmark::kMillisecond);

void BM_ListSavedSkills(benchmark::State& state) {
    const SkillCreator creator({.data_dir = saved_skills().dir});
    for (auto _ : state) {
        auto listing = creator.list_saved_skills();
        if (listing.size() != SAVED_SKILLS) state.SkipWithError("wrong number of skills");
        benchmark::DoNotOptimize(listing);
    }
    state.counters["skills/s"] = benchmark::Counter(double(SAVED_SKILLS) * double(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ListSavedSkills)->Unit(benchmark::kMillisecond);

// One new simple skill per iteration: validation, the skill file, the log entry and the log file.
void BM_CreateSkill(benchmark::State& state) {
    const ScratchData data;
    SkillCreator creator({.data_dir = data.dir});
    for (std::int64_t i = 0; i < state.range(0); ++i) creator.log_learning("seed", "an earlier entry");
    int n = 0;
    for (auto _ : state) {
        const auto result = creator.create_skill(blueprint("new_skill_" + std::to_string(n++)));
        if (!result.success) state.SkipWithError(result.message.c_str());
    }
}
BENCHMARK(BM_CreateSkill)->Arg(0)->Arg(1000)->Iterations(200)->Unit(benchmark::kMicrosecond);

// The same without the skill's own steps: how much of a creation is the log.
void BM_LogLearning(benchmark::State& state) {
    const ScratchData data;
    SkillCreator creator({.data_dir = data.dir});
    for (std::int64_t i = 0; i < state.range(0); ++i) creator.log_learning("seed", "an earlier entry");
    for (auto _ : state) creator.log_learning("skill", "a lesson");
}
BENCHMARK(BM_LogLearning)->Arg(0)->Arg(1000)->Iterations(200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
