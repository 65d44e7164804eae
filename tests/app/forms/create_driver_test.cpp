#include <stdlib.h>
#include <unistd.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/settings/default_files.h"
#include "forms_fixture.h"
#include "ui_main_form.h"

namespace formstest {
namespace {

using platform::MsgResult;

TEST(ExtensionSlots, PatternsBecomeLowerCaseSlotsAndOnlyFiveCount) {
  struct Case {
    std::u16string field;
    std::array<std::u16string, 5> expected;
  };
  const Case cases[] = {
      {u"*.htm *.html", {u".htm", u".html", u".", u".", u"."}},
      {u"*.HTM", {u".htm", u".", u".", u".", u"."}},
      {u"  *.a *.b *.c *.d *.e *.f *.g ", {u".a", u".b", u".c", u".d", u".e"}},
      {u"", {u".", u".", u".", u".", u"."}},
      {u"htm;xhtml", {u".htm;xhtml", u".", u".", u".", u"."}},
  };
  for (const Case& c : cases) EXPECT_EQ(app::ExtensionSlots(c.field), c.expected);
}

class DriverTest : public FormsTest {
 protected:
  bool Exists(const std::string& relative) { return std::filesystem::exists(drive_.Posix(relative)); }
  // A drive list and two documents below T:\docs.
  void Documents() {
    drive_.WriteFile("docs/a.htm", "<p>Haus am See</p>");
    drive_.WriteFile("docs/b.html", "<p>Maus</p>");
    drive_.WriteFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt", "T:\\docs\\a.htm\r\nT:\\docs\\b.html\r\n");
  }
  // The dialog as the user fills it and closes it with OK.
  static void Fill(Windows& w, std::u16string name, std::u16string folder, std::u16string extensions,
                   bool buildMasterList = false) {
    w.main->ShowNewDatabaseDialog = [&w, name, folder, extensions, buildMasterList](app::TOKBottomDlg& d) {
      d.SetNameField(name);
      d.SetFolderField(folder);
      d.SetExtensionField(extensions);
      w.state.BuildMasterList = buildMasterList;
      w.state.HistoryName = name;
      return true;
    };
  }
  static QString Status(Windows& w) { return w.main->Form().Label1->text(); }
};

TEST_F(DriverTest, ACreatedDatabaseIsIndexedAndItsEntryOfExactlyThatNameSelected) {
  Documents();
  drive_.WriteFile("base/Datenbank/web2.dat", "PFAD_UND_ENDUNGEN= T:\\x *.htm    \r\n");
  drive_.WriteFile("base/Datenbank/aweb.dat", "PFAD_UND_ENDUNGEN= T:\\x *.htm    \r\n");
  auto w = Start();
  w->main->FormPaint();
  Fill(*w, u"web", u"T:\\docs", u"*.htm *.HTML");
  w->main->NeuErstellenBtnClick();

  EXPECT_EQ(w->main->DatabaseNames(), (std::vector<std::u16string>{u"aweb", u"web", u"web2"}));
  EXPECT_EQ(w->main->Form().ListBox1->currentRow(), 1);
  EXPECT_EQ(w->state.HistoryName, u"web");
  EXPECT_EQ(Status(*w), QStringLiteral("Fertig mit der Indizierung."));
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/web.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm *.html   \r\nT:\\docs\\a.htm\r\nT:\\docs\\b.html\r\n");
  EXPECT_NE(drive_.ReadFile("base/Datenbank/web_UTF8Dokument.txt").find("Haus am See"), std::string::npos);
  EXPECT_TRUE(Exists("base/Datenbank/web_Utf8_TitelPositionen.txt"));
  EXPECT_TRUE(Exists("base/Datenbank/web.log"));
  w->main->Timer1Timer();
  EXPECT_TRUE(w->main->Form().Label2->text().startsWith(QStringLiteral("Anzahl Dateien:     2     Zeit: ")));
  // Both patterns are among the shipped choices: the file stays as shipped.
  EXPECT_EQ(drive_.ReadFile("base/AuswahlEndungen.txt"), std::string(app::DefaultFiles()[1].bytes));
  EXPECT_TRUE(w->main->Form().SuchenBtn->isEnabled());
  EXPECT_TRUE(w->main->Form().NeuErstellenBtn->isEnabled());
  EXPECT_FALSE(w->main->Timer1().isActive());
  EXPECT_FALSE(w->main->GedultTimer().isActive());
  EXPECT_FALSE(w->state.UpdateMode);
  EXPECT_FALSE(w->state.IndexRunning);
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(DriverTest, ABuildThatChangedNothingOrWasCancelledIsNotFinished) {
  Documents();
  drive_.WriteFile("base/Datenbank/web_UTF8Dokument.txt", "old store");
  auto w = Start();
  w->main->FormPaint();
  // A folder that is not there (an unplugged drive, a typing error).
  Fill(*w, u"web", u"T:\\dokumente", u"*.htm");
  w->main->NeuErstellenBtnClick();
  EXPECT_FALSE(Status(*w).contains(QStringLiteral("Fertig")));
  ASSERT_EQ(sink_->Boxes().size(), 1u);
  EXPECT_NE(sink_->Boxes()[0].text.find(u"T:\\dokumente"), std::u16string::npos);
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/web_UTF8Dokument.txt"), "old store");
  EXPECT_TRUE(w->main->Form().NeuErstellenBtn->isEnabled());

  // The close button pressed while the build runs.
  Fill(*w, u"web", u"T:\\docs", u"*.htm *.html");
  QTimer::singleShot(0, w->main.get(), [&w] { w->main->BitBtn2Click(); });
  w->main->NeuErstellenBtnClick();
  EXPECT_EQ(Status(*w), QStringLiteral("Indizierung wurde abgebrochen! Die bisherige Datenbank bleibt unverändert."));
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/web_UTF8Dokument.txt"), "old store");
  EXPECT_TRUE(w->main->Form().BitBtn2->isEnabled());
  EXPECT_TRUE(w->main->Form().NeuErstellenBtn->isEnabled());
}

TEST_F(DriverTest, KnownPatternsAreNotAddedTwice) {
  Documents();
  drive_.WriteFile("base/AuswahlEndungen.txt", "*.htm\r\n*.html\r\n");
  auto w = Start();
  w->main->FormPaint();
  Fill(*w, u"web", u"T:\\docs", u"*.html *.xhtml");
  w->main->NeuErstellenBtnClick();
  // The dialog's default is always among the choices, so it is saved with them.
  EXPECT_EQ(drive_.ReadFile("base/AuswahlEndungen.txt"), "*.htm\r\n*.htm *.html\r\n*.html\r\n*.xhtml\r\n");
}

TEST_F(DriverTest, ACancelledDialogEndsTheUpdate) {
  auto w = Start();
  w->main->ShowNewDatabaseDialog = [](app::TOKBottomDlg&) { return false; };
  w->state.UpdateMode = true;
  w->main->NeuErstellenBtnClick();
  EXPECT_FALSE(w->state.UpdateMode);
  EXPECT_FALSE(w->main->Timer1().isActive());
  EXPECT_FALSE(w->state.IndexRunning);
}

TEST_F(DriverTest, AnUpdatePrefillsTheDialogFromTheDescription) {
  drive_.WriteFile("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm *.html   \r\nT:\\docs\\a.htm\r\n");
  auto w = Start();
  w->main->FormPaint();
  std::u16string name, folder, extensions;
  w->main->ShowNewDatabaseDialog = [&](app::TOKBottomDlg& d) {
    name = d.NameField();
    folder = d.FolderField();
    extensions = d.ExtensionField();
    return false;
  };
  w->main->ErneutIndiziereBtnClick();
  EXPECT_EQ(name, u"web");
  EXPECT_EQ(folder, u"T:\\docs");
  EXPECT_EQ(extensions.substr(0, 12), u"*.HTM *.HTML");
  EXPECT_EQ(w->main->Form().BitBtn2->text(), QStringLiteral("Schli&eßen"));
}

TEST_F(DriverTest, AnInterruptedExtractionIsOfferedAndNoDiscardsIt) {
  drive_.WriteFile("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\n");
  drive_.WriteFile("base/Datenbank/web_mht_temp.dat", "*T:\\docs\\a.mht\r\nT:\\docs\\b.mht\r\n");
  auto w = Start();
  w->main->FormPaint();
  w->main->ShowNewDatabaseDialog = [](app::TOKBottomDlg&) { return false; };
  sink_->Answer(MsgResult::No);
  w->main->aktualisieren1Click();
  ASSERT_EQ(sink_->Boxes().size(), 1u);
  const std::u16string& q = sink_->Boxes()[0].text;
  EXPECT_EQ(q.rfind(u"MHT/EML-Dateien - Möchten Sie dort weitermachen wo Sie am ", 0), 0u);
  EXPECT_NE(q.find(u" abgebrochen haben?\r\nWenn Nein gehen die bisher indizierten Daten verloren. "),
            std::u16string::npos);
  EXPECT_FALSE(Exists("base/Datenbank/web_mht_temp.dat"));
}

TEST_F(DriverTest, AnUpdateWithoutASelectedDatabaseExplains) {
  {
    auto w = Start();
    w->main->aktualisieren1Click();
  }
  drive_.WriteFile("base/Datenbank/web.dat", "");
  auto w = Start();
  w->main->FormPaint();
  w->main->Form().ListBox1->clearSelection();
  w->main->aktualisieren1Click();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{
                            u"Es existiert noch keine Datenbank! Betätigen Sie bitte den Schalter \"Neue Datenbank "
                            u"erstellen\".",
                            u"Sie müssen zuerst eine Datenbank auswählen! Mit linker Maustaste anklicken!"}));
  EXPECT_FALSE(w->state.UpdateMode);
}

TEST_F(DriverTest, TheBuildStartsWhenTheFileListBuilderHasEnded) {
  Documents();
  auto w = Start();
  w->main->FormPaint();
  Fill(*w, u"web", u"T:\\docs", u"*.htm", true);
  std::vector<bool> seen = {true, true, false};
  size_t tick = 0;
  w->main->ManifesterWindowSeen = [&] { return seen[std::min(tick, seen.size() - 1)]; };
  w->main->NeuErstellenBtnClick();
  EXPECT_TRUE(w->main->UeberwachTimer().isActive());
  EXPECT_TRUE(w->state.IndexRunning);
  for (tick = 0; tick < 2; ++tick) w->main->UeberwachTimerTimer();
  EXPECT_FALSE(Exists("base/Datenbank/web.dat"));
  EXPECT_TRUE(w->main->UeberwachTimer().isActive());
  w->main->UeberwachTimerTimer();
  EXPECT_FALSE(w->main->UeberwachTimer().isActive());
  EXPECT_TRUE(Exists("base/Datenbank/web.dat"));
  EXPECT_TRUE(Exists("base/Datenbank/web_Utf8_TitelPositionen.txt"));
  EXPECT_EQ(Status(*w), QStringLiteral("Fertig mit der Indizierung."));
  EXPECT_EQ(w->main->Form().ListBox1->currentRow(), 0);
  EXPECT_TRUE(w->main->Form().BitBtn2->isEnabled());
  EXPECT_TRUE(w->main->windowTitle().isEmpty());
  EXPECT_FALSE(w->main->Timer1().isActive());
  EXPECT_FALSE(w->state.UpdateMode);
}

TEST_F(DriverTest, TheWatchGivesUpAfterSixtySecondsWithoutTheBuilder) {
  Documents();
  auto w = Start();
  w->main->FormPaint();
  Fill(*w, u"web", u"T:\\docs", u"*.htm", true);
  w->main->ManifesterWindowSeen = [] { return false; };
  w->state.UpdateMode = true;
  w->main->NeuErstellenBtnClick();
  for (int i = 0; i < 119; ++i) w->main->UeberwachTimerTimer();
  EXPECT_TRUE(sink_->Boxes().empty());
  EXPECT_TRUE(
      w->main->windowTitle().startsWith(QStringLiteral("Quarry-HTML wartet auf Erstellung der Hauptdatei-Liste! ")));
  EXPECT_FALSE(w->main->Form().SuchenBtn->isEnabled());
  w->main->UeberwachTimerTimer();
  EXPECT_EQ(w->main->WatchTicks(), -1);
  EXPECT_FALSE(w->main->UeberwachTimer().isActive());
  EXPECT_FALSE(w->main->Timer1().isActive());
  EXPECT_EQ(Status(*w), QStringLiteral("\"Manifester\" wurde abgebrochen oder Vorgabezeit überschritten!"));
  ASSERT_EQ(sink_->Boxes().size(), 1u);
  EXPECT_EQ(sink_->Boxes()[0].text.rfind(u"Die Vorgabezeit ist überschritten! ", 0), 0u);
  EXPECT_TRUE(w->main->Form().SuchenBtn->isEnabled());
  EXPECT_TRUE(w->main->Form().BitBtn2->isEnabled());
  EXPECT_FALSE(w->state.IndexRunning);
  EXPECT_FALSE(w->state.UpdateMode);
  EXPECT_FALSE(Exists("base/Datenbank/web.dat"));
}

TEST_F(DriverTest, TheBuilderIsStartedFromTheBaseFolderOrTheControlFolder) {
  auto w = Start();
  EXPECT_EQ(w->main->ManifesterFile(), u"T:\\base\\Manifester");
  std::filesystem::create_directories(drive_.Posix("tools/q"));
  SetReg(app::reg::QuarryControl, u"T:\\tools");
  auto inTools = Start({QString::fromStdString(drive_.Posix("tools/q/QUARRY_HTML")), QStringLiteral("x")});
  EXPECT_EQ(inTools->main->ManifesterFile(), u"T:\\tools\\q\\Manifester");  // none in the control folder
  drive_.WriteFile("tools/Manifester", "#!/bin/sh\n");
  EXPECT_EQ(inTools->main->ManifesterFile(), u"T:\\tools\\Manifester");
}

TEST_F(DriverTest, TheInterruptionReportWaitsForTheResumeList) {
  auto w = Start();
  w->main->FormPaint();
  w->state.CurrentDbName = u"web";
  w->main->CheckMHTAbbruchTimer().start();
  w->main->CheckMHTAbbruchTimerTimer();
  EXPECT_TRUE(w->main->CheckMHTAbbruchTimer().isActive());
  drive_.WriteFile("base/Datenbank/web_mht_temp.dat", "*T:\\a.mht\r\nT:\\b.mht\r\n*T:\\c.eml\r\n");
  w->main->CheckMHTAbbruchTimerTimer();
  EXPECT_FALSE(w->main->CheckMHTAbbruchTimer().isActive());
  EXPECT_EQ(Status(*w), QStringLiteral("MHT/EML-Dateien - Abgebrochene Indizierung. Es wurden 2 Dateien indiziert."));
}

TEST_F(DriverTest, TheCloseButtonClosesWhenIdleAndCancelsARun) {
  auto w = Start();
  w->main->show();
  sink_->Answer(MsgResult::No);
  w->main->BitBtn2Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Quarry-HTML wirklich schließen?"});

  w->state.IndexRunning = true;
  w->main->BitBtn2Click();
  EXPECT_EQ(Status(*w), QStringLiteral("Indizierung wurde abgebrochen!"));
  EXPECT_TRUE(w->state.CancelRequested);
  EXPECT_FALSE(w->state.IndexRunning);
  EXPECT_FALSE(w->main->Form().BitBtn2->isEnabled());

  w->state.Searching = true;
  w->main->Form().Label1->setText(QStringLiteral("Fertig mit der Suche."));
  w->main->BitBtn2Click();
  EXPECT_FALSE(w->state.Searching);
  EXPECT_EQ(w->main->Form().BitBtn2->text(), QStringLiteral("Schli&eßen"));
  EXPECT_TRUE(w->main->Form().BitBtn2->isEnabled());
  EXPECT_EQ(sink_->Boxes().size(), 1u);
  sink_->Answer(MsgResult::Yes);
  w->main->close();
}

// The file-list builder of this build folder: <build>/platform/manifester/Manifester
// beside <build>/tests.
std::string ManifesterProgram() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto program = self.parent_path().parent_path() / "platform" / "manifester" / "Manifester";
  return access(program.c_str(), X_OK) == 0 ? program.string() : std::string();
}

