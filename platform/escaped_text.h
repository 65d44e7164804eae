#pragma once
// One text per line in the small text files of our own (settings, window directory):
// UTF-8, with "%" + two hex digits for "%", the control characters and whatever ASCII
// characters the file's syntax reserves, and "%u" + four hex digits for a lone surrogate,
// so that every UTF-16 text comes back unit for unit.
#include <string>
#include <string_view>

namespace platform {

std::string EscapeLine(std::u16string_view text, std::string_view reserved = {});
// Bytes that are not well-formed UTF-8 (a file edited by hand in Latin-1) read as code
// page 1252 rather than being dropped.
std::u16string UnescapeLine(std::string_view line);

// Comparison forms: simple Unicode case folding and upper-casing, one code point at a
// time (so the length in code points stays, as in the registry's comparison of names).
std::u16string FoldCase(std::u16string_view text);
std::u16string UpperCase(std::u16string_view text);

}  // namespace platform
