#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QScrollBar>
#include <cstdlib>
#include <string>

#include "tests/search/viewer/viewer_fixture.h"

namespace search {
namespace {

QColor Bgr(uint32_t v) { return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF); }

// The strongest blue among the dark bluish pixels of a rectangle (glyph pixels of a blue
// pen on a light box), -1 when there is none.
int GlyphBlue(const QImage& image, const QRect& rect) {
  int best = -1;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() < 60 && c.green() < 60) best = std::max(best, c.blue());
    }
  }
  return best;
}

TEST_F(ViewerTest, HexDigitsTakeTheirColourByIndexAndTheColumnsStandWhereComputed) {
  std::string bytes;
  for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<char>(0x30 + i % 40));
  OpenFile(bytes, vmodeHex);
  const TViewerPage& page = viewer.Page();
  ASSERT_GE(page.lines.Count(), 4);
  const QImage image = Grab();
  const int cw = page.charWidth, lh = page.lineHeight, x0 = page.gutter;
  const int digits = 8, width = viewer.Model().TextWidthHex();
  ASSERT_EQ(width, 16);
  for (int i = 0; i < width; ++i) {
    // Three characters apart, one more after the middle byte.
    const int column = digits + 3 + 3 * i + (i > width / 2 - 1 ? 1 : 0);
    EXPECT_EQ(page.lines[0].cells[i].column, column);
    const QRect cell(x0 + column * cw, 0, 2 * cw, lh);
    const int blue = GlyphBlue(image, cell);
    if (i % 4 < 2) {
      EXPECT_GE(blue, 0) << i;
      EXPECT_LT(blue, 170) << "navy expected at byte " << i;
    } else {
      EXPECT_GT(blue, 200) << "blue expected at byte " << i;
    }
  }
  // The three 2-pixel lines and the box behind the digits.
  const QColor lines = Bgr(viewer.Model().TextColorLines);
  for (int column : {digits + 2, digits + (width / 2) * 3 + 3, digits + 3 * width + 4}) {
    EXPECT_EQ(image.pixelColor(x0 + column * cw, lh / 2), lines) << column;
    EXPECT_EQ(image.pixelColor(x0 + column * cw + 1, lh / 2), lines) << column;
  }
  EXPECT_EQ(image.pixelColor(x0 + (digits + 3 + 3 * 0 + 2) * cw + cw / 2, 1), Bgr(viewer.Model().TextColorHexBack));
  EXPECT_EQ(page.charColumn, digits + 3 * width + 5);
  EXPECT_EQ(page.lines[0].x, x0 + page.charColumn * cw);
  EXPECT_EQ(page.lines[0].offsetText, u"00000000:");
}

TEST_F(ViewerTest, UnicodeHexCellsAreFiveApart) {
  OpenFile(std::string("\xFF\xFE" "A\0B\0C\0D\0E\0F\0G\0H\0I\0", 20), vmodeUHex);
  const TViewerPage& page = viewer.Page();
  ASSERT_GE(page.lines.Count(), 1);
  const int width = viewer.Model().TextWidthUHex();
  const auto& cells = page.lines[0].cells;
  ASSERT_EQ(static_cast<int>(cells.size()), width);
  for (int i = 0; i < width; ++i) EXPECT_EQ(cells[i].column, 8 + 3 + 5 * i + (i > width / 2 - 1 ? 1 : 0));
  EXPECT_EQ(cells[1].digits, u"0041");  // the second byte's digits first
  EXPECT_EQ(page.charColumn, 8 + 5 * width + 5);
}

TEST_F(ViewerTest, TheSelectionIsInvertedExactlyOverItsCells) {
  OpenFile("alpha beta gamma\r\nsecond line\r\n");
  const QImage plain = Grab();
  viewer.Model().SetSelection(6, 4);
  const QImage selected = Grab();
  const TStrPosRecord& line = viewer.Page().lines[0];
  const QRect cells(line.x + line.extents[6], line.y, line.extents[10] - line.extents[6], viewer.Page().lineHeight);
  int inverted = 0, other = 0;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      const QRgb a = plain.pixel(x, y), b = selected.pixel(x, y);
      if (cells.contains(x, y)) {
        inverted += (b & 0xFFFFFF) == (~a & 0xFFFFFF);
      } else {
        other += a != b;
      }
    }
  }
  EXPECT_EQ(inverted, cells.width() * cells.height());
  EXPECT_EQ(other, 0);
}

