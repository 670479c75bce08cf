// Shared helpers of the astprobe tests: parsing snippets, JSON text, scratch folders, program paths.
#pragma once

#include "../../support/scratch_dir.hpp"

#include "norvex/common/ids.hpp"
#include "norvex/common/pyjson.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace norvex::testing {

inline const std::string ASTPROBE_PROGRAM = NORVEX_ASTPROBE_PROGRAM;
inline const std::string ASTPROBE_DATA = NORVEX_ASTPROBE_TEST_DATA;

// A snippet parsed by pyast; the test fails loudly when it does not parse.
inline std::unique_ptr<pyast::Tree> parse_ok(std::string source) {
    pyast::ParseResult r = pyast::parse(std::move(source));
    if (!r.tree) throw std::runtime_error("snippet does not parse: " + r.error->msg);
    return std::move(r.tree);
}

// The compact JSON text Python's json.dumps writes: the form expected values are taken in.
inline std::string text_of(const boost::json::value& v) { return pyjson::dumps(v); }


}  // namespace norvex::testing
