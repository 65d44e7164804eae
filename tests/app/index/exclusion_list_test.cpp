#include "app/index/exclusion_list.h"

#include <algorithm>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace app {
namespace {

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t c : text) {
    const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// The plain rule the automaton must agree with: some lower-cased fragment occurs in the
// lower-cased path.
bool ReferenceExcludes(const std::vector<std::u16string>& fragments, std::u16string_view path) {
  const std::u16string lower = textlib::UnicodeLowerCase(path);
  for (const std::u16string& fragment : fragments)
    if (!fragment.empty() && lower.find(textlib::UnicodeLowerCase(fragment)) != std::u16string::npos) return true;
  return false;
}

TEST(ExclusionList, ReadsTheFileInItsEncoding) {
  const std::u16string inStrassenplan = u"T:\\docs\\Straßenplan\\x.htm";
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::u16string> fragments;
  } cases[] = {
      {"UTF-8 without a mark", "stra\xC3\x9F" "enplan\n", {u"straßenplan"}},
      {"UTF-8 with its mark", "\xEF\xBB\xBFStra\xC3\x9F" "enplan\r\n", {u"straßenplan"}},
      {"UTF-16 little-endian with its mark", Utf16(u"STRAßENPLAN\r\n", false), {u"straßenplan"}},
      {"UTF-16 big-endian with its mark", Utf16(u"straßenplan\r\n", true), {u"straßenplan"}},
      {"code page 1252", "stra\xDF" "enplan\r\n\xC4rger\r\n", {u"straßenplan", u"ärger"}},
      {"one byte that cannot be UTF-8 makes the whole file code page 1252",
       "m\xC3\xBCller\r\nstra\xDF" "enplan\r\n", {u"mã¼ller", u"straßenplan"}},
      {"an overlong form is not UTF-8", "\xC0\xAF" "x\r\n", {u"\u00e0\u00afx"}},
      {"an encoded surrogate half is not UTF-8", "\xED\xA0\x80\r\n", {u"í\u00a0€"}},
      {"a character above U+FFFF in UTF-8", "\xF0\x9F\x93\x81 akten\r\n", {u"\U0001F4C1 akten"}},
      {"a malformed sequence behind the UTF-8 mark keeps the list", "\xEF\xBB\xBF" "a\xC3\r\nstra\xC3\x9F" "enplan",
       {u"a\ufffd", u"straßenplan"}},
  };
  testsupport::TempDrive drive;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    drive.WriteFile("AusnahmeIndizierung.txt", c.bytes);
    const ExclusionList list = ExclusionList::Load(drive.Drive(u"AusnahmeIndizierung.txt"));
    EXPECT_EQ(list.Fragments(), c.fragments);
    EXPECT_EQ(list.Size(), c.fragments.size());
    const bool strassenplan = std::find(c.fragments.begin(), c.fragments.end(), u"straßenplan") != c.fragments.end();
    EXPECT_EQ(list.Excludes(inStrassenplan), strassenplan);
    EXPECT_EQ(list.Excludes(u"T:\\docs\\STRAßENPLAN.htm"), strassenplan);
    EXPECT_FALSE(list.Excludes(u"T:\\STRASSENPLAN\\x.htm"));  // simple case mapping: ß stays ß
  }
}

TEST(ExclusionList, MissingOrUnreadableFileIsEmpty) {
  testsupport::TempDrive drive;
  std::filesystem::create_directories(drive.Posix("folder.txt"));
  for (const std::u16string& name : {drive.Drive(u"nothing.txt"), drive.Drive(u"folder.txt"), std::u16string(u"Q:\\x.txt")}) {
    const ExclusionList list = ExclusionList::Load(name);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_FALSE(list.Excludes(u"T:\\a.htm"));
  }
}

