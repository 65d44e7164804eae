#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "forms_fixture.h"
#include "platform/settings.h"
#include "platform/window_directory.h"
#include "ui_main_form.h"

namespace formstest {
namespace {

using platform::MsgResult;

TEST_F(FormsTest, FirstRunWritesTheTwelveDefaultsInOrder) {
  auto w = Start();
  const auto names = platform::SettingsStore::User().ValueNames(app::kRegistryKey);
  ASSERT_EQ(names.size(), app::kFirstRunValues.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i], app::kFirstRunValues[i].name);
    EXPECT_EQ(Reg(names[i]), app::kFirstRunValues[i].value);
  }
  EXPECT_EQ(w->state.BackgroundColorName, "clHighlight");
  EXPECT_EQ(w->state.HintColorName, "clWhite");
  // The offscreen screen is 800 pixels wide: the default width follows it, the stored
  // widths stay 900 and are what the windows get.
  ASSERT_LE(QGuiApplication::primaryScreen()->geometry().width(), 1024);
  EXPECT_EQ(w->state.DefaultWidth, QGuiApplication::primaryScreen()->geometry().width());
  EXPECT_EQ(w->state.MainWidth, 900);
  EXPECT_EQ(w->state.SearchWidth, 900);
  EXPECT_EQ(w->state.MainHeight, 506);
  EXPECT_EQ(w->state.SearchHeight, 500);
}

TEST_F(FormsTest, LaterRunsKeepTheStoredValuesAndFillMissingSizes) {
  SetReg(app::reg::AusgewaehlteDatenbank, u"2");
  SetReg(app::reg::Hoehe, u"600");
  auto w = Start();
  EXPECT_EQ(platform::SettingsStore::User().ValueNames(app::kRegistryKey).size(), 2u);
  EXPECT_EQ(w->state.MainHeight, 600);
  EXPECT_EQ(w->state.MainWidth, w->state.DefaultWidth);  // missing: the default width
  EXPECT_EQ(w->state.SearchHeight, 500);
}

TEST_F(FormsTest, BaseFolderIsTheCurrentDirectoryWithoutAParameter) {
  auto w = Start();
  EXPECT_EQ(w->state.BaseFolder, u"T:\\base\\");
  EXPECT_EQ(w->state.BaseDriveLetter, u'T');
  EXPECT_EQ(w->state.AddressFilePath, "T:\\base\\Adressen_Webseiten.txt");
  for (const char* folder : {"base/Datenbank", "base/Datenbank/Suchwoerterlisten", "base/Datenbank/Temp"}) {
    EXPECT_TRUE(std::filesystem::is_directory(drive_.Posix(folder))) << folder;
  }
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(FormsTest, BaseFolderIsTheProgramFolderWithAnyParameter) {
  std::filesystem::create_directories(drive_.Posix("prog"));
  auto w = Start({QString::fromStdString(drive_.Posix("prog/QUARRY_HTML")), QStringLiteral("restart")});
  EXPECT_EQ(w->state.BaseFolder, u"T:\\prog\\");
  EXPECT_TRUE(std::filesystem::is_directory(drive_.Posix("prog/Datenbank/Temp")));
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix("base/Datenbank")));
}

TEST_F(FormsTest, AWorkFolderThatCannotBeCreatedIsReportedAndStartUpGoesOn) {
  drive_.WriteFile("base/Datenbank", "a file in the way");
  auto w = Start();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{
                            u"Kann das Verzeichnis T:\\base\\Datenbank nicht anlegen!",
                            u"Kann das Verzeichnis T:\\base\\Datenbank\\Suchwoerterlisten nicht anlegen!",
                            u"Kann das Verzeichnis T:\\base\\Datenbank\\Temp nicht anlegen!"}));
  EXPECT_EQ(w->state.MainHeight, 506);
}

