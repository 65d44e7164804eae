// The viewer's document model without a window: positions, clamps, scroll-bar arithmetic,
// line splitting and the page layout, with a fixed-width measure standing in for the font.
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "search/engine/document_model.h"
#include "search/engine/viewer_layout.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

using search::TDocumentModel;
using search::TStepDirection;
using search::TViewerDocKind;

// A stream whose bytes come from a function, so sizes beyond 4 GB cost nothing.
class GeneratedStream : public search::TViewerStream {
 public:
  GeneratedStream(int64_t size, std::function<char(int64_t)> byteAt) : size_(size), byteAt_(std::move(byteAt)) {}
  explicit GeneratedStream(std::string bytes)
      : size_(static_cast<int64_t>(bytes.size())), bytes_(std::move(bytes)) {}
  int64_t Size() override { return size_; }
  int64_t ReadAt(int64_t offset, char* buffer, int64_t count) override {
    if (failReads) return -1;
    const int64_t n = std::max<int64_t>(0, std::min(count, size_ - offset));
    for (int64_t i = 0; i < n; ++i)
      buffer[i] = byteAt_ ? byteAt_(offset + i) : bytes_[static_cast<size_t>(offset + i)];
    return n;
  }
  bool failReads = false;

 private:
  int64_t size_;
  std::function<char(int64_t)> byteAt_;
  std::string bytes_;
};

// A model over bytes, sized for `columns` fixed 8-pixel characters and `rows` lines.
struct Viewer {
  explicit Viewer(std::string bytes, search::TFileViewerMode mode = search::vmodeText, int columns = 80, int rows = 25)
      : stream(std::move(bytes)) {
    model.SetMeasure(&measure);
    model.SetMode(mode);
    model.SetClientSize(2 + columns * 8, 2 + rows * 16);
    EXPECT_TRUE(model.LoadStream(&stream));
  }
  std::vector<int64_t> ForwardStarts() {
    std::vector<int64_t> starts;
    for (int64_t p = model.FileSize() >= model.CharSize() ? 0 : -1; p >= 0; p = model.NextLinePos(TStepDirection::Forward, p))
      starts.push_back(p);
    return starts;
  }
  std::vector<int64_t> BackwardStarts() {
    std::vector<int64_t> starts;
    for (int64_t p = model.NextLinePos(TStepDirection::Backward, model.FileSize()); p >= 0;
         p = model.NextLinePos(TStepDirection::Backward, p))
      starts.insert(starts.begin(), p);
    return starts;
  }
  std::vector<std::u16string> Lines() {
    std::vector<std::u16string> lines;
    for (int64_t start : ForwardStarts()) {
      std::u16string text;
      model.GetLineText(start, &text);
      lines.push_back(text);
    }
    return lines;
  }
  search::TFixedWidthMeasure measure{8, 16};
  GeneratedStream stream;
  TDocumentModel model;
};

