#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "app/index/run_and_wait.h"
#include "platform/file.h"
#include "platform/codepage.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

class RecordingStatus : public IndexStatus {
 public:
  void SetCaption(std::u16string_view text) override {
    captions.emplace_back(text);
    if (onCaption) onCaption();
  }
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
  std::vector<std::u16string> captions;
  std::function<void()> onCaption;
};

std::string Le16(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

class BuildRun : public ::testing::Test {
 protected:
  void SetUp() override {
    Write("base/Datenbank/Temp/.keep", "");
    Write("docs/.keep", "");  // the folder a build indexes must exist
    Write("run/.keep", "");
    chmod(drive.Posix("run").c_str(), 0700);
    setenv("QUARRY_RUNTIME_DIR", drive.Posix("run").c_str(), 1);
  }
  void TearDown() override { unsetenv("QUARRY_RUNTIME_DIR"); }
  // An extractor that keeps what it was given (its job list, its chunk 0) beside the base
  // folder and finishes with the store text.
  void FakeExtractor(const std::string& db, const std::string& store) {
    const std::string job = drive.Posix("base/Datenbank/Temp/Gleaner/" + db + "/");
    Write("base/Gleaner", "#!/bin/sh\njob='" + job + "'\n" +
                              "cp \"$job/" + db + "_mht.dat\" '" + drive.Posix("seen-list") + "'\n" +
                              "t=\"$job/Temp/" + db + "_UTF8Dokument0.txt\"\n" +
                              "if [ -e \"$t\" ]; then cp \"$t\" '" + drive.Posix("seen-chunk0") + "'; fi\n" +
                              "printf '" + store + "' > \"$job/" + db + "_MHTtext.txt\"\n" +
                              "printf 'Fertig\\r\\n' > \"$job/Temp/" + db + "_Ergebnis.txt\"\n");
    ASSERT_EQ(chmod(drive.Posix("base/Gleaner").c_str(), 0755), 0);
  }

  void Write(const std::string& relative, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(drive.Posix(relative)).parent_path());
    drive.WriteFile(relative, bytes);
  }
  std::string Read(const std::string& relative) { return drive.ReadFile(relative); }
  bool Exists(const std::string& relative) { return std::filesystem::exists(drive.Posix(relative)); }
  void WriteList(const std::string& lines) { Write("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", lines); }

  IndexSettings Settings(std::u16string folder, std::array<std::u16string, 5> slots) {
    IndexSettings s;
    s.baseFolder = u"T:\\base\\";
    s.dbName = u"web";
    s.folder = std::move(folder);
    s.driveLetter = u'T';
    s.slots = std::move(slots);
    return s;
  }

  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  RecordingStatus status;
};

