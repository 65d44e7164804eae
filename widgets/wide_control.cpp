#include "widgets/wide_control.h"

#include <QVariant>

#include "widgets/qt_wide.h"

namespace widgets {

namespace {
constexpr const char* kHintProperty = "quarryWideHint";
}

std::u16string WideShortHintPart(std::u16string_view hint) {
  const size_t bar = hint.find(u'|');
  return std::u16string(bar == std::u16string_view::npos ? hint : hint.substr(0, bar));
}

std::u16string WideLongHintPart(std::u16string_view hint) {
  const size_t bar = hint.find(u'|');
  return std::u16string(bar == std::u16string_view::npos ? hint : hint.substr(bar + 1));
}

void WideControlSetHint(QWidget& control, std::u16string_view hint) {
  control.setProperty(kHintProperty, ToQ(hint));
  control.setToolTip(ToQ(WideShortHintPart(hint)));
}

std::u16string WideControlGetHint(const QWidget& control) {
  const QVariant hint = control.property(kHintProperty);
  // A tooltip set by Qt's own means (a layout file, or later by a form) is the hint, as the
  // wide hint holds only while the tooltip still shows its short part.
  if (!hint.isValid()) return FromQ(control.toolTip());
  std::u16string wide = FromQ(hint.toString());
  return ToQ(WideShortHintPart(wide)) == control.toolTip() ? wide : FromQ(control.toolTip());
}

std::u16string WideGetHintOfControlOrParent(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    std::u16string hint = WideControlGetHint(*control);
    if (!hint.empty()) return hint;
  }
  return {};
}

}  // namespace widgets
