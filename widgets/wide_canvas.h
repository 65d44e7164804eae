#pragma once
// Wide text on a canvas. The canvas keeps what QPainter does not: a pen position that
// text output moves on, a right-to-left orientation, the text flags and the change
// notifications around each output. Text is placed by its top-left corner, as the
// platform's text output does, not by Qt's baseline.
#include <QBrush>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <QSize>
#include <cstdint>
#include <functional>
#include <string_view>

class QPaintDevice;

namespace widgets {

// Text flags of the canvas: the text is read right to left.
inline constexpr uint32_t ETO_RTLREADING = 0x80;

class TWideCanvas {
 public:
  explicit TWideCanvas(QPainter& painter) : painter_(painter) {}

  QPainter& Painter() const { return painter_; }
  QFont Font() const { return font_; }
  void SetFont(const QFont& font) { font_ = font; }
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& color) { fontColor_ = color; }
  // Qt::NoBrush draws the text transparently; any other brush fills its cell first.
  QBrush Brush() const { return brush_; }
  void SetBrush(const QBrush& brush) { brush_ = brush; }
  QPoint PenPos() const { return penPos_; }
  void MoveTo(QPoint position) { penPos_ = position; }
  bool RightToLeft() const { return rightToLeft_; }
  void SetRightToLeft(bool value) { rightToLeft_ = value; }
  uint32_t TextFlags() const { return textFlags_; }
  void SetTextFlags(uint32_t flags) { textFlags_ = flags; }

  std::function<void()> OnChanging;
  std::function<void()> OnChange;

  void Changing() const {
    if (OnChanging) OnChanging();
  }
  void Changed() const {
    if (OnChange) OnChange();
  }

 private:
  QPainter& painter_;
  QFont font_;
  QColor fontColor_ = Qt::black;
  QBrush brush_{Qt::white};
  QPoint penPos_;
  bool rightToLeft_ = false;
  uint32_t textFlags_ = 0;
};

// Draws the text with its top-left corner at (x, y); with right-to-left orientation the
// reference point is x + width + 1 and the text ends there. The pen then stands at
// (x + width, y).
void WideCanvasDrawText(TWideCanvas& canvas, int x, int y, std::u16string_view text);
// Size of the text in the canvas font: width is the advance, height the line height.
QSize WideCanvasMeasureText(const TWideCanvas& canvas, std::u16string_view text);
int WideCanvasMeasureWidth(const TWideCanvas& canvas, std::u16string_view text);
int WideCanvasMeasureHeight(const TWideCanvas& canvas, std::u16string_view text);
// The same for a font on a device (a null device: the screen); an empty text is 0 wide.
QSize WideMeasureTextOnDC(const QFont& font, std::u16string_view text, QPaintDevice* device = nullptr);

}  // namespace widgets
