#include "search/engine/direct_search.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "app/index/index_run.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/pump.h"
#include "search/engine/database_files.h"
#include "search/engine/database_search.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace {

std::string Le16(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}
std::string Be16(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  return out;
}
std::string Le32(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), '\0', '\0'};
  return out;
}

// ---- encoding decision ----------------------------------------------------------------

TEST(DirectSearchEncoding, MarksAndGuesses) {
  testsupport::TempDrive drive;
  using D = search::DetectedEncoding;
  const D utf8{.utf8 = true}, ansi{.ansi = true}, le{.utf16LE = true}, be{.utf16BE = true}, rtf{.rtf = true},
      utf32{.utf32 = true};
  struct Row {
    const char* what;
    std::string name;
    std::string bytes;
    int mark;
    D expected;
  } rows[] = {
      {"UTF-8 mark", "a.htm", "\xEF\xBB\xBFHaus", search::kKodierungUtf8, utf8},
      {"UTF-16BE mark", "b.htm", "\xFE\xFF" + Be16(u"Haus"), search::kKodierungUtf16BE, be},
      {"UTF-16LE mark", "c.htm", "\xFF\xFE" + Le16(u"Haus"), search::kKodierungUtf16LE, le},
      {"UTF-32BE mark", "d.htm", std::string("\0\0\xFE\xFF\0\0\0H", 8), search::kKodierungUtf32BE, utf32},
      {"UTF-32LE mark before UTF-16LE", "e.htm", std::string("\xFF\xFE\0\0", 4) + Le32(u"Haus"),
       search::kKodierungUtf32LE, utf32},
      {"RTF", "f.htm", "{\\rtf1 Haus}", search::kKodierungRtf, rtf},
      {"RTF opening alone", "g.htm", "{\\r", search::kKodierungRtf, rtf},
      {"UTF-8 mark alone (3 bytes)", "h.htm", "\xEF\xBB\xBF", search::kKodierungUtf8, utf8},
      {"UTF-16LE mark alone (2 bytes)", "i.htm", "\xFF\xFE", search::kKodierungUtf16LE, le},
      {"two ASCII bytes", "j.htm", "ab", search::kKodierungKeinUnicode, utf8},
      {"ASCII", "k.htm", "Ein Haus am See", search::kKodierungKeinUnicode, utf8},
      {"C3 A4", "l.htm", "Gr\xC3\xA4n", search::kKodierungKeinUnicode, utf8},
      {"E4", "m.htm", "Gr\xE4n", search::kKodierungKeinUnicode, ansi},
      {"E4 as a UTF-8 lead byte", "n.htm", "\xE4\xB8\xAD", search::kKodierungKeinUnicode, utf8},
      {"80 alone", "o.htm", "a\x80z", search::kKodierungKeinUnicode, ansi},
      {"invalid byte beyond 200,000", "p.htm", std::string(200001, 'x') + "\xE4", search::kKodierungKeinUnicode,
       utf8},
      {"sequence across byte 200,000", "q.htm", std::string(199999, 'x') + "\xC3\xA4", search::kKodierungKeinUnicode,
       utf8},
      {"E4 across the whole file", "r.htm", std::string(199999, 'x') + "\xE4", search::kKodierungKeinUnicode, ansi},
      {"empty file", "s.htm", "", search::kKodierungKeinUnicode, utf8},
      // Beyond 1 MiB the file is read block by block: a sequence across a block end.
      {"large, sequence across a block end", "t.htm", std::string(65535, 'x') + "\xC3\xA4" + std::string(1100000, 'y'),
       search::kKodierungKeinUnicode, utf8},
      {"large, E4 at the start", "u.htm", "\xE4" + std::string(1100000, 'y'), search::kKodierungKeinUnicode, ansi},
      {"large, invalid byte at the end", "v.htm", std::string(1100000, 'y') + "\xC3\xA4\x80",
       search::kKodierungKeinUnicode, utf8},
      // The name plays no part: the bytes are guessed under any name.
      {"non-ANSI name", "\xE4\xB8\xAD\xE6\x96\x87.htm", "Gr\xE4n", search::kKodierungKeinUnicode, ansi},
  };
  for (const Row& row : rows) {
    drive.WriteFile(row.name, row.bytes);
    EXPECT_EQ(search::ErkenneBOM(row.bytes), row.mark) << row.what;
    const auto d = search::DetectEncoding(drive.Drive(platform::PosixUtf8ToWide(row.name).value()));
    ASSERT_TRUE(d.has_value()) << row.what;
    const D& e = row.expected;
    EXPECT_EQ(std::make_tuple(d->utf8, d->ansi, d->utf16LE, d->utf16BE, d->rtf, d->utf32),
              std::make_tuple(e.utf8, e.ansi, e.utf16LE, e.utf16BE, e.rtf, e.utf32))
        << row.what;
  }
  EXPECT_EQ(search::KodierungsName(search::kKodierungUtf16BE), u"UTF16 - BigEndian");
  EXPECT_EQ(search::KodierungsName(search::kKodierungKeinUnicode), u"kein Unicode");
  EXPECT_FALSE(search::DetectEncoding(drive.Drive(u"fehlt.htm")).has_value());
}

