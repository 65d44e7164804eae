#pragma once
// The windows the program creates at start whose behaviour lives elsewhere: the hidden
// rich-text form and the progress dialog (the settings window is einstell_form.h).
#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/forms/einstell_form.h"

namespace search {
class TSuchForm;
}
namespace Ui {
class TFormTempRTF;
class TFormProgress;
}  // namespace Ui

class QLabel;

namespace app {

// A hidden rich-text form, created and never shown.
class TFormTempRTF : public QWidget {
  Q_OBJECT
 public:
  explicit TFormTempRTF(QWidget* parent = nullptr);
  ~TFormTempRTF() override;

 private:
  std::unique_ptr<Ui::TFormTempRTF> ui;
};

class TFormProgress : public QDialog {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);
  ~TFormProgress() override;

 private:
  std::unique_ptr<Ui::TFormProgress> ui;
};

using widgets::SetWidgetBackground;
using widgets::SetWidgetTextColor;

}  // namespace app