std::string Utf16LE(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

TEST(ViewerPositions, OffsetDigitsFromTheFileSize) {
  struct Row {
    int64_t size;
    int digits;
  } rows[] = {{0, 8}, {15, 8}, {(int64_t{1} << 32) - 1, 8}, {int64_t{1} << 32, 10}, {int64_t{1} << 40, 12},
              {int64_t{1} << 36, 10}, {int64_t{1} << 62, 16}};
  for (const Row& row : rows) EXPECT_EQ(TDocumentModel::OffsetDigitsFor(row.size, 1), row.digits) << row.size;
  EXPECT_EQ(TDocumentModel::OffsetDigitsFor(1, 2), 8);  // shorter than one character
}

TEST(ViewerPositions, LastPosAndTheLargestViewPos) {
  struct Row {
    search::TFileViewerMode mode;
    size_t size;
    int64_t lastPos, maxView;
  } rows[] = {
      {search::vmodeText, 0, 0, 0},        {search::vmodeText, 10, 9, 6},
      {search::vmodeUnicode, 3, 0, 0},     {search::vmodeUnicode, 7, 4, 0},
      // 16 bytes per line, 4 rows: the last line at 96, three lines above it.
      {search::vmodeHex, 100, 99, 48},     {search::vmodeHex, 96, 95, 32},
      {search::vmodeHex, 20, 19, 0},       {search::vmodeUHex, 101, 98, 48},
  };
  for (const Row& row : rows) {
    Viewer v(std::string(row.size, 'x'), row.mode, 80, 4);
    EXPECT_EQ(v.model.LastPos(), row.lastPos) << row.size;
    EXPECT_EQ(v.model.MaxViewPos(), row.maxView) << row.size;
  }
}

TEST(ViewerProperties, SettersClampAndRound) {
  TDocumentModel m;
  struct Row {
    std::function<void(int)> set;
    std::function<int()> get;
    int in, out;
  } rows[] = {
      {[&](int v) { m.SetTextWidthHex(v); }, [&] { return m.TextWidthHex(); }, 3, 2},
      {[&](int v) { m.SetTextWidthHex(v); }, [&] { return m.TextWidthHex(); }, 13, 12},
      {[&](int v) { m.SetTextWidthHex(v); }, [&] { return m.TextWidthHex(); }, 9999, 2048},
      {[&](int v) { m.SetTextWidthUHex(v); }, [&] { return m.TextWidthUHex(); }, 7, 4},
      {[&](int v) { m.SetTextWidthUHex(v); }, [&] { return m.TextWidthUHex(); }, -5, 2},
      {[&](int v) { m.SetTextWidth(v); }, [&] { return m.TextWidth(); }, 1, 2},
      {[&](int v) { m.SetTextWidth(v); }, [&] { return m.TextWidth(); }, 3000, 2048},
      {[&](int v) { m.SetTextWidth(v); }, [&] { return m.TextWidth(); }, 81, 81},
      {[&](int v) { m.SetTextSearchIndentVert(v); }, [&] { return m.TextSearchIndentVert(); }, -1, 0},
      {[&](int v) { m.SetTextSearchIndentHorz(v); }, [&] { return m.TextSearchIndentHorz(); }, 81, 80},
      {[&](int v) { m.SetTextTabSize(v); }, [&] { return m.TextTabSize(); }, 0, 1},
      {[&](int v) { m.SetTextTabSize(v); }, [&] { return m.TextTabSize(); }, 17, 16},
  };
  for (const Row& row : rows) {
    row.set(row.in);
    EXPECT_EQ(row.get(), row.out) << row.in;
  }
  // Defaults, and a hex fit switched off restores them.
  TDocumentModel d;
  EXPECT_EQ(d.TextWidth(), 80);
  EXPECT_EQ(d.TextWidthHex(), 16);
  EXPECT_EQ(d.TextWidthUHex(), 8);
  EXPECT_EQ(d.TextGutterWidth(), 10);
  EXPECT_EQ(d.TextColorHex, 8388608u);
  EXPECT_EQ(d.TextColorHexBack, 15527148u);
  d.SetClientSize(1000, 100);
  d.SetTextWidthFitHex(true);
  d.SetTextWidthFitUHex(true);
  EXPECT_NE(d.TextWidthHex(), 16);
  d.SetTextWidthFitHex(false);
  d.SetTextWidthFitUHex(false);
  EXPECT_EQ(d.TextWidthHex(), 16);
  EXPECT_EQ(d.TextWidthUHex(), 8);
}

// A measure whose font reports zero sizes.
class ZeroMeasure : public search::TViewerMeasure {
 public:
  int LineHeight() const override { return 0; }
  int CharWidth() const override { return 0; }
  bool FixedPitch() const override { return true; }
  void Extents(std::u16string_view text, std::vector<int>& widths) const override { widths.assign(text.size(), 0); }
};

TEST(ViewerPositions, PageFitsFromTheClientSize) {
  struct Row {
    int width, height;
    bool gutter;
    int lines, columns, hexBytes, unicodeUnits;
  } rows[] = {
      // (802 - 2) / 8 = 100 columns; (100 - 8 - 5) / 4 = 21 bytes, / 6 = 14 units.
      {802, 402, false, 25, 100, 21, 14},
      // The gutter takes 10 + 2 pixels: (802 - 12) / 8 = 98 columns.
      {802, 402, true, 25, 98, 21, 14},
      {0, 0, false, 0, 2, 2, 2},
      {100000, 100000, false, 200, 2048, 508, 339},
  };
  for (const Row& row : rows) {
    search::TFixedWidthMeasure measure(8, 16);
    TDocumentModel m;
    m.SetMeasure(&measure);
    m.SetTextGutter(row.gutter);
    m.SetClientSize(row.width, row.height);
    EXPECT_EQ(m.LinesPerPage(), row.lines) << row.width;
    EXPECT_EQ(m.Columns(), row.columns) << row.width;
    EXPECT_EQ(m.FitHexBytes(), row.hexBytes) << row.width;
    EXPECT_EQ(m.FitUHexUnits(), row.unicodeUnits) << row.width;
    m.SetTextWidthFitHex(true);
    EXPECT_EQ(m.TextWidthHex(), row.hexBytes / 4 * 4 < 2 ? 2 : std::max(2, row.hexBytes / 4 * 4)) << row.width;
  }
  // A font without height or width divides by nothing.
  ZeroMeasure zero;
  Viewer v("abc\r\ndef");
  v.model.SetMeasure(&zero);
  v.model.SetTextWrap(true);
  EXPECT_EQ(v.model.LinesPerPage(), 200);
  EXPECT_EQ(v.model.Columns(), 640);
  EXPECT_EQ(v.model.LayoutPage().lines.Count(), 2);
}

TEST(ViewerScrollBars, RangeThumbAndPage) {
  // 1,000 lines of 16 bytes in hex mode, 10 lines per page.
  Viewer v(std::string(16000, 'a'), search::vmodeHex, 80, 10);
  v.model.SetViewPos(8000);
  search::TScrollBarInfo bar = v.model.VerticalScrollBar();
  EXPECT_TRUE(bar.visible);
  EXPECT_EQ(bar.max, 1000);
  EXPECT_EQ(bar.pos, 500);
  EXPECT_EQ(bar.page, 10);
  EXPECT_EQ(v.model.ThumbToOffset(250), 4000);
  v.model.VScroll(search::TScrollCode::ThumbTrack, 250);
  EXPECT_EQ(v.model.ViewPos(), 4000);

  // Beyond 32,767 lines the range is scaled; 64-bit sizes keep their precision.
  GeneratedStream big(int64_t{5} << 30, [](int64_t) { return 'x'; });
  search::TFixedWidthMeasure measure;
  TDocumentModel m;
  m.SetMeasure(&measure);
  m.SetMode(search::vmodeHex);
  m.SetClientSize(642, 162);
  ASSERT_TRUE(m.LoadStream(&big));
  EXPECT_EQ(m.OffsetDigits(), 10);
  bar = m.VerticalScrollBar();
  EXPECT_EQ(bar.max, 32767);
  EXPECT_EQ(bar.page, 1);
  EXPECT_EQ(m.ThumbToOffset(32767), int64_t{5} << 30);
  m.VScroll(search::TScrollCode::ThumbTrack, 16384);
  EXPECT_EQ(m.ViewPos(), (int64_t{5} << 30) * 16384 / 32767 / 16 * 16);
  m.ScrollToEnd(false);
  EXPECT_EQ(m.ViewPos(), m.MaxViewPos());
  EXPECT_GE(m.VerticalScrollBar().pos, 32766);

  // A short text that fits needs no bar; nor does an empty one.
  Viewer small("one\r\ntwo");
  EXPECT_FALSE(small.model.VerticalScrollBar().visible);
  Viewer empty("");
  EXPECT_FALSE(empty.model.VerticalScrollBar().visible);
  EXPECT_FALSE(empty.model.HorizontalScrollBar().visible);
  small.model.SetTextWrap(true);
  EXPECT_FALSE(small.model.HorizontalScrollBar().visible);
}

TEST(ViewerScrollBars, ThumbDoesNotScrollFurtherWhileTheEndIsShown) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\n";
  Viewer v(text, search::vmodeText, 80, 10);
  v.model.ScrollToEnd(false);
  const int64_t end = v.model.ViewPos();
  EXPECT_TRUE(v.model.EndShown());
  v.model.VScroll(search::TScrollCode::ThumbTrack, v.model.VerticalScrollBar().max);
  EXPECT_EQ(v.model.ViewPos(), end);
  v.model.VScroll(search::TScrollCode::ThumbTrack, 0);
  EXPECT_EQ(v.model.ViewPos(), 0);
  // A window grown taller while the end is shown shows the end again.
  v.model.ScrollToEnd(false);
  v.model.SetClientSize(2 + 80 * 8, 2 + 20 * 16);
  std::u16string line;
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"line 80");
}