// The two validators differ on purpose: the classifier rejects overlong forms and bytes
// F8 .. FF, the strict test only counts leading one bits and wants a byte from 80 up.
TEST(DirectSearchEncoding, ClassifierAndStrictTest) {
  struct Row {
    std::string bytes;
    int classified;
    bool strict;
  } rows[] = {
      {"", 0, false},
      {"abc", 0, false},
      {"\xC3\xA4", 1, true},
      {"\xC3", 2, false},
      {"\xC0\x80", 2, true},
      {"\xC1\xBF", 2, true},
      {"\xE0\x80\x80", 2, true},
      {"\xE0\xA0\x80", 1, true},
      {"\xF0\x80\x80\x80", 2, true},
      {"\xF0\x90\x80\x80", 1, true},
      {"\xF8\x88\x80\x80\x80", 2, true},
      {"\xFF", 2, false},
      {"\x80", 2, false},
      {"a\xC3\xA4\xE4", 2, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(search::Utf8Klassifizieren(reinterpret_cast<const unsigned char*>(row.bytes.data()), row.bytes.size()),
              row.classified)
        << testing::PrintToString(row.bytes);
    EXPECT_EQ(search::IstGueltigesUtf8(row.bytes), row.classified != 2);
    EXPECT_EQ(search::IstUtf8Streng(row.bytes), row.strict) << testing::PrintToString(row.bytes);
  }
}

// The strict test straight from its rules, over the whole buffer.
bool StrictReference(const std::string& bytes) {
  bool high = false;
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    high = true;
    int k = 0;
    while (k < 8 && ((c << k) & 0x80)) ++k;
    if (k == 1) return false;
    for (int j = 1; j < k; ++j) {
      if (i + j >= bytes.size()) return false;
      const auto d = static_cast<unsigned char>(bytes[i + j]);
      if (d < 0x80 || d > 0xBF) return false;
    }
    i += k;
  }
  return high;
}

TEST(DirectSearchEncoding, StreamingStrictTestMatchesTheWholeBuffer) {
  std::mt19937 random(17);
  const std::string pieces[] = {"a", "Z", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xFC\x80\x80\x80\x80\x80",
                                "\x80", "\xC3", "\xE2\x82", "\xFF", "\xBF"};
  int valid = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    // Mostly well-formed texts, so both answers occur often.
    const int spoil = std::uniform_int_distribution<int>(0, 2)(random);
    for (int i = 0; i < count; ++i) {
      const int pick = std::uniform_int_distribution<int>(0, spoil == 0 ? 10 : 5)(random);
      bytes += pieces[pick];
    }
    const bool expected = StrictReference(bytes);
    valid += expected;
    EXPECT_EQ(search::IstUtf8Streng(bytes), expected) << testing::PrintToString(bytes);
    search::Utf8StrengPruefung check;
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::uniform_int_distribution<size_t>(1, 7)(random);
      check.Feed(std::string_view(bytes).substr(at, n));
      at += n;
    }
    EXPECT_EQ(check.Result(), expected) << testing::PrintToString(bytes);
  }
  EXPECT_GT(valid, 300);
  EXPECT_LT(valid, 2700);
}

