#include "search/forms/such_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QSplitter>
#include <QTextBlock>
#include <QWheelEvent>
#include <sys/stat.h>

#include <algorithm>
#include <limits>

#include "app/index/word_lists.h"
#include "app/settings/qt_text.h"
#include "app/settings/registry.h"
#include "platform/clipboard.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "search/engine/viewer_services.h"
#include "search/forms/web_panel.h"
#include "search/viewer/file_viewer.h"
#include "textlib/errors.h"
#include "textlib/io/unistrings.h"
#include "textlib/unicode.h"
#include "textlib/wide/pause/machpause.h"
#include "widgets/palette.h"
#include "widgets/wide_control.h"
#include "ui_such_form.h"

namespace search {

using app::FromQ;
using app::LeseRegKey;
using app::SchreibeRegKey;
using app::ToQ;
using app::ToQColor;
using app::kRegistryKey;
using widgets::SetWidgetBackground;
using widgets::SetWidgetTextColor;
namespace reg = app::reg;
// The window's own caption, which the runs' progress texts borrow for a while.
constexpr char16_t kCaption[] = u"Quarry-HTML - Suche";

TSuchForm::TSuchForm(app::ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TSuchForm>()) {
  ui->setupUi(this);
  session_.flags = &state_;
  // Search texts and document paths are shown as they are: an "&" is no accelerator.
  for (widgets::TUniLabel* label : {ui->UniLabel1, ui->Label2, ui->Label8}) label->SetShowAccelChar(false);
  // The style's greyed button text almost vanishes on the grey face: a darker grey reads.
  for (QPushButton* b : findChildren<QPushButton*>()) {
    QPalette pal = b->palette();
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, widgets::DisabledText(pal.color(QPalette::Button)));
    b->setPalette(pal);
  }
  webPanel_ = new TWebPanel(ui->Panel2);
  webPanel_->BaseFolder = [this] { return state_.BaseFolder; };
  webPanel_->SetControls({ui->Panel2, ui->Label5, ui->UniLabel1, ui->UniEdit2, ui->UniListBox2, ui->ViewerMemo});
  WebListsEnabled = [this](bool on) { webPanel_->SetListsEnabled(on); };
  connect(ui->SuchImInternetBtn, &QPushButton::clicked, webPanel_, [this] {
    EntryMarkupEntfernen();
    webPanel_->SuchImInternetBtnClick();
  });
  // No minimum of the window's own: a smaller size snaps to 1043 x 500 in resizeEvent.
  resize(1043, 500);
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
  connect(ui->UniEdit1, &widgets::TUniEdit::Changed, this, [this] {
    ResetInDocumentSearch();
    ui->WeiterSuche->setEnabled(!ui->UniEdit1->Text().empty());
  });
  // No button is the default: Enter belongs to the entry that has the focus.
  connect(ui->UniEdit1, &QLineEdit::returnPressed, this, [this] { WeiterSucheClick(); });
  connect(ui->UniEdit2, &QLineEdit::returnPressed, this, [this] {
    ui->UniListBox2->setVisible(false);
    if (ui->OKBtn->isEnabled()) OKBtnClick();
  });
  connect(ui->UniEdit2, &widgets::TUniEdit::Changed, this, [this] { OnEntryChanged(); });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { ui->UniEdit2->SetText(u""); });
  connect(ui->Button2, &QPushButton::clicked, this, [this] { ui->UniEdit1->SetText(u""); });
  // The two hidden boxes stay opposite.
  connect(ui->PhraseCheckBox, &QCheckBox::toggled, this, [this](bool on) { ui->OderCheckBox->setChecked(!on); });
  connect(ui->OderCheckBox, &QCheckBox::toggled, this, [this](bool on) { ui->PhraseCheckBox->setChecked(!on); });
  connect(ui->UniListBox2, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int row = ui->UniListBox2->row(item);
    if (row < 0) return;
    SetEntry(ui->UniListBox2->Items()[row]);
    ui->UniListBox2->setVisible(false);
    ui->UniEdit2->setFocus();
    ui->UniEdit2->end(false);
  });
  // A click in the entry opens the suggestions, a key closes them.
  connect(ui->UniEdit2, &widgets::TUniEdit::MouseDown, this, [this] { ShowSuggestionList(); });
  ui->UniEdit2->OnKeyDown = [this](int&, Qt::KeyboardModifiers) { ui->UniListBox2->setVisible(false); };
  // The memo overlay only mirrors the viewer's lines: its movement keys move the viewer,
  // Tab leads to the in-document entry, and a double click takes the whole line.
  ui->ViewerMemo->OnKeyDown = [this](int& key, Qt::KeyboardModifiers shift) {
    switch (key) {
      case Qt::Key_Tab:
        ui->UniEdit1->setFocus();
        ui->UniEdit1->end(false);
        key = 0;
        break;
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Home:
      case Qt::Key_End: {
        QKeyEvent moved(QEvent::KeyPress, key, shift);
        QApplication::sendEvent(ui->Viewer, &moved);
        key = 0;
        break;
      }
      default: break;
    }
  };
  // A double click takes the word under the pointer, after the memo's own word selection
  // (whose word rule is not the viewer's).
  // A third click soon after takes the whole line, as in the viewer.
  connect(ui->ViewerMemo, &widgets::TUniMemo::MouseDown, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint at) {
            if (button != Qt::LeftButton) return;
            memoPressPoint_ = at;
            if (memoDoubleClick_.isValid() && memoDoubleClick_.elapsed() <= QApplication::doubleClickInterval()) {
              memoDoubleClick_.invalidate();
              QTimer::singleShot(0, this, [this] { SelectMemoLineAt(memoPressPoint_); });
            }
          });
  connect(ui->ViewerMemo, &widgets::TUniMemo::DblClick, this, [this] {
    memoDoubleClick_.start();
    QTimer::singleShot(0, this, [this] { SelectMemoWordAt(memoPressPoint_); });
  });
  connect(ui->Splitter1, &QSplitter::splitterMoved, this, [this] {
    SchreibeRegKey(kRegistryKey, reg::SplitterPos, std::u16string(FromQ(QString::number(ui->PanelLinks->width()))));
  });
  connect(ui->UTF8LadenButton, &QPushButton::clicked, this, [this] { LadenButtonClick(StoreKind::Utf8); });
  connect(ui->UnicodeLadenButton, &QPushButton::clicked, this, [this] { LadenButtonClick(StoreKind::Mht); });
  connect(ui->AnsiLadenButton, &QPushButton::clicked, this, [this] { LadenButtonClick(StoreKind::Ansi); });
  connect(ui->SortierteListeBtn, &QPushButton::clicked, this, [this] { ZeilenAlsListeSortierenClick(); });
  connect(ui->LesezeichenBtn, &QPushButton::clicked, this, [this] { LesezeichenBtnClick(); });
  connect(ui->SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  // The viewer scrolled: the memo's lines are outdated and the selection goes.
  connect(ui->Viewer, &search::TFileViewer::OnScroll, this, [this] {
    ui->ViewerMemo->setVisible(false);
    ui->Viewer->Model().SetSelection(0, 0, false, true);
  });
  pause_ = new textlib::TMachPause(this);
  pause_->setObjectName(QStringLiteral("MachPause1"));
  pause_->SetInterval(1000);
  connect(ui->SortierteListenErstellenButton, &QPushButton::clicked, this, [this] { SortierteListenErstellenButtonClick(); });
  connect(ui->SortAbbrechenButton, &QPushButton::clicked, this, [this] { SortAbbrechenButtonClick(); });
  connect(ui->SpeedButton2, &QToolButton::clicked, this, [this] {
    if (ShowSettings) ShowSettings();
  });
  timer2_ = new QTimer(this);
  timer2_->setSingleShot(true);
  timer2_->setInterval(50);
  connect(timer2_, &QTimer::timeout, this, [this] { Timer2Timer(); });
  // Wheel routing and the hand-over file follow the whole application.
  qApp->installEventFilter(this);
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) ApplicationActivate();
  });
  ui->ViewerMemo->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui->ViewerMemo, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu menu(this);
    QAction* item = menu.addAction(QStringLiteral("Text in Suchleiste links übertragen"));
    item->setEnabled(!ui->ViewerMemo->SelText().empty());
    connect(item, &QAction::triggered, this, [this] { TextInSuchleisteUebertragen(); });
    menu.exec(ui->ViewerMemo->mapToGlobal(at));
  });
  ui->WeiterSuche->setEnabled(false);
  // Hidden until needed, but sized for their texts when they appear.
  for (QWidget* w : std::initializer_list<QWidget*>{ui->nurWoerterButton, ui->nurSaetzeButton,
                                                    ui->WoerterUndSaetzeButton, ui->SortierteListenErstellenButton,
                                                    ui->SortAbbrechenButton, ui->PhraseCheckBox, ui->OderCheckBox,
                                                    ui->AnsiLadenButton, ui->Label3, ui->Label4}) {
    w->adjustSize();
  }
  UniEdit2Change(false);
  session_.storesStarting = [this] {
    if (progress_) progress_->SearchStarting();
    widgets::WideControlSetText(*this, u"Suche läuft...");
  };
}

