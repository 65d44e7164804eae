#include "search/engine/in_document_search.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>

#include "platform/codepage.h"
#include "platform/pump.h"
#include "search/engine/text_matcher.h"
#include "tests/search/search_fixtures.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace search {
namespace {

using Kind = TInDocumentKind;

// A hit as the rules define it, found plainly at every start: offset and length in bytes.
struct Hit {
  int64_t offset, length;
  bool operator==(const Hit&) const = default;
};

std::vector<Hit> ReferenceAnsi(const std::string& file, const std::string& pattern, bool ignoreCase) {
  const auto& lower = AnsiLowerTable();
  auto fold = [&](char c) { return ignoreCase ? lower[static_cast<unsigned char>(c)] : static_cast<unsigned char>(c); };
  std::vector<Hit> out;
  for (size_t i = 0; i + pattern.size() <= file.size(); ++i) {
    size_t k = 0;
    while (k < pattern.size() && fold(file[i + k]) == fold(pattern[k])) ++k;
    if (k == pattern.size()) out.push_back({static_cast<int64_t>(i), static_cast<int64_t>(k)});
  }
  return out;
}

// Character by character with the folding of the database search.
std::vector<Hit> ReferenceUtf8(const std::string& file, const std::string& pattern, bool ignoreCase) {
  if (!ignoreCase) return ReferenceAnsi(file, pattern, false);
  auto folded = [](const std::string& s, size_t at, size_t* length) {
    const FoldedChar f = FoldUtf8Char(reinterpret_cast<const unsigned char*>(s.data()) + at, s.size() - at);
    *length = f.length;
    return f.folded;
  };
  std::vector<char32_t> want;
  for (size_t i = 0, n = 0; i < pattern.size(); i += n) want.push_back(folded(pattern, i, &n));
  std::vector<Hit> out;
  for (size_t i = 0; i < file.size(); ++i) {
    size_t pos = i, k = 0, n = 0;
    while (k < want.size() && pos < file.size() && folded(file, pos, &n) == want[k]) pos += n, ++k;
    if (k == want.size()) out.push_back({static_cast<int64_t>(i), static_cast<int64_t>(pos - i)});
  }
  return out;
}

// Units of the file's byte order at even offsets, each lower-cased on its own.
std::vector<Hit> ReferenceUtf16(const std::string& file, const std::u16string& pattern, bool ignoreCase) {
  const bool be = file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFE &&
                  static_cast<unsigned char>(file[1]) == 0xFF;
  auto lower = [&](char16_t c) -> char16_t {
    if (!ignoreCase) return c;
    const char32_t l = textlib::CharToLower(c);
    return l > 0xFFFF ? c : static_cast<char16_t>(l);
  };
  std::u16string units;
  for (size_t i = 0; i + 1 < file.size(); i += 2) {
    const auto a = static_cast<unsigned char>(file[i]), b = static_cast<unsigned char>(file[i + 1]);
    units.push_back(be ? static_cast<char16_t>(a << 8 | b) : static_cast<char16_t>(b << 8 | a));
  }
  std::vector<Hit> out;
  for (size_t i = 0; i + pattern.size() <= units.size(); ++i) {
    size_t k = 0;
    while (k < pattern.size() && lower(units[i + k]) == lower(pattern[k])) ++k;
    if (k == pattern.size()) out.push_back({static_cast<int64_t>(2 * i), static_cast<int64_t>(2 * k)});
  }
  return out;
}

std::vector<Hit> HitsOf(const TFundstellen& f) {
  EXPECT_TRUE(f.error.empty()) << platform::WideToPosixUtf8(f.error);
  std::vector<Hit> out;
  for (size_t i = 0; i < f.offsets.size(); ++i) out.push_back({f.offsets[i], f.LengthOf(i)});
  return out;
}

std::string Utf16BE(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c >> 8);
    out += static_cast<char>(c & 0xFF);
  }
  return out;
}

class InDocumentSearchTest : public ::testing::Test {
 protected:
  std::u16string Write(std::string_view name, std::string_view bytes) {
    drive_.WriteFile(name, bytes);
    return drive_.Drive(platform::AnsiToWide(name));
  }
  testsupport::TempDrive drive_;
};