// The description is read without a string list: the same lines as the list reads.
TEST(DirectSearchDescription, LinesAsTheListReadsThem) {
  testsupport::TempDrive drive;
  const std::string rows[] = {
      "",
      "\r\n",
      "a\r\nb\r\n",
      "a\rb\nc",
      "a\n\n\r\rb\r\n\r\n",
      "v\x0Bf\x0Cend",
      "x\r\ny" + std::string(1, '\0') + "z\r\nw",
      "Caf\xE9 \x80\x85\r\nGr\xC3\xBC\xC3\x9F" "e",
      "\xFF\xFE" + Le16(u"a\u2028b\u2029c\r\n\u00E9\u4E2D\r\n"),
      "\xFE\xFF" + Be16(u"P\r\nQ\nR") + "\x01",
      "\xFF",
      // Line 0 longer than one block of the reading, a tab in it, lines after it.
      "P\t" + std::string(70000, 'x') + "\r\nnext\r\n",
      "\xFF\xFE" + Le16(u"P\t" + std::u16string(40000, u'\u00E4') + u"\u2028rest"),
  };
  for (const std::string& bytes : rows) {
    drive.WriteFile("d.dat", bytes);
    textlib::TWideStringList list;
    list.LoadFromFile(drive.Drive(u"d.dat"));
    search::DescriptionLines lines;
    ASSERT_TRUE(lines.Load(drive.Drive(u"d.dat")));
    ASSERT_EQ(lines.Count(), list.Count()) << testing::PrintToString(bytes);
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_EQ(lines.Ansi(i), platform::WideToAnsi(list[i])) << testing::PrintToString(bytes) << " line " << i;
    // A search reads only the root line; it must be the same line.
    search::DescriptionLines first;
    ASSERT_TRUE(first.Load(drive.Drive(u"d.dat"), true));
    ASSERT_EQ(first.Count() > 0, list.Count() > 0);
    if (list.Count() > 0) {
      EXPECT_EQ(first.Ansi(0), platform::WideToAnsi(list[0])) << testing::PrintToString(bytes);
    }
  }
  search::DescriptionLines missing;
  EXPECT_FALSE(missing.Load(drive.Drive(u"fehlt.dat")));
}

// ---- the run ----------------------------------------------------------------------------

class NoBrowser : public app::ResultPageHost {
 public:
  void ProcessMessages() override {}
  void OpenInBrowser(const std::u16string&) override {}
};

class DirectSearchRun : public ::testing::Test {
 protected:
  DirectSearchRun() : writer(state, host), run(session, writer, state) {
    files.baseFolder = u"T:\\base\\";
    files.dbName = u"pfade";
    writer.BaseFolder = files.baseFolder;
    writer.CurrentDbName = files.dbName;
    Write("base/Datenbank/Temp/.keep", "");
    Write("Docs/.keep", "");
  }
  void Write(const std::string& relative, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(drive.Posix(relative)).parent_path());
    drive.WriteFile(relative, bytes);
  }
  // A description that lists the files as a path-list build writes it.
  void Describe(const std::vector<std::string>& paths) {
    std::string dat = "PFAD_UND_ENDUNGEN= T:\\Docs *.htm    \r\n";
    for (const auto& p : paths) dat += p + "\r\n";
    Write("base/Datenbank/pfade.dat", dat);
  }
  std::map<std::string, std::string> Entries() const {
    std::map<std::string, std::string> out;
    for (int i = 0; i < run.HitList.Count(); ++i) {
      const std::string entry = platform::WideToAnsi(run.HitList[i]);
      const size_t cut = entry.find("##text##");
      EXPECT_NE(cut, std::string::npos);
      const auto [at, fresh] = out.emplace(entry.substr(0, cut), entry.substr(cut + 8));
      EXPECT_TRUE(fresh) << "two entries for " << at->first;
    }
    return out;
  }
  app::IndexSettings BuildSettings(std::u16string name, bool pathList) const {
    app::IndexSettings s;
    s.baseFolder = u"T:\\base\\";
    s.dbName = std::move(name);
    s.folder = u"T:\\Docs";
    s.driveLetter = u'T';
    s.slots = {u".htm", u".mht", u"", u"", u""};
    s.programFolder = u"T:\\kein_programm\\";
    s.pathListOnly = pathList;
    return s;
  }

  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  search::DatabaseFiles files;
  search::SearchSession session;
  app::ResultPageState state;
  NoBrowser host;
  app::TResultPageWriter writer;
  search::TDatabaseSearch run;
};

