#include "widgets/uni_rich_edit.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "widgets/qt_wide.h"

namespace widgets {
namespace {

bool HasLoneCr(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) return true;
  return false;
}

TEST(UniRichEdit, CallerPositionsCountHardBreaksOnly) {
  TUniRichEdit rich;
  ASSERT_TRUE(rich.WordWrap());
  rich.resize(160, 300);
  rich.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&rich));
  const std::u16string paragraph =
      u"Ελληνικά und deutsche Wörter in einem langen Absatz, der mehrmals umbricht";
  rich.Lines().Add(paragraph);
  rich.Lines().Add(paragraph);
  rich.Lines().Add(paragraph);
  const QTextBlock third = rich.document()->findBlockByNumber(2);
  ASSERT_GT(third.layout()->lineCount(), 2);  // soft wrap points inside the paragraph
  const QTextLine secondLine = third.layout()->lineAt(1);
  struct Case {
    int control;
    int64_t caller;
  } cases[] = {
      {0, 0},
      {5, 5},
      {third.position(), third.position() + 2},
      {third.position() + secondLine.textStart() + 3, third.position() + secondLine.textStart() + 3 + 2},
      {rich.document()->characterCount() - 1, rich.document()->characterCount() - 1 + 3},  // behind the final break
  };
  for (const auto& c : cases) {
    QTextCursor cursor = rich.textCursor();
    cursor.setPosition(c.control);
    rich.setTextCursor(cursor);
    EXPECT_EQ(rich.SelStart(), c.caller) << c.control;
    rich.SetSelStart(0);
    rich.SetSelStart(c.caller);
    EXPECT_EQ(rich.textCursor().position(), c.control) << c.control;
  }
  // A selection over a paragraph end counts the break as two.
  rich.SetSelStart(static_cast<int64_t>(paragraph.size()) - 2);
  rich.SetSelLength(5);
  EXPECT_EQ(rich.SelText(), paragraph.substr(paragraph.size() - 2) + u"\r\n" + paragraph.substr(0, 1));
  EXPECT_EQ(rich.SelLength(), 5);
  EXPECT_EQ(rich.textCursor().selectedText().size(), 4);
  rich.SetWordWrap(false);
  EXPECT_FALSE(rich.WordWrap());
  EXPECT_EQ(rich.horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
}

TEST(UniRichEdit, TextNeverHoldsALoneCr) {
  TUniRichEdit rich;
  rich.Lines().SetTextStr(u"a\rb\nc\r\nd\u2028e\u2029f");
  EXPECT_EQ(rich.ControlText(), u"a\rb\rc\rd\re\rf");
  EXPECT_EQ(rich.Text(), u"a\r\nb\r\nc\r\nd\r\ne\r\nf");
  EXPECT_EQ(rich.Lines().Count(), 6);
  EXPECT_EQ(rich.Lines().Text(), u"a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n");
  rich.selectAll();
  EXPECT_EQ(rich.SelText(), rich.Text());
  rich.moveCursor(QTextCursor::End);
  QTest::keyClick(&rich, Qt::Key_Return);
  QTest::keyClicks(&rich, QStringLiteral("g"));
  rich.Lines().Insert(1, u"x");
  rich.Lines().Add(u"");
  for (const auto& text : {rich.Text(), rich.Lines().Text(), (rich.selectAll(), rich.SelText())})
    EXPECT_FALSE(HasLoneCr(text)) << testing::PrintToString(text);
  EXPECT_EQ(rich.Text(), u"a\r\nx\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n");
}

TEST(UniRichEdit, LinesTextRaisesNoChange) {
  TUniRichEdit rich;
  QSignalSpy changed(&rich, &TUniRichEdit::Changed);
  rich.Lines().SetTextStr(u"Ελληνικά\r\nрусский");
  rich.Lines().SetTextStr(u"");
  rich.Lines().SetTextStr(u"Ελληνικά\r\nрусский");
  rich.Lines().SetTextStr(u"Ελληνικά\r\nрусский");
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(rich.Text(), u"Ελληνικά\r\nрусский");
  // Other changes notify once each.
  rich.Lines().Add(u"日本");
  EXPECT_EQ(changed.count(), 1);
  rich.SetText(u"Ελληνικα");
  EXPECT_EQ(changed.count(), 2);
  rich.SetText(u"Ελληνικα");
  EXPECT_EQ(changed.count(), 2);
  rich.moveCursor(QTextCursor::End);
  QTest::keyClicks(&rich, QStringLiteral("ab"));
  EXPECT_EQ(changed.count(), 4);
}

