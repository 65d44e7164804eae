#pragma once
// Wide texts and stored colours as Qt values, for the forms of both windows.
#include <QColor>

#include "app/settings/colors.h"
#include "widgets/qt_wide.h"

namespace app {

using widgets::FromQ;
using widgets::ToQ;
inline QColor ToQColor(RgbColor c) { return QColor(c.red, c.green, c.blue); }
inline RgbColor FromQColor(const QColor& c) {
  return {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())};
}

}  // namespace app