TEST_F(DirectSearchRun, EveryEncodingOnceWithItsSnippet) {
  Write("Docs/utf8bom.htm", "\xEF\xBB\xBFGr\xC3\xBCnes Haus <b>hier</b>\r\n");
  Write("Docs/utf8.htm", "Das HAUS am See, Gr\xC3\xBC\xC3\x9F" "e\r\nHaus zwei\r\n");
  Write("Docs/ansi.htm", "Ein Haus f\xFCr Caf\xE9 und 5 \x80, ?" "?\r\n");
  Write("Docs/le.htm", "\xFF\xFE" + Le16(u"Haus im Wald \u20AC\r\n"));
  Write("Docs/be.htm", "\xFE\xFF" + Be16(u"Am Berg ein Haus\r\n"));
  Write("Docs/utf32.htm", std::string("\xFF\xFE\0\0", 4) + Le32(u"Haus"));
  Write("Docs/rtf.htm", "{\\rtf1 Haus}");
  Write("Docs/empty.htm", "");
  Write("Docs/Ausgeschlossen/x.htm", "Haus");
  Write("Docs/-", "Haus");
  Write("base/-", "Haus");
  Write("base/AusnahmeIndizierung.txt", "  ausgeSCHLOSSEN \r\n\r\n");
  ASSERT_EQ(mkfifo(drive.Posix("Docs/fifo.htm").c_str(), 0600), 0);
  Describe({"T:\\Docs\\utf8bom.htm", "T:\\Docs\\utf8.htm", "T:\\Docs\\ansi.htm", "T:\\Docs\\le.htm",
            "T:\\Docs\\be.htm", "T:\\Docs\\utf32.htm", "T:\\Docs\\rtf.htm", "T:\\Docs\\empty.htm",
            "T:\\Docs\\fifo.htm", "T:\\Docs\\fehlt.htm", "T:\\Docs\\AUSGESCHLOSSEN\\x.htm",
            "T:\\Docs\\Ausgeschlossen\\x.htm", "T:\\Docs\\-"});
  std::vector<std::u16string> captions;
  run.SetSearchCaption = [&](const std::u16string& c) { captions.push_back(c); };

  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_TRUE(run.SearchedDirectly());
  EXPECT_FALSE(run.Flags().NoHits);
  const std::map<std::string, std::string> expected = {
      {"T:\\Docs\\utf8bom.htm", "Gr\xC3\xBCnes Haus  b>hier /b><br>"},
      {"T:\\Docs\\utf8.htm", "Das HAUS am See, Gr\xC3\xBC\xC3\x9F" "e Haus zwei<br>"},
      {"T:\\Docs\\ansi.htm", "Ein Haus f\xC3\xBCr Caf\xC3\xA9 und 5 \xE2\x82\xAC, ?" "?<br>"},
      {"T:\\Docs\\le.htm", "Haus im Wald \xE2\x82\xAC<br>"},
      {"T:\\Docs\\be.htm", "Am Berg ein Haus<br>"},
      // A file that is really named "-" is a file like any other; the one in the base
      // folder is never taken for an excluded path.
      {"T:\\Docs\\-", "Haus<br>"},
  };
  EXPECT_EQ(Entries(), expected);
  EXPECT_TRUE(sink->Boxes().empty());
  ASSERT_EQ(captions.size(), 13u);
  EXPECT_EQ(captions[0], u"Bisher in 0 Dateien gefunden. Gesucht wird in Nr.: 1 von insgesamt: 13 Dateien.");
  EXPECT_EQ(captions[12], u"Bisher in 5 Dateien gefunden. Gesucht wird in Nr.: 13 von insgesamt: 13 Dateien.");
  // A missing file, a FIFO and files of other kinds are no loss to report.
  EXPECT_EQ(run.EndCaption, u"");
  ASSERT_EQ(writer.WrittenFiles().size(), 1u);
  // The page shows the ANSI file's snippet as UTF-8 text.
  const std::string page = drive.ReadFile("base/Datenbank/Temp/QY_Ergebnis.htm");
  EXPECT_NE(page.find("Caf\xC3\xA9"), std::string::npos);
}