TEST(ViewerLines, BreaksAndTheMaximalLength) {
  struct Row {
    std::string text;
    std::vector<std::u16string> lines;
  } rows[] = {
      {"\r\n\r\n", {u"", u""}},
      {"a\n\rb", {u"a", u"b"}},
      {"a\rb\nc\r\nd", {u"a", u"b", u"c", u"d"}},
      {"\n\r\n", {u"", u""}},
      {"a\r\rb", {u"a", u"", u"b"}},
      {"tab\there\x01", {u"tab\there."}},
      {"", {}},
  };
  for (const Row& row : rows) {
    Viewer v(row.text);
    EXPECT_EQ(v.Lines(), row.lines) << row.text;
  }
  Viewer v(std::string(5000, 'x'));
  std::vector<size_t> lengths;
  for (const std::u16string& line : v.Lines()) lengths.push_back(line.size());
  EXPECT_EQ(lengths, (std::vector<size_t>{2048, 2048, 904}));
}

TEST(ViewerLines, WrapAfterTheLastBlankOrBackslash) {
  struct Row {
    std::string text;
    int columns;
    std::vector<std::u16string> lines;
  } rows[] = {
      {"the quick brown fox", 12, {u"the quick", u"brown fox"}},
      {"C:\\Programme\\Quarry\\daten.txt", 14, {u"C:\\Programme\\", u"Quarry\\", u"daten.txt"}},
      {"abcdefghij", 4, {u"abcd", u"efgh", u"ij"}},
      // A blank just beyond the prefix still ends the line, and is not shown.
      {"abcd efgh", 4, {u"abcd", u"efgh"}},
  };
  for (const Row& row : rows) {
    Viewer v(row.text, search::vmodeText, row.columns);
    v.model.SetTextWrap(true);
    EXPECT_EQ(v.Lines(), row.lines) << row.text;
  }
}

