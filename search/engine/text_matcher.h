#pragma once
// The matchers of the stream search: find a text in one block, forward or backward, with
// or without case, optionally as a whole word. The text is prepared once per search; the
// forward scan looks for the first and last character of the text with vector compares
// and verifies only there. Whole-word tests see the real neighbours of the block in the
// stream (kNoChar at the stream's start and end), so a result never depends on where a
// block begins.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

inline constexpr int32_t kNoChar = -1;

// Word delimiters: 0-47, 58-64, 91-94, 96, 123-127; letters, digits, "_" and everything
// above 127 are word characters.
constexpr bool IsWordDelimiter(uint32_t c) {
  return c <= 47 || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 || (c >= 123 && c <= 127);
}

// Lower-casing of code page 1252 bytes, from the program's Unicode tables.
const std::array<unsigned char, 256>& AnsiLowerTable();
std::string AnsiLowerCase(std::string_view bytes);

struct MatchOptions {
  bool caseSensitive = false;
  bool wholeWords = false;
};

class ByteMatcher {
 public:
  ByteMatcher(std::string_view text, MatchOptions options);
  // 0-based index of the first (forward) or last (backward) match in block, or -1.
  int64_t Find(std::string_view block, bool forward, int32_t before, int32_t after) const;
  size_t Length() const { return text_.size(); }

 private:
  bool Verify(std::string_view block, size_t at, int32_t before, int32_t after) const;
  int64_t FindForward(std::string_view block, int32_t before, int32_t after) const;

  std::string text_;  // lower-cased unless case-sensitive
  MatchOptions options_;
  // Byte values equal to the first and the last character under the options (at most 2
  // each; more falls back to the plain scan).
  std::vector<unsigned char> firstVariants_, lastVariants_;
};

class WideMatcher {
 public:
  WideMatcher(std::u16string_view text, MatchOptions options);
  int64_t Find(std::u16string_view block, bool forward, int32_t before, int32_t after) const;
  size_t Length() const { return text_.size(); }

 private:
  bool Verify(std::u16string_view block, size_t at, int32_t before, int32_t after) const;
  int64_t FindForward(std::u16string_view block, int32_t before, int32_t after) const;

  std::u16string text_;
  MatchOptions options_;
  std::vector<char16_t> firstVariants_, lastVariants_;
};

}  // namespace search
