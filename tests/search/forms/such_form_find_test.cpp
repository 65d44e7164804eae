// "Suchen" of the search window: the search inside the shown store, stepping through its
// hits in the viewer and in the memo over it, and presses, edits and closing while the
// collection processes window messages.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "platform/pump.h"
#include "search/viewer/file_viewer.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_memo.h"

namespace {

using search::TInDocumentKind;

class FindInDocument : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    std::filesystem::create_directories(drive_.Posix("base/Datenbank"));
    state_.BaseFolder = drive_.Drive(u"base\\");
    state_.CurrentDbName = u"db";
    MakeForm();
  }
  void MakeForm() {
    form_ = std::make_unique<search::TSuchForm>(state_);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    viewer_ = form_->findChild<search::TFileViewer*>(QStringLiteral("Viewer"));
    memo_ = form_->findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
    edit_ = form_->findChild<widgets::TUniEdit*>(QStringLiteral("UniEdit1"));
    button_ = form_->findChild<QPushButton*>(QStringLiteral("WeiterSuche"));
    ASSERT_TRUE(viewer_ && memo_ && edit_ && button_);
  }
  void TearDown() override {
    platform::SetPumpHook(nullptr);
    form_.reset();
    FormsTest::TearDown();
  }

  // Writes the store of the kind (the sorted list when listed), shows it in the viewer and
  // sets the window's document kind.
  void Show(TInDocumentKind kind, const std::string& bytes, bool listed = false) {
    const std::u16string file = search::InDocumentFileName(state_.BaseFolder, u"db", kind, listed);
    std::string relative = platform::WideToPosixUtf8(file.substr(3));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    drive_.WriteFile(relative, bytes);
    form_->DocKindAnsi = kind == TInDocumentKind::Ansi;
    form_->DocKindUtf8 = kind == TInDocumentKind::Utf8;
    form_->DocKindUnicode = kind == TInDocumentKind::Unicode;
    state_.SortedListShown = listed;
    viewer_->SetMode(kind == TInDocumentKind::Unicode ? search::vmodeUnicode : search::vmodeText);
    ASSERT_TRUE(viewer_->Open(file));
  }
  void Press() { QTest::mouseClick(button_, Qt::LeftButton); }
  std::pair<int64_t, int64_t> ViewerSel() { return {viewer_->Model().SelStart(), viewer_->Model().SelLength()}; }
  std::pair<int64_t, int64_t> MemoSel() { return {memo_->SelStart(), memo_->SelLength()}; }
  // The pump of the collection runs this once, at its first block's end.
  void DuringCollection(std::function<void()> action) {
    form_->InDocumentCollector().BlockSize = 16;
    auto pending = std::make_shared<std::function<void()>>(std::move(action));
    platform::SetPumpHook([pending] {
      if (!*pending) return;
      auto run = std::move(*pending);
      *pending = nullptr;
      run();
    });
  }

  app::ProgramState state_;
  std::unique_ptr<search::TSuchForm> form_;
  search::TFileViewer* viewer_ = nullptr;
  widgets::TUniMemo* memo_ = nullptr;
  widgets::TUniEdit* edit_ = nullptr;
  QPushButton* button_ = nullptr;
};