TEST(ViewerLines, ForwardAndBackwardSteppingAgree) {
  std::string text;
  for (int i = 0; i < 300; ++i) {
    text += std::string(static_cast<size_t>((i * 37) % 90), static_cast<char>('a' + i % 26));
    if (i % 7 == 0) text += " path\\to\\file and more words ";
    text += i % 5 == 0 ? "\r\n" : i % 5 == 1 ? "\n\r" : i % 5 == 2 ? "\r" : i % 5 == 3 ? "\n\n" : "\r\n\r\n";
  }
  text += std::string(7000, 'z');  // a run longer than three lines, at the end
  for (bool wrap : {false, true}) {
    for (auto mode : {search::vmodeText, search::vmodeUnicode}) {
      std::string bytes = text;
      if (mode == search::vmodeUnicode) bytes = Utf16LE(std::u16string(text.begin(), text.end()));
      Viewer v(bytes, mode, 40);
      v.model.SetTextWrap(wrap);
      const std::vector<int64_t> forward = v.ForwardStarts();
      EXPECT_EQ(v.BackwardStarts(), forward) << wrap;
      // StepLines by many lines at once lands where single steps land.
      v.model.StepLines(250, TStepDirection::Forward, false, 0);
      EXPECT_EQ(v.model.ViewPos(), forward[250]);
      v.model.StepLines(230, TStepDirection::Backward, false, v.model.ViewPos());
      EXPECT_EQ(v.model.ViewPos(), forward[20]);
      v.model.StepLines(100000, TStepDirection::Forward, false, 0);
      EXPECT_EQ(v.model.ViewPos(), forward.back());
    }
  }
}

TEST(ViewerLines, ScrollToALineStartKeepsIt) {
  Viewer v("first\r\nsecond\r\nthird line\r\nfourth");
  v.model.ScrollToOffset(7, false);
  EXPECT_EQ(v.model.ViewPos(), 7);
  v.model.ScrollToOffset(18, false);  // inside "third line"
  EXPECT_EQ(v.model.ViewPos(), 15);
  v.model.ScrollToOffset(15, false);
  EXPECT_EQ(v.model.ViewPos(), 15);
  v.model.LineUp(1);
  EXPECT_EQ(v.model.ViewPos(), 7);
}

