#pragma once
// The wide single-line edit: its text, selection and password character in UTF-16 units,
// over QLineEdit. Changed is raised once for every real change of the text, by the program
// or the user; setting the text it already holds changes and raises nothing.
#include <QLineEdit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "widgets/wide_control.h"

class QProxyStyle;

namespace widgets {

// The key handlers (OnKeyDown, OnKeyPress) come from TWideKeyEvents.
class TUniCustomEdit : public QLineEdit, public TWideKeyEvents {
  Q_OBJECT

 public:
  explicit TUniCustomEdit(QWidget* parent = nullptr);
  ~TUniCustomEdit() override;

  std::u16string Text() const;
  void SetText(std::u16string_view text);

  // Without a selection the start is the caret and the length 0.
  int64_t SelStart() const;
  // Puts the caret there, dropping the selection.
  void SetSelStart(int64_t start);
  int64_t SelLength() const;
  // Selects from the selection start on.
  void SetSelLength(int64_t length);
  std::u16string SelText() const;

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  // 0: the text is shown as it is. Any other character, also one above 255, is shown for
  // every character of the text.
  char16_t PasswordChar() const;
  void SetPasswordChar(char16_t c);

 signals:
  void Changed();
  void Click();
  void DblClick();
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at);
  void MouseMove(Qt::KeyboardModifiers shift, QPoint at);

 private:
  char16_t passwordChar_ = 0;
  // The style that answers the password character; the edit uses it while one is set.
  std::unique_ptr<QProxyStyle> passwordStyle_;
};

class TUniEdit : public TUniCustomEdit {
  Q_OBJECT

 public:
  explicit TUniEdit(QWidget* parent = nullptr) : TUniCustomEdit(parent) {}
};

}  // namespace widgets
