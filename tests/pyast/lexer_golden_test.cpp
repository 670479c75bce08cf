// Tokenizer tests: a tour of the whole syntax against the stream CPython 3.14's tokenizer gives for it.
#include "lexer_test_util.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace norvex::pyast {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The token text as a JSON string, as Python's json.dumps(ensure_ascii=False) writes it.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\f': out += "\\f"; break;
            case '\b': out += "\\b"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

TEST(lexer_golden, tour_of_the_syntax_matches_cpython_token_for_token) {
    const std::string dir = std::string(NORVEX_PYAST_TEST_DATA) + "/lexer/";
    const std::string source = read_file(dir + "tour.py");
    const std::string expected = read_file(dir + "tour.tokens");
    ASSERT_FALSE(source.empty());
    ASSERT_FALSE(expected.empty());

    Arena arena;
    Tokenizer tok(source, arena);
    std::istringstream lines(expected);
    std::string want;
    std::size_t i = 0;
    for (const Token& t : tok.all()) {
        ASSERT_TRUE(std::getline(lines, want)) << "extra token " << i << ": " << name_of(t.kind);
        std::string got = std::string(name_of(t.kind)) + " " + quoted(tok.text(t)) + " " + std::to_string(t.lineno) + ":" +
                          std::to_string(t.col_offset) + "-" + std::to_string(t.end_lineno) + ":" +
                          std::to_string(t.end_col_offset);
        ASSERT_EQ(got, want) << "token " << i;
        ++i;
    }
    EXPECT_FALSE(std::getline(lines, want)) << "missing tokens from " << want;
    EXPECT_FALSE(tok.error());
}

}  // namespace
}  // namespace norvex::pyast