TEST(BmhSearchTest, FindsTheFirstMatchInsideTheRange) {
  struct Case {
    const char* pattern;
    const char* text;
    int64_t from, to, expected;
    bool ignoreCase;
  };
  const Case cases[] = {
      {"abc", "xxabcxabc", 0, 9, 2, false},
      {"abc", "xxabcxabc", 3, 9, 6, false},
      {"abc", "xxabcxabc", -5, 9, 2, false},         // a negative start counts as 0
      {"abc", "xxabcxabc", 3, 8, -1, false},         // the match must end before `to`
      {"abc", "xxabcxabc", 0, 2, -1, false},         // pattern longer than the range
      {"", "abc", 0, 3, -1, true},                   // an empty pattern finds nothing
      {"ABC", "xxabcx", 0, 6, -1, false},
      {"ABC", "xxabcx", 0, 6, 2, true},
      {"\xC4rger", "mit \xE4rger", 0, 9, 4, true},   // "Ärger" finds "ärger"
      {"\x8A", "\x9A", 0, 1, 0, true},               // "Š" finds "š"
      {"aa", "aaaa", 1, 4, 1, true},
      {"abcab", "abcabxabcab", 1, 11, 6, false},     // the bad-character shift skips no match
      {"xaby", "aabyxabyaxaby", 0, 13, 4, true},
      {"xaby", "aabyxabyaxaby", 5, 13, 9, true},
  };
  for (const auto& c : cases) {
    const auto run = c.ignoreCase ? BMHSucheOhneGross : BMHSuche;
    EXPECT_EQ(run(c.pattern, c.text, c.from, c.to), c.expected) << c.pattern << " in " << c.text << " from " << c.from;
  }
}

// Every kind, with and without case, against the plain reference on seeded random text
// built from letters with case partners (some of another byte length) and stray bytes,
// read in blocks small enough for many matches to straddle a block end.
TEST_F(InDocumentSearchTest, AgreesWithThePlainReferenceOnRandomText) {
  const std::vector<std::string> ansiTokens = {"a", "A", "b", "B", "\xC4", "\xE4", "\x8A", "\x9A", "?", "\xFF", "\x9F"};
  const std::vector<std::string> utf8Tokens = {"a", "A", "k", "K", "\u212A", "\u00E4", "\u00C4", "\u00DF",
                                               "\u1E9E", "\u0416", "\u0436", "\xC3", "\x80"};
  const std::u16string wideUnits = {u'a', u'A', u'\u0416', u'\u0436', u'\u03A3', u'\u03C3', u'\u0141',
                                    u'\u0161', u'\u4100', u'\u6100', u'\0'};
  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  TFundstellenSammler collector;
  for (int round = 0; round < 60; ++round) {
    const bool ignoreCase = round % 2 == 0;
    collector.BlockSize = std::vector<int64_t>{1, 7, 64, TFundstellenSammler::kDefaultBlockSize}[pick(4)];
    const int kind = round % 3;
    std::string file, pattern;
    std::u16string widePattern;
    std::vector<Hit> expected;
    TFundstellen got;
    if (kind == 0) {
      for (int i = 0; i < 3000; ++i) file += ansiTokens[pick(ansiTokens.size() - 1)];
      for (size_t i = 0, n = 1 + pick(3); i < n; ++i) pattern += ansiTokens[pick(ansiTokens.size())];
      expected = ReferenceAnsi(file, pattern, ignoreCase);
      got = collector.FundstellenSammeln(Write("ansi.txt", file), pattern, Kind::Ansi, ignoreCase);
      std::vector<Hit> bmh;
      const auto run = ignoreCase ? BMHSucheOhneGross : BMHSuche;
      for (int64_t at = run(pattern, file, 0, file.size()); at >= 0; at = run(pattern, file, at + 1, file.size()))
        bmh.push_back({at, static_cast<int64_t>(pattern.size())});
      ASSERT_EQ(bmh, expected) << "round " << round;
    } else if (kind == 1) {
      for (int i = 0; i < 3000; ++i) file += utf8Tokens[pick(utf8Tokens.size())];
      for (size_t i = 0, n = 1 + pick(3); i < n; ++i) pattern += utf8Tokens[pick(utf8Tokens.size() - 2)];
      expected = ReferenceUtf8(file, pattern, ignoreCase);
      got = collector.FundstellenSammeln(Write("utf8.txt", file), pattern, Kind::Utf8, ignoreCase);
    } else {
      std::u16string units;
      for (int i = 0; i < 3000; ++i) units += wideUnits[pick(wideUnits.size())];
      for (size_t i = 0, n = 1 + pick(3); i < n; ++i) widePattern += wideUnits[pick(wideUnits.size() - 1)];
      const int order = static_cast<int>(pick(3));  // LE without mark, LE with FF FE, BE with FE FF
      file = order == 2 ? "\xFE\xFF" + Utf16BE(units)
                        : (order == 1 ? "\xFF\xFE" : "") + searchtest::Utf16LE(units);
      if (pick(2)) file += 'a';  // an odd size: the last byte is no unit
      expected = ReferenceUtf16(file, widePattern, ignoreCase);
      got = collector.FundstellenSammelnUnicode(Write("utf16.txt", file), widePattern, ignoreCase);
    }
    ASSERT_EQ(HitsOf(got), expected) << "round " << round << " block " << collector.BlockSize;
  }
}

