// The settings window: its texts, the browsers found on PATH, the defaults, the viewer
// font's range, the colour choices with a scripted chooser, and OK, Cancel and the sort
// question.
#include <sys/stat.h>

#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/settings/qt_text.h"
#include "app/settings/colors.h"
#include "forms_fixture.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/settings.h"
#include "ui_einstell_form.h"
#include "ui_main_form.h"

namespace formstest {
namespace {

namespace fs = std::filesystem;
using app::TEinstellform;
using Browser = app::TEinstellform::Browser;
using platform::MsgResult;

QColor Named(std::u16string_view name) { return app::ToQColor(*app::ColorFromText(name)); }
QColor WindowColor(const QWidget* w) { return w->palette().color(QPalette::Window); }
QColor TextColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }
bool SamePicture(const QPixmap& a, const QPixmap& b) {
  return !a.isNull() && a.toImage().convertToFormat(QImage::Format_ARGB32) ==
                            b.toImage().convertToFormat(QImage::Format_ARGB32);
}

// PATH is a folder of the test's own, so the browsers of this machine play no part.
class EinstellFormTest : public FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    if (const char* path = std::getenv("PATH")) oldPath_ = path;
    fs::create_directories(drive_.Posix("bin"));
    setenv("PATH", drive_.Posix("bin").c_str(), 1);
  }
  void TearDown() override {
    if (oldPath_) setenv("PATH", oldPath_->c_str(), 1);
    FormsTest::TearDown();
  }
  void Stub(const std::string& name, mode_t mode = 0755) {
    drive_.WriteFile("bin/" + name, "#!/bin/sh\nexit 0\n");
    ASSERT_EQ(::chmod(drive_.Posix("bin/" + name).c_str(), mode), 0);
  }
  // The real windows, reached by the settings as in the program.
  std::unique_ptr<Windows> StartWired() {
    auto w = Start();
    w->settings->SetWindows(w->main.get(), w->dialog.get(), w->search.get());
    return w;
  }
  std::optional<std::string> oldPath_;
};

// Records what the settings ask of the other windows.
struct FakeHost : app::EinstellHost {
  int fontSize = 10;
  bool searchVisible = false;
  std::optional<bool> hintsShown;
  void SetWindowColor(const QColor&) override {}
  void SetHintColor(const QColor&) override {}
  void SetMainWindowSize(int, int) override {}
  void SetSearchWindowSize(int, int) override {}
  void RelayoutMainWindow() override {}
  bool SearchWindowVisible() const override { return searchVisible; }
  int ViewerFontSize() const override { return fontSize; }
  void SetViewerFontSize(int pointSize) override { fontSize = pointSize; }
  void SetViewerHintsShown(bool on) override { hintsShown = on; }
};

TEST_F(EinstellFormTest, EveryTextAsTheWindowGivesIt) {
  auto w = Start();
  TEinstellform& s = *w->settings;
  auto& f = s.Form();
  EXPECT_EQ(s.windowTitle(), QStringLiteral("Einstellungen"));
  EXPECT_EQ(s.size(), QSize(447, 642));
  EXPECT_EQ(s.minimumSize(), s.maximumSize());  // a dialog border
  const struct {
    QWidget* widget;
    const char* text;
  } texts[] = {
      {f.SuchtextInClipbrdCheckBox, "Suchtext nach Suche in Zwischenablage kopieren"},
      {f.KurzhinweisImViewerZeigenCheckBox, "Kurzhinweis im Viewer an Mauscursor anzeigen"},
      {f.FarbenAendernButton, "Fenster Hintergrund Farben ändern"},
      {f.HinweistexteFarbenAendernButton, "Hinweistexte Farben ändern"},
      {f.Button1, "Standard wieder herstellen"},
      {f.SortierungAnzeigenBitBtn, "       Sortierte Listen erstellen       "},
      {f.Label1, "Schriftgröße Text-Viewer"},
      {f.Label2, "Diese Browser sind auf Ihrem PC installiert:"},
      {f.Label3, "Dieser Browser zeigt aktuell die Suchergebnisse an:"},
      {f.Label4, "Symbol anklicken für Browser Auswahl."},
      {f.Label5, "Ihre Browser Standardeinstellung wird NICHT geändert."},
      {f.OkButton, "OK"},
      {f.AbbruchButton, "&Abbruch"},
      // The search window is hidden: the font buttons say what they do.
      {f.SpeedButton1, "+    "},
      {f.SpeedButton2, "-    "},
  };
  for (const auto& t : texts) {
    const QString shown = qobject_cast<QLabel*>(t.widget) ? qobject_cast<QLabel*>(t.widget)->text()
                                                          : qobject_cast<QAbstractButton*>(t.widget)->text();
    EXPECT_EQ(shown, QString::fromUtf8(t.text)) << t.widget->objectName().toStdString();
  }
  EXPECT_TRUE(f.SuchtextInClipbrdCheckBox->isChecked());
  EXPECT_TRUE(f.KurzhinweisImViewerZeigenCheckBox->isChecked());
  EXPECT_TRUE(f.OkButton->isDefault());
  EXPECT_FALSE(f.leer_Image->isVisibleTo(&s));
  const char* hints[] = {"Standard Browser", "Microsoft Internet Explorer", "Microsoft Edge", "Google Chrome",
                         "Opera", "Safari", "FireFox"};
  for (int i = 0; i < TEinstellform::kBrowserCount; ++i) {
    EXPECT_EQ(TEinstellform::BrowserHint(Browser(i)), app::FromQ(QString::fromUtf8(hints[i])));
    EXPECT_EQ(s.BrowserImage(Browser(i))->size(), QSize(40, 40));
  }
  ExpectEveryTextFits(s, "default size");
}