TEST(UniRichEdit, ShiftEnterBreaksTheLine) {
  TUniRichEdit rich;
  QTest::keyClicks(&rich, QStringLiteral("ab"));
  QTest::keyClick(&rich, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
  QTest::keyClicks(&rich, QStringLiteral("cd"));
  EXPECT_EQ(rich.Text(), u"ab\r\ncd");
  EXPECT_EQ(rich.Lines().Count(), 2);
}

TEST(UniRichEdit, SettingTheTextMovesTheCaretOnce) {
  TUniRichEdit rich;
  rich.SetText(u"ab\r\ncd");
  rich.SetSelStart(4);
  QSignalSpy selection(&rich, &TUniRichEdit::SelectionChange);
  // The document moves the caret behind the new text on the way; only where it ends counts.
  rich.SetText(u"xy\r\nzw\r\nuv");
  EXPECT_EQ(selection.count(), 1);
  EXPECT_EQ(rich.SelStart(), 0);
  rich.SetText(u"neu");
  EXPECT_EQ(selection.count(), 1);
}

TEST(UniRichEdit, AddStringsRaisesNoSelectionChange) {
  TUniRichEdit rich;
  QSignalSpy selection(&rich, &TUniRichEdit::SelectionChange);
  rich.Lines().Add(u"erste");  // the caret moves behind the new line
  EXPECT_EQ(selection.count(), 1);
  textlib::TUniStringList hits;
  hits.Add(u"Treffer α");
  hits.Add(u"Treffer β");
  selection.clear();
  rich.Lines().AddStrings(hits);
  EXPECT_EQ(selection.count(), 0);
  EXPECT_EQ(rich.Text(), u"erste\r\nTreffer α\r\nTreffer β\r\n");
  // The handler is back afterwards; a caret move that also drops a selection is one event.
  rich.SetSelStart(0);
  EXPECT_EQ(selection.count(), 1);
  rich.SetSelLength(3);
  EXPECT_EQ(selection.count(), 2);
  rich.SetSelStart(4);
  EXPECT_EQ(selection.count(), 3);
  rich.SetSelStart(4);
  EXPECT_EQ(selection.count(), 3);
}

TEST(UniRichEdit, SavesAndLoadsTheWideListFormat) {
  testsupport::TempDrive drive;
  TUniRichEdit rich;
  rich.Lines().Add(u"\u00E4\u03A9");
  rich.Lines().Add(u"z");
  rich.Lines().SaveToFile(drive.Drive(u"hits.txt"));
  EXPECT_EQ(drive.ReadFile("hits.txt"), std::string("\xFF\xFE\xE4\0\xA9\x03\r\0\n\0z\0\r\0\n\0", 16));

  struct Case {
    const char* what;
    std::string bytes;
    textlib::TUniCharSet charSet;
  } cases[] = {
      {"UTF-16LE", std::string("\xFF\xFE\xA9\x03\r\0\n\0b\0", 10), textlib::csUtf16LE},
      {"UTF-16BE", std::string("\xFE\xFF\x03\xA9\0\r\0\n\0b", 10), textlib::csUtf16BE},
      {"UTF-8", "\xEF\xBB\xBF\xCE\xA9\r\nb", textlib::csUtf8},
  };
  for (const auto& c : cases) {
    drive.WriteFile("in.txt", c.bytes);
    TUniRichEdit loaded;
    QSignalSpy changed(&loaded, &TUniRichEdit::Changed);
    loaded.Lines().LoadFromFile(drive.Drive(u"in.txt"));
    EXPECT_EQ(loaded.Text(), u"\u03A9\r\nb") << c.what;
    EXPECT_EQ(loaded.ControlText(), u"\u03A9\rb") << c.what;
    EXPECT_EQ(loaded.Lines().LastFileCharSet(), c.charSet) << c.what;
    EXPECT_EQ(changed.count(), 0) << c.what;  // loading sets the Lines' text
  }
  EXPECT_THROW(rich.Lines().LoadFromFile(drive.Drive(u"fehlt\\hits.txt")), textlib::Exception);
}

TEST(UniRichEdit, ControlOperationsMatchTheHeadlessBuffer) {
  std::mt19937 rng(7);
  const std::vector<std::u16string> pieces = {u"a", u"βγ", u"\r"};
  TUniRichEdit rich;
  textlib::TMemoBuffer model(textlib::TMemoBuffer::Kind::RichEdit);
  for (int step = 0; step < 300; ++step) {
    ASSERT_EQ(rich.ControlText(), model.ControlText()) << step;
    ASSERT_EQ(rich.Text(), model.Text());
    ASSERT_EQ(rich.TextLength(), model.TextLength());
    ASSERT_EQ(rich.ControlLineCount(), model.ControlLineCount());
    for (int i = 0; i <= model.ControlLineCount(); ++i) ASSERT_EQ(rich.LineIndex(i), model.LineIndex(i)) << step;
    for (int64_t p = 0; p <= model.TextLength(); ++p) ASSERT_EQ(rich.LineLength(p), model.LineLength(p)) << step;
    const auto place = [&] { return static_cast<int64_t>(rng() % static_cast<unsigned>(model.TextLength() + 1)); };
    const int64_t a = place(), b = rng() % 3 == 0 ? place() : a;
    std::u16string insert;
    for (unsigned n = rng() % 4; n > 0; --n) insert += pieces[rng() % pieces.size()];
    if (model.TextLength() > 200) insert.clear();
    ASSERT_TRUE(rich.Replace(a, b, insert));
    ASSERT_TRUE(model.Replace(a, b, insert));
  }
}

TEST(UniRichEdit, PlainTextAndWideHint) {
  TUniRichEdit rich;
  EXPECT_FALSE(rich.acceptRichText());
  rich.SetHint(u"Треффер|lang");
  EXPECT_EQ(rich.Hint(), u"Треффер|lang");
  EXPECT_EQ(FromQ(rich.toolTip()), u"Треффер");
}

}  // namespace
}  // namespace widgets
