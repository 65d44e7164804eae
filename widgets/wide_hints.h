#pragma once
// What a hint shows and the window that shows it. A hint is always plain text: Qt's own
// tooltip would take a text that looks like markup for rich text, so the application
// shows hints in this window instead, which draws the text as it is ("<b>" stays "<b>",
// "&" stays "&").
#include <QRect>
#include <QWidget>
#include <string>
#include <string_view>

#include "widgets/wide_shortcut.h"

namespace widgets {

// The hint string of a control: its short hint, with the German shortcut text "%s (%s)"
// when hint shortcuts are on and the control's action has one. The string is wide from
// the start, so what the application's hint handler leaves in it is shown as it is.
std::u16string WideHintString(std::u16string_view shortHint, bool hintShortCuts, TShortCut shortCut);

class TUniCustomHintWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TUniCustomHintWindow(QWidget* parent = nullptr);

  std::u16string Caption() const { return caption_; }
  // Outside an activation the window takes the text's size plus 6 each way.
  void SetCaption(std::u16string_view caption);
  // The rectangle for the text broken into lines of at most maxWidth: its measured size,
  // 6 wider and 2 higher.
  QRect CalcHintRect(int maxWidth, std::u16string_view text) const;
  // Shows the text in the rectangle (global coordinates).
  void ActivateHint(const QRect& rect, std::u16string_view text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int TextFlags() const;

  std::u16string caption_;
  bool activating_ = false;
};

}  // namespace widgets
