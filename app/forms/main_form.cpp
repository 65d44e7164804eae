#include "app/forms/main_form.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QShortcut>
#include <QTimer>
#include <chrono>

#include "app/forms/database_list.h"
#include "app/forms/delete_silently.h"
#include "app/forms/ok_bottom_dlg.h"
#include "app/forms/other_forms.h"
#include "app/settings/default_files.h"
#include "app/settings/qt_text.h"
#include "search/forms/such_form.h"
#include "app/index/german_numbers.h"
#include "search/engine/title_positions.h"
#include "app/settings/colors.h"
#include "app/settings/registry.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "textlib/unicode.h"
#include "textlib/wide/pause/machpause.h"
#include "widgets/palette.h"
#include "widgets/wide_control.h"
#include "ui_main_form.h"
// The engine's settings have a member named like Qt's keyword macro, which nothing below
// uses.
#undef slots
#include "app/index/index_run.h"

namespace app {
namespace {

std::u16string Reg(std::u16string_view name) { return LeseRegKey(kRegistryKey, name); }
void WriteReg(std::u16string_view name, std::u16string_view value) { SchreibeRegKey(kRegistryKey, name, value); }

std::u16string Decimal(int64_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

QColor ColorOr(std::u16string_view text, std::u16string_view fallback) {
  auto c = ColorFromText(text);
  if (!c) c = ColorFromText(fallback);
  return ToQColor(c.value_or(RgbColor{}));
}

std::u16string WithTrailingBackslash(std::u16string folder) {
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  return folder;
}

std::u16string DriveFormOf(const QString& posixPath) {
  return platform::DrivePath(QDir::cleanPath(posixPath).toStdString()).value_or(u"C:\\");
}

void SetPixelFont(QWidget* w, int pixels, bool bold, const QString& family = {}) {
  QFont f = w->font();
  if (!family.isEmpty()) f.setFamily(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  w->setFont(f);
}

}  // namespace

// Entries are drawn as the list's own items are not: the glyph left of the text and the
// selection in a shade of the window's colour.
class ListGlyphDelegate : public QStyledItemDelegate {
 public:
  ListGlyphDelegate(TMainForm_QY_HTML& owner, QListWidget& list)
      : QStyledItemDelegate(&list), owner_(owner), list_(list) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    const QColor fill = selected ? owner_.SelectedEntryColor() : list_.palette().color(QPalette::Base);
    painter->fillRect(option.rect, fill);
    int textLeft = option.rect.left() + 2;
    const QPixmap& glyph = owner_.ListGlyph();
    if (!glyph.isNull()) {
      QPixmap shown = glyph;
      shown.setMask(glyph.createMaskFromColor(QColor(0xFF, 0, 0)));  // pure red is transparent
      painter->drawPixmap(option.rect.left() + 1, option.rect.top() + 1, shown);
      textLeft = option.rect.left() + glyph.width() + 4;
    }
    painter->setFont(option.font);
    // A selection in a dark window colour takes white text.
    painter->setPen(selected ? widgets::ContrastingText(fill) : list_.palette().color(QPalette::Text));
    const QRect textRect(textLeft, option.rect.top() + 2, option.rect.right() - textLeft, option.rect.height() - 2);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop, index.data(Qt::DisplayRole).toString());
  }

 private:
  TMainForm_QY_HTML& owner_;
  QListWidget& list_;
};

MainLists::MainLists() {
  for (auto* l : {&SelectedNames, &SuggestionsAnsi, &SuggestionsUtf8, &SuggestionsMht}) l->SetSorted(true);
}

BucketLists::BucketLists() {
  for (auto& l : Buckets) l.SetSorted(true);
}

TMainForm_QY_HTML::TMainForm_QY_HTML(ProgramState& state, const QStringList& arguments, QWidget* parent)
    : QWidget(parent), state_(state), ui(std::make_unique<Ui::TMainForm_QY_HTML>()) {
  ui->setupUi(this);
  setMinimumSize(900, 504);
  resize(906, 506);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  SetWidgetBackground(this, ColorOr(u"clActiveBorder", u"clSilver"));
  SetPixelFont(ui->ListBox1, 16, true, QStringLiteral("Arial Unicode MS"));
  SetPixelFont(ui->Label1, 15, true);
  SetPixelFont(ui->Label2, 15, true);
  SetPixelFont(ui->GeduldLabel, ui->GeduldLabel->font().pixelSize() > 0 ? ui->GeduldLabel->font().pixelSize() : 15,
               true);
  SetWidgetBackground(ui->Panel1, QColor(0x80, 0x80, 0x80));
  SetWidgetTextColor(ui->SpeedButton1, Qt::white);
  SetPixelFont(ui->SpeedButton1, 20, true);
  SetPixelFont(ui->SpeedButton2, 20, true);
  ui->ListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 23px; }"));
  // A placeholder picture of the list glyph until the forms carry their own pictures.
  QPixmap glyph(16, 16);
  glyph.fill(Qt::red);  // pure red is the transparent colour of the glyph
  {
    QPainter p(&glyph);
    p.fillRect(2, 3, 12, 10, QColor(0xF0, 0xC0, 0x40));
    p.setPen(QColor(0x80, 0x60, 0x10));
    p.drawRect(2, 3, 11, 9);
  }
  ui->Image2->setPixmap(glyph);

  gedultTimer_ = new QTimer(this);
  gedultTimer_->setObjectName(QStringLiteral("GedultTimer"));
  gedultTimer_->setInterval(1000);
  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(200);
  checkDefenderTimer_ = new QTimer(this);
  checkDefenderTimer_->setObjectName(QStringLiteral("checkDefenderTimer"));
  checkDefenderTimer_->setInterval(1000);
  timer2_ = new QTimer(this);
  timer2_->setObjectName(QStringLiteral("Timer2"));
  ueberwachTimer_ = new QTimer(this);
  ueberwachTimer_->setObjectName(QStringLiteral("UeberwachTimer"));
  ueberwachTimer_->setInterval(500);
  checkMHTAbbruchTimer_ = new QTimer(this);
  checkMHTAbbruchTimer_->setObjectName(QStringLiteral("CheckMHTAbbruchTimer"));
  checkMHTAbbruchTimer_->setInterval(1000);
  pause_ = new textlib::TMachPause(this);
  pause_->setObjectName(QStringLiteral("MachPause1"));
  pause_->SetInterval(1000);

  connect(gedultTimer_, &QTimer::timeout, this, &TMainForm_QY_HTML::GedultTimerTimer);
  connect(timer1_, &QTimer::timeout, this, &TMainForm_QY_HTML::Timer1Timer);
  connect(checkDefenderTimer_, &QTimer::timeout, this, &TMainForm_QY_HTML::checkDefenderTimerTimer);
  connect(timer2_, &QTimer::timeout, this, &TMainForm_QY_HTML::Timer2Timer);
  connect(ueberwachTimer_, &QTimer::timeout, this, &TMainForm_QY_HTML::UeberwachTimerTimer);
  connect(checkMHTAbbruchTimer_, &QTimer::timeout, this, &TMainForm_QY_HTML::CheckMHTAbbruchTimerTimer);