TEST_F(FormsTest, ControlFolderIsContainedInTheBaseFolderIgnoringCase) {
  struct Case {
    std::u16string control;
    bool use;
    std::u16string stored;
  };
  const Case cases[] = {
      {u"T:\\Tools", true, u"T:\\Tools\\"},
      {u"t:\\TOOLS\\", true, u"t:\\TOOLS\\"},
      {u"T:\\tools\\search", true, u"T:\\tools\\search\\"},
      {u"T:\\Tool", false, u"T:\\Tool\\"},  // a folder of its own, not a prefix of a name
      {u"T:\\other", false, u"T:\\other\\"},
      {u"", false, u""},
  };
  std::filesystem::create_directories(drive_.Posix("tools/search"));
  for (const Case& c : cases) {
    SetReg(app::reg::QuarryControl, c.control);
    auto w = Start({QString::fromStdString(drive_.Posix("tools/search/QUARRY_HTML")), QStringLiteral("x")});
    EXPECT_EQ(w->state.BaseFolder, u"T:\\tools\\search\\");
    EXPECT_EQ(w->state.UseControlFolder, c.use) << std::string(c.control.begin(), c.control.end());
    EXPECT_EQ(w->state.ControlFolder, c.stored);
  }
}

void AddEntries(app::TMainForm_QY_HTML& main, int count) {
  for (int i = 0; i < count; ++i) main.Form().ListBox1->addItem(QStringLiteral("db%1").arg(i));
}

TEST_F(FormsTest, StoredSelectionIsRestoredWithinTheList) {
  struct Case {
    std::u16string stored;
    int selected;
  };
  for (const Case& c : {Case{u"3", 0}, Case{u"-1", 0}, Case{u"5", 0}, Case{u"2", 2}, Case{u"", 0}}) {
    SetReg(app::reg::AusgewaehlteDatenbank, c.stored.empty() ? u"x" : c.stored);
    auto w = Start();
    if (c.stored.empty()) platform::SettingsStore::User().Delete(app::kRegistryKey, app::reg::AusgewaehlteDatenbank);
    AddEntries(*w->main, 3);
    w->main->RestoreSelection();
    EXPECT_EQ(w->main->Form().ListBox1->currentRow(), c.selected);
    EXPECT_EQ(w->state.ClickedIndex, c.selected);
    EXPECT_EQ(w->state.SearchedIndex, c.selected);
    EXPECT_EQ(w->state.HistoryName, u"db" + std::u16string(1, char16_t(u'0' + c.selected)));
  }
}

TEST_F(FormsTest, FirstPaintAppliesTheSettingsOnce) {
  SetReg(app::reg::AusgewaehlteDatenbank, u"0");
  SetReg(app::reg::SchriftsizeTextViewer, u"14");
  SetReg(app::reg::KurzhinweisImViewer, u"0");
  SetReg(app::reg::SuchwortInZwischenablage, u"0");
  SetReg(app::reg::Weite, u"1000");
  SetReg(app::reg::Hoehe, u"600");
  auto w = Start();
  w->main->FormPaint();
  EXPECT_FALSE(w->main->FirstPaint());
  EXPECT_EQ(w->search->ViewerFontSize(), 14);
  EXPECT_FALSE(w->search->MemoHintsShown());
  EXPECT_FALSE(w->settings->CopySearchText());
  EXPECT_FALSE(w->settings->ShortHintInViewer());
  EXPECT_EQ(Reg(app::reg::Browser), u"standard");  // missing: written
  EXPECT_EQ(w->state.BrowserSetting, "standard");
  EXPECT_EQ(w->main->size(), QSize(1000, 600));
  EXPECT_EQ(w->main->Form().BitBtn2->text(), QStringLiteral("Schli&eßen"));
  EXPECT_EQ(w->main->windowTitle(), w->state.IsAdmin
                                        ? QStringLiteral("Quarry-HTML - Mit Administratorberechtigung gestartet.")
                                        : QStringLiteral("  Quarry-HTML -  Die Suchmaschine für HTML-Dokumente."));
  EXPECT_TRUE(w->main->Form().GeduldLabel->text().isEmpty());
  EXPECT_FALSE(w->main->ListGlyph().isNull());
}

