#include "search/forms/web_panel.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QBoxLayout>
#include <algorithm>

#include "app/index/profile_file.h"
#include "app/results/browser.h"
#include "app/settings/qt_text.h"
#include "app/settings/registry.h"
#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/collate.h"
#include "platform/messagebox.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"
#include "widgets/uni_list_box.h"
#include "widgets/uni_memo.h"
#include "widgets/palette.h"
#include "widgets/wide_control.h"

namespace search {

using app::FromQ;
using app::FromQColor;
using app::LeseRegKey;
using app::SchreibeRegKey;
using app::ToQ;
using app::ToQColor;
using app::kRegistryKey;
namespace reg = app::reg;
namespace {

bool IsBlank(char16_t unit) { return unit <= u' '; }

std::u16string Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::u16string(text);
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 0x20);
    if (c != prefix[i]) return false;
  }
  return true;
}

// The browser choice of the settings.
class RegistryBrowserSetting : public app::BrowserSettingStore {
 public:
  std::u16string ReadBrowser() override { return LeseRegKey(kRegistryKey, reg::Browser); }
  void WriteBrowser(const std::u16string& value) override { SchreibeRegKey(kRegistryKey, reg::Browser, value); }
};

// The pictures of the form's hidden images, drawn on pure red, which the drawing leaves out.
constexpr int kIconSize = 24;
const QColor kTransparentRed(0xFF, 0, 0);

QPixmap MaskedRed(QPixmap picture) {
  picture.setMask(picture.createMaskFromColor(kTransparentRed));
  return picture;
}

QPixmap MakeTopicIcon() {
  QPixmap p(kIconSize, kIconSize);
  p.fill(kTransparentRed);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing, false);
  g.setPen(QPen(QColor(0x20, 0x50, 0x90), 1));
  g.setBrush(QColor(0x70, 0xA8, 0xE0));
  g.drawEllipse(2, 2, 19, 19);
  g.setBrush(Qt::NoBrush);
  g.drawEllipse(7, 2, 9, 19);
  g.drawLine(2, 11, 21, 11);
  g.drawLine(4, 6, 19, 6);
  g.drawLine(4, 16, 19, 16);
  return p;
}

QPixmap MakeAddressIcon(const QColor& fill, const QColor& frame, bool arrow) {
  QPixmap p(kIconSize, kIconSize);
  p.fill(kTransparentRed);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing, false);
  g.setPen(QPen(frame, 1));
  g.setBrush(fill);
  g.drawRect(2, 2, 19, 19);
  g.setPen(QPen(arrow ? QColor(Qt::white) : QColor(0x40, 0x40, 0x40), 2));
  if (arrow) {
    g.drawLine(9, 7, 14, 12);
    g.drawLine(14, 12, 9, 17);
  } else {
    g.drawLine(7, 12, 17, 12);
    g.drawLine(12, 7, 12, 17);
  }
  return p;
}

}  // namespace

// ---- The rules of the lists and the search address

std::vector<std::u16string> SplitWebList(std::u16string_view list) {
  std::vector<std::u16string> items;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(u',', start);
    if (comma == std::u16string_view::npos) comma = list.size();
    std::u16string item = Trimmed(list.substr(start, comma - start));
    if (!item.empty()) items.push_back(std::move(item));
    start = comma + 1;
  }
  return items;
}

std::u16string JoinTopicLists(std::u16string_view themen1, std::u16string_view themen2) {
  std::u16string joined(themen1);
  joined += u',';
  joined += themen2;
  return joined;
}

void SortWebItems(std::vector<std::u16string>& items) {
  std::stable_sort(items.begin(), items.end(), [](const std::u16string& a, const std::u16string& b) {
    const int order = platform::CompareLocale(platform::kLocaleGerman, true, a, b);
    return order == -2 ? a < b : order < 0;
  });
}

bool TakesSearchText(std::u16string_view address) {
  return !address.empty() && (address.back() == u'/' || address.back() == u'=');
}

