// The search window's right half at its default size and resized: the viewer and the memo
// over it lie wholly inside the window, the controls above it neither overlap nor leave it.
#include <QApplication>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <cstdlib>
#include <string>

#include "search/viewer/file_viewer.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "widgets/uni_label.h"
#include "widgets/uni_memo.h"

namespace {

class SearchWindowLayout : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    std::string lines;
    for (int i = 1; i <= 60; ++i)
      lines += "Zeile " + std::to_string(i) + ": Müller und Straße, grüne Äpfel für die Übersicht\r\n";
    drive_.WriteFile("utf8.txt", lines);
    drive_.WriteFile("mht.txt", searchtest::MhtStore({{u"T:\\Docs\\a.eml", u"Grüße aus Köln, schöne Übergänge"},
                                                      {u"T:\\Docs\\b.eml", u"Ελληνικά und Deutsch gemischt"}}));
    form_ = std::make_unique<search::TSuchForm>(state_);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    viewer_ = form_->findChild<search::TFileViewer*>(QStringLiteral("Viewer"));
    memo_ = form_->findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
    ASSERT_TRUE(viewer_ && memo_);
  }
  void TearDown() override {
    form_.reset();
    FormsTest::TearDown();
  }

  // Inside the window, in the window's coordinates.
  static QRect InWindow(const QWidget& w, const QWidget& window) {
    return QRect(w.mapTo(&window, QPoint(0, 0)), w.size());
  }

  void ExpectLaidOut(const std::string& state) {
    QCoreApplication::processEvents();
    const QRect window = form_->rect();
    const QRect viewer = InWindow(*viewer_, *form_);
    EXPECT_TRUE(window.contains(viewer)) << state << ": viewer " << viewer.x() << "," << viewer.y() << " "
                                         << viewer.width() << "x" << viewer.height();
    // The viewer takes the room the panel has, not a fixed corner of it.
    EXPECT_GE(viewer.width(), 500) << state;
    EXPECT_GE(viewer.height(), form_->height() / 2) << state;
    EXPECT_GE(viewer.right(), window.right() - 20) << state;
    if (memo_->isVisible()) {
      EXPECT_TRUE(viewer_->rect().contains(memo_->geometry())) << state << ": memo";
      EXPECT_EQ(memo_->height(), viewer_->height()) << state;
      EXPECT_GE(memo_->width(), viewer_->viewport()->width()) << state;
    }
    // The row above the viewer: visible controls inside the window, none overlapping.
    std::vector<QWidget*> row;
    for (const char* name : {"UniEdit1", "Button2", "WeiterSuche", "LesezeichenBtn", "Label8", "Label2"}) {
      auto* w = form_->findChild<QWidget*>(QString::fromLatin1(name));
      ASSERT_TRUE(w) << name;
      if (!w->isVisible()) continue;
      const QRect r = InWindow(*w, *form_);
      EXPECT_TRUE(window.contains(r)) << state << ": " << name;
      EXPECT_FALSE(r.intersects(viewer)) << state << ": " << name;
      for (QWidget* other : row) EXPECT_FALSE(r.intersects(InWindow(*other, *form_))) << state << ": " << name;
      row.push_back(w);
    }
    formstest::ExpectEveryTextFits(*form_, state.c_str());
    if (const char* folder = std::getenv("QUARRY_VIEWER_SHOTS"))
      form_->grab().save(QString::fromUtf8(folder) + QStringLiteral("/w-") + QString::fromStdString(state) +
                         QStringLiteral(".png"));
  }

  app::ProgramState state_;
  std::unique_ptr<search::TSuchForm> form_;
  search::TFileViewer* viewer_ = nullptr;
  widgets::TUniMemo* memo_ = nullptr;
};

TEST_F(SearchWindowLayout, TheViewerAndItsMemoStayInsideTheWindowInEveryModeAndSize) {
  struct Case {
    const char* name;
    const char* file;
    search::TFileViewerMode mode;
    bool unicodeKind;
  };
  const Case cases[] = {
      {"text", "utf8.txt", search::vmodeText, false},
      {"hex", "utf8.txt", search::vmodeHex, false},
      {"unicode", "mht.txt", search::vmodeUnicode, true},
  };
  form_->SetPositionCaption(u"UTF8-DB: \"Testdatenbank\"  Position: ");
  form_->findChild<widgets::TUniLabel*>(QStringLiteral("Label2"))->SetCaption(u"T:\\Dokumente\\Übersicht.htm");
  const QSize defaultSize = form_->size();
  EXPECT_EQ(defaultSize, QSize(1043, 500));
  for (const Case& c : cases) {
    form_->DocKindUtf8 = !c.unicodeKind;
    form_->DocKindUnicode = c.unicodeKind;
    viewer_->SetMode(c.mode);
    ASSERT_TRUE(viewer_->Open(drive_.Drive(std::u16string(c.file, c.file + std::strlen(c.file)))));
    // As the mouse over the viewer does: the memo covers the line modes only.
    memo_->show();
    viewer_->Redraw();
    EXPECT_EQ(memo_->isVisible(), search::IsLineMode(c.mode)) << c.name;
    for (const QSize size : {defaultSize, QSize(1500, 900), QSize(1200, 620), form_->minimumSize()}) {
      form_->resize(size);
      ExpectLaidOut(std::string(c.name) + "-" + std::to_string(size.width()) + "x" + std::to_string(size.height()));
    }
    if (search::IsLineMode(c.mode)) {
      EXPECT_GT(memo_->Lines().Count(), 5) << c.name;
      // The memo holds the shown lines decoded, umlauts and all.
      EXPECT_NE(memo_->Text().find(c.unicodeKind ? u"Grüße aus Köln" : u"Müller und Straße"), std::u16string::npos)
          << c.name;
    }
  }
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(SearchWindowLayout, TheSplitterKeepsBothHalves) {
  auto* splitter = form_->findChild<QSplitter*>(QStringLiteral("Splitter1"));
  ASSERT_TRUE(splitter);
  EXPECT_FALSE(splitter->childrenCollapsible());
  // Dragged as far as it goes either way, both halves keep their controls.
  for (const int left : {0, 5000}) {
    splitter->setSizes({left, 5000 - left});
    ExpectLaidOut("splitter-" + std::to_string(left));
    auto* links = form_->findChild<QWidget*>(QStringLiteral("PanelLinks"));
    EXPECT_GE(links->width(), links->minimumWidth());
  }
}

}  // namespace
