#include "widgets/wide_canvas.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <optional>

namespace widgets {
namespace {

struct Ink {
  int left, right, top, bottom;  // inclusive
};

std::optional<Ink> FindInk(const QImage& image) {
  std::optional<Ink> ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
      if (!ink)
        ink = Ink{x, x, y, y};
      else
        ink = Ink{std::min(ink->left, x), std::max(ink->right, x), std::min(ink->top, y), std::max(ink->bottom, y)};
    }
  return ink;
}

struct Drawn {
  QImage image;
  QPoint pen;
  int width = 0;
  int notifications = 0;
};

Drawn Draw(int x, int y, std::u16string_view text, bool rightToLeft) {
  Drawn drawn;
  drawn.image = QImage(300, 80, QImage::Format_RGB32);
  drawn.image.fill(Qt::white);
  QPainter painter(&drawn.image);
  TWideCanvas canvas(painter);
  QFont font = canvas.Font();
  font.setPixelSize(20);
  canvas.SetFont(font);
  canvas.SetBrush(Qt::NoBrush);
  canvas.SetRightToLeft(rightToLeft);
  canvas.OnChanging = [&] { ++drawn.notifications; };
  canvas.OnChange = [&] { drawn.notifications += 10; };
  WideCanvasDrawText(canvas, x, y, text);
  drawn.pen = canvas.PenPos();
  drawn.width = WideCanvasMeasureWidth(canvas, text);
  return drawn;
}

TEST(WideCanvas, TopLeftReferenceAndPenAfterTheText) {
  const std::u16string text = u"HΩЖ";
  const Drawn a = Draw(20, 10, text, false);
  const Drawn b = Draw(33, 27, text, false);
  const auto inkA = FindInk(a.image), inkB = FindInk(b.image);
  ASSERT_TRUE(inkA && inkB);
  ASSERT_GT(a.width, 0);
  EXPECT_EQ(a.pen, QPoint(20 + a.width, 10));
  EXPECT_EQ(b.pen, QPoint(33 + b.width, 27));
  EXPECT_EQ(a.notifications, 11);
  // The text hangs below y and starts at x: the ink lies in the text's cell ...
  QFont font;
  font.setPixelSize(20);
  const QFontMetrics metrics(font);
  EXPECT_GE(inkA->top, 10);
  EXPECT_LE(inkA->bottom, 10 + metrics.height());
  EXPECT_GE(inkA->left, 20 - 2);
  EXPECT_LE(inkA->right, 20 + a.width + 1);
  // ... and moves with (x, y) exactly.
  EXPECT_EQ(inkB->left - inkA->left, 13);
  EXPECT_EQ(inkB->top - inkA->top, 17);
}

TEST(WideCanvas, RightToLeftStartsOnePixelFurther) {
  const std::u16string text = u"Abc";
  const Drawn ltr = Draw(40, 20, text, false);
  const Drawn rtl = Draw(40, 20, text, true);
  const auto inkL = FindInk(ltr.image), inkR = FindInk(rtl.image);
  ASSERT_TRUE(inkL && inkR);
  // The reference point is x + width + 1 and the text ends there: the same picture, one
  // pixel to the right.
  EXPECT_EQ(inkR->left, inkL->left + 1);
  EXPECT_EQ(inkR->right, inkL->right + 1);
  EXPECT_EQ(inkR->top, inkL->top);
  EXPECT_EQ(rtl.pen, QPoint(40 + rtl.width, 20));
}

TEST(WideCanvas, OpaqueBrushFillsTheCell) {
  QImage image(100, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  TWideCanvas canvas(painter);
  canvas.SetBrush(QColor(0, 0, 255));
  WideCanvasDrawText(canvas, 5, 5, u" ");
  const QSize size = WideCanvasMeasureText(canvas, u" ");
  painter.end();
  EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(5 + size.width() - 1, 5 + size.height() - 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(5 + size.width(), 5), qRgb(255, 255, 255));
}

TEST(WideCanvas, Measuring) {
  QFont font;
  font.setPixelSize(16);
  const QFontMetrics metrics(font);
  EXPECT_EQ(WideMeasureTextOnDC(font, u""), QSize(0, metrics.height()));
  EXPECT_EQ(WideMeasureTextOnDC(font, u"Ωmega"), QSize(metrics.horizontalAdvance(QStringLiteral("Ωmega")), metrics.height()));
  QImage image(10, 10, QImage::Format_RGB32);
  QPainter painter(&image);
  TWideCanvas canvas(painter);
  canvas.SetFont(font);
  EXPECT_EQ(WideCanvasMeasureHeight(canvas, u"x"), QFontMetrics(font, &image).height());
  EXPECT_LT(WideCanvasMeasureWidth(canvas, u"i"), WideCanvasMeasureWidth(canvas, u"iii"));
}

}  // namespace
}  // namespace widgets