bool IsWebAddress(std::u16string_view address) {
  size_t hostStart;
  if (StartsWithIgnoringCase(address, u"http://")) hostStart = 7;
  else if (StartsWithIgnoringCase(address, u"https://")) hostStart = 8;
  else return false;
  if (hostStart >= address.size() || address[hostStart] == u'/') return false;
  return std::none_of(address.begin(), address.end(), [](char16_t c) { return c < u' ' || c == 0x7F; });
}

std::u16string PercentEncodeUtf8(std::u16string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::u16string out;
  for (const unsigned char byte : platform::WideToPosixUtf8(text)) {
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
    if (unreserved) {
      out.push_back(byte);
    } else {
      out.push_back(u'%');
      out.push_back(static_cast<char16_t>(kHex[byte >> 4]));
      out.push_back(static_cast<char16_t>(kHex[byte & 0xF]));
    }
  }
  return out;
}

std::optional<std::u16string> WebSearchTarget(std::u16string_view address, std::u16string_view searchText) {
  if (!IsWebAddress(address)) return std::nullopt;
  std::u16string target(address);
  if (TakesSearchText(address)) target += PercentEncodeUtf8(searchText);
  return target;
}

QColor FarbeTonen(const QColor& color, int8_t percent) {
  return ToQColor(app::ShadeColor(FromQColor(color), percent));
}

// ---- Drawing the items

// Both controls draw their items themselves: the icon left of the text and the selection
// in a shade of the main window's colour.
class WebItemDelegate : public QStyledItemDelegate {
 public:
  WebItemDelegate(TWebPanel& panel, QWidget& control, bool topics)
      : QStyledItemDelegate(&control), panel_(panel), control_(control), topics_(topics) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    // The topics are drawn here only while their drop-down is open. The address list
    // hides the suggestions when it is used instead (eventFilter): it also repaints when
    // it loses the focus to the entry, which would hide the suggestions just opened.
    if (topics_) panel_.HideSuggestionsLater();
    const bool selected = option.state & QStyle::State_Selected;
    const QColor fill = selected ? panel_.SelectedItemColor() : control_.palette().color(QPalette::Base);
    painter->fillRect(option.rect, fill);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QPixmap& icon = topics_                                 ? panel_.topicIcon_
                          : TakesSearchText(FromQ(text)) ? panel_.greenIcon_
                                                                  : panel_.whiteIcon_;
    painter->drawPixmap(option.rect.left() + 1, option.rect.top() + 2, icon);
    const int textLeft = option.rect.left() + icon.width() + (topics_ ? 20 : 4);
    painter->setFont(option.font);
    painter->setPen(selected ? widgets::ContrastingText(fill) : control_.palette().color(QPalette::Text));
    const QRect textRect(textLeft, option.rect.top() + 2, option.rect.right() - textLeft, option.rect.height() - 2);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), TWebPanel::kItemHeight};
  }

 private:
  TWebPanel& panel_;
  QWidget& control_;
  bool topics_;
};

// ---- The panel

TWebPanel::TWebPanel(QWidget* parent)
    : QWidget(parent),
      topicIcon_(MaskedRed(MakeTopicIcon())),
      greenIcon_(MaskedRed(MakeAddressIcon(QColor(0x2E, 0x9E, 0x3E), QColor(0x1E, 0x6E, 0x2A), true))),
      whiteIcon_(MaskedRed(MakeAddressIcon(QColor(Qt::white), QColor(0x80, 0x80, 0x80), false))) {
  setObjectName(QStringLiteral("WebPanel"));
  combo_ = new widgets::TUniComboBox(this);
  combo_->setObjectName(QStringLiteral("UniComboBox1"));
  combo_->setEditable(false);
  combo_->setMaxVisibleItems(kVisibleTopics);
  combo_->setIconSize(topicIcon_.size());
  combo_->setItemDelegate(new WebItemDelegate(*this, *combo_, true));
  list_ = new widgets::TUniListBox(this);
  list_->setObjectName(QStringLiteral("UniListBox1"));
  list_->setItemDelegate(new WebItemDelegate(*this, *list_, false));
  list_->setUniformItemSizes(true);
  list_->setMouseTracking(true);
  list_->viewport()->installEventFilter(this);
  list_->installEventFilter(this);
  connect(combo_, &widgets::TUniComboBox::Click, this, [this] { UniComboBox1Click(); });
  // The user's choice only: items and selections set by program notify nothing.
  connect(list_, &widgets::TUniListBox::Click, this, [this] { UniListBox1Click(); });
  connect(list_, &widgets::TUniListBox::MouseMove, this, [this] { UniListBox1MouseMove(); });
  setMinimumHeight(kItemHeight + 4 + 2 * kItemHeight + 4);
}

