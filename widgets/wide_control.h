#pragma once
// What every wide control shares: its wide hint, kept beside the tooltip so that a hint
// with characters of any script survives unchanged, and the "short|long" hint split.
#include <QWidget>
#include <string>
#include <string_view>

namespace widgets {

// The part before the first "|", or the whole hint when it has none.
std::u16string WideShortHintPart(std::u16string_view hint);
// The part after the first "|", or the whole hint when it has none.
std::u16string WideLongHintPart(std::u16string_view hint);

// The tooltip shows the short part; the whole hint stays readable.
void WideControlSetHint(QWidget& control, std::u16string_view hint);
std::u16string WideControlGetHint(const QWidget& control);
// The first non-empty hint of the control and then of its parents in turn.
std::u16string WideGetHintOfControlOrParent(const QWidget* control);

}  // namespace widgets
