#include "textlib/io/memobuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

using namespace textlib;

TEST(MemoBuffer, AddInsertCountTable) {
  struct Case {
    const char* what;
    std::u16string start;
    std::function<void(TUniStrings&)> op;
    std::u16string text;
    int count;
  } cases[] = {
      {"add to empty", u"", [](TUniStrings& l) { l.Add(u"a"); }, u"a\r\n", 1},
      {"add twice", u"", [](TUniStrings& l) { l.Add(u"a"); l.Add(u"b"); }, u"a\r\nb\r\n", 2},
      {"add without final break", u"a", [](TUniStrings& l) { l.Add(u"b"); }, u"a\r\nb", 2},
      {"add empty lines", u"", [](TUniStrings& l) { l.Add(u""); l.Add(u""); l.Add(u"x"); },
       u"\r\n\r\nx\r\n", 3},
      {"insert at top", u"a\r\nb", [](TUniStrings& l) { l.Insert(0, u"z"); }, u"z\r\na\r\nb", 3},
      {"insert past an empty last line", u"a\r\n", [](TUniStrings& l) { l.Insert(2, u"x"); },
       u"a\r\n", 1},
      {"insert far past the end", u"a", [](TUniStrings& l) { l.Insert(5, u"x"); }, u"a", 1},
      {"negative insert", u"a", [](TUniStrings& l) { l.Insert(-1, u"x"); }, u"a", 1},
      {"put", u"a\r\nb\r\n", [](TUniStrings& l) { l.Put(1, u"X"); }, u"a\r\nX\r\n", 2},
      {"delete first", u"a\r\nb", [](TUniStrings& l) { l.Delete(0); }, u"b", 1},
      {"delete last", u"a\r\nb", [](TUniStrings& l) { l.Delete(1); }, u"a\r\n", 1},
      {"clear", u"a\r\nb", [](TUniStrings& l) { l.Clear(); }, u"", 0},
      {"text with lone breaks", u"", [](TUniStrings& l) { l.SetTextStr(u"a\nb\rc"); },
       u"a\r\nb\r\nc", 3},
  };
  for (const auto& c : cases) {
    TMemoBuffer memo;
    memo.SetText(c.start);
    c.op(memo.Lines());
    EXPECT_EQ(memo.Text(), c.text) << c.what;
    EXPECT_EQ(memo.Lines().Count(), c.count) << c.what;
  }
}

TEST(MemoBuffer, SameTextSendsNothing) {
  TMemoBuffer memo;
  memo.Lines().SetTextStr(u"a\nb");
  const uint64_t changes = memo.ChangeCount();
  memo.Lines().SetTextStr(u"a\rb");  // the same once line breaks are CR LF
  EXPECT_EQ(memo.ChangeCount(), changes);
  memo.Lines().SetTextStr(u"a\r\nc");
  EXPECT_GT(memo.ChangeCount(), changes);
}

TEST(MemoBuffer, EqualTextOrLineChangesNothing) {
  for (const auto kind : {TMemoBuffer::Kind::Memo, TMemoBuffer::Kind::RichEdit}) {
    TMemoBuffer memo(kind);
    memo.SetText(u"a\r\nb\r\n");
    const uint64_t changes = memo.ChangeCount();
    memo.SetText(u"a\r\nb\r\n");
    memo.Lines().SetTextStr(u"a\r\nb\r\n");
    memo.Lines().Put(1, u"b");
    memo.Replace(0, 0, u"");
    EXPECT_EQ(memo.ChangeCount(), changes);
    memo.Lines().Put(1, u"c");
    EXPECT_EQ(memo.ChangeCount(), changes + 1);
    EXPECT_EQ(memo.Text(), u"a\r\nc\r\n");
  }
}

TEST(MemoBuffer, LongLinesAndManyLines) {
  TMemoBuffer memo;
  const std::u16string longLine(200000, u'x');
  memo.Lines().Add(longLine);
  for (int i = 0; i < 5000; ++i) memo.Lines().Add(u"Zeile");
  EXPECT_EQ(memo.Lines().Count(), 5001);
  EXPECT_EQ(memo.Lines()[0], longLine);
  EXPECT_EQ(memo.Lines()[5000], u"Zeile");
}