TWebPanel::~TWebPanel() = default;

void TWebPanel::SetControls(const TWebPanelControls& controls) {
  controls_ = controls;
  if (controls_.Label5) widgets::WideControlSetText(*controls_.Label5, kWebPanelCaption);
  if (controls_.Panel2 && controls_.Panel2 != this) {
    // Into the panel's own box layout when the window gives it one, else into a new one.
    auto* box = qobject_cast<QBoxLayout*>(controls_.Panel2->layout());
    if (!box && !controls_.Panel2->layout()) {
      box = new QVBoxLayout(controls_.Panel2);
      box->setContentsMargins(0, 0, 0, 0);
    }
    if (box && box->indexOf(this) < 0) box->addWidget(this, 1);
  }
}

void TWebPanel::SetBrowser(app::BrowserSettingStore* settings, app::ProcessLauncher* launcher) {
  browserSetting_ = settings;
  launcher_ = launcher;
}

void TWebPanel::SetListsEnabled(bool on) {
  combo_->setEnabled(on);
  list_->setEnabled(on);
}

QColor TWebPanel::SelectedItemColor() const {
  QColor main;
  if (mainColor_) main = *mainColor_;
  else if (controls_.Panel2 && controls_.Panel2->parentWidget())
    main = controls_.Panel2->parentWidget()->palette().color(QPalette::Window);
  else main = palette().color(QPalette::Window);
  return FarbeTonen(main, -10);
}

void TWebPanel::Fill() {
  filled_ = true;
  restoring_ = true;
  // Restoring shows what the settings hold; writing the first address back while the
  // topic is restored would lose the stored address at the next start.
  combo_->Items().Clear();
  list_->Items().Clear();
  topics_.clear();
  addressFile_ = (BaseFolder ? BaseFolder() : std::u16string()) + std::u16string(kAddressFileName);
  const std::optional<app::ProfileFile> file = app::ProfileFile::Load(addressFile_);
  if (file) {
    topics_ = SplitWebList(
        JoinTopicLists(file->ReadString(u"Themen1", u"Liste"), file->ReadString(u"Themen2", u"Liste")));
    SortWebItems(topics_);
    combo_->Items().BeginUpdate();
    for (const auto& topic : topics_) {
      combo_->Items().Add(topic);
      combo_->setItemIcon(combo_->count() - 1, QIcon(topicIcon_));
    }
    combo_->Items().EndUpdate();
    const int64_t address = app::LeseRegInteger(reg::AusgewaehlteWebseite, 0);
    const int64_t topic = app::LeseRegInteger(reg::ThemenWebseite, -1);
    combo_->SetItemIndex(topic >= 0 && topic < combo_->count() ? static_cast<int>(topic) : -1);
    UniComboBox1Click();
    list_->SetItemIndex(address >= 0 && address < list_->count() ? static_cast<int>(address) : -1);
  }
  restoring_ = false;
}

void TWebPanel::FillAddresses() {
  list_->Items().Clear();
  const std::u16string topic = combo_->ItemIndex() >= 0 ? combo_->Text() : std::u16string();
  if (!topic.empty()) {
    if (const std::optional<app::ProfileFile> file = app::ProfileFile::Load(addressFile_)) {
      std::vector<std::u16string> addresses = SplitWebList(file->ReadString(topic, u"Liste"));
      SortWebItems(addresses);
      list_->Items().BeginUpdate();
      for (const auto& address : addresses) list_->Items().Add(address);
      list_->Items().EndUpdate();
    }
  }
  list_->SetItemIndex(0);
}

void TWebPanel::UniComboBox1Click() {
  FillAddresses();
  WriteIndices();
}

void TWebPanel::UniListBox1Click() { WriteIndices(); }

