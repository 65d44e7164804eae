// The whole road: a database build with "*.mht *.eml" slots runs the real Gleaner found
// in the base folder (through its restarts), and a search then finds a word of an archive
// under the archive's path.
#include <signal.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A program of this build folder: <build>/<relative>, beside <build>/tests.
std::string BuiltProgram(const fs::path& relative) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path program = self.parent_path().parent_path() / relative;
  return access(program.c_str(), X_OK) == 0 ? program.string() : std::string();
}

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

Outcome RunProgram(const std::string& program, const QStringList& args, const testsupport::TempDrive& drive) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QUARRY_DRIVES", QString::fromStdString("T=" + drive.Root()));
  env.insert("QUARRY_RUNTIME_DIR", QString::fromStdString(drive.Posix("run")));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(env);
  process.start(QString::fromStdString(program), args);
  Outcome run;
  if (!process.waitForFinished(300000)) return run;
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

TEST(JobEndToEnd, ArchivesAreIndexedThroughTheRealExtractorAndFound) {
  const std::string gleaner = BuiltProgram("extractor/Gleaner");
  const std::string bench = BuiltProgram("bench/qh-bench");
  if (gleaner.empty() || bench.empty()) GTEST_SKIP() << "Gleaner or qh-bench is not built in this build folder";
  testsupport::TempDrive drive;
  std::string list;
  // 23 archives: the extractor hands its job to a second process after 20.
  for (int i = 0; i < 22; ++i) {
    const std::string name = "seite" + std::to_string(i) + ".mht";
    drive.WriteFile("docs/" + name,
        "MIME-Version: 1.0\r\nContent-Type: text/html; charset=\"utf-8\"\r\n\r\n<p>Seite " + std::to_string(i) +
            " \xC3\xBC" "ber Stra\xC3\x9F" "en</p>\r\n");
    list += (i == 0 ? "T:\\docs\\" : "\" ") + name + "\r\n";
  }
  drive.WriteFile("docs/\xC3\x84rger.eml",
      "From: a@b\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nDer Zitronenfalter fliegt.\r\n");
  list += "\" \xC3\x84rger.eml\r\n";
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", list);
  fs::create_directories(drive.Posix("run"));
  fs::permissions(drive.Posix("run"), fs::perms::owner_all, fs::perm_options::replace);
  fs::copy_file(gleaner, drive.Posix("base/Gleaner"));

  const Outcome index = RunProgram(bench, {"index", "--base", QString::fromStdString(drive.Posix("base")), "--name", "web",
                                       "--folder", "T:\\docs", "--ext", "*.mht *.eml"},
                               drive);
  ASSERT_EQ(index.exitCode, 0) << index.out << index.err;
  const std::string log = drive.ReadFile("base/Datenbank/web_MHT.log");
  EXPECT_NE(log.find(std::string("A\0n\0z\0a\0h\0l\0 \0D\0a\0t\0e\0i\0e\0n\0:\0 \0" "2\0" "3\0", 34)), std::string::npos);
  EXPECT_FALSE(fs::exists(drive.Posix("base/Datenbank/web_mht_temp.dat")));

  const Outcome search = RunProgram(bench, {"search", "--base", QString::fromStdString(drive.Posix("base")), "--name", "web",
                                        "Zitronenfalter"},
                                drive);
  ASSERT_EQ(search.exitCode, 0) << search.out << search.err;
  EXPECT_EQ(search.out.rfind("1 hits\n", 0), 0u) << search.out;
  const size_t pageStart = search.out.find('\n') + 1;
  const std::string page = search.out.substr(pageStart, search.out.find('\n', pageStart) - pageStart);
  std::string html;
  {
    std::FILE* f = std::fopen(page.c_str(), "rb");
    ASSERT_NE(f, nullptr) << page;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) html.append(buffer, n);
    std::fclose(f);
  }
  EXPECT_NE(html.find("rger.eml"), std::string::npos);
}