TEST_F(DirectSearchRun, FilesThatCannotBeOpenedAreCountedAsNotSearched) {
  Write("Docs/a.htm", "Haus");
  std::filesystem::create_symlink("loop2.htm", drive.Posix("Docs/loop1.htm"));
  std::filesystem::create_symlink("loop1.htm", drive.Posix("Docs/loop2.htm"));
  std::vector<std::string> listed = {"T:\\Docs\\a.htm", "T:\\Docs\\loop1.htm", "T:\\Docs\\fehlt.htm"};
  int expected = 1;
  if (::geteuid() != 0) {  // root may read anything: permission bits refuse only others
    Write("Docs/locked.htm", "Haus");
    std::filesystem::permissions(drive.Posix("Docs/locked.htm"), std::filesystem::perms::none);
    listed.push_back("T:\\Docs\\locked.htm");
    ++expected;
  }
  Describe(listed);
  const std::u16string end = u"In 1 Dateien gefunden. " + textlib::NumberText(expected) +
                            (expected == 1 ? u" Datei konnte nicht gelesen werden und wurde nicht durchsucht."
                                           : u" Dateien konnten nicht gelesen werden und wurden nicht durchsucht.");
  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_EQ(run.EndCaption, end);
  // The same count whether the files are checked ahead on workers or not.
  for (const int threads : {1, 4}) {
    app::ResultPageState pages;
    app::TResultPageWriter pageWriter(pages, host);
    pageWriter.BaseFolder = files.baseFolder;
    pageWriter.CurrentDbName = files.dbName;
    textlib::TWideStringList hits;
    search::TDirectSearch direct(session, pageWriter, pages, hits);
    direct.Threads = threads;
    direct.Run(files, u"Haus");
    EXPECT_EQ(direct.FilesNotSearched(), expected) << threads;
    EXPECT_EQ(direct.FilesSearched(), 1) << threads;
  }
  EXPECT_TRUE(sink->Boxes().empty());
}

TEST_F(DirectSearchRun, AnsiFilesAreSearchedWithTheTextsCp1252Bytes) {
  Write("Docs/ansi.htm", "Caf\xE9 \x80 5 und ?" "?\r\n");
  Write("Docs/utf8.htm", "Caf\xC3\xA9 \xE2\x82\xAC 5\r\n");
  Describe({"T:\\Docs\\ansi.htm", "T:\\Docs\\utf8.htm"});
  struct Row {
    std::u16string text;
    std::vector<std::string> files;
  } rows[] = {
      {u"Café", {"T:\\Docs\\ansi.htm", "T:\\Docs\\utf8.htm"}},
      {u"CAFÉ", {"T:\\Docs\\ansi.htm", "T:\\Docs\\utf8.htm"}},
      {u"€ 5", {"T:\\Docs\\ansi.htm", "T:\\Docs\\utf8.htm"}},
      // Not in cp1252: the ANSI file cannot hold it and is never searched for question marks.
      {u"\u4E2D\u6587", {}},
      {u"?" u"?", {"T:\\Docs\\ansi.htm"}},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(run.Run(files, row.text));
    std::vector<std::string> found;
    for (const auto& [path, snippet] : Entries()) found.push_back(path);
    EXPECT_EQ(found, row.files) << platform::WideToPosixUtf8(row.text);
  }
}

