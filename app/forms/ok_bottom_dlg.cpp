#include "app/forms/ok_bottom_dlg.h"

#include <limits.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <algorithm>

#include "app/forms/database_list.h"
#include "app/forms/drive_check.h"
#include "app/forms/other_forms.h"
#include "app/settings/default_files.h"
#include "app/settings/qt_text.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "textlib/errors.h"
#include "textlib/unicode.h"
#include "textlib/widestrings.h"
#include "widgets/wide_control.h"
#include "ui_hinweis_form.h"
#include "ui_ok_bottom_dlg.h"

namespace app {
namespace {

constexpr std::u16string_view kInfoCaption = u"Information";

void Inform(std::u16string_view text) {
  platform::ShowMessageBox(std::u16string(text), std::u16string(kInfoCaption),
                           platform::mb::Ok | platform::mb::IconInformation);
}

bool FileExists(std::u16string_view drivePath) {
  auto st = platform::Stat(platform::PosixPath(drivePath));
  return st && st->isRegular;
}

bool FolderExists(std::u16string_view drivePath) {
  if (drivePath.empty()) return false;
  auto st = platform::Stat(platform::PosixPath(drivePath));
  return st && st->isDirectory;
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return textlib::UnicodeLowerCase(text.substr(text.size() - suffix.size())) == textlib::UnicodeLowerCase(suffix);
}

// A database's own files are named <db> + "_mht.dat", <db> + "_mht_temp.dat" and
// <db> + "_MHTtext.txt"; a database named like such a suffix would overwrite them.
bool NameClashesWithOtherFiles(std::u16string_view name) {
  return EndsWithIgnoringCase(name, u"_mht") || EndsWithIgnoringCase(name, u"_mht_temp");
}

// Every file is first written under a temporary sibling name, at most this many bytes
// longer than the file's own (".schreiben", ".quarry-tmp", ".tmp" + process id).
constexpr int64_t kTemporaryEndingBytes = 11;

// The smallest font a text is shrunk to; below it a text is no longer readable.
constexpr int kSmallestTextPixels = 9;

int PixelSizeOf(const QFont& font) { return font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize(); }

// The layout is fixed (the dialog has a single border), but fonts differ between machines:
// DejaVu Sans is wider than the fonts the layout was made for, and a text cut at the edge
// cannot be read. So a label or check box whose text does not fit gets a smaller font,
// down to a readable one. (A push button's size hint holds a minimum width of the style's,
// not its text's.)
void ShrinkFontToFit(QWidget* widget) {
  widget->setFont(QFont());  // the dialog's own font first: a shorter text needs no shrinking
  QFont font = widget->font();
  for (int pixels = PixelSizeOf(font);
       widget->sizeHint().width() > widget->width() && pixels > kSmallestTextPixels;) {
    font.setPixelSize(--pixels);
    widget->setFont(font);
  }
}

// A list document with a check mark, and the notice's first sentence: the drive's master
// file list exists and is kept, so the explanation of the file-list program it covers
// does not apply.
QPixmap KeptListPicture(QSize size, char16_t driveLetter, const QFont& baseFont) {
  QPixmap picture(size);
  picture.fill(QColor(0xE8, 0xE8, 0xE8));
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  const int h = size.height();
  const QRectF page(10, 6, h * 0.6, h - 12);
  QPainterPath sheet;
  const qreal fold = page.width() * 0.3;
  sheet.moveTo(page.topLeft());
  sheet.lineTo(page.right() - fold, page.top());
  sheet.lineTo(page.right(), page.top() + fold);
  sheet.lineTo(page.bottomRight());
  sheet.lineTo(page.bottomLeft());
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1.5));
  p.setBrush(Qt::white);
  p.drawPath(sheet);
  p.setPen(QPen(QColor(0x90, 0x90, 0x90), 2));
  for (qreal y = page.top() + fold + 4; y < page.bottom() - 4; y += 6) {
    p.drawLine(QPointF(page.left() + 5, y), QPointF(page.right() - 5, y));
  }
  const QPointF badge(page.right() - 2, page.bottom() - 10);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2E, 0x9E, 0x3E));
  p.drawEllipse(badge, 11, 11);
  p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolyline(QPolygonF({badge + QPointF(-6, 0), badge + QPointF(-2, 5), badge + QPointF(6, -5)}));

  std::u16string sentence = u"Die \"Haupt_Dateinamen_Liste_Laufwerk_";
  sentence += driveLetter;
  sentence += u".txt\" ist schon vorhanden.";
  const QString text = ToQ(sentence);
  const QRect area(int(page.right()) + 22, 0, size.width() - int(page.right()) - 30, h);
  QFont font = baseFont;
  font.setBold(true);
  for (int pixels = PixelSizeOf(font);
       pixels > kSmallestTextPixels && QFontMetrics(font).horizontalAdvance(text) > area.width();) {
    font.setPixelSize(--pixels);
  }
  p.setFont(font);
  p.setPen(QColor(0x20, 0x20, 0x20));
  p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text);
  return picture;
}

}  // namespace

