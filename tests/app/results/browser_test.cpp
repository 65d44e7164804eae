#include "app/results/browser.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/recording_sink.h"

namespace {

class FakeLauncher : public app::ProcessLauncher {
 public:
  std::string FindProgram(const std::string& name) const override {
    return installed.count(name) ? "/usr/bin/" + name : std::string();
  }
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string&) override {
    calls.push_back({program, arguments});
    return startable;
  }
  std::set<std::string> installed;
  bool startable = true;
  std::vector<std::pair<std::string, std::vector<std::string>>> calls;
};

class Settings : public app::BrowserSettingStore {
 public:
  std::u16string ReadBrowser() override { return value; }
  void WriteBrowser(const std::u16string& v) override { value = v, ++writes; }
  std::u16string value;
  int writes = 0;
};

TEST(Browser, SettingChoosesAnInstalledBrowserElseTheDefault) {
  FakeLauncher launcher;
  launcher.installed = {"firefox", "chromium", "xdg-open"};
  struct Row {
    std::u16string setting;
    std::string program;  // empty: xdg-open
  } rows[] = {
      {u"standard", ""},       {u"firefox", "firefox"}, {u"Firefox", "firefox"},
      {u"chrome", "chromium"}, {u"chromium", "chromium"}, {u"opera", ""},
      {u"edge", ""},           {u"internet explorer", ""}, {u"safari", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(app::BrowserProgramFor(row.setting, launcher), row.program);
}

TEST(Browser, StartsWithAnArgumentListAndNeverAShell) {
  FakeLauncher launcher;
  launcher.installed = {"firefox"};
  Settings settings;
  // Empty setting: "standard", written back.
  app::StarteInternetBrowser(u"https://example.org/?q=a b;rm -rf", settings, launcher);
  EXPECT_EQ(settings.value, u"standard");
  EXPECT_EQ(settings.writes, 1);
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0].first, "xdg-open");
  EXPECT_EQ(launcher.calls[0].second, std::vector<std::string>{"https://example.org/?q=a b;rm -rf"});

  settings.value = u"firefox";
  app::StarteInternetBrowser(u"C:\\tmp\\QY_Ergebnis.htm", settings, launcher);
  ASSERT_EQ(launcher.calls.size(), 2u);
  EXPECT_EQ(launcher.calls[1].first, "firefox");
  EXPECT_EQ(launcher.calls[1].second, std::vector<std::string>{"file:///tmp/QY_Ergebnis.htm"});
}

TEST(Browser, AChosenBrowserThatIsNotInstalledIsReportedNotReplaced) {
  testsupport::ScopedRecordingSink sink;
  FakeLauncher launcher;
  launcher.installed = {"chromium", "xdg-open"};
  Settings settings;
  struct Row {
    std::u16string setting;
    std::string missing;
  } rows[] = {{u"firefox", "firefox"}, {u"edge", "microsoft-edge"}, {u"chrome", ""},
              {u"standard", ""},       {u"opera", ""},              {u"internet explorer", ""}};
  for (const auto& row : rows) EXPECT_EQ(app::MissingBrowserFor(row.setting, launcher), row.missing);
  settings.value = u"firefox";
  app::StarteInternetBrowser(u"C:\\tmp\\QY_Ergebnis.htm", settings, launcher);
  EXPECT_TRUE(launcher.calls.empty()) << "no other program opens the page";
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].text, u"Datei: firefox kann nicht geöffnet werden");
  // Opera is no browser of the settings' own: the default handler takes its pages.
  settings.value = u"opera";
  app::StarteInternetBrowser(u"https://example.org/", settings, launcher);
  ASSERT_EQ(launcher.calls.size(), 1u);
  EXPECT_EQ(launcher.calls[0].first, "xdg-open");
  EXPECT_EQ(sink->Boxes().size(), 1u);
}

TEST(Browser, ShellExecuteCheckedWarnsWhenTheProgramDoesNotStart) {
  testsupport::ScopedRecordingSink sink;
  FakeLauncher launcher;
  launcher.startable = false;
  EXPECT_FALSE(app::ShellExecuteChecked(u"firefox", {u"x"}, u"", launcher));
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].text, u"Datei: firefox kann nicht geöffnet werden");
  // The real launcher reports a program that does not exist.
  EXPECT_FALSE(app::DefaultLauncher().Start("/nonexistent/quarry-no-such-program", {}, ""));
  EXPECT_TRUE(app::DefaultLauncher().Start("true", {}, ""));
}

}  // namespace
