#include "search/engine/database_search.h"

#include "app/index/database_set.h"
#include "app/index/index_run.h"
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <random>

#include "tests/search/search_fixtures.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

using searchtest::Doc;

class NoBrowser : public app::ResultPageHost {
 public:
  void ProcessMessages() override {}
  void OpenInBrowser(const std::u16string& f) override { opened.push_back(f); }
  std::vector<std::u16string> opened;
};

class DatabaseSearch : public ::testing::Test {
 protected:
  DatabaseSearch() : writer(state, host), run(session, writer, state) {
    files.baseFolder = drive.Drive();
    files.dbName = u"db";
    writer.BaseFolder = files.baseFolder;
    writer.CurrentDbName = u"db";
    platform::MakeDirectory(drive.Posix("Datenbank"));
    platform::MakeDirectory(drive.Posix("Datenbank/Temp"));
    platform::MakeDirectory(drive.Posix("Docs"));
    drive.WriteFile("Datenbank/db.dat", "PFAD_UND_ENDUNGEN= T:\\Docs\\ *.htm    \r\n");
  }
  // Documents that exist on the drive, a store of them and its title positions.
  void Utf8Database(const std::vector<Doc>& docs) {
    for (const auto& d : docs) {
      std::string relative = platform::WideToPosixUtf8(d.path.substr(3));
      for (char& c : relative)
        if (c == '\\') c = '/';
      drive.WriteFile(relative, "x");
    }
    drive.WriteFile("Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store(docs));
    search::Button4Click(session, files);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < run.HitList.Count(); ++i) out.push_back(platform::WideToAnsi(run.HitList[i]));
    return out;
  }
  static std::vector<Doc> Numbered(int count, int withTerm) {
    std::vector<Doc> docs;
    for (int i = 0; i < count; ++i) {
      std::string n = std::to_string(i);
      docs.push_back({u"T:\\Docs\\d" + std::u16string(n.begin(), n.end()) + u".htm",
                      i < withTerm ? u"Ein Haus und noch ein Haus." : u"Nichts."});
    }
    return docs;
  }

  testsupport::TempDrive drive;
  search::DatabaseFiles files;
  search::SearchSession session;
  app::ResultPageState state;
  NoBrowser host;
  app::TResultPageWriter writer;
  search::TDatabaseSearch run;
};

TEST_F(DatabaseSearch, OneEntryPerDocumentWithPathAndSnippet) {
  Utf8Database({{u"T:\\Docs\\a.htm", u"Haus Haus\r\nnoch ein Haus"},
                {u"T:\\Docs\\b.htm", u"nichts"},
                {u"T:\\Docs\\Bäume.htm", u"Das grüne Haus."}});
  for (int blockSize : {65536, 16}) {
    run.BlockSize = blockSize;
    ASSERT_TRUE(run.Run(files, u"Haus"));
    EXPECT_EQ(Entries(), (std::vector<std::string>{
                             // Short lines take the line two characters past their length from the
                             // hit, which here is the next record's opening blank.
                             "T:\\Docs\\a.htm##text##Haus Haus noch ein Haus   <br>",
                             // Past the end of the store nothing is appended.
                             "T:\\Docs\\B\xC3\xA4ume.htm##text##Das gr\xC3\xBCne Haus.<br>"}))
        << blockSize;
  }
  EXPECT_FALSE(run.Flags().NoHits);
}

TEST_F(DatabaseSearch, WholeWordsAndCase) {
  Utf8Database({{u"T:\\Docs\\a.htm", u"Hausbau"}, {u"T:\\Docs\\b.htm", u"das haus_x, das HAUS."}});
  session.nurGanzeWoerter = true;
  run.Run(files, u"haus");
  ASSERT_EQ(run.HitList.Count(), 1);
  EXPECT_TRUE(Entries()[0].starts_with("T:\\Docs\\b.htm##text##"));
  session.nurGanzeWoerter = false;
  session.grossKleinBeachten = true;
  run.Run(files, u"HAUS");
  ASSERT_EQ(run.HitList.Count(), 1);
}

