#include "app/index/text_encoding.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace app {
namespace {

TEST(DetectTextEncoding, KindsByTheFirstBytes) {
  const struct {
    std::string bytes;
    EncodingKind kind;
  } cases[] = {
      {"\xEF\xBB\xBFx", kKindUtf8},
      {std::string("\x00\x00\xFE\xFF", 4), kKindUtf32BE},
      {std::string("\xFF\xFE\x00\x00", 4), kKindUtf32LE},  // before UTF-16LE
      {"\xFE\xFF", kKindUtf16BE},
      {"\xFF\xFE\x41", kKindUtf16LE},
      {"{\\rtf1", kKindRtf},
      {"{\\r", kKindRtf},
      {"<html>", kKindNoUnicode},
      {"", kKindNoUnicode},
      {"\xEF\xBB", kKindNoUnicode},  // the missing byte compares as a blank
  };
  for (const auto& c : cases) EXPECT_EQ(DetectTextEncodingBytes(c.bytes), c.kind) << c.bytes;

  testsupport::TempDrive drive;
  drive.WriteFile("a.txt", "\xFF\xFE\x41");
  EXPECT_EQ(DetectTextEncoding(drive.Drive(u"a.txt")), kKindUtf16LE);
  EXPECT_EQ(DetectTextEncoding(drive.Drive(u"missing.txt")), kKindNoUnicode);
  EXPECT_EQ(EncodingKindName(kKindUtf32LE), u"UTF32 - LittleEndian");
  EXPECT_EQ(EncodingKindName(kKindNoUnicode), u"kein Unicode");
}

TEST(ClassifyUtf8, AsciiWellFormedAndIllFormed) {
  const struct {
    std::string bytes;
    int expected;
  } cases[] = {
      {"", 0},
      {"plain", 0},
      {"Gr\xC3\xBC\xC3\x9F" "e", 1},
      {"\xE2\x82\xAC", 1},
      {"\xF0\x9F\x98\x80", 1},
      {"Stra\xDF" "e", 2},         // code page 1252
      {"\xC3", 2},                 // cut off at the end
      {"\xE2\x82", 2},
      {"\xC0\xAF", 2},             // overlong lead
      {"\xE0\x80\x80", 2},         // E0 needs A0-BF
      {"\xF0\x80\x80\x80", 2},     // F0 needs 90-BF
      {"\x80", 2},                 // continuation at a lead position
      {"\xF8\x88\x80\x80\x80", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyUtf8(c.bytes), c.expected) << c.bytes;
  EXPECT_TRUE(IsValidUtf8("abc"));
  EXPECT_FALSE(IsValidUtf8("\xE4"));
}

TEST(Utf8ToWideLenient, StrayBytesStandForThemselves) {
  const struct {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"", u""},
      {"\xC3\xA4", u"ä"},
      {"\xE4\x41", u"äA"},
      {"\xE2\x82\x41", u"\u0082A"},  // the lead byte is dropped
      {"\xE2\x82\xAC", u"€"},
      {"\xE2\x82", u"\u00E2"},        // cut: the lead stays, the continuation goes
      {"Caf\xE9", u"Café"},           // a last high byte stands for itself
      {"Caf\xE9 au", u"Café au"},
      {"\xD0\x9F\xD1\x80", u"Пр"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWideLenient(c.bytes), c.text) << c.bytes;
}

TEST(DecodeUtf8LenientBuffer, CountsAndTerminatorWithinTheCapacity) {
  const unsigned char source[] = {'a', 0xC3, 0xA4, 'b'};
  char16_t dest[8];
  EXPECT_EQ(DecodeUtf8LenientBuffer(dest, 8, source, 4), 4u);  // three units plus one
  EXPECT_EQ(std::u16string(dest), u"aäb");
  EXPECT_EQ(DecodeUtf8LenientBuffer(dest, 3, source, 4), 3u);  // room for two units
  EXPECT_EQ(std::u16string(dest), u"aä");
  EXPECT_EQ(DecodeUtf8LenientBuffer(dest, 8, source, 0), 0u);
  EXPECT_EQ(DecodeUtf8LenientBuffer(dest, 8, nullptr, 4), 0u);
}

TEST(CodePageFromCharset, LastNameWinsThenTheUtf8Overrides) {
  const struct {
    std::string sample;
    uint16_t codePage;
  } cases[] = {
      {"<html><body>nichts</body></html>", 0},
      {"<meta charset=\"Shift_JIS\">", 932},
      {"<meta charset=\"shift_jis\"> windows-1252", 1252},
      {"charset=iso-8859-15", 28605},  // contains iso-8859-1 as well
      {"charset=utf-32BE", 12001},
      {"x-ia5-german", 20106},
      {"charset=windows-1251", 1251},
      {"charset=gb2312 and gb18030", 54936},
      {"charset=utf-8 plain", 65001},
      {"charset=utf-8 \xC3\xA4", 65001},      // well-formed but neither E4 nor F6
      {"charset=utf-8 \xE4\xB8\xAD", 0},      // well-formed with E4
      {"charset=utf-8 \xE4\xB8", 65001},      // cut inside a sequence: ill-formed
      {"charset=utf-8 Stra\xF6", 65001},      // F6 but ill-formed
      {"<meta http-equiv=\"Content-Language\" content=\"zh-cn\"> charset=utf-8", kKeepTextCodePage},
      {"<meta http-equiv=\"content-language\" content=\"zh-tw\"> big5", 950},  // no utf-8
      {std::string("u\0t\0f\0-\0008\0", 10), 0},  // UTF-16 sample: zero bytes between
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageFromCharset(c.sample), c.codePage) << c.sample;
}

TEST(CodePageToWide, ConvertsOrGivesNothing) {
  EXPECT_EQ(CodePageToWide("\x93\xFA\x96\x7B", 932), u"日本");
  EXPECT_EQ(CodePageToWide("\xCF\xF0", 1251), u"Пр");
  EXPECT_EQ(CodePageToWide("", 932), u"");
}

TEST(OpenFileProbe, OpensExistingFilesOnly) {
  testsupport::TempDrive drive;
  drive.WriteFile("a.htm", "12345");
  platform::NativeFile file = OpenFileProbe(drive.Drive(u"a.htm"), 16);
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(GetFileSize64(file), 5);
  EXPECT_FALSE(OpenFileProbe(drive.Drive(u"missing.htm"), 16).Valid());
  EXPECT_FALSE(OpenFileProbe(drive.Drive(u""), 16).Valid());  // a folder
  EXPECT_FALSE(OpenFileProbe(drive.Drive(u"a.htm"), 3).Valid());     // access 3
  EXPECT_FALSE(OpenFileProbe(drive.Drive(u"a.htm"), 0x50).Valid());  // sharing 5
}

TEST(GetFileSize64, KeepsAllSixtyFourBits) {
  testsupport::TempDrive drive;
  drive.WriteFile("big.bin", "");
  platform::NativeFile file = platform::NativeFile::Open(drive.Posix("big.bin"), platform::FileAccess::ReadWrite);
  // A sparse file of 4 GiB + 1: the low 32 bits are 1, and all ones must not read as 0.
  ASSERT_TRUE(file.Truncate((int64_t{1} << 32) + 1));
  EXPECT_EQ(GetFileSize64(file), (int64_t{1} << 32) + 1);
  ASSERT_TRUE(file.Truncate(0xFFFFFFFFll));
  EXPECT_EQ(GetFileSize64(file), 0xFFFFFFFFll);
}

TEST(EnthaeltPfadDateinameAsiaZeichen, QuestionMarkMeansLostCharacters) {
  EXPECT_TRUE(EnthaeltPfadDateinameAsiaZeichen("C:\\docs\\??.htm"));
  EXPECT_FALSE(EnthaeltPfadDateinameAsiaZeichen("C:\\docs\\\xFC.htm"));
}

}  // namespace
}  // namespace app
