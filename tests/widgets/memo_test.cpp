#include "widgets/uni_memo.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

using textlib::TUniStrings;

TEST(UniMemo, EqualTextChangesNothing) {
  TUniMemo memo;
  QSignalSpy changed(&memo, &TUniMemo::Changed);
  memo.SetText(u"Zeile 1\r\nZeile 2");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(memo.SelStart(), 0);
  QTest::keyClicks(&memo, QStringLiteral("x"));  // the user's undo step
  memo.SetSelStart(3);
  changed.clear();
  memo.SetText(memo.Text());
  memo.Lines().SetTextStr(memo.Text());
  memo.Lines().SetTextStr(u"xZeile 1\nZeile 2");  // the same once breaks are CR LF
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(memo.SelStart(), 3);
  EXPECT_TRUE(memo.document()->isUndoAvailable());
}

TEST(UniMemo, TextsThatOnlyDifferOutsideTheAnsiCodePageNotifyOnce) {
  struct Case {
    std::u16string first, second;
  } cases[] = {
      {u"Αθήνα\r\nΣπάρτη", u"Αθηνα\r\nΣπάρτη"},
      {u"日本", u"中国"},
      {u"a\U0001F600", u"a\U0001F601"},
  };
  for (const auto& c : cases) {
    TUniMemo memo;
    memo.SetText(c.first);
    QSignalSpy changed(&memo, &TUniMemo::Changed);
    memo.SetText(c.second);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(memo.Text(), c.second);
    memo.Lines().SetTextStr(c.first);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(memo.Lines().Text(), c.first);
  }
}

TEST(UniMemo, LinesTable) {
  struct Case {
    const char* what;
    std::u16string start;
    std::function<void(TUniStrings&)> op;
    std::u16string text;
    int count;
    int changes;
  } cases[] = {
      {"add to empty", u"", [](TUniStrings& l) { l.Add(u"Ωμέγα"); }, u"Ωμέγα\r\n", 1, 1},
      {"append without final break adds CR LF first", u"a", [](TUniStrings& l) { l.Add(u"б"); }, u"a\r\nб", 2, 1},
      {"insert past an empty last line inserts nothing", u"a\r\n", [](TUniStrings& l) { l.Insert(2, u"x"); },
       u"a\r\n", 1, 0},
      {"insert far past the end", u"a", [](TUniStrings& l) { l.Insert(5, u"x"); }, u"a", 1, 0},
      {"negative insert", u"a", [](TUniStrings& l) { l.Insert(-1, u"x"); }, u"a", 1, 0},
      {"insert at top", u"α\r\nβ", [](TUniStrings& l) { l.Insert(0, u"日本"); }, u"日本\r\nα\r\nβ", 3, 1},
      {"insert in the middle", u"α\r\nβ", [](TUniStrings& l) { l.Insert(1, u"γ"); }, u"α\r\nγ\r\nβ", 3, 1},
      {"put", u"α\r\nβ\r\n", [](TUniStrings& l) { l.Put(1, u"Ж"); }, u"α\r\nЖ\r\n", 2, 1},
      {"put the same line", u"α\r\nβ", [](TUniStrings& l) { l.Put(1, u"β"); }, u"α\r\nβ", 2, 0},
      {"put past the end", u"α", [](TUniStrings& l) { l.Put(3, u"x"); }, u"α", 1, 0},
      {"delete first", u"α\r\nβ", [](TUniStrings& l) { l.Delete(0); }, u"β", 1, 1},
      {"delete last", u"α\r\nβ", [](TUniStrings& l) { l.Delete(1); }, u"α\r\n", 1, 1},
      {"clear", u"α\r\nβ", [](TUniStrings& l) { l.Clear(); }, u"", 0, 1},
      {"clear an empty memo", u"", [](TUniStrings& l) { l.Clear(); }, u"", 0, 0},
      {"text with lone breaks", u"", [](TUniStrings& l) { l.SetTextStr(u"a\nb\rc\u2028d"); },
       u"a\r\nb\r\nc\r\nd", 4, 1},
  };
  for (const auto& c : cases) {
    TUniMemo memo;
    memo.SetText(c.start);
    QSignalSpy changed(&memo, &TUniMemo::Changed);
    c.op(memo.Lines());
    EXPECT_EQ(memo.Text(), c.text) << c.what;
    EXPECT_EQ(memo.Lines().Count(), c.count) << c.what;
    EXPECT_EQ(changed.count(), c.changes) << c.what;
  }
}