TEST_F(DatabaseSearch, IgnoringCaseFoldsEveryLanguageInBothStores) {
  const std::vector<Doc> docs = {{u"T:\\Docs\\de.htm", u"Das Öl und der Ölpreis, viel Ärger"},
                                 {u"T:\\Docs\\ru.htm", u"Привет, мир"},
                                 {u"T:\\Docs\\el.htm", u"Αθήνα ist groß"}};
  Utf8Database(docs);
  std::vector<Doc> archives;
  for (const auto& d : docs) {
    archives.push_back({d.path.substr(0, d.path.size() - 3) + u"mht", d.text});
    drive.WriteFile("Docs/" + platform::WideToPosixUtf8(archives.back().path.substr(8)), "x");
  }
  drive.WriteFile("Datenbank/db_MHTtext.txt", searchtest::MhtStore(archives));
  search::Button4Click(session, files);
  const struct {
    std::u16string text;
    bool caseSensitive, words;
    size_t hitsPerStore;
  } rows[] = {
      {u"öl", false, false, 1},      {u"ölpreis", false, false, 1}, {u"ärger", false, false, 1},
      {u"привет", false, false, 1},  {u"αθήνα", false, false, 1},   {u"ÖL", false, true, 1},
      {u"öl", true, false, 0},       {u"GROSS", false, false, 0},   {u"GROß", false, false, 1},
      {u"ölp", false, true, 0},
  };
  for (const auto& r : rows) {
    session.grossKleinBeachten = r.caseSensitive;
    session.nurGanzeWoerter = r.words;
    run.Run(files, r.text);
    EXPECT_EQ(static_cast<size_t>(run.HitCount()), 2 * r.hitsPerStore)
        << platform::WideToPosixUtf8(r.text) << " case " << r.caseSensitive << " words " << r.words;
  }
}

TEST_F(DatabaseSearch, SkippingByTitlePositionsFindsWhatTheAlternationFinds) {
  std::mt19937 rng(3);
  const std::u16string words[] = {u"Haus", u"haus", u"HAUS", u"Hausbau", u"Maus", u"#T:\\x", u"über", u"Über", u" ",
                                  u"\r\n", u"hä", u"\U0001F52C"};
  for (int round = 0; round < 60; ++round) {
    std::vector<Doc> docs;
    for (int d = 0, n = 1 + int(rng() % 12); d < n; ++d) {
      std::u16string text;
      for (int w = 0, m = int(rng() % 30); w < m; ++w) text += words[rng() % std::size(words)] + u" ";
      docs.push_back({u"T:\\Docs\\d" + std::u16string(1, static_cast<char16_t>(u'a' + d)) + u".htm", text});
    }
    const bool mht = round % 2;
    if (mht) {
      for (auto& d : docs) d.path.replace(d.path.size() - 3, 3, u"mht");
      for (const auto& d : docs) drive.WriteFile("Docs/" + platform::WideToPosixUtf8(d.path.substr(8)), "x");
      drive.WriteFile("Datenbank/db_MHTtext.txt", searchtest::MhtStore(docs));
      platform::RemoveFile(drive.Posix("Datenbank/db_UTF8Dokument.txt"));
    } else {
      platform::RemoveFile(drive.Posix("Datenbank/db_MHTtext.txt"));
      Utf8Database(docs);
    }
    search::Button4Click(session, files);
    for (const std::u16string term : {u"haus", u"über", u"hä"}) {
      session.grossKleinBeachten = rng() % 2;
      session.nurGanzeWoerter = rng() % 2;
      run.BlockSize = std::array<int64_t, 3>{16, 64, 65536}[rng() % 3];
      run.SkipByTitlePositions = false;
      run.Run(files, term);
      const std::vector<std::string> plain = Entries();
      run.SkipByTitlePositions = true;
      run.Run(files, term);
      ASSERT_EQ(Entries(), plain) << "round " << round;
    }
  }
}

TEST_F(DatabaseSearch, SnippetsNeverShowARecordsPathOrSeparatorLine) {
  Utf8Database({{u"T:\\Docs\\iterators.htm", u"Processing a Series of Items"},
                {u"T:\\Docs\\kurz.htm", u"Einleitung\r\nHaus"},
                {u"T:\\Docs\\lang.htm", u"Ein langer Text ohne das Wort, der weiter geht und geht"}});
  for (const std::u16string term : {u"iterators", u"Haus", u"Docs"}) {
    run.Run(files, term);
    ASSERT_FALSE(Entries().empty());
    for (const std::string& entry : Entries()) {
      const std::string snippet = entry.substr(entry.find("##text##") + 8);
      EXPECT_EQ(snippet.find("#T:"), std::string::npos) << entry;
      EXPECT_EQ(snippet.find("=="), std::string::npos) << entry;
    }
  }
  run.Run(files, u"iterators");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"T:\\Docs\\iterators.htm##text##Processing a Series of Items<br>"}));
}

