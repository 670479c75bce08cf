// Request encoding, answer framing and answer decoding, without processes.
#include "norvex/core/forkyard/line_protocol.hpp"

#include <gtest/gtest.h>

using namespace norvex::forkyard;

TEST(LineProtocol, RequestsAreOneAsciiLine) {
    EXPECT_EQ(quit_request(), "{\"action\": \"quit\"}\n");
    EXPECT_EQ(quit_request().size(), 19u);
    EXPECT_EQ(encode_request({{"path", "caf\xc3\xa9.py"}, {"action", "x"}}),
              "{\"path\": \"caf\\u00e9.py\", \"action\": \"x\"}\n");
    EXPECT_EQ(encode_request({{"s", "a\nb"}}), "{\"s\": \"a\\nb\"}\n");
}

TEST(LineProtocol, ReaderFramesTheFirstLine) {
    AnswerLineReader r(100);
    EXPECT_FALSE(r.feed("{\"a\""));
    EXPECT_TRUE(r.feed(": 1}\r\n{\"second\": 2}\n"));
    EXPECT_EQ(r.line(), "{\"a\": 1}\r\n");

    AnswerLineReader tail(100);
    EXPECT_FALSE(tail.feed("{\"a\": 1}"));
    tail.finish();
    EXPECT_TRUE(tail.done());
    EXPECT_EQ(tail.line(), "{\"a\": 1}");

    AnswerLineReader nothing(100);
    nothing.finish();
    EXPECT_EQ(nothing.line(), "");
}

TEST(LineProtocol, ReaderLimitCountsTheLineWithoutItsLineFeed) {
    AnswerLineReader exact(8);
    EXPECT_TRUE(exact.feed("12345678\n"));

    AnswerLineReader over(8);
    EXPECT_FALSE(over.feed("12345"));
    try {
        over.feed("6789");
        FAIL() << "no error past the limit";
    } catch (const AnswerTooLong& e) {
        EXPECT_STREQ(e.what(), "answer line is longer than the limit of 8 bytes");
    }
}

TEST(LineProtocol, DecodeAnswer) {
    auto a = decode_answer("  {\"success\": true, \"result\": 5}\r\n", "w1");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->at("result"), 5);
    EXPECT_FALSE(decode_answer("null\n", "w1"));

    auto message = [](std::string_view line) {
        try {
            decode_answer(line, "w1");
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("[1, 2]\n"), "Worker w1 answered with a list instead of a JSON object: [1, 2]");
    EXPECT_EQ(message("{\"a\": \xff}\n"), "Worker w1 answered with invalid UTF-8: byte 0xff at offset 6");
    EXPECT_EQ(message("not json\n"),
              "Worker w1 answered with invalid JSON: Expecting value: line 1 column 1 (char 0)");
}