TEST(ExclusionList, LinesAreTrimmedAndBlankOnesDropped) {
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::u16string> fragments;
  } cases[] = {
      {"empty file", "", {}},
      {"only breaks and blanks", "\r\n\n\r  \t\r\n\xC2\xA0\xE2\x80\x83\r\n", {}},
      {"blanks, tabs and control characters around", "  privat \r\n\t\x01SUB\\\x7F\r\n", {u"privat", u"sub\\"}},
      {"inner blanks stay", "  meine daten  ", {u"meine daten"}},
      {"CR, LF and the line separator break lines", "a\rb\nc\xE2\x80\xA8" "d", {u"a", u"b", u"c", u"d"}},
      {"duplicates are kept in the count", "x\r\nX\r\nx", {u"x", u"x", u"x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ExclusionList list = ExclusionList::FromBytes(c.bytes);
    EXPECT_EQ(list.Fragments(), c.fragments);
    EXPECT_EQ(list.Empty(), c.fragments.empty());
  }
  EXPECT_TRUE(ExclusionList::FromBytes(" \r\n ").Empty());
  EXPECT_FALSE(ExclusionList::FromBytes(" \r\n ").Excludes(u" "));  // no empty fragment matches everything
}

TEST(ExclusionList, MatchesEveryFragmentAnywhereInThePath) {
  const struct {
    std::vector<std::u16string> fragments;
    std::u16string path;
    bool excluded;
  } cases[] = {
      // Overlapping fragments: a match may end inside another fragment's branch.
      {{u"he", u"she", u"hers"}, u"T:\\ushers.htm", true},
      {{u"he", u"she", u"hers"}, u"T:\\USHERS.HTM", true},
      {{u"she", u"hers"}, u"T:\\shxhrs", false},
      {{u"she", u"hers"}, u"T:\\sherz", true},
      {{u"she", u"hers"}, u"T:\\xhers", true},
      {{u"abcd", u"bc"}, u"T:\\abce", true},
      {{u"abcd", u"bcx"}, u"T:\\abcx", true},
      {{u"abcd", u"bcx"}, u"T:\\abcbcd", false},
      {{u"aab"}, u"T:\\aaab", true},
      {{u"aab"}, u"T:\\abab", false},
      // A fragment that is a prefix of another, in either order.
      {{u"priv", u"privat"}, u"T:\\Priv\\a.htm", true},
      {{u"privat", u"priv"}, u"T:\\Priv\\a.htm", true},
      {{u"privat", u"priv"}, u"T:\\pri\\vat.htm", false},
      {{u"privat\\", u"privat"}, u"T:\\docs\\privatsache.htm", true},
      // Where the fragment lies: start, end, the whole path; case of both sides.
      {{u"t:\\docs"}, u"T:\\DOCS\\a.htm", true},
      {{u".HTM"}, u"T:\\docs\\a.htm", true},
      {{u"T:\\Docs\\A.htm"}, u"t:\\docs\\a.HTM", true},
      {{u"T:\\Docs\\A.htm"}, u"t:\\docs\\a.HT", false},
      {{u"Ärger"}, u"T:\\ÄRGER\\x.htm", true},
      {{u"ß"}, u"T:\\ẞ\\x.htm", true},  // capital sharp s lowers to ß
      {{u"ss"}, u"T:\\Straße", false},
      {{u"straße"}, u"T:\\STRASSE", false},
      {{u"\U00010400"}, u"T:\\\U00010428", false},  // no case mapping outside the basic plane
      {{u"\U00010400"}, u"T:\\\U00010400", true},
      {{u"x"}, u"", false},
  };
  for (const auto& c : cases) {
    const ExclusionList list(c.fragments);
    EXPECT_EQ(list.Excludes(c.path), c.excluded) << textlib::EncodeUtf8(c.path);
  }
}

TEST(ExclusionList, AgreesWithThePlainReferenceOnRandomPaths) {
  // A small alphabet makes overlaps, shared prefixes and near misses common; it holds both
  // cases, umlauts, ß and ẞ, and the halves of a pair above U+FFFF.
  const std::u16string alphabet = u"abAB\\.äÄßẞ\U00010400";
  std::mt19937 rng(20240611);
  auto text = [&](size_t maxLength) {
    std::u16string s(rng() % (maxLength + 1), u' ');
    for (char16_t& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  int excluded = 0, kept = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<std::u16string> fragments(1 + rng() % 40);
    for (std::u16string& fragment : fragments) fragment = text(1 + round % 7);
    const ExclusionList list(fragments);
    for (int i = 0; i < 50; ++i) {
      const std::u16string path = u"T:\\" + text(40);
      const bool expected = ReferenceExcludes(fragments, path);
      ASSERT_EQ(list.Excludes(path), expected) << "round " << round << ", path " << textlib::EncodeUtf8(path);
      (expected ? excluded : kept) += 1;
    }
  }
  // Both answers must have been tried often, or the comparison proves little.
  EXPECT_GT(excluded, 2000);
  EXPECT_GT(kept, 2000);
}

class QuietStatus : public IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

TEST(ExclusionList, ABuildRunLeavesOutTheExcludedFiles) {
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  QuietStatus status;
  for (const char* folder : {"base/Datenbank/Temp", "docs"}) std::filesystem::create_directories(drive.Posix(folder));
  std::string list = "T:\\docs\\Stra\xC3\x9F" "enplan\\a.htm\r\n";
  for (int i = 0; i < 20; ++i) list += "\" p" + std::to_string(i) + ".htm\r\n";
  list += "T:\\docs\\STRASSENPLAN\\b.htm\r\nT:\\docs\\\xC3\x84rger\\c.htm\r\n\" d.htm\r\nT:\\docs\\e.htm\r\n";
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", list);
  const struct {
    const char* what;
    std::string exclusions;
    std::string dat;  // the lines after the header
  } cases[] = {
      {"UTF-8 without a mark", "stra\xC3\x9F" "enplan\n\xC3\xA4rger\\c\n",
       "T:\\docs\\STRASSENPLAN\\b.htm\r\nT:\\docs\\\xC3\x84rger\\d.htm\r\nT:\\docs\\e.htm\r\n"},
      {"code page 1252", "STRA\xDF" "ENPLAN\r\n\xC4RGER\r\n", "T:\\docs\\STRASSENPLAN\\b.htm\r\nT:\\docs\\e.htm\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    drive.WriteFile("base/AusnahmeIndizierung.txt", c.exclusions);
    IndexSettings s;
    s.baseFolder = u"T:\\base\\";
    s.dbName = u"web";
    s.folder = u"T:\\docs";
    s.driveLetter = u'T';
    s.slots = {u".htm"};
    IndexRun run(s, status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
    const std::string dat = drive.ReadFile("base/Datenbank/web.dat");
    const size_t header = dat.find("\r\n");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(dat.substr(header + 2), c.dat);
  }
}

}  // namespace
}  // namespace app
