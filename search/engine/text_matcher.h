#pragma once
// The matchers of the stream search: find a text in one block, forward or backward, with
// or without case, optionally as a whole word. The text is prepared once per search; the
// forward scan looks for two of its characters - the rarest pair that a vector compare
// can test - and verifies only there. A block is given inside a window of the stream:
// whole-word tests read the characters around a match from the window, which holds the
// block's real neighbours (a few bytes of them, or none at the stream's start and end),
// so a result never depends on where a block begins.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// Word characters: letters, digits, marks and "_" by the program's Unicode tables. Quotes,
// dashes, blanks and other signs above 127 are no word characters; umlauts, ß and the
// letters of every script are. A byte that starts no well-formed UTF-8 sequence, and a
// lone surrogate, count as word characters (they stand for letters of another code page).
bool IsWordCharacter(char32_t c);

// What stands around a whole word: the unit before `at` and from `at` on in a window, as
// the stream's characters. ANSI bytes are read through code page 1252, UTF-8 is decoded
// (from at most four bytes), UTF-16 units pair their surrogates. kNoCharacter at the
// window's ends.
inline constexpr char32_t kNoCharacter = 0xFFFFFFFF;
char32_t CharacterBefore(std::string_view window, size_t at, bool utf8);
char32_t CharacterAt(std::string_view window, size_t at, bool utf8);
char32_t CharacterBefore(std::u16string_view window, size_t at);
char32_t CharacterAt(std::u16string_view window, size_t at);

// Lower-casing of code page 1252 bytes, from the program's Unicode tables.
const std::array<unsigned char, 256>& AnsiLowerTable();
std::string AnsiLowerCase(std::string_view bytes);

struct MatchOptions {
  bool caseSensitive = false;
  bool wholeWords = false;
  // The 8-bit stream is UTF-8: the whole-word test decodes its neighbours as UTF-8.
  bool utf8 = false;
};

// Where a forward scan looks: candidates i with block[i + offsetA] one of variantsA and
// block[i + offsetB] one of variantsB (two byte values or units each at most). The byte
// scan also tests block[i + offsetC] against c0/c1, a third byte between the two where
// one is known (else the first again): a pair of common letters passes far fewer
// positions so.
template <typename Unit>
struct ScanPair {
  size_t offsetA = 0, offsetB = 0;
  Unit a0 = 0, a1 = 0, b0 = 0, b1 = 0;
  bool usable = false;
  size_t offsetC = 0;
  Unit c0 = 0, c1 = 0;
};

class ByteMatcher {
 public:
  ByteMatcher(std::string_view text, MatchOptions options);
  // 0-based index in the block [begin, end) of window of the first (forward) or last
  // (backward) match, or -1.
  int64_t Find(std::string_view window, size_t begin, size_t end, bool forward) const;
  int64_t Find(std::string_view block, bool forward) const { return Find(block, 0, block.size(), forward); }
  size_t Length() const { return text_.size(); }

 private:
  bool Verify(std::string_view window, size_t begin, size_t end, size_t at) const;

  std::string text_;  // lower-cased unless case-sensitive
  MatchOptions options_;
  ScanPair<unsigned char> scan_;
};

// UTF-8 text without case: each character is folded with the simple case mapping of the
// program's Unicode tables ("Ö" finds "ö", "ß" stays "ß"), so a match can be longer or
// shorter in bytes than the text (the Kelvin sign is "k", "İ" is "i"). The scan anchors on
// two characters with a fixed distance in bytes (every character between them folds only
// from forms of its own length); the characters before the anchor are matched backwards,
// which finds the match's start, and the whole match is verified forwards from there.
class Utf8Matcher {
 public:
  explicit Utf8Matcher(std::string_view utf8Text, bool wholeWords = false);
  // 0-based index in the block [begin, end) of window of the first (forward) or last
  // (backward) match, or -1; its length in bytes goes to *length.
  int64_t Find(std::string_view window, size_t begin, size_t end, bool forward, size_t* length) const;
  int64_t Find(std::string_view block, bool forward, size_t* length) const {
    return Find(block, 0, block.size(), forward, length);
  }
  // The longest match in bytes.
  size_t MaxLength() const { return maxLength_; }
  bool Empty() const { return folded_.empty(); }

 private:
  // The length of a match at `at` of the block (0: none).
  size_t MatchAt(std::string_view block, size_t at) const;
  bool Verify(std::string_view window, size_t begin, size_t end, size_t at, size_t* length) const;
  // The start of a match whose anchor character begins at `at` of the block, or -1.
  int64_t StartBefore(std::string_view block, size_t at) const;

  std::vector<char32_t> folded_;
  // Every byte form of each character that folds to it.
  std::vector<std::vector<std::string>> forms_;
  bool wholeWords_ = false;
  size_t minLength_ = 0, maxLength_ = 0;
  std::array<bool, 256> first_{};  // bytes that can begin a match
  size_t anchor_ = 0;              // the character the scan's first byte begins
  ScanPair<unsigned char> scan_;
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
  int64_t Find(std::u16string_view window, size_t begin, size_t end, bool forward) const;
  int64_t Find(std::u16string_view block, bool forward) const { return Find(block, 0, block.size(), forward); }
  size_t Length() const { return text_.size(); }

 private:
  bool Verify(std::u16string_view window, size_t begin, size_t end, size_t at) const;

  std::u16string text_;
  MatchOptions options_;
  ScanPair<char16_t> scan_;
};

}  // namespace search
