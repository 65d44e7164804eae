#include "widgets/wide_canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>

#include "widgets/qt_wide.h"

namespace widgets {

QSize WideMeasureTextOnDC(const QFont& font, std::u16string_view text, QPaintDevice* device) {
  const QFontMetrics metrics = device ? QFontMetrics(font, device) : QFontMetrics(font);
  return {metrics.horizontalAdvance(ToQ(text)), metrics.height()};
}

QSize WideCanvasMeasureText(const TWideCanvas& canvas, std::u16string_view text) {
  return WideMeasureTextOnDC(canvas.Font(), text, canvas.Painter().device());
}

int WideCanvasMeasureWidth(const TWideCanvas& canvas, std::u16string_view text) {
  return WideCanvasMeasureText(canvas, text).width();
}

int WideCanvasMeasureHeight(const TWideCanvas& canvas, std::u16string_view text) {
  return WideCanvasMeasureText(canvas, text).height();
}

void WideCanvasDrawText(TWideCanvas& canvas, int x, int y, std::u16string_view text) {
  canvas.Changing();
  QPainter& painter = canvas.Painter();
  const QSize size = WideCanvasMeasureText(canvas, text);
  // Right to left, the text is aligned to its end at the reference point.
  const int left = canvas.RightToLeft() ? x + size.width() + 1 - size.width() : x;
  const QRect cell(left, y, size.width(), size.height());
  painter.save();
  painter.setFont(canvas.Font());
  if (canvas.Brush().style() != Qt::NoBrush) painter.fillRect(cell, canvas.Brush());
  painter.setPen(canvas.FontColor());
  // Alignment to the cell's top takes the place of the platform's top-left reference;
  // the text is drawn as it is, never as markup and without "&" markers.
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine |
                    ((canvas.TextFlags() & ETO_RTLREADING) ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
  painter.drawText(cell, flags, ToQ(text));
  painter.restore();
  canvas.MoveTo({x + size.width(), y});
  canvas.Changed();
}

}  // namespace widgets