// n archives in docs/<folder>, "Seite <folder> <i>" each; returns their drive list lines
// and (in order) their paths.
std::string Archives(testsupport::TempDrive& drive, const std::string& folder, int n, std::vector<std::string>* paths) {
  std::string list;
  for (int i = 0; i < n; ++i) {
    const std::string name = "seite" + std::to_string(i) + ".mht";
    drive.WriteFile("docs/" + folder + "/" + name, "MIME-Version: 1.0\r\nContent-Type: text/html; charset=\"utf-8\"\r\n\r\n<p>Seite " +
                                                      folder + " " + std::to_string(i) + "</p>\r\n");
    list += (i == 0 ? "T:\\docs\\" + folder + "\\" : "\" ") + name + "\r\n";
    paths->push_back("T:\\docs\\" + folder + "\\" + name);
  }
  return list;
}

// The paths of a UTF-16 store's blocks, in order.
std::vector<std::string> StoredPaths(const std::string& store) {
  std::string ascii;
  for (size_t i = 0; i + 1 < store.size(); i += 2)
    if (store[i + 1] == 0 && store[i] != 0) ascii += store[i];
  std::vector<std::string> paths;
  size_t pos = 0;
  while ((pos = ascii.find("\r\n#", pos)) != std::string::npos) {
    const size_t end = ascii.find("\r\n", pos + 3);
    paths.push_back(ascii.substr(pos + 3, end - pos - 3));
    pos = end;
  }
  return paths;
}

