// The MCP protocol core without pipes: message kinds, lifecycle, negotiation, dispatch.
#include "mcp/protocol_versions.hpp"
#include "mcp/session.hpp"

#include <boost/json/parse.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using namespace norvex::mcp;
namespace json = boost::json;
using ::testing::HasSubstr;

namespace {

std::vector<ToolInfo> sample_tools() {
    return {ToolInfo{"echo", "Repeats its text.", json::parse(R"({"type": "object"})").as_object()},
            ToolInfo{"sleep", "Waits.", json::parse(R"({"type": "object"})").as_object()}};
}

const json::object& reply_of(const Action& action) {
    const auto* reply = std::get_if<Reply>(&action);
    if (reply == nullptr) throw std::runtime_error("expected a reply, got action #" + std::to_string(action.index()));
    return reply->message;
}

// The error code of a reply, and checks it is an error for `id`.
std::int64_t error_code(const Action& action, const json::value& id) {
    const json::object& message = reply_of(action);
    EXPECT_EQ(message.at("jsonrpc"), "2.0");
    EXPECT_EQ(message.at("id"), id);
    EXPECT_FALSE(message.contains("result"));
    return message.at("error").at("code").as_int64();
}

std::string error_message(const Action& action) {
    return std::string(reply_of(action).at("error").at("message").as_string());
}

Session initialized_session() {
    Session session({.name = "norvex", .version = "9.9"}, sample_tools());
    const Action init = session.on_line(
        R"({"jsonrpc": "2.0", "id": 0, "method": "initialize", "params": {"protocolVersion": "2025-11-25",)"
        R"( "capabilities": {}, "clientInfo": {"name": "t", "version": "1"}}})");
    EXPECT_TRUE(reply_of(init).contains("result"));
    return session;
}

}  // namespace

TEST(McpVersionNegotiation, ClientsRevisionWhenSupportedElseTheNewest) {
    EXPECT_EQ(negotiate_protocol_version("2025-06-18"), "2025-06-18");
    EXPECT_EQ(negotiate_protocol_version("2025-11-25"), "2025-11-25");
    EXPECT_EQ(negotiate_protocol_version("2026-07-28"), "2026-07-28");
    EXPECT_EQ(negotiate_protocol_version("2024-11-05"), "2026-07-28");
    EXPECT_EQ(negotiate_protocol_version("2099-01-01"), "2026-07-28");
    EXPECT_EQ(negotiate_protocol_version(""), "2026-07-28");
}

TEST(McpSession, InitializeAnswersWithRevisionServerInfoAndToolsCapability) {
    Session session({.name = "norvex", .version = "1.2.3"}, sample_tools());
    const Action action = session.on_line(
        R"({"jsonrpc":"2.0","id":"init-1","method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{}}})");
    const json::object& message = reply_of(action);
    EXPECT_EQ(message.at("id"), "init-1");
    const json::object& result = message.at("result").as_object();
    EXPECT_EQ(result.at("protocolVersion"), "2026-07-28");
    EXPECT_EQ(result.at("capabilities"), json::parse(R"({"tools": {}})"));
    EXPECT_EQ(result.at("serverInfo"), json::parse(R"({"name": "norvex", "version": "1.2.3"})"));
    EXPECT_TRUE(session.initialized());
    EXPECT_EQ(session.protocol_version(), "2026-07-28");

    // Once is enough: a second initialize is refused and changes nothing.
    const Action again = session.on_line(
        R"({"jsonrpc":"2.0","id":2,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})");
    EXPECT_EQ(error_code(again, 2), INVALID_REQUEST);
    EXPECT_EQ(session.protocol_version(), "2026-07-28");

    EXPECT_FALSE(session.client_ready());
    EXPECT_TRUE(std::holds_alternative<Ignore>(session.on_line(R"({"jsonrpc":"2.0","method":"notifications/initialized"})")));
    EXPECT_TRUE(session.client_ready());
}

TEST(McpSession, InitializeWithoutAUsableVersionIsInvalidParams) {
    Session session({}, sample_tools());
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})"), 1),
              INVALID_PARAMS);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":20250618}})"), 1),
              INVALID_PARAMS);
    EXPECT_FALSE(session.initialized());
}

TEST(McpSession, OnlyPingAndInitializeBeforeInitialization) {
    Session session({}, sample_tools());
    const Action ping = session.on_line(R"({"jsonrpc":"2.0","id":7,"method":"ping"})");
    EXPECT_EQ(reply_of(ping).at("result"), json::object{});

    const Action list = session.on_line(R"({"jsonrpc":"2.0","id":8,"method":"tools/list"})");
    EXPECT_EQ(error_code(list, 8), INVALID_REQUEST);
    EXPECT_THAT(error_message(list), HasSubstr("not initialized"));
    EXPECT_THAT(error_message(list), HasSubstr("initialize"));
    const Action call = session.on_line(R"({"jsonrpc":"2.0","id":9,"method":"tools/call","params":{"name":"echo"}})");
    EXPECT_EQ(error_code(call, 9), INVALID_REQUEST);
    EXPECT_EQ(session.running_calls(), 0u);
}

