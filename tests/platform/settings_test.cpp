#include "platform/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

constexpr std::u16string_view kKey = u"Software\\Tolvane\\Quarry-HTML\\";

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(SettingsStore, AnyTextSurvivesAsNameAndValue) {
  testsupport::TempDrive dir;
  const std::u16string lone = std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00);
  const std::u16string texts[] = {
      u"",          u"plain",        u"a=b=c",       u"[Section]",   u"]x[",
      u"; not a comment", u"# nor this", u"line1\nline2\r\nline3\r", u"tab\there", u"%41 %u0041 %",
      u"  blanks  ", u"äöüß€", u"日本語 😀", lone,           std::u16string(1, u'\0') + u"nul",
  };
  SettingsStore store(dir.Posix("s/registry.ini"));
  int n = 0;
  for (const auto& text : texts) {
    const std::u16string name = text + u"#" + std::u16string(1, char16_t(u'A' + n++));
    ASSERT_TRUE(store.Write(kKey, name, text));
  }
  SettingsStore reread(store.Path());
  n = 0;
  for (const auto& text : texts) {
    const std::u16string name = text + u"#" + std::u16string(1, char16_t(u'A' + n++));
    EXPECT_EQ(reread.Read(kKey, name), text) << n;
  }
  EXPECT_EQ(reread.ValueNames(kKey).size(), std::size(texts));
  // Keys may hold the reserved characters too.
  ASSERT_TRUE(store.Write(u"Odd]=[Key\\Sub\nKey", u"v", u"1"));
  EXPECT_EQ(reread.Read(u"Odd]=[Key\\Sub\nKey", u"v"), u"1");
}

TEST(SettingsStore, FileFormatIsReadableText) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clHighlight"));
  ASSERT_TRUE(store.Write(kKey, u"Pfad", u"C:\\Daten\\ä=1\n"));
  ASSERT_TRUE(store.Write(u"Software\\Other", u"a[1]", u"50%"));
  EXPECT_EQ(dir.ReadFile("registry.ini"),
            "; Quarry-HTML settings. \"%\" + two hex digits stands for a reserved character.\n"
            "\n[Software\\Tolvane\\Quarry-HTML]\n"
            "Farbe=clHighlight\n"
            "Pfad=C:\\Daten\\\xC3\xA4=1%0A\n"
            "\n[Software\\Other]\n"
            "a%5B1%5D=50%25\n");
  // Only the file and its lock are left, no temporary file.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Root())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry.ini", "registry.ini.lock"}));
}

TEST(SettingsStore, NamesAndKeysIgnoreCaseAndKeepTheFirstSpelling) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clWhite"));
  ASSERT_TRUE(store.Write(u"\\software\\\\TOLVANE\\quarry-html", u"FARBE", u"clRed"));
  ASSERT_TRUE(store.Write(kKey, u"Größe", u"1"));
  EXPECT_EQ(store.Read(u"Software\\Tolvane\\Quarry-HTML", u"farbe"), u"clRed");
  EXPECT_EQ(store.Read(kKey, u"GRÖßE"), u"1");
  EXPECT_EQ(store.Read(kKey, u"GROESSE"), std::nullopt);
  EXPECT_EQ(store.ValueNames(kKey), (std::vector<std::u16string>{u"Farbe", u"Größe"}));
}

TEST(SettingsStore, MissingFileKeyOrValue) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("none/registry.ini"));
  EXPECT_EQ(store.Read(kKey, u"Farbe"), std::nullopt);
  EXPECT_FALSE(store.KeyExists(kKey));
  EXPECT_TRUE(store.ValueNames(kKey).empty());
  EXPECT_FALSE(store.Delete(kKey, u"Farbe"));
  ASSERT_TRUE(store.Write(kKey, u"Farbe", u""));
  EXPECT_TRUE(store.KeyExists(kKey));
  EXPECT_EQ(store.Read(kKey, u"Farbe"), u"");  // present but empty
  EXPECT_EQ(store.Read(kKey, u"Weite"), std::nullopt);
  EXPECT_EQ(store.Read(u"Software\\Other", u"Farbe"), std::nullopt);
}