TSuchForm::~TSuchForm() { qApp->removeEventFilter(this); }

void TSuchForm::SetViewerFontSize(int pointSize) {
  pointSize = app::ClampViewerFontSize(pointSize);
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
  form_.timer2_->start();
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

void TSuchForm::SelectMemoWordAt(QPoint at) {
  widgets::TUniMemo& memo = *ui->ViewerMemo;
  const QPoint point = memo.viewport()->mapFrom(&memo, at);
  QTextCursor cursor = memo.cursorForPosition(point);
  const QTextBlock block = cursor.block();
  const QString text = block.text();
  if (text.isEmpty()) return;
  // The nearest caret position lies after the character when the pointer is on its
  // right half: the character under the pointer is the one before it then.
  int i = cursor.position() - block.position();
  if (i > 0 && (i >= text.size() || point.x() < memo.cursorRect(cursor).x())) --i;
  // The viewer's word delimiters: the blank, ASCII punctuation but the underscore, DEL, TAB.
  const auto delimiter = [](QChar q) {
    const char16_t c = q.unicode();
    return c == 9 || c == 10 || c == 13 || (c >= 32 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) ||
           c == 96 || (c >= 123 && c <= 127);
  };
  int first = i, last = i;
  while (first > 0 && !delimiter(text[first - 1])) --first;
  while (last + 1 < text.size() && !delimiter(text[last + 1])) ++last;
  cursor.setPosition(block.position() + first);
  cursor.setPosition(block.position() + last + 1, QTextCursor::KeepAnchor);
  memo.setTextCursor(cursor);
}

void TSuchForm::SelectMemoLineAt(QPoint at) {
  widgets::TUniMemo& memo = *ui->ViewerMemo;
  QTextCursor cursor = memo.cursorForPosition(memo.viewport()->mapFrom(&memo, at));
  const QTextBlock block = cursor.block();
  cursor.setPosition(block.position());
  cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  memo.setTextCursor(cursor);
}

void TSuchForm::ShowMemoOverlay() { ui->ViewerMemo->setVisible(search::IsLineMode(ui->Viewer->Mode())); }

void TSuchForm::ViewerHost::SetSearchBoxText(const std::u16string& text) { form_.SetEntry(text); }

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
void TSuchForm::SetSearchText(std::u16string_view text) { SetEntry(std::u16string(text)); }
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
  if (engine_.SearchRunning || sammler_.Busy()) return;
  // A path entry opens its file instead of a search.
  if (PfadEintragPruefen()) return;
  EntryMarkupEntfernen();
  if (textlib::UnicodeTrim(ui->UniEdit2->Text()).empty()) {
    platform::ShowMessageBox(u"Sie haben keinen Suchtext eingegeben!", u"Information",
                             platform::mb::Ok | platform::mb::IconInformation);
    state_.Searching = false;
    return;
  }
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

  // The direct search of a path-list database reports its progress in the caption.
  engine_.SetSearchCaption = [this](const std::u16string& caption) {
    widgets::WideControlSetText(*this, caption);
  };
  // The engine refuses a one-character text with its box and searches nothing.
  const bool searched = engine_.Run(files, ui->UniEdit2->Text());
  state_.Searching = false;
  if (searched) {
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
  // Files the direct search could not read stay named until the next run; otherwise the
  // window's caption comes back.
  widgets::WideControlSetText(*this, searched && !engine_.EndCaption.empty() ? engine_.EndCaption
                                                                             : std::u16string(kCaption));
  engine_.SearchRunning = false;
  ui->CancelBtn->setEnabled(true);
  ui->CancelBtn->setToolTip(QStringLiteral("Schließt das Fenster"));
  SetSearchControlsEnabled(true);
  session_.quietFlag = false;
  if (!searched) return;
  ReopenBrowsedView();
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
  if (sortRunning_) {
    // The build stops at its next line; the window stays until it has.
    SortAbbrechenButtonClick();
    return;
  }
  if (ui->SortAbbrechenButton->isVisible() && ui->SortAbbrechenButton->isEnabled()) SortAbbrechenButtonClick();
  SetBuilderShown(false);
  state_.Searching = false;
  if (engine_.SearchRunning) {
    // The run ends itself and then accepts the window.
    state_.CancelRequested = true;
    engine_.RequestCancel();
    if (progress_) progress_->SearchStopped();
    return;
  }
  QDialog::reject();
}

void TSuchForm::reject() { CancelBtnClick(); }

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


// ---- Helpers of the window ----

int PosAb(std::string_view sub, std::string_view s, int from) {
  if (sub.empty() || s.empty() || from < 1 || static_cast<size_t>(from) > s.size()) return 0;
  const size_t at = s.find(sub, static_cast<size_t>(from - 1));
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int WidePosAb(std::u16string_view sub, std::u16string_view s, int from) {
  if (sub.empty() || s.empty() || from < 1 || static_cast<size_t>(from) > s.size()) return 0;
  const size_t at = s.find(sub, static_cast<size_t>(from - 1));
  return at == std::u16string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int LetztePos(std::u16string_view sub, std::u16string_view s) {
  if (sub.empty()) return 0;
  const size_t at = s.rfind(sub);
  return at == std::u16string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int MemoCaretZeile(const widgets::TUniMemo& memo) {
  return memo.document()->findBlock(static_cast<int>(memo.textCursor().selectionStart())).blockNumber();
}

int64_t GetDateiGroesse(std::u16string_view path) {
  const auto st = platform::Stat(platform::PosixPath(path));
  return st && !st->isDirectory ? st->size : -1;
}

std::u16string MarkupResteEntfernen(std::u16string text) {
  if (text.starts_with(u"/><")) text.erase(0, 3);
  if (text.starts_with(u'<')) text.erase(0, 1);
  for (const char16_t cut : {u'>', u'<'}) {
    const size_t at = text.find(cut);
    if (at != std::u16string::npos) text.erase(at);
  }
  const size_t slash = text.find(u'/');
  if (slash != std::u16string::npos && slash + 1 == text.size()) text = textlib::UnicodeTrim(text.substr(0, slash));
  return text;
}

namespace {

bool IsFile(std::u16string_view drivePath) {
  const auto st = platform::Stat(platform::PosixPath(drivePath));
  return st && st->isRegular;
}

bool HasExtension(std::u16string_view path) {
  const size_t name = path.find_last_of(u"\\/");
  const size_t dot = path.find_last_of(u'.');
  return dot != std::u16string_view::npos && (name == std::u16string_view::npos || dot > name) &&
         dot + 1 < path.size();
}

}  // namespace

std::u16string PfadMitLaufwerkSuchen(std::u16string_view p, std::u16string_view baseFolder) {
  if (!baseFolder.empty() && IsFile(std::u16string(1, baseFolder[0]) + std::u16string(p)))
    return std::u16string(1, baseFolder[0]) + std::u16string(p);
  std::u16string found;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    if (letter == u'C') continue;
    const std::u16string candidate = std::u16string(1, letter) + std::u16string(p);
    if (IsFile(candidate)) found = candidate;
  }
  if (!found.empty()) return found;
  std::u16string_view rest = p;
  if (rest.starts_with(u":\\")) rest.remove_prefix(2);
  return std::u16string(baseFolder) + std::u16string(rest);
}

bool IsExecutableFile(std::u16string_view drivePath) {
  const auto st = platform::Stat(platform::PosixPath(drivePath));
  if (st && (st->mode & (S_IXUSR | S_IXGRP | S_IXOTH))) return true;
  // Files the desktop starts although they carry no execute bit.
  const size_t dot = drivePath.find_last_of(u'.');
  if (dot == std::u16string_view::npos) return false;
  std::u16string ext(drivePath.substr(dot + 1));
  for (char16_t& c : ext) c = static_cast<char16_t>(textlib::CharToLower(c));
  for (const char16_t* bad : {u"exe", u"com", u"bat", u"cmd", u"msi", u"scr", u"pif", u"lnk", u"vbs", u"vbe",
                              u"js", u"jse", u"wsf", u"wsh", u"ps1", u"sh", u"desktop", u"appimage", u"run",
                              u"jar", u"py", u"pl"}) {
    if (ext == bad) return true;
  }
  return false;
}

// ---- The frame ----

QWidget* TSuchForm::WebPanelHost() const { return ui->Panel2; }
std::u16string TSuchForm::DocumentCaption() const { return ui->Label2->Caption(); }

void TSuchForm::SetEntry(const std::u16string& text) {
  entrySetByProgram_ = true;
  ui->UniEdit2->SetText(text);
  entrySetByProgram_ = false;
}

void TSuchForm::OnEntryChanged() {
  if (entryChanging_) return;
  const std::u16string text = ui->UniEdit2->Text();
  // A typed character adds one unit (two for a surrogate pair); more at once is a paste
  // or a text set by the program.
  const bool wholeText = entrySetByProgram_ || text.size() >= lastEntry_.size() + 3;
  UniEdit2Change(wholeText);
}

void TSuchForm::UniEdit2Change(bool wholeText) {
  entryChanging_ = true;
  widgets::TUniEdit& entry = *ui->UniEdit2;
  std::u16string text = textlib::UnicodeTrimLeft(entry.Text());
  if (text != entry.Text()) entry.SetText(text);
  ui->PhraseCheckBox->setChecked(text.find_first_of(u" \t") != std::u16string::npos);
  pathOpened_ = false;
  entryChanging_ = false;
  // The boxes may close the window; the entry holds what is left. A closed window asks
  // nothing: its boxes would stand alone on the desktop.
  pathCheckPending_ = false;
  if (wholeText && !isVisible())
    pathCheckPending_ = true;
  else if (wholeText)
    PfadEintragPruefen();
  entryChanging_ = true;
  // Remnants of pasted markup go when a text arrives whole; a typed "/" or "<" is the
  // start of "km/h" or "a<b" and stays until the search starts.
  if (wholeText) EntryMarkupEntfernen();
  text = entry.Text();
  ui->UniLabel1->SetCaption(u"Suchtext: " + text);
  const bool any = !textlib::UnicodeTrim(text).empty();
  const std::optional<app::RgbColor> hintRgb =
      app::ColorFromText(std::u16string(state_.HintColorName.begin(), state_.HintColorName.end()));
  const QColor hint = hintRgb ? ToQColor(*hintRgb) : QColor(Qt::gray);
  for (QPushButton* b : {ui->OKBtn, ui->SuchImInternetBtn}) {
    QPalette pal = b->palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, any ? QColor(0x00, 0x80, 0x00) : hint);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, any ? QColor(0x00, 0x80, 0x00) : hint);
    // Disabled, the hint colour (white by default) would vanish on the grey button face.
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, widgets::DisabledText(pal.color(QPalette::Button)));
    b->setPalette(pal);
    b->setEnabled(any);
  }
  if (!any) ui->UniLabel1->SetCaption(u"Es wurde kein Text eingegeben!");
  ui->Label5->setEnabled(any);
  ui->UniLabel1->setEnabled(any);
  if (WebListsEnabled) WebListsEnabled(any);
  lastEntry_ = entry.Text();
  entryChanging_ = false;
}

