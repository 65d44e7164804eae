#include "textlib/io/memobuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

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
