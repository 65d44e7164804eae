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

// UTF-8 text without case: each character is folded with the simple case mapping of the
// program's Unicode tables ("Ö" finds "ö", "ß" stays "ß"), so a match can be longer or
// shorter in bytes than the text (the Kelvin sign is "k"). Texts whose characters fold
// only to forms of their own byte length, as nearly all do, are scanned by their first
// and last bytes with vector compares; the rest candidate by candidate.
class Utf8Matcher {
 public:
  explicit Utf8Matcher(std::string_view utf8Text, bool wholeWords = false);
  // 0-based index of the first (forward) or last (backward) match in block, or -1; its
  // length in bytes goes to *length.
  int64_t Find(std::string_view block, bool forward, int32_t before, int32_t after, size_t* length) const;
  // The longest match in bytes.
  size_t MaxLength() const { return maxLength_; }
  bool Empty() const { return folded_.empty(); }

 private:
  // The length of a match at `at` (0: none).
  size_t MatchAt(std::string_view block, size_t at) const;
  bool Verify(std::string_view block, size_t at, int32_t before, int32_t after, size_t* length) const;

  std::vector<char32_t> folded_;
  bool wholeWords_ = false;
  bool fixedLength_ = true;  // every match is as long as the folded text
  size_t foldedBytes_ = 0;
  size_t maxLength_ = 0;
  std::array<bool, 256> first_{};  // bytes that can begin a match
  std::vector<unsigned char> firstVariants_, lastVariants_;
  // The leading characters that fold only to forms of their own length: their bytes and
  // the last byte of their last one, which lets a text of varying length be scanned
  // with vector compares too.
  size_t prefixBytes_ = 0;
  std::vector<unsigned char> prefixLastVariants_;
};

// The UTF-8 case folding of one character: the decoded character at p (a byte that starts
// no well-formed sequence stands for nothing any text holds) with its simple lower case.
struct FoldedChar {
  char32_t folded;
  size_t length;
};
FoldedChar FoldUtf8Char(const unsigned char* p, size_t left);

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
