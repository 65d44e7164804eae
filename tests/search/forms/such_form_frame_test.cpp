// The search window as a frame: its size limits, the search entry's clean-up, the path
// entry, Esc and the close box during a run, an empty text, the hand-over file and the
// layout at the smallest and the largest size.
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/file.h"
#include "platform/pump.h"
#include "search/engine/title_positions.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"

namespace {

class SearchWindowFrame : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    std::filesystem::create_directories(drive_.Posix("base/Datenbank/Temp"));
    std::filesystem::create_directories(drive_.Posix("Docs"));
    drive_.WriteFile("Docs/brief.txt", "Lieber Hans");
    drive_.WriteFile("Docs/a.htm", "x");
    drive_.WriteFile("base/Datenbank/db.dat", "PFAD_UND_ENDUNGEN= T:\\Docs\\ *.htm    \r\n");
    drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt",
                     searchtest::Utf8Store({{u"T:\\Docs\\a.htm", u"Ein grünes Haus am See"}}));
    w_ = Start();
    w_->state.CurrentDbName = u"db";
    search::SearchSession session;
    search::Button4Click(session, {w_->state.BaseFolder, u"db"});
    Form().OpenDocument = [this](const std::u16string& path) {
      opened_.push_back(path);
      return true;
    };
    Form().OpenResultPage = [this](const std::u16string&) { ++browserStarts_; };
  }
  void TearDown() override {
    w_.reset();
    FormsTest::TearDown();
  }
  search::TSuchForm& Form() { return *w_->search; }
  widgets::TUniEdit* Entry() { return Form().findChild<widgets::TUniEdit*>(QStringLiteral("UniEdit2")); }
  template <class T = QWidget>
  T* Child(const char* name) {
    return Form().findChild<T*>(QString::fromLatin1(name));
  }
  // The boxes shown since the last call.
  std::vector<std::u16string> NewBoxes() {
    std::vector<std::u16string> all = BoxTexts();
    std::vector<std::u16string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }
  size_t seen_ = 0;
  bool PageWritten() { return platform::Stat(drive_.Posix("base/Datenbank/Temp/QY_Ergebnis.htm")).has_value(); }

  std::unique_ptr<formstest::Windows> w_;
  std::vector<std::u16string> opened_;
  int browserStarts_ = 0;
};

TEST_F(SearchWindowFrame, ResizingSnapsToTheSmallestUsableSize) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  struct Case {
    QSize asked, got;
  } const cases[] = {{{800, 400}, {1043, 500}}, {{1100, 499}, {1100, 499}}, {{1200, 300}, {1200, 500}},
                     {{1000, 700}, {1043, 700}}, {{1300, 800}, {1300, 800}}};
  for (const Case& c : cases) {
    Form().resize(c.asked);
    QCoreApplication::processEvents();
    EXPECT_EQ(Form().size(), c.got) << c.asked.width() << "x" << c.asked.height();
  }
}

TEST_F(SearchWindowFrame, MarkupRemnantsAreCutFromTheEntry) {
  const struct {
    const char16_t *pasted, *left;
  } cases[] = {{u"Haus</b>", u"Haus"}, {u"<b>Haus</b>", u"b"},   {u"/><Haus", u"Haus"},
               {u"Haus /", u"Haus"},   {u"a/b", u"a/b"},         {u"  \tgrünes Haus", u"grünes Haus"},
               {u"x<y", u"x"},         {u"Straße", u"Straße"}};
  for (const auto& c : cases) {
    Form().SetSearchText(c.pasted);
    EXPECT_EQ(Form().SearchText(), c.left) << widgets::ToQ(c.pasted).toStdString();
    EXPECT_EQ(Child<widgets::TUniLabel>("UniLabel1")->Caption(), u"Suchtext: " + std::u16string(c.left));
  }
  // An empty entry says so and disables the searches.
  Form().SetSearchText(u"");
  EXPECT_EQ(Child<widgets::TUniLabel>("UniLabel1")->Caption(), u"Es wurde kein Text eingegeben!");
  EXPECT_FALSE(Child<QPushButton>("OKBtn")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("SuchImInternetBtn")->isEnabled());
  Form().SetSearchText(u"Haus");
  EXPECT_TRUE(Child<QPushButton>("OKBtn")->isEnabled());
  EXPECT_EQ(Child<QPushButton>("OKBtn")->palette().color(QPalette::ButtonText), QColor(0, 0x80, 0));
}