void TSuchForm::EntryMarkupEntfernen() {
  widgets::TUniEdit& entry = *ui->UniEdit2;
  const std::u16string text = entry.Text();
  if (text.starts_with(u'#') && text.size() > 3 && text.substr(2, 2) == u":\\") return;
  const std::u16string cleaned = MarkupResteEntfernen(text);
  if (cleaned != text) entry.SetText(cleaned);
}

bool TSuchForm::PfadEintragPruefen() {
  const std::u16string entry = textlib::UnicodeTrim(ui->UniEdit2->Text());
  if (!(entry.starts_with(u'#') && entry.size() > 3 && entry.substr(2, 2) == u":\\")) return false;
  std::u16string p = entry.substr(2);
  if (!HasExtension(p)) {
    platform::ShowMessageBox(u"?" + p + u"\r\n hat keine Dateiendung.\r\nÜberprüfen Sie ob im Viewer der "
                                 u"\"Pfad+Dateiname+Endung\" in einer Zeile steht. Wenn der Eintrag umgebrochen "
                                 u"ist (ein Teil steht eine Zeile darunter), dann verbreitern Sie das Fenster bis "
                                 u"er in einer Zeile steht.",
                             u"Info", platform::mb::Ok | platform::mb::IconInformation);
  }
  if (!IsFile(p)) p = PfadMitLaufwerkSuchen(p, state_.BaseFolder);
  if (!IsFile(p)) {
    p = entry.substr(1);
    if (!IsFile(p)) {
      platform::ShowMessageBox(p + u"\r\nwurde nicht gefunden.", u"Info",
                               platform::mb::Ok | platform::mb::IconInformation);
      CancelBtnClick();
      return true;
    }
  }
  const platform::MsgResult answer = platform::ShowMessageBox(
      u"Bei dem Suchtext handelt es sich um einen Pfad zu einer Datei.\r\nMöchten Sie die Datei mit dem "
      u"zugehörigen externen Programm öffnen?",
      u"Quarry-HTML", platform::mb::YesNo | platform::mb::IconQuestion);
  if (answer == platform::MsgResult::Yes) {
    // A program would be started, not opened: the text may come from any document.
    if (IsExecutableFile(p)) {
      platform::ShowMessageBox(p + u"\r\nist ein Programm und wird nicht gestartet.", u"Info",
                               platform::mb::Ok | platform::mb::IconWarning);
      SetEntry(p);
      return true;
    }
    SetEntry(u"");
    pathOpened_ = true;
    if (OpenDocument)
      OpenDocument(p);
    else
      platform::OpenWithDesktop(platform::PosixPath(p));
  } else {
    pathOpened_ = false;
    SetEntry(p);
  }
  return true;
}