TEST_F(FormsTest, EveryTextOfTheMainWindowFitsAtTheDefaultSize) {
  auto w = Start();
  w->main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w->main.get()));
  QCoreApplication::processEvents();
  ASSERT_FALSE(w->main->FirstPaint());
  EXPECT_EQ(w->main->size(), QSize(900, 506));
  // The longest status lines the window writes itself.
  const QString lines[] = {
      QStringLiteral("\"Manifester\" wurde abgebrochen oder Vorgabezeit überschritten!"),
      QStringLiteral("Datenbank wird aktualisiert. Bitte Geduld! Windows Defender überprüft gerade Quarry."),
      QStringLiteral("MHT/EML-Dateien - Fertig mit der abgebrochenen Indizierung. Es wurden 1234567 Dateien "
                     "indiziert."),
      QStringLiteral("Fertig mit der Indizierung (nur Pfadliste wurde erstellt)."),
  };
  // The disabled title button in the toolbar is drawn in the hint colour, not greyed out.
  auto* title = w->main->Form().SpeedButton3;
  EXPECT_FALSE(title->isEnabled());
  EXPECT_EQ(title->palette().color(QPalette::Disabled, QPalette::ButtonText), QColor(Qt::white));
  for (const QString& line : lines) {
    w->main->Form().Label1->setText(line);
    w->main->Form().Label2->setText(QStringLiteral("Anzahl Dateien:     1.234.567     Zeit: 123:59:59"));
    QCoreApplication::processEvents();
    ExpectEveryTextFits(*w->main, line.toStdString().c_str());
  }
  w->main->hide();
}

TEST_F(FormsTest, TheWindowCannotBeMadeSmallerThan900By504) {
  auto w = Start();
  w->main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w->main.get()));
  w->main->resize(500, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->main->size(), QSize(900, 504));
  w->main->resize(1200, 700);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->main->size(), QSize(1200, 700));
  auto& ui = w->main->Form();
  EXPECT_EQ(ui.ToolButton1->width(), 1200 - 3 * ui.SpeedButton1->width() - ui.SpeedButton3->width() + 2);
  w->main->hide();
}

TEST_F(FormsTest, NoClosesNothingAndYesStoresTheValuesAndEmptiesTemp) {
  SetReg(app::reg::AusgewaehlteDatenbank, u"0");
  auto w = Start();
  w->main->FormPaint();
  AddEntries(*w->main, 3);
  w->main->resize(950, 550);
  w->search->resize(1100, 620);
  drive_.WriteFile("base/Datenbank/Temp/a.htm", "x");
  std::filesystem::create_directories(drive_.Posix("base/Datenbank/Temp/sub"));
  drive_.WriteFile("base/Datenbank/Temp/sub/b.txt", "y");

  sink_->Answer(MsgResult::No);
  w->main->show();
  EXPECT_FALSE(w->main->close());
  ASSERT_EQ(BoxTexts(), std::vector<std::u16string>{u"Quarry-HTML wirklich schließen?"});
  EXPECT_EQ(sink_->Boxes()[0].flags & 0xF, platform::mb::YesNo);
  EXPECT_TRUE(w->main->isVisible());
  EXPECT_TRUE(Reg(app::reg::Weite).empty());  // nothing stored

  sink_->Answer(MsgResult::Yes);
  w->main->Form().ListBox1->setCurrentRow(-1);
  EXPECT_TRUE(w->main->close());
  EXPECT_EQ(Reg(app::reg::AusgewaehlteDatenbank), u"0");  // nothing selected in a non-empty list
  EXPECT_EQ(Reg(app::reg::Hoehe), u"550");
  EXPECT_EQ(Reg(app::reg::Weite), u"950");
  EXPECT_EQ(Reg(app::reg::SHoehe), u"620");
  EXPECT_EQ(Reg(app::reg::SWeite), u"1100");
  EXPECT_EQ(Reg(app::reg::SchriftsizeTextViewer), u"10");
  EXPECT_EQ(Reg(app::reg::Farbe), u"clHighlight");
  EXPECT_EQ(w->main->Lists(), nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(drive_.Posix("base/Datenbank/Temp")));
  EXPECT_TRUE(std::filesystem::is_empty(drive_.Posix("base/Datenbank/Temp")));
}