// Typed key by key, a "/" or "<" is only the middle of a word; the rule waits for the search.
TEST_F(SearchWindowFrame, TypingKeepsEveryCharacterAndTheSearchCutsTheRemnants) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  Entry()->setFocus();
  for (const char* typed : {"km/h", "a<b", "x>y", "Haus/", "<b>"}) {
    Entry()->clear();
    QTest::keyClicks(Entry(), QString::fromLatin1(typed));
    EXPECT_EQ(Form().SearchText(), widgets::FromQ(QString::fromLatin1(typed))) << typed;
  }
  // Pasted, the remnants go at once.
  Entry()->clear();
  Entry()->insert(QStringLiteral("Haus</b>"));
  EXPECT_EQ(Form().SearchText(), u"Haus");
  // Typed, they go when the search starts.
  Entry()->clear();
  QTest::keyClicks(Entry(), QStringLiteral("Haus/"));
  Form().OKBtnClick();
  EXPECT_EQ(Form().SearchText(), u"Haus");
  EXPECT_EQ(Form().Engine().HitList.Count(), 1);
}

TEST_F(SearchWindowFrame, DisabledButtonsStayReadableAndAnAmpersandIsShownAsItIs) {
  Form().SetSearchText(u"Straßenbahn & Größe");
  auto* label = Child<widgets::TUniLabel>("UniLabel1");
  EXPECT_EQ(label->text(), QStringLiteral("Suchtext: Straßenbahn && Größe")) << "no accelerator";
  // Empty entry: both buttons disabled; their text must differ clearly from the button face.
  Form().SetSearchText(u"");
  for (const char* name : {"OKBtn", "SuchImInternetBtn", "SortierteListeBtn", "UTF8LadenButton", "WeiterSuche"}) {
    QPushButton* b = Child<QPushButton>(name);
    // What each shows when disabled (the search buttons are so now).
    const QColor face = b->palette().color(QPalette::Disabled, QPalette::Button);
    const QColor text = b->palette().color(QPalette::Disabled, QPalette::ButtonText);
    EXPECT_GT(std::abs(face.lightness() - text.lightness()), 90) << name;
  }
}

TEST_F(SearchWindowFrame, TheManualOpensOrItsAbsenceIsSaid) {
  QToolButton* help = Child<QToolButton>("SpeedButton1");
  help->click();
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(BoxTexts()[0], u"Die Anleitung \"T:\\base\\Quarry_HTML.pdf\" wurde nicht gefunden.\r\nSie wird mit "
                           u"QUARRY_HTML in den Basisordner installiert (scripts/run).");
  EXPECT_TRUE(opened_.empty());
  drive_.WriteFile("base/Quarry_HTML.pdf", "%PDF-1.4");
  help->click();
  EXPECT_EQ(opened_, std::vector<std::u16string>{u"T:\\base\\Quarry_HTML.pdf"});
  EXPECT_EQ(BoxTexts().size(), 1u);
  // The main window's "?" says the same of a missing manual.
  std::filesystem::remove(drive_.Posix("base/Quarry_HTML.pdf"));
  w_->main->SpeedButton1Click();
  ASSERT_EQ(BoxTexts().size(), 2u);
  EXPECT_EQ(BoxTexts()[1], BoxTexts()[0]);
}

TEST_F(SearchWindowFrame, PhraseAndOrBoxesStayOpposite) {
  auto* phrase = Child<QCheckBox>("PhraseCheckBox");
  auto* oder = Child<QCheckBox>("OderCheckBox");
  EXPECT_TRUE(oder->isChecked());
  Form().SetSearchText(u"grünes Haus");
  EXPECT_TRUE(phrase->isChecked());
  EXPECT_FALSE(oder->isChecked());
  Form().SetSearchText(u"Haus");
  EXPECT_FALSE(phrase->isChecked());
  EXPECT_TRUE(oder->isChecked());
  oder->setChecked(false);
  EXPECT_TRUE(phrase->isChecked());
}

