#pragma once
// The search window's web search: a topic box and an address list filled from
// "Adressen_Webseiten.txt" in the base folder, and "Suche im Internet", which opens the
// chosen address in the browser of the settings. The panel is a widget of its own that the
// search window embeds in its Panel2; the window's other controls it works with are handed
// to it, so it never needs the window's layout.
//
// The search text leaves the program only percent-encoded as UTF-8 and only behind an
// http or https address: no character of it can end the address, start a fragment, or
// reach the browser as an option.
#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;

namespace widgets {
class TUniComboBox;
class TUniEdit;
class TUniLabel;
class TUniListBox;
class TUniMemo;
}  // namespace widgets

namespace app {
class BrowserSettingStore;
class ProcessLauncher;
}  // namespace app

namespace search {

inline constexpr std::u16string_view kAddressFileName = u"Adressen_Webseiten.txt";
inline constexpr std::u16string_view kWebPanelCaption = u"Für die Suche im Internet, hier eine Adresse wählen:";
inline constexpr std::u16string_view kHintSearchingAddress =
    u"Grünes Symbol: [>] Webseite sucht selbständig nach dem Suchtext.";
inline constexpr std::u16string_view kHintPlainAddress =
    u"Weißes Symbol: [+] Sie müssen den Suchtext auf der Webseite\r\nmit Hilfe der Zwischenablage einfügen bzw. "
    u"eintippen.";
inline constexpr std::u16string_view kSearchCaption = u"Suchtext: ";
inline constexpr std::u16string_view kNoSearchText = u"Suchtext: Es wurde kein Text eingegeben!";
inline constexpr std::u16string_view kNoWebAddress =
    u"Nur Adressen, die mit http:// oder https:// beginnen, werden geöffnet:\r\n";

// The pieces of a list between commas, trimmed, empty ones left out. Every piece counts
// whole: the lists are written with or without a blank after the comma.
std::vector<std::u16string> SplitWebList(std::u16string_view list);
// The topics of both topic values. A comma joins them, so the last topic of the first
// and the first of the second stay two topics.
std::u16string JoinTopicLists(std::u16string_view themen1, std::u16string_view themen2);
// The items as the sorted controls hold them: by the German locale, ignoring case.
void SortWebItems(std::vector<std::u16string>& items);
// An address ending in "/" or "=" is built to take the search text (green icon).
bool TakesSearchText(std::u16string_view address);
// An http or https address with a host and no control character.
bool IsWebAddress(std::u16string_view address);
// Every byte of the text's UTF-8 outside the unreserved characters as %XX.
std::u16string PercentEncodeUtf8(std::u16string_view text);
// What "Suche im Internet" opens for an address and the entry's text: the address, with
// the encoded text appended when it takes one; nullopt for anything but a web address.
std::optional<std::u16string> WebSearchTarget(std::u16string_view address, std::u16string_view searchText);

// Darker (percent < 0) or lighter by the percentage; the database list's shading.
QColor FarbeTonen(const QColor& color, int8_t percent);

// The search window's controls the panel works with; any may be missing.
struct TWebPanelControls {
  QWidget* Panel2 = nullptr;  // holds the panel; the sorted-list builder hides it
  QLabel* Label5 = nullptr;   // the panel's caption
  widgets::TUniLabel* UniLabel1 = nullptr;
  widgets::TUniEdit* SearchEntry = nullptr;  // UniEdit2
  QWidget* Suggestions = nullptr;            // UniListBox2, hidden when an item is drawn
  widgets::TUniMemo* ViewerMemo = nullptr;
};

class TWebPanel : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kItemHeight = 28;
  static constexpr int kVisibleTopics = 15;

  explicit TWebPanel(QWidget* parent = nullptr);
  ~TWebPanel() override;

  // Takes the window's controls and places the panel in Panel2's box layout (made when
  // Panel2 has none).
  void SetControls(const TWebPanelControls& controls);
  // The base folder (drive form, ending in "\") whose address file fills the lists.
  std::function<std::u16string()> BaseFolder;
  // The settings window's "copy the search text" box; by default its stored value.
  std::function<bool()> CopySearchTextChecked;
  // The browser start; the settings' browser and the real programs by default.
  void SetBrowser(app::BrowserSettingStore* settings, app::ProcessLauncher* launcher);
  // The main window's colour, which the selected item takes 10 % darker; without one
  // the colour of Panel2's parent, which the search window gives the main window's colour.
  void SetMainColor(const QColor& color) { mainColor_ = color; }
  QColor SelectedItemColor() const;
  // The lists can be used only while the search entry holds text.
  void SetListsEnabled(bool on);

  // Fills the lists and restores the stored topic and address. Runs by itself when the
  // panel is first shown; a later call fills anew.
  void Fill();
  bool Filled() const { return filled_; }

  // Handlers.
  void UniComboBox1Click();
  void UniListBox1Click();
  void UniListBox1MouseMove();
  void SuchImInternetBtnClick();

  widgets::TUniComboBox* UniComboBox1() const { return combo_; }
  widgets::TUniListBox* UniListBox1() const { return list_; }
  // Image3, Image1 (green) and Image2 (white), pure red transparent.
  const QPixmap& TopicIcon() const { return topicIcon_; }
  const QPixmap& SearchingAddressIcon() const { return greenIcon_; }
  const QPixmap& PlainAddressIcon() const { return whiteIcon_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class WebItemDelegate;
  void FillAddresses();
  void WriteIndices();
  void HideSuggestionsLater();
  void OpenAddress(const std::u16string& target);

  widgets::TUniComboBox* combo_ = nullptr;
  widgets::TUniListBox* list_ = nullptr;
  TWebPanelControls controls_;
  std::optional<QColor> mainColor_;
  QPixmap topicIcon_, greenIcon_, whiteIcon_;
  std::vector<std::u16string> topics_;
  app::BrowserSettingStore* browserSetting_ = nullptr;
  app::ProcessLauncher* launcher_ = nullptr;
  bool filled_ = false;
  bool restoring_ = false;  // no index is written while the stored ones are restored
  // The address file found at filling; a chosen topic reads its addresses from it anew.
  std::u16string addressFile_;
};

}  // namespace search