  popup_ = new QMenu(this);
  popup_->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* loeschen = popup_->addAction(QStringLiteral("Datenbank löschen"));
  loeschen->setObjectName(QStringLiteral("Datenbankloeschen1"));
  QAction* nurDaten =
      popup_->addAction(QStringLiteral("Nur die Ansi-, Utf8- und Unicode- Dokumente.txt u. Titelpositionen.txt löschen"));
  nurDaten->setObjectName(QStringLiteral("NurdieAnsiUtf8Unicodetxtlschen1"));
  nurDaten->setVisible(false);
  connect(loeschen, &QAction::triggered, this, &TMainForm_QY_HTML::Datenbankloeschen1Click);
  connect(nurDaten, &QAction::triggered, this, &TMainForm_QY_HTML::NurdieAnsiUtf8Unicodetxtlschen1Click);

  connect(ui->SpeedButton1, &QToolButton::clicked, this, &TMainForm_QY_HTML::SpeedButton1Click);
  connect(ui->SpeedButton2, &QToolButton::clicked, this, &TMainForm_QY_HTML::SpeedButton2Click);
  connect(ui->SuchenBtn, &QPushButton::clicked, this, &TMainForm_QY_HTML::SuchenBtnClick);
  connect(ui->NeuErstellenBtn, &QPushButton::clicked, this, &TMainForm_QY_HTML::NeuErstellenBtnClick);
  connect(ui->ErneutIndiziereBtn, &QPushButton::clicked, this, &TMainForm_QY_HTML::ErneutIndiziereBtnClick);
  connect(ui->BitBtn2, &QPushButton::clicked, this, &TMainForm_QY_HTML::BitBtn2Click);
  connect(ui->ListBox1, &QListWidget::itemClicked, this, &TMainForm_QY_HTML::ListBox1Click);
  ui->ListBox1->setItemDelegate(new ListGlyphDelegate(*this, *ui->ListBox1));
  ui->ListBox1->viewport()->installEventFilter(this);
  connect(ui->ListBox1, &QListWidget::itemDoubleClicked, this, &TMainForm_QY_HTML::SuchenBtnClick);

  // Other programs find this window by its title and post it message 5735.
  listener_ = std::make_unique<platform::WindowListener>();
  if (listener_->Valid()) {
    windowHandle_ = listener_->AddWindow(widgets::WideControlGetText(*this));
    listener_->SetHandler([this](const platform::WindowMessage& m) { ApplicationEvents1Message(m); });
    notifier_ = new QSocketNotifier(listener_->Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { listener_->Dispatch(); });
  } else if (const platform::FolderCheck& folder = listener_->FolderStatus(); !folder.Trusted()) {
    // The folder is refused, not used: say so, or the extractor's notice would be lost
    // without a word.
    platform::ShowMessageBox(FromQ(QString::fromStdString(folder.Text())) +
                                 u"\r\nAndere Programme von Quarry-HTML können dieses Fenster daher nicht finden.",
                             u"Quarry-HTML", platform::mb::Ok | platform::mb::IconWarning);
  }
  connect(this, &QWidget::windowTitleChanged, this, [this](const QString& title) {
    if (listener_ && windowHandle_) listener_->SetTitle(windowHandle_, FromQ(title));
  });

  FormCreate(arguments);
}

TMainForm_QY_HTML::~TMainForm_QY_HTML() = default;

void TMainForm_QY_HTML::SetForms(TOKBottomDlg* dialog, TEinstellform* settings, TSuchForm* search) {
  dialog_ = dialog;
  settings_ = settings;
  search_ = search;
  if (search_) search_->SetProgressView(this);
  if (settings_) settings_->SetWindows(this, dialog_, search_);
  if (settings_ && search_) {
    settings_->ShowSortControls = [search] { search->ShowSortControls(); };
    search_->ShowSettings = [this] { SpeedButton2Click(); };
  }
  if (dialog_) {
    dialog_->DatabaseNames = [this] { return DatabaseNames(); };
    dialog_->Pause = [this](int ms) { pause_->Pause(ms); };
  }
}

std::vector<std::u16string> TMainForm_QY_HTML::DatabaseNames() const {
  std::vector<std::u16string> names;
  const textlib::TUniStrings& entries = ui->ListBox1->Items();
  for (int i = 0; i < entries.Count(); ++i) names.push_back(entries[i]);
  return names;
}

void TMainForm_QY_HTML::CreateWorkFolder(std::u16string_view folder) {
  const std::u16string path = state_.BaseFolder + std::u16string(folder);
  const std::string posix = platform::PosixPath(path);
  auto st = platform::Stat(posix);
  if (st && st->isDirectory) return;
  if (posix.empty() || !platform::MakeDirectory(posix)) {
    platform::ShowMessageBox(u"Kann das Verzeichnis " + path + u" nicht anlegen!", u"Warnung",
                             platform::mb::Ok | platform::mb::IconWarning);
  }
}

void TMainForm_QY_HTML::FormCreate(const QStringList& arguments) {
  state_.IndexRunning = false;
  lists_ = std::make_unique<MainLists>();
  // Esc cancels a running build as the cancel button does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (state_.IndexRunning) BitBtn2Click();
  });

  if (IsFirstRun()) {
    if (std::u16string failure; !WriteFirstRunValues(&failure)) {
      platform::ShowMessageBox(u"Die Einstellungen konnten nicht gespeichert werden: " + failure, u"Quarry-HTML",
                               platform::mb::Ok | platform::mb::IconError);
    }
    state_.BackgroundColorName = "clHighlight";
    state_.HintColorName = "clWhite";
  }
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    if (screen->geometry().width() <= 1024) state_.DefaultWidth = screen->geometry().width();
  }

  state_.SearchedIndex = 0;
  state_.ClickedIndex = 0;
  widgets::WideControlSetText(*ui->Label1, u"");
  ui->Label2->clear();
  state_.IndexedFileCount = 0;
  state_.SearchHandoverText.clear();

  // Started with any parameter, the program lives in its own folder; without, in the
  // current directory.
  if (arguments.size() < 2 || arguments[1].isEmpty()) {
    state_.BaseFolder = DriveFormOf(QDir::currentPath());
  } else {
    state_.BaseFolder = DriveFormOf(QFileInfo(arguments[0]).absolutePath());
  }
  state_.BaseFolder = WithTrailingBackslash(state_.BaseFolder);
  state_.AddressFilePath = platform::WideToAnsi(state_.BaseFolder + u"Adressen_Webseiten.txt");
  state_.BaseDriveLetter = state_.BaseFolder[0];

  CreateWorkFolder(u"Datenbank");
  CreateWorkFolder(u"Datenbank\\Suchwoerterlisten");
  CreateWorkFolder(u"Datenbank\\Temp");
  // A fresh installation gets its lists; a user's own stay as they are.
  InstallDefaultFiles(state_.BaseFolder);

  const std::u16string control = Reg(reg::QuarryControl);
  if (!control.empty()) {
    // With its separator, like BaseFolder: file names are appended to it directly.
    state_.ControlFolder = WithTrailingBackslash(control);
    state_.UseControlFolder = textlib::UnicodeLowerCase(state_.BaseFolder)
                                  .find(textlib::UnicodeLowerCase(state_.ControlFolder)) != std::u16string::npos;
  } else {
    state_.ControlFolder.clear();
    state_.UseControlFolder = false;
  }

  state_.MainHeight = int(LeseRegInteger(reg::Hoehe, 506));
  state_.MainWidth = int(LeseRegInteger(reg::Weite, state_.DefaultWidth));
  state_.SearchHeight = int(LeseRegInteger(reg::SHoehe, 500));
  state_.SearchWidth = int(LeseRegInteger(reg::SWeite, state_.DefaultWidth));

  buckets_ = std::make_unique<BucketLists>();
}