void TSuchForm::SpeedButton1Click() {
  // One manual for both windows, beside the program.
  const std::u16string manual = state_.BaseFolder + u"Quarry_HTML.pdf";
  if (GetDateiGroesse(manual) < 0) {
    platform::ShowMessageBox(u"Die Anleitung \"" + manual + u"\" wurde nicht gefunden.\r\nSie wird mit "
                             u"QUARRY_HTML in den Basisordner installiert (scripts/run).",
                             u"Information", platform::mb::Ok | platform::mb::IconInformation);
    return;
  }
  if (OpenDocument)
    OpenDocument(manual);
  else
    platform::OpenWithDesktop(platform::PosixPath(manual));
}

void TSuchForm::ApplicationActivate() {
  if (!TakeHandoverFile()) return;
  // A closed window gets the text from the next hand-off, when it opens.
  if (!isVisible()) return;
  SetEntry(state_.SearchHandoverText);
  state_.SearchHandoverText.clear();
}

bool TSuchForm::TakeHandoverFile() {
  if (state_.ControlFolder.empty()) return false;
  const std::u16string file = state_.ControlFolder + u"Datenbank\\Suchtext.txt";
  const std::string posix = platform::PosixPath(file);
  const auto st = platform::Stat(posix);
  if (!st || !st->isRegular) return false;
  textlib::TUniStringList lines;
  try {
    lines.LoadFromFile(file);
  } catch (const textlib::Exception&) {
    return false;
  }
  // Read once: the next activation must not hand the same text over again.
  platform::RemoveFile(posix);
  std::u16string text = lines.Text();
  while (text.ends_with(u"\r\n")) text.resize(text.size() - 2);
  state_.SearchHandoverText = text;
  return true;
}

