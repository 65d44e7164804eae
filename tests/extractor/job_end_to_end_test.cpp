// The whole road: a database build with "*.mht *.eml" slots runs the real Gleaner found
// in the base folder (through its restarts), and a search then finds a word of an archive
// under the archive's path.
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <filesystem>

#include <gtest/gtest.h>

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

}  // namespace