void TMainForm_QY_HTML::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  FormPaint();
}

void TMainForm_QY_HTML::UpdateSearchButtonFont() {
  const int h = ui->SuchenBtn->height();
  const int size = h > 60 ? 16 : h > 44 ? 12 : 10;
  if (ui->SuchenBtn->font().pointSize() != size) {
    QFont f = ui->SuchenBtn->font();
    f.setPointSize(size);
    ui->SuchenBtn->setFont(f);
  }
}

void TMainForm_QY_HTML::FormPaint() {
  UpdateSearchButtonFont();
  if (firstPaint_) {
    firstPaint_ = false;
    FirstPaintOnce();
  }
}

void TMainForm_QY_HTML::FirstPaintOnce() {
  widgets::WideControlSetText(*ui->GeduldLabel, u"");

  if (search_) search_->SetViewerFontSize(LeseViewerFontSize());

  const std::u16string browser = Reg(reg::Browser);
  if (!browser.empty()) {
    state_.BrowserSetting = platform::WideToAnsi(browser);
  } else {
    state_.BrowserSetting = "standard";
    WriteReg(reg::Browser, u"standard");
  }

  const std::u16string farbe = Reg(reg::Farbe);
  if (!farbe.empty()) {
    const QColor color = ColorOr(farbe, u"clHighlight");
    state_.BackgroundColorName = platform::WideToAnsi(farbe);
    SetWidgetBackground(this, color);
    if (search_) {
      search_->SetPanelColor(palette().color(QPalette::Window));
      search_->SetBackgroundColor(color);
    }
    if (settings_) settings_->SetBackgroundColor(color);
    if (dialog_) dialog_->SetBackgroundColor(color);
    SetWidgetBackground(ui->Panel1, color);
    ui->Image1->setAutoFillBackground(ColorFromText(farbe) == FromColorRef(0xBBBBBB));
  } else {
    const QColor color = ColorOr(u"clHighlight", u"clBlue");
    SetWidgetBackground(this, color);
    if (settings_) settings_->SetBackgroundColor(color);
    if (search_) search_->SetBackgroundColor(color);
    if (dialog_) dialog_->SetBackgroundColor(color);
    SetWidgetBackground(ui->Panel1, color);
  }

  // The tool bar's buttons are flat on the window's colour.
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SpeedButton1, ui->SpeedButton2, ui->SpeedButton3}) {
    QPalette p = w->palette();
    p.setColor(QPalette::Button, palette().color(QPalette::Window));
    w->setPalette(p);
  }

  std::u16string hint = Reg(reg::HinweistextFarbe);
  if (hint.empty()) hint = u"clWhite";
  state_.HintColorName = platform::WideToAnsi(hint);
  const QColor hintColor = ColorOr(hint, u"clWhite");
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SpeedButton1, ui->SpeedButton2, ui->Label1, ui->Label2,
                                                    ui->GeduldLabel}) {
    SetWidgetTextColor(w, hintColor);
  }
  {
    // The title button is disabled for good; Qt's greyed text is barely readable on the
    // window's colour, the text colour chosen for that colour is.
    QPalette p = ui->SpeedButton3->palette();
    p.setColor(QPalette::Disabled, QPalette::ButtonText, hintColor);
    ui->SpeedButton3->setPalette(p);
  }
  if (settings_) settings_->SetHintColor(hintColor);
  if (search_) search_->SetHintColor(hintColor);
  if (dialog_) dialog_->SetHintColor(hintColor);

  const std::u16string copy = Reg(reg::SuchwortInZwischenablage);
  if (!copy.empty() && settings_) settings_->SetCopySearchText(copy == u"1");
  const std::u16string shortHint = Reg(reg::KurzhinweisImViewer);
  if (!shortHint.empty()) {
    if (settings_) settings_->SetShortHintInViewer(shortHint == u"1");
    if (search_) search_->SetMemoHintsShown(shortHint == u"1");
  }

  listGlyph_ = ui->Image2->pixmap();
  resize(state_.MainWidth, state_.MainHeight);

  LiesNamenDatenbanken();
  RestoreSelection();

  if (search_) search_->LoadSuggestions(state_.BaseFolder + state_.HistoryName + u"_Suchwoerterliste.txt");
  if (dialog_) dialog_->LoadPatternChoices(state_.BaseFolder + u"AuswahlEndungen.txt");

  widgets::WideControlSetText(*ui->BitBtn2, u"Schli&eßen");
  state_.IsAdmin = platform::IsUserAdmin();
  widgets::WideControlSetText(*this, state_.IsAdmin ? u"Quarry-HTML - Mit Administratorberechtigung gestartet."
                                                    : u"  Quarry-HTML -  Die Suchmaschine für HTML-Dokumente.");
  if (search_) search_->resize(state_.SearchWidth, state_.SearchHeight);
  if (ui->ListBox1->count() > 0) ListBox1Click();
}

void TMainForm_QY_HTML::RestoreSelection() {
  const int count = ui->ListBox1->count();
  int64_t index = LeseRegInteger(reg::AusgewaehlteDatenbank, 0);
  if (index == count || index == -1 || index > count || index < -1) index = 0;
  if (count == 0) return;
  ui->ListBox1->setCurrentRow(int(index));
  state_.HistoryName = ui->ListBox1->Items()[int(index)];
  state_.SearchedIndex = int(index);
  state_.ClickedIndex = int(index);
}

void TMainForm_QY_HTML::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (height() < 504 || width() < 900) {
    resize(std::max(width(), 900), std::max(height(), 504));
    return;
  }
  PlaceToolBar();
}

void TMainForm_QY_HTML::PlaceToolBar() {
  const int sb1 = ui->SpeedButton1->width();
  const int sb3 = ui->SpeedButton3->width();
  const int separator = std::max(0, width() - 3 * sb1 - sb3 + 2);
  const int top = ui->SpeedButton1->y();
  ui->SpeedButton3->move(0, top);
  ui->ToolButton1->setGeometry(sb3, top, separator, ui->ToolButton1->height());
  ui->SpeedButton1->move(sb3 + separator, top);
  ui->SpeedButton2->move(sb3 + separator + sb1, top);
}

