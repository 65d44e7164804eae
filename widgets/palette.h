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

inline void SetWidgetTextColor(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  p.setColor(QPalette::Text, color);
  widget->setPalette(p);
}

}  // namespace widgets