// Whole words end at quotes and dashes in every encoding, with case and without; a letter
// of any script glues to the word.
TEST_F(DirectSearchRun, WholeWordsBesideQuotesAndDashesInEveryEncoding) {
  const std::u16string word = u"\u201EBahn\u201C, Bahn\u2013Strecke, \u00BBBahn\u00AB", glued = u"\u00DCBahn Bahn\u00DF \u0416Bahn";
  Write("Docs/utf8.htm", textlib::EncodeUtf8(word));
  Write("Docs/ansi.htm", platform::WideToAnsi(word));
  Write("Docs/le.htm", "\xFF\xFE" + Le16(word));
  Write("Docs/utf8x.htm", textlib::EncodeUtf8(glued));
  Write("Docs/lex.htm", "\xFF\xFE" + Le16(glued));
  Describe({"T:\\Docs\\utf8.htm", "T:\\Docs\\ansi.htm", "T:\\Docs\\le.htm", "T:\\Docs\\utf8x.htm",
            "T:\\Docs\\lex.htm"});
  session.nurGanzeWoerter = true;
  for (const bool caseSensitive : {false, true}) {
    session.grossKleinBeachten = caseSensitive;
    ASSERT_TRUE(run.Run(files, u"Bahn"));
    std::vector<std::string> found;
    for (const auto& [path, snippet] : Entries()) found.push_back(path);
    EXPECT_EQ(found, (std::vector<std::string>{"T:\\Docs\\ansi.htm", "T:\\Docs\\le.htm", "T:\\Docs\\utf8.htm"}))
        << caseSensitive;
  }
}

// A file too large to be kept whole goes through the stream search: the same entries as
// for the small files.
TEST_F(DirectSearchRun, LargeFilesAreStreamed) {
  const std::string filler(1200000, '.');
  Write("Docs/big8.htm", filler + "\r\nGr\xC3\xBC\xC3\x9F" "e vom HAUS\r\n");
  // The guess looks at the first 200,000 bytes only: the umlaut that makes it ANSI comes first.
  Write("Docs/bigansi.htm", "\xC4" + filler + "\r\nEin Haus f\xFCr Caf\xE9\r\n");
  std::u16string wideFiller(600000, u'.');
  Write("Docs/big16.htm", "\xFE\xFF" + Be16(wideFiller + u"\r\nDas Haus \u20AC\r\n"));
  Describe({"T:\\Docs\\big8.htm", "T:\\Docs\\bigansi.htm", "T:\\Docs\\big16.htm"});
  for (const bool caseSensitive : {false, true}) {
    session.grossKleinBeachten = caseSensitive;
    ASSERT_TRUE(run.Run(files, u"Haus"));
    std::map<std::string, std::string> expected = {
        {"T:\\Docs\\bigansi.htm", "Ein Haus f\xC3\xBCr Caf\xC3\xA9<br>"},
        {"T:\\Docs\\big16.htm", "Das Haus \xE2\x82\xAC<br>"},
    };
    if (!caseSensitive) expected["T:\\Docs\\big8.htm"] = "Gr\xC3\xBC\xC3\x9F" "e vom HAUS<br>";
    EXPECT_EQ(Entries(), expected);
  }
}

TEST_F(DirectSearchRun, PagingByNumberOfHits) {
  struct Row {
    int hits;
    size_t pages;
  } rows[] = {{10, 1}, {25, 1}, {30, 2}, {50, 2}, {51, 3}, {75, 3}};
  for (const Row& row : rows) {
    std::vector<std::string> paths;
    for (int i = 0; i < row.hits + 3; ++i) {
      const std::string name = "Docs/n" + std::to_string(row.hits) + "_" + std::to_string(i) + ".htm";
      // Every fourth file holds no hit (the hits are the first row.hits of the others).
      Write(name, i < row.hits + 3 && i % 4 == 3 && i / 4 < 3 ? "nichts" : "ein Haus");
      std::string drivePath = "T:\\" + name;
      std::replace(drivePath.begin(), drivePath.end(), '/', '\\');
      paths.push_back(drivePath);
    }
    Describe(paths);
    const size_t before = writer.WrittenFiles().size();
    ASSERT_TRUE(run.Run(files, u"Haus"));
    ASSERT_EQ(run.HitCount(), row.hits);
    const std::vector<std::u16string> written(writer.WrittenFiles().begin() + static_cast<long>(before),
                                              writer.WrittenFiles().end());
    EXPECT_EQ(written.size(), row.pages) << row.hits;
    // Every entry appears on exactly one page, and nothing else does.
    std::string pages;
    for (const auto& page : written) pages += drive.ReadFile(platform::PosixPath(page).substr(drive.Root().size() + 1));
    const std::string prefix = "n" + std::to_string(row.hits) + "_";
    size_t links = 0;
    for (size_t at = pages.find(">T:\\Docs\\" + prefix); at != std::string::npos;
         at = pages.find(">T:\\Docs\\" + prefix, at + 1))
      ++links;
    for (const auto& [path, snippet] : Entries()) {
      const std::string needle = path.substr(path.rfind('\\') + 1) + "<";
      size_t n = 0;
      for (size_t at = pages.find(needle); at != std::string::npos; at = pages.find(needle, at + 1)) ++n;
      EXPECT_EQ(n, 1u) << needle;
    }
    EXPECT_EQ(links, static_cast<size_t>(row.hits));
  }
}