TEST_F(EinstellFormTest, NothingOverlapsAndEveryWidgetLiesInsideTheWindow) {
  auto w = Start();
  TEinstellform& s = *w->settings;
  s.show();
  std::vector<QWidget*> shown;
  for (QWidget* child : s.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!child->isVisibleTo(&s)) continue;
    EXPECT_TRUE(s.rect().contains(child->geometry())) << child->objectName().toStdString();
    for (QWidget* other : shown) {
      EXPECT_FALSE(child->geometry().intersects(other->geometry()))
          << child->objectName().toStdString() << " / " << other->objectName().toStdString();
    }
    shown.push_back(child);
  }
  EXPECT_GE(shown.size(), 22u);
  s.hide();
}

TEST_F(EinstellFormTest, BrowsersAreFoundOnPathAndTheOthersShowThePlaceholder) {
  const struct {
    std::vector<std::string> stubs;
    std::vector<Browser> found;  // besides the standard browser
  } cases[] = {
      {{}, {}},
      {{"firefox"}, {Browser::Firefox}},
      {{"firefox-esr"}, {Browser::Firefox}},
      {{"chromium"}, {Browser::Chrome}},
      {{"google-chrome"}, {Browser::Chrome}},
      {{"microsoft-edge"}, {Browser::Edge}},
      {{"opera", "firefox"}, {Browser::Opera, Browser::Firefox}},
      // Browsers that cannot exist here stay placeholders whatever lies on PATH.
      {{"safari", "iexplore", "internet explorer"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stubs.empty() ? std::string("none") : c.stubs.front());
    fs::remove_all(drive_.Posix("bin"));
    fs::create_directories(drive_.Posix("bin"));
    for (const auto& name : c.stubs) Stub(name);
    app::ProgramState state;
    TEinstellform s(state);
    for (int i = 0; i < TEinstellform::kBrowserCount; ++i) {
      const Browser b = Browser(i);
      const bool expected = b == Browser::Standard || std::find(c.found.begin(), c.found.end(), b) != c.found.end();
      QLabel* image = s.BrowserImage(b);
      EXPECT_EQ(s.BrowserSelectable(b), expected) << i;
      EXPECT_TRUE(image->isVisibleTo(&s)) << i;
      EXPECT_EQ(image->toolTip(), expected ? app::ToQ(TEinstellform::BrowserHint(b)) : QString()) << i;
      EXPECT_TRUE(SamePicture(image->pixmap(), expected ? TEinstellform::BrowserPicture(b)
                                                        : TEinstellform::PlaceholderPicture()))
          << i;
    }
  }
  // A file that is not executable is no program.
  fs::remove_all(drive_.Posix("bin"));
  fs::create_directories(drive_.Posix("bin"));
  Stub("firefox", 0644);
  app::ProgramState state;
  EXPECT_FALSE(TEinstellform(state).BrowserSelectable(Browser::Firefox));
}

TEST_F(EinstellFormTest, ThePicturesAreDistinctAndNoneIsThePlaceholder) {
  for (int i = 0; i < TEinstellform::kBrowserCount; ++i) {
    EXPECT_FALSE(SamePicture(TEinstellform::BrowserPicture(Browser(i)), TEinstellform::PlaceholderPicture()));
    for (int j = 0; j < i; ++j) {
      EXPECT_FALSE(SamePicture(TEinstellform::BrowserPicture(Browser(i)), TEinstellform::BrowserPicture(Browser(j))));
    }
  }
}

TEST_F(EinstellFormTest, ThePlaceholdersCannotBeChosenTheInstalledOnesCan) {
  Stub("firefox");
  SetReg(app::reg::Browser, u"standard");
  auto w = Start();
  TEinstellform& s = *w->settings;
  w->state.BrowserSetting = "standard";
  QLabel* current = s.CurrentBrowserImage();
  ASSERT_TRUE(SamePicture(current->pixmap(), TEinstellform::BrowserPicture(Browser::Standard)));
  for (Browser b : {Browser::InternetExplorer, Browser::Edge, Browser::Chrome, Browser::Opera, Browser::Safari}) {
    QTest::mouseClick(s.BrowserImage(b), Qt::LeftButton);
    EXPECT_EQ(Reg(app::reg::Browser), u"standard");
    EXPECT_TRUE(SamePicture(current->pixmap(), TEinstellform::BrowserPicture(Browser::Standard)));
  }
  QTest::mouseClick(s.BrowserImage(Browser::Firefox), Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::Browser), u"firefox");
  EXPECT_TRUE(SamePicture(current->pixmap(), TEinstellform::BrowserPicture(Browser::Firefox)));
  // The browser start reads the stored value; the in-memory one stays.
  EXPECT_EQ(w->state.BrowserSetting, "standard");
  QTest::mouseClick(s.BrowserImage(Browser::Standard), Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::Browser), u"standard");
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(EinstellFormTest, TheStoredBrowserIsShownEvenWhenItIsNotInstalled) {
  const struct {
    std::u16string_view stored;
    std::optional<Browser> shown;  // nullopt: no picture
    std::string setting;           // BrowserSetting afterwards
  } cases[] = {
      {u"firefox", Browser::Firefox, "firefox"},
      {u"internet explorer", Browser::InternetExplorer, "internet explorer"},
      {u"msedge", Browser::Edge, "edge"},
      // A later key overrides an earlier one.
      {u"chrome oder firefox", Browser::Firefox, "firefox"},
      // The keys match in their exact case.
      {u"Firefox", std::nullopt, "vorher"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored.begin(), c.stored.end()));
    SetReg(app::reg::Browser, c.stored);
    app::ProgramState state;
    state.BrowserSetting = "vorher";
    TEinstellform s(state);
    EXPECT_EQ(state.BrowserSetting, c.setting);
    if (c.shown) {
      EXPECT_TRUE(SamePicture(s.CurrentBrowserImage()->pixmap(), TEinstellform::BrowserPicture(*c.shown)));
    } else {
      EXPECT_TRUE(s.CurrentBrowserImage()->pixmap().isNull());
    }
  }
}

