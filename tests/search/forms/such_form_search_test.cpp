// The search window's local search over a small database on the temporary drive.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/clipboard.h"
#include "platform/file.h"
#include "search/engine/title_positions.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "ui_main_form.h"
#include "widgets/uni_memo.h"

namespace {

class LocalSearch : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    clipboard_ = std::make_shared<platform::MemoryClipboard>();
    oldClipboard_ = platform::SetClipboard(clipboard_);
    std::filesystem::create_directories(drive_.Posix("base/Datenbank/Temp"));
    std::filesystem::create_directories(drive_.Posix("Docs"));
    drive_.WriteFile("Docs/a.htm", "x");
    drive_.WriteFile("Docs/b.htm", "x");
    drive_.WriteFile("base/Datenbank/db.dat", "PFAD_UND_ENDUNGEN= T:\\Docs\\ *.htm    \r\n");
    drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt",
                     searchtest::Utf8Store({{u"T:\\Docs\\a.htm", u"Ein grünes Haus am See"},
                                            {u"T:\\Docs\\b.htm", u"Nichts hier, nur ελληνικό κείμενο."}}));
    w_ = Start();
    w_->state.CurrentDbName = u"db";
    search::SearchSession session;
    search::Button4Click(session, {w_->state.BaseFolder, u"db"});
  }
  void TearDown() override {
    w_.reset();
    platform::SetClipboard(oldClipboard_);
    FormsTest::TearDown();
  }
  search::TSuchForm& Form() { return *w_->search; }
  QLineEdit* Entry() { return Form().findChild<QLineEdit*>(QStringLiteral("UniEdit2")); }
  QPushButton* Button(const char* name) { return Form().findChild<QPushButton*>(QString::fromLatin1(name)); }
  std::string Page() { return drive_.ReadFile("base/Datenbank/Temp/QY_Ergebnis.htm"); }

  std::unique_ptr<formstest::Windows> w_;
  std::shared_ptr<platform::MemoryClipboard> clipboard_;
  std::shared_ptr<platform::Clipboard> oldClipboard_;
};

TEST_F(LocalSearch, FindsTheDocumentWritesThePageAndAcceptsTheWindow) {
  drive_.WriteFile("base/Datenbank/Temp/alt.htm", "stale");
  SetReg(app::reg::SuchwortInZwischenablage, u"1");
  Form().show();
  Form().SetSearchText(u"grünes Haus");
  w_->state.Searching = true;
  QTest::mouseClick(Button("OKBtn"), Qt::LeftButton);

  EXPECT_EQ(Form().result(), QDialog::Accepted);
  EXPECT_FALSE(Form().isVisible());
  ASSERT_EQ(Form().Engine().HitList.Count(), 1);
  EXPECT_NE(Page().find("a.htm"), std::string::npos);
  EXPECT_EQ(Page().find("b.htm"), std::string::npos);
  EXPECT_FALSE(platform::Stat(drive_.Posix("base/Datenbank/Temp/alt.htm")).has_value());
  EXPECT_FALSE(w_->state.NoHits);
  EXPECT_FALSE(w_->state.Searching);
  EXPECT_TRUE(BoxTexts().empty());
  // The blank made the entry a phrase: the whole text goes to the clipboard.
  EXPECT_EQ(clipboard_->unicodeText, u"grünes Haus");
  // The controls are back for the next search.
  EXPECT_TRUE(Button("OKBtn")->isEnabled());
  EXPECT_TRUE(Entry()->isEnabled());
  EXPECT_EQ(Button("CancelBtn")->toolTip(), QStringLiteral("Schließt das Fenster"));
  // The caption the run borrowed is the window's own again.
  EXPECT_EQ(Form().windowTitle(), QStringLiteral("Quarry-HTML - Suche"));
}

