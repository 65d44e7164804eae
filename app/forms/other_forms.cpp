#include "app/forms/other_forms.h"

#include "ui_form_progress.h"
#include "ui_form_temp_rtf.h"

namespace app {

TFormTempRTF::TFormTempRTF(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFormTempRTF>()) {
  ui->setupUi(this);
  // Through the rich edit's own setting: the layout's wrap mode alone leaves the horizontal
  // scroll bar off.
  ui->UniRichEdit1->SetWordWrap(false);
}
TFormTempRTF::~TFormTempRTF() = default;

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormProgress>()) {
  ui->setupUi(this);
}
TFormProgress::~TFormProgress() = default;

}  // namespace app
