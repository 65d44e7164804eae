// What the main window tells the user when the platform refuses: settings that cannot be
// saved at closing, and a window-directory folder it cannot trust.
#include <sys/stat.h>

#include <QLabel>
#include <filesystem>

#include "forms_fixture.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/window_directory.h"
#include "ui_main_form.h"
#include "widgets/wide_control.h"

namespace formstest {
namespace {

namespace fs = std::filesystem;
using platform::MsgResult;

std::u16string Wide(const std::string& utf8) { return platform::PosixUtf8ToWide(utf8).value(); }

TEST_F(FormsTest, SettingsThatCannotBeSavedAtClosingAreReportedOnce) {
  const struct {
    const char* what;
    platform::FaultOp op;
    int error;
  } cases[] = {{"full disk", platform::FaultOp::Write, ENOSPC}, {"failing rename", platform::FaultOp::Rename, EIO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto w = Start();
    const std::string before = drive_.ReadFile("registry.ini");
    w->main->resize(950, 550);
    drive_.WriteFile("base/Datenbank/Temp/a.htm", "x");
    platform::FaultPlan plan;
    plan.rules.push_back({c.op, 1, c.error, true});
    sink_->Answer(MsgResult::Yes);
    {
      platform::ScopedFaults armed(plan);
      EXPECT_TRUE(w->main->close());
    }
    ASSERT_EQ(BoxTexts(), (std::vector<std::u16string>{
                              u"Quarry-HTML wirklich schließen?",
                              u"Die Einstellungen konnten nicht gespeichert werden: " +
                                  Wide(drive_.Posix("registry.ini") + ": " + platform::SystemErrorText(c.error))}));
    EXPECT_EQ(sink_->Boxes()[1].caption, u"Quarry-HTML");
    EXPECT_EQ(sink_->Boxes()[1].flags, platform::mb::Ok | platform::mb::IconError);
    // Nothing saved, not even a part; the rest of the closing still happened.
    EXPECT_EQ(drive_.ReadFile("registry.ini"), before);
    EXPECT_TRUE(fs::is_empty(drive_.Posix("base/Datenbank/Temp")));
    w.reset();
    *sink_ = testsupport::RecordingSink();
  }
  // Saved: only the question.
  auto w = Start();
  sink_->Answer(MsgResult::Yes);
  EXPECT_TRUE(w->main->close());
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Quarry-HTML wirklich schließen?"});
}

class WindowFolderTest : public FormsTest {
 protected:
  std::string Folder() const { return drive_.Posix("runtime"); }
  // The window folder's complaint as the platform words it, with the main window's
  // sentence after it.
  std::u16string Complaint(std::u16string_view consequence) const {
    return Wide(platform::CheckWindowFolder(Folder()).Text()) + u"\r\n" + std::u16string(consequence);
  }
  // A database over one web archive, built with an extractor that ends at once without
  // its result, which the build reports.
  static constexpr std::u16string_view kNoStore =
      u"Das Programm T:\\base\\Gleaner wurde beendet, ohne die MHT/EML-Dateien fertig zu indizieren! "
      u"Die bisherigen MHT/EML-Texte bleiben erhalten.";
  void BuildWithAnExtractorThatIsGone(Windows& w) {
    fs::create_directories(drive_.Posix("docs"));
    drive_.WriteFile("docs/a.mht", "MIME-Version: 1.0\r\n\r\nx");
    drive_.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\docs\\a.mht\r\n");
    drive_.WriteFile("base/Gleaner", "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(drive_.Posix("base/Gleaner").c_str(), 0755), 0);
    w.main->ShowNewDatabaseDialog = [&w](app::TOKBottomDlg& d) {
      d.SetNameField(u"web");
      d.SetFolderField(u"T:\\docs");
      d.SetExtensionField(u"*.mht");
      w.state.BuildMasterList = false;
      return true;
    };
    w.main->NeuErstellenBtnClick();
  }
};

TEST_F(WindowFolderTest, AnUntrustedFolderIsReportedOnceAtStart) {
  fs::create_directories(drive_.Posix("real"));
  const struct {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"world-writable",
       [&] {
         fs::create_directory(Folder());
         ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);  // chmod, so that no umask interferes
       }},
      {"a link to a folder", [&] { fs::create_directory_symlink(drive_.Posix("real"), Folder()); }},
      {"a file", [&] { drive_.WriteFile("runtime", ""); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Folder());
    c.make();
    auto w = Start();
    EXPECT_FALSE(w->main->WindowHandle());
    EXPECT_EQ(BoxTexts(),
              std::vector<std::u16string>{Complaint(u"Andere Programme von Quarry-HTML können dieses Fenster daher "
                                                    u"nicht finden.")});
    EXPECT_EQ(sink_->Boxes()[0].flags, platform::mb::Ok | platform::mb::IconWarning);
    EXPECT_TRUE(fs::is_empty(drive_.Posix("real")));  // nothing registered through the link
    w.reset();
    *sink_ = testsupport::RecordingSink();
  }
}

TEST_F(WindowFolderTest, ABuildWithArchivesInAnUntrustedFolderIsRefusedBeforeAnythingIsDone) {
  fs::create_directory(Folder());
  ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);
  auto w = Start();
  w->main->FormPaint();
  ASSERT_EQ(sink_->Boxes().size(), 1u);  // the complaint at start
  BuildWithAnExtractorThatIsGone(*w);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::u16string>{
                Complaint(u"Andere Programme von Quarry-HTML können dieses Fenster daher nicht finden."),
                Complaint(u"Ohne diesen Ordner können die MHT/EML-Dateien nicht indiziert werden. Es wurde nichts "
                          u"indiziert, die Datenbank bleibt wie sie war.")}));
  EXPECT_FALSE(fs::exists(drive_.Posix("base/Datenbank/web.dat")));
}

TEST_F(WindowFolderTest, AnExtractorThatEndsWithoutItsResultIsReportedAndNothingIsFinished) {
  auto w = Start();
  w->main->FormPaint();
  ASSERT_TRUE(w->main->WindowHandle());
  BuildWithAnExtractorThatIsGone(*w);
  // No complaint about the folder; only that the extractor did not finish.
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{std::u16string(kNoStore)});
  EXPECT_FALSE(fs::exists(drive_.Posix("base/Datenbank/web_MHTtext.txt")));
  EXPECT_EQ(widgets::WideControlGetText(*w->main->Form().Label1),
            u"Die MHT/EML-Dateien wurden nicht alle indiziert. Die bisherigen MHT/EML-Texte bleiben erhalten.");
}

}  // namespace
}  // namespace formstest
