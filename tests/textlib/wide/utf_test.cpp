#include "textlib/wide/utf.h"

#include <gtest/gtest.h>

#include <random>

#include "textlib/unicode.h"
#include "textlib/wide/wide.h"

namespace textlib {
namespace {

using namespace std::string_literals;

TEST(WideUtf8, EncodesEveryCharacter) {
  struct Row {
    std::u16string text;
    std::string bytes;
  };
  const Row rows[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\u00FC", "\xC3\xBC"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\0"s, "\0"s},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},          // a pair is one character
      {u"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD"},  // lone halves, three bytes each
  };
  for (const Row& row : rows) EXPECT_EQ(WideToUtf8(row.text), row.bytes);
}

TEST(WideUtf8, BufferFormCountsAndStopsAtTheEnd) {
  const std::u16string text = u"a\u20ACb";
  EXPECT_EQ(WideCharsToUtf8(nullptr, 0, text.data(), text.size()), 6u);  // 5 bytes + terminator
  EXPECT_EQ(WideCharsToUtf8(nullptr, 0, nullptr, 3), 0u);
  char small[4] = {'x', 'x', 'x', 'x'};
  // "\u20AC" does not fit behind "a": the terminator follows "a".
  EXPECT_EQ(WideCharsToUtf8(small, 4, text.data(), text.size()), 2u);
  EXPECT_EQ(std::string(small, 2), "a\0"s);
  char full[6];
  EXPECT_EQ(WideCharsToUtf8(full, 6, text.data(), text.size()), 6u);
  EXPECT_EQ(std::string(full, 6), "a\xE2\x82\xAC" "b\0"s);
  char exact[3];
  EXPECT_EQ(WideCharsToUtf8(exact, 3, u"abc", 3), 3u);  // the terminator takes the last byte
  EXPECT_EQ(std::string(exact, 3), "ab\0"s);
  const char16_t zero = 0;
  char one[2];
  EXPECT_EQ(WideCharsToUtf8(one, 2, &zero, 1), 2u);
  EXPECT_EQ(one[0], '\0');
}

TEST(WideUtf8, DecodesAndRejectsMalformedInput) {
  struct Row {
    std::string bytes;
    std::u16string text;
  };
  const Row rows[] = {
      {"abc", u"abc"},
      {"\xC3\xBC", u"\u00FC"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"x\xF0\x9F\x98\x80y", u"x\U0001F600y"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"\xED\xA0\xBD\xED\xB8\x80", u"\xD83D\xDE00"},  // the encoder's own form comes back
      {"a\xC3", u""},                                   // cut after the lead byte
      {"\xC3\x41", u""},
      {"\xE2\x82", u""},
      {"\xF0\x9F\x98", u""},
      {"\xF0\x9F\x98\x41", u""},
      {"\xF4\x90\x80\x80", u""},  // above U+10FFFF
      {"\xF0\x80\x80\x80", u""},  // overlong
      {"ab\x80", u""},            // a lead byte at the end
      {"", u""},
  };
  for (const Row& row : rows) EXPECT_EQ(Utf8ToWide(row.bytes), row.text) << row.bytes;
}

TEST(WideUtf8, BufferDecodeCountsAndStopsWhenFull) {
  const std::string bytes = "ab\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToWideChars(nullptr, 0, bytes.data(), bytes.size()), 5);
  EXPECT_EQ(Utf8ToWideChars(nullptr, 0, "\xC3", 1), -1);
  char16_t target[4];
  // The pair does not fit behind "ab".
  EXPECT_EQ(Utf8ToWideChars(target, 4, bytes.data(), bytes.size()), 3);
  EXPECT_EQ(std::u16string(target, 3), u"ab\0"s);
}

TEST(WideUtf8, AgreesWithTheLibraryEncoderOnRandomText) {
  std::mt19937 rng(1);
  for (int round = 0; round < 200; ++round) {
    std::u16string text;
    for (int i = rng() % 40; i > 0; --i) {
      char16_t c = static_cast<char16_t>(rng() % (rng() % 2 ? 0x80 : 0x10000));
      text.push_back(c);
    }
    const std::string bytes = WideToUtf8(text);
    EXPECT_EQ(bytes, EncodeUtf8(text));
    EXPECT_EQ(Utf8ToWide(bytes), text);
  }
}

