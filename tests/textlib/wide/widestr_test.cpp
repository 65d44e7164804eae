#include "textlib/wide/widestr.h"

#include <gtest/gtest.h>

#include "textlib/wide/wide.h"

namespace textlib {
namespace {

TEST(WideFormatTest, FormatsLikeTheClassLibrary) {
  struct Row {
    std::u16string_view format;
    std::vector<FormatArg> args;
    std::u16string_view result;
  };
  const Row rows[] = {
      {u"%s (%s)", {u"\u65E5\u672C", u"Strg+\u263A"}, u"\u65E5\u672C (Strg+\u263A)"},
      {u"%d|%.3d|%d", {-5, 7, 1234567890123LL}, u"-5|007|1234567890123"},
      {u"[%5s|%-5s|%.2s]", {u"ab", u"cd", u"xyz"}, u"[   ab|cd   |xy]"},
      {u"%x %X %.4x", {255, 255, 10}, u"FF FF 000A"},
      {u"%u", {-1}, u"4294967295"},
      {u"%1:s %0:s %s", {u"a", u"b"}, u"b a b"},
      {u"%*d|%-*d|", {4, 1, 3, 2}, u"   1|2  |"},
      {u"%.2f %f %.0f", {3.14159, 2.5, 2.5}, u"3,14 2,50 2"},
      {u"%n %.0n", {1234567.5, -1234.0}, u"1.234.567,50 -1.234"},
      {u"%e", {150.0}, u"1,50000000000000E+002"},
      {u"%g", {0.5}, u"0,5"},
      {u"100%% %s", {std::string("gr\xFCn")}, u"100% gr\u00FCn"},
  };
  for (const Row& row : rows) EXPECT_EQ(WideFormat(row.format, row.args), row.result);
}

TEST(WideFormatTest, MismatchesRaise) {
  EXPECT_THROW(WideFormat(u"%d", {u"text"}), EConvertError);
  EXPECT_THROW(WideFormat(u"%s", {5}), EConvertError);
  EXPECT_THROW(WideFormat(u"%f", {5}), EConvertError);
  EXPECT_THROW(WideFormat(u"%q", {5}), EConvertError);
  EXPECT_THROW(WideFormat(u"%", {}), EConvertError);
  // Absurd widths raise instead of padding without end.
  EXPECT_THROW(WideFormat(u"%*d", {1LL << 40, 1}), EConvertError);
  EXPECT_THROW(WideFormat(u"%99999999999d", {1}), EConvertError);
  try {
    WideFormat(u"%s %s", {u"a"});
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"Kein Argument für Format '%s %s'");
  }
}

TEST(WideCompare, CaseMattersOnlyForCompareStr) {
  EXPECT_EQ(WideCompareText(u"abc", u"ABC"), 0);
  EXPECT_NE(WideCompareStr(u"abc", u"ABC"), 0);
  EXPECT_EQ(WideCompareStr(u"abc", u"abc"), 0);
  EXPECT_LT(WideCompareText(u"apfel", u"Birne"), 0);
  EXPECT_GT(WideCompareStr(u"b", u"a"), 0);
  EXPECT_TRUE(WideSameText(u"\u00C4rger", u"\u00E4RGER"));
  EXPECT_FALSE(WideSameStr(u"\u00C4rger", u"\u00E4RGER"));
  EXPECT_EQ(WideCompareString(platform::kLocaleGerman, 0, u"a", u"b"), 1);
  EXPECT_EQ(WideCompareString(platform::kLocaleGerman, 0, u"a", u"a"), 2);
}

TEST(WideCase, UpperCaseAndLastChar) {
  EXPECT_EQ(WideUpperCase(u"\u00E4bc\u20AC\u03B1z"), u"\u00C4BC\u20AC\u0391Z");
  EXPECT_EQ(WideUpperCase(u"\xD83D\xDE00"), u"\xD83D\xDE00");
  EXPECT_EQ(WideLastChar(u""), u'\0');
  EXPECT_EQ(WideLastChar(u"ab"), u'b');
}

TEST(WideCharTypes, SpacesPunctuationAndAnsi) {
  struct Row {
    char16_t c;
    bool space, punct, boundary, ansi;
  };
  const Row rows[] = {
      {u' ', true, false, true, true},       {u'\t', true, false, true, true},
      {u',', false, true, true, true},       {u'+', false, true, true, true},
      {u'a', false, false, false, true},     {u'7', false, false, false, true},
      {u'\0', false, false, true, true},     {u'\u00A0', true, false, true, true},
      {u'\u20AC', false, true, true, true},  {u'\u0081', false, false, false, true},
      {u'\u263A', false, true, true, false}, {u'\u65E5', false, false, false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsWideCharSpace(row.c), row.space) << int(row.c);
    EXPECT_EQ(IsWideCharPunct(row.c), row.punct) << int(row.c);
    EXPECT_EQ(IsWordBoundary(row.c), row.boundary) << int(row.c);
    EXPECT_EQ(IsCharInAnsiCodePage(row.c), row.ansi) << int(row.c);
  }
  EXPECT_EQ(WideGetCharType(u'A') & (C1_UPPER | C1_ALPHA | C1_XDIGIT), C1_UPPER | C1_ALPHA | C1_XDIGIT);
  EXPECT_TRUE(WideGetCharType(u'\n') & C1_CNTRL);
}

TEST(WideReplace, FollowsTheFlags) {
  struct Row {
    std::u16string_view text, from, to;
    bool wholeWord;
    uint32_t flags;
    std::u16string_view result;
  };
  const Row rows[] = {
      {u"a<b<c", u"<", u" ", false, rfReplaceAll, u"a b c"},
      {u"a<b<c", u"<", u" ", false, 0, u"a b<c"},
      {u"Abc abc", u"ABC", u"x", false, rfReplaceAll | rfIgnoreCase, u"x x"},
      {u"Abc abc", u"abc", u"x", false, rfReplaceAll, u"Abc x"},
      {u"\u00C4rger \u00E4rger", u"\u00E4RGER", u"-", false, rfReplaceAll | rfIgnoreCase, u"- -"},
      {u"cat concat cat.", u"cat", u"dog", true, rfReplaceAll, u"dog concat dog."},
      {u"concat cat cat", u"cat", u"dog", true, 0, u"concat dog cat"},
      {u"a a", u"a", u"-", true, rfReplaceAll, u"- -"},
      // The character before a match at the start of the rest is the last one written.
      {u"aab", u"a", u"x", true, rfReplaceAll, u"aab"},
      {u"abc", u"", u"x", false, rfReplaceAll, u"abc"},
      {u"", u"a", u"x", false, rfReplaceAll, u""},
      {u"aaa", u"aa", u"b", false, rfReplaceAll, u"ba"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(WideStringReplace(row.text, row.from, row.to, row.wholeWord, row.flags), row.result);
}

TEST(WideLineBreaks, EveryStyle) {
  struct Row {
    std::u16string_view text;
    TTextLineBreakStyle style;
    std::u16string_view result;
  };
  const Row rows[] = {
      {u"a\r\nb\rc\nd", tlbsCRLF, u"a\r\nb\r\nc\r\nd"},
      {u"a\r\nb\rc\nd", tlbsLF, u"a\nb\nc\nd"},
      {u"a\r\nb\rc\nd", tlbsCR, u"a\rb\rc\rd"},
      {u"x\u2028y", tlbsCRLF, u"x\r\ny"},
      {u"\n\r", tlbsCRLF, u"\r\n\r\n"},  // LF CR is two breaks
      {u"\r\n\r\n", tlbsLF, u"\n\n"},
      {u"", tlbsCRLF, u""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WideAdjustLineBreaks(row.text, row.style), row.result);
    EXPECT_EQ(WideAdjustLineBreaksLength(row.text, row.style), row.result.size());
  }
}

}  // namespace
}  // namespace textlib