// Workers check the files ahead, the calling thread takes their outcomes in list order:
// the entries, captions, counts and every page are those of the run on one thread, for
// every kind of file (large ones and unreadable ones go back to the calling thread).
TEST_F(DirectSearchRun, ThreadsChangeNoPage) {
  std::vector<std::string> paths;
  auto add = [&](const std::string& name, const std::string& bytes) {
    Write("Docs/" + name, bytes);
    paths.push_back("T:\\Docs\\" + name);
  };
  for (int i = 0; i < 130; ++i) {
    const std::string n = std::to_string(i);
    switch (i % 7) {
      case 0: add("u" + n + ".htm", "Gr\xC3\xBCn " + n + " ein Haus<b>\r\nzweite Zeile\r\n"); break;
      case 1: add("a" + n + ".htm", "Caf\xE9 " + n + " HAUS\r\n"); break;
      case 2: add("l" + n + ".htm", "\xFF\xFE" + Le16(u"Zeile \u20AC\r\nim Haus " + std::u16string(n.begin(), n.end()))); break;
      case 3: add("b" + n + ".htm", "\xFE\xFF" + Be16(u"haus am Berg\r\n")); break;
      case 4: add("n" + n + ".htm", "nichts " + n); break;
      case 5: paths.push_back("T:\\Docs\\fehlt" + n + ".htm"); break;
      default: paths.push_back(""); paths.push_back("T:\\Docs\\aus\\x" + n + ".htm"); break;
    }
  }
  // The same file twice in a row: the page drops the second entry.
  paths.push_back(paths[0]);
  paths.push_back(paths[0]);
  add("gross.htm", std::string(1200000, '.') + "\r\nein grosses Haus\r\n");
  add("gross16.htm", "\xFE\xFF" + Be16(std::u16string(600000, u'.') + u"\r\nHaus\r\n"));
  ASSERT_EQ(mkfifo(drive.Posix("Docs/fifo.htm").c_str(), 0600), 0);
  paths.push_back("T:\\Docs\\fifo.htm");
  add("letzte.htm", "das letzte Haus");
  Write("base/AusnahmeIndizierung.txt", "\\aus\\\r\n");
  Describe(paths);

  struct Outcome {
    std::vector<std::string> entries, pages;
    std::vector<std::u16string> captions;
    int64_t searched = 0;
  };
  auto runWith = [&](int threads) {
    Outcome out;
    app::ResultPageState pages;
    app::TResultPageWriter pageWriter(pages, host);
    pageWriter.BaseFolder = files.baseFolder;
    pageWriter.CurrentDbName = files.dbName;
    textlib::TWideStringList hits;
    search::TDirectSearch direct(session, pageWriter, pages, hits);
    direct.Threads = threads;
    direct.SetCaption = [&](const std::u16string& c) { out.captions.push_back(c); };
    direct.Run(files, u"Haus");
    for (int i = 0; i < hits.Count(); ++i) out.entries.push_back(platform::WideToAnsi(hits[i]));
    for (const auto& page : pageWriter.WrittenFiles())
      out.pages.push_back(drive.ReadFile(platform::PosixPath(page).substr(drive.Root().size() + 1)));
    out.searched = direct.FilesSearched();
    return out;
  };
  const Outcome one = runWith(1);
  // 79 files hold the text, the first one listed three times (the page drops the repeat
  // next to another); 18 more are searched in vain.
  ASSERT_EQ(one.entries.size(), 81u);
  ASSERT_EQ(one.pages.size(), 4u);
  EXPECT_NE(one.pages[3].find("ein grosses "), std::string::npos);
  EXPECT_EQ(one.searched, 99);
  for (const int threads : {2, 4, 0}) {
    const Outcome many = runWith(threads);
    EXPECT_EQ(many.entries, one.entries) << threads;
    EXPECT_EQ(many.pages, one.pages) << threads;
    EXPECT_EQ(many.captions, one.captions) << threads;
    EXPECT_EQ(many.searched, one.searched) << threads;
  }
}

