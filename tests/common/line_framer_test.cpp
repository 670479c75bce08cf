// LineFramer as its three readers use it: the worker's commands, the manager's answers, the MCP server's messages.
#include "norvex/common/line_framer.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using norvex::FramedLine;
using norvex::LineFramer;

namespace {

std::vector<FramedLine> drain(LineFramer& framer) {
    std::vector<FramedLine> lines;
    while (auto line = framer.next()) lines.push_back(std::move(*line));
    return lines;
}

std::vector<FramedLine> feed(LineFramer& framer, std::string_view bytes) {
    framer.feed(bytes);
    return drain(framer);
}

std::vector<FramedLine> finish(LineFramer& framer) {
    framer.finish();
    return drain(framer);
}

std::optional<std::string> next_text(LineFramer& framer) {
    auto line = framer.next();
    if (!line) return std::nullopt;
    EXPECT_FALSE(line->too_long);
    return line->text;
}

}  // namespace

// Without a bound and without stripping, as the worker reads its commands.
TEST(LineFramer, SplitsAtLineFeedsAcrossChunksKeepingBlankLinesAndCarriageReturns) {
    LineFramer s;
    s.feed("ab");
    EXPECT_EQ(next_text(s), std::nullopt);
    s.feed("c\n\nde\r\nf");
    EXPECT_EQ(next_text(s), "abc");
    EXPECT_EQ(next_text(s), "");
    EXPECT_EQ(next_text(s), "de\r");
    EXPECT_EQ(next_text(s), std::nullopt);
    s.feed("g\n");
    EXPECT_EQ(next_text(s), "fg");
    s.finish();
    EXPECT_EQ(next_text(s), std::nullopt);
    s.feed("tail");
    EXPECT_EQ(next_text(s), std::nullopt);
    s.finish();
    auto rest = s.next();
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->text, "tail");
    EXPECT_FALSE(rest->terminated);
    EXPECT_FALSE(s.next());
}

TEST(LineFramer, HowTheChunksFallChangesNoLine) {
    const std::string stream = "first\n\n  second \r\nthird\r\n\r\n" + std::string(300, 'x') + "\nlast";
    for (const bool strip : {false, true}) {
        LineFramer whole({.max_bytes = 100, .strip_carriage_return = strip});
        std::vector<FramedLine> expected = feed(whole, stream);
        for (const FramedLine& line : finish(whole)) expected.push_back(line);
        ASSERT_EQ(expected.size(), 7u);
        for (std::size_t size = 1; size <= 7; ++size) {
            LineFramer pieces({.max_bytes = 100, .strip_carriage_return = strip});
            std::vector<FramedLine> got;
            for (std::size_t at = 0; at < stream.size(); at += size) {
                for (FramedLine& line : feed(pieces, std::string_view(stream).substr(at, size)))
                    got.push_back(std::move(line));
            }
            for (FramedLine& line : finish(pieces)) got.push_back(std::move(line));
            ASSERT_EQ(got.size(), expected.size()) << "chunks of " << size;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].text, expected[i].text) << "line " << i << ", chunks of " << size;
                EXPECT_EQ(got[i].too_long, expected[i].too_long) << "line " << i << ", chunks of " << size;
                EXPECT_EQ(got[i].terminated, expected[i].terminated) << "line " << i << ", chunks of " << size;
            }
        }
    }
}

// As the MCP server reads messages: "\r\n" understood, over-long lines answered once.
TEST(LineFramer, StripsCarriageReturnsWhenAskedAndGivesTheUnterminatedRestOnce) {
    LineFramer framer({.max_bytes = 100, .strip_carriage_return = true});
    EXPECT_TRUE(feed(framer, "{\"a\":").empty());
    auto lines = feed(framer, " 1}\r\n{\"b\": 2}\n{\"c\"");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "{\"a\": 1}");
    EXPECT_EQ(lines[1].text, "{\"b\": 2}");
    lines = finish(framer);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "{\"c\"");
    EXPECT_TRUE(finish(framer).empty());

    // Only one "\r", and only at the end; a rest of a lone "\r" is still a line.
    lines = feed(framer, "a\rb\r\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "a\rb\r");
    framer.feed("\r");
    lines = finish(framer);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "");
    EXPECT_FALSE(lines[0].terminated);
}

TEST(LineFramer, AnOverlongLineComesOutOnceAndTheNextOneIsIntact) {
    LineFramer framer({.max_bytes = 8, .strip_carriage_return = true});
    EXPECT_TRUE(feed(framer, "0123456").empty());
    EXPECT_FALSE(framer.overflowing());
    EXPECT_TRUE(feed(framer, "789abcdef").empty());  // past the limit, nothing kept
    EXPECT_TRUE(framer.overflowing());
    auto lines = feed(framer, "ghij\nok\n");
    EXPECT_FALSE(framer.overflowing());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].too_long);
    EXPECT_EQ(lines[0].text, "");
    EXPECT_FALSE(lines[1].too_long);
    EXPECT_EQ(lines[1].text, "ok");
    // Exactly the limit is still a line.
    lines = feed(framer, "12345678\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(lines[0].too_long);
    EXPECT_EQ(lines[0].text, "12345678");
    // An over-long line that the input ends in comes out too, unterminated.
    EXPECT_TRUE(feed(framer, "123456789").empty());
    lines = finish(framer);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].too_long);
    EXPECT_FALSE(lines[0].terminated);
    EXPECT_TRUE(finish(framer).empty());
}

// The bound counts the line without its "\n" but with its "\r", stripped or not,
// and it is passed as soon as the bytes arrive: the manager stops reading then.
TEST(LineFramer, TheBoundCountsTheCarriageReturnAndIsKnownBeforeTheLineFeed) {
    for (const bool strip : {false, true}) {
        LineFramer framer({.max_bytes = 8, .strip_carriage_return = strip});
        auto lines = feed(framer, "1234567\r\n12345678\r\n");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_FALSE(lines[0].too_long);
        EXPECT_EQ(lines[0].text, strip ? "1234567" : "1234567\r");
        EXPECT_TRUE(lines[1].too_long);

        EXPECT_TRUE(feed(framer, "12345").empty());
        EXPECT_FALSE(framer.overflowing());
        EXPECT_TRUE(feed(framer, "6789").empty());
        EXPECT_TRUE(framer.overflowing());
    }
    // Only the line being read counts: complete lines before it do not add up.
    LineFramer framer({.max_bytes = 4});
    EXPECT_EQ(feed(framer, "abcd\nefgh\nij").size(), 2u);
    EXPECT_FALSE(framer.overflowing());
    EXPECT_EQ(framer.max_bytes(), 4u);
}

TEST(LineFramer, AnEmptyStreamGivesNoLineButABlankLineIsOne) {
    LineFramer nothing;
    EXPECT_TRUE(finish(nothing).empty());

    LineFramer blank;
    auto lines = feed(blank, "\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "");
    EXPECT_TRUE(lines[0].terminated);
    EXPECT_TRUE(finish(blank).empty());
}