TEST_F(EinstellFormTest, StandardWiederHerstellenSetsAndStoresEveryDefault) {
  SetReg(app::reg::Farbe, u"clRed");
  SetReg(app::reg::HinweistextFarbe, u"clBlack");
  SetReg(app::reg::SchriftsizeTextViewer, u"14");
  SetReg(app::reg::Hoehe, u"700");
  SetReg(app::reg::Weite, u"1000");
  SetReg(app::reg::SHoehe, u"650");
  SetReg(app::reg::SWeite, u"1100");
  auto w = StartWired();
  w->search->SetViewerFontSize(14);
  w->main->resize(1000, 700);
  w->state.BackgroundColorName = "clRed";
  w->state.HintColorName = "clBlack";
  QTest::mouseClick(w->settings->Form().Button1, Qt::LeftButton);

  const std::u16string width = app::FromQ(QString::number(w->state.DefaultWidth));
  const struct {
    std::u16string_view name;
    std::u16string value;
  } stored[] = {
      {app::reg::SchriftsizeTextViewer, u"10"}, {app::reg::Farbe, u"clHighlight"}, {app::reg::Hoehe, u"506"},
      {app::reg::Weite, width},                 {app::reg::SHoehe, u"500"},        {app::reg::SWeite, width},
      {app::reg::HinweistextFarbe, u"clWhite"},
  };
  for (const auto& v : stored) EXPECT_EQ(Reg(v.name), v.value) << std::string(v.name.begin(), v.name.end());
  EXPECT_EQ(w->state.BackgroundColorName, "clHighlight");
  EXPECT_EQ(w->state.HintColorName, "clWhite");
  EXPECT_EQ(w->state.MainHeight, 506);
  EXPECT_EQ(w->state.MainWidth, w->state.DefaultWidth);
  EXPECT_EQ(w->state.SearchHeight, 500);
  EXPECT_EQ(w->state.SearchWidth, w->state.DefaultWidth);
  EXPECT_EQ(w->main->height(), 506);
  EXPECT_EQ(w->search->ViewerFontSize(), 10);

  const QColor highlight = Named(u"clHighlight");
  for (QWidget* window : std::initializer_list<QWidget*>{w->main.get(), w->settings.get(), w->search.get(),
                                                         w->dialog.get(), w->main->Form().Panel1}) {
    EXPECT_EQ(WindowColor(window), highlight) << window->objectName().toStdString();
  }
  EXPECT_FALSE(w->main->Form().Image1->autoFillBackground());  // transparent
  for (QWidget* label : std::initializer_list<QWidget*>{w->settings->Form().Label1, w->settings->Form().Label5,
                                                        w->settings->Form().SuchtextInClipbrdCheckBox,
                                                        w->main->Form().Label1, w->main->Form().GeduldLabel}) {
    EXPECT_EQ(TextColor(label), QColor(Qt::white)) << label->objectName().toStdString();
  }
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(EinstellFormTest, TheViewerFontStaysBetween6And72) {
  const struct {
    int64_t size;
    int clamped;
  } sizes[] = {{INT64_MIN, 6}, {-3, 6}, {0, 6}, {5, 6}, {6, 6}, {10, 10}, {72, 72}, {73, 72}, {INT64_MAX, 72}};
  for (const auto& c : sizes) EXPECT_EQ(app::ClampViewerFontSize(c.size), c.clamped) << c.size;

  // As the settings are read.
  const struct {
    std::u16string_view stored;  // empty: missing
    int size;
  } stored[] = {{u"", 10}, {u"0", 6}, {u"-4", 6}, {u"14", 14}, {u"100", 72}, {u"zehn", 10}};
  for (const auto& c : stored) {
    if (c.stored.empty()) {
      platform::SettingsStore::User().Delete(app::kRegistryKey, app::reg::SchriftsizeTextViewer);
    } else {
      SetReg(app::reg::SchriftsizeTextViewer, c.stored);
    }
    EXPECT_EQ(app::LeseViewerFontSize(), c.size) << std::string(c.stored.begin(), c.stored.end());
  }

  // As the buttons change it, also from a size read out of range.
  app::ProgramState state;
  TEinstellform s(state);
  FakeHost host;
  s.SetHost(&host);
  const struct {
    int before;
    bool larger;
    int after;
  } clicks[] = {{10, true, 11}, {10, false, 9}, {72, true, 72}, {6, false, 6}, {0, true, 6}, {0, false, 6},
                {500, false, 72}};
  for (const auto& c : clicks) {
    host.fontSize = c.before;
    c.larger ? s.SpeedButton1Click() : s.SpeedButton2Click();
    EXPECT_EQ(host.fontSize, c.after) << c.before << (c.larger ? " +" : " -");
  }
  // The program's windows.
  auto w = StartWired();
  w->search->SetViewerFontSize(72);
  w->settings->SpeedButton1Click();
  EXPECT_EQ(w->search->ViewerFontSize(), 72);
  w->settings->SpeedButton2Click();
  EXPECT_EQ(w->search->ViewerFontSize(), 71);
}

TEST_F(EinstellFormTest, TheFontAndSortButtonsWorkOnlyWithTheSearchWindowShown) {
  app::ProgramState state;
  TEinstellform s(state);
  FakeHost host;
  s.SetHost(&host);
  for (bool visible : {false, true, false}) {
    host.searchVisible = visible;
    s.FormPaint();
    auto& f = s.Form();
    EXPECT_EQ(f.SortierungAnzeigenBitBtn->isEnabled(), visible);
    EXPECT_EQ(f.SpeedButton1->isEnabled(), visible);
    EXPECT_EQ(f.SpeedButton2->isEnabled(), visible);
    EXPECT_EQ(f.SpeedButton1->text(), visible ? QString() : QStringLiteral("+    "));
    EXPECT_EQ(f.SpeedButton2->text(), visible ? QString() : QStringLiteral("-    "));
  }
}

TEST_F(EinstellFormTest, AChosenWindowColourReachesEveryWindowAndIsStored) {
  auto w = StartWired();
  w->state.BackgroundColorName = "clHighlight";
  app::SetWidgetBackground(w->settings.get(), Named(u"clHighlight"));
  std::vector<QColor> offered;
  std::optional<QColor> answer;
  w->settings->ColorDialog1 = [&](const QColor& initial) {
    offered.push_back(initial);
    return answer;
  };
  // The dialog's Cancel changes nothing.
  QTest::mouseClick(w->settings->Form().FarbenAendernButton, Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::Farbe), u"clHighlight");
  EXPECT_FALSE(w->settings->ColorChanged());

  const QColor chosen(0x12, 0x34, 0x56);
  answer = chosen;
  QTest::mouseClick(w->settings->Form().FarbenAendernButton, Qt::LeftButton);
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[1], Named(u"clHighlight"));
  EXPECT_EQ(Reg(app::reg::Farbe), u"$00563412");
  EXPECT_EQ(w->state.BackgroundColorName, "$00563412");
  EXPECT_TRUE(w->settings->ColorChanged());
  for (QWidget* window : std::initializer_list<QWidget*>{w->main.get(), w->settings.get(), w->search.get(),
                                                         w->dialog.get(), w->main->Form().Panel1}) {
    EXPECT_EQ(WindowColor(window), chosen) << window->objectName().toStdString();
  }

  // The text colour.
  answer = Named(u"clRed");
  QTest::mouseClick(w->settings->Form().HinweistexteFarbenAendernButton, Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::HinweistextFarbe), u"clRed");
  EXPECT_EQ(w->state.HintColorName, "clRed");
  for (QWidget* label : std::initializer_list<QWidget*>{w->settings->Form().Label3,
                                                        w->settings->Form().KurzhinweisImViewerZeigenCheckBox,
                                                        w->main->Form().Label2, w->main->Form().SpeedButton1}) {
    EXPECT_EQ(TextColor(label), QColor(Qt::red)) << label->objectName().toStdString();
  }
  // The check marks keep a colour of their own, or a light hint colour would hide them.
  EXPECT_NE(w->settings->Form().SuchtextInClipbrdCheckBox->palette().color(QPalette::Text), QColor(Qt::red));
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(EinstellFormTest, CancelTakesBackOnlyTheColourChosenSinceOpening) {
  auto w = StartWired();
  TEinstellform& s = *w->settings;
  w->state.BackgroundColorName = "clGreen";
  SetReg(app::reg::Farbe, u"clGreen");
  std::optional<QColor> answer = Named(u"clNavy");
  s.ColorDialog1 = [&](const QColor&) { return answer; };

  // Chosen, then cancelled: the colour from before comes back.
  s.show();
  QTest::mouseClick(s.Form().FarbenAendernButton, Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::Farbe), u"clNavy");
  QTest::mouseClick(s.Form().AbbruchButton, Qt::LeftButton);
  EXPECT_FALSE(s.isVisible());
  EXPECT_EQ(s.result(), QDialog::Rejected);
  EXPECT_EQ(Reg(app::reg::Farbe), u"clGreen");
  EXPECT_EQ(w->state.BackgroundColorName, "clGreen");
  EXPECT_EQ(WindowColor(w->main.get()), Named(u"clGreen"));

  // Chosen and confirmed, then opened again and cancelled: it stays.
  s.show();
  QTest::mouseClick(s.Form().FarbenAendernButton, Qt::LeftButton);
  QTest::mouseClick(s.Form().OkButton, Qt::LeftButton);
  EXPECT_EQ(s.result(), QDialog::Accepted);
  s.show();
  QTest::keyClick(&s, Qt::Key_Escape);  // Escape is the cancel button
  EXPECT_FALSE(s.isVisible());
  EXPECT_EQ(Reg(app::reg::Farbe), u"clNavy");
  EXPECT_EQ(WindowColor(w->main.get()), Named(u"clNavy"));
  EXPECT_TRUE(s.ColorChanged());
}

