// The main program's side of the extractor: a chain of extractor processes is waited for
// until two polls in a row find none, and a chain that ends without a store keeps the
// previous store and its resume list and is reported as a failure.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

// Answers the extractor look-ups from a script and runs an action at a given pause.
class ScriptedStatus : public IndexStatus {
 public:
  std::vector<bool> windows;  // answers of successive look-ups; false when used up
  size_t looked = 0;
  int pauses = 0;
  std::function<void(int)> onPause;
  bool FindWindow(std::u16string_view) override {
    const size_t i = looked++;
    return i < windows.size() && windows[i];
  }
  void Pause(int) override {
    ++pauses;
    if (onPause) onPause(pauses);
  }
  int64_t TickCount() const override { return 0; }
};

class ExtractorSide : public ::testing::Test {
 protected:
  void Write(const std::string& relative, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(drive.Posix(relative)).parent_path());
    drive.WriteFile(relative, bytes);
  }
  bool Exists(const std::string& relative) { return std::filesystem::exists(drive.Posix(relative)); }
  void SetUp() override {
    Write("docs/a.mht", "x");
    Write("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\docs\\a.mht\r\n");
    Write("base/Datenbank/web_MHTtext.txt", "old store");
  }
  void Extractor(const std::string& script) {
    Write("base/Gleaner", "#!/bin/sh\n" + script);
    ASSERT_EQ(chmod(drive.Posix("base/Gleaner").c_str(), 0755), 0);
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
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  ScriptedStatus status;
};

TEST_F(ExtractorSide, ACrashedChainKeepsTheOldStoreAndResumeListAndFails) {
  for (const bool resuming : {false, true}) {
    SCOPED_TRACE(resuming);
    if (resuming) Write("base/Datenbank/web_mht_temp.dat", "*T:\\docs\\a.mht\r\n");
    // The extractor writes a resume list of its own and dies without a store.
    Extractor("printf 'T:\\\\docs\\\\new.mht\\r\\n' > '" + drive.Posix("base/Datenbank/web_mht_temp.dat") + "'\nkill -9 $$\n");
    status = ScriptedStatus();
    IndexRun run(Settings(), status);
    EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::ExtractorFailed);
    EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "old store");
    EXPECT_FALSE(Exists("base/Datenbank/web_MHTtext.txt.vorher"));
    if (resuming) {
      EXPECT_EQ(drive.ReadFile("base/Datenbank/web_mht_temp.dat"), "*T:\\docs\\a.mht\r\n");
    } else {
      EXPECT_FALSE(Exists("base/Datenbank/web_mht_temp.dat"));
    }
    EXPECT_EQ(status.looked, 2u);  // two polls without an extractor
    ASSERT_FALSE(sink->Boxes().empty());
    EXPECT_NE(sink->Boxes().back().text.find(u"Exit-Status 137"), std::u16string::npos);
    EXPECT_EQ(status.StatusText(), u"Die MHT/EML-Dateien wurden nicht indiziert.");
  }
}

TEST_F(ExtractorSide, OnePollWithoutAnExtractorDoesNotEndTheWait) {
  // The first process ends at once; its successor's store appears at the third pause,
  // after one poll that found no extractor between the two processes.
  Extractor("exit 0\n");
  status.windows = {false, true};
  status.onPause = [&](int pause) {
    if (pause == 3) Write("base/Datenbank/web_MHTtext.txt", "new store");
  };
  IndexRun run(Settings(), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_EQ(drive.ReadFile("base/Datenbank/web_MHTtext.txt"), "new store");
  EXPECT_FALSE(Exists("base/Datenbank/web_MHTtext.txt.vorher"));
  EXPECT_TRUE(sink->Boxes().empty());
}

TEST_F(ExtractorSide, AStaleChunkZeroIsRemovedWhenNotResuming) {
  Write("base/Datenbank/Temp/web_UTF8Dokument0.txt", "stale");
  Extractor("printf new > '" + drive.Posix("base/Datenbank/web_MHTtext.txt") + "'\n");
  IndexRun run(Settings(), status);
  EXPECT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);
  EXPECT_FALSE(Exists("base/Datenbank/Temp/web_UTF8Dokument0.txt"));
}

}  // namespace
}  // namespace app