TEST(SettingsStore, DeleteRemovesOnlyThatValue) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  ASSERT_TRUE(store.Write(kKey, {{u"A", u"1"}, {u"B", u"2"}, {u"C", u"3"}}));
  EXPECT_TRUE(store.Delete(kKey, u"b"));
  EXPECT_FALSE(store.Delete(kKey, u"B"));
  EXPECT_EQ(store.ValueNames(kKey), (std::vector<std::u16string>{u"A", u"C"}));
  EXPECT_EQ(store.Read(kKey, u"C"), u"3");
}

TEST(SettingsStore, BatchWriteKeepsOrderAndReplacesInPlace) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  ASSERT_TRUE(store.Write(kKey, u"Mitte", u"alt"));
  ASSERT_TRUE(store.Write(kKey, {{u"Erste", u"1"}, {u"Mitte", u"neu"}, {u"Letzte", u"3"}}));
  EXPECT_EQ(store.ValueNames(kKey), (std::vector<std::u16string>{u"Mitte", u"Erste", u"Letzte"}));
  EXPECT_EQ(store.Read(kKey, u"Mitte"), u"neu");
}

TEST(SettingsStore, HandEditedFileIsReadLeniently) {
  testsupport::TempDrive dir;
  dir.WriteFile("registry.ini",
                "orphan=before any section\r\n"
                "; comment\r\n"
                "[Software\\Tolvane\\Quarry-HTML]\r\n"
                "no equals sign\r\n"
                "Latin=Gr\xF6\xDF" "e\r\n"
                "Leer=\r\n"
                "Farbe=clRed\r\n"
                "farbe=clBlue\r\n"
                "[unclosed\r\n"
                "Lost=1\r\n"
                "[software\\tolvane\\quarry-html]\r\n"
                "Weite=900");
  SettingsStore store(dir.Posix("registry.ini"));
  EXPECT_EQ(store.Read(kKey, u"Latin"), u"Größe");
  EXPECT_EQ(store.Read(kKey, u"Leer"), u"");
  EXPECT_EQ(store.Read(kKey, u"Farbe"), u"clBlue");  // a later line wins
  EXPECT_EQ(store.Read(kKey, u"Weite"), u"900");     // sections of the same key merge
  EXPECT_EQ(store.Read(kKey, u"Lost"), std::nullopt);
  EXPECT_EQ(store.Read(kKey, u"orphan"), std::nullopt);
  // A rewrite keeps every value.
  ASSERT_TRUE(store.Write(kKey, u"Neu", u"x"));
  EXPECT_EQ(store.ValueNames(kKey),
            (std::vector<std::u16string>{u"Latin", u"Leer", u"Farbe", u"Weite", u"Neu"}));
}

TEST(SettingsStore, AnUnreadableFileIsNeverOverwritten) {
  testsupport::TempDrive dir;
  // A folder where the file should be: nothing can be read, so nothing may be written.
  std::filesystem::create_directories(dir.Posix("registry.ini/keep"));
  SettingsStore store(dir.Posix("registry.ini"));
  EXPECT_FALSE(store.Write(kKey, u"Farbe", u"clRed"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Posix("registry.ini/keep")));
  ASSERT_TRUE(store.LastFailure());
  EXPECT_EQ(store.LastFailure()->file, dir.Posix("registry.ini"));
  EXPECT_EQ(store.LastFailure()->error, EISDIR);
  // A folder that cannot be created.
  dir.WriteFile("file", "x");
  SettingsStore below(dir.Posix("file/sub/registry.ini"));
  EXPECT_FALSE(below.Write(kKey, u"Farbe", u"clRed"));
  ASSERT_TRUE(below.LastFailure());
  EXPECT_EQ(below.LastFailure()->file, dir.Posix("file/sub"));
  EXPECT_EQ(below.LastFailure()->error, ENOTDIR);
}

