#pragma once
// A control's background and text colour, as the forms' colour settings set them.
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace widgets {

inline void SetWidgetBackground(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Window, color);
  widget->setPalette(p);
  widget->setAutoFillBackground(true);
}

// Black or white, whichever reads better on the background (relative luminance).
inline QColor ContrastingText(const QColor& background) {
  const double luminance = 0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
  return luminance > 0.45 ? QColor(Qt::black) : QColor(Qt::white);
}

// The text of a disabled control: greyed, but still readable on its background.
inline QColor DisabledText(const QColor& background) {
  return ContrastingText(background) == QColor(Qt::black) ? QColor(0x55, 0x55, 0x55) : QColor(0xB0, 0xB0, 0xB0);
}

inline void SetWidgetTextColor(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  p.setColor(QPalette::Text, color);
  widget->setPalette(p);
}

}  // namespace widgets