// A stream whose every read fails.
class FailingStream : public TViewerStream {
 public:
  int64_t Size() override { return 5000; }
  int64_t ReadAt(int64_t, char*, int64_t) override { return -1; }
};

TEST_F(ViewerTest, AReadErrorIsShownCentredInTheErrorColour) {
  FailingStream stream;
  viewer.Model().LoadStream(&stream);
  viewer.Redraw();
  ASSERT_TRUE(viewer.Page().readError);
  EXPECT_EQ(viewer.Page().errorText, u"Read error at offset 00000000");
  ASSERT_FALSE(boxes->Boxes().empty());
  EXPECT_EQ(boxes->Boxes()[0].text, u"Cannot read stream");
  const QImage image = Grab();
  QRect red;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 90 && c.blue() < 90) red |= QRect(x, y, 1, 1);
    }
  }
  ASSERT_FALSE(red.isNull());
  const int cw = QFontMetrics(viewer.Font()).horizontalAdvance(QLatin1Char('0'));
  EXPECT_LE(std::abs(red.center().x() - image.width() / 2), cw);
  EXPECT_LE(std::abs(red.center().y() - image.height() / 2), QFontMetrics(viewer.Font()).height() / 2);
  EXPECT_FALSE(viewer.verticalScrollBar()->isVisible());
  viewer.Model().LoadStream(nullptr);
}

TEST_F(ViewerTest, TheMemoGetsEveryDrawnLineDecodedByTheDocumentKind) {
  host.kind = TViewerDocKind::Utf8;
  OpenFile("Gr\xC3\xBC\xC3\x9F" "e\r\nzweite Zeile\r\n\xE0\xB0\x80" "x\r\n");
  const TViewerPage& page = viewer.Page();
  ASSERT_EQ(static_cast<int>(host.memo.size()), page.lines.Count());
  for (int i = 0; i < page.lines.Count(); ++i) EXPECT_EQ(host.memo[i], MemoText(page.lines[i].text, host.kind));
  EXPECT_EQ(host.memo[0], u"Grüße");
  EXPECT_EQ(host.memo[2], u" x");  // U+0C00 as a blank
  EXPECT_TRUE(host.memoFilled);
  EXPECT_EQ(host.firstShown, 0);
  EXPECT_GT(host.drawn, 0);
}

TEST_F(ViewerTest, QuietDrawsAndHexOrBinaryDrawsLeaveTheMemoAlone) {
  OpenFile("eins\r\nzwei\r\n");
  ASSERT_EQ(static_cast<int>(host.memo.size()), viewer.Page().lines.Count());
  ASSERT_EQ(host.memo[0], u"eins");
  const std::vector<std::u16string> before = host.memo;
  const int clears = host.clears;
  host.quiet = true;
  viewer.Redraw();
  host.quiet = false;
  for (TFileViewerMode mode : {vmodeHex, vmodeBinary, vmodeUHex}) {
    viewer.SetMode(mode);
    viewer.Redraw();
  }
  EXPECT_EQ(host.memo, before);
  EXPECT_EQ(host.clears, clears);
}

TEST_F(ViewerTest, ADrawnViewerSizesTheMemoBesideItsBar) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
  OpenFile(text);
  EXPECT_TRUE(host.memoBeside);
  EXPECT_TRUE(viewer.verticalScrollBar()->isVisible());
  OpenFile("kurz\r\n", vmodeText, u"short.txt");
  EXPECT_FALSE(host.memoBeside);
  EXPECT_FALSE(viewer.verticalScrollBar()->isVisible());
}