void TMainForm_QY_HTML::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  if (platform::ShowMessageBox(u"Quarry-HTML wirklich schließen?", u"Quarry-HTML",
                               platform::mb::YesNo | platform::mb::IconQuestion) != platform::MsgResult::Yes) {
    event->ignore();
    return;
  }
  // Closing the window during a build cancels it: the database stays as it was.
  if (state_.IndexRunning && run_) {
    state_.CancelRequested = true;
    run_->RequestCancel();
  }
  FormClose();
  closed_ = true;
  event->accept();
}

void TMainForm_QY_HTML::FormClose() {
  const int count = ui->ListBox1->count();
  int index = ui->ListBox1->currentRow();
  if (index == -1 && count > 0) index = 0;
  // One rewrite for all of them: a settings file that cannot be saved is reported once,
  // and never left with some of the values.
  std::vector<RegistryValue> values;
  values.push_back({std::u16string(reg::AusgewaehlteDatenbank), Decimal(index)});
  if (Reg(reg::Farbe).empty()) {
    values.push_back({std::u16string(reg::Farbe), u"clHighlight"});
    state_.BackgroundColorName = "clHighlight";
  }
  if (search_) values.push_back({std::u16string(reg::SchriftsizeTextViewer), Decimal(search_->ViewerFontSize())});
  values.push_back({std::u16string(reg::Hoehe), Decimal(height())});
  values.push_back({std::u16string(reg::Weite), Decimal(width())});
  if (search_ && !search_->SearchWindowMinimized()) {
    values.push_back({std::u16string(reg::SHoehe), Decimal(search_->height())});
    values.push_back({std::u16string(reg::SWeite), Decimal(search_->width())});
  }
  if (std::u16string failure; !SchreibeRegKeys(kRegistryKey, values, &failure)) {
    platform::ShowMessageBox(u"Die Einstellungen konnten nicht gespeichert werden: " + failure, u"Quarry-HTML",
                             platform::mb::Ok | platform::mb::IconError);
  }
  lists_.reset();
  buckets_.reset();
  listGlyph_ = QPixmap();
  EmptyTempFolder(state_.BaseFolder + u"Datenbank\\");
}

void TMainForm_QY_HTML::ApplicationEvents1Message(const platform::WindowMessage& message) {
  if (message.message == platform::kNoticeMessage && message.wParam == platform::kNoticeRestart) close();
}

void TMainForm_QY_HTML::GedultTimerTimer() {
  ++busyDotCount_;
  const QPoint button = ui->BitBtn2->mapTo(this, QPoint(0, 0));
  const QPoint label = ui->Label1->mapTo(this, QPoint(0, 0));
  ui->GeduldLabel->move(button.x() + ui->BitBtn2->width() / 2 - 20, label.y() + 2);
  ui->GeduldLabel->raise();
  if (busyDotCount_ >= 6) {
    widgets::WideControlSetText(*ui->GeduldLabel, u"");
    busyDotCount_ = 0;
    return;
  }
  std::u16string dots;
  for (int i = 0; i < busyDotCount_; ++i) dots += i == 0 ? u"°" : u" °";
  widgets::WideControlSetText(*ui->GeduldLabel, dots);
}

int64_t TMainForm_QY_HTML::TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t TMainForm_QY_HTML::ElapsedSeconds(int64_t startTick, int64_t nowTick) {
  // Division truncates toward zero; a negative tick must go down to its whole second.
  auto wholeSeconds = [](int64_t tick) { return tick / 1000 - (tick % 1000 < 0 ? 1 : 0); };
  return wholeSeconds(nowTick) - wholeSeconds(startTick);
}

void TMainForm_QY_HTML::Timer1Timer() {
  // The run keeps the count; without this the display would stay at 0 during a build.
  if (run_) state_.IndexedFileCount = run_->Counters().listedFiles;
  widgets::WideControlSetText(*ui->Label2, u"Anzahl Dateien:     " + FormatThousands(state_.IndexedFileCount) +
                                               u"     Zeit: " +
                                               SecondsToHms(ElapsedSeconds(state_.IndexStartTick, Ticks())));
}

void TMainForm_QY_HTML::StartVirusScannerNotice() {
  defenderTicks_ = 0;
  checkDefenderTimer_->start();
}

void TMainForm_QY_HTML::checkDefenderTimerTimer() {
  // Without a scanner there is nothing to explain; the timer stops rather than rewrite the
  // caption every second for the rest of the session.
  if (!IsProcessRunning(virusScannerName_)) {
    checkDefenderTimer_->stop();
    defenderTicks_ = 0;
    return;
  }
  ++defenderTicks_;
  const std::u16string status = widgets::WideControlGetText(*ui->Label1);
  if (defenderTicks_ >= 5 || status.find(u"Fertig mit der Indizierung.") != std::u16string::npos) {
    checkDefenderTimer_->stop();
    defenderTicks_ = 0;
    widgets::WideControlSetText(*this, u"");
    if (status.find(u"Fertig mit der Indizierung") == std::u16string::npos) {
      widgets::WideControlSetText(*ui->Label1, state_.UpdateMode ? u"Datenbank wird aktualisiert."
                                                                    : u"Datenbank wird neu erstellt.");
    }
  }
  if (defenderTicks_ >= 2 && !widgets::WideControlGetText(*this).empty()) {
    const std::u16string notice = u"Bitte Geduld! Windows Defender überprüft gerade Quarry.";
    widgets::WideControlSetText(*this, notice);
    widgets::WideControlSetText(*ui->Label1, (state_.UpdateMode ? u"Datenbank wird aktualisiert. "
                                                                : u"Datenbank wird neu erstellt. ") +
                                                 notice);
  }
}

void TMainForm_QY_HTML::Timer2Timer() {}  // never enabled

bool TMainForm_QY_HTML::IsProcessRunning(std::u16string_view name) { return platform::IsProcessRunning(name); }

void TMainForm_QY_HTML::SpeedButton1Click() {
  const std::u16string manual = state_.BaseFolder + u"Quarry_HTML.pdf";
  const auto st = platform::Stat(platform::PosixPath(manual));
  if (!st || !st->isRegular) {
    platform::ShowMessageBox(u"Die Anleitung \"" + manual + u"\" wurde nicht gefunden.\r\nSie wird mit "
                             u"QUARRY_HTML in den Basisordner installiert (scripts/run).",
                             u"Information", platform::mb::Ok | platform::mb::IconInformation);
    return;
  }
  platform::ShellExecute(u"open", manual);
}

void TMainForm_QY_HTML::SpeedButton2Click() {
  if (settings_) settings_->exec();
}

