#pragma once
// Wide strings are UTF-16 and so is QString: the conversions are copies, not decodings.
#include <QColor>
#include <QString>
#include <string>
#include <string_view>

#include "app/settings/colors.h"

namespace app {

inline QString ToQ(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline std::u16string FromQ(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}
inline QColor ToQColor(RgbColor c) { return QColor(c.red, c.green, c.blue); }
inline RgbColor FromQColor(const QColor& c) {
  return {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())};
}

}  // namespace app