TEST_F(LocalSearch, TheMainWindowShowsTheRunWhileItSearches) {
  Ui::TMainForm_QY_HTML& main = w_->main->Form();
  main.Label1->setText(QStringLiteral("Fertig mit der Indizierung."));
  QString statusDuring;
  bool dotsDuring = false;
  // Runs inside the pause that lets the status line show before the stores are searched.
  QTimer::singleShot(50, [&] {
    statusDuring = main.Label1->text();
    dotsDuring = w_->main->GedultTimer().isActive();
  });
  Form().SetSearchText(u"Haus");
  Form().OKBtnClick();
  EXPECT_EQ(statusDuring, QStringLiteral("Suche läuft..."));
  EXPECT_TRUE(dotsDuring);
  EXPECT_TRUE(main.Label1->text().isEmpty());
  EXPECT_FALSE(w_->main->GedultTimer().isActive());
  EXPECT_TRUE(main.GeduldLabel->text().isEmpty());

  // A refused text leaves the main window as it was.
  main.Label1->setText(QStringLiteral("bereit"));
  Form().SetSearchText(u"H");
  Form().OKBtnClick();
  EXPECT_EQ(main.Label1->text(), QStringLiteral("bereit"));
  EXPECT_FALSE(w_->main->GedultTimer().isActive());
}

TEST_F(LocalSearch, TextOutsideTheAnsiCodePageIsSearchedAndTheOverlayKeepsItsSelection) {
  auto* overlay = Form().findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
  overlay->Lines().SetTextStr(u"Zeile eins\r\nZeile zwei");
  overlay->SetSelStart(12);
  overlay->SetSelLength(5);
  Form().SetSearchText(u"κείμενο");
  Form().OKBtnClick();
  EXPECT_EQ(Form().result(), QDialog::Accepted);
  ASSERT_EQ(Form().Engine().HitList.Count(), 1);
  EXPECT_NE(Page().find("b.htm"), std::string::npos);
  EXPECT_NE(Page().find("<b>\xCE\xBA\xCE\xB5\xCE\xAF\xCE\xBC\xCE\xB5\xCE\xBD\xCE\xBF</b>"), std::string::npos);
  EXPECT_EQ(Form().SearchText(), u"κείμενο");
  EXPECT_EQ(overlay->SelText(), u"Zeile");
}

TEST_F(LocalSearch, ClipboardFollowsTheSettingAndThePhraseBox) {
  struct Case {
    std::u16string setting;
    bool phrase;
    std::u16string text, copied;
    bool copiedAny;
  };
  for (const Case& c : std::vector<Case>{{u"1", true, u"  grünes Haus ", u"grünes Haus", true},
                                         {u"1", false, u"Haus", u"Haus", true},
                                         {u"0", false, u"Haus", u"", false}}) {
    clipboard_->hasUnicodeText = false;
    clipboard_->unicodeText.clear();
    SetReg(app::reg::SuchwortInZwischenablage, c.setting);
    Form().findChild<QCheckBox*>(QStringLiteral("PhraseCheckBox"))->setChecked(c.phrase);
    Form().SetSearchText(c.text);
    Form().OKBtnClick();
    EXPECT_EQ(clipboard_->hasUnicodeText, c.copiedAny);
    EXPECT_EQ(clipboard_->unicodeText, c.copied);
  }
}

TEST_F(LocalSearch, ATrailingReplacementCharacterIsDropped) {
  Form().SetSearchText(u"Haus\uFFFD");
  Form().OKBtnClick();
  EXPECT_EQ(Form().SearchText(), u"Haus");
  Form().SetSearchText(u"Ha\uFFFDus\uFFFD");
  Form().OKBtnClick();
  EXPECT_EQ(Form().SearchText(), u"Ha\uFFFDus\uFFFD");
}

