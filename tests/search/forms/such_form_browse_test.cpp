// Browsing the stores in the search window: the captions per kind, the sorted list's
// button, the bookmarks (also beyond 2 GB) and the view coming back after a search.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/file.h"
#include "search/viewer/file_viewer.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_label.h"
#include "widgets/uni_memo.h"

namespace {

using Kind = search::TSuchForm::StoreKind;

class SearchWindowBrowse : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    std::filesystem::create_directories(drive_.Posix("base/Datenbank/Temp"));
    w_ = Start();
    w_->state.CurrentDbName = u"db";
    w_->state.HistoryName = u"db";
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  }
  void TearDown() override {
    w_.reset();
    FormsTest::TearDown();
  }
  search::TSuchForm& Form() { return *w_->search; }
  search::TFileViewer& Viewer() { return *Form().findChild<search::TFileViewer*>(QStringLiteral("Viewer")); }
  QPushButton* Button(const char* name) { return Form().findChild<QPushButton*>(QString::fromLatin1(name)); }
  static std::u16string Lines(int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += u"Zeile mit Straße und Müller " + std::u16string(1, u'a' + i % 26) + u"\r\n";
    return text;
  }

  std::unique_ptr<formstest::Windows> w_;
};

TEST_F(SearchWindowBrowse, CaptionsFollowTheKindOfTheStore) {
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", Lines(40)}}));
  drive_.WriteFile("base/Datenbank/db_MHTtext.txt", searchtest::MhtStore({{u"T:\\a.eml", Lines(40)}}));
  drive_.WriteFile("base/Datenbank/db_AnsiDokument.txt", "abc");
  struct Case {
    Kind kind;
    const char16_t* caption;
    search::TFileViewerMode mode;
  } const cases[] = {
      {Kind::Utf8, u"UTF8-DB: \"db\"  Position: ", search::vmodeText},
      {Kind::Mht, u"MHT-Dokument: \"db\"  Position: ", search::vmodeUnicode},
      {Kind::Ansi, u"ANSI-Dokument enthält keine Einträge:", search::vmodeText},
  };
  for (const Case& c : cases) {
    Form().LadenButtonClick(c.kind);
    EXPECT_EQ(Form().PositionCaption(), c.caption);
    EXPECT_EQ(Viewer().Mode(), c.mode);
    EXPECT_EQ(w_->state.BrowsedKindUtf8, c.kind == Kind::Utf8);
    EXPECT_EQ(w_->state.BrowsedKindMht, c.kind == Kind::Mht);
    EXPECT_EQ(w_->state.BrowsedKindAnsi, c.kind == Kind::Ansi);
    EXPECT_EQ(Form().DocKindUnicode, c.kind == Kind::Mht);
    EXPECT_EQ(Form().DocKindUtf8, c.kind == Kind::Utf8);
  }
  EXPECT_EQ(w_->state.ViewCaptionPrefix, u"ANSI-");
  // A 3-byte store of the UTF-8 kind: its own empty caption; the button stays off for it.
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", "abc");
  Form().FormPaint();
  EXPECT_FALSE(Button("UTF8LadenButton")->isEnabled());
  EXPECT_TRUE(Button("UnicodeLadenButton")->isEnabled());
  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_EQ(Form().PositionCaption(), u"UTF8-Dokument enthält keine Einträge:");
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(SearchWindowBrowse, SortedListIsOfferedExactlyWhenItsFileExists) {
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", Lines(5)}}));
  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_FALSE(Button("SortierteListeBtn")->isEnabled());
  drive_.WriteFile("base/Datenbank/db_Phrasen_Woerter_Utf8Liste.txt", "Apfel\r\nBirne\r\n");
  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_TRUE(Button("SortierteListeBtn")->isEnabled());
  Form().ZeilenAlsListeSortierenClick();
  EXPECT_TRUE(w_->state.SortedListShown);
  EXPECT_EQ(Form().PositionCaption(), u"Sortierte UTF8-Liste von DB: \"db\"");
  EXPECT_NE(Viewer().FileName().find(u"db_Phrasen_Woerter_Utf8Liste.txt"), std::u16string::npos);
  EXPECT_FALSE(Button("LesezeichenBtn")->isVisible());
  // With the list shown the position display stays as it is.
  Form().Timer2Timer();
  EXPECT_TRUE(Form().DocumentCaption().empty());
  // A search's end brings the sorted list back.
  Form().ReopenBrowsedView();
  EXPECT_NE(Viewer().FileName().find(u"db_Phrasen_Woerter_Utf8Liste.txt"), std::u16string::npos);
}

TEST_F(SearchWindowBrowse, TheBookmarkRoundTripsBeyondTwoGigabytes) {
  // A sparse store of 3 GB with lines only near its end.
  const std::string store = drive_.Posix("base/Datenbank/db_UTF8Dokument.txt");
  const int64_t far = int64_t{3} << 30;
  {
    std::ofstream out(store, std::ios::binary);
    out << "#T:\\a.htm\r\n";
    out.seekp(far);
    for (int i = 0; i < 200; ++i) out << "Zeile weit hinten " << i << "\r\n";
  }
  const std::u16string name = u"Lesezeichen_Utf8_db";
  const int64_t mark = far + 40 * 21;
  SetReg(name, widgets::FromQ(QString::number(mark)));
  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_EQ(w_->state.BookmarkPos, mark);
  ASSERT_TRUE(w_->state.MemoFilled);
  EXPECT_GT(Form().FirstShownOffset(), int64_t{1} << 31);
  const int64_t shown = Form().FirstShownOffset();
  Form().LesezeichenBtnClick();
  EXPECT_EQ(Reg(name), widgets::FromQ(QString::number(shown)));
  // Reopened: back at the same place.
  Form().CloseViewerDocument();
  w_->state.BrowsedKindUtf8 = false;
  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_EQ(Form().FirstShownOffset(), shown);
}

TEST_F(SearchWindowBrowse, BadBookmarksAreIgnoredAndKeptInsideTheStore) {
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", Lines(60)}}));
  drive_.WriteFile("base/Datenbank/db_MHTtext.txt", searchtest::MhtStore({{u"T:\\a.eml", Lines(60)}}));
  const int64_t utf8Size = platform::Stat(drive_.Posix("base/Datenbank/db_UTF8Dokument.txt"))->size;
  struct Case {
    Kind kind;
    const char16_t *name, *value;
    int64_t expected;
  } const cases[] = {
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"abc", 0},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"-500", 0},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"12x", 0},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"99999999999999999999999", 0},
      // 19 digits beyond the 64-bit range, and the largest 64-bit value itself.
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"9999999999999999999", 0},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"9223372036854775808", 0},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"9223372036854775807", utf8Size},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"999999999999", utf8Size},
      {Kind::Utf8, u"Lesezeichen_Utf8_db", u"301", 301},
      {Kind::Mht, u"Lesezeichen_Unicode_db", u"301", 300},
  };
  for (const Case& c : cases) {
    SetReg(c.name, c.value);
    Form().LadenButtonClick(c.kind);
    EXPECT_EQ(w_->state.BookmarkPos, c.expected) << widgets::ToQ(c.value).toStdString();
  }
}