TEST(ViewerLines, StepsOfManyLinesDoNotJumpToTheEnd) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "line " + std::to_string(i) + "\r\n";
  Viewer v(text, search::vmodeText, 80, 25);
  v.model.StepLines(50000, TStepDirection::Forward, false, 0);
  std::u16string line;
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"line 50000");
  v.model.LineUp(30000);
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"line 20000");
  // The last page starts 25 lines above the end, the file being far larger than the buffer.
  v.model.ScrollToEnd(false);
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"line 99975");
  EXPECT_TRUE(v.model.EndShown());
  v.model.LineDown(1);
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"line 99975");
}

TEST(ViewerLines, PageEndIsJudgedByTheFileSize) {
  // Lines across the end of the three-block buffer are whole, and the page beyond it is
  // no end of the file.
  std::string text;
  while (text.size() < 1300000) text += std::string(99, 'q') + "\n";
  Viewer v(text, search::vmodeText, 200, 50);
  const int64_t block = v.model.BlockSize();
  v.model.ScrollToOffset(3 * block - 1000, false);
  const search::TViewerPage page = v.model.LayoutPage();
  EXPECT_FALSE(page.endShown);
  ASSERT_EQ(page.lines.Count(), 51);
  for (const auto& line : page.lines.Lines()) EXPECT_EQ(line.length, 99) << line.offset;
  EXPECT_EQ(v.ForwardStarts().size(), text.size() / 100);
}

TEST(ViewerUnicode, OffsetsAreRoundedToTheCharacterSize) {
  // An odd-sized file in a Unicode mode: the end, a mode change and a selection stay even.
  std::u16string text;
  for (int i = 0; i < 200; ++i) text += u"Zeile " + std::u16string(1, u'A' + i % 26) + u"\r\n";
  std::string bytes = Utf16LE(text) + "x";
  Viewer v(bytes, search::vmodeText, 80, 10);
  v.model.SetViewPos(1001);
  EXPECT_EQ(v.model.ViewPos(), 1001);
  v.model.SetMode(search::vmodeUnicode);
  EXPECT_EQ(v.model.ViewPos() % 2, 0);
  EXPECT_EQ(v.model.ViewPos(), 1000 / 18 * 18);
  v.model.ScrollToEnd(false);
  EXPECT_EQ(v.model.ViewPos() % 2, 0);
  std::u16string line;
  v.model.GetLineText(v.model.ViewPos(), &line);
  EXPECT_EQ(line, u"Zeile I");  // 200 - 10 = line 190
  for (auto mode : {search::vmodeUnicode, search::vmodeUHex}) {
    v.model.SetMode(mode);
    v.model.SetSelection(5, 7);
    EXPECT_EQ(v.model.SelStart(), 4);
    EXPECT_EQ(v.model.SelLength(), 6);
    v.model.SetViewPos(33);
    EXPECT_EQ(v.model.ViewPos() % 2, 0);
    const search::TViewerPage page = v.model.LayoutPage();
    for (const auto& rec : page.lines.Lines()) EXPECT_EQ(rec.offset % 2, 0);
  }
  // The last, incomplete byte is no character.
  v.model.SetMode(search::vmodeUnicode);
  EXPECT_EQ(v.model.LastPos(), static_cast<int64_t>(bytes.size()) - 3);
  v.model.SelectAll();
  EXPECT_EQ(v.model.SelLength(), static_cast<int64_t>(bytes.size()) - 1);
}

