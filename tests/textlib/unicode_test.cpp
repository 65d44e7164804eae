#include "textlib/unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "textlib/errors.h"

namespace textlib {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A big-endian copy: the mark becomes FE FF and every field after it is swapped.
std::vector<uint8_t> ByteSwapped(std::span<const uint8_t> le, bool isType) {
  std::vector<uint8_t> out(le.begin(), le.end());
  auto swap16 = [&](size_t at) { std::swap(out[at], out[at + 1]); };
  auto swap32 = [&](size_t at) {
    std::swap(out[at], out[at + 3]);
    std::swap(out[at + 1], out[at + 2]);
  };
  swap16(0);
  if (isType) {
    const size_t n = le[2] | (le[3] << 8);
    const size_t m = n % 2 ? n + 1 : n + 2;
    swap16(2);
    swap32(4);
    for (size_t i = 0; i < m; ++i) swap16(8 + 2 * i);
    for (size_t at = 8 + 2 * m; at + 4 <= out.size(); at += 4) swap32(at);
  } else {
    swap16(2);
    swap16(4);
    swap16(6);
    for (size_t at = 8; at + 4 <= out.size(); at += 4) swap32(at);
  }
  return out;
}

class ScopedResources {
 public:
  explicit ScopedResources(UnicodeResourceLookup lookup) {
    SetUnicodeResourceLookupForTesting(std::move(lookup));
  }
  ~ScopedResources() { SetUnicodeResourceLookupForTesting(nullptr); }
};

TEST(UnicodeTables, EmbeddedTablesHaveTheLayout) {
  auto type = EmbeddedUnicodeResource("TYPE");
  ASSERT_GT(type.size(), 8u);
  EXPECT_EQ(type[0], 0xFF);
  EXPECT_EQ(type[1], 0xFE);
  EXPECT_EQ(type[2] | (type[3] << 8), 49);
  const size_t m = 50;
  const uint32_t rest = type[4] | (type[5] << 8) | (type[6] << 16) | (uint32_t(type[7]) << 24);
  EXPECT_EQ(rest, type.size() - 8);
  const size_t total = type[8 + 2 * 49] | (type[9 + 2 * 49] << 8);
  EXPECT_EQ(type.size(), 8 + 2 * m + 4 * total);
  // Cn is empty; the supplementary planes are the one range 10000-10FFFF.
  EXPECT_EQ(type[8 + 2 * 13] | (type[9 + 2 * 13] << 8), 0xFFFF);
  const UnicodeTypeTable t = UnicodeTypeTable::Load(type);
  EXPECT_TRUE(t.IsInCategory(0x10000, kCatSupplementary));
  EXPECT_TRUE(t.IsInCategory(0x10FFFF, kCatSupplementary));
  EXPECT_FALSE(t.IsInCategory(0xFFFF, kCatSupplementary));

  auto cases = EmbeddedUnicodeResource("CASE");
  const size_t records = cases[2] | (cases[3] << 8);
  EXPECT_EQ(cases.size(), 8 + 12 * records);
  EXPECT_LE((cases[4] | (cases[5] << 8)) + (cases[6] | (cases[7] << 8)), int(records));
  EXPECT_TRUE(EmbeddedUnicodeResource("OTHER").empty());
}

TEST(UnicodeTables, BigEndianCopiesAnswerTheSame) {
  auto typeLe = EmbeddedUnicodeResource("TYPE");
  auto caseLe = EmbeddedUnicodeResource("CASE");
  const auto typeBe = ByteSwapped(typeLe, true);
  const auto caseBe = ByteSwapped(caseLe, false);
  ASSERT_EQ(typeBe[0], 0xFE);
  const UnicodeTypeTable le = UnicodeTypeTable::Load(typeLe), be = UnicodeTypeTable::Load(typeBe);
  for (char32_t c = 0; c < 0x10000; c += 7)
    for (int cat = 0; cat < 49; ++cat) ASSERT_EQ(le.IsInCategory(c, cat), be.IsInCategory(c, cat));

  std::vector<char16_t> expectUpper;
  for (char32_t c = 0; c < 0x10000; ++c) expectUpper.push_back(static_cast<char16_t>(CharToUpper(c)));
  ScopedResources swapped([&](std::string_view name) -> std::span<const uint8_t> {
    if (name == "TYPE") return typeBe;
    if (name == "CASE") return caseBe;
    return {};
  });
  for (char32_t c = 0; c < 0x10000; ++c) ASSERT_EQ(CharToUpper(c), expectUpper[c]) << int(c);
}

TEST(UnicodeTables, AMissingTableRaisesAndIsTriedAgain) {
  bool present = false;
  {
    ScopedResources lookup([&](std::string_view name) -> std::span<const uint8_t> {
      return present ? EmbeddedUnicodeResource(name) : std::span<const uint8_t>();
    });
    EXPECT_THROW(IsWhiteSpaceChar(u' '), EResNotFound);
    try {
      CharToLower(u'A');
    } catch (const EResNotFound& e) {
      EXPECT_EQ(e.Message(), u"Ressource TYPE nicht gefunden");
    }
    present = true;
    EXPECT_TRUE(IsWhiteSpaceChar(u' '));
    EXPECT_EQ(CharToLower(u'A'), U'a');
  }
  const uint8_t truncated[] = {0xFF, 0xFE, 49, 0, 0, 0, 0, 0, 1};
  EXPECT_THROW(UnicodeTypeTable::Load(truncated), EResNotFound);
  const uint8_t unmarked[] = {0x00, 0x00, 0, 0, 0, 0, 0, 0};
  EXPECT_THROW(UnicodeCaseTable::Load(unmarked), EResNotFound);
}

TEST(Unicode, Predicates) {
  struct Case {
    char16_t c;
    bool white, control;
  } cases[] = {
      {u' ', true, false},     {u'\t', true, true},      {u'\r', false, true},
      {u'\n', false, true},    {0x00A0, true, false},    {0x2028, true, false},
      {0x2029, false, false},  {0x200B, false, true},    {0xFEFF, false, true},
      {0x3000, true, false},   {u'a', false, false},     {0x0085, false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWhiteSpaceChar(c.c), c.white) << int(c.c);
    EXPECT_EQ(IsControlChar(c.c), c.control) << int(c.c);
  }
  EXPECT_TRUE(IsUpperChar(u'Ä'));
  EXPECT_TRUE(IsLowerChar(u'ß'));
  EXPECT_FALSE(IsUpperChar(u'1'));
  EXPECT_TRUE(IsInCategorySet(u'5', 1u << kCatNd, 0));
  EXPECT_TRUE(IsInCategorySet(u'A', 1u << kBidiL, 0));
  EXPECT_TRUE(IsInCategorySet(u' ', 0, 1u << (kBidiWS - 32)));
  EXPECT_FALSE(IsInCategorySet(u'a', 0, 1u << (kBidiWS - 32)));
}

TEST(Unicode, TrimAndCase) {
  const char16_t lone = 0xD800;
  struct Case {
    std::u16string in, trim, trimLeft, upper, lower;
  } cases[] = {
      {u" \t abc \r\n", u"abc", u"abc \r\n", u" \t ABC \r\n", u" \t abc \r\n"},
      {u"  a b ", u"a b", u"a b ", u"  A B ", u"  a b "},
      {u" \t\uFEFF \u00A0\u200B\u2028", u"", u"", u" \t\uFEFF \u00A0\u200B\u2028", u" \t\uFEFF \u00A0\u200B\u2028"},
      {u"\u2029x\u2029", u"\u2029x\u2029", u"\u2029x\u2029", u"\u2029X\u2029", u"\u2029x\u2029"},
      {u"straße", u"straße", u"straße", u"STRAßE", u"straße"},
      {u"ǆǅǄ", u"ǆǅǄ", u"ǆǅǄ", u"ǄǄǄ", u"ǆǆǆ"},
      {u"Grüße 1,2!", u"Grüße 1,2!", u"Grüße 1,2!", u"GRÜßE 1,2!", u"grüße 1,2!"},
      {std::u16string(1, lone) + u"Жy", std::u16string(1, lone) + u"Жy",
       std::u16string(1, lone) + u"Жy", std::u16string(1, lone) + u"ЖY", std::u16string(1, lone) + u"жy"},
      {u"", u"", u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnicodeTrim(c.in), c.trim);
    EXPECT_EQ(UnicodeTrimLeft(c.in), c.trimLeft);
    EXPECT_EQ(UnicodeUpperCase(c.in), c.upper);
    EXPECT_EQ(UnicodeLowerCase(c.in), c.lower);
  }
  EXPECT_EQ(CharToUpper(U'ǅ'), U'Ǆ');
  EXPECT_EQ(CharToLower(U'ǅ'), U'ǆ');
  EXPECT_EQ(CharToUpper(0x2170), 0x2160u);  // small roman numeral: a cased letter-number
}

// The mappings read off the case table are exactly the characters CharToLower changes.
TEST(Unicode, LowerCaseMappingsListEveryChangedCharacter) {
  std::vector<std::pair<char32_t, char32_t>> expected;
  for (char32_t c = 0; c <= 0x10FFFF; ++c)
    if (const char32_t l = CharToLower(c); l != c) expected.emplace_back(c, l);
  EXPECT_EQ(LowerCaseMappings(), expected);
  EXPECT_GT(expected.size(), 1000u);
}

TEST(Unicode, CompareAndLocaleCodePage) {
  for (LocaleId l : {0x0407u, 0x0409u, 0x0419u, 0x041Fu})
    EXPECT_EQ(CompareTextProc(u"abc", u"ABC", l), 0) << l;
  EXPECT_EQ(CompareTextProc(u"abc", u"abd", 0x0407), -1);
  EXPECT_EQ(CompareTextAnsi(u"Ärger", u"ärger", 0x0407), 0);
  EXPECT_EQ(CompareTextAnsi(u"b", u"A", 0x0407), 1);
  EXPECT_EQ(LocaleAnsiCodePage(0x0407), 1252u);
  EXPECT_EQ(LocaleAnsiCodePage(0x0405), 1250u);
  EXPECT_EQ(LocaleAnsiCodePage(0x0439), 1252u);  // Unicode-only locale: the system's page
}

TEST(Utf8, EncodeAndDecodeTables) {
  EXPECT_EQ(EncodeUtf8(u"ä€"), Bytes({0xC3, 0xA4, 0xE2, 0x82, 0xAC}));
  EXPECT_EQ(EncodeUtf8(u"\U0001F600"), Bytes({0xF0, 0x9F, 0x98, 0x80}));
  // Lone halves keep their three-byte form, so they come back as they were.
  EXPECT_EQ(EncodeUtf8(u"\xDE00\xD83D"), Bytes({0xED, 0xB8, 0x80, 0xED, 0xA0, 0xBD}));
  EXPECT_EQ(DecodeUtf8(EncodeUtf8(u"\xDE00\xD83D")), u"\xDE00\xD83D");
  EXPECT_EQ(EncodeUtf8(u""), "");
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {Bytes({0xF0, 0x9F, 0x98, 0x80}), u"\U0001F600"},
      {Bytes({0xC3, 0xA4}), u"ä"},
      {Bytes({0x80}), u"\u0080"},
      {Bytes({0xE4, 0x62, 0x63, 0x64}), std::u16string(1, char16_t((0xE4 << 12) + (0x62 << 6) + 0x63 - 0xE2080)) + u"d"},
      {Bytes({0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}), u"\U0001F600"},     // the CESU form round-trips
      {Bytes({0xF7, 0xBF, 0xBF, 0xBF}), u"\uFFFD"},                      // above U+10FFFF
      {Bytes({0xF4, 0x90, 0x80, 0x80, 0x41}), u"\uFFFDA"},
      {Bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}), u"\uFFFD"},
      {Bytes({0x41, 0xE2, 0x82}), u"A\uFFFD"},                           // cut off at the end
      {Bytes({0xC3}), u"\uFFFD"},
      {"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeUtf8(c.in), c.out);
}