TEST(MemoBuffer, RefusedInsertLeavesTextAlone) {
  TMemoBuffer memo;
  memo.SetMaxLength(5);
  memo.Lines().Add(u"abc");
  try {
    memo.Lines().Add(u"d");
    FAIL();
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), u"Zeile kann nicht eingefügt werden");
  }
  EXPECT_EQ(memo.Text(), u"abc\r\n");
}

TEST(MemoBuffer, RichEditShowsCrLf) {
  TMemoBuffer rich(TMemoBuffer::Kind::RichEdit);
  rich.Lines().Add(u"a");
  rich.Lines().Add(u"b");
  EXPECT_EQ(rich.ControlText(), u"a\rb\r");
  EXPECT_EQ(rich.Text(), u"a\r\nb\r\n");
  EXPECT_EQ(rich.Lines().GetTextStr(), u"a\r\nb\r\n");
  EXPECT_EQ(rich.Lines().Count(), 2);
  rich.Lines().SetTextStr(u"x\r\ny\nz");
  EXPECT_EQ(rich.Text(), u"x\r\ny\r\nz");
  EXPECT_EQ(rich.Lines()[2], u"z");
  rich.Lines().Insert(1, u"");
  EXPECT_EQ(rich.Text(), u"x\r\n\r\ny\r\nz");
}

TEST(MemoBuffer, SavesInTheWideListFormat) {
  testsupport::TempDrive drive;
  TMemoBuffer rich(TMemoBuffer::Kind::RichEdit);
  rich.Lines().Add(u"\u00E4");
  rich.Lines().SaveToFile(drive.Drive(u"log.txt"));
  EXPECT_EQ(drive.ReadFile("log.txt"), std::string("\xFF\xFE\xE4\0\r\0\n\0", 8));
  TMemoBuffer memo;
  memo.Lines().LoadFromFile(drive.Drive(u"log.txt"));
  EXPECT_EQ(memo.Text(), u"\u00E4\r\n");
}

TEST(MemoBuffer, LineIndexMatchesPlainTextModel) {
  // The buffer keeps lines apart; a plain string edited the same way is the reference for
  // the control's text, line starts and line lengths.
  std::mt19937 rng(3);
  for (auto kind : {TMemoBuffer::Kind::Memo, TMemoBuffer::Kind::RichEdit}) {
    const std::u16string brk = kind == TMemoBuffer::Kind::Memo ? u"\r\n" : u"\r";
    const std::vector<std::u16string> pieces =
        kind == TMemoBuffer::Kind::Memo ? std::vector<std::u16string>{u"a", u"bc", u"\r\n", u"\r", u"\n"}
                                        : std::vector<std::u16string>{u"a", u"bc", u"\r"};
    TMemoBuffer memo(kind);
    std::u16string model;
    for (int step = 0; step < 400; ++step) {
      // Line starts of the model; edits start and end on characters, never inside a break.
      std::vector<size_t> starts = {0};
      for (size_t p = model.find(brk); p != std::u16string::npos; p = model.find(brk, p + brk.size()))
        starts.push_back(p + brk.size());
      auto lineEnd = [&](size_t i) { return i + 1 < starts.size() ? starts[i + 1] - brk.size() : model.size(); };
      auto somePlace = [&] {
        const size_t line = rng() % starts.size();
        return starts[line] + rng() % (lineEnd(line) - starts[line] + 1);
      };
      ASSERT_EQ(memo.ControlText(), model) << step;
      ASSERT_EQ(memo.TextLength(), static_cast<int64_t>(model.size()));
      ASSERT_EQ(memo.ControlLineCount(), static_cast<int>(starts.size()));
      for (size_t i = 0; i < starts.size(); ++i) {
        ASSERT_EQ(memo.LineIndex(static_cast<int>(i)), static_cast<int64_t>(starts[i])) << step;
        ASSERT_EQ(memo.LineLength(static_cast<int64_t>(lineEnd(i))), static_cast<int64_t>(lineEnd(i) - starts[i]));
      }
      EXPECT_EQ(memo.LineIndex(static_cast<int>(starts.size())), -1);

      size_t a = somePlace(), b = rng() % 3 == 0 ? somePlace() : a;
      if (a > b) std::swap(a, b);
      std::u16string insert;
      for (unsigned n = rng() % 4; n > 0; --n) insert += pieces[rng() % pieces.size()];
      if (model.size() > 300) insert.clear();
      ASSERT_TRUE(memo.Replace(static_cast<int64_t>(a), static_cast<int64_t>(b), insert));
      model.replace(a, b - a, insert);
    }
  }
}