void TSuchForm::SetBuilderShown(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Bevel5, ui->Label4, ui->ProgressBar1,
                                                    ui->SortierteListenErstellenButton, ui->SortAbbrechenButton,
                                                    ui->nurWoerterButton, ui->nurSaetzeButton,
                                                    ui->WoerterUndSaetzeButton, ui->RadioGroup1}) {
    w->setVisible(on);
  }
}

void TSuchForm::FormPaint() {
  if (ui->UniEdit1->Text().empty()) ui->WeiterSuche->setEnabled(false);
  if (searchFirstPaint_) {
    searchFirstPaint_ = false;
    // Shown by the position display once a store is browsed.
    ui->Label2->setVisible(false);
    SetBuilderShown(false);
    ui->ViewerMemo->SetHint(
        u"Markieren Sie den Text mit der linken Maustaste. Danach rechter Maustastenklick.\r\nText kann dann über "
        u"Popup-Menü in linkes Sucheingabefeld eingefügt werden.");
    resize(state_.SearchWidth, state_.SearchHeight);
    ui->UniEdit2->setFocus();
    ui->Label1->SetCaption(
        u"Geben Sie oben den Text ein, den Sie suchen.   Bei der Suche\n"
        u"nach einem Pfadeintrag mit Dateinamen, setzen Sie das Raute-\n"
        u"Zeichen # davor:     #C:\\home\\anna\\Dies ist ein Beispiel.txt");
    ui->SortierteListeBtn->setEnabled(false);
    bool ok = false;
    const int left = ToQ(LeseRegKey(kRegistryKey, reg::SplitterPos)).toInt(&ok);
    const int width = ok ? std::max(left, ui->PanelLinks->minimumWidth()) : 483;
    const int total = ui->Splitter1->width();
    ui->Splitter1->setSizes({width, std::max(total - width, ui->PanelRechts->minimumWidth())});
  }
  EnableDocumentButtons(3, 3, 3);
  ui->UniEdit2->setEnabled(true);
  ui->OKBtn->setEnabled(!textlib::UnicodeTrim(ui->UniEdit2->Text()).empty());
  if (!ui->UniEdit2->hasFocus() && !ui->ViewerMemo->Text().empty() && ui->ViewerMemo->isVisible())
    ui->ViewerMemo->setFocus();
}

void TSuchForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormPaint();
  if (pathCheckPending_) {
    pathCheckPending_ = false;
    // Once the window stands, so its boxes belong to it.
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) PfadEintragPruefen();
    });
  }
}

void TSuchForm::resizeEvent(QResizeEvent* event) {
  ui->UniListBox2->setVisible(false);
  QDialog::resizeEvent(event);
  // Below these the controls no longer fit; a height of exactly 499 is kept.
  if (!isMinimized() && (height() < 499 || width() < 1043))
    resize(std::max(width(), 1043), height() < 499 ? 500 : height());
}

void TSuchForm::ShowSuggestionList() {
  widgets::TUniListBox& list = *ui->UniListBox2;
  list.resize(ui->Panel2->width() > 0 ? ui->Panel2->width() : ui->UniEdit2->width(), 155);
  list.move(ui->UniEdit2->geometry().left(), ui->UniEdit2->geometry().bottom() + 2);
  if (list.count() > 0) {
    list.setVisible(!list.isVisible());
    list.raise();
  }
}