TEST(SettingsStore, ARewriteKeepsTheFileMode) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  for (uint32_t mode : {0600u, 0640u, 0644u, 0604u, 0660u}) {
    ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clRed"));
    ASSERT_EQ(::chmod(store.Path().c_str(), mode), 0);
    ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clBlue"));
    ASSERT_TRUE(store.Delete(kKey, u"Farbe"));
    EXPECT_EQ(Stat(store.Path())->mode & 07777, mode) << std::oct << mode;
  }
}

TEST(SettingsStore, ALinkStaysALinkAndItsTargetIsRewritten) {
  testsupport::TempDrive dir;
  std::filesystem::create_directories(dir.Posix("dotfiles/quarry"));
  std::filesystem::create_directories(dir.Posix("config"));
  const struct {
    const char* what;
    std::string link;                              // in config/
    std::vector<std::pair<std::string, std::string>> links;  // further links: name, target
    std::string target;                            // the file that must receive the values
    bool targetExists;
  } cases[] = {
      {"absolute", dir.Posix("dotfiles/quarry/a.ini"), {}, "dotfiles/quarry/a.ini", true},
      {"relative", "../dotfiles/quarry/b.ini", {}, "dotfiles/quarry/b.ini", true},
      {"dangling", "../dotfiles/quarry/c.ini", {}, "dotfiles/quarry/c.ini", false},
      {"chain", "../dotfiles/hop.ini", {{"dotfiles/hop.ini", "quarry/d.ini"}}, "dotfiles/quarry/d.ini", true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Posix("config/registry" + std::to_string(n++) + ".ini");
    ASSERT_EQ(::symlink(c.link.c_str(), path.c_str()), 0);
    for (const auto& [name, to] : c.links) ASSERT_EQ(::symlink(to.c_str(), dir.Posix(name).c_str()), 0);
    if (c.targetExists) {
      dir.WriteFile(c.target, "[Software\\Tolvane\\Quarry-HTML]\nAlt=1\n");
      ASSERT_EQ(::chmod(dir.Posix(c.target).c_str(), 0600), 0);
    }
    SettingsStore store(path);
    ASSERT_TRUE(store.Write(kKey, u"Neu", u"2")) << store.LastFailure()->Text();
    auto st = Stat(path, false);
    ASSERT_TRUE(st);
    EXPECT_TRUE(st->isSymlink);
    char buffer[256] = {};
    ASSERT_GT(::readlink(path.c_str(), buffer, sizeof buffer - 1), 0);
    EXPECT_EQ(buffer, c.link);
    EXPECT_EQ(store.Read(kKey, u"Neu"), u"2");
    EXPECT_EQ(store.Read(kKey, u"Alt"), c.targetExists ? std::optional<std::u16string>(u"1") : std::nullopt);
    EXPECT_NE(dir.ReadFile(c.target).find("Neu=2"), std::string::npos);
    if (c.targetExists) {
      EXPECT_EQ(Stat(dir.Posix(c.target))->mode & 07777, 0600u);
    }
  }
  // Beside the links only their locks: every temporary went to the targets' folder and on.
  for (const auto& name : std::filesystem::directory_iterator(dir.Posix("config")))
    EXPECT_TRUE(name.is_symlink() || name.path().extension() == ".lock") << name.path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Posix("dotfiles/quarry")), {}), 4);
}

