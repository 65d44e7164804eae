#include "app/forms/einstell_form.h"

#include <QApplication>
#include <QColorDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QToolButton>

#include "app/forms/main_form.h"
#include "app/forms/ok_bottom_dlg.h"
#include "app/settings/qt_text.h"
#include "search/forms/such_form.h"
#include "app/settings/colors.h"
#include "app/settings/registry.h"
#include "platform/codepage.h"
#include "platform/messagebox.h"
#include "platform/process.h"
#include "widgets/wide_control.h"
#include "ui_einstell_form.h"
#include "ui_main_form.h"

namespace app {
namespace {

using Browser = TEinstellform::Browser;

constexpr std::array<Browser, TEinstellform::kBrowserCount> kBrowsers{
    Browser::Standard, Browser::InternetExplorer, Browser::Edge,   Browser::Chrome,
    Browser::Opera,    Browser::Safari,           Browser::Firefox};

QColor ColorOf(std::u16string_view text, std::u16string_view fallback = u"clHighlight") {
  auto c = ColorFromText(text);
  if (!c) c = ColorFromText(fallback);
  return ToQColor(c.value_or(RgbColor{}));
}

std::u16string Decimal(int64_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// A neutral picture of our own for each browser: a globe on a coloured tile with a short
// tag, so the choices can be told apart without any maker's logo.
struct PictureStyle {
  QRgb tile;
  const char* tag;
};
constexpr std::array<PictureStyle, TEinstellform::kBrowserCount> kPictureStyles{{
    {0x5A6B7D, "Std"},
    {0x2F6DB5, "IE"},
    {0x1F8A8A, "Edge"},
    {0x3C8A48, "Chr"},
    {0xB8323A, "Op"},
    {0x3A7FC0, "Saf"},
    {0xC9641A, "FF"},
}};

// The glyph of the font buttons: an "A" with a plus or a minus, which still says what the
// button does when its caption is emptied.
QPixmap FontGlyph(bool larger) {
  QPixmap pixmap(30, 22);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f = p.font();
  f.setPixelSize(larger ? 19 : 13);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(0x20, 0x20, 0x20));
  p.drawText(QRect(0, 0, 20, 22), Qt::AlignCenter, QStringLiteral("A"));
  p.setPen(QPen(QColor(0x20, 0x20, 0x20), 2));
  p.drawLine(QPointF(21, 6), QPointF(29, 6));
  if (larger) p.drawLine(QPointF(25, 2), QPointF(25, 10));
  return pixmap;
}

// The program's windows as the settings reach them.
class ProgramWindows : public EinstellHost {
 public:
  ProgramWindows(TMainForm_QY_HTML* main, TOKBottomDlg* dialog, TSuchForm* search)
      : main_(main), dialog_(dialog), search_(search) {}

  void SetWindowColor(const QColor& color) override {
    if (main_) {
      SetWidgetBackground(main_, color);
      SetWidgetBackground(main_->Form().Panel1, color);
      main_->Form().Image1->setAutoFillBackground(false);
      // The tool bar's flat buttons sit on the window's colour.
      for (QWidget* w : std::initializer_list<QWidget*>{main_->Form().SpeedButton1, main_->Form().SpeedButton2,
                                                        main_->Form().SpeedButton3}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Button, color);
        w->setPalette(p);
      }
    }
    if (search_) {
      search_->SetPanelColor(main_ ? main_->palette().color(QPalette::Window) : color);
      search_->SetBackgroundColor(color);
    }
    if (dialog_) dialog_->SetBackgroundColor(color);
  }
  void SetHintColor(const QColor& color) override {
    if (main_) {
      auto& f = main_->Form();
      for (QWidget* w : std::initializer_list<QWidget*>{f.SpeedButton1, f.SpeedButton2, f.Label1, f.Label2,
                                                        f.GeduldLabel}) {
        SetWidgetTextColor(w, color);
      }
      QPalette p = f.SpeedButton3->palette();
      p.setColor(QPalette::Disabled, QPalette::ButtonText, color);
      f.SpeedButton3->setPalette(p);
    }
    if (search_) search_->SetHintColor(color);
    if (dialog_) dialog_->SetHintColor(color);
  }
  void SetMainWindowSize(int width, int height) override {
    if (!main_) return;
    main_->resize(width, height);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect s = screen->geometry();
      main_->move(s.width() / 2 - main_->width() / 2, s.height() / 2 - main_->height() / 2);
    }
  }
  void SetSearchWindowSize(int width, int height) override {
    if (search_) search_->resize(width, height);
  }
  void RelayoutMainWindow() override {
    if (!main_) return;
    main_->resize(main_->width() + 1, main_->height());
    main_->resize(main_->width() - 1, main_->height());
  }
  bool SearchWindowVisible() const override { return search_ && search_->isVisible(); }
  int ViewerFontSize() const override {
    return search_ ? ClampViewerFontSize(search_->ViewerFontSize()) : kViewerFontSizeDefault;
  }
  void SetViewerFontSize(int pointSize) override {
    if (search_) search_->SetViewerFontSize(ClampViewerFontSize(pointSize));
  }
  void SetViewerHintsShown(bool on) override {
    if (search_) search_->SetMemoHintsShown(on);
  }

