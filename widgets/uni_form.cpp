#include "widgets/uni_form.h"

#include <QLayout>
#include <QMenuBar>

#include "widgets/qt_wide.h"
#include "widgets/uni_menu.h"
#include "widgets/wide_control.h"

namespace widgets {

TUniForm::TUniForm(QWidget* parent) : QWidget(parent) {}

TUniForm::~TUniForm() = default;

std::u16string TUniForm::Caption() const { return FromQ(windowTitle()); }

void TUniForm::SetCaption(std::u16string_view caption) {
  const QString title = ToQ(caption);
  if (windowTitle() != title) setWindowTitle(title);
}

std::u16string TUniForm::Hint() const { return WideControlGetHint(*this); }

void TUniForm::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

void TUniForm::SetMenu(TUniMainMenu* menu) {
  if (menu_ == menu) return;
  if (menu_) {
    if (layout() && layout()->menuBar() == &menu_->Bar()) layout()->setMenuBar(nullptr);
    menu_->Bar().setParent(nullptr);
    menu_->Bar().hide();
  }
  menu_ = menu;
  if (!menu_) return;
  menu_->Bar().setParent(this);
  if (layout())
    layout()->setMenuBar(&menu_->Bar());
  else
    menu_->Bar().move(0, 0);
  menu_->Bar().show();
}

}  // namespace widgets