class Chains : public ::testing::Test {
 protected:
  void SetUp() override {
    gleaner = BuiltProgram("extractor/Gleaner");
    bench = BuiltProgram("bench/qh-bench");
    if (gleaner.empty() || bench.empty()) GTEST_SKIP() << "Gleaner or qh-bench is not built in this build folder";
    fs::create_directories(drive.Posix("run"));
    fs::permissions(drive.Posix("run"), fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(drive.Posix("base/Datenbank"));
    fs::copy_file(gleaner, drive.Posix("base/Gleaner"));
  }
  QStringList IndexArgs(const std::string& db, const std::string& folder) {
    return {"index", "--base", QString::fromStdString(drive.Posix("base")), "--name", QString::fromStdString(db),
            "--folder", QString::fromStdString("T:\\docs\\" + folder), "--ext", "*.mht"};
  }
  void Start(QProcess& process, const QStringList& args, bool ownGroup = false) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUARRY_DRIVES", QString::fromStdString("T=" + drive.Root()));
    env.insert("QUARRY_RUNTIME_DIR", QString::fromStdString(drive.Posix("run")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    if (ownGroup) process.setChildProcessModifier([] { ::setsid(); });
    process.start(QString::fromStdString(bench), args);
    ASSERT_TRUE(process.waitForStarted());
  }
  // Waits until the database's chain has handed its job to its second process.
  void AwaitExtraction(const std::string& db) {
    const std::string chunk = drive.Posix("base/Datenbank/Temp/Gleaner/" + db + "/Temp/" + db + "_UTF8Dokument1.txt");
    for (int i = 0; i < 6000 && !fs::exists(chunk); ++i) ::usleep(10000);
    ASSERT_TRUE(fs::exists(chunk));
  }
  // Waits until no process of the database's chain is left.
  void AwaitChainEnd(const std::string& db) {
    const std::string lock = drive.Posix("base/Datenbank/Temp/Gleaner/" + db + "/Temp/" + db + "_Kette.lock");
    for (int i = 0; i < 6000; ++i) {
      if (!fs::exists(lock) || platform::FileLock::Try(lock, platform::FileLock::Kind::Exclusive)) return;
      ::usleep(10000);
    }
    FAIL() << "the chain of " << db << " did not end";
  }
  std::string Store(const std::string& db) { return drive.ReadFile("base/Datenbank/" + db + "_MHTtext.txt"); }
  // The database "web" over two archives, built to its end: the texts a later build must keep.
  void BuildOldDatabase(std::vector<std::string>* paths) {
    drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", Archives(drive, "alt", 2, paths));
    QProcess first;
    Start(first, IndexArgs("web", "alt"));
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  }

  testsupport::TempDrive drive;
  std::string gleaner, bench;
};

TEST_F(Chains, TwoDatabasesAtOnceBesideAnIdleExtractorKeepEveryArchive) {
  std::vector<std::string> one, two;
  // 45 archives each: three processes per chain, hand-overs of both jobs overlapping.
  const std::string list = Archives(drive, "eins", 45, &one) + Archives(drive, "zwei", 45, &two);
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", list);
  QProcess idle;
  {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUARRY_RUNTIME_DIR", QString::fromStdString(drive.Posix("run")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    idle.setProcessEnvironment(env);
    idle.start(QString::fromStdString(gleaner), {"restart"});  // stays idle: no state
    ASSERT_TRUE(idle.waitForStarted());
  }
  QProcess a, b;
  Start(a, IndexArgs("eins", "eins"));
  Start(b, IndexArgs("zwei", "zwei"));
  ASSERT_TRUE(a.waitForFinished(240000));
  ASSERT_TRUE(b.waitForFinished(240000));
  EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
  EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();
  EXPECT_EQ(StoredPaths(Store("eins")), one);
  EXPECT_EQ(StoredPaths(Store("zwei")), two);
  EXPECT_EQ(idle.state(), QProcess::Running);
  idle.kill();
  idle.waitForFinished();
}

TEST_F(Chains, AKilledBuildsChainKeepsTheDatabaseLockedAndTheOldTextsWhole) {
  std::vector<std::string> few, many;
  BuildOldDatabase(&few);
  if (HasFatalFailure()) return;
  const std::string old = Store("web");
  ASSERT_EQ(StoredPaths(old), few);
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", Archives(drive, "neu", 85, &many));

  for (const bool all : {false, true}) {
    SCOPED_TRACE(all ? "program and extractor killed" : "program killed");
    QProcess build;
    Start(build, IndexArgs("web", "neu"), all);
    AwaitExtraction("web");
    if (all) {
      ::kill(-static_cast<pid_t>(build.processId()), SIGKILL);
    } else {
      build.kill();
    }
    build.waitForFinished();
    if (!all) {
      // The orphaned chain still holds the database: a second build is refused.
      QProcess again;
      Start(again, IndexArgs("web", "neu"));
      ASSERT_TRUE(again.waitForFinished(60000));
      EXPECT_NE(again.exitCode(), 0);
      EXPECT_NE(again.readAllStandardError().toStdString().find("wird gerade"), std::string::npos);
    }
    AwaitChainEnd("web");
    // Nobody committed the orphan's texts; the old ones are whole.
    EXPECT_EQ(Store("web"), old);
    EXPECT_FALSE(fs::exists(drive.Posix("base/Datenbank/web_MHTtext.txt.vorher")));
  }
  QProcess rebuild;
  Start(rebuild, IndexArgs("web", "neu"));
  ASSERT_TRUE(rebuild.waitForFinished(120000));
  EXPECT_EQ(rebuild.exitCode(), 0) << rebuild.readAllStandardError().toStdString();
  EXPECT_EQ(StoredPaths(Store("web")), many);
}

TEST_F(Chains, ASignalCancelsTheBuildDuringTheExtractionAndChangesNothing) {
  std::vector<std::string> few, many;
  BuildOldDatabase(&few);
  if (HasFatalFailure()) return;
  std::map<std::string, std::string> before;
  for (const auto& e : fs::directory_iterator(drive.Posix("base/Datenbank")))
    if (e.is_regular_file()) before[e.path().filename().string()] = drive.ReadFile("base/Datenbank/" + e.path().filename().string());
  drive.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", Archives(drive, "neu", 85, &many));
  before["Haupt_Dateinamen_Liste_Laufwerk_T.txt"] = drive.ReadFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt");

  // As a script cancels a build: SIGTERM to the driver, which stops the chain.
  QProcess build;
  Start(build, IndexArgs("web", "neu"));
  AwaitExtraction("web");
  ::kill(static_cast<pid_t>(build.processId()), SIGTERM);
  ASSERT_TRUE(build.waitForFinished(120000));
  EXPECT_NE(build.exitCode(), 0);
  EXPECT_NE(build.readAllStandardOutput().toStdString().find("Indizierung wurde abgebrochen! Die bisherige Datenbank bleibt"),
            std::string::npos);
  std::map<std::string, std::string> after;
  for (const auto& e : fs::directory_iterator(drive.Posix("base/Datenbank")))
    if (e.is_regular_file()) after[e.path().filename().string()] = drive.ReadFile("base/Datenbank/" + e.path().filename().string());
  EXPECT_EQ(after, before);
  EXPECT_FALSE(fs::exists(drive.Posix("base/Datenbank/Temp/Gleaner/web")));  // the job went with it
}

}  // namespace