TEST_F(FormsTest, CloseStoresTheSelectionAndKeepsTheSizeOfAMinimisedSearchWindow) {
  struct Case {
    int entries, selected;
    std::u16string stored;
  };
  for (const Case& c : {Case{0, -1, u"-1"}, Case{3, 2, u"2"}}) {
    SetReg(app::reg::SHoehe, u"500");
    auto w = Start();
    AddEntries(*w->main, c.entries);
    w->main->Form().ListBox1->setCurrentRow(c.selected);
    w->search->show();
    w->search->showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(w->search->SearchWindowMinimized());
    w->search->resize(1200, 700);
    sink_->Answer(MsgResult::Yes);
    EXPECT_TRUE(w->main->close());
    EXPECT_EQ(Reg(app::reg::AusgewaehlteDatenbank), c.stored);
    EXPECT_EQ(Reg(app::reg::SHoehe), u"500");
    w->search->hide();
  }
}

TEST_F(FormsTest, Message5735With99ClosesThroughTheCloseQuestion) {
  auto w = Start();
  w->main->show();
  ASSERT_TRUE(w->main->WindowHandle());
  platform::WindowDirectory directory;
  auto found = directory.FindWindowContaining(u"Quarry-HTML");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->handle, w->main->WindowHandle());
  const platform::WindowHandle handle = found->handle;

  ASSERT_TRUE(directory.PostMessage(handle, platform::kNoticeMessage, 1, 0));
  QTest::qWait(50);
  EXPECT_TRUE(sink_->Boxes().empty());

  sink_->Answer(MsgResult::Yes);
  ASSERT_TRUE(directory.PostMessage(handle, platform::kNoticeMessage, platform::kNoticeRestart, 0));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w->main->isVisible(); }, 2000));
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Quarry-HTML wirklich schließen?"});
}

TEST_F(FormsTest, BusyIndicatorCountsFiveDegreeSignsThenStartsAgain) {
  auto w = Start();
  const QString expected[] = {QStringLiteral("°"),         QStringLiteral("° °"),         QStringLiteral("° ° °"),
                              QStringLiteral("° ° ° °"), QStringLiteral("° ° ° ° °"), QString(),
                              QStringLiteral("°")};
  for (const QString& text : expected) {
    w->main->GedultTimerTimer();
    EXPECT_EQ(w->main->Form().GeduldLabel->text(), text);
  }
  EXPECT_EQ(w->main->BusyDotCount(), 1);
}

TEST_F(FormsTest, CountAndTimeLine) {
  // A clock of the test's own: the line must not depend on how long the machine is up,
  // and a start tick before the clock's zero must count as well as any other.
  struct Case {
    int64_t start, now;
    const char* time;
  };
  const Case cases[] = {
      {500, 3725999, "1:2:5"},
      {1000500, 4726000, "1:2:6"},  // whole seconds of each tick, as the line counts them
      {0, 0, "0:0:0"},
      {-500, 999, "0:0:1"},
      {-500, -1, "0:0:0"},
      {-3725500, 200, "1:2:6"},
      {-3726000, -1000, "1:2:5"},
      {-1, 0, "0:0:1"},
  };
  auto w = Start();
  w->state.IndexedFileCount = 1234567;
  for (const Case& c : cases) {
    w->main->Ticks = [&c] { return c.now; };
    w->state.IndexStartTick = c.start;
    w->main->Timer1Timer();
    EXPECT_EQ(w->main->Form().Label2->text(),
              QStringLiteral("Anzahl Dateien:     1.234.567     Zeit: ") + QString::fromLatin1(c.time))
        << c.start << " -> " << c.now;
  }
}

