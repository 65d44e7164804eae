// The rich edit's caller positions against a plain walk over its display lines, and its
// Lines operations against the headless buffer.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <random>
#include <string>
#include <vector>

#include "textlib/io/memobuffer.h"
#include "widgets/uni_rich_edit.h"

namespace widgets {
namespace {

// The control's display lines as the platform's line messages give them: the control
// position where each starts and its length without a break. Soft lines follow each other
// without a gap; a hard break leaves one position between two lines.
struct DisplayLine {
  int64_t index, length;
};

std::vector<DisplayLine> DisplayLines(const QTextDocument& document) {
  std::vector<DisplayLine> lines;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QTextLayout* layout = block.layout();
    if (layout->lineCount() == 0) {
      lines.push_back({block.position(), 0});
      continue;
    }
    for (int i = 0; i < layout->lineCount(); ++i)
      lines.push_back({block.position() + layout->lineAt(i).textStart(), layout->lineAt(i).textLength()});
  }
  return lines;
}

// Control position to caller position: p plus the hard breaks before p, which are the
// line's index minus the summed lengths of all lines before it.
int64_t ReferenceToCaller(const std::vector<DisplayLine>& lines, int64_t p) {
  size_t line = 0;
  while (line + 1 < lines.size() && lines[line + 1].index <= p) ++line;
  int64_t before = 0;
  for (size_t i = 0; i < line; ++i) before += lines[i].length;
  return p + (lines[line].index - before);
}

// Caller position to control position: the lines are walked with a break count n and a
// running sum; a line whose index passes the sum has a hard break before it.
int64_t ReferenceToControl(const std::vector<DisplayLine>& lines, int64_t position) {
  if (position <= 0) return position;
  int64_t n = 0, sum = 0;
  for (const DisplayLine& line : lines) {
    if (position < n + line.index) break;
    if (line.index > sum) {
      ++n;
      ++sum;
    }
    sum += line.length;
    if (position >= n + line.index && position < n + line.index + line.length) break;
  }
  return position - n;
}

TEST(UniRichEditLines, PositionsMatchTheWalkOverDisplayLines) {
  TUniRichEdit rich;
  rich.resize(150, 400);
  rich.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&rich));
  const std::u16string paragraph = u"Ελληνικά und русский Text in einem Absatz, der mehrmals umbricht";
  rich.SetText(paragraph + u"\r\n\r\n" + paragraph + u"\r\nkurz\r\n\r\n" + paragraph);
  const std::vector<DisplayLine> lines = DisplayLines(*rich.document());
  ASSERT_GT(lines.size(), 10u);  // soft lines besides the six paragraphs
  // Wrapped text needs no horizontal bar.
  EXPECT_EQ(rich.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(rich.horizontalScrollBar()->isVisible());
  const int controlLength = rich.document()->characterCount() - 1;
  for (int p = 0; p <= controlLength; ++p) {
    QTextCursor cursor = rich.textCursor();
    cursor.setPosition(p);
    rich.setTextCursor(cursor);
    ASSERT_EQ(rich.SelStart(), ReferenceToCaller(lines, p)) << p;
  }
  const auto callerLength = static_cast<int64_t>(rich.Text().size());
  for (int64_t q = 0; q <= callerLength; ++q) {
    rich.SetSelStart(q);
    ASSERT_EQ(rich.textCursor().position(), ReferenceToControl(lines, q)) << q;
  }
  // A length is set as converted(start + length) - converted(start).
  for (const auto& [start, length] : std::vector<std::pair<int64_t, int64_t>>{{3, 70}, {60, 9}, {paragraph.size() + 1, 4}}) {
    rich.SetSelStart(start);
    // A start inside a break reads back as the end of its line, and the length counts from there.
    const int64_t from = rich.SelStart();
    rich.SetSelLength(length);
    const QTextCursor cursor = rich.textCursor();
    EXPECT_EQ(cursor.selectionEnd() - cursor.selectionStart(),
              ReferenceToControl(lines, from + length) - ReferenceToControl(lines, from));
    EXPECT_EQ(rich.SelLength(), ReferenceToCaller(lines, cursor.selectionEnd()) - rich.SelStart());
  }
}

