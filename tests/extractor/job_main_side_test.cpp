// The main program's side of the extractor: it waits for the end of its own chain (the
// chain's lock, held by every process of it) and believes only the chain's result file.
// The extractor here is a script that plays the chain's processes.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/index/database_set.h"
#include "app/index/index_run.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

// Pauses for real, and runs an action at a given pause.
class ScriptedStatus : public IndexStatus {
 public:
  int pauses = 0;
  std::function<void(int)> onPause;
  void Pause(int) override {
    ++pauses;
    if (onPause) onPause(pauses);
    ::usleep(2000);
  }
};

constexpr char kJob[] = "base/Datenbank/Temp/Gleaner/web/";

class ExtractorSide : public ::testing::Test {
 protected:
  void Write(const std::string& relative, const std::string& bytes) { drive.WriteFile(relative, bytes); }
  bool Exists(const std::string& relative) { return std::filesystem::exists(drive.Posix(relative)); }
  void SetUp() override {
    Write("docs/a.mht", "x");
    Write("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\docs\\a.mht\r\n");
    Write("base/Datenbank/web_MHTtext.txt", "old store");
    Write("base/Datenbank/web_MHT.log", "old log");
    Write("base/Datenbank/web_mht.dat", "old list");
    Write("run/.keep", "");
    ASSERT_EQ(chmod(drive.Posix("run").c_str(), 0700), 0);
    setenv("QUARRY_RUNTIME_DIR", drive.Posix("run").c_str(), 1);
  }
  void TearDown() override { unsetenv("QUARRY_RUNTIME_DIR"); }
  // The script runs in a shell with the chain's two locks as descriptors 3 and 4.
  void Extractor(const std::string& script) {
    Write("base/Gleaner", "#!/bin/sh\njob='" + drive.Posix(kJob) + "'\n" + script);
    ASSERT_EQ(chmod(drive.Posix("base/Gleaner").c_str(), 0755), 0);
  }
  // What a finished chain leaves in the job folder.
  static std::string Finishes(const std::string& store) {
    return "printf '" + store + "' > \"$job/web_MHTtext.txt\"\nprintf 'new log' > \"$job/web_MHT.log\"\n"
           "printf 'Fertig\\r\\n' > \"$job/Temp/web_Ergebnis.txt\"\n";
  }
  IndexSettings Settings() {
    IndexSettings s;
    s.baseFolder = u"T:\\base\\";
    s.dbName = u"web";
    s.folder = u"T:\\docs";
    s.driveLetter = u'T';
    s.slots = {u".mht"};
    return s;
  }
  void ExpectOldArchiveTexts() {
    EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "old store");
    EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHT.log"), "old log");
    EXPECT_EQ(drive.ReadFile("base/Datenbank/web_mht.dat"), "old list");
  }
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  ScriptedStatus status;
};

TEST_F(ExtractorSide, TheWaitEndsWithTheLastProcessOfTheChainNotTheFirst) {
  // The first process ends at once; the one it leaves behind finishes later.
  Extractor("( sleep 0.3\n" + Finishes("new store") + ") &\nexit 0\n");
  IndexRun run(Settings(), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "new store");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHT.log"), "new log");
  EXPECT_GT(status.pauses, 10);
  EXPECT_FALSE(Exists("base/Datenbank/web.lock"));  // the lock file goes with the build
  for (const auto& box : sink->Boxes()) ADD_FAILURE() << platform::WideToPosixUtf8(box.text);
  EXPECT_FALSE(Exists(kJob));  // the job's files are gone with it
}

TEST_F(ExtractorSide, AChainThatDoesNotFinishKeepsTheOldArchiveTexts) {
  const struct {
    const char* name;
    std::string script;
    std::u16string said;
  } cases[] = {
      // Killed before its end: a store may even be there, but no result.
      {"killed", "printf 'half' > \"$job/web_MHTtext.txt\"\nkill -9 $$\n", u"(Exit-Status 137)"},
      {"failed", "printf 'half' > \"$job/web_MHTtext.txt\"\n"
                 "printf 'Fehler\\r\\nDatei x kann nicht geschrieben werden' > \"$job/Temp/web_Ergebnis.txt\"\nexit 1\n",
       u": Datei x kann nicht geschrieben werden"},
      {"no result", "printf 'all' > \"$job/web_MHTtext.txt\"\n", u"fertig zu indizieren!"},
  };
  for (const bool resuming : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (resuming ? " resuming" : ""));
      if (resuming) Write("base/Datenbank/web_mht_temp.dat", "*T:\\docs\\a.mht\r\n");
      Extractor(c.script);
      sink->Clear();
      IndexRun run(Settings(), status);
      EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::ExtractorFailed);
      ExpectOldArchiveTexts();
      EXPECT_FALSE(Exists("base/Datenbank/web_MHTtext.txt.vorher"));
      EXPECT_EQ(Exists("base/Datenbank/web_mht_temp.dat"), resuming);
      if (resuming) {
        EXPECT_EQ(drive.ReadFile("base/Datenbank/web_mht_temp.dat"), "*T:\\docs\\a.mht\r\n");
      }
      ASSERT_EQ(sink->Boxes().size(), 1u);
      EXPECT_NE(sink->Boxes()[0].text.find(c.said), std::u16string::npos);
      EXPECT_NE(sink->Boxes()[0].text.find(u"Die bisherigen MHT/EML-Texte bleiben erhalten."), std::u16string::npos);
      EXPECT_NE(status.StatusText().find(u"nicht alle indiziert"), std::u16string::npos);
    }
  }
}