TEST_F(FindInDocument, TheFirstPressSelectsTheFirstHitInViewerAndMemoByKind) {
  struct Case {
    TInDocumentKind kind;
    bool listed;
    std::string bytes;
    std::u16string text;
    int64_t start, length;  // in the file
    std::u16string memoSelected;
  };
  const std::string ansi = "Zeile eins\r\nDer \xC4rger mit \xE4rger\r\n";
  const std::string utf8 = "Liste\r\nHerr M\xC3\xBCller und Frau M\xC3\xBCller\r\n";
  const Case cases[] = {
      // "Ä" and "ä" fold alike in code page 1252.
      {TInDocumentKind::Ansi, false, ansi, u"äRGER", 16, 5, u"Ärger"},
      // The selection counts the bytes of UTF-8: "Müller" is 7.
      {TInDocumentKind::Utf8, false, utf8, u"müller", 12, 7, u"Müller"},
      {TInDocumentKind::Utf8, true, utf8, u"Müller", 12, 7, u"Müller"},
      // UTF-16: two bytes a character, after the mark.
      {TInDocumentKind::Unicode, false, "\xFF\xFE" + searchtest::Utf16LE(u"Herr Müller, Frau Müller\r\n"), u"MÜLLER",
       12, 12, u"Müller"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind) * 2 + c.listed);
    form_->ResetInDocumentSearch();
    memo_->hide();
    Show(c.kind, c.bytes, c.listed);
    edit_->SetText(c.text);
    Press();
    EXPECT_TRUE(memo_->isVisible());
    EXPECT_EQ(ViewerSel(), std::make_pair(c.start, c.length));
    EXPECT_EQ(memo_->SelText(), c.memoSelected);
    EXPECT_EQ(QApplication::focusWidget(), memo_);
  }
  // Every store holds two hits: no message after the first.
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{}));
}

TEST_F(FindInDocument, PressesStepThroughOverlappingHitsThenStartOver) {
  Show(TInDocumentKind::Ansi, "xx aaaa yy\r\n");
  edit_->SetText(u"aa");
  const std::pair<int64_t, int64_t> expected[] = {{3, 2}, {4, 2}, {5, 2}, {3, 2}, {4, 2}};
  std::vector<std::u16string> boxes;
  for (int press = 0; press < 5; ++press) {
    Press();
    EXPECT_EQ(ViewerSel(), expected[press]) << press;
    // The memo holds the one line as it stands in the file.
    EXPECT_EQ(MemoSel(), expected[press]) << press;
    if (press == 2) boxes.push_back(search::kMsgLetzteFundstelle);
    EXPECT_EQ(BoxTexts(), boxes) << press;
  }
}

TEST_F(FindInDocument, TheMemoFollowsHitsOnOneLineAndOnAScrolledPage) {
  std::string text = "Treffer eins, Treffer zwei\r\n";
  for (int i = 0; i < 300; ++i) text += "Fuellzeile " + std::to_string(i) + "\r\n";
  const int64_t last = static_cast<int64_t>(text.size());
  text += "Hier der letzte Treffer\r\n";
  Show(TInDocumentKind::Ansi, text);
  edit_->SetText(u"treffer");
  Press();
  EXPECT_EQ(MemoSel(), std::make_pair(int64_t{0}, int64_t{7}));
  Press();
  EXPECT_EQ(MemoSel(), std::make_pair(int64_t{14}, int64_t{7}));
  Press();
  EXPECT_EQ(ViewerSel(), std::make_pair(last + 16, int64_t{7}));
  // The page moved: the hit is looked up in the new memo text, not after the old place.
  EXPECT_GT(viewer_->Model().ViewPos(), 0);
  EXPECT_EQ(memo_->SelText(), u"Treffer");
  EXPECT_NE(memo_->Text().find(u"Hier der letzte Treffer"), std::u16string::npos);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{search::kMsgLetzteFundstelle});
}

TEST_F(FindInDocument, InHexModeTheViewerAloneShowsTheHit) {
  Show(TInDocumentKind::Utf8, "Herr M\xC3\xBCller\r\n");
  viewer_->Redraw();
  memo_->SetText(u"Zeilen des Textmodus");
  viewer_->SetMode(search::vmodeHex);
  edit_->SetText(u"müller");
  Press();
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{5}, int64_t{7}));
  // The memo mirrors no hex rows: it stays hidden rather than cover them with old lines.
  EXPECT_FALSE(memo_->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), viewer_);
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{search::kMsgLetzteFundstelle});
}