TEST_F(DirectSearchRun, CancelWhileMessagesAreProcessed) {
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i) {
    Write("Docs/c" + std::to_string(i) + ".htm", "ein Haus");
    paths.push_back("T:\\Docs\\c" + std::to_string(i) + ".htm");
  }
  Describe(paths);
  // The cancel button is served while the loop processes messages before a file; the
  // loop stops before the next one.
  platform::SetPumpHook([this] { run.RequestCancel(); });
  ASSERT_TRUE(run.Run(files, u"Haus"));
  platform::SetPumpHook(nullptr);
  EXPECT_EQ(run.HitCount(), 1);
  EXPECT_EQ(writer.WrittenFiles().size(), 1u);
  EXPECT_FALSE(run.Flags().NoHits);
  // The request is used up: the next run searches every file.
  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_EQ(run.HitCount(), 8);
}

TEST_F(DirectSearchRun, MissingDescriptionWritesTheEmptyFirstPage) {
  Write("base/Datenbank/anders.dat", "PFAD_UND_ENDUNGEN= T:\\Docs *.htm\r\n");
  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_TRUE(run.Flags().NoHits);
  EXPECT_EQ(writer.WrittenFiles().size(), 1u);
}

// A path-list build writes only the description and removes an earlier store; the search
// in another process then finds the files' text as it is now, and a database with
// documents is still searched in its store.
TEST_F(DirectSearchRun, PathListModeIsRecognisedInALaterProcess) {
  Write("Docs/a.htm", "<p>Ein Haus</p>");
  Write("Docs/b.mht", "MIME-Version: 1.0\r\n\r\nHaus");
  Write("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\Docs\\\r\n\" a.htm\r\n\" b.mht\r\n");
  app::IndexStatus quiet;
  // "voll" with documents; "pfade" first with them too, then as a path list.
  for (const auto* name : {u"voll", u"pfade"}) {
    app::IndexSettings s = BuildSettings(name, false);
    s.slots = {u".htm", u"", u"", u"", u""};
    app::IndexRun build(s, quiet);
    ASSERT_EQ(build.LiesDieListeEin(), app::BuildOutcome::Done);
  }
  ASSERT_TRUE(std::filesystem::exists(drive.Posix("base/Datenbank/pfade_UTF8Dokument.txt")));

  std::filesystem::remove(drive.Posix("base/Datenbank/Temp/pfade_mht.dat"));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    app::IndexStatus status;
    app::IndexRun build(BuildSettings(u"pfade", true), status);
    // The archive slot would start the extractor, which does not exist here.
    _exit(build.LiesDieListeEin() == app::BuildOutcome::Done ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  for (const char* gone : {"pfade_UTF8Dokument.txt", "pfade_MHTtext.txt", "pfade_mht.dat",
                           "pfade_Utf8_TitelPositionen.txt", "Temp/pfade_mht.dat"})
    EXPECT_FALSE(std::filesystem::exists(drive.Posix(std::string("base/Datenbank/") + gone))) << gone;
  EXPECT_EQ(drive.ReadFile("base/Datenbank/pfade.dat"),
            "PFAD_UND_ENDUNGEN= T:\\Docs *.htm *.mht   \r\nT:\\Docs\\a.htm\r\n");

  // The file changed after the builds: only the direct search sees it.
  Write("Docs/a.htm", "<p>Ein neues Haus</p>");
  ASSERT_TRUE(run.Run(files, u"neues"));
  EXPECT_TRUE(run.SearchedDirectly());
  EXPECT_EQ(run.HitCount(), 1);
  files.dbName = u"voll";
  search::Button4Click(session, files);
  ASSERT_TRUE(run.Run(files, u"neues"));
  EXPECT_FALSE(run.SearchedDirectly());
  EXPECT_EQ(run.HitCount(), 0);
  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_EQ(run.HitCount(), 1);
}

}  // namespace
