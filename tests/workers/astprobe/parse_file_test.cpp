// parse_file on real files: decoding, line endings, and every failure text; expected texts are the Python reference's.
#include "probe_test_util.hpp"

#include "norvex/workers/astprobe/parse_file.hpp"
#include "norvex/workers/astprobe/structure.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

using namespace norvex::astprobe;
using norvex::testing::ScratchDir;
using norvex::testing::text_of;

namespace {

// Runs `body` with the working directory set to `dir`, then restores it.
template <typename F>
void in_directory(const std::filesystem::path& dir, F&& body) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    try {
        body();
    } catch (...) {
        std::filesystem::current_path(previous);
        throw;
    }
    std::filesystem::current_path(previous);
}

}  // namespace

TEST(ParseFile, MissingFilesKeepThePathAsWritten) {
    ScratchDir dir;
    const std::string missing = dir.path().string() + "/../" + dir.path().filename().string() + "/nope.py";
    const ParsedFile f = parse_file(missing);
    EXPECT_FALSE(f.ok());
    EXPECT_EQ(f.error, "File not found: " + missing);
    EXPECT_EQ(f.source, "");
    EXPECT_EQ(parse_file("~/astprobe-surely-missing.py").error, "File not found: ~/astprobe-surely-missing.py");
    EXPECT_EQ(parse_file("~nosuchuser-astprobe/x.py").error, "File not found: ~nosuchuser-astprobe/x.py");
    EXPECT_EQ(parse_file("/etc/passwd/x.py").error, "File not found: /etc/passwd/x.py");
}

TEST(ParseFile, SystemFailuresInPythonsForm) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path() / "it's");
    const std::string canonical = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(parse_file(dir.path().string()).error, "[Errno 21] Is a directory: '" + canonical + "'");
    EXPECT_EQ(parse_file(dir.path().string() + "/it's/").error, "[Errno 21] Is a directory: \"" + canonical + "/it's\"");
    // No path at all names the working directory.
    in_directory(dir.path(), [&] { EXPECT_EQ(parse_file("").error, "[Errno 21] Is a directory: '" + canonical + "'"); });
    const std::string long_name = dir.path().string() + "/" + std::string(300, 'a') + "/x.py";
    EXPECT_EQ(parse_file(long_name).error,
              "[Errno 36] File name too long: '" + canonical + "/" + std::string(300, 'a') + "/x.py'");
    EXPECT_EQ(parse_file(std::string("a\0b", 3)).error, "embedded null byte");
}

TEST(ParseFile, RelativePathsAndTildeResolve) {
    ScratchDir dir;
    dir.write("rel.py", "x = 1\n");
    in_directory(dir.path(), [&] {
        EXPECT_TRUE(parse_file("rel.py").ok());
        // Past the part that exists, ".." is taken as written, as Path.resolve() does.
        EXPECT_TRUE(parse_file("./sub/../rel.py").ok());
        EXPECT_TRUE(parse_file("rel.py/../rel.py").ok());
    });
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(expand_user("~"), home);
    EXPECT_EQ(expand_user("~/a/b"), std::string(home) + "/a/b");
    EXPECT_EQ(expand_user("x/~/y"), "x/~/y");
    EXPECT_EQ(expand_user("~root/z"), "/root/z");
}

TEST(ParseFile, DecodingLineEndingsAndByteOrderMark) {
    ScratchDir dir;
    const ParsedFile bad = parse_file(dir.write("bad.py", "s = 'caf\xe9 \xf0\x9f\x98'\n# \xed\xa0\x80\n"));
    ASSERT_TRUE(bad.ok()) << *bad.error;
    EXPECT_EQ(bad.source, "s = 'caf\xef\xbf\xbd \xef\xbf\xbd'\n# \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\n");

    const std::string lf = "def f(a: int,\n      b: 'x') -> str:\n    pass\n";
    std::string crlf = "\xEF\xBB\xBF";
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string cr = lf;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    const ParsedFile a = parse_file(dir.write("lf.py", lf));
    const ParsedFile b = parse_file(dir.write("crlf.py", crlf));
    const ParsedFile c = parse_file(dir.write("cr.py", cr));
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    EXPECT_EQ(b.source, lf);
    EXPECT_EQ(c.source, lf);
    const std::string expected = text_of(find_functions(a.module(), a.source));
    EXPECT_EQ(expected,
              R"([{"name": "f", "type": "function", "line": 1, "end_line": 3, "args": [{"name": "a", "annotation": "int"}, {"name": "b", "annotation": "'x'"}], "return_type": "str", "decorators": [], "docstring": "", "is_method": false}])");
    EXPECT_EQ(text_of(find_functions(b.module(), b.source)), expected);
    EXPECT_EQ(text_of(find_functions(c.module(), c.source)), expected);
}

TEST(ParseFile, SyntaxErrorsNameTheirLine) {
    ScratchDir dir;
    EXPECT_EQ(parse_file(dir.write("indent.py", "x = 1\n    y = 2\n")).error, "Syntax error at line 2: unexpected indent");
    EXPECT_EQ(parse_file(dir.write("nul.py", std::string("x = 1\r\ny = 2\r\0\n", 15))).error,
              "Syntax error at line 3: source code string cannot contain null bytes");
    const ParsedFile empty = parse_file(dir.write("empty.py", ""));
    ASSERT_TRUE(empty.ok());
    EXPECT_FALSE(empty.error);
    EXPECT_EQ(text_of(extract_symbols(empty.module())), R"({"functions": [], "classes": [], "variables": [], "constants": []})");
}

TEST(DecodeSource, ReplacesAndNormalises) {
    EXPECT_EQ(decode_source(""), "");
    EXPECT_EQ(decode_source("\xEF\xBB\xBF"), "");
    EXPECT_EQ(decode_source("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");  // only a leading mark is dropped
    EXPECT_EQ(decode_source("a\r\r\nb\rc\n"), "a\n\nb\nc\n");
    // One U+FFFD per maximal invalid subsequence: a truncated 3-byte sequence is one.
    EXPECT_EQ(decode_source("\xe2\x82x\x80"), "\xef\xbf\xbdx\xef\xbf\xbd");
}