bool TSuchForm::eventFilter(QObject* watched, QEvent* event) {
  // The application's wheel: it scrolls what lies under the mouse (Qt sends it there);
  // the viewer's half gives the viewer the focus.
  if (event->type() == QEvent::Wheel) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->window() == this && (w == ui->PanelRechts || ui->PanelRechts->isAncestorOf(w)) &&
        !ui->UniEdit1->isAncestorOf(w) && w != ui->UniEdit1 && !ui->Viewer->hasFocus())
      ui->Viewer->setFocus();
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Browsing ----

namespace {

struct KindTexts {
  const char16_t *store, *titles, *history, *loading, *caption, *empty, *bookmark, *prefix, *sortedPrefix, *list;
};

const KindTexts& Texts(TSuchForm::StoreKind kind) {
  static const KindTexts ansi{u"_AnsiDokument.txt", u"_Ansi_TitelPositionen.txt", u"_Ansi_Suchwoerterliste.txt",
                              u"Lade ANSI-Dokument:", u"ANSI-DB: ", u"ANSI-Dokument enthält keine Einträge:",
                              u"Lesezeichen_Ansi_", u"ANSI-", u"Sortierte ANSI-Liste von ",
                              u"_Phrasen_Woerter_AnsiListe.txt"};
  static const KindTexts utf8{u"_UTF8Dokument.txt", u"_Utf8_TitelPositionen.txt", u"_Utf8_Suchwoerterliste.txt",
                              u"Lade Utf8-Dokument", u"UTF8-DB: ", u"UTF8-Dokument enthält keine Einträge:",
                              u"Lesezeichen_Utf8_", u"UTF8-", u"Sortierte UTF8-Liste von ",
                              u"_Phrasen_Woerter_Utf8Liste.txt"};
  static const KindTexts mht{u"_MHTtext.txt", u"_MHT_TitelPositionen.txt", u"_MHT_Suchwoerterliste.txt",
                             u"Lade Unicode-Dokument", u"MHT-Dokument: ", u"Unicode-Dokument enthält keine Einträge:",
                             u"Lesezeichen_Unicode_", u"MHT-Dokument-", u"Sortierte MHT-Liste von ",
                             u"_Phrasen_Woerter_MHTListe.txt"};
  switch (kind) {
    case TSuchForm::StoreKind::Ansi: return ansi;
    case TSuchForm::StoreKind::Utf8: return utf8;
    case TSuchForm::StoreKind::Mht: break;
  }
  return mht;
}

// A stored bookmark: a decimal 64-bit number; anything else, a negative one or one beyond
// the 64-bit range, is none.
int64_t ParseBookmark(const std::u16string& text) {
  if (text.empty() || text.size() > 19) return 0;
  int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    const int digit = c - u'0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

bool TSuchForm::DocumentOeffnen(const std::u16string& path, StoreKind kind) {
  search::TFileViewer& viewer = *ui->Viewer;
  viewer.SetMode(search::vmodeText);
  platform::NativeFile file = search::OpenFileShared(path);
  if (!file.Valid()) return false;
  unsigned char mark[3] = {0, 0, 0};
  const int64_t got = file.Read(mark, 3);
  const bool utf16 = got >= 2 && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF));
  const bool utf8Mark = got >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
  if (utf16) viewer.SetMode(search::vmodeUnicode);
  file.Close();
  if (GetDateiGroesse(path) < 4) {
    std::u16string empty = Texts(kind).empty;
    if (kind == StoreKind::Mht && !utf16 && utf8Mark) empty = u"Dokument enthält keine Einträge:";
    ui->Label8->SetCaption(empty);
  }
  shownPath_ = path;
  return viewer.Open(path, true);
}

void TSuchForm::LadenButtonClick(StoreKind kind) {
  const KindTexts& t = Texts(kind);
  const std::u16string dbFolder = state_.BaseFolder + u"Datenbank\\";
  const std::u16string store = dbFolder + state_.CurrentDbName + t.store;
  session_.quietFlag = false;
  const bool same = (kind == StoreKind::Ansi && state_.BrowsedKindAnsi) ||
                    (kind == StoreKind::Utf8 && state_.BrowsedKindUtf8) || (kind == StoreKind::Mht && state_.BrowsedKindMht);
  if (!same) CloseViewerDocument();
  state_.SortedListShown = false;
  ui->LesezeichenBtn->setVisible(true);
  titlePositions_.Clear();
  titlePositions_.Load(dbFolder + state_.CurrentDbName + t.titles);
  titleKind_ = kind == StoreKind::Mht ? search::TitleKind::Mht : search::TitleKind::Utf8;
  LoadSuggestions(dbFolder + u"Suchwoerterlisten\\" + state_.HistoryName + t.history);
  state_.MemoFilled = false;
  ui->WeiterSuche->setEnabled(true);
  DocKindAnsi = kind == StoreKind::Ansi;
  DocKindUtf8 = kind == StoreKind::Utf8;
  DocKindUnicode = kind == StoreKind::Mht;
  ResetInDocumentSearch();
  ui->Label2->SetCaption(u"");
  ui->Label8->SetCaption(t.loading);
  QPushButton* button = kind == StoreKind::Ansi   ? ui->AnsiLadenButton
                        : kind == StoreKind::Utf8 ? ui->UTF8LadenButton
                                                  : ui->UnicodeLadenButton;
  button->setEnabled(false);
  sortListKindAnsi_ = kind == StoreKind::Ansi;
  sortListKindUtf8_ = kind == StoreKind::Utf8;
  sortListKindMht_ = kind == StoreKind::Mht;
  // The loading step.
  state_.ViewCaptionPrefix = t.prefix;
  if (GetDateiGroesse(store) >= 0) {
    ui->Label8->SetCaption(std::u16string(t.caption) + u"\"" + state_.CurrentDbName + u"\"  Position: ");
    DocumentOeffnen(store, kind);
    ui->SortierteListeBtn->setEnabled(GetDateiGroesse(dbFolder + state_.CurrentDbName + t.list) >= 0);
  }
  button->setEnabled(true);
  ui->Viewer->setFocus();
  if (ui->UniEdit1->Text().empty()) ui->WeiterSuche->setEnabled(false);
  // The bookmark: a 64-bit offset inside the store, on a character's start in UTF-16.
  state_.BookmarkPos = ParseBookmark(LeseRegKey(kRegistryKey, std::u16string(t.bookmark) + state_.CurrentDbName));
  const int64_t size = ui->Viewer->Model().FileSize();
  if (state_.BookmarkPos > size) state_.BookmarkPos = size;
  if (search::IsUnicodeMode(ui->Viewer->Mode())) state_.BookmarkPos &= ~int64_t{1};
  if (state_.BookmarkPos > 0 && state_.MemoFilled) ui->Viewer->Model().ScrollToOffset(state_.BookmarkPos, true);
  state_.BrowsedKindAnsi = kind == StoreKind::Ansi;
  state_.BrowsedKindUtf8 = kind == StoreKind::Utf8;
  state_.BrowsedKindMht = kind == StoreKind::Mht;
}