TEST(MemoBuffer, RichEditLinesTable) {
  // The control keeps CR alone; callers give and get CR LF.
  struct Case {
    const char* what;
    std::u16string start;
    std::function<void(TUniStrings&)> op;
    std::u16string control;
    int count;
  } cases[] = {
      {"add to empty", u"", [](TUniStrings& l) { l.Add(u"a"); }, u"a\r", 1},
      {"add without final break", u"a", [](TUniStrings& l) { l.Add(u"b"); }, u"a\rb", 2},
      {"insert a text with breaks", u"a\r\nb", [](TUniStrings& l) { l.Insert(1, u"x\r\ny"); }, u"a\rx\ry\rb", 4},
      {"insert an empty line", u"a", [](TUniStrings& l) { l.Insert(0, u""); }, u"\ra", 2},
      {"put", u"a\r\nb\r\n", [](TUniStrings& l) { l.Put(0, u"X"); }, u"X\rb\r", 2},
      {"delete first", u"a\r\nb", [](TUniStrings& l) { l.Delete(0); }, u"b", 1},
      {"delete last", u"a\r\nb", [](TUniStrings& l) { l.Delete(1); }, u"a\r", 1},
      {"set text", u"", [](TUniStrings& l) { l.SetTextStr(u"a\nb\r\n"); }, u"a\rb\r", 2},
  };
  for (const auto& c : cases) {
    TMemoBuffer rich(TMemoBuffer::Kind::RichEdit);
    rich.SetText(c.start);
    c.op(rich.Lines());
    EXPECT_EQ(rich.ControlText(), c.control) << c.what;
    EXPECT_EQ(rich.Text(), WideAdjustLineBreaks(c.control, tlbsCRLF)) << c.what;
    EXPECT_EQ(rich.Lines().Count(), c.count) << c.what;
  }
}

TEST(MemoBuffer, RichEditLinesQuietTheirNotifications) {
  // A control that records which notifications the Lines switch off and on again.
  class Recording : public TMemoBuffer {
   public:
    Recording() : TMemoBuffer(Kind::RichEdit) {}
    void SuspendNotification(TNotification which, bool suspended) override {
      calls.push_back(std::string(which == TNotification::Change ? "change" : "selection") +
                      (suspended ? " off" : " on"));
    }
    std::vector<std::string> calls;
  } rich;
  rich.Lines().SetTextStr(u"a\r\nb");
  EXPECT_EQ(rich.calls, (std::vector<std::string>{"change off", "change on"}));
  EXPECT_EQ(rich.Text(), u"a\r\nb");

  rich.calls.clear();
  TUniStringList more;
  more.Add(u"c");
  more.Add(u"d");
  rich.Lines().AddStrings(more);
  EXPECT_EQ(rich.calls, (std::vector<std::string>{"selection off", "selection on"}));
  EXPECT_EQ(rich.Text(), u"a\r\nb\r\nc\r\nd");

  // A refused line still switches the notification on again.
  rich.calls.clear();
  rich.SetMaxLength(rich.TextLength());
  EXPECT_THROW(rich.Lines().AddStrings(more), EOutOfResources);
  EXPECT_EQ(rich.calls, (std::vector<std::string>{"selection off", "selection on"}));

  // A memo's Lines have nothing to keep quiet.
  TMemoBuffer memo;
  memo.Lines().SetTextStr(u"x");
  memo.Lines().AddStrings(more);
  EXPECT_EQ(memo.Text(), u"x\r\nc\r\nd");
}