TEST(SettingsStore, AFailedSaveIsReportedAndChangesNothing) {
  testsupport::TempDrive dir;
  SettingsStore store(dir.Posix("registry.ini"));
  ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clRed"));
  const std::string before = dir.ReadFile("registry.ini");
  FaultCounts counts;
  {
    ScopedFaults counting;
    ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clRed"));  // the same bytes again
    counts = FaultCounters();
  }
  ASSERT_GT(counts.writes + counts.renames + counts.syncs, 0);
  const struct {
    FaultOp op;
    int64_t calls;
  } ops[] = {{FaultOp::Write, counts.writes}, {FaultOp::Rename, counts.renames}, {FaultOp::Sync, counts.syncs}};
  for (const auto& op : ops) {
    for (int64_t n = 1; n <= op.calls; ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(op.op)) + ":" + std::to_string(n));
      const int error = op.op == FaultOp::Write ? ENOSPC : EIO;  // a full disk, a failing one
      FaultPlan plan;
      plan.rules.push_back({op.op, n, error, false});
      const bool afterRename = op.op == FaultOp::Sync && n == counts.syncs;  // the folder's sync
      {
        ScopedFaults faults(plan);
        EXPECT_FALSE(store.Write(kKey, {{u"Farbe", u"clBlue"}, {u"Neu", u"1"}}));
        ASSERT_TRUE(store.LastFailure());
        EXPECT_EQ(store.LastFailure()->file, store.Path());
        EXPECT_EQ(store.LastFailure()->error, error);
        EXPECT_EQ(store.LastFailure()->Text(), store.Path() + ": " + SystemErrorText(error));
      }
      if (afterRename) {
        // In place but perhaps not on the disk; it was still reported. Back to the start.
        ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clRed"));
        ASSERT_TRUE(store.Delete(kKey, u"Neu"));
      }
      EXPECT_EQ(dir.ReadFile("registry.ini"), before);
      std::vector<std::string> names;
      for (const auto& e : std::filesystem::directory_iterator(dir.Root())) names.push_back(e.path().filename());
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (std::vector<std::string>{"registry.ini", "registry.ini.lock"}));
      ASSERT_TRUE(store.Write(kKey, u"Farbe", u"clRed"));
      EXPECT_FALSE(store.LastFailure());
    }
  }
  // A failed deletion keeps the value; a value that does not exist is no failure.
  {
    FaultPlan plan;
    plan.rules.push_back({FaultOp::Rename, 1, EIO, true});
    ScopedFaults faults(plan);
    EXPECT_FALSE(store.Delete(kKey, u"Farbe"));
    ASSERT_TRUE(store.LastFailure());
    EXPECT_EQ(store.LastFailure()->error, EIO);
  }
  EXPECT_EQ(store.Read(kKey, u"Farbe"), u"clRed");
  EXPECT_FALSE(store.Delete(kKey, u"Nie"));
  EXPECT_FALSE(store.LastFailure());
}

TEST(SettingsStore, ConcurrentWritersLoseNothing) {
  testsupport::TempDrive dir;
  const std::string path = dir.Posix("registry.ini");
  constexpr int kWriters = 4, kValues = 20;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SettingsStore store(path);
      bool ok = true;
      for (int v = 0; v < kValues; ++v) {
        const std::string name = "w" + std::to_string(w) + "v" + std::to_string(v);
        ok = store.Write(kKey, std::u16string(name.begin(), name.end()), u"1") && ok;
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(SettingsStore(path).ValueNames(kKey).size(), size_t(kWriters * kValues));
}

TEST(SettingsFilePath, FromTheEnvironment) {
  {
    ScopedEnv settings("QUARRY_SETTINGS", "/x/my.ini");
    EXPECT_EQ(SettingsFilePath(), "/x/my.ini");
  }
  ScopedEnv settings("QUARRY_SETTINGS", nullptr);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(SettingsFilePath(), "/cfg/Tolvane/Quarry-HTML/registry.ini");
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", "/home/anna");
  EXPECT_EQ(SettingsFilePath(), "/home/anna/.config/Tolvane/Quarry-HTML/registry.ini");
  EXPECT_EQ(SettingsStore::User().Path(), SettingsFilePath());
}

}  // namespace
}  // namespace platform