TEST_F(ViewerTest, TheGutterMarksEachLogicalLine) {
  viewer.Model().SetTextGutter(true);
  viewer.Model().SetTextWrap(true);
  OpenFile("kurz\r\n" + std::string(300, 'w') + "\r\nEnde\r\n");
  const TViewerPage& page = viewer.Page();
  ASSERT_GE(page.lines.Count(), 4);  // the long line wraps onto a second line
  const QImage image = Grab();
  const int middle = viewer.Model().TextGutterWidth() / 2;
  int marks = 0;
  for (const TStrPosRecord& line : page.lines.Lines()) {
    const bool dark = image.pixelColor(middle, line.y + page.lineHeight / 2).lightness() < 100;
    EXPECT_EQ(dark, line.beginsLogicalLine) << line.offset;
    marks += dark;
  }
  EXPECT_GE(marks, 3);
  EXPECT_EQ(image.pixelColor(1, 1), Bgr(viewer.Model().TextColorGutter));
}

TEST_F(ViewerTest, GrowingTallerAtTheEndKeepsTheEndInView) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
  OpenFile(text);
  QTest::keyClick(&viewer, Qt::Key_End, Qt::ControlModifier);
  const int64_t atEnd = viewer.Model().ViewPos();
  ASSERT_TRUE(viewer.Page().endShown);
  viewer.resize(viewer.width(), viewer.height() + 200);
  Settle();
  EXPECT_LT(viewer.Model().ViewPos(), atEnd);
  EXPECT_TRUE(viewer.Page().endShown);
}

// Pictures of every mode at the default size and larger, for a look by eye; written only
// when QUARRY_VIEWER_SHOTS names a folder.
TEST_F(ViewerTest, AHorizontalBarOnlyWhenThereIsSomethingToScroll) {
  // A long text line needs the bar; the hex rows of the same file fit and need none.
  OpenFile(std::string(300, 'x') + "\r\nshort");
  EXPECT_EQ(viewer.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  viewer.SetMode(vmodeHex);
  Settle();
  viewer.Redraw();
  EXPECT_EQ(viewer.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(ViewerTest, PicturesOfEveryMode) {
  const char* folder = std::getenv("QUARRY_VIEWER_SHOTS");
  if (!folder) GTEST_SKIP() << "QUARRY_VIEWER_SHOTS not set";
  QString text = QStringLiteral("Größenänderung: Übersicht über äußere Maße\tTAB\r\nZweite Zeile mit Umlauten ÄÖÜ äöü ß\r\n");
  for (int i = 0; i < 40; ++i) text += QStringLiteral("Zeile %1: C:\\Dokumente\\Bericht-%1.htm\r\n").arg(i);
  const QByteArray ansi = text.toLatin1();
  drive.WriteFile("shots.txt", std::string_view(ansi.data(), static_cast<size_t>(ansi.size())));
  std::string wide("\xFF\xFE", 2);
  for (QChar c : text) {
    wide.push_back(static_cast<char>(c.unicode() & 0xFF));
    wide.push_back(static_cast<char>(c.unicode() >> 8));
  }
  drive.WriteFile("shots16.txt", wide);
  const struct {
    TFileViewerMode mode;
    const char* name;
  } modes[] = {{vmodeText, "text"}, {vmodeBinary, "binary"}, {vmodeHex, "hex"}, {vmodeUnicode, "unicode"}, {vmodeUHex, "uhex"}};
  for (const auto& m : modes) {
    for (QSize size : {QSize(200, 150), QSize(900, 420)}) {
      viewer.resize(size);
      viewer.SetMode(m.mode);
      ASSERT_TRUE(viewer.Open(drive.Drive(IsUnicodeMode(m.mode) ? u"shots16.txt" : u"shots.txt")));
      Settle();
      viewer.Model().SetSelection(8, 12);
      viewer.Redraw();
      Settle();
      const std::string file = std::string(folder) + "/v3-" + m.name + "-" + std::to_string(size.width()) + ".png";
      EXPECT_TRUE(viewer.grab().save(QString::fromStdString(file)));
    }
  }
}

}  // namespace
}  // namespace search
