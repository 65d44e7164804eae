// The file-list builder over a fixture tree, then selection, store and log, byte for byte.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "app/index/run_and_wait.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

namespace fs = std::filesystem;

// The builder of this build folder: <build>/platform/manifester/Manifester beside <build>/tests.
std::string ManifesterProgram() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path program = self.parent_path().parent_path() / "platform" / "manifester" / "Manifester";
  return access(program.c_str(), X_OK) == 0 ? program.string() : std::string();
}

class QuietStatus : public IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

// Runs the program in `folder` with drive T mapped for it as it is for this process.
int RunIn(const std::string& folder, const ProcessCommand& command, const std::string& drives, int* exitCode) {
  const fs::path before = fs::current_path();
  const char* oldDrives = getenv("QUARRY_DRIVES");
  const std::string saved = oldDrives ? oldDrives : "";
  setenv("QUARRY_DRIVES", drives.c_str(), 1);
  fs::current_path(folder);
  const int error = RunAndWait(command, SW_SHOW, exitCode);
  fs::current_path(before);
  if (oldDrives) {
    setenv("QUARRY_DRIVES", saved.c_str(), 1);
  } else {
    unsetenv("QUARRY_DRIVES");
  }
  return error;
}

std::string Le16(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

TEST(EndToEnd, FileListSelectionStoreAndLog) {
  const std::string manifester = ManifesterProgram();
  if (manifester.empty()) GTEST_SKIP() << "Manifester is not built in this build folder";
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  fs::create_directories(drive.Posix("base/Datenbank/Temp"));
  fs::create_directories(drive.Posix("docs/sub"));
  drive.WriteFile("docs/a.htm", "<p>Gr\xC3\xBC\xC3\x9F" "e</p>");
  drive.WriteFile("docs/\xC3\x84rger.htm", "<p>\xC4rger \xFC" "ber die Stra\xDF" "e</p>");
  drive.WriteFile("docs/c.txt", "kein HTML");
  drive.WriteFile("docs/x.mht", "MIME-Version: 1.0");
  drive.WriteFile("docs/sub/b.html", "<p>Stra\xDF" "e</p>");

  int exitCode = -1;
  ASSERT_EQ(RunIn(drive.Posix("base"), {manifester, {"open", "T"}}, "T=" + drive.Root(), &exitCode), 0);
  ASSERT_EQ(exitCode, 0);
  EXPECT_EQ(drive.ReadFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt"),
            "T:\\docs\\a.htm\r\n\" c.txt\r\n\" x.mht\r\n\" \xC3\x84rger.htm\r\nT:\\docs\\sub\\b.html\r\n");

  IndexSettings settings;
  settings.baseFolder = u"T:\\base\\";
  settings.dbName = u"e2e";
  settings.folder = u"T:\\docs";
  settings.driveLetter = u'T';
  settings.slots = {u".htm", u".html"};
  QuietStatus status;
  IndexRun run(settings, status);
  ASSERT_EQ(run.LiesDieListeEin(), BuildOutcome::Done);

  EXPECT_EQ(drive.ReadFile("base/Datenbank/e2e.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm *.html   \r\n"
            "T:\\docs\\a.htm\r\nT:\\docs\\\xC3\x84rger.htm\r\nT:\\docs\\sub\\b.html\r\n");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/e2e_UTF8Dokument.txt"),
            " \r\n \r\n#T:\\docs\\a.htm\r\n======\r\n\r\n\r\nGr\xC3\xBC\xC3\x9F" "e\r\n"
            " \r\n \r\n#T:\\docs\\\xC3\x84rger.htm\r\n========\r\n\r\n\r\n\xC3\x84rger \xC3\xBC" "ber die Stra\xC3\x9F" "e\r\n"
            " \r\n \r\n#T:\\docs\\sub\\b.html\r\n=========\r\n\r\n\r\nStra\xC3\x9F" "e\r\n");
  EXPECT_EQ(drive.ReadFile("base/Datenbank/e2e.log"),
            Le16(u" \r\nDateien insgesamt: 3\r\nKonnten nicht indiziert werden: 0\r\n"
                 u"3 HTML-Dateien wurden indiziert.   Zeit: 0:0:0  Gesamtgröße der Datei(en) : 55 Bytes\r\n"));
  EXPECT_EQ(drive.ReadFile("base/Datenbank/Temp/e2e_mht.dat"), "");
  EXPECT_TRUE(sink->Boxes().empty());
}

}  // namespace
}  // namespace app
