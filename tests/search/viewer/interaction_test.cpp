#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QWheelEvent>
#include <climits>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "tests/search/viewer/viewer_fixture.h"

namespace search {
namespace {

// Lines of width characters and CR LF.
std::string ManyLines(int count, int width = 10) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = "Zeile " + std::to_string(i) + " ";
    line.resize(static_cast<size_t>(width), 'x');
    text += line + "\r\n";
  }
  return text;
}

TEST_F(ViewerTest, KeyTable) {
  OpenFile(ManyLines(400, 300));
  TDocumentModel& model = viewer.Model();
  ASSERT_GT(model.HorizontalScrollBar().max, viewer.viewport()->width());
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    std::function<bool()> holds;
    const char* what;
  } cases[] = {
      {Qt::Key_End, Qt::ControlModifier, [&] { return model.EndShown() && model.ViewPos() > 0; }, "Ctrl+End: end of file"},
      {Qt::Key_Home, Qt::ControlModifier, [&] { return model.ViewPos() == 0; }, "Ctrl+Home: start"},
      {Qt::Key_Down, Qt::NoModifier, [&] { return model.ViewPos() == 302; }, "Down: one line"},
      {Qt::Key_Up, Qt::NoModifier, [&] { return model.ViewPos() == 0; }, "Up: one line back"},
      {Qt::Key_PageDown, Qt::NoModifier, [&] { return model.ViewPos() == 302 * model.LinesPerPage(); }, "Page Down"},
      {Qt::Key_PageUp, Qt::NoModifier, [&] { return model.ViewPos() == 0; }, "Page Up"},
      {Qt::Key_Right, Qt::NoModifier, [&] { return model.HViewPos() == 200; }, "Right: 200 pixels"},
      {Qt::Key_End, Qt::NoModifier, [&] { return model.HViewPos() > 200 && model.ViewPos() == 0; }, "End: right end"},
      {Qt::Key_Left, Qt::NoModifier, [&] { return model.HViewPos() > 0; }, "Left: 200 back"},
      {Qt::Key_Home, Qt::NoModifier, [&] { return model.HViewPos() == 0 && model.ViewPos() == 0; }, "Home: left end"},
      {Qt::Key_Down, Qt::ShiftModifier, [&] { return model.ViewPos() == 0; }, "Shift+Down: not ours"},
      {Qt::Key_A, Qt::ControlModifier, [&] { return model.SelStart() == 0 && model.SelLength() == model.FileSize(); }, "Ctrl+A"},
  };
  for (const Case& c : cases) {
    QTest::keyClick(&viewer, c.key, c.mods);
    EXPECT_TRUE(c.holds()) << c.what << " view " << model.ViewPos() << " h " << model.HViewPos();
  }
  // End then Left: exactly 200 back from the right end.
  QTest::keyClick(&viewer, Qt::Key_End);
  const int right = model.HViewPos();
  QTest::keyClick(&viewer, Qt::Key_Left);
  EXPECT_EQ(model.HViewPos(), right - 200);
}

TEST_F(ViewerTest, CtrlCCopiesAndAFailedCopyIsReported) {
  OpenFile("abc\r\n");
  auto clipboard = std::make_shared<platform::MemoryClipboard>();
  auto previous = platform::SetClipboard(clipboard);
  viewer.Model().SetSelection(0, 3);
  QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->unicodeText, u"abc");
  clipboard->busy = true;
  QTest::keyClick(&viewer, Qt::Key_Insert, Qt::ControlModifier);
  ASSERT_EQ(boxes->Boxes().size(), 1u);
  EXPECT_EQ(boxes->Boxes()[0].text, u"Cannot copy data to Clipboard");
  EXPECT_EQ(boxes->Boxes()[0].caption, u"Viewer");
  platform::SetClipboard(previous);
}

TEST_F(ViewerTest, ShiftClickSelectsFromTheLastClick) {
  std::string bytes(400, 'a');
  viewer.Model().SetTextWidth(20);
  OpenFile(bytes, vmodeBinary);
  QWidget* port = viewer.viewport();
  QTest::mouseClick(port, Qt::LeftButton, Qt::NoModifier, PointOf(100));
  QSignalSpy changed(&viewer, &TFileViewer::OnSelectionChange);
  QTest::mouseClick(port, Qt::LeftButton, Qt::ShiftModifier, PointOf(40));
  EXPECT_EQ(viewer.Model().SelStart(), 40);
  EXPECT_EQ(viewer.Model().SelLength(), 60);  // 40..99
  EXPECT_GE(changed.count(), 1);
}

