#include "search/engine/stream_search.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "platform/codepage.h"
#include "search/engine/text_matcher.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace search {
namespace {

using textlib::TMemoryStream;

// Word characters read plainly from the Unicode tables: letters, digits, marks and "_";
// a stray byte (beyond Unicode here) or a lone surrogate counts as one.
bool PlainWordCharacter(char32_t c) {
  if (c == '_') return true;
  if (c >= 0x110000 || (c >= 0xD800 && c < 0xE000)) return true;
  for (int cat : {textlib::kCatLu, textlib::kCatLl, textlib::kCatLt, textlib::kCatLm, textlib::kCatLo,
                  textlib::kCatMn, textlib::kCatMc, textlib::kCatMe, textlib::kCatNd})
    if (textlib::IsInCategory(c, cat)) return true;
  return false;
}

// A UTF-16 character ending before p or starting at p, surrogates paired.
char32_t WideBefore(const std::u16string& hay, int64_t p) {
  const char16_t u = hay[p - 1];
  if (u >= 0xDC00 && u < 0xE000 && p >= 2 && hay[p - 2] >= 0xD800 && hay[p - 2] < 0xDC00)
    return 0x10000 + ((char32_t(hay[p - 2]) - 0xD800) << 10) + (u - 0xDC00);
  return u;
}
char32_t WideAt(const std::u16string& hay, int64_t p) {
  const char16_t u = hay[p];
  if (u >= 0xD800 && u < 0xDC00 && p + 1 < static_cast<int64_t>(hay.size()) && hay[p + 1] >= 0xDC00 && hay[p + 1] < 0xE000)
    return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (hay[p + 1] - 0xDC00);
  return u;
}

// The rules read plainly over the whole stream at once: the first (forward) or last
// (backward) character position from the start on whose characters equal the text, under
// the options, with whole words tested against the real neighbours in the stream.
int64_t Reference(const std::string& stream, const std::u16string& text, TViewerEncoding enc,
                  uint8_t options, int64_t start) {
  const int64_t cs = EncodingCharSize(enc);
  if (text.empty() || static_cast<int64_t>(stream.size()) < cs) return -1;
  const bool forward = !(options & kSearchBackward);
  const bool caseSensitive = options & kSearchCaseSensitive, words = options & kSearchWholeWords;
  std::u16string hay, needle;
  if (cs == 2) {
    for (size_t i = 0; i + 1 < stream.size(); i += 2) {
      const auto a = static_cast<unsigned char>(stream[i]), b = static_cast<unsigned char>(stream[i + 1]);
      hay.push_back(enc == vEncUnicodeBE ? char16_t(a << 8 | b) : char16_t(a | b << 8));
    }
    needle = text;
  } else {
    const auto* table = EncodingToAnsiTable(enc);
    for (unsigned char c : stream) hay.push_back(platform::Cp1252ToWide((*table)[c]));
    needle = platform::AnsiToWide(platform::WideToAnsi(text));
  }
  auto lower = [&](char16_t c) -> char16_t {
    if (caseSensitive) return c;
    if (cs == 1) return platform::Cp1252ToWide(AnsiLowerTable()[*platform::WideToCp1252(c)]);
    return static_cast<char16_t>(textlib::CharToLower(c));
  };
  const int64_t n = static_cast<int64_t>(hay.size()), len = static_cast<int64_t>(needle.size());
  auto matches = [&](int64_t p) {
    if (p < 0 || p + len > n) return false;
    for (int64_t k = 0; k < len; ++k)
      if (lower(hay[p + k]) != lower(needle[k])) return false;
    if (words) {
      if (p > 0 && PlainWordCharacter(WideBefore(hay, p))) return false;
      if (p + len < n && PlainWordCharacter(WideAt(hay, p + len))) return false;
    }
    return true;
  };
  int64_t s = start / cs;
  if (!forward && start == 0) s = n - 1;
  if (s > n - 1) {
    if (forward) return -1;
    s = n - 1;
  }
  if (s < 0) {
    if (!forward) return -1;
    s = 0;
  }
  if (forward) {
    for (int64_t p = s; p <= n - len; ++p)
      if (matches(p)) return p * cs;
  } else {
    for (int64_t p = std::min(s, n - len); p >= 0; --p)  // the match ends with the character at s
      if (p + len - 1 <= s && matches(p)) return p * cs;
  }
  return -1;
}

std::string Utf16(std::u16string_view s, bool bigEndian = false) {
  std::string out;
  for (char16_t c : s) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

int64_t Search(const std::string& data, const std::u16string& text, TViewerEncoding enc, uint8_t options,
               int64_t start, int64_t blockSize = TStreamSearch::kDefaultBlockSize) {
  TMemoryStream stream(data);
  TStreamSearch search;
  search.BlockSize = blockSize;
  search.AssignSearchStream(&stream);
  search.FindFirst(text, enc, options, start);
  return search.FoundStart();
}

TEST(StreamSearch, AgreesWithTheReferenceOnRandomStreamsAndBlockSizes) {
  std::mt19937 rng(11);
  // German quotes and dashes, Cyrillic and Greek letters, the capital I with dot, the
  // Kelvin sign, the long s and a surrogate pair (split at random) beside plain letters.
  const std::u16string plain = u"abAB _.\u00E4\u00C4x";
  const std::u16string wider = plain + u"\u201E\u201C\u00BB\u00AB\u2013\u2014\u0416\u03B1\u0130\u212A\u017Fiks\u00DF\U00010400";
  const TViewerEncoding encodings[] = {vEncANSI, vEncUnicodeLE, vEncUnicodeBE, vEncWEuroDOS};
  for (int round = 0; round < 6000; ++round) {
    const TViewerEncoding enc = encodings[rng() % 4];
    const std::u16string& alphabet = enc == vEncWEuroDOS ? plain : wider;
    std::u16string content;
    for (int i = 0, n = int(rng() % (round % 3 ? 60 : 300)); i < n; ++i)
      content.push_back(alphabet[rng() % 5 == 0 ? rng() % alphabet.size() : rng() % 4]);
    std::u16string text;
    for (int i = 0, n = 1 + int(rng() % 3); i < n; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    std::string data;
    if (enc == vEncANSI) data = platform::WideToAnsi(content);
    else if (enc == vEncWEuroDOS) data = *platform::WideToMultiByte(850, content);
    else data = Utf16(content, enc == vEncUnicodeBE) + (rng() % 2 ? "\x41" : "");  // odd sizes too
    const uint8_t options = static_cast<uint8_t>(rng() % 8);
    const int64_t start = static_cast<int64_t>(rng() % (data.size() + 3));
    const int64_t blockSize = std::array<int64_t, 4>{1, 6, 16, 65536}[rng() % 4];
    ASSERT_EQ(Search(data, text, enc, options, start, blockSize), Reference(data, text, enc, options, start))
        << "round " << round << " enc " << int(enc) << " options " << int(options) << " start " << start
        << " block " << blockSize;
  }
}

// UTF-8 without case, read plainly: the stream as characters (a byte that starts no
// well-formed sequence is a character of its own), each lowered with the simple mapping.
struct Utf8Char {
  char32_t folded, raw;
  int64_t offset, length;
};
std::vector<Utf8Char> FoldPlainly(const std::string& bytes) {
  std::vector<Utf8Char> out;
  std::u16string wide;
  for (size_t i = 0; i < bytes.size();) {
    size_t n = 1;
    char32_t c = 0x110000 + static_cast<unsigned char>(bytes[i]);
    for (size_t len : {2, 3, 4}) {
      if (i + len > bytes.size()) break;
      if (auto w = platform::PosixUtf8ToWide(bytes.substr(i, len)); w && !w->empty() &&
          w->size() == (len == 4 ? 2u : 1u) && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0xC0) {
        c = w->size() == 2 ? 0x10000 + ((char32_t((*w)[0]) - 0xD800) << 10) + ((*w)[1] - 0xDC00) : (*w)[0];
        n = len;
        break;
      }
    }
    if (static_cast<unsigned char>(bytes[i]) < 0x80) c = static_cast<unsigned char>(bytes[i]);
    const char32_t raw = c;
    if (c < 0x110000) c = textlib::CharToLower(c);
    out.push_back({c, raw, static_cast<int64_t>(i), static_cast<int64_t>(n)});
    i += n;
  }
  return out;
}

// The first match at or after start: offset and length in bytes.
std::pair<int64_t, int64_t> Utf8Reference(const std::string& stream, const std::string& text, bool words,
                                          int64_t start) {
  const std::vector<Utf8Char> hay = FoldPlainly(stream), needle = FoldPlainly(text);
  if (needle.empty()) return {-1, 0};
  for (size_t p = 0; p + needle.size() <= hay.size(); ++p) {
    if (hay[p].offset < start) continue;
    bool equal = true;
    for (size_t k = 0; k < needle.size() && equal; ++k) equal = hay[p + k].folded == needle[k].folded;
    if (!equal) continue;
    const int64_t end = hay[p + needle.size() - 1].offset + hay[p + needle.size() - 1].length;
    if (words) {
      if (p > 0 && PlainWordCharacter(hay[p - 1].raw)) continue;
      if (p + needle.size() < hay.size() && PlainWordCharacter(hay[p + needle.size()].raw)) continue;
    }
    return {hay[p].offset, end - hay[p].offset};
  }
  return {-1, 0};
}

// Half the rounds read a file by name: far from its end, such a search goes on in blocks
// read and scanned ahead, and must find the same first match.
TEST(StreamSearch, Utf8FoldingAgreesWithThePlainReference) {
  testsupport::TempDrive drive;
  std::mt19937 rng(5);
  const char* pieces[] = {"a", "A", "k", "K", "\xE2\x84\xAA" /* Kelvin sign */, "\xC3\xB6", "\xC3\x96", "\xC3\x9F",
                          "ss", "i", "I", "\xC4\xB0" /* I with dot */, "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8",
                          "\xD0\x9F", "\xD0\xBF", " ", ".", "_", "s", "S", "\xC5\xBF" /* long s */,
                          "\xE2\x80\x9E" /* low quote */, "\xE2\x80\x9C", "\xE2\x80\x93" /* en dash */,
                          "\xC2\xBB", "\xE4\xB8\xAD", "\xCC\x88" /* combining diaeresis */, "7",
                          "\xC3" /* stray */, "\xFF"};
  for (int round = 0; round < 8000; ++round) {
    std::string content, text;
    for (int i = 0, n = int(rng() % (round % 3 ? 40 : 200)); i < n; ++i) content += pieces[rng() % std::size(pieces)];
    for (int i = 0, n = 1 + int(rng() % 3); i < n; ++i) text += pieces[rng() % (std::size(pieces) - 2)];
    const bool words = rng() % 2;
    const int64_t start = static_cast<int64_t>(rng() % (content.size() + 2));
    const int64_t blockSize = std::array<int64_t, 4>{1, 5, 16, 65536}[rng() % 4];
    TMemoryStream stream(content);
    TStreamSearch search;
    search.BlockSize = blockSize;
    search.TextIsUtf8 = true;
    if (round % 2) {
      drive.WriteFile("store.txt", content);
      search.OpenSearchFile(drive.Drive(u"store.txt"));
    } else {
      search.AssignSearchStream(&stream);
    }
    search.FindFirst(platform::AnsiToWide(text), vEncANSI, words ? kSearchWholeWords : 0, start);
    const auto [offset, length] = Utf8Reference(content, text, words, start);
    ASSERT_EQ(search.FoundStart(), offset) << "round " << round << " block " << blockSize << " from " << start;
    ASSERT_EQ(search.FoundLength(), length) << "round " << round;
  }
}

TEST(StreamSearch, Utf8FoldingTable) {
  const struct {
    const char* text;
    const char* store;
    uint8_t options;
    int64_t at;
  } rows[] = {
      {"\xC3\xB6l", "Das \xC3\x96l", 0, 4},                                        // öl finds Öl
      {"\xC3\xB6l", "\xC3\x96lpreis", 0, 0},                                       // ... and Ölpreis
      {"\xC3\xB6l", "\xC3\x96lpreis", kSearchWholeWords, -1},                      // not as a word
      {"\xC3\xB6l", "Das \xC3\x96l.", kSearchWholeWords, 4},
      {"\xC3\xB6l", "Das \xC3\x96l", kSearchCaseSensitive, -1},                    // case stays byte-exact
      {"\xC3\xA4rger", "viel \xC3\x84rger", 0, 5},                                 // ärger finds Ärger
      {"\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82!", 0, 0},
      {"\xCE\xB1\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", "in \xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", 0, 3},
      {"STRASSE", "Stra\xC3\x9F" "e", 0, -1},                                      // simple mapping only
      {"stra\xC3\x9F" "e", "STRA\xC3\x9F" "E", 0, 0},                              // ß stays ß
      {"M\xC3\x9CLLABFUHRGEB\xC3\x9CHREN", "die M\xC3\xBCllabfuhrgeb\xC3\xBChren", 0, 4},
      {"\xF0\x9F\x94\xAC", "Labor \xF0\x9F\x94\xAC", 0, 6},
      // "i" also folds from the two-byte capital I with dot: the fixed-length "stre" in
      // front of it is scanned for, past the width of a vector compare.
      {"streifen", "Ein Zebra mit Streifen ist ein Zebra mit Streifen, ja", 0, 14},
      {"streifen", "................................................STRE\xC4\xB0" "FEN und Streifen", 0, 48},
      {"streifen", "................................................xSTRE\xC4\xB0" "FEN Streif Streifen", kSearchWholeWords, 66},
      // Words beginning or ending with letters of three and more forms: the capital I with
      // dot and the Kelvin sign lower to i and k; the long s is a lower-case letter of its
      // own and stays one.
      {"iterator", "Der ........................................................ \xC4\xB0TERATOR", 0, 61},
      {"kirche", "....................................................... \xE2\x84\xAAIRCHE", 0, 56},
      {"ist", "Das .................................................... \xC4\xB0ST es", kSearchWholeWords, 57},
      {"ist", "Das .................................................... IST", 0, 57},
      {"kosten", "...................................................... Kosten, \xE2\x84\xAAosten", 0, 55},
      {"haus", "........................................................ HAU\xC5\xBF", 0, -1},
      {"ha\xC5\xBF", "........................................................ HAU\xC5\xBF HA\xC5\xBF", 0, 63},
  };
  for (const auto& r : rows) {
    TMemoryStream stream(std::string(r.store));
    TStreamSearch search;
    search.TextIsUtf8 = true;
    search.AssignSearchStream(&stream);
    search.FindFirst(platform::AnsiToWide(r.text), vEncANSI, r.options, 0);
    EXPECT_EQ(search.FoundStart(), r.at) << r.text << " in " << r.store;
  }
}

// A whole word beside quotes and dashes is a word in every store; beside a letter of any
// script, a digit, a mark or "_" it is not.
TEST(StreamSearch, WholeWordsBesideQuotesDashesAndLetters) {
  const struct {
    std::u16string store;
    bool found;
  } rows[] = {
      {u"\u201EBahn\u201C", true},  {u"Bahn\u2013Strecke", true}, {u"\u00BBBahn\u00AB", true},
      {u"\u2014Bahn\u2014", true},  {u"(Bahn)", true},            {u"Bahn", true},
      {u"\u00DCBahn", false},        {u"Bahn\u00DF", false},       {u"\u0416Bahn", false},
      {u"Bahn\u03B1", false},        {u"Bahn_", false},             {u"7Bahn", false},
      {u"Bahn\u0308", false},        {u"Stra\u00DFenBahn", false}, {u"\u00E9Bahn \u201EBahn", true},
  };
  for (const auto& r : rows) {
    for (int store = 0; store < 4; ++store) {
      const bool utf8 = store >= 2, caseSensitive = store == 3;
      std::string data;
      TViewerEncoding enc = vEncANSI;
      if (store == 0) {
        data = platform::WideToAnsi(r.store);
        if (platform::AnsiToWide(data) != r.store) continue;  // not in code page 1252
      } else if (store == 1) {
        data = Utf16(r.store);
        enc = vEncUnicodeLE;
      } else {
        data = textlib::EncodeUtf8(r.store);
      }
      TMemoryStream stream(data);
      TStreamSearch search;
      search.TextIsUtf8 = utf8;
      search.AssignSearchStream(&stream);
      const uint8_t options = kSearchWholeWords | (caseSensitive ? kSearchCaseSensitive : 0);
      EXPECT_EQ(search.FindFirst(u"Bahn", enc, options, 0), r.found)
          << textlib::EncodeUtf8(r.store) << " store " << store;
    }
  }
}

TEST(StreamSearch, BlockBoundaries) {
  for (int64_t cs : {1, 2}) {
    const TViewerEncoding enc = cs == 1 ? vEncANSI : vEncUnicodeLE;
    for (int64_t at = 65536 - 8 * cs; at <= 65536 + 8 * cs; at += cs) {
      std::u16string content(static_cast<size_t>(70000), u'x');
      content.replace(static_cast<size_t>(at / cs), 4, u"Wort");
      const std::string data = cs == 1 ? platform::WideToAnsi(content) : Utf16(content);
      for (uint8_t options : {0, 1, 2, 3}) {
        // "xWortx" is not a whole word; the same text between blanks is.
        EXPECT_EQ(Search(data, u"wort", enc, options, 0), (options & 2) ? -1 : ((options & 1) ? -1 : at));
        EXPECT_EQ(Search(data, u"Wort", enc, options, 0), (options & 2) ? -1 : at);
        std::u16string spaced = content;
        spaced[at / cs - 1] = u' ';
        spaced[at / cs + 4] = u'.';
        const std::string d2 = cs == 1 ? platform::WideToAnsi(spaced) : Utf16(spaced);
        EXPECT_EQ(Search(d2, u"wORT", enc, options, 0), (options & 1) ? -1 : at);
        EXPECT_EQ(Search(d2, u"Wort", enc, options | kSearchBackward, 0), at);
      }
    }
  }
}

TEST(StreamSearch, EdgeCases) {
  EXPECT_EQ(Search("ab ab ab", u"ab", vEncANSI, kSearchBackward, 0), 6);
  EXPECT_EQ(Search("ab ab ab", u"ab", vEncANSI, kSearchBackward, 4), 3);  // ends with the character at 4
  EXPECT_EQ(Search("wort_ wort.", u"wort", vEncANSI, kSearchWholeWords, 0), 6);
  EXPECT_EQ(Search("", u"a", vEncANSI, 0, 0), -1);
  EXPECT_EQ(Search("a", u"a", vEncUnicodeLE, 0, 0), -1);  // shorter than one character
  EXPECT_EQ(Search(Utf16(u"xa") + "a", u"a", vEncUnicodeLE, kSearchBackward, 0), 2);  // odd byte ignored
  EXPECT_EQ(Search("abc", u"", vEncANSI, 0, 0), -1);
  EXPECT_EQ(Search("abc", u"c", vEncANSI, 0, 3), -1);
  EXPECT_EQ(Search("abc", u"a", vEncANSI, kSearchBackward, -1), -1);
  EXPECT_EQ(Search("\x84rger", u"Ärger", vEncWEuroDOS, 0, 0), 0);  // IBM-850 bytes, ANSI text
  // A text longer than half a block still ends the loop and is found.
  const std::string longText(50, 'q');
  EXPECT_EQ(Search("zz" + longText + "zz", platform::AnsiToWide(longText), vEncANSI, 0, 0, 16), 2);
  EXPECT_EQ(Search(std::string(5000, 'z') + longText, platform::AnsiToWide(longText), vEncANSI, kSearchBackward, 0, 16), 5000);
}

class Source : public FindNextSource {
 public:
  bool GrossKleinBeachten() const override { return caseChecked; }
  bool NurGanzeWoerter() const override { return wordsChecked; }
  const std::u16string& CurrentSearchText() const override { return current; }
  const std::u16string& Dokumentmarke() const override { return marker; }
  bool QuietFlag() const override { return quiet; }
  bool caseChecked = false, wordsChecked = false, quiet = false;
  std::u16string current, marker = u"#C:\\";
};

TEST(StreamSearch, FindNextTakesTheWindowsChoices) {
  TMemoryStream stream(std::string("Haus #C:\\a haus Hausboot #C:\\b haus"));
  TStreamSearch search;
  search.AssignSearchStream(&stream);
  Source source;
  search.NextSource = &source;
  ASSERT_TRUE(search.FindFirst(u"haus", vEncANSI, 0, 0));
  EXPECT_EQ(search.FoundStart(), 0);
  EXPECT_EQ(search.FoundLength(), 4);
  source.wordsChecked = true;
  ASSERT_TRUE(search.FindNext(false));
  EXPECT_EQ(search.FoundStart(), 11);
  ASSERT_TRUE(search.FindNext(false));  // "Hausboot" is no whole word
  EXPECT_EQ(search.FoundStart(), 31);
  EXPECT_FALSE(search.FindNext(false));
  EXPECT_EQ(search.FoundStart(), -1);
  EXPECT_EQ(search.FoundLength(), 0);
  ASSERT_TRUE(search.FindNext(false));  // after a miss: from the beginning again
  EXPECT_EQ(search.FoundStart(), 0);

  // In a run the window alternates between the marker and the term; the marker is never
  // a whole-word search.
  source.quiet = true;
  source.current = u"#C:\\";
  ASSERT_TRUE(search.FindNext(false));
  EXPECT_EQ(search.FoundStart(), 5);
  source.current = u"haus";
  source.caseChecked = true;
  ASSERT_TRUE(search.FindNext(false));
  EXPECT_EQ(search.FoundStart(), 11);
}

TEST(StreamSearch, ProgressCanCancelAndReadErrorsRaise) {
  const std::string data(300000, 'x');
  TMemoryStream stream(data);
  TStreamSearch search;
  search.AssignSearchStream(&stream);
  std::vector<int64_t> positions;
  search.OnProgress = [&](int64_t pos, int64_t max, bool& go) {
    EXPECT_EQ(max, 300000);
    positions.push_back(pos);
    go = positions.size() < 3;
  };
  EXPECT_FALSE(search.FindFirst(u"y", vEncANSI, 0, 0));
  // A forward search starts with a 4 KB block, overlapping the next by two characters.
  EXPECT_EQ(positions, (std::vector<int64_t>{0, 0, 4094}));

  class Broken : public TMemoryStream {
   public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void*, int64_t) override { return -1; }
  } broken(std::string(100000, 'x'));
  TStreamSearch s2;
  s2.AssignSearchStream(&broken);
  try {
    s2.FindFirst(u"y", vEncANSI, kSearchBackward, 0);
    FAIL() << "no error";
  } catch (const EStreamSearchReadError& e) {
    EXPECT_EQ(e.Message(), u"Read error at offset " + textlib::NumberText(100000 - 65536));
  }
}

// Hits far apart in a file of megabytes, searched with the default blocks: the scan goes
// on in blocks read ahead, and every hit is found once, in order, wherever it meets a
// block's edge (a long text meets many).
TEST(StreamSearch, HitsFarApartInALargeFileAreAllFound) {
  testsupport::TempDrive drive;
  std::mt19937 rng(23);
  std::string data(6 << 20, ' ');
  for (char& c : data) c = "abc \r\n"[rng() % 6];
  std::string tail(1500, ' ');
  for (char& c : tail) c = "abc "[rng() % 4];
  const std::string lower = "quarz" + tail, upper = "QUARZ" + tail;
  std::vector<size_t> hits, exact;
  for (size_t at = 100; at + 2 * lower.size() < data.size(); at += lower.size() + rng() % (rng() % 2 ? 3000 : 1500000)) {
    const bool up = rng() % 2;
    data.replace(at, lower.size(), up ? upper : lower);
    hits.push_back(at);
    if (!up) exact.push_back(at);
  }
  drive.WriteFile("store.txt", data);
  const std::u16string text = platform::AnsiToWide(lower);
  for (const bool folding : {false, true}) {
    TStreamSearch search;
    search.TextIsUtf8 = folding;
    search.OpenSearchFile(drive.Drive(u"store.txt"));
    for (const uint8_t options : {uint8_t{0}, kSearchCaseSensitive}) {
      std::vector<size_t> found;
      for (bool more = search.FindFirst(text, vEncANSI, options, 0); more; more = search.FindNext(false))
        found.push_back(static_cast<size_t>(search.FoundStart()));
      EXPECT_EQ(found, options ? exact : hits) << "folding " << folding;
    }
    // From anywhere: the blocks meet the hits at other places each time.
    for (int round = 0; round < 300; ++round) {
      const size_t from = rng() % data.size();
      const auto next = std::lower_bound(hits.begin(), hits.end(), from);
      const int64_t want = next == hits.end() ? -1 : static_cast<int64_t>(*next);
      ASSERT_EQ(search.FindFirst(text, vEncANSI, 0, static_cast<int64_t>(from)) ? search.FoundStart() : -1, want)
          << "from " << from << " folding " << folding;
    }
  }
}

// A file cut after it was opened: what the search reads of the lost part is no match
// but a read error.
TEST(StreamSearch, AFileCutWhileOpenIsAReadError) {
  testsupport::TempDrive drive;
  drive.WriteFile("store.txt", std::string(65536, 'x') + "y");
  TStreamSearch search;
  search.OpenSearchFile(drive.Drive(u"store.txt"));
  ASSERT_EQ(::truncate(drive.Posix("store.txt").c_str(), 100), 0);
  EXPECT_THROW(search.FindFirst(u"y", vEncANSI, kSearchBackward, 0), EStreamSearchReadError);
  // Cut where the blocks are read ahead by other threads.
  drive.WriteFile("big.txt", std::string(8 << 20, 'x'));
  search.OpenSearchFile(drive.Drive(u"big.txt"));
  ASSERT_EQ(::truncate(drive.Posix("big.txt").c_str(), 3 << 20), 0);
  EXPECT_THROW(search.FindFirst(u"y", vEncANSI, 0, 0), EStreamSearchReadError);
}

TEST(StreamSearch, OpensFilesByDriveName) {
  TStreamSearch search;
  EXPECT_THROW(search.OpenSearchFile(u"C:\\no\\such\\file.txt"), textlib::EFOpenError);
  search.OpenSearchFile(u"");
  EXPECT_FALSE(search.FindFirst(u"a", vEncANSI, 0, 0));
}

}  // namespace
}  // namespace search

