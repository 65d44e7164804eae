#include "app/forms/other_forms.h"

#include <QPalette>

#include "ui_einstell_form.h"
#include "ui_form_progress.h"
#include "ui_form_temp_rtf.h"

namespace app {

void SetWidgetBackground(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Window, color);
  widget->setPalette(p);
  widget->setAutoFillBackground(true);
}

void SetWidgetTextColor(QWidget* widget, const QColor& color) {
  QPalette p = widget->palette();
  p.setColor(QPalette::WindowText, color);
  p.setColor(QPalette::ButtonText, color);
  p.setColor(QPalette::Text, color);
  widget->setPalette(p);
}

TFormTempRTF::TFormTempRTF(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFormTempRTF>()) {
  ui->setupUi(this);
}
TFormTempRTF::~TFormTempRTF() = default;

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFormProgress>()) {
  ui->setupUi(this);
}
TFormProgress::~TFormProgress() = default;

TEinstellform::TEinstellform(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TEinstellform>()) {
  ui->setupUi(this);
}
TEinstellform::~TEinstellform() = default;

void TEinstellform::SetBackgroundColor(const QColor& color) { SetWidgetBackground(this, color); }

void TEinstellform::SetHintColor(const QColor& color) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SuchtextInClipbrdCheckBox, ui->KurzhinweisImViewerZeigenCheckBox,
                                                    ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label5}) {
    SetWidgetTextColor(w, color);
  }
}

void TEinstellform::SetCopySearchText(bool on) { ui->SuchtextInClipbrdCheckBox->setChecked(on); }
bool TEinstellform::CopySearchText() const { return ui->SuchtextInClipbrdCheckBox->isChecked(); }
void TEinstellform::SetShortHintInViewer(bool on) { ui->KurzhinweisImViewerZeigenCheckBox->setChecked(on); }
bool TEinstellform::ShortHintInViewer() const { return ui->KurzhinweisImViewerZeigenCheckBox->isChecked(); }

}  // namespace app
