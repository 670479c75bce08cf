// Python's str operations on UTF-8 text: lengths and cuts in code points,
// white space, line splitting, case mapping and character classes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvex::pystr {

// Number of code points (len(s)). Invalid UTF-8 bytes count one each.
std::size_t length(std::string_view s);

// s[:n], cut at a code-point boundary; never splits a character.
std::string_view cut(std::string_view s, std::size_t n);

// str.isspace() for one code point (Python's white-space set: the Unicode
// White_Space characters plus the separators \x1c-\x1f).
bool is_space(char32_t c);

// str.strip(), lstrip(), rstrip() without arguments.
std::string_view strip(std::string_view s);
std::string_view lstrip(std::string_view s);
std::string_view rstrip(std::string_view s);

// str.splitlines(keepends): splits at \n, \r, \r\n, \v, \f, \x1c, \x1d, \x1e,
// \x85, U+2028 and U+2029.
std::vector<std::string_view> splitlines(std::string_view s, bool keepends = false);

// str.lower() and str.upper(), with full case mapping ("ß".upper() == "SS").
std::string lower(std::string_view s);
std::string upper(std::string_view s);

// str.isupper(), str.isalnum(), str.isspace() for whole strings, exactly as
// Python defines them (false for the empty string).
bool isupper(std::string_view s);
bool isalnum(std::string_view s);
bool isspace(std::string_view s);

// Decodes UTF-8 as Python's bytes.decode("utf-8", "replace") does: one U+FFFD
// per maximal invalid subsequence.
std::string decode_utf8_replace(std::string_view bytes);

// True when the bytes are valid UTF-8 (strict: no surrogates, no overlongs).
bool is_valid_utf8(std::string_view bytes);
// Length in bytes of the longest strictly valid UTF-8 prefix (the offset of
// the first offending byte when the text is not valid).
std::size_t valid_utf8_prefix(std::string_view bytes);

// Code points of UTF-8 text; generalised UTF-8 (lone surrogates) decodes to
// the surrogate values. Invalid bytes decode as U+FFFD.
std::u32string to_u32(std::string_view s);
// Encodes code points as UTF-8 (lone surrogates in generalised UTF-8).
std::string from_u32(std::u32string_view s);
void append_utf8(std::string& out, char32_t c);

// File names, arguments and environment values are bytes on Linux; Python
// holds them as text through os.fsdecode and gives the bytes back at every
// system call through os.fsencode. Text that follows the same road reaches the
// same file, and shows a name that is not UTF-8 the way Python does (pyjson
// writes the escapes as \udcXX).

// os.fsdecode: valid UTF-8 stays as it is; every byte of an invalid sequence
// becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF, in generalised UTF-8).
std::string fsdecode(std::string_view bytes);

// fsdecode for a value meant to be text that may carry a file name's raw
// bytes (a host that passed them where text was due): surrogates already in
// it stay as they are, and only bytes that are not UTF-8 become escapes.
std::string fsdecode_text(std::string_view text_or_bytes);

// os.fsencode: the bytes fsdecode came from. Throws std::invalid_argument
// with Python's UnicodeEncodeError text for a surrogate that is not such an
// escape ("'utf-8' codec can't encode character '\ud800' in position 3:
// surrogates not allowed"). Bytes that are not generalised UTF-8 at all are
// already bytes and pass through unchanged.
std::string fsencode(std::string_view text);

// fsencode for text shown to a person (a terminal, a log): never throws; a
// surrogate that is not an escape becomes U+FFFD.
std::string fsencode_replace(std::string_view text);

}  // namespace norvex::pystr