TEST(UniRichEditLines, OperationsMatchTheHeadlessBuffer) {
  std::mt19937 rng(19);
  const std::vector<std::u16string> words = {u"α", u"Treffer", u"", u"日本", u"a\r\nb", u"x\ry"};
  const auto word = [&] { return words[rng() % words.size()]; };
  TUniRichEdit rich;
  textlib::TMemoBuffer model(textlib::TMemoBuffer::Kind::RichEdit);
  QSignalSpy changed(&rich, &TUniRichEdit::Changed);
  QSignalSpy selection(&rich, &TUniRichEdit::SelectionChange);
  for (int step = 0; step < 200; ++step) {
    const int count = model.Lines().Count();
    const int op = static_cast<int>(rng() % 7);
    const int index = count > 0 ? static_cast<int>(rng() % static_cast<unsigned>(count)) : 0;
    const int changesBefore = static_cast<int>(changed.count());
    const int selectionsBefore = static_cast<int>(selection.count());
    switch (op) {
      case 0: {
        const std::u16string s = word();
        rich.Lines().Add(s);
        model.Lines().Add(s);
        break;
      }
      case 1: {
        const std::u16string s = word();
        rich.Lines().Insert(index, s);
        model.Lines().Insert(index, s);
        break;
      }
      case 2:
        if (count == 0) break;
        rich.Lines().Delete(index);
        model.Lines().Delete(index);
        break;
      case 3: {
        if (count == 0) break;
        const std::u16string s = word();
        rich.Lines().Put(index, s);
        model.Lines().Put(index, s);
        break;
      }
      case 4: {
        const std::u16string text = word() + u"\r\n" + word();
        rich.Lines().SetTextStr(text);
        model.Lines().SetTextStr(text);
        EXPECT_EQ(changed.count(), changesBefore) << "SetTextStr notified, step " << step;
        break;
      }
      case 5: {
        textlib::TUniStringList list;
        for (unsigned k = rng() % 3 + 1; k > 0; --k) list.Add(word());
        rich.Lines().AddStrings(list);
        model.Lines().AddStrings(list);
        EXPECT_EQ(selection.count(), selectionsBefore) << "AddStrings moved the selection, step " << step;
        break;
      }
      default:
        if (rng() % 4 == 0) {
          rich.Lines().Clear();
          model.Lines().Clear();
        }
        break;
    }
    ASSERT_EQ(rich.Text(), model.Text()) << "step " << step << " op " << op << " index " << index;
    ASSERT_EQ(rich.ControlText(), model.ControlText());
    ASSERT_EQ(rich.Lines().Count(), model.Lines().Count());
    ASSERT_EQ(rich.Lines().Text(), model.Lines().Text());
  }
}

TEST(UniRichEditLines, SelTextReplacesTheSelection) {
  TUniRichEdit rich;
  rich.SetText(u"eins\r\nzwei\r\ndrei");
  rich.SetSelStart(2);
  rich.SetSelLength(10);
  EXPECT_EQ(rich.SelText(), u"ns\r\nzwei\r\n");
  QSignalSpy changed(&rich, &TUniRichEdit::Changed);
  rich.SetSelText(u"Ω\r\nψ\rχ\n");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(rich.Text(), u"eiΩ\r\nψ\r\nχ\r\ndrei");
  EXPECT_EQ(rich.ControlText(), u"eiΩ\rψ\rχ\rdrei");
  EXPECT_EQ(rich.SelStart(), 11);  // behind the new text, in caller units
  EXPECT_EQ(rich.SelLength(), 0);
  rich.SetSelStart(0);
  rich.SetSelLength(2);
  rich.SetSelText(u"ei");  // the same text: no change
  EXPECT_EQ(changed.count(), 1);
}

}  // namespace
}  // namespace widgets