void TMainForm_QY_HTML::ProgrammNeuStarten() {
  const auto self = platform::DrivePath(platform::OwnExecutablePath());
  if (!self) return;
  platform::ShellExecute(state_.IsAdmin ? u"RunAs" : u"open", *self, u"restart", state_.BaseFolder);
}

// ---- Create and update driver

namespace {

// The main window's side of a build run.
class MainIndexStatus : public IndexStatus {
 public:
  MainIndexStatus(TMainForm_QY_HTML& form, std::function<void(int)> pause) : form_(form), pause_(std::move(pause)) {}
  // The caption names every stored file; shown at most about 20 times a second (each
  // title is a round trip to the window system, which cost more than the indexing). An
  // empty caption and a notice before a long file always show at once.
  void SetCaption(std::u16string_view text) override {
    const int64_t now = form_.Ticks();
    if (!text.empty() && !text.starts_with(u"Bitte Geduld") && now - captionShown_ < kCaptionIntervalMs) return;
    captionShown_ = now;
    widgets::WideControlSetText(form_, text);
  }
  void SetStatusText(std::u16string_view text) override { widgets::WideControlSetText(*form_.Form().Label1, text); }
  std::u16string StatusText() const override { return widgets::WideControlGetText(*form_.Form().Label1); }
  void SetCancelButton(std::u16string_view caption, bool enabled) override {
    widgets::WideControlSetText(*form_.Form().BitBtn2, caption);
    form_.Form().BitBtn2->setEnabled(enabled);
  }
  void StartVirusScannerNotice() override { form_.StartVirusScannerNotice(); }
  void StartStatusTimer() override { form_.Timer1().start(); }
  void StartInterruptionReport() override { form_.CheckMHTAbbruchTimer().start(); }
  void Pause(int milliseconds) override { pause_(milliseconds); }
  int64_t TickCount() const override { return form_.Ticks(); }
  bool MakeTitlePositions(const std::u16string& store, const std::u16string& titleFile, bool mht,
                          std::u16string_view root) override {
    return search::TitelPositionenVorab(store, titleFile, mht ? search::TitleKind::Mht : search::TitleKind::Utf8, root);
  }
  bool MakesTitlePositions() const override { return true; }

 private:
  static constexpr int64_t kCaptionIntervalMs = 50;
  TMainForm_QY_HTML& form_;
  std::function<void(int)> pause_;
  int64_t captionShown_ = INT64_MIN / 2;
};

bool Exists(std::u16string_view drivePath) {
  auto st = platform::Stat(platform::PosixPath(drivePath));
  return st && st->isRegular;
}

// Words between the delimiters; runs of delimiters give no empty words.
std::vector<std::u16string> Words(std::u16string_view text, std::u16string_view delimiters) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t c : text) {
    if (delimiters.find(c) != std::u16string_view::npos) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::u16string UpperAsciiLetters(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
  }
  return text;
}

}  // namespace

std::array<std::u16string, 5> ExtensionSlots(std::u16string_view field) {
  std::array<std::u16string, 5> result;
  const auto words = Words(textlib::UnicodeTrim(field), u"*.");
  for (size_t i = 0; i < result.size() && i < words.size(); ++i) result[i] = words[i];
  for (auto& slot : result) {
    if (slot.find(u'.') == std::u16string::npos) slot = u"." + textlib::UnicodeTrim(textlib::UnicodeLowerCase(slot));
  }
  return result;
}

std::u16string TMainForm_QY_HTML::ManifesterFile() const {
  if (state_.UseControlFolder) {
    const std::u16string inControl = state_.ControlFolder + u"Manifester";
    if (Exists(inControl)) return inControl;
  }
  return state_.BaseFolder + u"Manifester";
}

void TMainForm_QY_HTML::SetActionButtons(bool enabled) {
  ui->SuchenBtn->setEnabled(enabled);
  ui->NeuErstellenBtn->setEnabled(enabled);
  ui->ErneutIndiziereBtn->setEnabled(enabled);
}

int64_t TMainForm_QY_HTML::FinishedArchiveCount() const {
  const std::u16string resume = DbFolder() + state_.CurrentDbName + u"_mht_temp.dat";
  textlib::TWideStringList lines;
  if (!Exists(resume)) return -1;
  try {
    lines.LoadFromFile(resume);
  } catch (const textlib::Exception&) {
    return -1;
  }
  int64_t count = 0;
  for (int i = 0; i < lines.Count(); ++i) {
    if (!lines[i].empty() && lines[i][0] == u'*') ++count;
  }
  return count;
}