TEST_F(ExtractorSide, ACancelInTheExtractorsWindowKeepsTheOldTextsAndLetsTheNextUpdateGoOn) {
  Extractor("printf 'teil' > \"$job/web_MHTtext.txt\"\nprintf 'new log' > \"$job/web_MHT.log\"\n"
            "printf '*T:\\\\docs\\\\a.mht\\r\\nT:\\\\docs\\\\b.mht\\r\\n' > \"$job/web_mht_temp.dat\"\n"
            "printf 'Abgebrochen\\r\\n' > \"$job/Temp/web_Ergebnis.txt\"\n");
  {
    IndexRun run(Settings(), status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::ExtractorCancelled);
  }
  ExpectOldArchiveTexts();
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_mht_temp.dat"), "*T:\\docs\\a.mht\r\nT:\\docs\\b.mht\r\n");
  EXPECT_NE(status.StatusText().find(u"Es wurden 1 Dateien indiziert."), std::u16string::npos);

  // The next update resumes: the resume list is the job list, the texts stored so far chunk 0.
  Extractor("cat \"$job/Temp/web_UTF8Dokument0.txt\" \"$job/web_mht.dat\" > \"$job/web_MHTtext.txt\"\n"
            "printf 'Fertig\\r\\n' > \"$job/Temp/web_Ergebnis.txt\"\n");
  IndexRun again(Settings(), status);
  EXPECT_EQ(again.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_TRUE(again.ExtractionResumed());
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "teil*T:\\docs\\a.mht\r\nT:\\docs\\b.mht\r\n");
  EXPECT_FALSE(Exists("base/Datenbank/web_mht_temp.dat"));
}

TEST_F(ExtractorSide, ACancelInTheMainWindowStopsTheChainAndChangesNothing) {
  // The chain stops when it finds the cancel file, as Gleaner does before its next archive.
  Extractor("while [ ! -e \"$job/Temp/web_Abbruch.txt\" ]; do sleep 0.01; done\n" + Finishes("new store") +
            "printf 'Abgebrochen\\r\\n' > \"$job/Temp/web_Ergebnis.txt\"\n");
  IndexRun run(Settings(), status);
  status.onPause = [&](int pause) {
    if (pause == 5) run.RequestCancel();
  };
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Cancelled);
  ExpectOldArchiveTexts();
  EXPECT_FALSE(Exists("base/Datenbank/web_mht_temp.dat"));
  EXPECT_FALSE(Exists(kJob));
  EXPECT_EQ(status.StatusText(), u"Indizierung wurde abgebrochen! Die bisherige Datenbank bleibt unverändert.");
}

TEST_F(ExtractorSide, AChainOutlivingItsProgramKeepsTheDatabaseLocked) {
  // As the build passes its lock to the chain: the program lets go of it, a process of
  // the chain still holds it, and a second build of the database is refused.
  std::optional<platform::FileLock> lock = LockDatabase(u"T:\\base\\Datenbank\\", u"web", platform::FileLock::Kind::Exclusive);
  ASSERT_TRUE(lock);
  platform::StartOptions options;
  options.passFiles = {lock->Fd()};
  lock->RemoveFileOnRelease(drive.Posix("base/Datenbank/web.lock"));
  const platform::StartResult chain = platform::StartProgram("sleep", {"30"}, options);
  ASSERT_TRUE(chain.Ok());
  lock.reset();
  EXPECT_TRUE(Exists("base/Datenbank/web.lock"));  // still held, so still there
  IndexRun second(Settings(), status);
  EXPECT_EQ(second.LiesDieListeEin(), BuildOutcome::Locked);
  ::kill(static_cast<pid_t>(chain.pid), SIGKILL);
  platform::WaitForProcess(chain.pid);
  EXPECT_TRUE(LockDatabase(u"T:\\base\\Datenbank\\", u"web", platform::FileLock::Kind::Exclusive));
}

TEST_F(ExtractorSide, AnUnusableWindowFolderRefusesTheBuildBeforeAnythingIsDone) {
  setenv("QUARRY_RUNTIME_DIR", drive.Posix("missing/run").c_str(), 1);
  Extractor(Finishes("new store"));
  IndexRun run(Settings(), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::WindowFolderUnusable);
  ExpectOldArchiveTexts();
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_NE(sink->Boxes()[0].text.find(u"kann nicht verwendet werden"), std::u16string::npos);
  EXPECT_FALSE(Exists("base/Datenbank/web.dat"));
}

TEST_F(ExtractorSide, AStoreMovedAsideByAnEarlierVersionIsPutBack) {
  platform::RenameFile(drive.Posix("base/Datenbank/web_MHTtext.txt"), drive.Posix("base/Datenbank/web_MHTtext.txt.vorher"));
  RollForwardDatabase(u"T:\\base\\Datenbank\\", u"web");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "old store");
  EXPECT_FALSE(Exists("base/Datenbank/web_MHTtext.txt.vorher"));
  // Beside a store, the moved-aside one is the older: it goes.
  Write("base/Datenbank/web_MHTtext.txt.vorher", "older");
  RollForwardDatabase(u"T:\\base\\Datenbank\\", u"web");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "old store");
  EXPECT_FALSE(Exists("base/Datenbank/web_MHTtext.txt.vorher"));
}

}  // namespace
}  // namespace app