TEST(ViewerLines, CutsKeepCharactersWhole) {
  // UTF-8 stores: the 2,048 cut and the wrap move back before a sequence.
  {
    Viewer v(std::string(2047, 'a') + "\xC3\xA9" + "b", search::vmodeText);
    v.model.SetDocKind(TViewerDocKind::Utf8);
    EXPECT_EQ(v.ForwardStarts(), (std::vector<int64_t>{0, 2047}));
    const search::TViewerPage page = v.model.LayoutPage();
    EXPECT_EQ(page.lines[1].memoText, u"\u00E9b");
  }
  {
    Viewer v("abc\xE2\x82\xAC" "def", search::vmodeText, 4);
    v.model.SetDocKind(TViewerDocKind::Ansi);
    v.model.SetTextWrap(true);
    EXPECT_EQ(v.ForwardStarts(), (std::vector<int64_t>{0, 3, 7}));
    const search::TViewerPage page = v.model.LayoutPage();
    EXPECT_EQ(page.lines[0].memoText, u"abc");
    EXPECT_EQ(page.lines[1].memoText, u"\u20ACd");
  }
  // UTF-16: a surrogate pair on the 2,048 boundary goes whole to the next line.
  {
    std::u16string text(2047, u'a');
    text += u"\U0001F600z";
    Viewer v(Utf16LE(text), search::vmodeUnicode);
    EXPECT_EQ(v.ForwardStarts(), (std::vector<int64_t>{0, 2047 * 2}));
    EXPECT_EQ(v.Lines()[1], u"\U0001F600z");
  }
}

TEST(ViewerLayout, ExtentsAndMarksOfALongLine) {
  Viewer v(std::string(2048, ' ') + "\r\nx", search::vmodeText);
  v.model.SetTextNonPrintable(true);
  const search::TViewerPage page = v.model.LayoutPage();
  ASSERT_EQ(page.lines.Count(), 2);
  const search::TStrPosRecord& line = page.lines[0];
  EXPECT_EQ(line.text.size(), 2049u);
  EXPECT_EQ(line.text[0], u'\u00B7');
  EXPECT_EQ(line.text.back(), u'\u00B6');
  EXPECT_EQ(line.extents.size(), 2050u);
  EXPECT_EQ(line.extents.back(), 2049 * 8);
  EXPECT_TRUE(line.followedByBreak);
  EXPECT_TRUE(page.lines[1].beginsLogicalLine);
  EXPECT_FALSE(page.lines[1].followedByBreak);
  // Hit testing on the recorded lines.
  EXPECT_EQ(page.lines.OffsetFromPoint(2 + 8 * 3 + 5, 3), 4);
  EXPECT_EQ(page.lines.OffsetFromPoint(0, 20), 2050);
  EXPECT_EQ(page.lines.OffsetFromPoint(500, 500), 2051);
  int x = 0, y = 0;
  ASSERT_TRUE(page.lines.PointFromOffset(2050, x, y));
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 16);
}

TEST(ViewerLayout, TabsAdvanceToTheNextStop) {
  Viewer v("a\tbc\td", search::vmodeText);
  v.model.SetTextTabSize(4);
  const search::TViewerPage page = v.model.LayoutPage();
  EXPECT_EQ(page.lines[0].extents, (std::vector<int>{0, 8, 32, 40, 48, 64, 72}));
}

TEST(ViewerLayout, HexRowsAsColumns) {
  Viewer v("ABCDEFGHIJ\x01 ", search::vmodeHex);
  v.model.SetTextWidthHex(8);
  v.model.SetDocKind(TViewerDocKind::Ansi);
  search::TViewerPage page = v.model.LayoutPage();
  ASSERT_EQ(page.lines.Count(), 2);
  EXPECT_EQ(page.separatorColumns, (std::array<int, 3>{10, 23, 36}));
  EXPECT_EQ(page.charColumn, 37);
  EXPECT_EQ(page.lines[0].memoText, u"00000000:  41 42 43 44  45 46 47 48  ABCDEFGH");
  EXPECT_EQ(page.lines[1].memoText, u"00000008:  49 4A 01 20" + std::u16string(15, u' ') + u"IJ. ");
  EXPECT_EQ(page.lines[1].cells[2].offset, 10);
  EXPECT_TRUE(page.lines[1].cells[2].secondColour);
  EXPECT_EQ(page.lines[0].x, 2 + 37 * 8);
  EXPECT_EQ(page.lines.OffsetFromPoint(2 + 37 * 8 + 8 * 2 + 1, 1), 2);

  Viewer u(Utf16LE(u"AB\u20AC"), search::vmodeUHex);
  u.model.SetTextWidthUHex(4);
  u.model.SetDocKind(TViewerDocKind::Unicode);
  page = u.model.LayoutPage();
  EXPECT_EQ(page.lines[0].memoText, u"00000000:  0041 0042  20AC       AB\u20AC");

  Viewer b("line one\r\nline two", search::vmodeBinary);
  b.model.SetTextWidth(6);
  b.model.SetDocKind(TViewerDocKind::Ansi);
  page = b.model.LayoutPage();
  ASSERT_EQ(page.lines.Count(), 3);
  EXPECT_EQ(page.lines[1].memoText, u"ne..li");
  EXPECT_TRUE(page.endShown);
}