TEST_F(SearchWindowBrowse, MemoTextGoesToTheSearchEntry) {
  auto* memo = Form().findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
  memo->Lines().SetTextStr(u"Grüne Äpfel\r\nzweite Zeile");
  memo->SetSelStart(0);
  memo->SetSelLength(5);
  Form().TextInSuchleisteUebertragen();
  EXPECT_EQ(Form().SearchText(), u"Grüne");
  memo->SetSelLength(0);
  Form().TextInSuchleisteUebertragen();
  EXPECT_EQ(Form().SearchText(), u"Grüne");
  EXPECT_EQ(search::MemoCaretZeile(*memo), 0);
  memo->SetSelStart(15);
  EXPECT_EQ(search::MemoCaretZeile(*memo), 1);
}

TEST_F(SearchWindowBrowse, TheMemoOverlayMovesTheViewerAndTakesWholeLines) {
  auto* memo = Form().findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", Lines(200)}}));
  Form().LadenButtonClick(Kind::Utf8);
  const int64_t top = Viewer().Model().ViewPos();
  memo->setVisible(true);
  memo->setFocus();
  QTest::keyClick(memo, Qt::Key_PageDown);
  EXPECT_GT(Viewer().Model().ViewPos(), top) << "the memo's movement keys go to the viewer";
  memo->setVisible(true);
  memo->Lines().SetTextStr(u"Grüne Äpfel im Korb\r\nzweite Zeile");
  // A double click takes the word, a third click the whole line.
  const QPoint onFirstWord = memo->cursorRect(memo->textCursor()).center() + QPoint(3, 0);
  QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, onFirstWord);
  QTest::mouseDClick(memo->viewport(), Qt::LeftButton, {}, onFirstWord);
  QCoreApplication::processEvents();
  EXPECT_EQ(memo->SelText(), u"Grüne");
  QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, onFirstWord);
  QCoreApplication::processEvents();
  EXPECT_EQ(memo->SelText(), u"Grüne Äpfel im Korb");
  QTest::keyClick(memo, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Form().findChild<QWidget*>(QStringLiteral("UniEdit1")));
  EXPECT_EQ(memo->Lines().Text(), u"Grüne Äpfel im Korb\r\nzweite Zeile") << "no key reached the memo";
}