void TWebPanel::WriteIndices() {
  if (restoring_) return;
  const std::vector<app::RegistryValue> values = {
      {std::u16string(reg::ThemenWebseite), platform::AnsiToWide(std::to_string(combo_->ItemIndex()))},
      {std::u16string(reg::AusgewaehlteWebseite), platform::AnsiToWide(std::to_string(list_->ItemIndex()))},
  };
  if (std::u16string failure; !SchreibeRegKeys(kRegistryKey, values, &failure)) {
    platform::ShowMessageBox(u"Die Einstellungen konnten nicht gespeichert werden: " + failure, u"Quarry-HTML",
                             platform::mb::Ok | platform::mb::IconError);
  }
}

void TWebPanel::UniListBox1MouseMove() {
  const int index = list_->ItemIndex();
  if (index < 0) return;
  list_->SetHint(TakesSearchText(list_->Items()[index]) ? kHintSearchingAddress : kHintPlainAddress);
}

void TWebPanel::SuchImInternetBtnClick() {
  if (!filled_) Fill();
  const std::u16string entry = controls_.SearchEntry ? controls_.SearchEntry->Text() : std::u16string();
  const std::u16string trimmed = Trimmed(entry);
  if (controls_.Panel2 && controls_.Panel2->isHidden()) {
    list_->SetItemIndex(0);
    controls_.Panel2->show();
    if (controls_.UniLabel1)
      controls_.UniLabel1->SetCaption(trimmed.empty() ? std::u16string(kNoSearchText)
                                                      : std::u16string(kSearchCaption) + entry);
    return;
  }
  if (controls_.UniLabel1) controls_.UniLabel1->SetCaption(kSearchCaption);
  const int index = list_->ItemIndex();
  if (index < 0 || trimmed.empty()) return;

  const bool copy = CopySearchTextChecked ? CopySearchTextChecked()
                                          : LeseRegKey(kRegistryKey, reg::SuchwortInZwischenablage) == u"1";
  if (copy) {
    platform::Clipboard& clipboard = platform::TheClipboard();
    if (clipboard.Open()) {
      clipboard.Empty();
      clipboard.SetUnicodeText(trimmed);
      clipboard.Close();
    }
  }
  const std::u16string address = list_->Items()[index];
  const std::optional<std::u16string> target = WebSearchTarget(address, entry);
  if (!target) {
    // Anything else (a file, a program, an option) is not for a web search to start.
    platform::ShowMessageBox(std::u16string(kNoWebAddress) + address, u"Quarry-HTML",
                             platform::mb::Ok | platform::mb::IconWarning);
    return;
  }
  OpenAddress(*target);
  if (controls_.SearchEntry) controls_.SearchEntry->SetText(u"");
  if (controls_.ViewerMemo && controls_.ViewerMemo->isVisible() && controls_.ViewerMemo->SelLength() > 0)
    controls_.ViewerMemo->setFocus();
}

void TWebPanel::OpenAddress(const std::u16string& target) {
  RegistryBrowserSetting registrySetting;
  app::StarteInternetBrowser(target, browserSetting_ ? *browserSetting_ : registrySetting,
                        launcher_ ? *launcher_ : app::DefaultLauncher());
}

void TWebPanel::HideSuggestionsLater() {
  // Not while a control paints: hiding another widget from a paint event is refused.
  if (controls_.Suggestions && controls_.Suggestions->isVisible()) {
    QMetaObject::invokeMethod(
        this,
        [suggestions = QPointer<QWidget>(controls_.Suggestions)] {
          if (suggestions) suggestions->hide();
        },
        Qt::QueuedConnection);
  }
}

void TWebPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!filled_) Fill();
}

void TWebPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The list shows whole items only, as the platform's integral height does.
  const int comboHeight = kItemHeight + 2;
  combo_->setGeometry(0, 0, width(), comboHeight);
  const int frame = 2 * list_->frameWidth();
  const int room = std::max(0, height() - comboHeight - 4 - frame);
  const int rows = std::max(1, room / kItemHeight);
  list_->setGeometry(0, comboHeight + 4, width(), rows * kItemHeight + frame);
}

bool TWebPanel::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) ||
      (watched == list_ && event->type() == QEvent::FocusIn)) {
    if (controls_.Suggestions) controls_.Suggestions->hide();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace search
