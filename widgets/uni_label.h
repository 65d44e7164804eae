#pragma once
// The wide label: a QLabel whose Caption follows the wide text rule and which draws the
// caption itself, so that the accelerator rule ("&x" marks x, "&&" shows "&") holds with
// or without a buddy, and a disabled label looks engraved (light copy one pixel down and
// right, dark copy in place). Qt's own label text carries the caption in Qt's mnemonic
// form, which keeps the buddy's shortcut and the measuring of Qt's layouts.
#include <QLabel>
#include <string>
#include <string_view>

namespace widgets {

class TUniCustomLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TUniCustomLabel(QWidget* parent = nullptr);
  ~TUniCustomLabel() override;

  // A text given to Qt's setText (as a layout file does) counts as the caption.
  std::u16string Caption() const;
  // A different caption is shown and Changed is emitted once; an equal one does nothing.
  void SetCaption(std::u16string_view caption);

  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool show);

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void Changed();
  void Click();
  void DblClick();
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at);
  void MouseMove(Qt::KeyboardModifiers shift, QPoint at);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ApplyCaption();
  void AdoptForeignText();
  QSize WithoutLiteralAmpersands(QSize size) const;

  std::u16string caption_;
  QString appliedText_;  // what ApplyCaption gave Qt's label
  bool showAccelChar_ = true;
};

class TUniLabel : public TUniCustomLabel {
  Q_OBJECT

 public:
  explicit TUniLabel(QWidget* parent = nullptr) : TUniCustomLabel(parent) {}
};

}  // namespace widgets
