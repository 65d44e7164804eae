#include "app/settings/registry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/settings.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

// Points the settings at a fresh file for the test's lifetime.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("QUARRY_SETTINGS")) old_ = old;
    ::setenv("QUARRY_SETTINGS", temp_.Posix("cfg/registry.ini").c_str(), 1);
  }
  void TearDown() override {
    old_ ? ::setenv("QUARRY_SETTINGS", old_->c_str(), 1) : ::unsetenv("QUARRY_SETTINGS");
  }
  testsupport::TempDrive temp_;
  std::optional<std::string> old_;
};

TEST_F(RegistryTest, FirstRunWritesTheTwelveValuesInOrder) {
  EXPECT_TRUE(IsFirstRun());
  ASSERT_TRUE(WriteFirstRunValues());
  EXPECT_FALSE(IsFirstRun());
  const std::vector<std::u16string> expectedNames = {
      u"Ausgewaehlte_Datenbank", u"Themen-Webseite", u"Ausgewaehlte_Webseite", u"Farbe",
      u"HinweistextFarbe", u"Hoehe", u"Weite", u"SHoehe", u"SWeite", u"Browser",
      u"Suchwort_in_Zwischenablage_kopieren", u"Kurzhinweis_imViewer_anzeigen"};
  EXPECT_EQ(platform::SettingsStore::User().ValueNames(kRegistryKey), expectedNames);
  const std::vector<std::u16string> expectedValues = {u"-1", u"0",   u"0",   u"clHighlight", u"clWhite",  u"506",
                                                      u"900", u"500", u"900", u"standard",    u"1",        u"1"};
  for (size_t i = 0; i < expectedNames.size(); ++i)
    EXPECT_EQ(LeseRegKey(kRegistryKey, expectedNames[i]), expectedValues[i]) << i;
  // The file is where QUARRY_SETTINGS says, under the key as a section.
  EXPECT_NE(temp_.ReadFile("cfg/registry.ini").find("[Software\\Tolvane\\Quarry-HTML]\nAusgewaehlte_Datenbank=-1\n"),
            std::string::npos);
}

TEST_F(RegistryTest, ReadAndWrite) {
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Farbe), u"");  // missing file
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, reg::Farbe, u"$00BBBBBB"));
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Farbe), u"$00BBBBBB");
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Weite), u"");  // missing value
  EXPECT_EQ(LeseRegKey(u"Software\\Tolvane\\Other\\", reg::Farbe), u"");  // missing key
  const std::u16string bookmark = std::u16string(reg::LesezeichenUtf8) + u"Meine Dokumente";
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, bookmark, u"4294967296"));
  EXPECT_EQ(LeseRegInteger(bookmark, 0), 4294967296);
}

TEST_F(RegistryTest, KeyNameAndValuePassThroughTheAnsiCodePage) {
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, u"Lesezeichen_Ansi_Bücher€", u"Grüße € \u65E5"));
  EXPECT_EQ(LeseRegKey(kRegistryKey, u"Lesezeichen_Ansi_Bücher€"), u"Grüße € ?");
  // A name outside the code page reaches the same value as its "?" form.
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, u"Lesezeichen_Ansi_\u65E5", u"7"));
  EXPECT_EQ(LeseRegKey(kRegistryKey, u"Lesezeichen_Ansi_?"), u"7");
}

TEST_F(RegistryTest, IntegersFallBackWhenMissingOrNotANumber) {
  struct Case {
    std::u16string_view text;
    int64_t expected;
  } cases[] = {
      {u"506", 506},  {u"-1", -1},   {u" 12 ", 12},  {u"+7", 7},       {u"0", 0},
      {u"", -99},     {u"abc", -99}, {u"12x", -99},  {u"-", -99},      {u"1 2", -99},
      {u"9223372036854775807", INT64_MAX},           {u"-9223372036854775808", INT64_MIN},
      {u"9223372036854775808", -99},                 {u"99999999999999999999", -99},
  };
  for (const auto& k : cases) {
    ASSERT_TRUE(SchreibeRegKey(kRegistryKey, reg::Hoehe, k.text));
    EXPECT_EQ(LeseRegInteger(reg::Hoehe, -99), k.expected) << std::string(k.text.begin(), k.text.end());
  }
}