TEST_F(InDocumentSearchTest, OverlappingHitsAllCount) {
  const std::u16string ansi = Write("a.txt", "aaaa"), utf8 = Write("u.txt", "aaaa"),
                       wide = Write("w.txt", searchtest::Utf16LE(u"aaaa"));
  TFundstellenSammler collector;
  const std::vector<int64_t> bytes = {0, 1, 2}, units = {0, 2, 4};
  EXPECT_EQ(collector.Sammeln(ansi, u"aa", Kind::Ansi).offsets, bytes);
  EXPECT_EQ(collector.Sammeln(utf8, u"AA", Kind::Utf8).offsets, bytes);
  EXPECT_EQ(collector.Sammeln(wide, u"aA", Kind::Unicode).offsets, units);
}

TEST_F(InDocumentSearchTest, Utf16UnitsFoldByUnicodeAtEvenOffsetsInTheFilesByteOrder) {
  struct Case {
    std::u16string units, text;
    bool bigEndian;
    std::vector<int64_t> expected;
  };
  const std::vector<Case> cases = {
      {u"x\u0161x", u"\u0141", false, {}},          // "Ł" is no "š" (their low bytes fold alike in ANSI)
      {u"x\u0436\u0416", u"\u0416", false, {2, 4}},  // Cyrillic
      {u"\u03C3\u03A3", u"\u03A3", false, {0, 2}},   // Greek
      {u"\u4100\u0000", u"A", false, {}},            // 41 00 at offset 1 straddles two units
      {u"\uFEFFx\u00C4", u"\u00E4", true, {4}},      // big endian after FE FF
      {u"\uFEFF\u4100", u"A", true, {}},
  };
  TFundstellenSammler collector;
  for (const auto& c : cases) {
    const std::string bytes = c.bigEndian ? Utf16BE(c.units) : searchtest::Utf16LE(c.units);
    const TFundstellen got = collector.Sammeln(Write("w.txt", bytes), c.text, Kind::Unicode);
    EXPECT_EQ(got.offsets, c.expected) << platform::WideToPosixUtf8(c.units);
    EXPECT_EQ(got.length, 2 * static_cast<int64_t>(c.text.size()));
  }
}

TEST_F(InDocumentSearchTest, Utf8HitsFoldPerCharacterAndSelectTheirBytesInTheFile) {
  const std::u16string file = Write("u.txt", "M\u00fcller, M\u00dcLLER, mueller, \u212Aarl, karl");
  TFundstellenSammler collector;
  const TFundstellen mueller = collector.Sammeln(file, u"M\u00fcller", Kind::Utf8);
  EXPECT_EQ(HitsOf(mueller), (std::vector<Hit>{{0, 7}, {9, 7}}));  // seven bytes, not six
  const TFundstellen karl = collector.Sammeln(file, u"karl", Kind::Utf8);
  EXPECT_EQ(HitsOf(karl), (std::vector<Hit>{{27, 6}, {35, 4}}));  // the Kelvin sign is three bytes
  EXPECT_EQ(collector.Sammeln(file, u"M\u00fcller", Kind::Utf8, false).offsets, std::vector<int64_t>{0});
}