TEST_F(BuildRun, SelectionByFolderSlotsAndExclusions) {
  const std::string list =
      "T:\\docs\\a.htm\r\n\" b.htm\r\nT:\\docs\\sub\\c.htm\r\nT:\\docs2\\d.htm\r\nT:\\docs\\E.HTM\r\n"
      "T:\\docs\\f.html\r\nT:\\docs\\n.txt\r\nT:\\docs\\x.mht\\g.htm\r\n\" h.htm\r\nT:\\docs\\Privat\\i.htm\r\n"
      "\" j.htm\r\nT:\\docs\\k.mht\r\n";
  const struct {
    const char* what;
    std::u16string folder;
    std::array<std::u16string, 5> slots;
    std::string exclusions;
    std::string dat;  // the lines after the header
    int64_t listed;
  } cases[] = {
      {"folder and below, not a longer name", u"T:\\docs", {u".htm"}, "",
       "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\sub\\c.htm\r\nT:\\docs\\E.HTM\r\n"
       "T:\\docs\\Privat\\i.htm\r\nT:\\docs\\Privat\\j.htm\r\n", 7},  // h.htm is listed, then cleaned up
      {"a drive root takes everything", u"T:\\", {u".htm"}, "",
       "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\sub\\c.htm\r\nT:\\docs2\\d.htm\r\nT:\\docs\\E.HTM\r\n"
       "T:\\docs\\Privat\\i.htm\r\nT:\\docs\\Privat\\j.htm\r\n", 8},
      {"final backslash: this folder only", u"T:\\docs\\", {u".htm"}, "",
       "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\E.HTM\r\n", 3},
      {".txt is listed but cleaned up", u"T:\\docs\\", {u".html", u".txt"}, "", "T:\\docs\\f.html\r\n", 2},
      {"a slot twice takes a file twice", u"T:\\docs\\", {u".html", u".", u".html"}, "",
       "T:\\docs\\f.html\r\nT:\\docs\\f.html\r\n", 2},
      {"an excluded name takes only that file", u"T:\\docs", {u".htm"}, "a.htm\r\n",
       "T:\\docs\\b.htm\r\nT:\\docs\\sub\\c.htm\r\nT:\\docs\\E.HTM\r\nT:\\docs\\Privat\\i.htm\r\n"
       "T:\\docs\\Privat\\j.htm\r\n", 6},
      {"an excluded folder takes the files below it, any case", u"T:\\docs", {u".htm"}, "  \\privat\\ \r\n\r\n",
       "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\sub\\c.htm\r\nT:\\docs\\E.HTM\r\n", 5},
      {"exclusions in UTF-16 with their mark", u"T:\\docs", {u".htm"}, Le16(u"SUB\\\r\nE.htm\r\n"),
       "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\Privat\\i.htm\r\nT:\\docs\\Privat\\j.htm\r\n", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteList(list);
    std::filesystem::remove(drive.Posix("base/AusnahmeIndizierung.txt"));
    if (!c.exclusions.empty()) Write("base/AusnahmeIndizierung.txt", c.exclusions);
    IndexRun run(Settings(c.folder, c.slots), status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
    const std::string dat = Read("base/Datenbank/web.dat");
    const size_t header = dat.find("\r\n");
    ASSERT_NE(header, std::string::npos);
    EXPECT_EQ(dat.substr(header + 2), c.dat);
    EXPECT_EQ(run.Counters().listedFiles, c.listed);
  }
}

TEST_F(BuildRun, HostileDriveListLines) {
  // CR-only and LF-only breaks, no final break, zero bytes in a name and in a folder, a
  // continuation before any folder, and lines too short to name a file.
  const char list[] =
      "\" lost.htm\rT:\\docs\\a.htm\r\" b.htm\nT:\\docs\\z\0.htm\r\n\" c.htm\r"
      "T:\\do\0cs\\d.htm\r\" e.htm\r\" \r\"\rT:\\docs\\f.htm";
  WriteList(std::string(list, sizeof list - 1));
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(Read("base/Datenbank/web.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\n"
            "T:\\docs\\a.htm\r\nT:\\docs\\b.htm\r\nT:\\docs\\c.htm\r\nT:\\docs\\f.htm\r\n");
  EXPECT_EQ(run.Counters().listedFiles, 4);
  EXPECT_EQ(run.Counters().storedFiles, 0);  // none of them exists
}

TEST_F(BuildRun, AByteOrderMarkBeforeTheDriveListIsIgnored) {
  Write("docs/a.htm", "<p>eins</p>");
  WriteList("\xEF\xBB\xBFT:\\docs\\a.htm\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(Read("base/Datenbank/web.dat"), "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\nT:\\docs\\a.htm\r\n");
  EXPECT_EQ(run.Counters().storedFiles, 1);
}

TEST_F(BuildRun, NoArchiveSlotTakesNoArchive) {
  Write("docs/a.htm", "<p>eins</p>");
  WriteList("T:\\docs\\a.htm\r\n\" x.mht.txt\r\n\" y.eml\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm", u".txt"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_FALSE(Exists("base/Datenbank/web_mht.dat"));
  EXPECT_FALSE(Exists("base/Datenbank/Temp/web_mht.dat"));
  EXPECT_EQ(run.Counters().listedFiles, 1);
  EXPECT_EQ(run.Counters().storedFiles, 1);
  EXPECT_TRUE(sink->Boxes().empty());
}

TEST_F(BuildRun, DescriptionStoreAndLogByteForByte) {
  Write("docs/a.htm", "<p>Gr\xC3\xBC\xC3\x9F" "e</p>");           // UTF-8 without mark
  Write("docs/sub/b.html", "<html><body><h1>Stra\xDF" "e</h1><p>eins</p><p>zwei</p></body></html>");
  Write("docs/n.txt", "text");
  WriteList("T:\\docs\\a.htm\r\n\" n.txt\r\nT:\\docs\\sub\\b.html\r\nT:\\docs\\gone.htm\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm", u".html", u".txt"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(Read("base/Datenbank/web.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm *.html *.txt  \r\n"
            "T:\\docs\\a.htm\r\nT:\\docs\\sub\\b.html\r\nT:\\docs\\gone.htm\r\n");
  EXPECT_EQ(Read("base/Datenbank/web_UTF8Dokument.txt"),
            " \r\n \r\n#T:\\docs\\a.htm\r\n======\r\n\r\n\r\nGr\xC3\xBC\xC3\x9F" "e\r\n"
            " \r\n \r\n#T:\\docs\\sub\\b.html\r\n=========\r\nStra\xC3\x9F" "e\r\n\r\neins\r\n\r\nzwei\r\n");
  EXPECT_EQ(status.StatusText(), u"Fertig mit der Indizierung.!");
  EXPECT_EQ(status.captions.back(), u"");
  EXPECT_NE(std::find(status.captions.begin(), status.captions.end(), u"2  Datei:  T:\\docs\\sub\\b.html"),
            status.captions.end());
  // No archives among the slots: no archive list, no job list.
  EXPECT_FALSE(Exists("base/Datenbank/web_mht.dat"));
  EXPECT_FALSE(Exists("base/Datenbank/Temp/web_mht.dat"));
  EXPECT_FALSE(Exists("base/Datenbank/web_UTF8Dokument.txt.schreiben"));

  EXPECT_EQ(Read("base/Datenbank/web.log"),
            Le16(u" \r\nDateien insgesamt: 4\r\nKonnten nicht indiziert werden: 2\r\n"
                 u"2 HTML-Dateien wurden indiziert.   Zeit: 0:0:0  Gesamtgröße der Datei(en) : 77 Bytes\r\n"));
  EXPECT_TRUE(sink->Boxes().empty());
}

TEST_F(BuildRun, TheStoreAppearsWholeOnlyAtTheEnd) {
  Write("docs/a.htm", "<p>eins</p>");
  Write("docs/b.htm", "<p>zwei</p>");
  Write("base/Datenbank/web_UTF8Dokument.txt", "old store");
  WriteList("T:\\docs\\a.htm\r\n\" b.htm\r\n");
  std::vector<std::string> seen;
  status.onCaption = [&] { seen.push_back(Read("base/Datenbank/web_UTF8Dokument.txt")); };
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "old store");
  EXPECT_TRUE(Read("base/Datenbank/web_UTF8Dokument.txt").ends_with("\r\n\r\n\r\nzwei\r\n"));
}

TEST_F(BuildRun, ACancelKeepsThePreviousDatabaseWhole) {
  Write("docs/a.htm", "<p>eins</p>");
  Write("docs/b.htm", "<p>zwei</p>");
  WriteList("T:\\docs\\a.htm\r\n\" b.htm\r\n");
  // A new database cancelled: none is made.
  {
    IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
    status.onCaption = [&] { run.RequestCancel(); };
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Cancelled);
    EXPECT_EQ(status.StatusText(), u"Indizierung wurde abgebrochen! Es wurde keine Datenbank erstellt.");
    EXPECT_FALSE(Exists("base/Datenbank/web.dat"));
    EXPECT_FALSE(Exists("base/Datenbank/web_UTF8Dokument.txt"));
  }
  status.onCaption = nullptr;
  IndexRun first(Settings(u"T:\\docs", {u".htm"}), status);
  ASSERT_EQ(first.LiesDieListeEin(), BuildOutcome::Done);
  // Every file of the database folder but the lock file and the drive's list, with its bytes.
  const auto snapshot = [&] {
    std::map<std::string, std::string> files;
    const auto entries = platform::ListDirectory(drive.Posix("base/Datenbank"));
    if (entries)
      for (const auto& e : *entries)
        if (e.type != platform::DirEntry::Type::Directory && e.name != "web.lock" && !e.name.starts_with("Haupt_")) files[e.name] = Read("base/Datenbank/" + e.name);
    return files;
  };
  const std::map<std::string, std::string> files = snapshot();

  // Cancelled before the build began (while the file-list builder ran): nothing is done.
  {
    IndexRun early(Settings(u"T:\\docs", {u".htm"}), status);
    early.RequestCancel();
    EXPECT_EQ(early.LiesDieListeEin(), BuildOutcome::Cancelled);
    EXPECT_EQ(snapshot(), files);
  }

  // An update cancelled after its first file: every file as it was, no temporary left.
  Write("docs/c.htm", "<p>drei</p>");
  WriteList("T:\\docs\\a.htm\r\n\" b.htm\r\n\" c.htm\r\n");
  IndexRun update(Settings(u"T:\\docs", {u".htm"}), status);
  status.onCaption = [&] { update.RequestCancel(); };
  EXPECT_EQ(update.LiesDieListeEin(), BuildOutcome::Cancelled);
  EXPECT_EQ(status.StatusText(), u"Indizierung wurde abgebrochen! Die bisherige Datenbank bleibt unverändert.");
  EXPECT_EQ(snapshot(), files);
}

TEST_F(BuildRun, LargeFileNoticeInTheCaption) {
  Write("docs/big.htm", "<p>" + std::string(6000000 - 7, 'x') + "</p>");
  WriteList("T:\\docs\\big.htm\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_NE(std::find(status.captions.begin(), status.captions.end(),
                      u"Bitte Geduld! Große Datei: 5,72 MB  T:\\docs\\big.htm"),
            status.captions.end());
}

TEST_F(BuildRun, AMissingDriveListChangesNothingAndSaysSo) {
  Write("base/Datenbank/web_UTF8Dokument.txt", "old store");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::NoDriveList);
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_NE(sink->Boxes()[0].text.find(u"T:\\base\\Datenbank\\Haupt_Dateinamen_Liste_Laufwerk_T.txt"),
            std::u16string::npos);
  EXPECT_FALSE(Exists("base/Datenbank/web.dat"));
  EXPECT_EQ(Read("base/Datenbank/web_UTF8Dokument.txt"), "old store");
  EXPECT_EQ(status.StatusText().find(u"Fertig"), std::u16string::npos);
  // Nothing read: no log.
  EXPECT_FALSE(Exists("base/Datenbank/web.log"));
}

TEST_F(BuildRun, TheControlFolderListIsUsedWhenSet) {
  Write("docs/a.htm", "<p>eins</p>");
  Write("ctl/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\docs\\a.htm\r\n");
  IndexSettings settings = Settings(u"T:\\docs", {u".htm"});
  settings.useControlFolder = true;
  settings.controlFolder = u"T:\\ctl";
  IndexRun run(settings, status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(run.Counters().storedFiles, 1);
}

TEST_F(BuildRun, ArchivesGoToTheExtractorsJobList) {
  Write("base/Datenbank/web_MHTtext.txt", "old archive store");
  WriteList("T:\\docs\\a.mht\r\n\" b.eml\r\n\" c.htm\r\nT:\\other\\d.mht\r\n");
  // No extractor in the program folder: the old archive store stays and the failure is told.
  {
    IndexRun run(Settings(u"T:\\docs", {u".htm", u".mht", u".eml"}), status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::ExtractorNotStarted);
    EXPECT_FALSE(Exists("base/Datenbank/web_mht.dat"));  // the archive list goes with a new archive store only
    EXPECT_EQ(Read("base/Datenbank/web_MHTtext.txt"), "old archive store");
    ASSERT_EQ(sink->Boxes().size(), 1u);
    EXPECT_NE(sink->Boxes()[0].text.find(u"T:\\base\\Gleaner"), std::u16string::npos);
    EXPECT_EQ(run.Counters().listedFiles, 1 + 2);
    EXPECT_EQ(run.Counters().storedFiles, 0 + 2);
    EXPECT_EQ(status.StatusText().find(u"Fertig"), std::u16string::npos);
  }
  FakeExtractor("web", "new");
  IndexRun run(Settings(u"T:\\docs", {u".htm", u".mht", u".eml"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(Read("seen-list"), "T:\\docs\\a.mht\r\nT:\\docs\\b.eml\r\n");
  EXPECT_EQ(Read("base/Datenbank/web_mht.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.mht *.eml\r\nT:\\docs\\a.mht\r\nT:\\docs\\b.eml\r\n");
  EXPECT_EQ(Read("base/Datenbank/web_MHTtext.txt"), "new");
}

TEST_F(BuildRun, AnInterruptedExtractionResumesWithItsListAndItsStoreSoFar) {
  // Also for names outside code page 1252.
  for (const std::string& db : {std::string("web"), std::string("\xD0\x9F\xD1\x80")}) {
    SCOPED_TRACE(db);
    Write("base/Datenbank/" + db + "_MHTtext.txt", "old archive store");
    Write("base/Datenbank/" + db + "_mht_temp.dat", "*T:\\docs\\a.mht\r\n");
    FakeExtractor(db, "new");
    WriteList("T:\\docs\\a.mht\r\n");
    IndexSettings settings = Settings(u"T:\\docs", {u".mht"});
    settings.dbName = platform::PosixUtf8ToWide(db).value_or(u"");
    IndexRun run(settings, status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
    EXPECT_EQ(Read("base/Datenbank/" + db + "_MHTtext.txt"), "new");
    EXPECT_FALSE(Exists("base/Datenbank/" + db + "_MHTtext.txt.vorher"));
    EXPECT_TRUE(run.ExtractionResumed());
    EXPECT_EQ(Read("seen-list"), "*T:\\docs\\a.mht\r\n");
    EXPECT_EQ(Read("seen-chunk0"), "old archive store");
    EXPECT_FALSE(Exists("base/Datenbank/" + db + "_mht_temp.dat"));
    EXPECT_TRUE(sink->Boxes().empty());
    EXPECT_EQ(status.StatusText(), u"Fertig mit der Indizierung.!");
  }
}

TEST_F(BuildRun, ReadDatHeaderPathGivesFolderAndSlots) {
  Write("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\d\xC3\xB6" "cs *.htm *.html   \r\nT:\\d\xC3\xB6" "cs\\a.htm\r\n");
  EXPECT_EQ(ReadDatHeaderPath(u"T:\\base\\Datenbank\\web.dat"), u" T:\\döcs *.htm *.html   ");
  EXPECT_EQ(ReadDatHeaderPath(u"T:\\base\\Datenbank\\missing.dat"), u"");
}

TEST(RunAndWait, WaitsForTheProgramWithoutAShell) {
  int exitCode = -1;
  EXPECT_EQ(RunAndWait({"/bin/sh", {"-c", "exit 3"}}, SW_SHOW, &exitCode), 0);
  EXPECT_EQ(exitCode, 3);
  // Arguments arrive as they are: no shell splits or expands them.
  EXPECT_EQ(RunAndWait({"/bin/sh", {"-c", "test \"$1\" = 'a b $HOME'", "sh", "a b $HOME"}}, SW_SHOW, &exitCode), 0);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(RunAndWait({"/no/such/program", {}}), ENOENT);
}

}  // namespace
}  // namespace app

namespace app {
namespace {

TEST_F(BuildRun, AMissingDriveOrFolderKeepsTheDatabaseAndSaysWhy) {
  Write("docs/a.htm", "<p>eins</p>");
  WriteList("T:\\docs\\a.htm\r\n");
  IndexRun first(Settings(u"T:\\docs", {u".htm"}), status);
  ASSERT_EQ(first.LiesDieListeEin(), BuildOutcome::Done);
  const std::string store = Read("base/Datenbank/web_UTF8Dokument.txt"), dat = Read("base/Datenbank/web.dat");
  for (const std::u16string folder : {u"T:\\dokumente", u"Q:\\docs"}) {  // mistyped; a drive not mapped
    const size_t boxes = sink->Boxes().size();
    IndexRun run(Settings(folder, {u".htm"}), status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::FolderMissing);
    ASSERT_EQ(sink->Boxes().size(), boxes + 1);
    EXPECT_NE(sink->Boxes().back().text.find(folder), std::u16string::npos);
    EXPECT_EQ(status.StatusText().find(u"Fertig"), std::u16string::npos);
    EXPECT_EQ(Read("base/Datenbank/web_UTF8Dokument.txt"), store);
    EXPECT_EQ(Read("base/Datenbank/web.dat"), dat);
  }
}

TEST_F(BuildRun, PathsWithDotSegmentsAreSkipped) {
  Write("docs/a.htm", "<p>eins</p>");
  Write("secret/s.htm", "<p>geheim</p>");
  WriteList("T:\\docs\\a.htm\r\nT:\\docs\\..\\secret\\s.htm\r\nT:\\docs\\.\\a.htm\r\nT:\\docs\\x\\..\r\n"
            "T:\\docs\\sub\\..\\..\\secret\\s.htm\r\nT:\\docs\\..foo.htm\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  ASSERT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(Read("base/Datenbank/web.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\nT:\\docs\\a.htm\r\nT:\\docs\\..foo.htm\r\n");
  EXPECT_EQ(Read("base/Datenbank/web_UTF8Dokument.txt").find("geheim"), std::string::npos);
}

TEST_F(BuildRun, APageCannotForgeARecord) {
  Write("docs/phish.htm", "<p>#J:\\gefaelscht\\phish.htm</p><p>Text</p><pre>x\n#c:\\klein\nz</pre>");
  WriteList("T:\\docs\\phish.htm\r\n");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  ASSERT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  const std::string store = Read("base/Datenbank/web_UTF8Dokument.txt");
  // The only line that opens a record is the page's own; the forged ones keep their text.
  size_t markers = 0;
  for (size_t at = store.find("\n#"); at != std::string::npos; at = store.find("\n#", at + 1)) ++markers;
  EXPECT_EQ(markers, 1u);
  EXPECT_NE(store.find("\r\n #J:\\gefaelscht\\phish.htm"), std::string::npos);
  EXPECT_NE(store.find("\r\n #c:\\klein"), std::string::npos);
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// The files of a database as one snapshot.
std::map<std::string, std::string> DatabaseFiles(testsupport::TempDrive& drive) {
  std::map<std::string, std::string> files;
  const auto entries = platform::ListDirectory(drive.Posix("base/Datenbank"));
  for (const auto& entry : entries.value())
    if (entry.name.starts_with("web") && entry.name != "web.lock")
      files[entry.name] = drive.ReadFile("base/Datenbank/" + entry.name);
  return files;
}

TEST_F(BuildRun, EveryFailedWriteKeepsTheWholeOldDatabase) {
  Write("docs/a.htm", "<p>neu eins</p>");
  Write("docs/b.htm", "<p>neu zwei</p>");
  WriteList("T:\\docs\\a.htm\r\n\" b.htm\r\n");
  Write("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\nT:\\docs\\old.htm\r\n");
  Write("base/Datenbank/web_UTF8Dokument.txt", " \r\n \r\n#T:\\docs\\old.htm\r\n========\r\nalt\r\n");
  const auto before = DatabaseFiles(drive);

  // A run without faults counts the writes, renames and syncs there are to fail.
  platform::FaultCounts counts;
  {
    platform::ScopedFaults counting;
    IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
    ASSERT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
    counts = platform::FaultCounters();
  }
  const auto after = DatabaseFiles(drive);
  ASSERT_NE(after, before);
  ASSERT_GT(counts.writes + counts.renames + counts.syncs, 5);

  int points = 0;
  for (const auto& [op, total] : {std::pair{platform::FaultOp::Write, counts.writes},
                                 std::pair{platform::FaultOp::Rename, counts.renames},
                                 std::pair{platform::FaultOp::Sync, counts.syncs}}) {
    for (int64_t nth = 1; nth <= total; ++nth) {
      SCOPED_TRACE(std::to_string(static_cast<int>(op)) + " #" + std::to_string(nth));
      for (const auto& [name, bytes] : before) Write("base/Datenbank/" + name, bytes);
      for (const auto& [name, bytes] : after)
        if (!before.count(name)) std::filesystem::remove(drive.Posix("base/Datenbank/" + name));
      const size_t boxes = sink->Boxes().size();
      BuildOutcome outcome;
      {
        platform::FaultPlan plan;
        plan.rules.push_back({op, nth, ENOSPC, false});
        platform::ScopedFaults fault(plan);
        IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
        outcome = run.LiesDieListeEin();
      }
      RollForwardDatabase(u"T:\\base\\Datenbank\\", u"web");  // what the next reader does
      const auto now = DatabaseFiles(drive);
      if (outcome == BuildOutcome::Done) {
        // Only the last steps (the journal's removal, the folder's sync) may fail after
        // the new set is in place; then the new set it is.
        EXPECT_EQ(now.at("web.dat"), after.at("web.dat"));
        EXPECT_EQ(now.at("web_UTF8Dokument.txt"), after.at("web_UTF8Dokument.txt"));
      } else {
        EXPECT_EQ(outcome, BuildOutcome::WriteFailed);
        EXPECT_EQ(now, before);
        ASSERT_GT(sink->Boxes().size(), boxes);
        EXPECT_NE(sink->Boxes().back().text.find(u"Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."), std::u16string::npos);
        EXPECT_EQ(status.StatusText().find(u"Fertig"), std::u16string::npos);
      }
      ++points;
    }
  }
  EXPECT_EQ(points, counts.writes + counts.renames + counts.syncs);
  std::printf("[ failure points tried: %d ]\n", points);
}

TEST_F(BuildRun, ASecondBuildOfTheSameDatabaseIsRefused) {
  Write("docs/a.htm", "<p>eins</p>");
  WriteList("T:\\docs\\a.htm\r\n");
  const auto held = LockDatabase(u"T:\\base\\Datenbank\\", u"web", platform::FileLock::Kind::Shared);
  ASSERT_TRUE(held);
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Locked);
  EXPECT_FALSE(Exists("base/Datenbank/web_UTF8Dokument.txt"));
  ASSERT_FALSE(sink->Boxes().empty());
  EXPECT_NE(sink->Boxes().back().text.find(u"wird gerade"), std::u16string::npos);
}

TEST_F(BuildRun, LeftoversOfAKilledRunAreRemovedByTheNextBuild) {
  Write("docs/a.htm", "<p>eins</p>");
  WriteList("T:\\docs\\a.htm\r\n");
  Write("base/Datenbank/web_UTF8Dokument.txt.schreiben", "half");
  Write("base/Datenbank/web_UTF8Dokument.txt.tmp4711-0123456789ab", "half");
  Write("base/Datenbank/web.dat.tmp12-ffffffffffff", "half");
  Write("base/Datenbank/web2_UTF8Dokument.txt.tmp1-aa", "another database's");
  Write("base/Datenbank/web.dat.tmpX-1", "not ours");
  IndexRun run(Settings(u"T:\\docs", {u".htm"}), status);
  ASSERT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_FALSE(Exists("base/Datenbank/web_UTF8Dokument.txt.schreiben"));
  EXPECT_FALSE(Exists("base/Datenbank/web_UTF8Dokument.txt.tmp4711-0123456789ab"));
  EXPECT_FALSE(Exists("base/Datenbank/web.dat.tmp12-ffffffffffff"));
  EXPECT_TRUE(Exists("base/Datenbank/web2_UTF8Dokument.txt.tmp1-aa"));
  EXPECT_TRUE(Exists("base/Datenbank/web.dat.tmpX-1"));
}

}  // namespace
}  // namespace app

namespace app {
namespace {

class QuietStatusForDisk : public IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

// The same on a real file system that runs full: a small tmpfs holds the base folder.
// Needs root and a kernel that lets the test mount one; skipped otherwise.
TEST(BuildRunOnAFullDisk, KeepsTheOldDatabaseAndSaysWhy) {
  testsupport::TempDrive drive;
  const std::string base = drive.Posix("base");
  std::filesystem::create_directories(base);
  const std::string options = "size=96k,mode=0755";
  if (geteuid() != 0 || std::system(("mount -t tmpfs -o " + options + " tmpfs '" + base + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  struct Unmount {
    std::string folder;
    ~Unmount() { (void)!std::system(("umount '" + folder + "'").c_str()); }
  } unmount{base};
  std::filesystem::create_directories(base + "/Datenbank/Temp");
  std::filesystem::create_directories(drive.Posix("docs"));
  std::string list;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "d" + std::to_string(i) + ".htm";
    drive.WriteFile("docs/" + name, "<p>" + std::string(8000, static_cast<char>('a' + i % 26)) + "</p>");
    list += "T:\\docs\\" + name + "\r\n";
  }
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", list);
  drive.WriteFile("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\nT:\\docs\\alt.htm\r\n");
  drive.WriteFile("base/Datenbank/web_UTF8Dokument.txt", " \r\n \r\n#T:\\docs\\alt.htm\r\n========\r\nalt\r\n");

  testsupport::ScopedRecordingSink sink;
  QuietStatusForDisk status;
  IndexSettings settings;
  settings.baseFolder = u"T:\\base\\";
  settings.dbName = u"web";
  settings.folder = u"T:\\docs";
  settings.driveLetter = u'T';
  settings.slots = {u".htm"};
  IndexRun run(settings, status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::WriteFailed);
  ASSERT_FALSE(sink->Boxes().empty());
  EXPECT_NE(sink->Boxes().back().text.find(u"Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."), std::u16string::npos);
  EXPECT_EQ(status.StatusText().find(u"Fertig"), std::u16string::npos);
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web.dat"), "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\nT:\\docs\\alt.htm\r\n");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_UTF8Dokument.txt"), " \r\n \r\n#T:\\docs\\alt.htm\r\n========\r\nalt\r\n");
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(base + "/Datenbank")) files += entry.is_regular_file();
  EXPECT_EQ(files, 3u);  // the drive list, the description and the store: no temporary, no lock file left
}

}  // namespace
}  // namespace app