std::u16string Wide(const std::string& utf8) { return platform::PosixUtf8ToWide(utf8).value(); }

TEST_F(RegistryTest, AFailedWriteChangesNothingAndSaysWhy) {
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, reg::Hoehe, u"506"));
  const std::string before = temp_.ReadFile("cfg/registry.ini");
  const std::string path = temp_.Posix("cfg/registry.ini");
  using Writer = std::function<bool(std::u16string*)>;
  const struct {
    const char* what;
    Writer write;
  } writers[] = {
      {"one value", [](std::u16string* f) { return SchreibeRegKey(kRegistryKey, reg::Hoehe, u"600", f); }},
      {"several values",
       [](std::u16string* f) {
         return SchreibeRegKeys(kRegistryKey, {{u"Hoehe", u"600"}, {u"Weite", u"1000"}}, f);
       }},
      {"first-run values", [](std::u16string* f) { return WriteFirstRunValues(f); }},
  };
  const struct {
    platform::FaultOp op;
    int error;
  } faults[] = {{platform::FaultOp::Write, ENOSPC}, {platform::FaultOp::Sync, EIO}, {platform::FaultOp::Rename, EROFS}};
  for (const auto& writer : writers) {
    for (const auto& fault : faults) {
      SCOPED_TRACE(std::string(writer.what) + ", fault " + std::to_string(int(fault.op)));
      platform::FaultPlan plan;
      plan.rules.push_back({fault.op, 1, fault.error, true});
      std::u16string failure;
      {
        platform::ScopedFaults armed(plan);
        EXPECT_FALSE(writer.write(&failure));
        EXPECT_FALSE(writer.write(nullptr));  // a caller that does not ask still learns of it
      }
      EXPECT_EQ(failure, Wide(path + ": " + platform::SystemErrorText(fault.error)));
      EXPECT_EQ(temp_.ReadFile("cfg/registry.ini"), before);
    }
  }
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Hoehe), u"506");
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Weite), u"");
  EXPECT_TRUE(IsFirstRun());

  // A settings folder that cannot be created: a file stands where a folder belongs.
  temp_.WriteFile("file", "");
  ::setenv("QUARRY_SETTINGS", temp_.Posix("file/sub/registry.ini").c_str(), 1);
  std::u16string failure;
  EXPECT_FALSE(SchreibeRegKey(kRegistryKey, reg::Hoehe, u"600", &failure));
  EXPECT_EQ(failure, Wide(temp_.Posix("file/sub") + ": " + platform::SystemErrorText(ENOTDIR)));
}

TEST_F(RegistryTest, SeveralValuesAreWrittenInOneRewriteInTheirOrder) {
  ASSERT_TRUE(SchreibeRegKey(kRegistryKey, reg::Weite, u"900"));
  std::u16string failure = u"unchanged";
  ASSERT_TRUE(SchreibeRegKeys(kRegistryKey, {{u"Hoehe", u"600"}, {u"Weite", u"1000"}, {u"Bücher€", u"Grüße \u65E5"}},
                              &failure));
  EXPECT_EQ(failure, u"unchanged");
  EXPECT_EQ(platform::SettingsStore::User().ValueNames(kRegistryKey),
            (std::vector<std::u16string>{u"Weite", u"Hoehe", u"Bücher€"}));
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Hoehe), u"600");
  EXPECT_EQ(LeseRegKey(kRegistryKey, reg::Weite), u"1000");
  EXPECT_EQ(LeseRegKey(kRegistryKey, u"Bücher€"), u"Grüße ?");
}

}  // namespace
}  // namespace app