TEST_F(EinstellFormTest, OkStoresTheCheckBoxesCancelForgetsThem) {
  auto w = StartWired();
  TEinstellform& s = *w->settings;
  auto& f = s.Form();
  // Cancel: nothing stored, the boxes show the stored state again.
  s.show();
  f.SuchtextInClipbrdCheckBox->setChecked(false);
  f.KurzhinweisImViewerZeigenCheckBox->setChecked(false);
  QTest::mouseClick(f.AbbruchButton, Qt::LeftButton);
  EXPECT_EQ(Reg(app::reg::SuchwortInZwischenablage), u"1");
  EXPECT_EQ(Reg(app::reg::KurzhinweisImViewer), u"1");
  EXPECT_TRUE(f.SuchtextInClipbrdCheckBox->isChecked());
  EXPECT_TRUE(f.KurzhinweisImViewerZeigenCheckBox->isChecked());

  const struct {
    bool copy, hint;
  } choices[] = {{false, true}, {true, false}, {true, true}};
  for (const auto& c : choices) {
    s.show();
    f.SuchtextInClipbrdCheckBox->setChecked(c.copy);
    f.KurzhinweisImViewerZeigenCheckBox->setChecked(c.hint);
    QTest::keyClick(f.OkButton, Qt::Key_Return);  // OK is the default button
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ(s.result(), QDialog::Accepted);
    EXPECT_EQ(Reg(app::reg::SuchwortInZwischenablage), c.copy ? u"1" : u"0");
    EXPECT_EQ(Reg(app::reg::KurzhinweisImViewer), c.hint ? u"1" : u"0");
    EXPECT_EQ(w->search->MemoHintsShown(), c.hint);
  }
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(EinstellFormTest, SortedListsAreAskedForAndHandedToTheSearchWindow) {
  app::ProgramState state;
  state.CurrentDbName = u"Archiv";
  state.CancelRequested = true;
  TEinstellform s(state);
  int shown = 0;
  s.ShowSortControls = [&] { ++shown; };
  s.show();
  sink_->Answer(MsgResult::No);
  s.SortierungAnzeigenBitBtnClick();
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(state.CancelRequested);
  EXPECT_TRUE(s.isVisible());
  sink_->Answer(MsgResult::Yes);
  s.SortierungAnzeigenBitBtnClick();
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(state.CancelRequested);
  EXPECT_FALSE(s.isVisible());
  const std::u16string question =
      u"Möchten Sie die Dokumente von \"Archiv\" sortieren?\r\n"
      u"Vorhandene sortierte Listen werden überschrieben! Wenn JA, dann \r\n"
      u"klicken Sie anschließend auf den Schalter \"Sortierte Listen erstellen\"";
  ASSERT_EQ(BoxTexts(), (std::vector<std::u16string>{question, question}));
  EXPECT_EQ(sink_->Boxes()[0].flags, platform::mb::YesNo | platform::mb::IconQuestion);
}

TEST_F(EinstellFormTest, ASettingThatCannotBeSavedIsReported) {
  Stub("opera");
  auto w = StartWired();
  const std::string before = drive_.ReadFile("registry.ini");
  w->settings->ColorDialog1 = [](const QColor&) { return std::optional<QColor>(Qt::darkGreen); };
  const std::u16string complaint =
      u"Die Einstellungen konnten nicht gespeichert werden: " +
      *platform::PosixUtf8ToWide(drive_.Posix("registry.ini") + ": " + platform::SystemErrorText(ENOSPC));
  platform::FaultPlan plan;
  plan.rules.push_back({platform::FaultOp::Write, 1, ENOSPC, true});
  {
    platform::ScopedFaults armed(plan);
    QTest::mouseClick(w->settings->BrowserImage(Browser::Opera), Qt::LeftButton);
    w->settings->FarbenAendernButtonClick();
    w->settings->Button1Click();
  }
  // Each change is reported once; the defaults as one.
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{complaint, complaint, complaint}));
  EXPECT_EQ(sink_->Boxes()[0].caption, u"Quarry-HTML");
  EXPECT_EQ(sink_->Boxes()[0].flags, platform::mb::Ok | platform::mb::IconError);
  EXPECT_EQ(drive_.ReadFile("registry.ini"), before);
}

}  // namespace
}  // namespace formstest