 private:
  TMainForm_QY_HTML* main_;
  TOKBottomDlg* dialog_;
  TSuchForm* search_;
};

}  // namespace

TEinstellform::TEinstellform(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TEinstellform>()) {
  ui->setupUi(this);
  // A dialog border: the window keeps its size.
  setFixedSize(447, 642);
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ColorDialog1 = [this](const QColor& initial) -> std::optional<QColor> {
    const QColor chosen = QColorDialog::getColor(initial, this);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
  };

  for (QToolButton* button : {ui->SpeedButton1, ui->SpeedButton2}) {
    const QPixmap glyph = FontGlyph(button == ui->SpeedButton1);
    button->setIcon(glyph);
    button->setIconSize(glyph.size());
  }
  ui->leer_Image->setPixmap(PlaceholderPicture());

  connect(ui->FarbenAendernButton, &QPushButton::clicked, this, [this] { FarbenAendernButtonClick(); });
  connect(ui->HinweistexteFarbenAendernButton, &QPushButton::clicked, this,
          [this] { HinweistexteFarbenAendernButtonClick(); });
  connect(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(ui->SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(ui->SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(ui->SortierungAnzeigenBitBtn, &QPushButton::clicked, this, [this] { SortierungAnzeigenBitBtnClick(); });
  connect(ui->OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
  connect(ui->AbbruchButton, &QPushButton::clicked, this, [this] { AbbruchButtonClick(); });
  for (Browser b : kBrowsers) BrowserImage(b)->installEventFilter(this);

  PruefeWelcheBrowserInstalliert();
  FormPaint();
}
TEinstellform::~TEinstellform() = default;

void TEinstellform::SetWindows(TMainForm_QY_HTML* main, TOKBottomDlg* dialog, TSuchForm* search) {
  ownHost_ = std::make_unique<ProgramWindows>(main, dialog, search);
  host_ = ownHost_.get();
}

void TEinstellform::SetBackgroundColor(const QColor& color) { SetWidgetBackground(this, color); }

void TEinstellform::SetHintColor(const QColor& color) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SuchtextInClipbrdCheckBox, ui->KurzhinweisImViewerZeigenCheckBox,
                                                    ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label5}) {
    SetWidgetTextColor(w, color);
  }
  // The check mark is drawn in the text colour on the box's white: a light hint colour
  // would hide it, so the boxes keep the usual one.
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SuchtextInClipbrdCheckBox, ui->KurzhinweisImViewerZeigenCheckBox}) {
    QPalette p = w->palette();
    p.setColor(QPalette::Text, QApplication::palette().color(QPalette::Text));
    w->setPalette(p);
  }
}

void TEinstellform::SetCopySearchText(bool on) {
  ui->SuchtextInClipbrdCheckBox->setChecked(on);
  copySearchTextShown_ = on;
}
bool TEinstellform::CopySearchText() const { return ui->SuchtextInClipbrdCheckBox->isChecked(); }
void TEinstellform::SetShortHintInViewer(bool on) {
  ui->KurzhinweisImViewerZeigenCheckBox->setChecked(on);
  shortHintShown_ = on;
}
bool TEinstellform::ShortHintInViewer() const { return ui->KurzhinweisImViewerZeigenCheckBox->isChecked(); }