TEST_F(DatabaseSearch, TitlePositionsOfAnotherStoreAreMadeAnew) {
  Utf8Database({{u"T:\\Docs\\a.htm", u"eins"}, {u"T:\\Docs\\b.htm", u"zwei Haus"}});
  // A store of other documents under the old title positions (a build killed between
  // the two, a store copied in by hand).
  drive.WriteFile("Docs/ccccccccccccccc.htm", "x");
  drive.WriteFile("Datenbank/db_UTF8Dokument.txt",
                  searchtest::Utf8Store({{u"T:\\Docs\\ccccccccccccccc.htm", u"ein langer Text und ein Haus"},
                                         {u"T:\\Docs\\a.htm", u"eins"}}));
  run.Run(files, u"Haus");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"T:\\Docs\\ccccccccccccccc.htm##text##ein langer Text und ein Haus<br>"}));
}

// An update that appended documents, killed before its title positions were replaced:
// every old position still points at a record, and only the stamp tells the store grew.
TEST_F(DatabaseSearch, TitlePositionsOfAStoreThatGrewAreMadeAnew) {
  std::vector<Doc> docs = Numbered(30, 0);
  Utf8Database(docs);
  for (int i = 0; i < 10; ++i) {
    const std::string n = std::to_string(i);
    docs.push_back({u"T:\\Docs\\neu" + std::u16string(n.begin(), n.end()) + u".htm", u"Ein neues Haus."});
    drive.WriteFile("Docs/neu" + n + ".htm", "x");
  }
  const std::string old = drive.ReadFile("Datenbank/db_Utf8_TitelPositionen.txt");
  drive.WriteFile("Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store(docs));
  ASSERT_TRUE(run.Run(files, u"Haus"));
  std::vector<std::string> expected;
  for (int i = 0; i < 10; ++i)
    expected.push_back("T:\\Docs\\neu" + std::to_string(i) + ".htm##text##Ein neues Haus.<br>");
  EXPECT_EQ(Entries(), expected);
  EXPECT_NE(drive.ReadFile("Datenbank/db_Utf8_TitelPositionen.txt"), old);
  // Positions that fit keep their file as it is.
  const std::string made = drive.ReadFile("Datenbank/db_Utf8_TitelPositionen.txt");
  ASSERT_TRUE(run.Run(files, u"Haus"));
  EXPECT_EQ(drive.ReadFile("Datenbank/db_Utf8_TitelPositionen.txt"), made);
  EXPECT_EQ(Entries(), expected);
}

TEST_F(DatabaseSearch, NoSearchWhileABuildReplacesTheStores) {
  Utf8Database({{u"T:\\Docs\\a.htm", u"Haus"}});
  testsupport::ScopedRecordingSink sink;
  {
    const auto build = app::LockDatabase(drive.Drive(u"Datenbank\\"), u"db", platform::FileLock::Kind::Exclusive);
    ASSERT_TRUE(build);
    EXPECT_FALSE(run.Run(files, u"Haus"));
    ASSERT_EQ(sink->Boxes().size(), 1u);
    EXPECT_NE(sink->Boxes()[0].text.find(u"wird gerade erstellt"), std::u16string::npos);
  }
  EXPECT_TRUE(run.Run(files, u"Haus"));
  EXPECT_EQ(run.HitCount(), 1);
}

TEST_F(DatabaseSearch, PagesThatCannotBeWrittenAreNoResult) {
  Utf8Database(Numbered(30, 30));
  testsupport::ScopedRecordingSink sink;
  {
    platform::FaultPlan plan;
    plan.rules.push_back({platform::FaultOp::Write, 1, ENOSPC, true});
    platform::ScopedFaults full(plan);
    EXPECT_FALSE(run.Run(files, u"Haus"));
  }
  EXPECT_TRUE(host.opened.empty());  // no browser for a page that is not there
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_NE(sink->Boxes()[0].text.find(u"QY_Ergebnis.htm kann nicht geschrieben werden: Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."),
            std::u16string::npos);
  EXPECT_TRUE(run.Run(files, u"Haus"));  // the disk has room again
  EXPECT_EQ(host.opened.size(), 1u);
}

TEST_F(DatabaseSearch, ALaterRunKeepsNothingOfTheRunBefore) {
  Utf8Database(Numbered(61, 60));
  run.Run(files, u"Haus");
  ASSERT_TRUE(std::filesystem::exists(drive.Posix("Datenbank/Temp/QY_Ergebnis3.htm")));
  drive.WriteFile("Datenbank/Temp/andere.txt", "x");
  Utf8Database(Numbered(10, 10));
  run.Run(files, u"Haus");
  for (const char* gone : {"Datenbank/Temp/QY_Ergebnis2.htm", "Datenbank/Temp/QY_Ergebnis3.htm",
                           "Datenbank/Temp/andere.txt"}) {
    EXPECT_FALSE(std::filesystem::exists(drive.Posix(gone))) << gone;
  }
  EXPECT_NE(drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm").find("> wurde in 10 Dateien gefunden."),
            std::string::npos);
}

TEST_F(DatabaseSearch, SixtyHitsMakeThreePages) {
  Utf8Database(Numbered(61, 60));
  run.Run(files, u"Haus");
  ASSERT_EQ(run.HitCount(), 60);
  EXPECT_LE(run.HitList.Count(), 25);  // the pages hold the rest
  ASSERT_EQ(writer.WrittenFiles().size(), 3u);
  const std::string p1 = drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm");
  const std::string p2 = drive.ReadFile("Datenbank/Temp/QY_Ergebnis2.htm");
  const std::string p3 = drive.ReadFile("Datenbank/Temp/QY_Ergebnis3.htm");
  auto count = [](const std::string& page) {
    size_t n = 0;
    for (size_t at = page.find(">in: <a"); at != std::string::npos; at = page.find(">in: <a", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(p1), 25u);
  EXPECT_EQ(count(p2), 25u);
  EXPECT_EQ(count(p3), 10u);
  EXPECT_NE(p1.find("bisher in 25 Dateien"), std::string::npos);
  EXPECT_NE(p2.find("QY_Ergebnis3.htm"), std::string::npos);
  EXPECT_NE(p3.find("> wurde in 60 Dateien gefunden."), std::string::npos);
  EXPECT_EQ(p3.find("Zur nächsten"), std::string::npos);
  EXPECT_EQ(host.opened.size(), 1u);
}

TEST_F(DatabaseSearch, FiftyHitsEndWithoutALinkToAThirdPage) {
  Utf8Database(Numbered(50, 50));
  run.Run(files, u"Haus");
  ASSERT_EQ(writer.WrittenFiles().size(), 2u);
  const std::string p2 = drive.ReadFile("Datenbank/Temp/QY_Ergebnis2.htm");
  EXPECT_EQ(p2.find("QY_Ergebnis3"), std::string::npos);
  EXPECT_NE(p2.find("> wurde in 50 Dateien gefunden."), std::string::npos);
}

TEST_F(DatabaseSearch, TwentyFiveHitsMakeOnePageWithoutALink) {
  Utf8Database(Numbered(26, 25));
  run.Run(files, u"Haus");
  ASSERT_EQ(writer.WrittenFiles().size(), 1u);
  const std::string p1 = drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm");
  EXPECT_EQ(p1.find("QY_Ergebnis2"), std::string::npos);
  EXPECT_NE(p1.find("> wurde in 25 Dateien gefunden."), std::string::npos);
}

TEST_F(DatabaseSearch, NoHitWritesOneEmptyPageAndOneCharacterIsRefused) {
  Utf8Database(Numbered(3, 0));
  drive.WriteFile("Datenbank/Temp/old.htm", "stale");
  run.Run(files, u"Haus");
  EXPECT_TRUE(run.Flags().NoHits);
  EXPECT_NE(drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm").find("wurde NICHT gefunden"), std::string::npos);
  EXPECT_FALSE(platform::Stat(drive.Posix("Datenbank/Temp/old.htm")).has_value());

  // A run without hits after one with hits lists none of the earlier hits.
  Utf8Database(Numbered(3, 3));
  run.Run(files, u"Haus");
  run.Run(files, u"Garten");
  const std::string empty = drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm");
  EXPECT_NE(empty.find("wurde NICHT gefunden"), std::string::npos);
  EXPECT_EQ(empty.find(">in: <a"), std::string::npos);

  testsupport::ScopedRecordingSink sink;
  EXPECT_FALSE(run.Run(files, u" H "));
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].text, u"Nur ein Zeichen als Suchtext ist bei der \"Suche\" nicht erlaubt");
}

TEST_F(DatabaseSearch, MhtStoreEntriesAreUtf8) {
  drive.WriteFile("Docs/x.mht", "x");
  drive.WriteFile("Datenbank/db_MHTtext.txt", searchtest::MhtStore({{u"T:\\Docs\\x.mht", u"Größe des Hauses"},
                                                                   {u"T:\\Docs\\y.mht", u"hauses"}}));
  search::Button4Click(session, files);
  run.Run(files, u"hauses");
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           // A short snippet is not filled up from the next document.
                           "T:\\Docs\\x.mht##text##Gr\xC3\xB6\xC3\x9F" "e des Hauses<br>",
                           // ... nor from past the store's end.
                           "Existiert nicht! T:\\Docs\\y.mht##text##hauses<br>"}));
}