int64_t MaxDatabaseNameBytes(std::u16string_view dbFolder) {
  // The history files in "Suchwoerterlisten\" have the longest suffix
  // (<db>_Gesamt_OhneDB_Suchwoerterliste.txt), longer than any in "Datenbank\".
  size_t longest = 0;
  for (const auto* suffixes : {&DatabaseFileSuffixes(), &HistoryFileSuffixes()}) {
    for (std::u16string_view suffix : *suffixes) longest = std::max(longest, platform::WideToPosixUtf8(suffix).size());
  }
  const std::string folder = platform::PosixPath(dbFolder);
  long limit = folder.empty() ? -1 : ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = NAME_MAX;
  return int64_t(limit) - int64_t(longest) - kTemporaryEndingBytes;
}

std::u16string FilterDatabaseName(std::u16string_view text) {
  const std::string bytes = platform::WideToAnsi(text);
  std::string kept;
  kept.reserve(bytes.size());
  for (char c : bytes) {
    if (std::u16string_view(u"/\\*?\"<>|:^").find(char16_t(static_cast<unsigned char>(c))) ==
        std::u16string_view::npos) {
      kept.push_back(c);
    }
  }
  if (!bytes.empty() && kept.size() != bytes.size()) {
    platform::ShowMessageBox(u"Sie haben ungültige Zeichen eingegeben!", u"Quarry-HTML", platform::mb::Ok);
  }
  return platform::AnsiToWide(kept);
}

std::u16string MasterListNoticeText(char16_t driveLetter, std::u16string_view date) {
  const std::u16string crlf = u"\r\n";
  std::u16string t = crlf + crlf + crlf;
  t += u"Die \"Haupt_Dateinamen_Liste_Laufwerk_";
  t += driveLetter;
  t += u".txt\" ist schon vorhanden." + crlf + crlf;
  t += u"\tSie wurde am: " + std::u16string(date) + u" erstellt." + crlf + crlf;
  t += u"\t\tSoll sie neu erstellt werden?" + crlf;
  t += u"\t\t" + std::u16string(38, u'-') + crlf + crlf;
  t += u"  Das geht relativ schnell. Für 300.000 Dateien etwa 25 Sekunden." + crlf + crlf;
  t += u"             Test-PC:  Prozessor: Intel Core i5-7400 4 x 3.00 GHz" + crlf + crlf;
  t += u"Die Geschwindigkeit ist abhängig von der Leistungsfähigkeit des PC.";
  return t;
}

IndexModeTexts IndexModeText(bool withDatabase) {
  if (withDatabase) {
    return {u"Mit Datenbankerstellung (ist durch Indizierung bei der Suche sehr schnell)",
            u"Benötigt ausreichend Festplattenspeicher zur Erstellung der Daten."};
  }
  return {u"Ohne Datenbankerstellung (keine Indizierung der Daten)",
          u"Wenig Speicherbedarf, aber Suche langsamer als mit Indizierung."};
}