std::u16string_view TEinstellform::BrowserKey(Browser b) {
  static constexpr std::array<std::u16string_view, kBrowserCount> keys{
      u"standard", u"internet explorer", u"edge", u"chrome", u"opera", u"safari", u"firefox"};
  return keys[size_t(b)];
}

std::u16string_view TEinstellform::BrowserHint(Browser b) {
  static constexpr std::array<std::u16string_view, kBrowserCount> hints{
      u"Standard Browser", u"Microsoft Internet Explorer", u"Microsoft Edge", u"Google Chrome",
      u"Opera",            u"Safari",                      u"FireFox"};
  return hints[size_t(b)];
}

std::vector<std::string> TEinstellform::BrowserPrograms(Browser b) {
  // The same programs the browser start tries for each setting.
  switch (b) {
    case Browser::Edge: return {"microsoft-edge", "microsoft-edge-stable"};
    case Browser::Chrome: return {"google-chrome", "google-chrome-stable", "chromium", "chromium-browser"};
    case Browser::Opera: return {"opera"};
    case Browser::Firefox: return {"firefox", "firefox-esr"};
    default: return {};
  }
}

bool TEinstellform::ProgramOnPath(const std::string& name) { return !platform::FindOnPath(name).empty(); }

QLabel* TEinstellform::BrowserImage(Browser b) const {
  const std::array<QLabel*, kBrowserCount> images{ui->standard_Image, ui->ie_Image,     ui->edge_Image,
                                                  ui->chrome_Image,   ui->opera_Image,  ui->safari_Image,
                                                  ui->firefox_Image};
  return images[size_t(b)];
}

QLabel* TEinstellform::CurrentBrowserImage() const { return ui->AktuellerBrowser_Image; }

bool TEinstellform::BrowserSelectable(Browser b) const { return selectable_[size_t(b)]; }

QPixmap TEinstellform::BrowserPicture(Browser b) {
  const PictureStyle& style = kPictureStyles[size_t(b)];
  QPixmap pixmap(40, 40);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(style.tile));
  p.drawRoundedRect(QRectF(1, 1, 38, 38), 7, 7);
  // The globe.
  p.setPen(QPen(Qt::white, 1.6));
  p.setBrush(Qt::NoBrush);
  const QRectF globe(10, 4, 20, 20);
  p.drawEllipse(globe);
  p.drawEllipse(QRectF(15.5, 4, 9, 20));
  p.drawLine(QPointF(10, 14), QPointF(30, 14));
  p.drawLine(QPointF(20, 4), QPointF(20, 24));
  // The tag.
  QFont f = p.font();
  f.setPixelSize(10);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRectF(0, 25, 40, 13), Qt::AlignCenter, QString::fromLatin1(style.tag));
  return pixmap;
}

QPixmap TEinstellform::PlaceholderPicture() {
  QPixmap pixmap(40, 40);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 1.5, Qt::DashLine));
  p.setBrush(QColor(0xFF, 0xFF, 0xFF, 0x30));
  p.drawRoundedRect(QRectF(2, 2, 36, 36), 7, 7);
  return pixmap;
}

void TEinstellform::PruefeWelcheBrowserInstalliert() {
  // Internet Explorer and Safari cannot exist here; the others show when one of their
  // programs is on PATH. What is not installed shows the placeholder without a hint and
  // cannot be chosen.
  for (Browser b : kBrowsers) {
    bool installed = b == Browser::Standard;
    for (const std::string& program : BrowserPrograms(b)) installed = installed || ProgramOnPath(program);
    QLabel* image = BrowserImage(b);
    image->setPixmap(installed ? BrowserPicture(b) : ui->leer_Image->pixmap());
    widgets::WideControlSetHint(*image, installed ? BrowserHint(b) : std::u16string_view());
    image->setCursor(installed ? Qt::PointingHandCursor : Qt::ArrowCursor);
    image->show();
    selectable_[size_t(b)] = !widgets::WideControlGetHint(*image).empty();
  }
  // The stored choice shows with its own picture even when that browser is missing;
  // the result pages then go to the desktop's default.
  const std::u16string value = LeseRegKey(kRegistryKey, reg::Browser);
  for (Browser b : kBrowsers) {
    if (value.find(BrowserKey(b)) == std::u16string::npos) continue;
    ui->AktuellerBrowser_Image->setPixmap(BrowserPicture(b));
    state_.BrowserSetting = platform::WideToAnsi(BrowserKey(b));
  }
}