void TSuchForm::ZeilenAlsListeSortierenClick() {
  ResetInDocumentSearch();
  session_.quietFlag = false;
  state_.SortedListShown = true;
  ui->LesezeichenBtn->setVisible(false);
  state_.MemoFilled = false;
  ui->WeiterSuche->setEnabled(true);
  const std::u16string base = DbPrefix();
  const std::pair<bool, StoreKind> kinds[] = {
      {sortListKindAnsi_, StoreKind::Ansi}, {sortListKindUtf8_, StoreKind::Utf8}, {sortListKindMht_, StoreKind::Mht}};
  for (const auto& [set, kind] : kinds) {
    const KindTexts& t = Texts(kind);
    if (!set || GetDateiGroesse(base + t.list) < 0) continue;
    DocumentOeffnen(base + t.list, kind);
    state_.ViewCaptionPrefix = t.sortedPrefix;
    ui->Label8->SetCaption(std::u16string(t.sortedPrefix) + u"DB: \"" + state_.CurrentDbName + u"\"");
    ui->Label2->SetCaption(u"");
  }
  if (ui->UniEdit1->Text().empty()) ui->WeiterSuche->setEnabled(false);
}

void TSuchForm::LesezeichenBtnClick() {
  if (!state_.MemoFilled) return;
  const std::u16string value = FromQ(QString::number(static_cast<qlonglong>(firstShownOffset_)));
  const std::pair<bool, StoreKind> kinds[] = {
      {DocKindAnsi, StoreKind::Ansi}, {DocKindUtf8, StoreKind::Utf8}, {DocKindUnicode, StoreKind::Mht}};
  for (const auto& [set, kind] : kinds)
    if (set) SchreibeRegKey(kRegistryKey, std::u16string(Texts(kind).bookmark) + state_.CurrentDbName, value);
}

void TSuchForm::Timer2Timer() {
  if (state_.SortedListShown) return;
  timer2_->stop();
  ui->Label2->setVisible(true);
  const search::TitleDisplay shown =
      search::ZeigDieTitelAnText(firstShownOffset_, titlePositions_, titleKind_, state_.SortedListShown);
  const QFontMetrics metrics(ui->Label2->font());
  const int room = std::max(0, ui->Viewer->geometry().right() - ui->Label2->geometry().left());
  ui->Label2->SetCaption(search::FitCaption(
      shown.caption, [&](const std::u16string& c) { return metrics.horizontalAdvance(ToQ(c)) <= room; }));
  ui->Label2->setToolTip(ToQ(shown.hint));
}

void TSuchForm::TextInSuchleisteUebertragen() {
  const std::u16string text = ui->ViewerMemo->SelText();
  if (!textlib::UnicodeTrim(text).empty()) SetEntry(text);
}

void TSuchForm::ReopenBrowsedView() {
  if (state_.SortedListShown) {
    DocKindAnsi = state_.BrowsedKindAnsi;
    DocKindUtf8 = state_.BrowsedKindUtf8;
    DocKindUnicode = state_.BrowsedKindMht;
    ZeilenAlsListeSortierenClick();
    return;
  }
  if (state_.BrowsedKindAnsi) LadenButtonClick(StoreKind::Ansi);
  if (state_.BrowsedKindUtf8) LadenButtonClick(StoreKind::Utf8);
  if (state_.BrowsedKindMht) LadenButtonClick(StoreKind::Mht);
}

// ---- The sorted-list builder ----