TEST_F(DriverTest, EndToEndTheBuilderListsTheFolderAndTheNewDatabaseIsSelected) {
  const std::string manifester = ManifesterProgram();
  if (manifester.empty()) GTEST_SKIP() << "Manifester is not built in this build folder";
  drive_.WriteFile("docs/a.htm",
      "<p>Gr\xC3\xBC\xC3\x9F"
      "e aus dem Haus</p>");
  drive_.WriteFile("docs/sub/b.html",
      "<p>Stra\xDF"
      "e</p>");
  drive_.WriteFile("docs/c.txt", "kein HTML");
  drive_.WriteFile("base/Datenbank/e2e2.dat", "PFAD_UND_ENDUNGEN= T:\\x *.htm    \r\n");
  std::filesystem::copy_file(manifester, drive_.Posix("base/Manifester"));
  // The builder is another process: it learns the drive T from the environment.
  const char* oldDrives = getenv("QUARRY_DRIVES");
  const std::string savedDrives = oldDrives ? oldDrives : "";
  setenv("QUARRY_DRIVES", ("T=" + drive_.Root()).c_str(), 1);

  auto w = Start();
  w->main->FormPaint();
  Fill(*w, u"e2e", u"T:\\docs", u"*.htm *.html", true);
  w->main->NeuErstellenBtnClick();
  EXPECT_TRUE(w->main->UeberwachTimer().isActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w->main->UeberwachTimer().isActive(); }, 60000));
  if (oldDrives) {
    setenv("QUARRY_DRIVES", savedDrives.c_str(), 1);
  } else {
    unsetenv("QUARRY_DRIVES");
  }

  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{});
  const std::string driveList = drive_.ReadFile("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt");
  EXPECT_NE(driveList.find("T:\\docs\\a.htm\r\n\" c.txt\r\n"), std::string::npos);
  EXPECT_NE(driveList.find("T:\\docs\\sub\\b.html\r\n"), std::string::npos);
  EXPECT_EQ(w->main->DatabaseNames(), (std::vector<std::u16string>{u"e2e", u"e2e2"}));
  EXPECT_EQ(w->main->Form().ListBox1->currentRow(), 0);
  EXPECT_EQ(w->state.HistoryName, u"e2e");
  EXPECT_EQ(Status(*w), QStringLiteral("Fertig mit der Indizierung."));
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/e2e.dat"),
            "PFAD_UND_ENDUNGEN= T:\\docs *.htm *.html   \r\nT:\\docs\\a.htm\r\nT:\\docs\\sub\\b.html\r\n");
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/e2e_UTF8Dokument.txt"),
            " \r\n \r\n#T:\\docs\\a.htm\r\n======\r\n\r\n\r\nGr\xC3\xBC\xC3\x9F"
            "e aus dem Haus\r\n"
            " \r\n \r\n#T:\\docs\\sub\\b.html\r\n=========\r\n\r\n\r\nStra\xC3\x9F"
            "e\r\n");
  EXPECT_FALSE(drive_.ReadFile("base/Datenbank/e2e_Utf8_TitelPositionen.txt").empty());
  const std::string log = drive_.ReadFile("base/Datenbank/e2e.log");
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.substr(0, 2), "\xFF\xFE");
  const std::u16string logText =
      QString::fromUtf16(reinterpret_cast<const char16_t*>(log.data() + 2), qsizetype((log.size() - 2) / 2))
          .toStdU16String();
  EXPECT_NE(logText.find(u"Dateien insgesamt: 2\r\n"), std::u16string::npos);
  EXPECT_NE(logText.find(u"2 HTML-Dateien wurden indiziert."), std::u16string::npos);
  EXPECT_FALSE(w->state.UpdateMode);
  EXPECT_TRUE(w->main->Form().SuchenBtn->isEnabled());

  // And the new database is searched from the main window, as a click on "Lokale Suche" would.
  w->main->ShowSearchWindow = [](search::TSuchForm& form) {
    form.SetSearchText(u"Haus");
    form.OKBtnClick();
    return form.result() == QDialog::Accepted;
  };
  w->main->SuchenBtnClick();
  const std::string page = drive_.ReadFile("base/Datenbank/Temp/QY_Ergebnis.htm");
  EXPECT_NE(page.find("file:///"), std::string::npos);
  EXPECT_NE(page.find("T:\\docs\\a.htm"), std::string::npos);
  EXPECT_NE(page.find("<b>Haus</b>"), std::string::npos);
  EXPECT_EQ(page.find("b.html"), std::string::npos);
  EXPECT_EQ(w->search->Suggestions(), std::vector<std::u16string>{u"Haus"});
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{});
}

}  // namespace
}  // namespace formstest