TEST_F(SearchWindowFrame, APathEntryOpensTheDocumentOrNamesWhatIsMissing) {
  drive_.WriteFile("Docs/tool.sh", "#!/bin/sh\n");
  drive_.WriteFile("Docs/prog", "x");
  std::filesystem::permissions(drive_.Posix("Docs/prog"), std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  const std::u16string found = u"Bei dem Suchtext handelt es sich um einen Pfad zu einer Datei.\r\nMöchten Sie die "
                               u"Datei mit dem zugehörigen externen Programm öffnen?";
  struct Case {
    const char16_t* entry;
    platform::MsgResult answer;
    std::vector<std::u16string> boxes;
    std::vector<std::u16string> opened;
    const char16_t* left;
    bool closed;
  };
  const std::vector<Case> cases = {
      {u"#T:\\Docs\\brief.txt", platform::MsgResult::Yes, {found}, {u"T:\\Docs\\brief.txt"}, u"", false},
      {u"#T:\\Docs\\brief.txt", platform::MsgResult::No, {found}, {}, u"T:\\Docs\\brief.txt", false},
      {u"#Z:\\fehlt.txt", platform::MsgResult::Yes, {u"Z:\\fehlt.txt\r\nwurde nicht gefunden."}, {}, u"#Z:\\fehlt.txt", true},
      {u"#T:\\Docs\\tool.sh",
       platform::MsgResult::Yes,
       {found, u"T:\\Docs\\tool.sh\r\nist ein Programm und wird nicht gestartet."},
       {},
       u"T:\\Docs\\tool.sh",
       false},
      {u"#T:\\Docs\\prog.",
       platform::MsgResult::Yes,
       {u"?:\\Docs\\prog.\r\n hat keine Dateiendung.\r\nÜberprüfen Sie ob im Viewer der \"Pfad+Dateiname+Endung\" in "
        u"einer Zeile steht. Wenn der Eintrag umgebrochen ist (ein Teil steht eine Zeile darunter), dann verbreitern "
        u"Sie das Fenster bis er in einer Zeile steht.",
        u"T:\\Docs\\prog.\r\nwurde nicht gefunden."},
       {},
       u"#T:\\Docs\\prog.",
       true},
  };
  for (const Case& c : cases) {
    Form().show();
    Form().SetSearchText(u"");
    NewBoxes();
    opened_.clear();
    sink_->Answer(c.answer);
    // Pasted: the whole text at once.
    Entry()->setFocus();
    Entry()->insert(widgets::ToQ(c.entry));
    EXPECT_EQ(NewBoxes(), c.boxes);
    EXPECT_EQ(opened_, c.opened);
    EXPECT_EQ(Form().SearchText(), c.left);
    EXPECT_EQ(Form().isVisible(), !c.closed);
    EXPECT_EQ(Form().PathOpened(), !c.opened.empty());
    EXPECT_FALSE(PageWritten());
  }
}

TEST_F(SearchWindowFrame, APathTypedKeyByKeyIsRecognisedOnlyWhenTheSearchStarts) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  Entry()->setFocus();
  QTest::keyClicks(Entry(), QStringLiteral("#T:\\Docs\\brief.txt"));
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(Form().SearchText(), u"#T:\\Docs\\brief.txt");
  EXPECT_TRUE(Form().isVisible());
  sink_->Answer(platform::MsgResult::Yes);
  QTest::keyClick(Entry(), Qt::Key_Return);
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(opened_, std::vector<std::u16string>{u"T:\\Docs\\brief.txt"});
  EXPECT_FALSE(PageWritten());
  EXPECT_EQ(browserStarts_, 0);
}

TEST_F(SearchWindowFrame, AnEmptyTextIsRefusedInTheWindow) {
  Form().show();
  for (const char16_t* text : {u"", u"   "}) {
    NewBoxes();
    Form().SetSearchText(text);
    w_->state.Searching = true;
    Form().OKBtnClick();
    EXPECT_EQ(NewBoxes(), std::vector<std::u16string>{u"Sie haben keinen Suchtext eingegeben!"});
    EXPECT_TRUE(Form().isVisible());
    EXPECT_NE(Form().result(), QDialog::Accepted);
    EXPECT_FALSE(w_->state.Searching);
  }
  EXPECT_FALSE(PageWritten());
  EXPECT_EQ(browserStarts_, 0);
}

TEST_F(SearchWindowFrame, EnterBelongsToTheFocusedEntry) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  EXPECT_FALSE(Child<QPushButton>("OKBtn")->isDefault());
  Form().SetSearchText(u"Haus");
  auto* inDocument = Child<widgets::TUniEdit>("UniEdit1");
  inDocument->SetText(u"See");
  inDocument->setFocus();
  QTest::keyClick(inDocument, Qt::Key_Return);
  EXPECT_FALSE(PageWritten());
  EXPECT_TRUE(Form().isVisible());
  Entry()->setFocus();
  QTest::keyClick(Entry(), Qt::Key_Return);
  EXPECT_TRUE(PageWritten());
  EXPECT_EQ(Form().result(), QDialog::Accepted);
}

TEST_F(SearchWindowFrame, EscAndTheCloseBoxDuringARunCancelIt) {
  // Enough documents that the run processes messages while it searches.
  std::vector<searchtest::Doc> docs;
  for (int i = 0; i < 400; ++i) docs.push_back({u"T:\\Docs\\a.htm", u"Ein grünes Haus am See"});
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store(docs));
  platform::SetPumpHook([] { QCoreApplication::processEvents(); });
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  Form().SetSearchText(u"Haus");
  bool running = false, visibleAfterEsc = false, visibleAfterClose = false, cancelled = false;
  bool done = false;
  std::function<void()> poke = [&] {
    if (done) return;
    if (!Form().SearchRunning()) {
      QTimer::singleShot(0, poke);
      return;
    }
    running = true;
    QTest::keyClick(&Form(), Qt::Key_Escape);
    visibleAfterEsc = Form().isVisible();
    Form().close();
    visibleAfterClose = Form().isVisible();
    cancelled = w_->state.CancelRequested;
  };
  QTimer::singleShot(0, poke);
  Form().OKBtnClick();
  done = true;
  platform::SetPumpHook(nullptr);
  ASSERT_TRUE(running);
  EXPECT_TRUE(visibleAfterEsc);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_TRUE(cancelled);
  // The run ends itself; afterwards Esc closes the window again.
  EXPECT_FALSE(Form().SearchRunning());
  Form().show();
  QTest::keyClick(&Form(), Qt::Key_Escape);
  EXPECT_FALSE(Form().isVisible());
}