void TMainForm_QY_HTML::NeuErstellenBtnClick() {
  if (!dialog_) return;
  EmptyTempFolder(DbFolder());
  if (search_) search_->ClearSuggestions();
  state_.PathListOnly = false;

  windowSeen_ = listDone_ = false;
  state_.IndexedFileCount = 0;
  state_.CancelRequested = false;
  resumeAnswer_ = false;
  dialog_->SetFolderField(u"");
  dialog_->SetNameField(u"");
  widgets::WideControlSetText(*ui->Label1, u"");
  ui->Label2->clear();
  dialog_->HideImage();

  if (state_.UpdateMode) {
    for (int i = 0; i < ui->ListBox1->count(); ++i) {
      if (ui->ListBox1->item(i)->isSelected()) state_.CurrentDbName = ui->ListBox1->Items()[i];
    }
    const std::u16string resume = DbFolder() + state_.CurrentDbName + u"_mht_temp.dat";
    if (auto st = platform::Stat(platform::PosixPath(resume)); st && st->isRegular) {
      // Local time with daylight saving, as the user's clock showed it.
      const QString when = QDateTime::fromSecsSinceEpoch(st->mtimeSeconds)
                               .toLocalTime()
                               .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
      const std::u16string question = u"MHT/EML-Dateien - Möchten Sie dort weitermachen wo Sie am " + FromQ(when) +
                                      u" abgebrochen haben?\r\nWenn Nein gehen die bisher indizierten Daten "
                                      u"verloren. ";
      if (platform::ShowMessageBox(question, u"Bestätigung", platform::mb::YesNo | platform::mb::IconQuestion) ==
          platform::MsgResult::Yes) {
        resumeAnswer_ = true;
      } else {
        platform::RemoveFile(platform::PosixPath(resume));
      }
    }
    std::u16string header = ReadDatHeaderPath(DbFolder() + state_.CurrentDbName + u".dat");
    std::u16string extensions;
    if (const size_t star = header.find(u"*."); star != std::u16string::npos) {
      extensions = header.substr(star);
      header.resize(star);
    }
    dialog_->SetNameField(state_.CurrentDbName);
    dialog_->SetFolderField(textlib::UnicodeTrim(header));
    dialog_->SetExtensionField(UpperAsciiLetters(extensions));
  }

  const bool ok = ShowNewDatabaseDialog ? ShowNewDatabaseDialog(*dialog_) : dialog_->exec() == QDialog::Accepted;
  EmptyTempFolder(DbFolder());
  if (!ok) {
    timer1_->stop();
    state_.UpdateMode = false;
    return;
  }

  state_.IndexedFileCount = 0;
  state_.IndexStartTick = Ticks();
  timer1_->start();
  gedultTimer_->start();
  PlaceGeduldLabel();

  const auto extSlots = ExtensionSlots(dialog_->ExtensionField());
  std::vector<std::u16string> choices = dialog_->PatternChoices();
  std::sort(choices.begin(), choices.end());
  bool changed = false;
  for (const auto& slot : extSlots) {
    const std::u16string pattern = u"*" + slot;
    if (std::binary_search(choices.begin(), choices.end(), pattern)) continue;
    if (textlib::UnicodeTrim(slot).size() > 1) {
      dialog_->AddPatternChoice(pattern);
      choices.insert(std::upper_bound(choices.begin(), choices.end(), pattern), pattern);
      changed = true;
    }
  }
  if (changed) {
    textlib::TWideStringList lines;
    for (const auto& item : dialog_->PatternChoices()) lines.Add(item);
    try {
      lines.SaveToFile(state_.BaseFolder + u"AuswahlEndungen.txt");
    } catch (const textlib::Exception&) {
      // The choices are a convenience; the build goes on without them.
    }
  }

  widgets::WideControlSetText(*ui->Label1, state_.UpdateMode ? u"Datenbank wird aktualisiert."
                                                                  : u"Datenbank wird neu erstellt.");
  const std::u16string folder = dialog_->FolderField();
  driveLetter_ = folder.empty() ? state_.BaseDriveLetter : folder[0];
  state_.IndexRunning = true;

  IndexSettings settings;
  settings.baseFolder = state_.BaseFolder;
  settings.controlFolder = state_.ControlFolder;
  settings.useControlFolder = state_.UseControlFolder;
  settings.dbName = dialog_->NameField();
  settings.folder = folder;
  settings.driveLetter = driveLetter_;
  settings.slots = extSlots;
  settings.resumeAnswer = resumeAnswer_;
  settings.pathListOnly = state_.PathListOnly;
  state_.CurrentDbName = settings.dbName;
  run_.reset();
  status_ = std::make_unique<MainIndexStatus>(*this, [this](int ms) { pause_->Pause(ms); });
  run_ = std::make_unique<IndexRun>(std::move(settings), *status_);
  run_->MarkStart();

  if (state_.BuildMasterList) {
    watchTicks_ = 0;
    run_->Settings().watchTimerRunning = true;
    ueberwachTimer_->start();
    const std::u16string working = state_.UseControlFolder ? state_.ControlFolder : state_.BaseFolder;
    const auto started = platform::ShellExecute(u"RunAs", ManifesterFile(),
                                                u"open " + std::u16string(1, driveLetter_), working);
    manifesterPid_ = started.Ok() ? started.pid : 0;
    // Without an elevation prompt the builder runs from its start: it counts as seen, so
    // a builder that is done before the first tick starts the build instead of timing
    // out after a minute.
    if (manifesterPid_ > 0) windowSeen_ = true;
    return;
  }
  SetActionButtons(false);
  RunBuild();
  FinishBuild(u"MHT/EML-Dateien - Fertig mit der abgebrochenen Indizierung. Es wurden ");
}

void TMainForm_QY_HTML::RunBuild() {
  buildOutcome_ = run_->LiesDieListeEin();
  state_.IndexRunning = false;
  state_.IndexedFileCount = run_->Counters().listedFiles;
}

void TMainForm_QY_HTML::FinishBuild(std::u16string_view resumeText) {
  // A build that changed nothing (the folder or the drive list missing, a write failed,
  // another build running, a cancel) keeps the status text that says so, and so does one
  // whose archives were not all extracted: nothing is "Fertig".
  const bool finished = buildOutcome_ == BuildOutcome::Done;
  if (!state_.PathListOnly && finished) widgets::WideControlSetText(*ui->Label1, u"Fertig mit der Indizierung.");
  widgets::WideControlSetText(*this, u"");
  widgets::WideControlSetText(*ui->GeduldLabel, u"");
  gedultTimer_->stop();
  if (finished) {
    const int64_t archives = resumeAnswer_ ? FinishedArchiveCount() : -1;
    if (resumeAnswer_ && archives >= 0) {
      widgets::WideControlSetText(*ui->Label1, std::u16string(resumeText) + Decimal(archives) + u" Dateien indiziert.");
    } else if (!resumeAnswer_) {
      widgets::WideControlSetText(*ui->Label1, u"Fertig mit der Indizierung.");
    }
    if (state_.PathListOnly) {
      widgets::WideControlSetText(*ui->Label1, u"Fertig mit der Indizierung (nur Pfadliste wurde erstellt).");
    }
  }
  LiesNamenDatenbanken();
  SetActionButtons(true);
  ui->BitBtn2->setEnabled(true);
  timer1_->stop();
  state_.UpdateMode = false;
}

void TMainForm_QY_HTML::aktualisieren1Click() {
  updating_ = true;
  state_.IndexedFileCount = 0;
  bool selected = false;
  for (int i = 0; i < ui->ListBox1->count(); ++i) {
    if (!ui->ListBox1->item(i)->isSelected()) continue;
    state_.CurrentDbName = ui->ListBox1->Items()[i];
    selected = true;
  }
  if (!selected) {
    platform::ShowMessageBox(
        ui->ListBox1->count() > 0
            ? u"Sie müssen zuerst eine Datenbank auswählen! Mit linker Maustaste anklicken!"
            : u"Es existiert noch keine Datenbank! Betätigen Sie bitte den Schalter \"Neue Datenbank erstellen\".",
        u"Information", platform::mb::Ok | platform::mb::IconInformation);
  } else {
    state_.UpdateMode = true;
    NeuErstellenBtnClick();
  }
  updating_ = false;
}

void TMainForm_QY_HTML::ErneutIndiziereBtnClick() {
  state_.CancelRequested = false;
  state_.PathListOnly = false;
  aktualisieren1Click();
  widgets::WideControlSetText(*ui->BitBtn2, u"Schli&eßen");
}