TEST_F(DatabaseSearch, DamagedStoresGiveSoundEntries) {
  struct Row {
    const char* what;
    std::string tail;  // appended to a sound record of T:\Docs\a.htm
    std::vector<std::string> entries;
  } rows[] = {
      {"record cut inside a character", "#T:\\Docs\\b.htm\r\n===\r\nEin Haus \xC3",
       {"T:\\Docs\\a.htm##text##Das Haus<br>", "T:\\Docs\\b.htm##text##Ein Haus <br>"}},
      {"record without text", "#T:\\Docs\\b.htm", {"T:\\Docs\\a.htm##text##Das Haus<br>"}},
      {"store ends in the hit", "#T:\\Docs\\b.htm\r\nHaus",
       {"T:\\Docs\\a.htm##text##Das Haus<br>", "T:\\Docs\\b.htm##text##Haus<br>"}},
  };
  drive.WriteFile("Docs/a.htm", "x");
  drive.WriteFile("Docs/b.htm", "x");
  for (const auto& row : rows) {
    drive.WriteFile("Datenbank/db_UTF8Dokument.txt", "#T:\\Docs\\a.htm\r\nDas Haus\r\n \r\n" + row.tail);
    search::Button4Click(session, files);
    run.Run(files, u"Haus");
    EXPECT_EQ(Entries(), row.entries) << row.what;
  }
}