TEST(McpSession, MalformedMessagesGetTheirJsonRpcCodes) {
    Session session = initialized_session();
    EXPECT_EQ(error_code(session.on_line("{\"jsonrpc\": \"2.0\", \"id\": 1,"), nullptr), PARSE_ERROR);
    EXPECT_EQ(error_code(session.on_line("not json"), nullptr), PARSE_ERROR);
    // Batches were dropped from the protocol: refused whole, nothing inside runs.
    const Action batch = session.on_line(R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])");
    EXPECT_EQ(error_code(batch, nullptr), INVALID_REQUEST);
    EXPECT_THAT(error_message(batch), HasSubstr("batch"));
    EXPECT_EQ(error_code(session.on_line("42"), nullptr), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"1.0","id":3,"method":"ping"})"), 3), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"id":3,"method":"ping"})"), 3), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":4,"method":5})"), 4), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":null,"method":"ping"})"), nullptr), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":{"x":1},"method":"ping"})"), nullptr), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":5})"), 5), INVALID_REQUEST);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":6,"method":"tools/list","params":[1]})"), 6),
              INVALID_PARAMS);
    EXPECT_EQ(error_code(session.on_oversized_line(1024), nullptr), INVALID_REQUEST);
    EXPECT_THAT(error_message(session.on_oversized_line(1024)), HasSubstr("1024"));
}

TEST(McpSession, UnknownMethodsAndQuietMessages) {
    Session session = initialized_session();
    const Action unknown = session.on_line(R"({"jsonrpc":"2.0","id":"r","method":"resources/list"})");
    EXPECT_EQ(error_code(unknown, "r"), METHOD_NOT_FOUND);
    EXPECT_THAT(error_message(unknown), HasSubstr("resources/list"));
    // Notifications, answers to requests never sent and blank lines get no reply.
    EXPECT_TRUE(std::holds_alternative<Ignore>(session.on_line(R"({"jsonrpc":"2.0","method":"notifications/whatever"})")));
    EXPECT_TRUE(std::holds_alternative<Ignore>(session.on_line(R"({"jsonrpc":"2.0","method":"ping","params":[1]})")));
    EXPECT_TRUE(std::holds_alternative<Ignore>(session.on_line(R"({"jsonrpc":"2.0","id":1,"result":{}})")));
    EXPECT_TRUE(std::holds_alternative<Ignore>(session.on_line("   \r")));
}

TEST(McpSession, ToolsListGivesEveryDeclaration) {
    Session session = initialized_session();
    const Action list = session.on_line(R"({"jsonrpc":"2.0","id":1,"method":"tools/list","params":{}})");
    const json::object& result = reply_of(list).at("result").as_object();
    EXPECT_EQ(result.at("tools"), json::parse(R"([
        {"name": "echo", "description": "Repeats its text.", "inputSchema": {"type": "object"}},
        {"name": "sleep", "description": "Waits.", "inputSchema": {"type": "object"}}])"));
}

TEST(McpSession, ToolsCallStartsACallOnlyForAKnownToolAndAFreeId) {
    Session session = initialized_session();
    const Action start = session.on_line(
        R"({"jsonrpc":"2.0","id":10,"method":"tools/call","params":{"name":"echo","arguments":{"text":"hi"}}})");
    const auto* call = std::get_if<StartCall>(&start);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->id, 10);
    EXPECT_EQ(call->tool, "echo");
    EXPECT_EQ(call->arguments, json::parse(R"({"text": "hi"})"));
    EXPECT_EQ(session.running_calls(), 1u);

    // The same id while the first call runs is refused; "10" is another id.
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":10,"method":"tools/call","params":{"name":"sleep"}})"), 10),
              INVALID_REQUEST);
    const Action string_id = session.on_line(R"({"jsonrpc":"2.0","id":"10","method":"tools/call","params":{"name":"sleep"}})");
    ASSERT_TRUE(std::holds_alternative<StartCall>(string_id));
    EXPECT_EQ(std::get<StartCall>(string_id).arguments, json::object{});
    EXPECT_EQ(session.running_calls(), 2u);
    session.call_finished(10);
    EXPECT_EQ(session.running_calls(), 1u);
    EXPECT_TRUE(std::holds_alternative<StartCall>(
        session.on_line(R"({"jsonrpc":"2.0","id":10,"method":"tools/call","params":{"name":"echo"}})")));

    const Action unknown = session.on_line(R"({"jsonrpc":"2.0","id":11,"method":"tools/call","params":{"name":"fly"}})");
    EXPECT_EQ(error_code(unknown, 11), INVALID_PARAMS);
    EXPECT_THAT(error_message(unknown), HasSubstr("fly"));
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":12,"method":"tools/call","params":{}})"), 12), INVALID_PARAMS);
    EXPECT_EQ(error_code(session.on_line(R"({"jsonrpc":"2.0","id":13,"method":"tools/call","params":{"name":"echo","arguments":[1]}})"), 13),
              INVALID_PARAMS);
    EXPECT_EQ(session.running_calls(), 2u);
}

TEST(McpSession, CancellationNamesOnlyRunningCalls) {
    Session session = initialized_session();
    ASSERT_TRUE(std::holds_alternative<StartCall>(
        session.on_line(R"({"jsonrpc":"2.0","id":"slow","method":"tools/call","params":{"name":"sleep"}})")));

    const Action cancel = session.on_line(
        R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"slow","reason":"user"}})");
    const auto* step = std::get_if<CancelCall>(&cancel);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->id, "slow");
    EXPECT_EQ(step->reason, "user");

    // Unknown, finished or mistyped ids are ignored, never answered.
    EXPECT_TRUE(std::holds_alternative<Ignore>(
        session.on_line(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"other"}})")));
    EXPECT_TRUE(std::holds_alternative<Ignore>(
        session.on_line(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":[1]}})")));
    EXPECT_TRUE(std::holds_alternative<Ignore>(
        session.on_line(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{}})")));
    session.call_finished("slow");
    EXPECT_TRUE(std::holds_alternative<Ignore>(
        session.on_line(R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"slow"}})")));
}
