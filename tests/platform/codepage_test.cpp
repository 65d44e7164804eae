#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Cp1252, EveryByteRoundTripsAndTheTableIsBijective) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = AnsiToWide(all);
  ASSERT_EQ(wide.size(), 256u);
  bool lossy = false;
  EXPECT_EQ(WideToAnsi(wide, &lossy), all);
  EXPECT_FALSE(lossy);
  EXPECT_EQ(wide[0x80], u'\u20AC');
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b], char16_t(b));
  EXPECT_EQ(wide[0x9F], u'\u0178');
}

TEST(Cp1252, UnmappedUnitsBecomeQuestionMarks) {
  bool lossy = false;
  EXPECT_EQ(WideToAnsi(u"a\u03A9\U0001F600b", &lossy), "a???b");
  EXPECT_TRUE(lossy);
}

TEST(CodePages, OemMacAndIconvPages) {
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 850u);
  EXPECT_EQ(GetMacCP(), 10000u);
  EXPECT_EQ(MultiByteToWide(850, "\x84\x81"), u"äü");
  EXPECT_EQ(MultiByteToWide(10000, "\x8A"), u"ä");
  EXPECT_EQ(WideToMultiByte(1251, u"Жx"), "\xC6x");
  EXPECT_EQ(MultiByteToWide(65001, "\xE2\x82\xAC"), u"€");
  EXPECT_EQ(MultiByteToWide(1200, std::string("a\0b\0", 4)), u"ab");
  EXPECT_FALSE(IsCodePageInstalled(12345));
  EXPECT_FALSE(MultiByteToWide(12345, "x").has_value());
}

TEST(CodePages, UnconvertibleInputGivesQuestionMarks) {
  bool lossy = false;
  EXPECT_EQ(WideToMultiByte(1251, u"a€\U0001F600b", &lossy), "a\x88?b");  // € exists in 1251
  EXPECT_TRUE(lossy);
  EXPECT_EQ(MultiByteToWide(932, "a\x81"), u"a?");  // lead byte cut off at the end
}

TEST(PosixUtf8, CombinesPairsAndRejectsMalformedInput) {
  EXPECT_EQ(WideToPosixUtf8(u"ä\U0001F600"), "\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToPosixUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(PosixUtf8ToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
  for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE4zz"})
    EXPECT_FALSE(PosixUtf8ToWide(bad).has_value()) << bad;
}

}  // namespace
}  // namespace platform