TEST_F(ViewerTest, DoubleClickSelectsTheWordAndATripleClickTheLine) {
  OpenFile("alpha beta gamma\r\nsecond line\r\n");
  QWidget* port = viewer.viewport();
  const QPoint beta = PointOf(8);  // inside "beta"
  QTest::mouseClick(port, Qt::LeftButton, Qt::NoModifier, beta);
  EXPECT_EQ(viewer.Model().SelLength(), 0);
  QTest::mouseDClick(port, Qt::LeftButton, Qt::NoModifier, beta);
  EXPECT_EQ(viewer.Model().SelStart(), 6);
  EXPECT_EQ(viewer.Model().SelLength(), 4);
  QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, beta);
  QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, beta);
  EXPECT_EQ(viewer.Model().SelStart(), 0);
  EXPECT_EQ(viewer.Model().SelLength(), 16);  // the line without its break
  // A fourth click starts afresh.
  QTest::mouseClick(port, Qt::LeftButton, Qt::NoModifier, beta);
  EXPECT_EQ(viewer.Model().SelLength(), 0);
}

TEST_F(ViewerTest, DraggingSelectsFromTheAnchor) {
  OpenFile("alpha beta gamma\r\nsecond line\r\n");
  QWidget* port = viewer.viewport();
  QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, PointOf(2));
  QMouseEvent move(QEvent::MouseMove, PointOf(12), port->mapToGlobal(PointOf(12)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(port, &move);
  EXPECT_EQ(viewer.Model().SelStart(), 2);
  EXPECT_EQ(viewer.Model().SelLength(), 10);
  EXPECT_GT(host.overlayShown, 0);
  QSignalSpy changed(&viewer, &TFileViewer::OnSelectionChange);
  QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, PointOf(12));
  EXPECT_EQ(changed.count(), 1);
}

TEST_F(ViewerTest, DraggingAtTheBottomEdgeScrollsOnItsTimer) {
  OpenFile(ManyLines(400));
  QWidget* port = viewer.viewport();
  QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, PointOf(0));
  const QPoint bottom(20, port->height() - 1);
  QMouseEvent move(QEvent::MouseMove, bottom, port->mapToGlobal(bottom), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(port, &move);
  QTRY_VERIFY_WITH_TIMEOUT(viewer.Model().ViewPos() > 0, 10000);
  QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, bottom);
  EXPECT_GT(viewer.Model().SelLength(), 0);
  EXPECT_EQ(viewer.Model().SelStart(), 0);
}