// What a build run shows in this window.
class TSuchForm::SortStatus : public app::WordListStatus {
 public:
  explicit SortStatus(TSuchForm& form) : form_(form) {}
  // An emptied caption is the window's own again.
  void SetCaption(std::u16string_view text) override {
    widgets::WideControlSetText(form_, text.empty() ? std::u16string_view(kCaption) : text);
  }
  void SetLabel(std::u16string_view text) override { form_.ui->Label4->SetCaption(text); }
  void SetProgressMax(int64_t max) override { form_.ui->ProgressBar1->setMaximum(ProgressValue(max)); }
  void SetProgress(int64_t position) override { form_.ui->ProgressBar1->setValue(ProgressValue(position)); }
  void SetRunning(bool running) override { form_.SetSortRunning(running); }
  void SetDocumentButtons(bool ansi, bool utf8, bool mht) override {
    form_.ui->AnsiLadenButton->setEnabled(ansi);
    form_.ui->UTF8LadenButton->setEnabled(utf8);
    form_.ui->UnicodeLadenButton->setEnabled(mht);
  }
  void SetRelocationDrive(std::u16string_view drive) override { form_.engine_.RelocationLetter = drive; }
  void Pause(int milliseconds) override { form_.pause_->Pause(milliseconds); }

 private:
  static int ProgressValue(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, 0, INT32_MAX)); }
  TSuchForm& form_;
};

void TSuchForm::ShowSortControls() {
  SetBuilderShown(true);
  ui->SortierteListenErstellenButton->setEnabled(true);
  // Until a run starts, the builder's cancel button puts its controls away again.
  ui->SortAbbrechenButton->setEnabled(true);
  ui->Panel2->setVisible(false);
}

void TSuchForm::SetSortRunning(bool running) {
  sortRunning_ = running;
  const bool on = !running;
  for (QWidget* w : std::initializer_list<QWidget*>{
           ui->SortierteListenErstellenButton, ui->UniEdit2, ui->GrossKleinBeachten, ui->NurGanzeWoerterCheckBox,
           ui->UniEdit1, ui->SpeedButton2, ui->CancelBtn, ui->nurWoerterButton, ui->nurSaetzeButton,
           ui->WoerterUndSaetzeButton}) {
    w->setEnabled(on);
  }
  ui->WeiterSuche->setEnabled(on && !ui->UniEdit1->Text().empty());
  ui->OKBtn->setEnabled(on && !textlib::UnicodeTrim(ui->UniEdit2->Text()).empty());
  // A list file is being rewritten: it is neither shown nor browsed meanwhile.
  if (running) {
    for (QWidget* w : std::initializer_list<QWidget*>{ui->AnsiLadenButton, ui->UTF8LadenButton,
                                                      ui->UnicodeLadenButton, ui->SortierteListeBtn}) {
      w->setEnabled(false);
    }
  }
  ui->SortAbbrechenButton->setEnabled(true);
}

std::u16string TSuchForm::DbPrefix() const { return state_.BaseFolder + u"Datenbank\\" + state_.CurrentDbName; }

void TSuchForm::EnableDocumentButtons(int64_t ansiAbove, int64_t utf8Above, int64_t mhtAbove) {
  const std::u16string db = DbPrefix();
  ui->AnsiLadenButton->setEnabled(GetDateiGroesse(db + u"_AnsiDokument.txt") > ansiAbove);
  ui->UTF8LadenButton->setEnabled(GetDateiGroesse(db + u"_UTF8Dokument.txt") > utf8Above);
  ui->UnicodeLadenButton->setEnabled(GetDateiGroesse(db + u"_MHTtext.txt") > mhtAbove);
}

void TSuchForm::SortierteListenErstellenButtonClick() {
  if (sortRunning_ || engine_.SearchRunning || sammler_.Busy()) return;
  QPalette bar = ui->ProgressBar1->palette();
  bar.setColor(QPalette::Highlight, QColor(0x00, 0xFF, 0x00));
  ui->ProgressBar1->setPalette(bar);
  // The store is read from the start while it is rewritten by nobody; the viewer lets go of it.
  CloseViewerDocument();
  ui->Label2->SetCaption(u"");
  QPalette label = ui->Label4->palette();
  label.setColor(QPalette::WindowText, ui->Label3->palette().color(QPalette::WindowText));
  ui->Label4->setPalette(label);

  const app::WordListMode mode = ui->nurWoerterButton->isChecked()  ? app::WordListMode::Words
                            : ui->nurSaetzeButton->isChecked() ? app::WordListMode::Phrases
                                                               : app::WordListMode::Both;
  state_.CancelRequested = false;
  SortStatus status(*this);
  const app::WordListOutcome outcome =
      app::SortierteListenErstellen(state_.BaseFolder, state_.CurrentDbName, mode, status, state_.CancelRequested);
  if (outcome == app::WordListOutcome::Cancelled) {
    // The run has stopped: the builder is put away, and a later search is not cancelled by it.
    SortAbbrechenButtonClick();
    return;
  }
  // The browsed kind's list may exist now.
  const std::u16string db = DbPrefix();
  ui->SortierteListeBtn->setEnabled(
      (sortListKindAnsi_ && GetDateiGroesse(db + Texts(StoreKind::Ansi).list) >= 0) ||
      (sortListKindUtf8_ && GetDateiGroesse(db + Texts(StoreKind::Utf8).list) >= 0) ||
      (sortListKindMht_ && GetDateiGroesse(db + Texts(StoreKind::Mht).list) >= 0));
}

void TSuchForm::SortAbbrechenButtonClick() {
  SortStatus status(*this);
  app::SortAbbrechen(status, state_.CancelRequested);
  // A running build stops at its next line and comes back here.
  if (sortRunning_) return;
  SetBuilderShown(false);
  EnableDocumentButtons(2, 2, 4);
  SetSearchControlsEnabled(true);
  ui->Label4->SetCaption(u"Sortierte Liste von: ");
  ui->ProgressBar1->setValue(0);
  widgets::WideControlSetText(*this, kCaption);
  ui->Panel2->setVisible(true);
  state_.CancelRequested = false;
}

}  // namespace search