TEST(WideUtf7, EncodesAfterTheRfc) {
  struct Row {
    std::u16string text;
    std::string bytes;
  };
  const Row rows[] = {
      {u"", ""},
      {u"A+B", "A+-B"},
      {u"f\u00FCr", "f+APw-r"},  // "-" because "r" is a base64 character
      {u"Hi Mom -\u263A-!", "Hi Mom -+Jjo--!"},
      {u"~", "+AH4"},  // a pending run at the end is flushed without "-"
      {u"~.", "+AH4."},
      {u"~\u00FC+", "+AH4A/AAr"},  // inside a run "+" is encoded
      {u"a\tb\r\n c", "a\tb\r\n c"},
      {u"\u65E5\u672C\u8A9E", "+ZeVnLIqe"},
      {u"!\"#$%&*;<=>@[]^_`{|}", "!\"#$%&*;<=>@[]^_`{|}"},
      {u"\\", "+AFw"},
  };
  for (const Row& row : rows) EXPECT_EQ(WideToUtf7(row.text), row.bytes) << row.bytes;
}

TEST(WideUtf7, DecodesValidInput) {
  struct Row {
    std::string bytes;
    std::u16string text;
  };
  const Row rows[] = {
      {"A+-B", u"A+B"},
      {"+AGE-x", u"ax"},
      {"Hi Mom -+Jjo--!", u"Hi Mom -\u263A-!"},
      {"f+APw-r", u"f\u00FCr"},
      {"+AH4.", u"~."},
      {"+ZeVnLIqe", u"\u65E5\u672C\u8A9E"},
      {"+AGEA-x", u"ax"},  // eight left-over bits, all zero
      {"", u""},
  };
  for (const Row& row : rows) EXPECT_EQ(Utf7ToWide(row.bytes), row.text) << row.bytes;
}

TEST(WideUtf7, RejectsInvalidInput) {
  const std::string rows[] = {
      "+AGF-",    // the two bits left over are not zero
      "a+",       // a run at the end that gives nothing
      "+!",       // a run that gives nothing
      "a\x80" "b",  // an 8-bit byte outside a run
      "+A-",      // six bits give no unit
      "+AGE\x80",  // an 8-bit byte ends the run and is outside it
  };
  for (const std::string& bytes : rows) {
    try {
      Utf7ToWide(bytes);
      ADD_FAILURE() << bytes;
    } catch (const EUniGeneralError& e) {
      EXPECT_EQ(e.Message(), u"Invalid UTF7");
    }
  }
}

TEST(WideUtf7, RoundTripsRandomText) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    for (int i = rng() % 30; i > 0; --i)
      text.push_back(static_cast<char16_t>(rng() % 3 ? rng() % 0x80 : rng() % 0x10000));
    EXPECT_EQ(Utf7ToWide(WideToUtf7(text)), text);
  }
}

TEST(WideCodePages, ConvertByNumber) {
  EXPECT_EQ(StringToWideCP("\x80", 1252), u"\u20AC");
  EXPECT_EQ(StringToWideCP("\x80", 0), u"\u20AC");
  EXPECT_EQ(StringToWideCP("\x81", 850), u"\u00FC");
  EXPECT_EQ(StringToWideCP("\xC3\xBC", 65001), u"\u00FC");
  EXPECT_EQ(StringToWideCP("f+APw-r", 65000), u"f\u00FCr");
  EXPECT_EQ(StringToWideCP("abc", 12345), u"");
  EXPECT_EQ(WideToStringCP(u"\u20AC", 1252), "\x80");
  EXPECT_EQ(WideToStringCP(u"\u20AC", 65001), "\xE2\x82\xAC");
  EXPECT_EQ(WideToStringCP(u"A+B", 65000), "A+-B");
  EXPECT_EQ(WideToStringCP(u"\u263A", 1252), "?");
}

TEST(WideCodePages, KeyCharsAndSwappedBytes) {
  EXPECT_EQ(KeyboardCodePage(), 1252u);
  EXPECT_EQ(KeyCharToWide(0x80), u'\u20AC');
  EXPECT_EQ(KeyCharToWide('a'), u'a');
  EXPECT_EQ(KeyCharToWide(0x263A), u'\u263A');
  char16_t buffer[] = {0x0041, 0x20AC, 0, 0x1234};
  SwapWideBytes(buffer);
  EXPECT_EQ(buffer[0], 0x4100);
  EXPECT_EQ(buffer[1], 0xAC20);
  EXPECT_EQ(buffer[3], 0x1234);  // behind the terminator
}

}  // namespace
}  // namespace textlib