TEST_F(DatabaseSearch, MhtStoreCutInsideACharacter) {
  drive.WriteFile("Docs/x.mht", "x");
  // The last UTF-16 unit lost its second byte.
  drive.WriteFile("Datenbank/db_MHTtext.txt", searchtest::MhtStore({{u"T:\\Docs\\x.mht", u"das Haus"}}) +
                                                  searchtest::Utf16LE(u"#T:\\Docs\\x.mht\r\nHaus") + "x");
  search::Button4Click(session, files);
  run.Run(files, u"haus");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"T:\\Docs\\x.mht##text##das Haus<br>",
                                                 "T:\\Docs\\x.mht##text##Haus<br>"}));
}

TEST_F(DatabaseSearch, PathsAreRelocatedOrMarked) {
  testsupport::TempDrive other('E');
  other.WriteFile("moved.htm", "x");
  platform::MakeDirectory(drive.Posix("Datenbank/sub"));
  drive.WriteFile("Datenbank/sub/f.htm", "x");
  run.RelocationLetter = u"E";
  EXPECT_EQ(run.CheckPath("D:\\moved.htm"), "E:\\moved.htm");
  files.baseFolder = drive.Drive();
  run.Run(files, u"nothing");  // sets the files of the run
  run.RelocationLetter = u"Q";
  EXPECT_EQ(run.CheckPath("D:\\Datenbank\\sub\\f.htm"), "T:\\Datenbank\\sub\\f.htm");
  EXPECT_EQ(run.CheckPath("D:\\gone.htm"), "Existiert nicht! Q:\\gone.htm");
  EXPECT_EQ(search::LaufwerkSuchen(u"D:\\moved.htm"), u"E");
  EXPECT_EQ(search::LaufwerkSuchen(u"D:\\absent.htm"), u"");
  EXPECT_EQ(search::LiesWurzelPfad(files.Description()), u" T:\\Docs\\ *.htm    ");
}