TEST_F(FindInDocument, NothingFoundNoKindAndAMissingFile) {
  Show(TInDocumentKind::Utf8, "nur Text\r\n");
  edit_->SetText(u"fehlt");
  Press();
  Press();  // collects again: nothing is kept of a search without hits
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{search::kMsgNichtGefunden, search::kMsgNichtGefunden}));

  // Without a document kind the press only shows the memo.
  form_->DocKindUtf8 = false;
  memo_->hide();
  edit_->SetText(u"Text");
  Press();
  EXPECT_TRUE(memo_->isVisible());
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_EQ(BoxTexts().size(), 2u);

  // The sorted list is not there: the file's own message, not "Nicht gefunden!".
  form_->DocKindUtf8 = true;
  state_.SortedListShown = true;
  Press();
  ASSERT_EQ(sink_->Boxes().size(), 3u);
  EXPECT_NE(sink_->Boxes()[2].text.find(u"db_Phrasen_Woerter_Utf8Liste.txt"), std::u16string::npos);
  EXPECT_EQ(sink_->Boxes()[2].caption, u"Viewer");
}

TEST_F(FindInDocument, ChangingTheTextStartsOver) {
  Show(TInDocumentKind::Ansi, "aa bb aa bb aa\r\n");
  edit_->SetText(u"aa");
  Press();
  Press();
  EXPECT_EQ(ViewerSel().first, 6);
  edit_->SetText(u"bb");
  Press();
  EXPECT_EQ(ViewerSel().first, 3);
  edit_->SetText(u"aa");
  Press();
  EXPECT_EQ(ViewerSel().first, 0);
  // Another store shown under the same text is searched anew too.
  Show(TInDocumentKind::Utf8, "x aa\r\n");
  Press();
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{2}, int64_t{2}));
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{search::kMsgLetzteFundstelle});
}

// A store of several blocks, so the collection processes messages before it ends.
std::string LongStore() {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Zeile mit Ziel und Rest " + std::to_string(i) + "\r\n";
  return text;
}

TEST_F(FindInDocument, APressDuringTheCollectionIsIgnored) {
  Show(TInDocumentKind::Ansi, LongStore());
  edit_->SetText(u"ziel");
  bool nested = false;
  DuringCollection([&] {
    EXPECT_TRUE(form_->InDocumentSearchRunning());
    Press();
    form_->WeiterSucheClick();
    nested = true;
    EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{0}, int64_t{0}));
  });
  Press();
  EXPECT_TRUE(nested);
  EXPECT_FALSE(form_->InDocumentSearchRunning());
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{10}, int64_t{4}));
  Press();
  EXPECT_EQ(ViewerSel().first, 10 + 27);
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(FindInDocument, AnEditDuringTheCollectionStopsItAndEmptiesTheList) {
  Show(TInDocumentKind::Ansi, LongStore());
  edit_->SetText(u"ziel");
  DuringCollection([&] { edit_->SetText(u"rest"); });
  Press();
  // The hits of the old text are dropped unseen.
  EXPECT_FALSE(form_->InDocumentSearchRunning());
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_TRUE(BoxTexts().empty());
  Press();
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{19}, int64_t{4}));
}

TEST_F(FindInDocument, ClosingTheWindowDuringTheCollectionStopsIt) {
  Show(TInDocumentKind::Ansi, LongStore());
  edit_->SetText(u"ziel");
  DuringCollection([&] { form_->close(); });
  Press();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->InDocumentSearchRunning());
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_TRUE(BoxTexts().empty());
  // Opened again, the next press collects and finds.
  form_->show();
  form_->WeiterSucheClick();
  EXPECT_EQ(ViewerSel(), std::make_pair(int64_t{10}, int64_t{4}));
}

TEST_F(FindInDocument, DestroyingTheWindowDuringTheCollectionIsSafe) {
  for (const TInDocumentKind kind : {TInDocumentKind::Ansi, TInDocumentKind::Utf8, TInDocumentKind::Unicode}) {
    if (!form_) MakeForm();
    Show(kind, kind == TInDocumentKind::Unicode ? "\xFF\xFE" + searchtest::Utf16LE(u"Ziel, Rest\r\n und Ziel\r\n")
                                                : LongStore());
    edit_->SetText(u"ziel");
    bool destroyed = false;
    DuringCollection([&] {
      form_.reset();
      destroyed = true;
    });
    search::TSuchForm* form = form_.get();
    form->WeiterSucheClick();
    EXPECT_TRUE(destroyed);
  }
  EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