// Hits beside 2 GB and 4 GB and beyond, in a sparse file read block by block: UTF-8 text
// at any offset, UTF-16 text at an even offset only.
TEST_F(InDocumentSearchTest, FindsHitsBeyondFourGigabytesInASparseFile) {
  const std::vector<int64_t> at = {(int64_t{1} << 31) - 2, (int64_t{1} << 32) - 4, (int64_t{1} << 32) + 100};
  const std::vector<int64_t> wideAt = {(int64_t{1} << 32) + 200, (int64_t{1} << 32) + 301};
  const std::string path = drive_.Posix("big.txt"), wide = searchtest::Utf16LE(u"Zebra");
  const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  for (const int64_t offset : at) ASSERT_EQ(::pwrite(fd, "Zebra", 5, offset), 5);
  for (const int64_t offset : wideAt) ASSERT_EQ(::pwrite(fd, wide.data(), wide.size(), offset), 10);
  ASSERT_EQ(::ftruncate(fd, wideAt[1] + 4096), 0);
  ::close(fd);
  TFundstellenSammler collector;
  EXPECT_EQ(collector.Sammeln(drive_.Drive(u"big.txt"), u"zebra", Kind::Utf8).offsets, at);
  EXPECT_EQ(collector.Sammeln(drive_.Drive(u"big.txt"), u"zebra", Kind::Unicode).offsets,
            std::vector<int64_t>{wideAt[0]});
}

TEST_F(InDocumentSearchTest, AFileThatCannotBeReadIsAnErrorNotNoHit) {
  TFundstellenSammler collector;
  for (const Kind kind : {Kind::Ansi, Kind::Utf8, Kind::Unicode}) {
    const TFundstellen missing = collector.Sammeln(drive_.Drive(u"missing.txt"), u"a", kind);
    EXPECT_EQ(missing.error, u"Cannot open file: \"T:\\missing.txt\"");
    const TFundstellen folder = collector.Sammeln(drive_.Drive(), u"a", kind);
    EXPECT_FALSE(folder.error.empty());
    const TFundstellen empty = collector.Sammeln(Write("empty.txt", ""), u"a", kind);
    EXPECT_TRUE(empty.error.empty());
    EXPECT_TRUE(empty.offsets.empty());
  }
}

TEST_F(InDocumentSearchTest, AnsiTextOutsideTheCodePageFindsNothingRatherThanAQuestionMark) {
  const std::u16string file = Write("a.txt", "?\xF3" "d? ? \x80uro");
  TFundstellenSammler collector;
  EXPECT_TRUE(collector.Sammeln(file, u"\u0141\u00f3d\u017A", Kind::Ansi).offsets.empty());  // "Łódź"
  EXPECT_TRUE(collector.Sammeln(file, u"\u0416", Kind::Ansi).offsets.empty());
  EXPECT_EQ(collector.Sammeln(file, u"\u20ACURO", Kind::Ansi).offsets, std::vector<int64_t>{7});  // "€" is 0x80
}

TEST_F(InDocumentSearchTest, UnicodeKindOpensANameOutsideTheAnsiCodePage) {
  const std::string name = "\u0416\u0443\u0440\u043d\u0430\u043b.txt";
  drive_.WriteFile(name, searchtest::MhtStore({{u"C:\\a.htm", u"\u0416ivago"}}));
  TFundstellenSammler collector;
  const TFundstellen got = collector.Sammeln(drive_.Drive(*platform::PosixUtf8ToWide(name)), u"\u0436IVAGO", Kind::Unicode);
  EXPECT_TRUE(got.error.empty());
  EXPECT_EQ(got.offsets.size(), 1u);
}

