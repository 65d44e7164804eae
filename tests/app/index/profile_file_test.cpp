#include "app/index/profile_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace app {
namespace {

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t c : text) {
    const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

TEST(ProfileFile, ReadsValuesByTheRulesOfProfileFiles) {
  const std::string longValue(5000, 'x');
  const std::string text =
      "ignored=before any section\r\n"
      "[Themen1]\r\n"
      "Liste=Lexika, Nachrichten \r\n"
      "liste=second key of the same name\r\n"
      "; Liste=a comment\r\n"
      "  [ Lexika ]  \r\n"
      "  Liste  =  \"https://a.example/?q=, https://b.example/\"  \r\n"
      "single='quoted'\r\n"
      "half=\"open\r\n"
      "inner=a \"b\" c\r\n"
      "semicolon=https://x.example/a;b\r\n"
      "no equals sign\r\n"
      "empty=\r\n"
      "[lang]\n"
      "Wert=" + longValue + "\n"
      "[THEMEN1]\r"
      "Liste=duplicate section\r"
      "Weitere=only in the second\r";
  const ProfileFile file = ProfileFile::FromBytes(text);
  const struct {
    std::u16string section, key, expected;
  } rows[] = {
      {u"Themen1", u"Liste", u"Lexika, Nachrichten"},  // trimmed, the first key wins
      {u"THEMEN1", u"LISTE", u"Lexika, Nachrichten"},  // names ignore case
      {u"Themen1", u"Weitere", u"only in the second"},   // a repeated section adds its keys
      {u"lexika", u"Liste", u"https://a.example/?q=, https://b.example/"},  // one pair of quotes
      {u"Lexika", u"single", u"quoted"},
      {u"Lexika", u"half", u"\"open"},
      {u"Lexika", u"inner", u"a \"b\" c"},
      {u"Lexika", u"semicolon", u"https://x.example/a;b"},  // only whole lines are comments
      {u"Lexika", u"empty", u""},
      {u"Lexika", u"no equals sign", u"-"},
      {u"Themen1", u"ignored", u"-"},
      {u"Nirgends", u"Liste", u"-"},
      {u"lang", u"Wert", std::u16string(longValue.begin(), longValue.end())},  // never cut
  };
  for (const auto& row : rows) {
    EXPECT_EQ(file.ReadString(row.section, row.key, u"-"), row.expected)
        << std::string(row.section.begin(), row.section.end()) << "/" << std::string(row.key.begin(), row.key.end());
  }
  EXPECT_TRUE(file.HasSection(u"themen1"));
  EXPECT_TRUE(file.HasSection(u"LANG"));
  EXPECT_FALSE(file.HasSection(u"Reisen"));
}

TEST(ProfileFile, DecodesTheFileByItsMarkOrAsCodePage1252) {
  const std::u16string expected = u"Bücher, Straße, €uro";
  const struct {
    const char* what;
    std::string bytes;
  } rows[] = {
      {"cp1252", "[Themen1]\r\nListe=B\xFC" "cher, Stra\xDF" "e, \x80uro\r\n"},
      {"UTF-8 without mark", "[Themen1]\r\nListe=B\xC3\xBC" "cher, Stra\xC3\x9F" "e, \xE2\x82\xAC" "uro\r\n"},
      {"UTF-8 with mark", "\xEF\xBB\xBF[Themen1]\r\nListe=B\xC3\xBC" "cher, Stra\xC3\x9F" "e, \xE2\x82\xAC" "uro\r\n"},
      {"UTF-16 LE", Utf16Bytes(u"[Themen1]\r\nListe=" + expected + u"\r\n", false)},
      {"UTF-16 BE", Utf16Bytes(u"[Themen1]\r\nListe=" + expected + u"\r\n", true)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ProfileFile::FromBytes(row.bytes).ReadString(u"Themen1", u"Liste"), expected) << row.what;
  }
  // Bytes that are not well-formed UTF-8 are all code page 1252, also the ones that would be.
  EXPECT_EQ(DecodeProfileText("\xC3\xBC \xFC"), u"\u00C3\u00BC \u00FC");
}

TEST(ProfileFile, LoadsAFileAndRefusesWhatIsNoFile) {
  testsupport::TempDrive drive;
  drive.WriteFile("Adressen_Webseiten.txt", "[Themen2]\nListe=Reisen\n");
  const auto file = ProfileFile::Load(drive.Drive(u"Adressen_Webseiten.txt"));
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->ReadString(u"Themen2", u"Liste"), u"Reisen");
  EXPECT_FALSE(ProfileFile::Load(drive.Drive(u"fehlt.txt")).has_value());
  EXPECT_FALSE(ProfileFile::Load(drive.Drive()).has_value());
}

}  // namespace
}  // namespace app