// The decoder against a plain reading of the rules, on random bytes: both must agree and
// the decoder must never read past the input (the sanitizer run checks that).
std::u16string ReferenceDecode(const std::string& in) {
  std::u16string out;
  size_t i = 0;
  while (i < in.size()) {
    const unsigned lead = static_cast<unsigned char>(in[i]);
    const size_t extra = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
    if (i + extra >= in.size()) {
      out.push_back(0xFFFD);
      break;
    }
    uint64_t v = 0;
    for (size_t k = 0; k <= extra; ++k) v = v * 64 + static_cast<unsigned char>(in[i + k]);
    const uint64_t offsets[] = {0, 0x3080, 0xE2080, 0x3C82080, 0xFA082080, 0x82082080};
    const uint32_t value = static_cast<uint32_t>(v - offsets[extra]);
    if (value <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(value));
    } else if (value <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(0xFFFD);
    }
    i += extra + 1;
  }
  return out;
}

TEST(Utf8, DecoderAgreesWithTheReferenceOnRandomBytes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(rng() % 12, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng() % 3 == 0 ? 0x80 + rng() % 0x80 : rng() % 256);
    ASSERT_EQ(DecodeUtf8(bytes), ReferenceDecode(bytes));
  }
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) all.push_back(static_cast<char16_t>(c));
  EXPECT_EQ(DecodeUtf8(EncodeUtf8(all)), all);
}

}  // namespace
}  // namespace textlib