namespace search {
namespace {

// A file opened by name is read through the search's buffer: the same results as the
// plain reference, whatever the block size and however the blocks meet the buffer.
TEST(StreamSearch, OpenedFilesAgreeWithTheReference) {
  testsupport::TempDrive drive;
  std::mt19937 rng(17);
  const std::u16string alphabet = u"abAB _.\u00E4\u00C4x";
  for (int round = 0; round < 200; ++round) {
    const TViewerEncoding enc = round % 2 ? vEncUnicodeLE : vEncANSI;
    std::u16string content;
    for (int i = 0, n = int(rng() % 30000); i < n; ++i) content.push_back(alphabet[rng() % alphabet.size()]);
    const std::string data = enc == vEncANSI ? platform::WideToAnsi(content) : Utf16(content);
    drive.WriteFile("store.txt", data);
    std::u16string text;
    for (int i = 0, n = 1 + int(rng() % 4); i < n; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    TStreamSearch search;
    search.BlockSize = std::array<int64_t, 4>{16, 1000, 8192, 65536}[rng() % 4];
    search.OpenSearchFile(drive.Drive(u"store.txt"));
    const uint8_t options = static_cast<uint8_t>(rng() % 4);
    int64_t start = static_cast<int64_t>(rng() % (data.size() + 1));
    bool found = search.FindFirst(text, enc, options, start);
    for (int step = 0; step < 5; ++step) {
      const int64_t expected = Reference(data, text, enc, options, start);
      ASSERT_EQ(found ? search.FoundStart() : -1, expected) << "round " << round << " step " << step;
      if (!found) break;
      start = search.FoundStart() + EncodingCharSize(enc);
      found = search.FindNext(false);
    }
  }
}

}  // namespace
}  // namespace search
