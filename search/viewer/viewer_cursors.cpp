#include "search/viewer/viewer_cursors.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace search {

namespace {

constexpr int kSize = 32;

// One arrow head pointing away from the centre; angle in quarter turns (0: up).
void DrawArrow(QPainter& p, int quarterTurns) {
  p.save();
  p.translate(kSize / 2.0, kSize / 2.0);
  p.rotate(90.0 * quarterTurns);
  QPainterPath head;
  head.moveTo(0, -14);
  head.lineTo(-6, -7);
  head.lineTo(6, -7);
  head.closeSubpath();
  p.drawPath(head);
  p.restore();
}

// The centre dot and the arrows of the given directions (bit 0 up, 1 right, 2 down, 3 left).
QPixmap Draw(unsigned arrows) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(Qt::black);
  p.drawEllipse(QPointF(kSize / 2.0, kSize / 2.0), 3.5, 3.5);
  for (int turn = 0; turn < 4; ++turn) {
    if (arrows & (1u << turn)) DrawArrow(p, turn);
  }
  return pixmap;
}

}  // namespace

const QCursor& MoveCursor(TMoveCursor kind) {
  static const std::array<QCursor, 5> cursors = [] {
    const unsigned arrows[5] = {0xF, 0x1, 0x4, 0x8, 0x2};  // Move, Up, Down, Left, Right
    std::array<QCursor, 5> out;
    for (int i = 0; i < 5; ++i) out[i] = QCursor(Draw(arrows[i]), kSize / 2, kSize / 2);
    return out;
  }();
  return cursors[static_cast<int>(kind)];
}

const QPixmap& MoveMark() {
  static const QPixmap mark = [] {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1.0));
    p.setBrush(QColor(255, 255, 255, 140));
    p.drawEllipse(QPointF(kSize / 2.0, kSize / 2.0), 13.0, 13.0);
    p.setBrush(QColor(0, 0, 0, 160));
    for (int turn : {0, 2}) DrawArrow(p, turn);
    p.drawEllipse(QPointF(kSize / 2.0, kSize / 2.0), 2.5, 2.5);
    return pixmap;
  }();
  return mark;
}

}  // namespace search