TEST(ViewerMemo, TextsByTheDocumentKind) {
  struct Row {
    std::u16string drawn;
    TViewerDocKind kind;
    std::u16string memo;
  } rows[] = {
      {u"abc", TViewerDocKind::None, u""},
      {u"\u00C3\u00A4rger", TViewerDocKind::Ansi, u"\u00E4rger"},
      // A byte that starts no sequence is its code page 1252 character, not a C1 control.
      {u"\u20AC x \u00E4", TViewerDocKind::Ansi, u"\u20AC x \u00E4"},
      {u"\u00C3", TViewerDocKind::Ansi, u"\u00C3"},
      {u"\u00E2\u201A\u00AC", TViewerDocKind::Ansi, u"\u20AC"},
      {u"\u00F0\u0178\u02DC\u20AC", TViewerDocKind::Ansi, u"\U0001F600"},
      {u"\u00E4\u00B8A", TViewerDocKind::Ansi, u"\u00E4\u00B8A"},
      {u"\u00E0\u00B0\u20AC|\u00E0\u00B1\u008D", TViewerDocKind::Utf8, u" | "},
      {u"\u00C3\u00A4", TViewerDocKind::Utf8, u"\u00E4"},
      {u"\u00C3\u00A4", TViewerDocKind::Unicode, u"\u00C3\u00A4"},
  };
  for (const Row& row : rows) EXPECT_EQ(search::MemoText(row.drawn, row.kind), row.memo);
}

TEST(ViewerSource, EachModelReadsItsOwnFile) {
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink sink;
  drive.WriteFile("a.txt", "alpha");
  drive.WriteFile("b.txt", "bravo");
  TDocumentModel a, b;
  ASSERT_TRUE(a.Open(drive.Drive(u"a.txt")));
  ASSERT_TRUE(b.Open(drive.Drive(u"b.txt")));
  b.CloseSource();
  a.SelectAt(0, 0);
  EXPECT_EQ(a.SelText(), "alpha");
  // The same name again: no reload while the file is unchanged (the selection stays) ...
  ASSERT_TRUE(a.Open(drive.Drive(u"a.txt")));
  EXPECT_EQ(a.SelText(), "alpha");
  // ... and a fresh open after its own handle was closed.
  a.CloseSource();
  ASSERT_TRUE(a.Open(drive.Drive(u"a.txt")));
  EXPECT_EQ(a.SelLength(), 0);
  a.SelectAt(0, 1);
  EXPECT_EQ(a.SelText(), "alpha");
  EXPECT_TRUE(sink->Boxes().empty());

  EXPECT_FALSE(a.Open(drive.Drive(u"missing.txt")));
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].text, u"Cannot open file: \"" + drive.Drive(u"missing.txt") + u"\"");
  EXPECT_EQ(sink->Boxes()[0].caption, u"Viewer");
  EXPECT_FALSE(a.IsOpen());
}