void TMainForm_QY_HTML::UeberwachTimerTimer() {
  const bool seen = ManifesterWindowSeen ? ManifesterWindowSeen()
                                         : manifesterPid_ > 0 && platform::IsProcessAlive(manifesterPid_);
  if (seen) {
    widgets::WideControlSetText(*this, u"");
    windowSeen_ = true;
  } else {
    SetActionButtons(false);
    ui->BitBtn2->setEnabled(false);
    widgets::WideControlSetText(*this, u"Quarry-HTML wartet auf Erstellung der Hauptdatei-Liste! " +
                                           (run_ ? run_->ElapsedText() : std::u16string()));
    if (windowSeen_) {
      listDone_ = true;
      watchTicks_ = 0;
      ui->BitBtn2->setEnabled(true);
    } else if (++watchTicks_ > 119) {
      timer1_->stop();
      ueberwachTimer_->stop();
      gedultTimer_->stop();
      watchTicks_ = -1;
      widgets::WideControlSetText(*this, u"");
      widgets::WideControlSetText(*ui->GeduldLabel, u"");
      state_.IndexRunning = false;
      updating_ = false;
      const QPoint button = ui->BitBtn2->mapTo(this, QPoint(0, 0));
      ui->GeduldLabel->move(button.x() + ui->BitBtn2->width() - 10, ui->GeduldLabel->y());
      widgets::WideControlSetText(*ui->Label1,
          u"\"Manifester\" wurde abgebrochen oder Vorgabezeit überschritten!");
      platform::ShowMessageBox(
          u"Die Vorgabezeit ist überschritten! Das Programm \"Manifester\" hat die Hauptdatei-Liste nicht erstellt. "
          u"Prüfen Sie, ob \"Manifester\" neben \"QUARRY_HTML\" im Basisordner liegt, denn das aktuelle "
          u"Indizieren ist leider gescheitert!",
          u"Quarry-HTML", platform::mb::Ok | platform::mb::IconWarning);
      SetActionButtons(true);
      ui->BitBtn2->setEnabled(true);
      state_.UpdateMode = false;
      run_.reset();
      return;
    }
  }
  if (windowSeen_ && listDone_) {
    widgets::WideControlSetText(*this, u"");
    ueberwachTimer_->stop();
    if (!run_) return;
    run_->Settings().watchTimerRunning = false;
    const std::u16string folder = dialog_ ? dialog_->FolderField() : std::u16string();
    if (!folder.empty()) run_->Settings().driveLetter = folder[0];
    RunBuild();
    FinishBuild(u"Fertig mit der abgebrochenen Indizierung. Es wurden ");
    widgets::WideControlSetText(*this, u"");
    widgets::WideControlSetText(*ui->GeduldLabel, u"");
    gedultTimer_->stop();
    timer1_->stop();
  }
}

void TMainForm_QY_HTML::CheckMHTAbbruchTimerTimer() {
  const int64_t finished = FinishedArchiveCount();
  if (finished < 0) return;
  widgets::WideControlSetText(*ui->Label1,
                              run_ && run_->ExtractionResumed()
                                  ? u"MHT/EML-Dateien - Es geht weiter nach abgebrochener Indizierung."
                                  : u"MHT/EML-Dateien - Abgebrochene Indizierung. Es wurden " + Decimal(finished) +
                                        u" Dateien indiziert.");
  checkMHTAbbruchTimer_->stop();
}

void TMainForm_QY_HTML::BitBtn2Click() {
  if (!state_.IndexRunning && !state_.Searching && !updating_) {
    close();
    return;
  }
  if (updating_) {
    widgets::WideControlSetText(*ui->Label1, u"Aktualisierung wurde abgebrochen! ");
    state_.CancelRequested = true;
    if (run_) run_->RequestCancel();
    updating_ = false;
  }
  if (state_.Searching) {
    widgets::WideControlSetText(*ui->BitBtn2, u"Schli&eßen");
    state_.CancelRequested = true;
    state_.Searching = false;
  }
  if (state_.IndexRunning) {
    // The run ends at once and says whether a database was kept.
    widgets::WideControlSetText(*ui->Label1, u"Indizierung wurde abgebrochen!");
    state_.CancelRequested = true;
    if (run_) run_->RequestCancel();
    state_.IndexRunning = false;
    ui->BitBtn2->setEnabled(false);
  }
  if (widgets::WideControlGetText(*ui->Label1).find(u"Fertig mit der") != std::u16string::npos) {
    SetActionButtons(true);
    ui->BitBtn2->setEnabled(true);
  }
}

// ---- Database list, search hand-off and deletion

QColor TMainForm_QY_HTML::SelectedEntryColor() const {
  return ToQColor(ShadeColor(FromQColor(palette().color(QPalette::Window)), -7));
}