TEST(SearchWindowHelpers, PositionsAndSizes) {
  EXPECT_EQ(search::PosAb("b", "abcb", 1), 2);
  EXPECT_EQ(search::PosAb("b", "abcb", 3), 4);
  EXPECT_EQ(search::PosAb("", "abc", 1), 0);
  EXPECT_EQ(search::PosAb("a", "abc", 4), 0);
  EXPECT_EQ(search::WidePosAb(u"ü", u"grün grün", 4), 8);
  EXPECT_EQ(search::WidePosAb(u"ü", u"grün", 0), 0);
  EXPECT_EQ(search::LetztePos(u"\\", u"T:\\a\\b.txt"), 5);
  EXPECT_EQ(search::LetztePos(u"x", u"abc"), 0);
  testsupport::TempDrive drive;
  drive.WriteFile("f.txt", "12345");
  EXPECT_EQ(search::GetDateiGroesse(drive.Drive(u"f.txt")), 5);
  EXPECT_EQ(search::GetDateiGroesse(drive.Drive(u"fehlt.txt")), -1);
}

}  // namespace

namespace {

// The memo over the viewer takes the double click: the word under the pointer, in both
// stores and wherever the view stands.
TEST_F(SearchWindowBrowse, ADoubleClickOnTheShownTextSelectsTheWordUnderThePointer) {
  std::u16string body;
  for (int i = 0; i < 30; ++i)
    body += u"Numbers\r\n\r\nThe most basic element in bc is the number. Comments (# …) begin with a hash.\r\n\r\n";
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", body}}));
  drive_.WriteFile("base/Datenbank/db_MHTtext.txt", searchtest::MhtStore({{u"T:\\a.eml", body}}));
  auto* memo = Form().findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
  for (Kind kind : {Kind::Utf8, Kind::Mht}) {
    Form().LadenButtonClick(kind);
    for (int scrolled : {0, 2, 5, 17}) {
      Viewer().Model().ScrollToOffset(0, false);
      if (scrolled) Viewer().Model().LineDown(scrolled);
      QCoreApplication::processEvents();
      Viewer().Redraw();
      memo->setVisible(true);
      for (const QString& word : {QStringLiteral("basic"), QStringLiteral("Comments"), QStringLiteral("hash")}) {
        const int at = memo->document()->toPlainText().indexOf(word);
        ASSERT_GE(at, 0) << word.toStdString() << " scrolled " << scrolled;
        for (int inside : {0, 1, int(word.size()) - 1}) {
          QTextCursor c(memo->document());
          c.setPosition(at + inside);
          const int left = memo->cursorRect(c).x();
          c.setPosition(at + inside + 1);
          const QPoint point((left + memo->cursorRect(c).x()) / 2, memo->cursorRect(c).center().y());
          QTest::mouseClick(memo->viewport(), Qt::LeftButton, Qt::NoModifier, point);
          QTest::mouseDClick(memo->viewport(), Qt::LeftButton, Qt::NoModifier, point);
          QCoreApplication::processEvents();
          EXPECT_EQ(widgets::ToQ(memo->SelText()), word)
              << int(kind) << " scrolled " << scrolled << " char " << inside;
          QTest::qWait(QApplication::doubleClickInterval() + 20);
        }
      }
    }
  }
}

}  // namespace