TEST(ViewerSource, StreamsOfAnySizeAndTheirReadFailures) {
  testsupport::ScopedRecordingSink sink;
  GeneratedStream stream(int64_t{6} << 30, [](int64_t i) { return i % 64 == 63 ? '\n' : 'a'; });
  search::TFixedWidthMeasure measure;
  TDocumentModel m;
  m.SetMeasure(&measure);
  m.SetClientSize(802, 402);
  ASSERT_TRUE(m.LoadStream(&stream));
  EXPECT_EQ(m.FileSize(), int64_t{6} << 30);
  m.ScrollToEnd(false);
  EXPECT_EQ(m.ViewPos(), (int64_t{6} << 30) - 25 * 64);
  m.SelectAll();
  EXPECT_EQ(m.SelBytes().size(), size_t{16} << 20);
  EXPECT_EQ(m.SelBytes(100).size(), 100u);
  EXPECT_TRUE(sink->Boxes().empty());

  stream.failReads = true;
  m.ScrollToOffset(int64_t{3} << 30, false);
  const search::TViewerPage page = m.LayoutPage();
  EXPECT_TRUE(page.readError);
  EXPECT_EQ(page.errorText, u"Read error at offset 00C0000000");
  EXPECT_FALSE(m.VerticalScrollBar().visible);
  ASSERT_FALSE(sink->Boxes().empty());
  EXPECT_EQ(sink->Boxes()[0].text, u"Cannot read stream");
  EXPECT_EQ(sink->Boxes()[0].caption, u"Viewer");
}

TEST(ViewerSource, SparseFileBeyondFourGigabytes) {
  testsupport::TempDrive drive;
  const int64_t size = (int64_t{4} << 30) + 4096;
  const int fd = ::open(drive.Posix("big.bin").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  const std::string tail = "\r\nlast words";
  ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), size - static_cast<int64_t>(tail.size())),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  search::TFixedWidthMeasure measure;
  TDocumentModel m;
  m.SetMeasure(&measure);
  m.SetClientSize(802, 402);
  ASSERT_TRUE(m.Open(drive.Drive(u"big.bin")));
  EXPECT_EQ(m.FileSize(), size);
  EXPECT_EQ(m.OffsetDigits(), 10);
  m.ScrollToOffset(size - 3, false);
  EXPECT_EQ(m.ViewPos(), size - 10);
  std::u16string line;
  m.GetLineText(m.ViewPos(), &line);
  EXPECT_EQ(line, u"last words");
  m.SelectAt(1, size - 3);
  EXPECT_EQ(m.SelText(), "words");
  m.SetMode(search::vmodeHex);
  EXPECT_EQ(m.ViewPos(), (size - 10) / 16 * 16);
  EXPECT_EQ(m.LayoutPage().lines[0].offsetText, u"0100000FF0:");
}

TEST(ViewerSelection, ScrollIntoViewAndNotify) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += std::string(static_cast<size_t>(i % 50 + 1), 'w') + "\n";
  Viewer v(text, search::vmodeText, 20, 10);
  int notified = 0;
  v.model.OnSelectionChange = [&] { ++notified; };
  const std::vector<int64_t> starts = v.ForwardStarts();
  v.model.SetSelection(starts[48] + 30, 3, true, true);
  EXPECT_EQ(v.model.ViewPos(), starts[43]);
  // The start lies right of the window: scrolled to 5 characters before it.
  EXPECT_EQ(v.model.HViewPos(), 2 + 30 * 8 - 5 * 8);
  EXPECT_EQ(notified, 1);
  v.model.SetSelection(starts[48] + 30, 3, false, true);
  EXPECT_EQ(notified, 1);  // unchanged
  v.model.SetSelection(starts[2], 1, true, false);
  EXPECT_EQ(v.model.ViewPos(), 0);
  EXPECT_EQ(v.model.HViewPos(), 0);
  EXPECT_EQ(notified, 1);
  // Beyond the end the length is cut; a start beyond the end is ignored.
  v.model.SetSelection(static_cast<int64_t>(text.size()) - 2, 100);
  EXPECT_EQ(v.model.SelLength(), 2);
  v.model.SetSelection(static_cast<int64_t>(text.size()), 1);
  EXPECT_EQ(v.model.SelStart(), static_cast<int64_t>(text.size()) - 2);
}

TEST(ViewerSelection, WordsByTheViewersOwnDelimiters) {
  Viewer v("snake_case,x-y\tz(a)b");
  struct Row {
    int64_t offset;
    std::string word;
  } rows[] = {{2, "snake_case"}, {11, "x"}, {13, "y"}, {15, "z"}, {17, "a"}};
  for (const Row& row : rows) {
    v.model.SelectAt(1, row.offset);
    EXPECT_EQ(v.model.SelText(), row.word) << row.offset;
  }
}

}  // namespace