TEST_F(FormsTest, VirusScannerNoticeStopsWhenNoScannerRuns) {
  auto w = Start();
  w->main->setWindowTitle(QStringLiteral("Quarry"));
  w->main->SetVirusScannerName(u"no-such-scanner.exe");
  w->main->StartVirusScannerNotice();
  w->main->checkDefenderTimerTimer();
  EXPECT_FALSE(w->main->CheckDefenderTimer().isActive());
  EXPECT_EQ(w->main->windowTitle(), QStringLiteral("Quarry"));
}

TEST_F(FormsTest, VirusScannerNoticeWhileAScannerRuns) {
  auto w = Start();
  // This test program stands in for the scanner.
  w->main->SetVirusScannerName(u"test_app_forms");
  w->main->setWindowTitle(QStringLiteral("Quarry"));
  w->main->Form().Label1->setText(QStringLiteral("Datenbank wird neu erstellt."));
  w->main->StartVirusScannerNotice();
  w->main->checkDefenderTimerTimer();
  EXPECT_EQ(w->main->windowTitle(), QStringLiteral("Quarry"));
  w->main->checkDefenderTimerTimer();
  EXPECT_EQ(w->main->windowTitle(), QStringLiteral("Bitte Geduld! Windows Defender überprüft gerade Quarry."));
  EXPECT_EQ(w->main->Form().Label1->text(),
            QStringLiteral("Datenbank wird neu erstellt. Bitte Geduld! Windows Defender überprüft gerade Quarry."));
  w->main->checkDefenderTimerTimer();
  w->main->checkDefenderTimerTimer();
  EXPECT_TRUE(w->main->CheckDefenderTimer().isActive());
  w->main->checkDefenderTimerTimer();  // the fifth tick ends the notice
  EXPECT_FALSE(w->main->CheckDefenderTimer().isActive());
  EXPECT_EQ(w->main->DefenderTicks(), 0);
  EXPECT_TRUE(w->main->windowTitle().isEmpty());
  EXPECT_EQ(w->main->Form().Label1->text(), QStringLiteral("Datenbank wird neu erstellt."));
}

TEST_F(FormsTest, TimersStartDisabledWithTheirIntervals) {
  auto w = Start();
  EXPECT_FALSE(w->main->GedultTimer().isActive());
  EXPECT_EQ(w->main->GedultTimer().interval(), 1000);
  EXPECT_EQ(w->main->Timer1().interval(), 200);
  EXPECT_EQ(w->main->CheckDefenderTimer().interval(), 1000);
  EXPECT_EQ(w->main->UeberwachTimer().interval(), 500);
  EXPECT_EQ(w->main->CheckMHTAbbruchTimer().interval(), 1000);
  EXPECT_FALSE(w->main->Timer1().isActive() || w->main->CheckDefenderTimer().isActive());
}

TEST_F(FormsTest, MainWindowImageIsNotBlank) {
  SetReg(app::reg::AusgewaehlteDatenbank, u"0");
  auto w = Start();
  w->main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w->main.get()));
  QCoreApplication::processEvents();
  EXPECT_FALSE(w->main->FirstPaint());
  const std::string file = drive_.Posix("main.png");
  ASSERT_TRUE(w->main->grab().save(QString::fromStdString(file), "PNG"));
  QImage image(QString::fromStdString(file));
  ASSERT_FALSE(image.isNull());
  EXPECT_GE(image.width(), 900);
  // Buttons, labels and the list draw in colours of their own on the background.
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 8);
  const QRgb background = image.pixel(image.width() - 4, image.height() - 4);
  EXPECT_EQ(QColor(background), QColor(0x00, 0x78, 0xD7));  // clHighlight
  w->main->hide();
}

}  // namespace
}  // namespace formstest