TEST(Snippet, Rules) {
  const std::string line3000 = std::string(500, 'a') + "Haus" + std::string(2496, 'b');
  auto none = [](int64_t) { return std::string("NEXT"); };
  const std::string s = search::SnippetUtf8(line3000, "Haus", true, 500, none);
  EXPECT_EQ(s.size(), 350u);
  EXPECT_EQ(s.find("Haus"), 39u);  // 1-based position 40
  EXPECT_EQ(s.back(), 'b');

  // A short line takes the line at the computed offset, twice when still short.
  int64_t asked = -1;
  const std::string shortLine = search::SnippetUtf8("Ein Haus", "haus", false, 1000, [&](int64_t o) {
    asked = asked < 0 ? o : asked;
    return std::string("weiter");
  });
  EXPECT_EQ(shortLine, "Ein Haus weiter weiter");
  EXPECT_EQ(asked, 1000 + 8 + 2);
  // ... but stops at the next document's "#" line.
  int calls = 0;
  const std::string lastInRecord = search::SnippetUtf8("Ein Haus", "haus", false, 1000, [&](int64_t) {
    return std::string(++calls == 1 ? " " : "#C:\\Docs\\b.htm");
  });
  EXPECT_EQ(lastInRecord, "Ein Haus  ");
  // ... and past the store's end, where the selection would not move.
  calls = 0;
  const std::string lastInStore = search::SnippetUtf8("Ein Haus", "haus", false, 1000, [&](int64_t) {
    return std::string(++calls == 1 ? "weiter" : "");
  });
  EXPECT_EQ(lastInStore, "Ein Haus weiter");

  // UTF-8 cuts never split a character; CR and LF become blanks.
  std::string cutInside = "z";
  for (int i = 0; i < 100; ++i) cutInside += "\xC3\xBC";  // ü
  cutInside += "Haus";
  for (int i = 0; i < 200; ++i) cutInside += "\xC3\xBC";
  const std::string cut = search::SnippetUtf8(cutInside, "Haus", true, 0, none);
  EXPECT_TRUE(platform::PosixUtf8ToWide(cut).has_value()) << cut;
  EXPECT_EQ(cut.substr(0, 2), "\xC3\xBC");
  const std::string lines = search::SnippetUtf8("a\rb\nHaus" + std::string(300, 'c'), "Haus", true, 0, none);
  EXPECT_EQ(lines.substr(0, 8), "a b Haus");

  // UTF-16: a line without the term is dropped first.
  const std::u16string wide =
      search::SnippetUnicode(u"anderes", u"Haus", true, 10, [](int64_t) { return std::u16string(u"Haus da"); });
  EXPECT_EQ(wide, u" Haus da Haus da");
}

TEST(PathListPaging, PagesAndLastPage) {
  struct Row {
    int hits;
    int perFile;  // hits added before each AfterFile
    std::vector<std::pair<int, int>> pages;  // entries on each page, and the count reported
    std::vector<bool> more;
  } rows[] = {
      {10, 10, {{10, 10}}, {false}},
      {30, 1, {{25, 30}, {5, 30}}, {true, false}},
      {25, 1, {{25, 25}}, {false}},
      {50, 1, {{25, 25}, {25, 50}}, {true, false}},
      {75, 1, {{25, 25}, {25, 50}, {25, 75}}, {true, true, false}},
      {60, 60, {{25, 25}, {25, 60}, {10, 60}}, {true, true, false}},
      {0, 1, {{0, 0}}, {false}},
  };
  for (const auto& row : rows) {
    testsupport::TempDrive drive;
    app::ResultPageState state;
    NoBrowser host;
    app::TResultPageWriter writer(state, host);
    writer.BaseFolder = drive.Drive();
    textlib::TWideStringList hits;
    search::PathListPaging paging(hits, writer, state);
    std::vector<std::pair<int, int>> pages;
    std::vector<bool> more;
    for (int i = 0; i < row.hits; ++i) {
      hits.Add(u"T:\\f" + std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(u'a' + i / 26)) +
               u".htm##text##x<br>");
      if ((i + 1) % row.perFile == 0) paging.AfterFile(u"x");
    }
    paging.Finish(u"x");
    const size_t files = writer.WrittenFiles().size();
    EXPECT_EQ(files, row.pages.size()) << row.hits;
    for (size_t p = 0; p < files && p < row.pages.size(); ++p) {
      const std::string name = p == 0 ? "Datenbank/Temp/QY_Ergebnis.htm"
                                      : "Datenbank/Temp/QY_Ergebnis" + std::to_string(p + 1) + ".htm";
      const std::string page = drive.ReadFile(name);
      size_t n = 0;
      for (size_t at = page.find(">in: <a"); at != std::string::npos; at = page.find(">in: <a", at + 1)) ++n;
      EXPECT_EQ(int(n), row.pages[p].first) << row.hits << " page " << p + 1;
      if (row.pages[p].first > 0) {
        EXPECT_NE(page.find(" " + std::to_string(row.pages[p].second) + " Dateien"), std::string::npos)
            << row.hits << " page " << p + 1;
      }
      EXPECT_EQ(page.find("Zur nächsten") != std::string::npos, row.more[p]) << row.hits << " page " << p + 1;
    }
  }
}

}  // namespace

