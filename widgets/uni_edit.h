#pragma once
// The wide single-line edit: its text, selection and password character in UTF-16 units,
// over QLineEdit. Changed is raised once for every real change of the text, by the program
// or the user; setting the text it already holds changes and raises nothing.
#include <QLineEdit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QProxyStyle;

namespace widgets {

class TUniEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TUniEdit(QWidget* parent = nullptr);
  ~TUniEdit() override;

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

 private:
  char16_t passwordChar_ = 0;
  // The style that answers the password character; the edit uses it while one is set.
  std::unique_ptr<QProxyStyle> passwordStyle_;
};

}  // namespace widgets
