#include "widgets/uni_edit.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <limits>

#include "widgets/qt_wide.h"
#include "widgets/wide_control.h"

namespace widgets {

namespace {

// QLineEdit takes its password character from the style; this one answers ours and
// leaves everything else to the application's style.
class TPasswordStyle : public QProxyStyle {
 public:
  explicit TPasswordStyle(char16_t c) : QProxyStyle(QApplication::style()->name()), c_(c) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return c_;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

 private:
  char16_t c_;
};

}  // namespace

TUniCustomEdit::TUniCustomEdit(QWidget* parent) : QLineEdit(parent) {
  // The class library's edit has no length limit unless one is asked for.
  setMaxLength(std::numeric_limits<int>::max());
  connect(this, &QLineEdit::textChanged, this, &TUniCustomEdit::Changed);
  WireWideEvents(*this);
}

TUniCustomEdit::~TUniCustomEdit() {
  // The widget must not outlive its style: give it back the application's first.
  if (passwordStyle_) setStyle(nullptr);
}

std::u16string TUniCustomEdit::Text() const { return FromQ(text()); }

void TUniCustomEdit::SetText(std::u16string_view text) {
  if (Text() != text) setText(ToQ(text));
}

int64_t TUniCustomEdit::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

void TUniCustomEdit::SetSelStart(int64_t start) {
  deselect();
  setCursorPosition(static_cast<int>(std::clamp<int64_t>(start, 0, text().size())));
}

int64_t TUniCustomEdit::SelLength() const { return hasSelectedText() ? selectedText().size() : 0; }

void TUniCustomEdit::SetSelLength(int64_t length) {
  const auto start = static_cast<int>(SelStart());
  setSelection(start, static_cast<int>(std::clamp<int64_t>(length, 0, text().size() - start)));
}

std::u16string TUniCustomEdit::SelText() const { return FromQ(selectedText()); }

std::u16string TUniCustomEdit::Hint() const { return WideControlGetHint(*this); }

void TUniCustomEdit::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

char16_t TUniCustomEdit::PasswordChar() const {
  // An echo mode set through QLineEdit itself wins over the stored character.
  if (echoMode() != Password) return 0;
  if (passwordChar_ != 0) return passwordChar_;
  QStyleOptionFrame option;
  initStyleOption(&option);
  return static_cast<char16_t>(style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, this));
}

void TUniCustomEdit::SetPasswordChar(char16_t c) {
  if (c == PasswordChar()) return;
  passwordChar_ = c;
  std::unique_ptr<QProxyStyle> previous = std::move(passwordStyle_);
  if (c == 0) {
    if (previous) setStyle(nullptr);
    setEchoMode(Normal);
  } else {
    passwordStyle_ = std::make_unique<TPasswordStyle>(c);
    setStyle(passwordStyle_.get());
    setEchoMode(Password);
  }
  update();
}

}  // namespace widgets
