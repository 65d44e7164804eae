#include "app/forms/such_form.h"

#include <QEvent>
#include <QHideEvent>
#include <QPointer>

#include "app/forms/other_forms.h"
#include "app/forms/qt_text.h"
#include "app/settings/registry.h"
#include "platform/clipboard.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
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
  // The hex rows fit the panel too, so their character column is never cut off.
  ui->Viewer->Model().SetTextWidthFitHex(true);
  ui->Viewer->Model().SetTextWidthFitUHex(true);
  ui->Viewer->TextPopupCommands = search::vpCmdCopy | search::vpCmdCopyHex | search::vpCmdSelectLine |
                                  search::vpCmdSelectAll;
  ui->Viewer->UpdatePopupMenu();
  ui->Viewer2->SetFont(search::ViewerUnicodeFont());
  connect(ui->OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(ui->CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(ui->WeiterSuche, &QPushButton::clicked, this, [this] { WeiterSucheClick(); });
  connect(ui->UniEdit1, &widgets::TUniEdit::Changed, this, [this] { ResetInDocumentSearch(); });
  session_.storesStarting = [this] {
    if (progress_) progress_->SearchStarting();
    setWindowTitle(QStringLiteral("Suche läuft..."));
  };
}

TSuchForm::~TSuchForm() = default;

void TSuchForm::SetViewerFontSize(int pointSize) {
  pointSize = ClampViewerFontSize(pointSize);
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

std::optional<search::TInDocumentKind> TSuchForm::InDocumentKind() const {
  if (DocKindAnsi) return search::TInDocumentKind::Ansi;
  if (DocKindUtf8) return search::TInDocumentKind::Utf8;
  if (DocKindUnicode) return search::TInDocumentKind::Unicode;
  return std::nullopt;
}

search::TViewerDocKind TSuchForm::ViewerHost::DocKind() const {
  // The memo decodes by the same flags the search in the document reads.
  const std::optional<search::TInDocumentKind> kind = form_.InDocumentKind();
  if (!kind) return search::TViewerDocKind::None;
  switch (*kind) {
    case search::TInDocumentKind::Ansi: return search::TViewerDocKind::Ansi;
    case search::TInDocumentKind::Utf8: return search::TViewerDocKind::Utf8;
    case search::TInDocumentKind::Unicode: return search::TViewerDocKind::Unicode;
  }
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
  // As high as the viewer also when no line was mirrored (hex modes, no file), so a
  // resized viewer never shows a memo of its old height.
  if (memo.width() != width || memo.height() != viewer.height()) memo.resize(width, viewer.height());
  // The hex and binary modes mirror nothing: the memo's lines would cover them.
  if (!search::IsLineMode(viewer.Mode())) memo.setVisible(false);
}

void TSuchForm::ViewerHost::ShowMemoOverlay() { form_.ShowMemoOverlay(); }

void TSuchForm::ShowMemoOverlay() { ui->ViewerMemo->setVisible(search::IsLineMode(ui->Viewer->Mode())); }

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

void TSuchForm::ResetInDocumentSearch() {
  ++hitsGeneration_;
  if (sammler_.Busy()) sammler_.Cancel();
  hits_ = {};
  hitsCollected_ = false;
  hitStart_ = -1;
  hitLength_ = 0;
  memoCaret_ = -1;
}

bool TSuchForm::CollectHits(const std::u16string& fileName, const std::u16string& text,
                            search::TInDocumentKind kind) {
  // The collection processes window messages: this window may be closed, destroyed or
  // edited before it returns.
  const QPointer<TSuchForm> self(this);
  const uint64_t generation = hitsGeneration_;
  search::TFundstellen found = sammler_.Sammeln(fileName, text, kind);
  if (!self) return false;
  if (found.busy || found.cancelled || generation != hitsGeneration_) return false;
  hits_ = std::move(found);
  hitsCollected_ = !hits_.offsets.empty();
  hitsFile_ = fileName;
  hitsText_ = text;
  hitsKind_ = kind;
  hitStart_ = -1;
  hitLength_ = 0;
  return true;
}

void TSuchForm::WeiterSucheClick() {
  ShowMemoOverlay();
  const std::optional<search::TInDocumentKind> kind = InDocumentKind();
  if (!kind) return;
  // A press from the messages of a running collection or search run would start another
  // on top of it.
  if (sammler_.Busy() || engine_.SearchRunning) return;
  const std::u16string text = ui->UniEdit1->Text();
  const std::u16string fileName =
      search::InDocumentFileName(state_.BaseFolder, state_.CurrentDbName, *kind, state_.SortedListShown);
  // Hits of another document or text would select at the wrong places.
  const bool current = hitsCollected_ && hitsFile_ == fileName && hitsText_ == text && hitsKind_ == *kind;
  if (!current && !CollectHits(fileName, text, *kind)) return;
  search::TWeiterSucheSchritt step = search::NaechsteFundstelle(hits_, !current, hitStart_, hitLength_);
  if (step.wrapped) {
    // Past the last hit: collected anew, the file may have changed meanwhile.
    if (!CollectHits(fileName, text, *kind)) return;
    step = search::NaechsteFundstelle(hits_, true, 0, 0);
  }
  if (step.index < 0) {
    // Without a hit the next press collects again. A file that cannot be read says so (the
    // viewer's message) rather than "Nicht gefunden!".
    const std::u16string error = hits_.error;
    ResetInDocumentSearch();
    if (!error.empty())
      platform::ShowMessageBox(error, u"Viewer", platform::mb::IconError);
    else
      platform::ShowMessageBox(search::kMsgNichtGefunden, u"Quarry-HTML", platform::mb::Ok);
    return;
  }
  hitStart_ = step.selStart;
  hitLength_ = step.selLength;
  // The length comes from the collection: the bytes of this match in the file's encoding
  // ("Müller" is 7 bytes of UTF-8, 12 of UTF-16).
  ui->Viewer->Model().SetSelection(step.selStart, step.selLength, true, true);
  if (search::IsLineMode(ui->Viewer->Mode()))
    SelectHitInMemo(text);
  else
    ui->Viewer->setFocus();
  if (!step.message.empty()) platform::ShowMessageBox(step.message, u"Quarry-HTML", platform::mb::Ok);
}

// The viewer's redraw has refilled the memo with the shown lines; the hit is found there
// by its text, as the memo holds decoded characters, not file offsets.
void TSuchForm::SelectHitInMemo(const std::u16string& text) {
  widgets::TUniMemo& memo = *ui->ViewerMemo;
  // Folded unit by unit, so positions in the folded texts are positions in the memo.
  const auto fold = [](std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const char32_t lower = textlib::CharToLower(c);
      if (lower <= 0xFFFF) c = static_cast<char16_t>(lower);
    }
    return out;
  };
  const std::u16string memoText = fold(memo.Text());
  const std::u16string pattern = fold(text);
  size_t at = pattern.empty() ? std::u16string::npos : memoText.find(pattern);
  if (at == std::u16string::npos) {
    // The hit is not among the shown lines (a break of the layout runs through it).
    memoCaret_ = -1;
    memo.setFocus();
    return;
  }
  // The next hit on the same page lies after the one selected before; the remembered place
  // counts only while the view has not moved, so it always refers to this memo text.
  const auto first = static_cast<int64_t>(at);
  if (memoCaret_ > first && memoCaret_ - first < static_cast<int64_t>(memoText.size()) &&
      memoCaretView_ == firstShownOffset_) {
    const size_t next = memoText.find(pattern, static_cast<size_t>(memoCaret_));
    if (next != std::u16string::npos) at = next;
  }
  memo.SetSelStart(static_cast<int64_t>(at));
  memo.SetSelLength(static_cast<int64_t>(text.size()));
  // One past the selection's start, so an overlapping next hit ("aa" in "aaaa") is found.
  memoCaret_ = static_cast<int64_t>(at) + 1;
  memoCaretView_ = firstShownOffset_;
  memo.setFocus();
}

void TSuchForm::hideEvent(QHideEvent* event) {
  // Closed, not minimised: a running collection stops at its next check.
  if (!event->spontaneous() && sammler_.Busy()) sammler_.Cancel();
  QDialog::hideEvent(event);
}

void TSuchForm::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) searchWindowMinimized_ = isMinimized();
  QDialog::changeEvent(event);
}

}  // namespace app