namespace {

class QuietIndexStatus : public app::IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

// The store as the indexer writes it is real UTF-8: characters above U+FFFF are one
// four-byte sequence there, in the search text and in the result page.
TEST_F(DatabaseSearch, StoreRoundTripOfCharactersOutsideTheBasicPlane) {
  drive.WriteFile("Docs/lab.htm", "<meta charset=utf-8><p>Labor \xF0\x9F\x94\xAC links &rarr; rechts &#x1F980;</p>");
  drive.WriteFile("Docs/other.htm", "<p>nichts hier</p>");
  QuietIndexStatus status;
  app::IndexSettings settings;
  settings.baseFolder = drive.Drive();
  settings.dbName = u"db";
  app::IndexRun index(settings, status);
  index.Store().BeginFile(index.DbFile(u"_UTF8Dokument.txt"));
  index.StripHTML(u"T:\\Docs\\other.htm");
  index.StripHTML(u"T:\\Docs\\lab.htm");  // last: its short snippet takes nothing after it
  ASSERT_TRUE(index.FlushDocumentStore());
  const std::string store = drive.ReadFile("Datenbank/db_UTF8Dokument.txt");
  EXPECT_NE(store.find("Labor \xF0\x9F\x94\xAC links \xE2\x86\x92 rechts \xF0\x9F\xA6\x80"), std::string::npos);
  EXPECT_FALSE(platform::PosixUtf8ToWide(store) == std::nullopt) << "the store is well-formed UTF-8";
  search::Button4Click(session, files);

  for (const std::u16string text : {u"\U0001F52C", u"\u2192 rechts", u"\U0001F980"}) {
    ASSERT_TRUE(run.Run(files, text));
    ASSERT_EQ(Entries(), (std::vector<std::string>{"T:\\Docs\\lab.htm##text##Labor \xF0\x9F\x94\xAC links "
                                                   "\xE2\x86\x92 rechts \xF0\x9F\xA6\x80<br>"}));
    const std::string page = drive.ReadFile("Datenbank/Temp/QY_Ergebnis.htm");
    EXPECT_NE(page.find("<b>" + platform::WideToPosixUtf8(text) + "</b>"), std::string::npos) << page;
    EXPECT_TRUE(platform::PosixUtf8ToWide(page).has_value());
  }
}

TEST(Snippet, NeverSplitsACharacter) {
  // Long lines with the hit far in: the cuts land next to multibyte characters.
  for (size_t pad = 0; pad < 8; ++pad) {
    const std::string before = std::string(pad, 'x') + [] {
      std::string s;
      for (int i = 0; i < 120; ++i) s += "\xF0\x9F\x94\xAC\xC3\xA4";
      return s;
    }();
    const std::string line = before + " Haus " + before + before;
    const std::string s = search::SnippetUtf8(line, "Haus", true, 0, [](int64_t) { return std::string(); });
    EXPECT_TRUE(platform::PosixUtf8ToWide(s).has_value()) << pad;
    std::u16string wide = platform::PosixUtf8ToWide(line).value();
    const std::u16string w = search::SnippetUnicode(wide, u"Haus", true, 0, [](int64_t) { return std::u16string(); });
    EXPECT_EQ(platform::WideToPosixUtf8(w).find("\xEF\xBF\xBD"), std::string::npos) << pad;
  }
}

}  // namespace
