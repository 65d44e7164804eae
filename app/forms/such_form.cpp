#include "app/forms/such_form.h"

#include <QEvent>

#include "app/forms/other_forms.h"
#include "app/forms/qt_text.h"
#include "app/settings/registry.h"
#include "platform/clipboard.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "search/viewer/file_viewer.h"
#include "textlib/errors.h"
#include "textlib/io/unistrings.h"
#include "textlib/unicode.h"
#include "ui_such_form.h"

namespace app {

TSuchForm::TSuchForm(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TSuchForm>()) {
  ui->setupUi(this);
  setMinimumSize(1043, 500);
  // The visible viewer draws in the Unicode font, fits and wraps its lines and mirrors them
  // into the memo over it; the hidden one only serves the search runs.
  ui->Viewer->SetHost(&viewerHost_);
  ui->Viewer->SetFont(search::ViewerUnicodeFont(ui->ViewerMemo->font().pointSize()));
  ui->Viewer->Model().SetTextWidthFit(true);
  ui->Viewer->Model().SetTextWrap(true);
  ui->Viewer->TextPopupCommands = search::vpCmdCopy | search::vpCmdCopyHex | search::vpCmdSelectLine |
                                  search::vpCmdSelectAll;
  ui->Viewer->UpdatePopupMenu();
  ui->Viewer2->SetFont(search::ViewerUnicodeFont());
  connect(ui->OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(ui->CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  session_.storesStarting = [this] {
    if (progress_) progress_->SearchStarting();
    setWindowTitle(QStringLiteral("Suche läuft..."));
  };
}

TSuchForm::~TSuchForm() = default;

void TSuchForm::SetViewerFontSize(int pointSize) {
  for (QWidget* w : {static_cast<QWidget*>(ui->Viewer), static_cast<QWidget*>(ui->ViewerMemo)}) {
    QFont f = w->font();
    f.setPointSize(pointSize);
    w->setFont(f);
  }
  QFont viewerFont = ui->Viewer->Font();
  viewerFont.setPointSize(pointSize);
  ui->Viewer->SetFont(viewerFont);
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
  ui->UniListBox2->Items().Clear();
  auto st = platform::Stat(platform::PosixPath(fileName));
  if (!st || !st->isRegular) return;
  textlib::TUniStringList lines;
  try {
    lines.LoadFromFile(fileName);
  } catch (const textlib::Exception&) {
    return;
  }
  ui->UniListBox2->Items().Assign(lines);
}

int TSuchForm::SuggestionCount() const { return ui->UniListBox2->count(); }

void TSuchForm::CloseViewerDocument() {
  ui->Viewer->CloseSource();
  ui->ViewerMemo->Lines().Clear();
}

search::TViewerDocKind TSuchForm::ViewerHost::DocKind() const {
  // The MHT store is UTF-16, the HTML store UTF-8.
  if (form_.session_.browsedKindMht) return search::TViewerDocKind::Unicode;
  if (form_.session_.browsedKindUtf8) return search::TViewerDocKind::Utf8;
  return search::TViewerDocKind::None;
}

void TSuchForm::ViewerHost::ClearMemo() { form_.ui->ViewerMemo->Lines().Clear(); }

void TSuchForm::ViewerHost::AppendMemoLine(const std::u16string& line, int viewerHeight) {
  form_.state_.MemoFilled = true;
  widgets::TUniMemo& memo = *form_.ui->ViewerMemo;
  if (memo.height() != viewerHeight) memo.resize(memo.width(), viewerHeight);
  memo.Lines().Add(line);
}

void TSuchForm::ViewerHost::MemoDrawn() {
  widgets::TUniMemo& memo = *form_.ui->ViewerMemo;
  const std::u16string text = memo.Text();
  if (text.ends_with(u"\r\n")) memo.SetText(std::u16string_view(text).substr(0, text.size() - 2));
}

void TSuchForm::ViewerHost::FitMemoWidth(bool withBar, int viewerWidth) {
  // The memo lies inside the viewer: with a bar it ends where the viewer's page ends.
  search::TFileViewer& viewer = *form_.ui->Viewer;
  widgets::TUniMemo& memo = *form_.ui->ViewerMemo;
  const int width = withBar ? viewer.viewport()->geometry().right() + 1 : viewerWidth;
  if (memo.width() != width) memo.resize(width, memo.height());
}

void TSuchForm::ViewerHost::ShowMemoOverlay() { form_.ui->ViewerMemo->setVisible(true); }

void TSuchForm::ViewerHost::SetSearchBoxText(const std::u16string& text) { form_.ui->UniEdit2->SetText(text); }

void TSuchForm::ResetBrowsingView() {
  ui->Label8->SetCaption(u"");
  ui->Label2->SetCaption(u"");
  ui->SortierteListeBtn->setEnabled(false);
}

void TSuchForm::ClearSuggestions() { ui->UniListBox2->Items().Clear(); }

void TSuchForm::SetSuggestionsColor(const QColor& color) {
  QPalette p = ui->UniListBox2->palette();
  p.setColor(QPalette::Base, color);
  ui->UniListBox2->setPalette(p);
}

void TSuchForm::HideSuggestions() { ui->UniListBox2->setVisible(false); }

std::vector<std::u16string> TSuchForm::Suggestions() const {
  std::vector<std::u16string> lines;
  const textlib::TUniStrings& items = ui->UniListBox2->Items();
  for (int i = 0; i < items.Count(); ++i) lines.push_back(items[i]);
  return lines;
}

void TSuchForm::SetSuggestions(const std::vector<std::u16string>& lines) {
  textlib::TUniStrings& items = ui->UniListBox2->Items();
  items.BeginUpdate();
  items.Clear();
  for (const auto& line : lines) items.Add(line);
  items.EndUpdate();
}

std::u16string TSuchForm::SearchText() const { return ui->UniEdit2->Text(); }
void TSuchForm::SetSearchText(std::u16string_view text) { ui->UniEdit2->SetText(text); }
void TSuchForm::ClearInDocumentSearch() { ui->UniEdit1->SetText(u""); }
std::u16string TSuchForm::PositionCaption() const { return ui->Label8->Caption(); }
void TSuchForm::SetPositionCaption(std::u16string_view text) { ui->Label8->SetCaption(text); }

void TSuchForm::SetSearchControlsEnabled(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->OKBtn, ui->UniEdit2, ui->GrossKleinBeachten,
                                                    ui->NurGanzeWoerterCheckBox, ui->SuchImInternetBtn}) {
    w->setEnabled(on);
  }
}

void TSuchForm::OKBtnClick() {
  // The memo overlay is redrawn when the browsed view is reopened; its selection is kept.
  const std::u16string overlayLine = ui->ViewerMemo->Lines()[0];
  const int64_t overlayStart = ui->ViewerMemo->SelStart(), overlayLength = ui->ViewerMemo->SelLength();
  engine_.HitList.Clear();
  SetSearchControlsEnabled(false);
  ui->CancelBtn->setToolTip(QStringLiteral("Suche abbrechen"));

  search::DatabaseFiles files;
  files.baseFolder = state_.BaseFolder;
  files.dbName = state_.CurrentDbName;
  writer_.BaseFolder = state_.BaseFolder;
  writer_.CurrentDbName = state_.CurrentDbName;
  session_.grossKleinBeachten = writer_.GrossKleinBeachten = ui->GrossKleinBeachten->isChecked();
  session_.nurGanzeWoerter = writer_.NurGanzeWoerter = ui->NurGanzeWoerterCheckBox->isChecked();

  // The engine refuses a one-character text with its box and searches nothing.
  const bool searched = engine_.Run(files, ui->UniEdit2->Text());
  state_.Searching = false;
  if (searched) {
    state_.NoHits = engine_.NoHits;
    state_.NoHitUtf8 = engine_.NoHitUtf8;
    state_.NoHitMht = engine_.NoHitMht;

    std::u16string text = ui->UniEdit2->Text();
    const size_t bad = text.find(u'\uFFFD');
    if (bad != std::u16string::npos && bad + 1 == text.size()) {
      text.pop_back();
      ui->UniEdit2->SetText(text);
    }
    if (LeseRegKey(kRegistryKey, reg::SuchwortInZwischenablage) == u"1") CopySearchTextToClipboard();
    if (progress_) progress_->SearchStopped();
  }

  state_.CancelRequested = false;
  setWindowTitle(QString());
  engine_.SearchRunning = false;
  ui->CancelBtn->setEnabled(true);
  ui->CancelBtn->setToolTip(QStringLiteral("Schließt das Fenster"));
  SetSearchControlsEnabled(true);
  session_.quietFlag = false;
  if (!searched) return;
  RestoreOverlaySelection(overlayLine, overlayStart, overlayLength);
  if (progress_) progress_->SearchFinished();
  // Accepted only after the controls are back, so the window reopens ready.
  accept();
}

void TSuchForm::RestoreOverlaySelection(const std::u16string& line, int64_t start, int64_t length) {
  widgets::TUniMemo& memo = *ui->ViewerMemo;
  const std::u16string newLine = memo.Lines()[0];
  // Another first line means the view moved on by it (and its break).
  memo.SetSelStart(newLine.find(line) != std::u16string::npos
                       ? start
                       : start + static_cast<int64_t>(newLine.size()) + 2);
  memo.SetSelLength(length);
  memo.setFocus();
}

void TSuchForm::CopySearchTextToClipboard() {
  std::u16string text = textlib::UnicodeTrim(ui->UniEdit2->Text());
  if (!ui->PhraseCheckBox->isChecked()) {
    const size_t blank = text.find(u' ');
    if (blank != std::u16string::npos && blank > 0) text = textlib::UnicodeTrim(text.substr(0, blank + 1));
    if (host_.PathOpened() && text.starts_with(u'#')) text.erase(0, 1);
  }
  platform::Clipboard& clipboard = platform::TheClipboard();
  if (!clipboard.Open()) return;
  clipboard.Empty();
  clipboard.SetUnicodeText(text);
  clipboard.Close();
}

void TSuchForm::CancelBtnClick() {
  if (engine_.SearchRunning) {
    state_.CancelRequested = true;
    return;
  }
  reject();
}

void TSuchForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) searchWindowMinimized_ = isMinimized();
  QDialog::changeEvent(event);
}

}  // namespace app