bool TMainForm_QY_HTML::eventFilter(QObject* watched, QEvent* event) {
  // ListBox1MouseDown: the right button opens the pop-up menu beside the cursor.
  if (watched == ui->ListBox1->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      if (ui->ListBox1->count() > 0) popup_->popup(mouse->globalPosition().toPoint() + QPoint(10, 10));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm_QY_HTML::PlaceGeduldLabel() {
  const QPoint button = ui->BitBtn2->mapTo(this, QPoint(0, 0));
  ui->GeduldLabel->move(button.x() + ui->BitBtn2->width() / 2 - 20, ui->GeduldLabel->y());
}

void TMainForm_QY_HTML::SearchStarting() {
  widgets::WideControlSetText(*ui->Label1, u"Suche läuft...");
  gedultTimer_->start();
  PlaceGeduldLabel();
  // Lets the status line show before the search takes the thread.
  pause_->Pause(200);
}

void TMainForm_QY_HTML::SearchStopped() {
  gedultTimer_->stop();
  // Otherwise the last dots stay until the next run.
  widgets::WideControlSetText(*ui->GeduldLabel, u"");
}

void TMainForm_QY_HTML::SearchFinished() { widgets::WideControlSetText(*ui->Label1, u""); }

void TMainForm_QY_HTML::LiesNamenDatenbanken() {
  textlib::TUniStrings& entries = ui->ListBox1->Items();
  entries.BeginUpdate();
  entries.Clear();
  for (const auto& name : DatabaseNamesIn(DbFolder())) entries.Add(name);
  entries.EndUpdate();
  const int count = entries.Count();
  const int64_t stored = LeseRegInteger(reg::AusgewaehlteDatenbank, 0);
  if (state_.UpdateMode) {
    if (count > 0) ui->ListBox1->setCurrentRow(stored >= 0 && stored < count ? int(stored) : 0);
    return;
  }
  const std::u16string built = dialog_ ? dialog_->NameField() : std::u16string();
  if (built.empty()) return;
  // Exactly the database just built, not every name that contains it.
  for (int i = 0; i < count; ++i) {
    if (entries[i] == built) {
      ui->ListBox1->setCurrentRow(i);
      ListBox1Click();
      break;
    }
  }
}

void TMainForm_QY_HTML::ListBox1Click() {
  state_.MemoFilled = false;
  if (search_) search_->CloseViewerDocument();
  const int index = ui->ListBox1->currentRow();
  if (index < 0) return;
  state_.ClickedIndex = index;
  state_.HistoryName = ui->ListBox1->Items()[index];
  WriteReg(reg::AusgewaehlteDatenbank, Decimal(index));
  state_.BookmarkPos = 0;
  state_.BrowsedKindAnsi = state_.BrowsedKindUtf8 = state_.BrowsedKindMht = false;
  if (!search_) return;
  search_->ResetBrowsingView();
  search_->ClearSuggestions();
  const std::u16string history = HistoryFolder() + state_.HistoryName + u"_Gesamt_OhneDB_Suchwoerterliste.txt";
  auto st = platform::Stat(platform::PosixPath(history));
  if (st && st->isRegular) {
    search_->LoadSuggestions(history);
    search_->SetSuggestionsColor(QColor(0x80, 0x80, 0x80));
    state_.SuggestionsLoadedAnsi = state_.SuggestionsLoadedUtf8 = state_.SuggestionsLoadedMht = false;
  }
}

void TMainForm_QY_HTML::SuchenBtnClick() {
  if (state_.ViewerWasOpen) {
    if (search_) {
      search_->CloseViewerDocument();
      search_->ResetBrowsingView();
    }
    state_.ViewerWasOpen = false;
  }
  widgets::WideControlSetText(*ui->Label1, u"");
  ui->Label2->clear();
  QDir::setCurrent(QString::fromStdString(platform::PosixPath(state_.BaseFolder)));
  state_.Searching = true;

  lists_->SelectedNames.Clear();
  int selectedCount = 0;
  for (int i = 0; i < ui->ListBox1->count(); ++i) {
    if (!ui->ListBox1->item(i)->isSelected()) continue;
    state_.CurrentDbName = ui->ListBox1->Items()[i];
    lists_->SelectedNames.Add(state_.CurrentDbName);
    ++selectedCount;
  }
  if (selectedCount == 0) {
    platform::ShowMessageBox(ui->ListBox1->count() > 0
                                 ? u"Markieren Sie eine Datenbank und betätigen Sie dann nochmal den Suchen Schalter!"
                                 : u"Es existiert noch keine Datenbank! ",
                             u"Information", platform::mb::Ok | platform::mb::IconInformation);
    state_.Searching = false;
    return;
  }
  if (!search_) {
    state_.Searching = false;
    return;
  }

  // A text handed over by another program: from the file, or read from it already when
  // the program was activated.
  if (state_.UseControlFolder) search_->TakeHandoverFile();
  if (!state_.SearchHandoverText.empty()) {
    search_->SetSearchText(state_.SearchHandoverText);
    search_->SetPositionCaption(u"DB: \"" + state_.CurrentDbName + u"\"  Position: ");
    state_.SearchHandoverText.clear();
  } else {
    search_->SetSearchText(u"");
  }
  if (state_.ClickedIndex != state_.SearchedIndex) {
    search_->ClearInDocumentSearch();
    state_.SearchedIndex = state_.ClickedIndex;
  }
  if (state_.MemoFilled) {
    search_->SetPositionCaption(state_.ViewCaptionPrefix + u"DB: \"" + state_.CurrentDbName + u"\"" +
                                (state_.SortedListShown ? u"" : u"  Position: "));
  }

  search_->HideSuggestions();
  const bool ok = ShowSearchWindow ? ShowSearchWindow(*search_) : search_->exec() == QDialog::Accepted;
  if (!ok) {
    // Nothing was searched: the close button must close again, not cancel a search.
    state_.Searching = false;
    return;
  }

  const std::u16string text = search_->SearchText();
  if (textlib::UnicodeTrim(text).empty()) {
    platform::ShowMessageBox(u"Sie haben keinen Suchtext eingegeben!", u"Information",
                             platform::mb::Ok | platform::mb::IconInformation);
    gedultTimer_->stop();
    widgets::WideControlSetText(*ui->GeduldLabel, u"");
    widgets::WideControlSetText(*ui->Label1, u"");
    state_.Searching = false;
    return;
  }
  gedultTimer_->start();
  widgets::WideControlSetText(*ui->Label1, u"Suche läuft.");
  PlaceGeduldLabel();

  std::vector<std::u16string> history = search_->Suggestions();
  UpdateSearchHistory(history, text);
  search_->SetSuggestions(history);
  if (!history.empty()) {
    const std::u16string base = HistoryFolder() + state_.HistoryName;
    const bool browsed = state_.BrowsedKindAnsi || state_.BrowsedKindUtf8 || state_.BrowsedKindMht;
    if (browsed) {
      if (!state_.NoHitAnsi) SaveHistoryFile(history, base + u"_Ansi_Suchwoerterliste.txt");
      if (!state_.NoHitUtf8) SaveHistoryFile(history, base + u"_Utf8_Suchwoerterliste.txt");
      if (!state_.NoHitMht) SaveHistoryFile(history, base + u"_MHT_Suchwoerterliste.txt");
    } else if (state_.PathListOnly && !state_.NoHits) {
      SaveHistoryFile(history, base + u"_Gesamt_OhneDB_Suchwoerterliste.txt");
    }
  }
  widgets::WideControlSetText(*ui->Label1, u"Fertig mit der Suche.");
  gedultTimer_->stop();
}

void TMainForm_QY_HTML::Datenbankloeschen1Click() {
  const int index = ui->ListBox1->currentRow();
  // Without a selected entry there is nothing to name in the question or to delete.
  if (index < 0 || index >= ui->ListBox1->count()) return;
  state_.CurrentDbName = ui->ListBox1->Items()[index];
  if (platform::ShowMessageBox(u"Möchten Sie die Datenbank \"" + state_.CurrentDbName + u"\" wirklich löschen?",
                               u"Bestätigung", platform::mb::YesNo | platform::mb::IconQuestion) ==
      platform::MsgResult::Yes) {
    if (search_) {
      search_->CloseViewerDocument();
      search_->ResetBrowsingView();
    }
    // A file that cannot be deleted stays silent as ever (the refilled list shows it); a
    // database that another program is building or searching is not torn from under it.
    if (DeleteDatabaseFiles(DbFolder(), HistoryFolder(), state_.CurrentDbName) == DeletionOutcome::InUse) {
      platform::ShowMessageBox(u"Die Datenbank \"" + state_.CurrentDbName +
                                   u"\" wird gerade von einem anderen Programm verwendet und kann jetzt nicht "
                                   u"gelöscht werden.",
                               u"Quarry-HTML", platform::mb::Ok | platform::mb::IconWarning);
    }
  }
  LiesNamenDatenbanken();
  if (ui->ListBox1->count() > 0) {
    const QSignalBlocker quiet(ui->ListBox1);
    ui->ListBox1->setCurrentRow(0);
  }
}

void TMainForm_QY_HTML::NurdieAnsiUtf8Unicodetxtlschen1Click() {
  if (state_.CurrentDbName.empty()) return;
  if (platform::ShowMessageBox(u"Möchten Sie die Daten von \"" + state_.CurrentDbName + u"\" wirklich löschen?\r\n" +
                                   u"Die Suche funktioniert danach noch, aber langsamer.",
                               u"Bestätigung", platform::mb::YesNo | platform::mb::IconQuestion) !=
      platform::MsgResult::Yes) {
    return;
  }
  if (search_) {
    search_->CloseViewerDocument();
    search_->ResetBrowsingView();
  }
  for (auto suffix : StoreFileSuffixes()) {
    platform::RemoveFile(platform::PosixPath(DbFolder() + state_.CurrentDbName + std::u16string(suffix)));
  }
  widgets::WideControlSetText(*ui->Label1, u"");
  ui->Label2->clear();
  ListBox1Click();
}

}  // namespace app