// The collection runs the window's messages between blocks: a second press is refused, a
// cancel stops it with what was found, and closing the window (the collector destroyed)
// stops it without touching the freed collector.
TEST_F(InDocumentSearchTest, MessagesDuringACollectionCannotReenterOrPullItsStateAway) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "abc ";
  const std::u16string file = Write("a.txt", text);
  struct PumpHook {
    explicit PumpHook(std::function<void()> hook) { platform::SetPumpHook(std::move(hook)); }
    ~PumpHook() { platform::SetPumpHook(nullptr); }
  };

  auto collector = std::make_unique<TFundstellenSammler>();
  collector->BlockSize = 64;
  TFundstellen nested;
  int pumps = 0;
  {
    PumpHook hook([&] {
      if (++pumps == 1) nested = collector->Sammeln(file, u"abc", Kind::Utf8);
    });
    const TFundstellen whole = collector->Sammeln(file, u"abc", Kind::Utf8);
    EXPECT_TRUE(nested.busy);
    EXPECT_TRUE(nested.offsets.empty());
    EXPECT_EQ(whole.offsets.size(), 200u);
    EXPECT_FALSE(whole.cancelled);
    EXPECT_FALSE(collector->Busy());
  }
  {
    PumpHook hook([&] {
      if (++pumps == 3) collector->Cancel();
    });
    pumps = 0;
    const TFundstellen part = collector->Sammeln(file, u"abc", Kind::Ansi);
    EXPECT_TRUE(part.cancelled);
    EXPECT_GT(part.offsets.size(), 0u);
    EXPECT_LT(part.offsets.size(), 200u);
  }
  {
    PumpHook hook([&] { collector.reset(); });
    TFundstellenSammler* raw = collector.get();
    const TFundstellen closed = raw->Sammeln(file, u"abc", Kind::Unicode);
    EXPECT_TRUE(closed.cancelled);
    EXPECT_EQ(collector, nullptr);
  }
  // A fresh collection after a cancelled one runs to its end.
  TFundstellenSammler again;
  again.BlockSize = 64;
  EXPECT_EQ(again.Sammeln(file, u"abc", Kind::Ansi).offsets.size(), 200u);
}

TEST(WeiterSucheTest, StepsThroughTheHitsFromTheSelection) {
  TFundstellen hits;
  hits.offsets = {10, 11, 40};
  hits.length = 2;
  hits.otherLengths = {{40, 4}};
  const std::u16string none, last = kMsgLetzteFundstelle;
  struct Case {
    bool fromStart;
    int64_t selStart, selLength;
    int64_t index, start, length;
    std::u16string message;
    bool wrapped;
  };
  const Case cases[] = {
      {true, 40, 4, 0, 10, 2, none, false},    // first press after a collection: the first hit
      {false, 10, 2, 1, 11, 2, none, false},   // overlapping hits one by one
      {false, 11, 2, 2, 40, 4, last, false},   // the last hit, with its own length
      {false, 40, 4, 0, 10, 2, none, true},    // after the last one: the first again
      {false, 11, 0, 1, 11, 2, none, false},   // a caret: the hit at or after it
      {false, 12, 0, 2, 40, 4, last, false},
      {false, 41, 0, 0, 10, 2, none, true},
      {false, 0, 0, 0, 10, 2, none, false},
  };
  for (const auto& c : cases) {
    const TWeiterSucheSchritt step = NaechsteFundstelle(hits, c.fromStart, c.selStart, c.selLength);
    EXPECT_EQ(step.index, c.index) << c.selStart;
    EXPECT_EQ(step.selStart, c.start) << c.selStart;
    EXPECT_EQ(step.selLength, c.length) << c.selStart;
    EXPECT_EQ(step.message, c.message) << c.selStart;
    EXPECT_EQ(step.wrapped, c.wrapped) << c.selStart;
  }
  const TWeiterSucheSchritt nothing = NaechsteFundstelle(TFundstellen{}, true, 0, 0);
  EXPECT_EQ(nothing.index, -1);
  EXPECT_EQ(nothing.message, u"Nicht gefunden!");
  TFundstellen one;
  one.offsets = {5};
  one.length = 3;
  EXPECT_EQ(NaechsteFundstelle(one, true, 0, 0).message, u"Dies ist die letzte Fundstelle.");
}

TEST(InDocumentFileNameTest, NamesTheListOrTheStoreOfTheKind) {
  struct Case {
    Kind kind;
    bool list;
    const char16_t* ending;
  };
  const Case cases[] = {
      {Kind::Ansi, true, u"_Phrasen_Woerter_AnsiListe.txt"}, {Kind::Ansi, false, u"_AnsiDokument.txt"},
      {Kind::Utf8, true, u"_Phrasen_Woerter_Utf8Liste.txt"}, {Kind::Utf8, false, u"_UTF8Dokument.txt"},
      {Kind::Unicode, true, u"_Phrasen_Woerter_MHTListe.txt"}, {Kind::Unicode, false, u"_MHTtext.txt"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InDocumentFileName(u"C:\\Q\\", u"db", c.kind, c.list), std::u16string(u"C:\\Q\\Datenbank\\db") + c.ending);
}

}  // namespace
}  // namespace search