// ---- THinweisForm

THinweisForm::THinweisForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::THinweisForm>()) {
  ui->setupUi(this);
  setFixedSize(564, 516);
  connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

THinweisForm::~THinweisForm() = default;

void THinweisForm::SetNotice(std::u16string_view text) {
  ui->Memo1->clear();
  widgets::WideControlSetText(*ui->Memo1, text);
}

std::u16string THinweisForm::Notice() const { return widgets::WideControlGetText(*ui->Memo1); }

// ---- TOKBottomDlg

TOKBottomDlg::TOKBottomDlg(ProgramState& state, QWidget* parent)
    : QDialog(parent), state_(state), ui(std::make_unique<Ui::TOKBottomDlg>()) {
  ui->setupUi(this);
  setFixedSize(540, 477);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  SetWidgetBackground(ui->Panel1, ToQColor(FromColorRef(0x00FFFF)));
  SetWidgetBackground(ui->Image1, QColor(0xB0, 0xB0, 0xB0));
  FitTexts();

  popup_ = new QMenu(this);
  popup_->setObjectName(QStringLiteral("DateingabePopupMenu1"));
  QAction* paste = popup_->addAction(QStringLiteral("Pfad aus Zwischenablage einfügen"));
  connect(paste, &QAction::triggered, this, &TOKBottomDlg::PfadAusZwischenablageClick);

  Pause = [](int) {};
  BrowseForFolder = [this](std::u16string_view caption, std::u16string_view root) {
    return BrowseForFolderDialog(this, caption, root);
  };

  connect(ui->OKBtn, &QPushButton::clicked, this, &TOKBottomDlg::OKBtnClick);
  connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->OrdnerwaehlenButton, &QToolButton::clicked, this, &TOKBottomDlg::OrdnerwaehlenButtonClick);
  connect(ui->AuswahlMitOhneIndizierung, &QCheckBox::clicked, this, &TOKBottomDlg::AuswahlMitOhneIndizierungClick);
  connect(ui->Edit1, &widgets::TUniEdit::Changed, this, &TOKBottomDlg::Edit1Change);
  connect(ui->Edit2, &widgets::TUniEdit::Changed, this, &TOKBottomDlg::Edit2Change);
  connect(ui->Button1, &QPushButton::clicked, this, &TOKBottomDlg::Button1Click);
  connect(ui->BitBtn1, &QToolButton::clicked, this, &TOKBottomDlg::BitBtn2Click);
  connect(ui->BitBtn2, &QToolButton::clicked, this, &TOKBottomDlg::BitBtn2Click);
  connect(ui->ComboBox1, &QComboBox::activated, this, &TOKBottomDlg::ComboBox1Select);
  ui->Edit2->installEventFilter(this);
}

TOKBottomDlg::~TOKBottomDlg() = default;

std::u16string TOKBottomDlg::NameField() const { return ui->Edit1->Text(); }
void TOKBottomDlg::SetNameField(std::u16string_view text) { ui->Edit1->SetText(text); }
std::u16string TOKBottomDlg::FolderField() const { return ui->Edit2->Text(); }
void TOKBottomDlg::SetFolderField(std::u16string_view text) { ui->Edit2->SetText(text); }
std::u16string TOKBottomDlg::ExtensionField() const { return widgets::WideControlGetText(*ui->Edit3); }
void TOKBottomDlg::SetExtensionField(std::u16string_view text) { widgets::WideControlSetText(*ui->Edit3, text); }
std::vector<std::u16string> TOKBottomDlg::PatternChoices() const {
  std::vector<std::u16string> items;
  for (int i = 0; i < ui->ComboBox1->count(); ++i) items.push_back(FromQ(ui->ComboBox1->itemText(i)));
  return items;
}
void TOKBottomDlg::AddPatternChoice(std::u16string_view pattern) { ui->ComboBox1->addItem(ToQ(pattern)); }
void TOKBottomDlg::HideImage() { ui->Image1->setVisible(false); }

