#pragma once
// The cursors of middle-button scrolling and the mark drawn at its start point. They are
// drawn here once per process, so no cursor file ships with the program.
#include <QCursor>
#include <QPixmap>

namespace search {

enum class TMoveCursor { Move, Up, Down, Left, Right };

// The numbers under which the program registers them with the screen.
constexpr int MoveCursorNumber(TMoveCursor kind) { return -30 - static_cast<int>(kind); }

const QCursor& MoveCursor(TMoveCursor kind);
// The transparent mark at the point where middle-button scrolling started.
const QPixmap& MoveMark();

}  // namespace search