void Wheel(QWidget* port, int delta, Qt::KeyboardModifiers mods) {
  const QPointF at(10, 10);
  QWheelEvent event(at, port->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
  QApplication::sendEvent(port, &event);
}

TEST_F(ViewerTest, CtrlWheelStepsTheFontUpToItsLimit) {
  OpenFile("abc\r\n");
  QSignalSpy options(&viewer, &TFileViewer::OnOptionsChange);
  QFont font = viewer.Font();
  font.setPointSize(72);
  viewer.SetFont(font);
  Wheel(viewer.viewport(), 120, Qt::ControlModifier);
  EXPECT_EQ(viewer.Font().pointSize(), 72);
  EXPECT_EQ(options.count(), 0);
  Wheel(viewer.viewport(), -120, Qt::ControlModifier);
  EXPECT_LT(viewer.Font().pointSize(), 72);
  EXPECT_EQ(options.count(), 1);
  font.setPointSize(71);
  viewer.SetFont(font);
  Wheel(viewer.viewport(), 120, Qt::ControlModifier);
  EXPECT_EQ(viewer.Font().pointSize(), 72);
}

TEST_F(ViewerTest, WheelScrollsLinesAndWithShiftSideways) {
  OpenFile(ManyLines(400, 300));
  Wheel(viewer.viewport(), -120, Qt::NoModifier);
  EXPECT_EQ(viewer.Model().ViewPos(), 302 * QApplication::wheelScrollLines());
  Wheel(viewer.viewport(), -120, Qt::ShiftModifier);
  EXPECT_EQ(viewer.Model().HViewPos(), 200);
  Wheel(viewer.viewport(), 120, Qt::ShiftModifier);
  EXPECT_EQ(viewer.Model().HViewPos(), 0);
}

TEST_F(ViewerTest, MiddleButtonScrollingMovesByTheDistanceAndEndsOnAnyKey) {
  OpenFile(ManyLines(400));
  QWidget* port = viewer.viewport();
  const QPoint start(100, 60);
  QTest::mousePress(port, Qt::MiddleButton, Qt::NoModifier, start);
  ASSERT_TRUE(viewer.MiddleScrolling());
  const QPoint below = start + QPoint(0, 40);  // two lines a tick
  QMouseEvent move(QEvent::MouseMove, below, port->mapToGlobal(below), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(port, &move);
  QTRY_VERIFY_WITH_TIMEOUT(viewer.Model().ViewPos() >= 2 * 12, 10000);
  QTest::keyClick(&viewer, Qt::Key_Shift);
  EXPECT_FALSE(viewer.MiddleScrolling());
  EXPECT_EQ(port->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(ViewerTest, PopupMenuTextsAndStates) {
  const QList<QAction*> items = viewer.PopupMenu().actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0]->text(), QStringLiteral("Text in Suchleiste links übertragen"));
  EXPECT_TRUE(items[1]->isSeparator());
  EXPECT_TRUE(items[2]->isSeparator());
  EXPECT_EQ(items[3]->text(), QStringLiteral("Encoding..."));
  EXPECT_FALSE(items[0]->isEnabled());
  EXPECT_FALSE(items[3]->isEnabled());
  OpenFile(std::string("\xFF\xFE" "A\0B\0", 6), vmodeUnicode);
  viewer.UpdatePopupMenu();
  EXPECT_FALSE(items[0]->isEnabled());
  EXPECT_TRUE(items[3]->isEnabled());
  viewer.Model().SetSelection(2, 4);
  viewer.UpdatePopupMenu();
  ASSERT_TRUE(items[0]->isEnabled());
  items[0]->trigger();
  EXPECT_EQ(host.searchBox, u"AB");
  // The search window's viewer has no encoding item.
  viewer.TextPopupCommands = vpCmdCopy | vpCmdCopyHex | vpCmdSelectLine | vpCmdSelectAll;
  viewer.UpdatePopupMenu();
  EXPECT_TRUE(items[0]->isVisible());
  EXPECT_FALSE(items[3]->isVisible());
}

TEST_F(ViewerTest, TheEncodingMenuListsSeventyOneEncodingsInGroups) {
  OpenFile("abc\r\n");
  QMenu& menu = viewer.EncodingMenu();
  int items = 0, separators = 0, columns = 0;
  QStringList texts;
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      (action->property(kColumnBreakProperty).toBool() ? columns : separators)++;
      continue;
    }
    ++items;
    texts << action->text();
  }
  EXPECT_EQ(items, 71);
  EXPECT_EQ(columns, 2);      // Greek and IBM EBCDIC start columns
  EXPECT_EQ(separators, 10);  // the other group starts
  EXPECT_EQ(texts.front(), QStringLiteral("ANSI (Windows)"));
  EXPECT_TRUE(texts.contains(QStringLiteral("Western European (Windows-1252)")));
  EXPECT_TRUE(texts.contains(QStringLiteral("IBM EBCDIC (Germany)")));
  EXPECT_FALSE(texts.contains(QStringLiteral("Unicode (UTF-16 LE)")));
  const auto entries = EightBitEncodingMenu();
  EXPECT_EQ(entries[0].encoding, vEncANSI);
  const QList<QAction*> actions = menu.actions();
  EXPECT_TRUE(actions[0]->isChecked());
  // Choosing an item sets the encoding and tells the options changed.
  QSignalSpy options(&viewer, &TFileViewer::OnOptionsChange);
  for (QAction* action : actions) {
    if (!action->isSeparator() && action->data().toInt() == vEncOEM) action->trigger();
  }
  EXPECT_EQ(viewer.TextEncoding(), vEncOEM);
  EXPECT_EQ(options.count(), 1);
  EXPECT_TRUE(viewer.EncodingMenu().actions()[1]->isChecked());
}

TEST_F(ViewerTest, TheUnicodeEncodingMenuOffersTheByteOrders) {
  OpenFile(std::string("\xFE\xFF\0A\0B", 6), vmodeUnicode);
  QMenu& menu = viewer.EncodingMenu();
  const QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text(), QStringLiteral("UTF-16 LE"));
  EXPECT_EQ(actions[1]->text(), QStringLiteral("UTF-16 BE"));
  EXPECT_TRUE(actions[1]->isChecked());  // settled by FE FF
  actions[0]->trigger();
  EXPECT_EQ(viewer.Model().ByteOrder(), TUnicodeByteOrder::LittleEndian);
  EXPECT_TRUE(viewer.EncodingMenu().actions()[0]->isChecked());
}

// ---- Auto reload