std::u16string TOKBottomDlg::MasterListPath(std::u16string_view folder, char16_t driveLetter) {
  std::u16string p(folder);
  p += u"Datenbank\\Haupt_Dateinamen_Liste_Laufwerk_";
  p += driveLetter;
  p += u".txt";
  return p;
}

void TOKBottomDlg::SetBackgroundColor(const QColor& color) { SetWidgetBackground(this, color); }

void TOKBottomDlg::SetHintColor(const QColor& color) {
  for (QWidget* w : std::initializer_list<QWidget*>{ui->Label1, ui->Label2, ui->Label3, ui->Label4, ui->Label5,
                                                    ui->Label6}) {
    SetWidgetTextColor(w, color);
  }
}

void TOKBottomDlg::LoadPatternChoices(std::u16string_view fileName) {
  QStringList items;
  textlib::TWideStringList lines;
  bool loaded = false;
  if (FileExists(fileName)) {
    try {
      lines.LoadFromFile(fileName);
      loaded = true;
    } catch (const textlib::Exception&) {
    }
  }
  if (loaded) {
    for (int i = 0; i < lines.Count(); ++i) {
      if (!lines[i].empty()) items << ToQ(lines[i]);
    }
  } else {
    for (int i = 0; i < ui->ComboBox1->count(); ++i) items << ui->ComboBox1->itemText(i);
  }
  // The default stays among the choices, so "X" never leaves the field without a way back.
  items << ToQ(kDefaultPattern);
  items.removeDuplicates();
  std::sort(items.begin(), items.end(),
            [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
  ui->ComboBox1->clear();
  ui->ComboBox1->addItems(items);
}

void TOKBottomDlg::FitTexts() {
  for (QLabel* label : findChildren<QLabel*>()) {
    if (!widgets::WideControlGetText(*label).empty()) ShrinkFontToFit(label);
  }
  ShrinkFontToFit(ui->AuswahlMitOhneIndizierung);
  // The three lines of the explanation read as one paragraph: one size for all.
  const std::initializer_list<QWidget*> paragraph = {ui->Label4, ui->Label5, ui->Label6};
  QFont smallest = ui->Label4->font();
  for (QWidget* line : paragraph) {
    if (PixelSizeOf(line->font()) < PixelSizeOf(smallest)) smallest = line->font();
  }
  for (QWidget* line : paragraph) line->setFont(smallest);
}

void TOKBottomDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ui->Edit1->setFocus();
}

void TOKBottomDlg::setVisible(bool visible) {
  QDialog::setVisible(visible);
  // Showing hands the name field a focus as if tabbed into, which selects its whole text.
  // The text starts unselected, once; Qt repaints far more often than the original
  // platform, so clearing on every paint would undo every selection the user makes.
  if (visible) ui->Edit1->SetSelLength(0);
}

void TOKBottomDlg::ShowKeptListPicture(char16_t driveLetter) {
  ui->Image1->setPixmap(KeptListPicture(ui->Image1->size(), driveLetter, font()));
  ui->Image1->show();
}

bool TOKBottomDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->Edit2) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* me = static_cast<QMouseEvent*>(event);
      if (me->button() == Qt::LeftButton || me->button() == Qt::RightButton) {
        OrdnerwaehlenButtonClick();
        return true;
      }
    } else if (event->type() == QEvent::KeyPress) {
      OrdnerwaehlenButtonClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TOKBottomDlg::Edit1Change() {
  if (filtering_) return;
  filtering_ = true;
  const std::u16string text = ui->Edit1->Text();
  const std::u16string filtered = FilterDatabaseName(text);
  ui->Edit1->SetText(filtered);
  filtering_ = false;
}

void TOKBottomDlg::Edit2Change() {
  const std::u16string text = ui->Edit2->Text();
  const std::string bytes = platform::WideToAnsi(text);
  if (bytes.size() < 3 || bytes[1] != ':' || bytes[2] != '\\') return;
  if (DriveHasRealFileSystem(text[0])) return;
  std::u16string message = u"Das Laufwerk: \"";
  message += text[0];
  message += u"\" hat kein NTFS-Dateisystem! Quarry kann es deshalb nicht indizieren.";
  Inform(message);
  ui->Edit2->SetText(u"");
}

void TOKBottomDlg::Button1Click() { ui->Edit3->clear(); }

void TOKBottomDlg::BitBtn2Click() {
  // The choices drop down in place of the extension field.
  ui->ComboBox1->setGeometry(ui->Edit3->geometry());
  ui->ComboBox1->showPopup();
}

void TOKBottomDlg::ComboBox1Select(int index) {
  if (index < 0) return;
  std::u16string text = ExtensionField();
  if (!text.empty()) text += u' ';
  SetExtensionField(text + FromQ(ui->ComboBox1->itemText(index)));
}

void TOKBottomDlg::AuswahlMitOhneIndizierungClick() {
  const bool with = ui->AuswahlMitOhneIndizierung->isChecked();
  state_.PathListOnly = !with;
  SetWidgetBackground(ui->Panel1, ToQColor(FromColorRef(with ? 0x00FFFF : 0x808080)));
  const IndexModeTexts texts = IndexModeText(with);
  widgets::WideControlSetText(*ui->AuswahlMitOhneIndizierung, texts.checkBox);
  widgets::WideControlSetText(*ui->Label7, texts.label);
  ShrinkFontToFit(ui->AuswahlMitOhneIndizierung);
  ShrinkFontToFit(ui->Label7);
}

bool TOKBottomDlg::ForceWindowToFront(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  if (window->isActiveWindow()) return true;
  window->raise();
  window->activateWindow();
  return window->isActiveWindow();
}

std::optional<std::u16string> TOKBottomDlg::BrowseForFolderDialog(QWidget* owner, std::u16string_view caption,
                                                                  std::u16string_view root) {
  QString start;
  if (FolderExists(root)) {
    start = QString::fromStdString(platform::PosixPath(root));
  } else {
    start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QDir(start).exists()) start = QDir::homePath();
  }
  const QString chosen = QFileDialog::getExistingDirectory(owner, ToQ(caption), start, QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  auto drive = platform::DrivePath(chosen.toStdString());
  if (!drive) return std::nullopt;
  return drive;
}

bool TOKBottomDlg::AskRebuildMasterList(char16_t driveLetter) {
  if (!notice_) return false;
  notice_->SetNotice(MasterListNoticeText(driveLetter, MasterListDate));
  const bool yes = notice_->exec() == QDialog::Accepted;
  // The notice is gone; the dialog it covered comes back to the front.
  ForceWindowToFront(this);
  Pause(1000);
  if (!isActiveWindow()) ForceWindowToFront(this);
  return yes;
}

void TOKBottomDlg::OrdnerwaehlenButtonClick() {
  if (BrowseRoot.empty()) BrowseRoot = u"desktop";
  ChooseFolder();
}

void TOKBottomDlg::ChooseFolder() {
  const std::optional<std::u16string> path = BrowseForFolder(u"Ordner zum Scannen wählen", BrowseRoot);
  if (!path || path->empty()) return;
  ui->Edit2->SetText(*path);
  state_.BuildMasterList = true;
  ui->Image1->hide();
  const std::u16string list = MasterListPath(state_.BaseFolder, (*path)[0]);
  if (!FileExists(list)) return;
  if (auto date = DlgGetFileTimesLocal(list)) MasterListDate = *date;
  if (!AskRebuildMasterList((*path)[0])) {
    ShowKeptListPicture((*path)[0]);
    state_.BuildMasterList = false;
    Pause(2000);
  }
}

void TOKBottomDlg::PfadAusZwischenablageClick() {
  QString text = QGuiApplication::clipboard()->text();
  const qsizetype nul = text.indexOf(QChar(0));
  if (nul >= 0) text.truncate(nul);
  BrowseRoot = FromQ(text);
  ui->Edit2->SetText(BrowseRoot);
  if (BrowseRoot.empty()) BrowseRoot = u"desktop";
  ChooseFolder();
}

void TOKBottomDlg::Refuse() {
  // The dialog stays open with what the user typed, so a slip costs no retyping; the
  // result says Cancel until a check passes.
  setResult(QDialog::Rejected);
}

void TOKBottomDlg::OKBtnClick() {
  bool ok = true;
  const std::u16string name = ui->Edit1->Text();
  const std::u16string folder = ui->Edit2->Text();
  if (name.empty()) {
    Inform(u"Sie haben keinen Namen für die Datenbank angegeben");
    ok = false;
  } else if (NameClashesWithOtherFiles(name)) {
    Inform(u"Der Name darf nicht auf \"_mht\" oder \"_mht_temp\" enden! Geben Sie einen anderen ein!");
    ok = false;
  } else if (EndsWithIgnoringCase(name, u"_temp")) {
    // The database list leaves out every "*_temp.dat", so such a database would never be seen.
    Inform(u"Der Name darf nicht auf \"_temp\" enden! Geben Sie einen anderen ein!");
    ok = false;
  } else if (int64_t(platform::WideToPosixUtf8(name).size()) >
             MaxDatabaseNameBytes(state_.BaseFolder + u"Datenbank\\")) {
    // Otherwise the build would start and then fail at the first file whose name is too long.
    Inform(u"Der Name ist zu lang! Geben Sie einen kürzeren ein!");
    ok = false;
  }
  if (folder.empty()) {
    Inform(u"Sie haben keinen Pfad angegeben");
    ok = false;
  }
  if (!FolderExists(folder)) {
    Inform(u"Der angegebene Ordner existiert nicht");
    ok = false;
  }
  if (ExtensionField().empty()) {
    Inform(u"Sie haben keine Dateiendung angegeben");
    ok = false;
  }
  if (!state_.UpdateMode) {
    const std::u16string upper = textlib::UnicodeUpperCase(name);
    const std::vector<std::u16string> names = DatabaseNames ? DatabaseNames() : std::vector<std::u16string>{};
    for (const std::u16string& existing : names) {
      if (textlib::UnicodeUpperCase(existing) == upper) {
        Inform(u"Dieser Name existiert schon! Geben Sie einen anderen ein!");
        Refuse();
        return;
      }
    }
  } else if (!folder.empty()) {
    // An empty folder field has already been refused; there is no drive to ask about.
    const char16_t drive = folder[0];
    state_.BuildMasterList = true;
    ui->Image1->hide();
    const std::u16string inBase = MasterListPath(state_.BaseFolder, drive);
    const std::u16string inControl =
        state_.ControlFolder.empty() ? std::u16string() : MasterListPath(state_.ControlFolder, drive);
    const bool baseExists = FileExists(inBase);
    const bool controlExists = !inControl.empty() && FileExists(inControl);
    if (baseExists || controlExists) {
      if (!baseExists || state_.UseControlFolder) {
        if (controlExists && state_.UseControlFolder) {
          if (auto date = DlgGetFileTimesLocal(inControl)) MasterListDate = *date;
        }
      } else if (auto date = DlgGetFileTimesLocal(inBase)) {
        MasterListDate = *date;
      }
      if (!AskRebuildMasterList(drive)) {
        ShowKeptListPicture(drive);
        state_.BuildMasterList = false;
        Pause(1000);
      }
    }
  }
  // Only a name that passed every check names the history.
  if (!ok) {
    Refuse();
    return;
  }
  state_.HistoryName = name;
  accept();
}

}  // namespace app
