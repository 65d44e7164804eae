#pragma once
// The wide form: a window with a wide caption and hint and, optionally, a wide main menu
// whose items set the application's hint when pointed at.
#include <QWidget>
#include <string>
#include <string_view>

namespace widgets {

class TUniMainMenu;

class TUniForm : public QWidget {
  Q_OBJECT

 public:
  explicit TUniForm(QWidget* parent = nullptr);
  ~TUniForm() override;

  std::u16string Caption() const;
  void SetCaption(std::u16string_view caption);
  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  // The menu's bar goes to the top of the form (its layout's menu bar when it has one).
  void SetMenu(TUniMainMenu* menu);
  TUniMainMenu* Menu() const { return menu_; }

 private:
  TUniMainMenu* menu_ = nullptr;
};

}  // namespace widgets
