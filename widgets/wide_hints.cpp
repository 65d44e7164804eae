#include "widgets/wide_hints.h"

#include <QFontMetrics>
#include <QPainter>
#include <QToolTip>

#include "textlib/wide/widestr.h"
#include "widgets/qt_wide.h"

namespace widgets {

std::u16string WideHintString(std::u16string_view shortHint, bool hintShortCuts, TShortCut shortCut) {
  if (!hintShortCuts || shortCut == scNone) return std::u16string(shortHint);
  const std::u16string keys = WideShortCutToText(shortCut);
  if (keys.empty()) return std::u16string(shortHint);
  return textlib::WideFormat(u"%s (%s)", {shortHint, keys});
}

TUniCustomHintWindow::TUniCustomHintWindow(QWidget* parent) : QWidget(parent, Qt::ToolTip) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFont(QToolTip::font());
  setPalette(QToolTip::palette());
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::ToolTipBase);
}

int TUniCustomHintWindow::TextFlags() const {
  // Plain text drawn by the painter: no markup, no "&" markers; long hints break at words.
  return Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap |
         (layoutDirection() == Qt::RightToLeft ? Qt::TextForceRightToLeft : 0);
}

void TUniCustomHintWindow::SetCaption(std::u16string_view caption) {
  caption_ = caption;
  if (!activating_) {
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(ToQ(caption_)) + 6, metrics.height() + 6);
  }
  update();
}

QRect TUniCustomHintWindow::CalcHintRect(int maxWidth, std::u16string_view text) const {
  const QRect measured = QFontMetrics(font()).boundingRect(QRect(0, 0, maxWidth, 0), TextFlags(), ToQ(text));
  return QRect(0, 0, measured.width() + 6, measured.height() + 2);
}

void TUniCustomHintWindow::ActivateHint(const QRect& rect, std::u16string_view text) {
  activating_ = true;
  SetCaption(text);
  setGeometry(rect);
  show();
  raise();
  activating_ = false;
  update();
}

void TUniCustomHintWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::ToolTipText));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.drawText(rect().adjusted(2, 2, 0, 0), TextFlags(), ToQ(caption_));
}

}  // namespace widgets