TEST_F(LocalSearch, OneCharacterIsRefusedAndTheWindowStaysOpen) {
  drive_.WriteFile("base/Datenbank/Temp/alt.htm", "stale");
  Form().show();
  Form().SetSearchText(u" H ");
  w_->state.Searching = true;
  QTest::mouseClick(Button("OKBtn"), Qt::LeftButton);

  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Nur ein Zeichen als Suchtext ist bei der \"Suche\" nicht erlaubt"}));
  EXPECT_TRUE(Form().isVisible());
  EXPECT_NE(Form().result(), QDialog::Accepted);
  EXPECT_FALSE(w_->state.Searching);
  // Nothing was cleared or written.
  EXPECT_TRUE(platform::Stat(drive_.Posix("base/Datenbank/Temp/alt.htm")).has_value());
  EXPECT_FALSE(platform::Stat(drive_.Posix("base/Datenbank/Temp/QY_Ergebnis.htm")).has_value());
  EXPECT_TRUE(Button("OKBtn")->isEnabled());
  EXPECT_TRUE(Entry()->isEnabled());
  EXPECT_EQ(Button("CancelBtn")->toolTip(), QStringLiteral("Schließt das Fenster"));
  Form().hide();
}

TEST_F(LocalSearch, TheMainWindowRecordsOnlyATextThatWasSearched) {
  QListWidget* list = w_->main->Form().ListBox1;
  list->clear();
  list->addItem(QStringLiteral("db"));
  list->item(0)->setSelected(true);
  std::u16string text;
  // The hook runs the window's search instead of the modal loop, as a click would.
  w_->main->ShowSearchWindow = [&](search::TSuchForm& form) {
    form.SetSearchText(text);
    form.OKBtnClick();
    return form.result() == QDialog::Accepted;
  };
  text = u"H";
  w_->main->SuchenBtnClick();
  EXPECT_EQ(Form().SuggestionCount(), 0);
  text = u"Haus";
  w_->main->SuchenBtnClick();
  EXPECT_EQ(Form().Suggestions(), std::vector<std::u16string>{u"Haus"});
}

// The whole road of the history: browse the UTF-8 store, search through the main window's
// modal search window, restart the program, and the store's suggestions hold the text.
TEST_F(LocalSearch, ASearchInABrowsedStoreIsSuggestedAfterARestart) {
  const auto searchFromMainWindow = [&](std::unique_ptr<formstest::Windows>& w, const std::u16string& text) {
    w->main->FormPaint();
    QListWidget* list = w->main->Form().ListBox1;
    ASSERT_EQ(list->count(), 1);
    list->setCurrentRow(0);
    w->main->ListBox1Click();
    QTimer::singleShot(0, w->search.get(), [&w, text] {
      search::TSuchForm& form = *w->search;
      QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("UTF8LadenButton")), Qt::LeftButton);
      form.SetSearchText(text);
      QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("OKBtn")), Qt::LeftButton);
    });
    w->main->SuchenBtnClick();
  };
  w_.reset();
  auto w = Start();
  searchFromMainWindow(w, u"grünes Haus");
  EXPECT_FALSE(w->state.NoHitUtf8);
  EXPECT_TRUE(w->state.BrowsedKindUtf8);
  const std::string file = "base/Datenbank/Suchwoerterlisten/db_Utf8_Suchwoerterliste.txt";
  ASSERT_TRUE(std::filesystem::exists(drive_.Posix(file)));
  // A text found nowhere is kept in the list but not written.
  searchFromMainWindow(w, u"Gartenzwerg");
  EXPECT_TRUE(w->state.NoHitUtf8);
  w.reset();

  w = Start();
  w->main->FormPaint();
  w->main->Form().ListBox1->setCurrentRow(0);
  w->main->ListBox1Click();
  w->search->LadenButtonClick(search::TSuchForm::StoreKind::Utf8);
  EXPECT_EQ(w->search->Suggestions(), std::vector<std::u16string>{u"grünes Haus"});
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(LocalSearch, CancelClosesTheWindowWhenNoSearchRuns) {
  Form().show();
  QTest::mouseClick(Button("CancelBtn"), Qt::LeftButton);
  EXPECT_FALSE(Form().isVisible());
  EXPECT_EQ(Form().result(), QDialog::Rejected);
}

}  // namespace