TEST_F(ViewerTest, TwoWritesReloadOnceAndDeletionEmptiesTheViewer) {
  viewer.SetAutoReload(true);
  OpenFile("eins\r\n");
  ASSERT_TRUE(viewer.FileWatch().Active());
  QSignalSpy reloads(&viewer, &TFileViewer::OnFileReload);
  drive.WriteFile("doc.txt", "eins\r\nzwei\r\n");
  drive.WriteFile("doc.txt", "eins\r\nzwei\r\ndrei\r\n");
  QTRY_COMPARE_WITH_TIMEOUT(reloads.count(), 1, 10000);
  EXPECT_EQ(viewer.Model().FileSize(), 18);
  // The next change is one more reload: the two writes gave no second one.
  drive.WriteFile("doc.txt", "vier\r\n");
  QTRY_COMPARE_WITH_TIMEOUT(reloads.count(), 2, 10000);
  EXPECT_EQ(viewer.Model().FileSize(), 6);
  ASSERT_EQ(std::remove(drive.Posix("doc.txt").c_str()), 0);
  QTRY_COMPARE_WITH_TIMEOUT(reloads.count(), 3, 10000);
  EXPECT_TRUE(viewer.FileName().empty());
  EXPECT_EQ(viewer.Model().FileSize(), 0);
  EXPECT_TRUE(host.memo.empty());
  const QImage image = Grab();
  EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), viewer.Color);
}

TEST_F(ViewerTest, AChangeNoticeDuringARedrawIsNotLost) {
  viewer.SetAutoReload(true);
  OpenFile("eins\r\n");
  QSignalSpy reloads(&viewer, &TFileViewer::OnFileReload);
  bool sent = false;
  host.onAppend = [&] {
    if (sent) return;
    sent = true;
    drive.WriteFile("doc.txt", "eins\r\nzwei\r\n");
    emit viewer.FileWatch().Changed();  // arrives while the viewer draws
  };
  viewer.Redraw();
  ASSERT_TRUE(sent);
  host.onAppend = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT(reloads.count() >= 1, 10000);
  EXPECT_EQ(viewer.Model().FileSize(), 12);
}

}  // namespace
}  // namespace search

namespace search {
namespace {

// The word under the pointer, wherever the view stands: the search window's layout (fitted,
// wrapped lines in the Unicode font), a UTF-8 store and a UTF-16 one, scrolled by lines.
TEST_F(ViewerTest, DoubleClickSelectsTheWordUnderThePointerAtEveryScrollPosition) {
  std::string text;
  for (int i = 0; i < 60; ++i) {
    text += "#C:\\doc" + std::to_string(i) + ".htm\r\n\r\nNumbers\r\n\r\nThe most basic element in bc is the number. "
            "Numbers are arbitrary precision numbers, and Comments begin with a hash.\r\n\r\n";
  }
  const std::string word = "basic";
  struct Mode {
    const char* name;
    TFileViewerMode mode;
    bool wide;
  } const modes[] = {{"text", vmodeText, false}, {"unicode", vmodeUnicode, true}};
  for (const Mode& m : modes) {
    std::string bytes = text;
    if (m.wide) {
      bytes = "\xFF\xFE";
      for (char c : text) bytes += {c, '\0'};
    }
    viewer.SetFont(ViewerUnicodeFont(10));
    viewer.Model().SetTextWidthFit(true);
    viewer.Model().SetTextWrap(true);
    OpenFile(bytes, m.mode, m.wide ? u"wide.txt" : u"narrow.txt");
    TDocumentModel& model = viewer.Model();
    const int64_t cs = m.wide ? 2 : 1;
    for (int scrolled : {0, 1, 3, 7, 20}) {
      model.ScrollToOffset(0, false);
      Settle();
      if (scrolled) model.LineDown(scrolled);
      Settle();
      viewer.Redraw();
      // The first "basic" on the screen.
      const size_t from = static_cast<size_t>(model.ViewPos() / cs);
      const size_t at = text.find("most basic", from) + 5;
      for (size_t inside : {size_t{0}, size_t{2}, word.size() - 1}) {
        const int64_t offset = static_cast<int64_t>(at + inside) * cs + (m.wide ? 2 : 0);
        const QPoint point = PointOf(offset);
        QWidget* port = viewer.viewport();
        QTest::mouseClick(port, Qt::LeftButton, Qt::NoModifier, point);
        QTest::mouseDClick(port, Qt::LeftButton, Qt::NoModifier, point);
        const std::u16string selected = m.wide ? model.SelTextW() : platform::AnsiToWide(model.SelText());
        EXPECT_EQ(selected, u"basic") << m.name << " scrolled " << scrolled << " char " << inside;
        QTest::qWait(QApplication::doubleClickInterval() + 20);
      }
    }
  }
}

}  // namespace
}  // namespace search
