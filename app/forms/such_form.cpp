#include "app/forms/such_form.h"

#include <QEvent>

#include "app/forms/other_forms.h"
#include "app/forms/qt_text.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/io/unistrings.h"
#include "ui_such_form.h"

namespace app {

TSuchForm::TSuchForm(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TSuchForm>()) {
  ui->setupUi(this);
  setMinimumSize(1043, 500);
}

TSuchForm::~TSuchForm() = default;

void TSuchForm::SetViewerFontSize(int pointSize) {
  for (QWidget* w : {static_cast<QWidget*>(ui->Viewer), static_cast<QWidget*>(ui->ViewerMemo)}) {
    QFont f = w->font();
    f.setPointSize(pointSize);
    w->setFont(f);
  }
}

int TSuchForm::ViewerFontSize() const { return ui->ViewerMemo->font().pointSize(); }

void TSuchForm::SetPanelColor(const QColor& color) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->PanelLinks, ui->PanelRechts, ui->PanelUnten, ui->ToolBar1}) {
    SetWidgetBackground(w, color);
  }
}

void TSuchForm::SetBackgroundColor(const QColor& color) {
  SetWidgetBackground(this, color);
  SetWidgetBackground(ui->Panel2, color);
}

void TSuchForm::SetHintColor(const QColor& color) {
  for (QWidget* w : std::initializer_list<QWidget*>{
           ui->GrossKleinBeachten, ui->NurGanzeWoerterCheckBox, ui->nurWoerterButton, ui->nurSaetzeButton,
           ui->WoerterUndSaetzeButton, ui->Label1, ui->Label2, ui->Label3, ui->Label5, ui->UniLabel1, ui->Label8,
           ui->OderCheckBox, ui->PhraseCheckBox, ui->SpeedButton1, ui->SpeedButton2}) {
    SetWidgetTextColor(w, color);
  }
}

void TSuchForm::SetMemoHintsShown(bool on) { memoHints_ = on; }

void TSuchForm::LoadSuggestions(std::u16string_view fileName) {
  ui->UniListBox2->clear();
  auto st = platform::Stat(platform::PosixPath(fileName));
  if (!st || !st->isRegular) return;
  textlib::TUniStringList lines;
  try {
    lines.LoadFromFile(fileName);
  } catch (const textlib::Exception&) {
    return;
  }
  for (int i = 0; i < lines.Count(); ++i) ui->UniListBox2->addItem(ToQ(lines[i]));
}

int TSuchForm::SuggestionCount() const { return ui->UniListBox2->count(); }

void TSuchForm::CloseViewerDocument() { ui->ViewerMemo->clear(); }

void TSuchForm::ResetBrowsingView() {
  ui->Label8->clear();
  ui->Label2->clear();
  ui->SortierteListeBtn->setEnabled(false);
}

void TSuchForm::ClearSuggestions() { ui->UniListBox2->clear(); }

void TSuchForm::SetSuggestionsColor(const QColor& color) {
  QPalette p = ui->UniListBox2->palette();
  p.setColor(QPalette::Base, color);
  ui->UniListBox2->setPalette(p);
}

void TSuchForm::HideSuggestions() { ui->UniListBox2->setVisible(false); }

std::vector<std::u16string> TSuchForm::Suggestions() const {
  std::vector<std::u16string> lines;
  for (int i = 0; i < ui->UniListBox2->count(); ++i) lines.push_back(FromQ(ui->UniListBox2->item(i)->text()));
  return lines;
}

void TSuchForm::SetSuggestions(const std::vector<std::u16string>& lines) {
  ui->UniListBox2->clear();
  for (const auto& line : lines) ui->UniListBox2->addItem(ToQ(line));
}

std::u16string TSuchForm::SearchText() const { return FromQ(ui->UniEdit2->text()); }
void TSuchForm::SetSearchText(std::u16string_view text) { ui->UniEdit2->setText(ToQ(text)); }
void TSuchForm::ClearInDocumentSearch() { ui->UniEdit1->clear(); }
std::u16string TSuchForm::PositionCaption() const { return FromQ(ui->Label8->text()); }
void TSuchForm::SetPositionCaption(std::u16string_view text) { ui->Label8->setText(ToQ(text)); }

void TSuchForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) searchWindowMinimized_ = isMinimized();
  QDialog::changeEvent(event);
}

}  // namespace app