void TEinstellform::BrowserImageClick(Browser b) {
  if (widgets::WideControlGetHint(*BrowserImage(b)).empty()) return;
  ui->AktuellerBrowser_Image->setPixmap(BrowserPicture(b));
  // BrowserSetting stays: the browser start reads the stored value afresh.
  Write({{reg::Browser, std::u16string(BrowserKey(b))}});
}

bool TEinstellform::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (Browser b : kBrowsers) {
      if (watched == BrowserImage(b)) {
        BrowserImageClick(b);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TEinstellform::Write(const std::vector<std::pair<std::u16string_view, std::u16string>>& values) {
  std::vector<RegistryValue> named;
  for (const auto& [name, value] : values) named.push_back({std::u16string(name), value});
  if (std::u16string failure; !SchreibeRegKeys(kRegistryKey, named, &failure)) {
    platform::ShowMessageBox(u"Die Einstellungen konnten nicht gespeichert werden: " + failure, u"Quarry-HTML",
                             platform::mb::Ok | platform::mb::IconError);
  }
}

void TEinstellform::ApplyWindowColor(const QColor& color) {
  SetBackgroundColor(color);
  if (host_) host_->SetWindowColor(color);
}

void TEinstellform::ApplyHintColor(const QColor& color) {
  SetHintColor(color);
  if (host_) host_->SetHintColor(color);
}

void TEinstellform::FarbenAendernButtonClick() {
  if (!ColorDialog1) return;
  const std::optional<QColor> chosen = ColorDialog1(palette().color(QPalette::Window));
  if (!chosen || !chosen->isValid()) return;
  if (!colorBeforeChoice_)
    colorBeforeChoice_ = state_.BackgroundColorName.empty() ? std::string("clHighlight") : state_.BackgroundColorName;
  ApplyWindowColor(*chosen);
  const std::u16string text = ColorToText(FromQColor(*chosen));
  state_.BackgroundColorName = platform::WideToAnsi(text);
  colorChanged_ = true;
  Write({{reg::Farbe, text}});
  if (host_) host_->RelayoutMainWindow();
}

void TEinstellform::HinweistexteFarbenAendernButtonClick() {
  if (!ColorDialog1) return;
  const std::optional<QColor> chosen = ColorDialog1(ui->Label1->palette().color(QPalette::WindowText));
  if (!chosen || !chosen->isValid()) return;
  const std::u16string text = ColorToText(FromQColor(*chosen));
  state_.HintColorName = platform::WideToAnsi(text);
  Write({{reg::HinweistextFarbe, text}});
  ApplyHintColor(*chosen);
}

void TEinstellform::Button1Click() {
  ApplyWindowColor(ColorOf(u"clHighlight"));
  state_.BackgroundColorName = "clHighlight";
  if (host_) host_->SetViewerFontSize(kViewerFontSizeDefault);
  state_.MainHeight = 506;
  state_.MainWidth = state_.DefaultWidth;
  if (host_) host_->SetMainWindowSize(state_.MainWidth, state_.MainHeight);
  state_.SearchHeight = 500;
  state_.SearchWidth = state_.DefaultWidth;
  if (host_) host_->SetSearchWindowSize(state_.SearchWidth, state_.SearchHeight);
  state_.HintColorName = "clWhite";
  ApplyHintColor(ColorOf(u"clWhite"));
  // One rewrite in the order of the steps: all of the defaults are saved or none.
  Write({{reg::SchriftsizeTextViewer, Decimal(kViewerFontSizeDefault)},
         {reg::Farbe, platform::AnsiToWide(state_.BackgroundColorName)},
         {reg::Hoehe, Decimal(state_.MainHeight)},
         {reg::Weite, Decimal(state_.MainWidth)},
         {reg::SHoehe, Decimal(state_.SearchHeight)},
         {reg::SWeite, Decimal(state_.SearchWidth)},
         {reg::HinweistextFarbe, u"clWhite"}});
  if (host_) host_->RelayoutMainWindow();
  // Cancel keeps the defaults.
  colorBeforeChoice_.reset();
}

void TEinstellform::SpeedButton1Click() {
  if (host_) host_->SetViewerFontSize(ClampViewerFontSize(int64_t(host_->ViewerFontSize()) + 1));
}

void TEinstellform::SpeedButton2Click() {
  if (host_) host_->SetViewerFontSize(ClampViewerFontSize(int64_t(host_->ViewerFontSize()) - 1));
}

void TEinstellform::SortierungAnzeigenBitBtnClick() {
  const std::u16string question = u"Möchten Sie die Dokumente von \"" + state_.CurrentDbName +
                                  u"\" sortieren?\r\nVorhandene sortierte Listen werden überschrieben! Wenn JA, "
                                  u"dann \r\nklicken Sie anschließend auf den Schalter \"Sortierte Listen "
                                  u"erstellen\"";
  if (platform::ShowMessageBox(question, u"Quarry-HTML", platform::mb::YesNo | platform::mb::IconQuestion) !=
      platform::MsgResult::Yes) {
    return;
  }
  state_.CancelRequested = false;
  if (ShowSortControls) ShowSortControls();
  reject();
}

void TEinstellform::OkButtonClick() {
  const bool copy = CopySearchText(), hint = ShortHintInViewer();
  Write({{reg::SuchwortInZwischenablage, copy ? u"1" : u"0"}, {reg::KurzhinweisImViewer, hint ? u"1" : u"0"}});
  copySearchTextShown_ = copy;
  shortHintShown_ = hint;
  if (host_) host_->SetViewerHintsShown(hint);
  colorBeforeChoice_.reset();
  accept();
}

void TEinstellform::AbbruchButtonClick() {
  // Cancel takes back a window colour chosen since the window opened; one chosen and
  // confirmed earlier stays.
  if (colorBeforeChoice_) {
    const std::u16string name = platform::AnsiToWide(*colorBeforeChoice_);
    ApplyWindowColor(ColorOf(name));
    state_.BackgroundColorName = *colorBeforeChoice_;
    Write({{reg::Farbe, name}});
    if (host_) host_->RelayoutMainWindow();
  }
  reject();
}

void TEinstellform::reject() {
  // The check boxes are only stored by OK.
  ui->SuchtextInClipbrdCheckBox->setChecked(copySearchTextShown_);
  ui->KurzhinweisImViewerZeigenCheckBox->setChecked(shortHintShown_);
  colorBeforeChoice_.reset();
  QDialog::reject();
}

void TEinstellform::FormPaint() {
  const bool searchShown = host_ && host_->SearchWindowVisible();
  for (QWidget* w : std::initializer_list<QWidget*>{ui->SortierungAnzeigenBitBtn, ui->SpeedButton1, ui->SpeedButton2}) {
    if (w->isEnabled() != searchShown) w->setEnabled(searchShown);
  }
  const std::u16string_view plus = searchShown ? u"" : u"+    ";
  const std::u16string_view minus = searchShown ? u"" : u"-    ";
  for (auto [button, caption] : {std::pair{ui->SpeedButton1, plus}, std::pair{ui->SpeedButton2, minus}}) {
    if (!widgets::WideControlSetText(*button, caption)) continue;
    // Without a caption the glyph stands in the middle.
    button->setToolButtonStyle(caption.empty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
  }
}

void TEinstellform::showEvent(QShowEvent* event) {
  copySearchTextShown_ = CopySearchText();
  shortHintShown_ = ShortHintInViewer();
  FormPaint();
  QDialog::showEvent(event);
}

void TEinstellform::paintEvent(QPaintEvent* event) {
  FormPaint();
  QDialog::paintEvent(event);
}

void TEinstellform::keyPressEvent(QKeyEvent* event) {
  // Escape is the cancel button, as in the window's original.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    ui->AbbruchButton->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace app