TEST_F(SearchWindowFrame, TheHandOverFileIsReadThenDeleted) {
  w_->state.ControlFolder = drive_.Drive(u"base\\");
  // Wide text with its byte-order mark.
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : std::u16string(u"grüne Äpfel")) bytes += {char(c & 0xFF), char(c >> 8)};
  drive_.WriteFile("base/Datenbank/Suchtext.txt", bytes);
  Form().show();
  Form().ApplicationActivate();
  EXPECT_EQ(Form().SearchText(), u"grüne Äpfel");
  EXPECT_TRUE(w_->state.SearchHandoverText.empty()) << "the open window took it";
  EXPECT_FALSE(platform::Stat(drive_.Posix("base/Datenbank/Suchtext.txt")).has_value());
  // Nothing to hand over: the entry stays.
  Form().SetSearchText(u"Haus");
  Form().ApplicationActivate();
  EXPECT_EQ(Form().SearchText(), u"Haus");
  // A closed window keeps the text for the main window's next hand-off.
  Form().hide();
  drive_.WriteFile("base/Datenbank/Suchtext.txt", "Baum");
  Form().ApplicationActivate();
  EXPECT_EQ(Form().SearchText(), u"Haus");
  EXPECT_EQ(w_->state.SearchHandoverText, u"Baum");
  EXPECT_FALSE(platform::Stat(drive_.Posix("base/Datenbank/Suchtext.txt")).has_value());
}

// A path handed over while the window is closed asks nothing until the window opens.
TEST_F(SearchWindowFrame, AHandedOverPathAsksOnlyOnceTheWindowShows) {
  w_->state.ControlFolder = drive_.Drive(u"base\\");
  drive_.WriteFile("base/Datenbank/Suchtext.txt", "#T:\\Docs\\brief.txt");
  Form().ApplicationActivate();
  EXPECT_TRUE(BoxTexts().empty());
  // The main window's hand-off puts it into the entry of the still closed window.
  Form().SetSearchText(w_->state.SearchHandoverText);
  QCoreApplication::processEvents();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(Form().SearchText(), u"#T:\\Docs\\brief.txt");
  sink_->Answer(platform::MsgResult::Yes);
  Form().show();
  EXPECT_TRUE(BoxTexts().empty()) << "not before the window stands";
  QCoreApplication::processEvents();
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(BoxTexts()[0].substr(0, 30), u"Bei dem Suchtext handelt es si");
  EXPECT_EQ(opened_, std::vector<std::u16string>{u"T:\\Docs\\brief.txt"});
  // Closed and opened again: asked once, not again.
  Form().hide();
  Form().show();
  QCoreApplication::processEvents();
  EXPECT_EQ(BoxTexts().size(), 1u);
}

TEST_F(SearchWindowFrame, EveryControlIsWholeAtTheSmallestAndTheLargestSize) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  Form().SetSearchText(u"grünes Haus");
  const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
  const QSize largest(std::max(screen.width(), 1600), std::max(screen.height(), 1000));
  for (const auto& [name, size] : {std::pair{"minimum", QSize(1043, 500)}, std::pair{"default", QSize(1200, 620)},
                                   std::pair{"maximised", largest}}) {
    Form().resize(size);
    QCoreApplication::processEvents();
    ASSERT_EQ(Form().size(), size) << name;
    const QRect window = Form().rect();
    for (QWidget* w : Form().findChildren<QWidget*>()) {
      if (!w->isVisible() || w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      if (!w->parentWidget() || w->parentWidget()->inherits("QAbstractScrollArea")) continue;
      const QRect r(w->mapTo(&Form(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(window.contains(r)) << name << ": " << w->objectName().toStdString();
      EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name << ": " << w->objectName().toStdString();
      EXPECT_GT(r.width(), 0) << name << ": " << w->objectName().toStdString();
    }
    formstest::ExpectEveryTextFits(Form(), name);
    if (const char* folder = std::getenv("QUARRY_VIEWER_SHOTS"))
      Form().grab().save(QString::fromUtf8(folder) + QStringLiteral("/frame-") + QString::fromLatin1(name) +
                         QStringLiteral(".png"));
  }
}

}  // namespace
