// File-name bytes as Python's text and back, checked against os.fsdecode and os.fsencode of the machine's Python.
#include "../support/python_fs.hpp"

#include "norvex/common/pyjson.hpp"
#include "norvex/common/pystr.hpp"

#include <gtest/gtest.h>

#include <boost/json/string.hpp>

#include <random>
#include <string>
#include <vector>

namespace ps = norvex::pystr;
using norvex::testing::have_python3;
using norvex::testing::python_fsdecode_json;
using norvex::testing::python_lines;

namespace {

// Names a file system may hold: broken and overlong sequences, encoded
// surrogates, bytes past U+10FFFF, and random mixes of valid and invalid UTF-8.
std::vector<std::string> sample_names() {
    std::vector<std::string> names = {
        "plain.py", "caf\xc3\xa9.py", "caf\xe9.py", "\xff\xfe", "\xe2\x82", "\xe2\x82" "A", "\xed\xa0\x80",
        "\xed\xb3\xbf", "\xf0\x9f\x98", "\xf0\x9f\x98\x80", "\xc0\xaf", "\xf4\x90\x80\x80", "\x80\x80", "a\xe9" "b\xe9",
    };
    std::mt19937 gen(1234);
    const std::vector<std::string> pieces = {"a", "/", "\xc3\xa9", "\xe6\x97\xa5", "\xf0\x9f\x98\x80", "\xed\xb0\x80"};
    for (int i = 0; i < 400; ++i) {
        std::string name;
        const int length = 1 + static_cast<int>(gen() % 12);
        for (int k = 0; k < length; ++k) {
            if (gen() % 2 == 0) name += pieces[gen() % pieces.size()];
            else name += static_cast<char>(0x80 + gen() % 0x80);
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(PystrFs, DecodedNamesAreWhatPythonHoldsAndEncodeBack) {
    const std::vector<std::string> names = sample_names();
    for (const std::string& name : names) {
        const std::string text = ps::fsdecode(name);
        EXPECT_EQ(ps::fsencode(text), name) << testing::PrintToString(name);
        // Text already decoded stays as it is; raw bytes are decoded as fsdecode would.
        EXPECT_EQ(ps::fsdecode_text(text), text) << testing::PrintToString(name);
        if (name.find("\xed") == std::string::npos) {
            EXPECT_EQ(ps::fsdecode_text(name), text) << testing::PrintToString(name);
        }
    }
    if (!have_python3()) GTEST_SKIP() << norvex::testing::PYTHON3 << " is missing: JSON text not compared";
    const std::vector<std::string> expected = python_fsdecode_json(names);
    ASSERT_EQ(expected.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(norvex::pyjson::dumps(boost::json::string(ps::fsdecode(names[i]))), expected[i])
            << testing::PrintToString(names[i]);
    }
}

TEST(PystrFs, SurrogatesThatAreNotEscapesAreRefusedInPythonsWords) {
    // JSON text, as a model would send a path.
    const std::vector<std::string> texts = {
        R"("a\ud800\ud801b")", R"("a\udcff\ud800")", R"("a\ud800\udcff")", R"("\udc7f")",
        R"("x\ud83d\ude00\ud800")", R"("caf\u00e9\udce9\ud800\udc00")", R"("caf\udce9")",
    };
    const std::string displayed = ps::fsencode_replace(norvex::pyjson::parse(R"("a\udce9\ud800b")").as_string());
    EXPECT_EQ(displayed, "a\xe9\xef\xbf\xbd" "b");
    if (!have_python3()) GTEST_SKIP() << norvex::testing::PYTHON3 << " is missing";
    const std::vector<std::string> expected = python_lines(
        "import json, os, sys\n"
        "for line in sys.stdin:\n"
        "    try:\n"
        "        print('ok ' + os.fsencode(json.loads(bytes.fromhex(line.strip()))).hex())\n"
        "    except UnicodeEncodeError as e:\n"
        "        print('error ' + str(e))\n",
        texts);
    ASSERT_EQ(expected.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string text(norvex::pyjson::parse(texts[i]).as_string());
        std::string got;
        try {
            static constexpr char hex[] = "0123456789abcdef";
            got = "ok ";
            for (const char c : ps::fsencode(text)) {
                got += hex[static_cast<unsigned char>(c) >> 4];
                got += hex[static_cast<unsigned char>(c) & 15];
            }
        } catch (const std::invalid_argument& e) {
            got = std::string("error ") + e.what();
        }
        EXPECT_EQ(got, expected[i]) << texts[i];
    }
}
