// Task and result records and their dictionary forms.
#include "norvex/common/pyjson.hpp"
#include "norvex/core/forkyard/records.hpp"

#include <gtest/gtest.h>

#include <regex>

using namespace norvex::forkyard;
using norvex::pyjson::dumps;

TEST(ForkyardRecords, TaskDefaults) {
    SubprocessTask a{.worker_type = "sourcelens"};
    SubprocessTask b;
    EXPECT_NE(a.id, b.id);
    EXPECT_TRUE(std::regex_match(a.id, std::regex("[0-9a-f]{12}")));
    EXPECT_EQ(a.priority, TaskPriority::NORMAL);
    EXPECT_EQ(a.timeout, 60.0);
    EXPECT_FALSE(a.working_dir);
    EXPECT_TRUE(a.command.empty());
    EXPECT_TRUE(a.env.empty());
    EXPECT_EQ(b.worker_type, "shell");

    a.command["action"] = "x";
    EXPECT_TRUE(b.command.empty());
}

TEST(ForkyardRecords, TaskDictKeepsKeyOrderAndValues) {
    SubprocessTask t{.id = "abc", .worker_type = "custom", .command = {{"b", 1}, {"a", 2}},
                     .priority = TaskPriority::CRITICAL, .timeout = 2.5, .working_dir = std::string("/tmp"),
                     .env = {{"Z", "1"}, {"A", "2"}, {"Z", "3"}}, .created_at = 1700000000.25};
    EXPECT_EQ(dumps(t.to_dict()),
              R"({"id": "abc", "worker_type": "custom", "command": {"b": 1, "a": 2}, "priority": 3, )"
              R"("timeout": 2.5, "working_dir": "/tmp", "env": {"Z": "3", "A": "2"}, "created_at": 1700000000.25})");

    SubprocessTask d{.worker_type = "shell"};
    auto dict = d.to_dict();
    EXPECT_EQ(dict.at("priority"), 1);
    EXPECT_TRUE(dict.at("working_dir").is_null());
}

TEST(ForkyardRecords, ResultDict) {
    SubprocessResult failed{"t1", WorkerStatus::FAILED};
    EXPECT_EQ(dumps(failed.to_dict()),
              R"({"task_id": "t1", "status": "failed", "output": null, "error": null, "duration": 0.0, "pid": null})");

    SubprocessResult done{"t2", WorkerStatus::COMPLETED, boost::json::value{{"n", 5}}, std::nullopt, 0.1 + 0.2, 42};
    EXPECT_EQ(dumps(done.to_dict()),
              R"({"task_id": "t2", "status": "completed", "output": {"n": 5}, "error": null, )"
              R"("duration": 0.30000000000000004, "pid": 42})");

    EXPECT_EQ(SubprocessResult({"t", WorkerStatus::TIMEOUT}).to_dict().at("status"), "timeout");
    EXPECT_EQ(SubprocessResult({"t", WorkerStatus::CANCELLED}).to_dict().at("status"), "cancelled");
}
