#include "platform/settings.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

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
  // A folder that cannot be created.
  dir.WriteFile("file", "x");
  EXPECT_FALSE(SettingsStore(dir.Posix("file/sub/registry.ini")).Write(kKey, u"Farbe", u"clRed"));
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