TEST(UniMemo, GetOverNonAsciiLines) {
  TUniMemo memo;
  memo.Lines().SetTextStr(u"Ελληνικά\r\n\r\nрусский\r\n日本語\U0001F600\r\n");
  const std::vector<std::u16string> expected = {u"Ελληνικά", u"", u"русский", u"日本語\U0001F600"};
  ASSERT_EQ(memo.Lines().Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(memo.Lines()[i], expected[static_cast<size_t>(i)]);
  EXPECT_EQ(memo.Lines()[4], u"");
  EXPECT_EQ(memo.Lines().IndexOf(u"РУССКИЙ"), 2);
}

TEST(UniMemo, LongLinesAndManyLines) {
  TUniMemo memo;
  const std::u16string longLine(70000, u'ж');
  memo.Lines().Add(longLine);
  memo.Lines().BeginUpdate();
  for (int i = 0; i < 10000; ++i) memo.Lines().Add(u"Zeile " + FromQ(QString::number(i)));
  memo.Lines().EndUpdate();
  EXPECT_TRUE(memo.updatesEnabled());
  ASSERT_EQ(memo.Lines().Count(), 10001);
  EXPECT_EQ(memo.Lines()[0], longLine);
  EXPECT_EQ(memo.Lines()[10000], u"Zeile 9999");
  EXPECT_EQ(memo.TextLength(), 70000 + 2 + 10000 * 2 + (10 + 90 * 2 + 900 * 3 + 9000 * 4) + 10000 * 6);
}

TEST(UniMemo, SelectionInCrLfUnits) {
  TUniMemo memo;
  memo.SetText(u"ab\r\nΩd\r\n\U0001F600");
  memo.SetSelStart(4);
  EXPECT_EQ(memo.SelStart(), 4);
  EXPECT_EQ(memo.textCursor().position(), 3);  // one document position per break
  memo.SetSelStart(1);
  memo.SetSelLength(4);
  EXPECT_EQ(memo.SelText(), u"b\r\nΩ");
  EXPECT_EQ(memo.SelLength(), 4);
  memo.SetSelLength(100);
  EXPECT_EQ(memo.SelText(), u"b\r\nΩd\r\n\U0001F600");
  EXPECT_EQ(memo.SelLength(), 9);
  memo.SetSelStart(3);  // between CR and LF: the end of the line
  EXPECT_EQ(memo.SelStart(), 2);
}

TEST(UniMemo, ShiftEnterBreaksTheLine) {
  TUniMemo memo;
  QTest::keyClicks(&memo, QStringLiteral("ab"));
  QTest::keyClick(&memo, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClicks(&memo, QStringLiteral("cd"));
  EXPECT_EQ(memo.Text(), u"ab\r\ncd");
  EXPECT_EQ(memo.Lines().Count(), 2);
}

TEST(UniMemo, UserEditsNotifyOncePerChange) {
  TUniMemo memo;
  memo.SetText(u"Ω");
  memo.moveCursor(QTextCursor::End);
  QSignalSpy changed(&memo, &TUniMemo::Changed);
  QTest::keyClicks(&memo, QStringLiteral("ab"));
  QTest::keyClick(&memo, Qt::Key_Return);
  EXPECT_EQ(memo.Text(), u"Ωab\r\n");
  EXPECT_EQ(changed.count(), 3);
  QTest::keyClick(&memo, Qt::Key_Left);
  EXPECT_EQ(changed.count(), 3);
  memo.Lines().Add(u"c");
  EXPECT_EQ(changed.count(), 4);
  EXPECT_EQ(memo.Text(), u"Ωab\r\nc\r\n");
}

TEST(UniMemo, WideHint) {
  TUniMemo memo;
  memo.SetHint(u"Протокол|lang");
  EXPECT_EQ(memo.Hint(), u"Протокол|lang");
  EXPECT_EQ(FromQ(memo.toolTip()), u"Протокол");
}

TEST(UniMemo, ControlOperationsMatchTheHeadlessBuffer) {
  // The headless buffer is the reference for the control's text, line starts and lengths,
  // also for positions inside a CR LF.
  std::mt19937 rng(5);
  const std::vector<std::u16string> pieces = {u"a", u"βγ", u"\r\n"};
  TUniMemo memo;
  textlib::TMemoBuffer model;
  for (int step = 0; step < 300; ++step) {
    ASSERT_EQ(memo.ControlText(), model.ControlText()) << step;
    ASSERT_EQ(memo.TextLength(), model.TextLength());
    ASSERT_EQ(memo.ControlLineCount(), model.ControlLineCount());
    for (int i = 0; i <= model.ControlLineCount(); ++i) ASSERT_EQ(memo.LineIndex(i), model.LineIndex(i)) << step;
    for (int64_t p = 0; p <= model.TextLength(); ++p) ASSERT_EQ(memo.LineLength(p), model.LineLength(p)) << step;
    const auto place = [&] { return static_cast<int64_t>(rng() % static_cast<unsigned>(model.TextLength() + 1)); };
    const int64_t a = place(), b = rng() % 3 == 0 ? place() : a;
    std::u16string insert;
    for (unsigned n = rng() % 4; n > 0; --n) insert += pieces[rng() % pieces.size()];
    if (model.TextLength() > 200) insert.clear();
    ASSERT_TRUE(memo.Replace(a, b, insert));
    ASSERT_TRUE(model.Replace(a, b, insert));
  }
}

}  // namespace
}  // namespace widgets
