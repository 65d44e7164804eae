// A build killed at any byte leaves its database the complete old or the complete new set,
// and a search afterwards names only documents of the store it searches.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "search/engine/database_search.h"
#include "search/engine/title_positions.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace app {
namespace {

class QuietStatus : public IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

IndexSettings Settings() {
  IndexSettings s;
  s.baseFolder = u"K:\\base\\";
  s.dbName = u"web";
  s.folder = u"K:\\docs";
  s.driveLetter = u'K';
  s.slots = {u".htm"};
  return s;
}

// The build with its title positions, made into the set as the program makes them.
class TitleStatus : public QuietStatus {
 public:
  bool MakeTitlePositions(const std::u16string& store, const std::u16string& titleFile, bool mht,
                          std::u16string_view root) override {
    return search::TitelPositionenVorab(store, titleFile, mht ? search::TitleKind::Mht : search::TitleKind::Utf8, root);
  }
  bool MakesTitlePositions() const override { return true; }
};

void BuildWithTitles() {
  TitleStatus status;
  IndexRun run(Settings(), status);
  run.LiesDieListeEin();
}

// The child: one build over the folder QH_KILL_ROOT, killed by the file layer's hook at
// the byte that QUARRY_FAULT names.
TEST(BuildKill, Child) {
  const char* root = std::getenv("QH_KILL_ROOT");
  if (!root) GTEST_SKIP() << "runs only as the child of BuildKill.EveryKillLeavesAWholeSet";
  platform::DriveMap map = platform::Drives();
  map.Set('K', root);
  platform::SetDrivesForTesting(map);
  testsupport::ScopedRecordingSink sink;
  BuildWithTitles();
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const char* name : {"web.dat", "web_UTF8Dokument.txt"}) {
    const auto bytes = platform::ReadWholeFile(folder + "/" + name);
    files[name] = bytes.value_or("<none>");
  }
  return files;
}

int RunChild(const std::string& root, const std::string& fault) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("QH_KILL_ROOT=" + root);
  env.push_back("QUARRY_FAULT=" + fault);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=BuildKill.Child";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(BuildKill, EveryKillLeavesAWholeSet) {
  testsupport::TempDrive drive('K');
  std::filesystem::create_directories(drive.Posix("base/Datenbank/Temp"));
  std::filesystem::create_directories(drive.Posix("docs"));
  std::string list;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "d" + std::to_string(i) + ".htm";
    drive.WriteFile("docs/" + name, "<p>neu " + std::to_string(i) + " Haus " + std::string(300 * i, 'x') + "</p>");
    list += "K:\\docs\\" + name + "\r\n";
  }
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_K.txt", list);
  drive.WriteFile("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= K:\\docs *.htm    \r\nK:\\docs\\alt.htm\r\n");
  drive.WriteFile("docs/alt.htm", "x");
  drive.WriteFile("base/Datenbank/web_UTF8Dokument.txt", " \r\n \r\n#K:\\docs\\alt.htm\r\n========\r\nalt Haus\r\n");
  const std::string folder = drive.Posix("base/Datenbank");
  const auto before = Snapshot(folder);
  const std::map<std::string, std::string> oldFiles = {
      {"web.dat", before.at("web.dat")}, {"web_UTF8Dokument.txt", before.at("web_UTF8Dokument.txt")}};

  // One run to the end counts the bytes there are to kill at.
  const std::string counts = drive.Posix("counts");
  ASSERT_EQ(RunChild(drive.Root(), "counts:" + counts), 0);
  const auto after = Snapshot(folder);
  ASSERT_NE(after, before);
  const std::string countText = platform::ReadWholeFile(counts).value_or("");
  const size_t at = countText.find("bytes ");
  ASSERT_NE(at, std::string::npos) << countText;
  const int64_t total = std::stoll(countText.substr(at + 6));
  ASSERT_GT(total, 100);

  int kills = 0, whole = 0;
  for (int point = 0; point < 40; ++point) {
    const int64_t byte = 1 + total * point / 40;
    for (const auto& [name, bytes] : oldFiles) drive.WriteFile("base/Datenbank/" + name, bytes);
    for (const char* stale : {"web_Utf8_TitelPositionen.txt", "web.commit"})
      std::filesystem::remove(drive.Posix(std::string("base/Datenbank/") + stale));
    search::SearchSession session;
    search::Button4Click(session, search::DatabaseFiles{drive.Drive(u"base\\"), u"web"});
    const int status = RunChild(drive.Root(), "kill-after-bytes:" + std::to_string(byte));
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ++kills;

    // The next reader: a search, which completes an interrupted commit first.
    app::ResultPageState state;
    app::ResultPageHost host;
    app::TResultPageWriter writer(state, host);
    writer.BaseFolder = drive.Drive(u"base\\");
    writer.CurrentDbName = u"web";
    search::SearchSession searchSession;
    search::TDatabaseSearch run(searchSession, writer, state);
    testsupport::ScopedRecordingSink sink;
    ASSERT_TRUE(run.Run(search::DatabaseFiles{drive.Drive(u"base\\"), u"web"}, u"Haus")) << "byte " << byte;
    const auto now = Snapshot(folder);
    const bool isOld = now == before, isNew = now == after;
    EXPECT_TRUE(isOld || isNew) << "killed at byte " << byte;
    whole += isOld || isNew;
    // Every hit names a document of the store that was searched.
    const std::string& store = now.at("web_UTF8Dokument.txt");
    EXPECT_EQ(run.HitCount(), isNew ? 12 : 1) << "byte " << byte;
    for (int i = 0; i < run.HitList.Count(); ++i) {
      const std::string entry = platform::WideToAnsi(run.HitList[i]);
      const std::string path = entry.substr(0, entry.find("##text##"));
      EXPECT_NE(store.find("#" + path + "\r\n"), std::string::npos) << path << " at byte " << byte;
    }
  }
  std::printf("[ kill points: %d tried, %d killed, %d left a whole set ]\n", 40, kills, whole);
  EXPECT_GT(kills, 30);
}

}  // namespace
}  // namespace app
