// Task and status records of the worker pool and their dictionary forms.
#include "norvex/common/clock.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/core/crewhall/records.hpp"

#include <gtest/gtest.h>

#include <regex>

using namespace norvex::crewhall;
using norvex::pyjson::dumps;

namespace {

// n copies of a two-byte character, so byte cuts and code-point cuts differ.
std::string e_acute(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += "\xc3\xa9";
    return s;
}

}  // namespace

TEST(CrewhallRecords, StatesAreTheirTexts) {
    EXPECT_EQ(to_string(WorkerState::QUEUED), "queued");
    EXPECT_EQ(to_string(WorkerState::RUNNING), "running");
    EXPECT_EQ(to_string(WorkerState::COMPLETED), "completed");
    EXPECT_EQ(to_string(WorkerState::FAILED), "failed");
    EXPECT_EQ(to_string(WorkerState::CANCELLED), "cancelled");
    EXPECT_EQ(to_string(WorkerState::TIMEOUT), "timeout");
    EXPECT_TRUE(WorkerState::RUNNING == "running");
    EXPECT_TRUE("timeout" == WorkerState::TIMEOUT);
    EXPECT_FALSE(WorkerState::QUEUED == "running");

    EXPECT_FALSE(is_terminal(WorkerState::QUEUED));
    EXPECT_FALSE(is_terminal(WorkerState::RUNNING));
    for (auto s : {WorkerState::COMPLETED, WorkerState::FAILED, WorkerState::CANCELLED, WorkerState::TIMEOUT})
        EXPECT_TRUE(is_terminal(s)) << to_string(s);
}

TEST(CrewhallRecords, TaskDefaults) {
    const double before = norvex::wall_seconds();
    WorkerTask a;
    WorkerTask b;
    EXPECT_NE(a.id, b.id);
    EXPECT_TRUE(std::regex_match(a.id, std::regex("[0-9a-f]{12}")));
    EXPECT_TRUE(std::regex_match(b.id, std::regex("[0-9a-f]{12}")));
    EXPECT_EQ(a.timeout, 600.0);
    EXPECT_GE(a.created_at, before);
    EXPECT_LE(a.created_at, norvex::wall_seconds());

    a.metadata["k"] = 1;
    EXPECT_TRUE(b.metadata.empty());
}

TEST(CrewhallRecords, TaskDictKeyOrderAndNulls) {
    WorkerTask t{.id = "abc123", .name = "n", .prompt = "p", .created_at = 1700000000.5};
    EXPECT_EQ(dumps(t.to_dict()),
              R"({"id": "abc123", "name": "n", "prompt": "p", "model_key": null, "complexity": null, )"
              R"("timeout": 600.0, "tools": null, "parent_task_id": null, "metadata": {}, "created_at": 1700000000.5})");

    WorkerTask full{.id = "x", .model_key = std::string("fast"), .complexity = std::string("high"), .timeout = 2.5,
                    .tools = std::vector<std::string>{"read", "write"}, .parent_task_id = std::string("p1"),
                    .metadata = {{"z", 1}, {"a", "b"}}, .created_at = 1.0};
    EXPECT_EQ(dumps(full.to_dict()),
              R"({"id": "x", "name": "", "prompt": "", "model_key": "fast", "complexity": "high", )"
              R"("timeout": 2.5, "tools": ["read", "write"], "parent_task_id": "p1", )"
              R"("metadata": {"z": 1, "a": "b"}, "created_at": 1.0})");

    WorkerTask no_tools{.tools = std::vector<std::string>{}};
    EXPECT_TRUE(no_tools.to_dict().at("tools").as_array().empty());
}

TEST(CrewhallRecords, TaskPromptIsCutAtTwoHundredCodePoints) {
    WorkerTask exact{.prompt = std::string(200, 'a')};
    EXPECT_EQ(exact.to_dict().at("prompt").as_string(), std::string(200, 'a'));

    WorkerTask longer{.prompt = std::string(201, 'a')};
    EXPECT_EQ(longer.to_dict().at("prompt").as_string(), std::string(200, 'a') + "...");

    WorkerTask wide_exact{.prompt = e_acute(200)};
    EXPECT_EQ(wide_exact.to_dict().at("prompt").as_string(), e_acute(200));

    WorkerTask wide{.prompt = e_acute(250)};
    EXPECT_EQ(wide.to_dict().at("prompt").as_string(), e_acute(200) + "...");

    WorkerTask empty;
    EXPECT_EQ(empty.to_dict().at("prompt").as_string(), "");
}

TEST(CrewhallRecords, FreshStatusDict) {
    WorkerStatus s{.task_id = "t1", .state = WorkerState::QUEUED, .name = "Worker-t1"};
    EXPECT_EQ(dumps(s.to_dict()),
              R"({"task_id": "t1", "state": "queued", "name": "Worker-t1", "model_used": "", "current_step": "", )"
              R"("steps_completed": 0, "progress_pct": 0.0, "result": null, "error": null, "started_at": 0.0, )"
              R"("completed_at": 0.0, "duration": 0.0})");
}

TEST(CrewhallRecords, StatusDictRoundsProgressAndDuration) {
    WorkerStatus s{.task_id = "t", .state = WorkerState::COMPLETED, .steps_completed = 7, .progress_pct = 33.333,
                   .error = std::string("e"), .started_at = 1700000000.123456, .completed_at = 1700000001.5,
                   .duration = 1.23456};
    auto d = s.to_dict();
    EXPECT_EQ(d.at("progress_pct").as_double(), 33.3);
    EXPECT_EQ(d.at("duration").as_double(), 1.23);
    EXPECT_EQ(d.at("steps_completed").as_int64(), 7);
    EXPECT_EQ(d.at("error").as_string(), "e");
    EXPECT_EQ(d.at("state").as_string(), "completed");
    // Moments are reported as they are.
    EXPECT_EQ(d.at("started_at").as_double(), 1700000000.123456);
    EXPECT_EQ(d.at("completed_at").as_double(), 1700000001.5);

    // Exact halves go to the even digit; 2.675 is just below its half.
    s.progress_pct = 0.25;
    s.duration = 0.125;
    EXPECT_EQ(s.to_dict().at("progress_pct").as_double(), 0.2);
    EXPECT_EQ(s.to_dict().at("duration").as_double(), 0.12);
    s.progress_pct = 0.75;
    s.duration = 2.675;
    EXPECT_EQ(s.to_dict().at("progress_pct").as_double(), 0.8);
    EXPECT_EQ(s.to_dict().at("duration").as_double(), 2.67);
}

TEST(CrewhallRecords, StatusResultIsCutAtFiveHundredCodePoints) {
    WorkerStatus s{.task_id = "t", .state = WorkerState::COMPLETED};
    EXPECT_TRUE(s.to_dict().at("result").is_null());

    s.result = "";
    EXPECT_EQ(s.to_dict().at("result").as_string(), "");

    s.result = std::string(500, 'r');
    EXPECT_EQ(s.to_dict().at("result").as_string(), std::string(500, 'r'));

    s.result = std::string(501, 'r');
    EXPECT_EQ(s.to_dict().at("result").as_string(), std::string(500, 'r'));

    s.result = e_acute(501);
    EXPECT_EQ(s.to_dict().at("result").as_string(), e_acute(500));
    // The record itself keeps everything.
    EXPECT_EQ(*s.result, e_acute(501));
}
