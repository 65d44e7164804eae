#include "search/forms/web_panel.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/settings/program_state.h"
#include "search/forms/such_form.h"
#include "app/results/browser.h"
#include "app/settings/registry.h"
#include "platform/clipboard.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"
#include "widgets/uni_list_box.h"
#include "widgets/uni_memo.h"

namespace search {
namespace {

TEST(WebLists, SplitsAtEveryCommaAndKeepsEachItemWhole) {
  const struct {
    std::u16string list;
    std::vector<std::u16string> items;
  } rows[] = {
      {u"https://a.example/, https://b.example/?q=", {u"https://a.example/", u"https://b.example/?q="}},
      {u"https://a.example/,https://b.example/", {u"https://a.example/", u"https://b.example/"}},
      {u" Lexika ,, Nachrichten ,\tReisen\t,", {u"Lexika", u"Nachrichten", u"Reisen"}},
      {u"Lexika", {u"Lexika"}},
      {u"", {}},
      {u" , ,", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(SplitWebList(row.list), row.items);
}

TEST(WebLists, JoinsBothTopicValuesWithAComma) {
  const struct {
    std::u16string themen1, themen2;
    std::vector<std::u16string> topics;
  } rows[] = {
      {u"Lexika,Nachrichten,", u"Reisen", {u"Lexika", u"Nachrichten", u"Reisen"}},
      {u"Lexika,Nachrichten", u"Reisen", {u"Lexika", u"Nachrichten", u"Reisen"}},
      {u"Lexika, Nachrichten", u" Reisen, Wetter", {u"Lexika", u"Nachrichten", u"Reisen", u"Wetter"}},
      {u"", u"Reisen", {u"Reisen"}},
      {u"Lexika", u"", {u"Lexika"}},
      {u"", u"", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(SplitWebList(JoinTopicLists(row.themen1, row.themen2)), row.topics);
}

TEST(WebLists, SortsByTheGermanLocaleIgnoringCase) {
  std::vector<std::u16string> items = {u"Zeitung", u"äpfel", u"Bücher", u"apfel", u"Ärzte"};
  SortWebItems(items);
  EXPECT_EQ(items, (std::vector<std::u16string>{u"apfel", u"äpfel", u"Ärzte", u"Bücher", u"Zeitung"}));
}

TEST(WebSearchTarget, EncodesTheTextAndOpensOnlyWebAddresses) {
  const struct {
    std::u16string address, text;
    std::optional<std::u16string> target;
  } rows[] = {
      {u"https://suche.example/?q=", u"Haus & Garten#ä",
       u"https://suche.example/?q=Haus%20%26%20Garten%23%C3%A4"},
      {u"https://suche.example/wiki/", u"Haus", u"https://suche.example/wiki/Haus"},
      {u"http://suche.example/?q=", u"a+b=c/d?e%f", u"http://suche.example/?q=a%2Bb%3Dc%2Fd%3Fe%25f"},
      {u"HTTPS://Suche.example/?q=", u"\U0001D11E -._~", u"HTTPS://Suche.example/?q=%F0%9D%84%9E%20-._~"},
      {u"https://suche.example/start", u"Haus & Garten", u"https://suche.example/start"},
      {u"ftp://suche.example/", u"Haus", std::nullopt},
      {u"file:///etc/", u"passwd", std::nullopt},
      {u"-new-window=", u"Haus", std::nullopt},
      {u"--headless https://x.example/", u"", std::nullopt},
      {u"javascript:alert(1)//", u"Haus", std::nullopt},
      {u"C:\\Seiten\\index.htm", u"Haus", std::nullopt},
      {u"https://", u"Haus", std::nullopt},
      {u"https:///pfad/", u"Haus", std::nullopt},
      {u"https://a.example/\u0001", u"Haus", std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(WebSearchTarget(row.address, row.text), row.target)
        << std::string(row.address.begin(), row.address.end());
  }
  EXPECT_TRUE(TakesSearchText(u"https://a.example/"));
  EXPECT_TRUE(TakesSearchText(u"https://a.example/?q="));
  EXPECT_FALSE(TakesSearchText(u"https://a.example/start"));
  EXPECT_FALSE(TakesSearchText(u""));
}

TEST(WebPanelColor, ShadesAsTheDatabaseList) {
  const struct {
    QColor color;
    int8_t percent;
    QColor shaded;
  } rows[] = {
      {QColor(5, 100, 255), -10, QColor(4, 90, 230)},  // 4.5 and 229.5 go to the even neighbour
      {QColor(15, 25, 35), -10, QColor(14, 22, 32)},   // 13.5 -> 14, 22.5 -> 22, 31.5 -> 32
      {QColor(0, 250, 255), 10, QColor(26, 251, 255)},  // lighter rounds up
      {QColor(51, 153, 255), 0, QColor(51, 153, 255)},
  };
  for (const auto& row : rows) EXPECT_EQ(FarbeTonen(row.color, row.percent), row.shaded) << row.color.name().toStdString();
}

// Records what would have been started; nothing is ever run.
class FakeLauncher : public app::ProcessLauncher {
 public:
  std::string FindProgram(const std::string& name) const override {
    return name == "firefox" ? "/opt/fake/firefox" : std::string();
  }
  bool Start(const std::string& program, const std::vector<std::string>& arguments, const std::string&) override {
    started.push_back({program, arguments});
    return true;
  }
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
  };
  std::vector<Call> started;
};

class FixedBrowser : public app::BrowserSettingStore {
 public:
  std::u16string ReadBrowser() override { return browser; }
  void WriteBrowser(const std::u16string& value) override { browser = value; }
  std::u16string browser = u"standard";
};

const char kAddressFile[] =
    "; Adressen der Websuche\r\n"
    "[Themen1]\r\n"
    "Liste=Reisen, Lexika,\r\n"
    "[Themen2]\r\n"
    "Liste=Nachrichten\r\n"
    "[Lexika]\r\n"
    "Liste=https://lexikon.example/wiki/, https://lexikon.example/start,https://lexikon.example/?suche=\r\n"
    "[nachrichten]\r\n"
    "liste=https://news.example/?q=, -new-window=, file:///etc/\r\n";
// Sorted: topics Lexika, Nachrichten, Reisen; Lexika's addresses
// https://lexikon.example/?suche=, https://lexikon.example/start, https://lexikon.example/wiki/.

class WebPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUARRY_SETTINGS", drive_.Posix("registry.ini").c_str(), 1);
    previousClipboard_ = platform::SetClipboard(clipboard_);
    std::filesystem::create_directories(drive_.Posix("base"));
    drive_.WriteFile("base/Adressen_Webseiten.txt", kAddressFile);
    window_.resize(480, 400);
    panel2_ = new QWidget(&window_);
    panel2_->setGeometry(8, 60, 450, 164);
    label5_ = new QLabel(&window_);
    uniLabel1_ = new widgets::TUniLabel(&window_);
    uniLabel1_->setGeometry(8, 30, 450, 22);
    entry_ = new widgets::TUniEdit(&window_);
    suggestions_ = new QListWidget(&window_);
    suggestions_->hide();
    memo_ = new widgets::TUniMemo(&window_);
    memo_->hide();
    panel_ = std::make_unique<TWebPanel>();
    panel_->BaseFolder = [this] { return drive_.Drive(u"base\\"); };
    panel_->SetBrowser(&browser_, &launcher_);
    panel_->SetControls({panel2_, label5_, uniLabel1_, entry_, suggestions_, memo_});
  }
  void TearDown() override {
    panel_.reset();
    platform::SetClipboard(previousClipboard_);
    unsetenv("QUARRY_SETTINGS");
  }
  static std::u16string Reg(std::u16string_view name) { return app::LeseRegKey(app::kRegistryKey, name); }
  static void SetReg(std::u16string_view name, std::u16string_view value) { app::SchreibeRegKey(app::kRegistryKey, name, value); }
  widgets::TUniComboBox& Combo() { return *panel_->UniComboBox1(); }
  widgets::TUniListBox& List() { return *panel_->UniListBox1(); }
  // The topic and the address chosen as the user would.
  void Choose(int topic, int address) {
    Combo().SetItemIndex(topic);
    emit Combo().Click();
    SelectAddress(address);
  }
  void SelectAddress(int address) {
    List().SetItemIndex(address);
    emit List().Click();
  }

  testsupport::TempDrive drive_;
  testsupport::ScopedRecordingSink sink_;
  std::shared_ptr<platform::MemoryClipboard> clipboard_ = std::make_shared<platform::MemoryClipboard>();
  std::shared_ptr<platform::Clipboard> previousClipboard_;
  FakeLauncher launcher_;
  FixedBrowser browser_;
  QWidget window_;
  QWidget* panel2_ = nullptr;
  QLabel* label5_ = nullptr;
  widgets::TUniLabel* uniLabel1_ = nullptr;
  widgets::TUniEdit* entry_ = nullptr;
  QListWidget* suggestions_ = nullptr;
  widgets::TUniMemo* memo_ = nullptr;
  std::unique_ptr<TWebPanel> panel_;
};

TEST_F(WebPanelTest, FillsSortedTopicsAndTheChosenTopicsAddresses) {
  EXPECT_EQ(label5_->text(), QStringLiteral("Für die Suche im Internet, hier eine Adresse wählen:"));
  EXPECT_EQ(panel_->parentWidget(), panel2_);
  panel_->Fill();
  ASSERT_EQ(Combo().count(), 3);
  EXPECT_EQ(Combo().Items()[0], u"Lexika");
  EXPECT_EQ(Combo().Items()[1], u"Nachrichten");
  EXPECT_EQ(Combo().Items()[2], u"Reisen");

  Choose(0, 2);
  ASSERT_EQ(List().count(), 3);
  EXPECT_EQ(List().Items()[0], u"https://lexikon.example/?suche=");
  EXPECT_EQ(List().Items()[1], u"https://lexikon.example/start");
  EXPECT_EQ(List().Items()[2], u"https://lexikon.example/wiki/");
  EXPECT_EQ(Reg(app::reg::ThemenWebseite), u"0");
  EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), u"2");

  // A topic without a section has no addresses; choosing a topic selects its first address.
  Combo().SetItemIndex(2);
  panel_->UniComboBox1Click();
  EXPECT_EQ(List().count(), 0);
  EXPECT_EQ(Reg(app::reg::ThemenWebseite), u"2");
  EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), u"-1");
  Combo().SetItemIndex(1);
  panel_->UniComboBox1Click();
  EXPECT_EQ(List().count(), 3);
  EXPECT_EQ(List().ItemIndex(), 0);
  EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), u"0");
}

TEST_F(WebPanelTest, RestoresTheStoredTopicThenTheStoredAddressAndKeepsBoth) {
  const struct {
    std::u16string topic, address;
    int combo, list;
  } rows[] = {
      {u"0", u"2", 0, 2},   // the address outlives the topic's selection of its first one
      {u"1", u"", 1, 0},    // empty address: 0
      {u"", u"", -1, -1},   // empty topic: none, so no addresses
      {u"7", u"0", -1, -1},  // beyond the list: nothing selected
      {u"0", u"9", 0, -1},
      {u"x", u"1", -1, -1},
  };
  for (const auto& row : rows) {
    SetReg(app::reg::ThemenWebseite, row.topic);
    SetReg(app::reg::AusgewaehlteWebseite, row.address);
    panel_->Fill();
    const std::string what = std::string(row.topic.begin(), row.topic.end()) + "/" +
                             std::string(row.address.begin(), row.address.end());
    EXPECT_EQ(Combo().ItemIndex(), row.combo) << what;
    EXPECT_EQ(List().ItemIndex(), row.list) << what;
    // Restoring writes nothing, so the next start finds the same choice.
    EXPECT_EQ(Reg(app::reg::ThemenWebseite), row.topic) << what;
    EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), row.address) << what;
  }

  // The user's choice is what a reopened window shows.
  Choose(1, 0);
  Choose(0, 2);
  TWebPanel reopened;
  reopened.BaseFolder = panel_->BaseFolder;
  reopened.Fill();
  EXPECT_EQ(reopened.UniComboBox1()->ItemIndex(), 0);
  EXPECT_EQ(reopened.UniListBox1()->ItemIndex(), 2);
}

TEST_F(WebPanelTest, WithoutTheAddressFileTheListsStayEmptyAndNothingOpens) {
  ASSERT_EQ(unlink(drive_.Posix("base/Adressen_Webseiten.txt").c_str()), 0);
  panel_->Fill();
  EXPECT_EQ(Combo().count(), 0);
  EXPECT_EQ(List().count(), 0);
  entry_->SetText(u"Haus");
  panel_->SuchImInternetBtnClick();
  EXPECT_EQ(uniLabel1_->Caption(), u"Suchtext: ");
  EXPECT_TRUE(launcher_.started.empty());
  EXPECT_EQ(entry_->Text(), u"Haus");
}

TEST_F(WebPanelTest, OpensTheEncodedSearchWithAnArgumentList) {
  panel_->Fill();
  panel_->CopySearchTextChecked = [] { return true; };
  Choose(1, 0);  // Nachrichten: -new-window=, file:///etc/, https://news.example/?q=
  ASSERT_EQ(List().Items()[2], u"https://news.example/?q=");
  SelectAddress(2);
  entry_->SetText(u" Haus & Garten#ä");
  panel_->SuchImInternetBtnClick();
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].program, "xdg-open");
  EXPECT_EQ(launcher_.started[0].arguments,
            std::vector<std::string>{"https://news.example/?q=%20Haus%20%26%20Garten%23%C3%A4"});
  EXPECT_EQ(clipboard_->unicodeText, u"Haus & Garten#ä");
  EXPECT_EQ(entry_->Text(), u"");
  EXPECT_EQ(uniLabel1_->Caption(), u"Suchtext: ");

  // A chosen browser gets the address as its only argument; a plain address goes alone.
  browser_.browser = u"firefox";
  panel_->CopySearchTextChecked = [] { return false; };
  clipboard_->unicodeText.clear();
  Choose(0, 1);
  entry_->SetText(u"Haus");
  panel_->SuchImInternetBtnClick();
  ASSERT_EQ(launcher_.started.size(), 2u);
  EXPECT_EQ(launcher_.started[1].program, "firefox");
  EXPECT_EQ(launcher_.started[1].arguments, std::vector<std::string>{"https://lexikon.example/start"});
  EXPECT_EQ(clipboard_->unicodeText, u"");
}

TEST_F(WebPanelTest, RefusesEveryAddressThatIsNoWebAddress) {
  panel_->Fill();
  for (int row : {0, 1}) {  // -new-window=, file:///etc/
    Choose(1, row);
    entry_->SetText(u"Haus");
    panel_->SuchImInternetBtnClick();
    EXPECT_EQ(entry_->Text(), u"Haus");
  }
  EXPECT_TRUE(launcher_.started.empty());
  ASSERT_EQ(sink_->Boxes().size(), 2u);
  EXPECT_EQ(sink_->Boxes()[0].text, std::u16string(kNoWebAddress) + u"-new-window=");
  EXPECT_EQ(sink_->Boxes()[1].text, std::u16string(kNoWebAddress) + u"file:///etc/");

  // Without text or without an address nothing opens and nothing is said.
  Choose(0, 0);
  entry_->SetText(u"   ");
  panel_->SuchImInternetBtnClick();
  List().SetItemIndex(-1);
  entry_->SetText(u"Haus");
  panel_->SuchImInternetBtnClick();
  EXPECT_TRUE(launcher_.started.empty());
  EXPECT_EQ(sink_->Boxes().size(), 2u);
}

TEST_F(WebPanelTest, AHiddenPanelIsOnlyShown) {
  window_.show();
  panel_->Fill();
  Choose(0, 2);
  panel2_->hide();
  entry_->SetText(u"Haus ");
  panel_->SuchImInternetBtnClick();
  EXPECT_FALSE(panel2_->isHidden());
  EXPECT_EQ(List().ItemIndex(), 0);
  EXPECT_EQ(uniLabel1_->Caption(), u"Suchtext: Haus ");
  EXPECT_TRUE(launcher_.started.empty());
  EXPECT_EQ(entry_->Text(), u"Haus ");
  EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), u"2");  // selected by program: nothing written

  panel2_->hide();
  entry_->SetText(u" ");
  panel_->SuchImInternetBtnClick();
  EXPECT_EQ(uniLabel1_->Caption(), u"Suchtext: Es wurde kein Text eingegeben!");
  EXPECT_TRUE(launcher_.started.empty());
}

TEST_F(WebPanelTest, TheHintFollowsTheSelectedAddress) {
  panel_->Fill();
  Choose(0, 0);  // ends in "="
  panel_->UniListBox1MouseMove();
  EXPECT_EQ(List().Hint(), u"Grünes Symbol: [>] Webseite sucht selbständig nach dem Suchtext.");
  SelectAddress(1);
  emit List().MouseMove({}, QPoint(5, 5));
  EXPECT_EQ(List().Hint(),
            u"Weißes Symbol: [+] Sie müssen den Suchtext auf der Webseite\r\nmit Hilfe der Zwischenablage "
            u"einfügen bzw. eintippen.");
  SelectAddress(2);  // ends in "/"
  panel_->UniListBox1MouseMove();
  EXPECT_EQ(List().Hint(), std::u16string(kHintSearchingAddress));
}

TEST_F(WebPanelTest, DrawsItemsWithIconsAndTheShadedSelection) {
  const QColor main(0x33, 0x99, 0xFF);
  panel_->SetMainColor(main);
  suggestions_->show();
  window_.show();  // the first show fills the lists
  ASSERT_TRUE(panel_->Filled());
  Choose(0, 1);
  EXPECT_EQ(Combo().maxVisibleItems(), 15);
  EXPECT_EQ(List().visualItemRect(List().item(0)).height(), 28);
  // Whole items only: the list's inner height is a multiple of the item height.
  EXPECT_EQ(List().viewport()->height() % 28, 0);
  const QImage image = panel2_->grab().toImage();
  if (const char* folder = std::getenv("QUARRY_FORM_SHOTS"))
    image.save(QString::fromUtf8(folder) + QStringLiteral("/web_panel.png"));
  QApplication::processEvents();
  // Drawing the address list leaves the suggestion list alone: it repaints when the
  // entry takes the focus to show them.
  EXPECT_FALSE(suggestions_->isHidden());

  const QRect selected = List().visualItemRect(List().item(1));
  const QPoint inPanel = List().viewport()->mapTo(panel2_, selected.topLeft());
  const QColor shaded = FarbeTonen(main, -10);
  // Right of the text, inside the selected row, and in an unselected row.
  EXPECT_EQ(image.pixelColor(inPanel + QPoint(selected.width() - 6, 14)), shaded);
  EXPECT_NE(image.pixelColor(inPanel + QPoint(selected.width() - 6, 14 + 28)), shaded);
  // The address icons: green for one that searches by itself, white for the other.
  const QPoint icon(1 + 5, 2 + 5);  // inside the frame, off the symbol
  const QColor green = image.pixelColor(List().viewport()->mapTo(panel2_, icon));
  const QColor white = image.pixelColor(List().viewport()->mapTo(panel2_, icon + QPoint(0, 28)));
  EXPECT_GT(green.green(), green.red() + 60);
  EXPECT_EQ(white, QColor(Qt::white));
  EXPECT_EQ(panel_->SelectedItemColor(), shaded);

  // The topics' drop-down draws them the same way, 28 pixels high.
  Combo().showPopup();
  QAbstractItemView& popup = *Combo().view();
  EXPECT_EQ(popup.visualRect(Combo().model()->index(1, 0)).height(), 28);
  const QImage topics = popup.grab().toImage();
  if (const char* folder = std::getenv("QUARRY_FORM_SHOTS"))
    topics.save(QString::fromUtf8(folder) + QStringLiteral("/web_panel_topics.png"));
  const QRect current = popup.visualRect(Combo().model()->index(0, 0));
  EXPECT_EQ(topics.pixelColor(popup.viewport()->mapTo(&popup, current.topRight() + QPoint(-4, 14))), shaded);
  // Drawing the open drop-down hides the suggestion list, and so does using the list.
  QApplication::processEvents();
  EXPECT_TRUE(suggestions_->isHidden());
  Combo().hidePopup();
  suggestions_->show();
  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().visualItemRect(List().item(0)).center());
  EXPECT_TRUE(suggestions_->isHidden());
  EXPECT_EQ(Reg(app::reg::AusgewaehlteWebseite), u"0");
}

TEST_F(WebPanelTest, TheSearchWindowCarriesThePanelAndItsButton) {
  app::ProgramState state;
  state.BaseFolder = drive_.Drive(u"base\\");
  TSuchForm form(state);
  TWebPanel& panel = *form.WebPanel();
  panel.SetBrowser(&browser_, &launcher_);
  EXPECT_EQ(panel.parentWidget(), form.WebPanelHost());
  form.show();
  ASSERT_EQ(panel.UniComboBox1()->count(), 3);
  EXPECT_GE(panel.width(), 400);
  EXPECT_GE(panel.UniListBox1()->height(), 3 * TWebPanel::kItemHeight);
  if (const char* folder = std::getenv("QUARRY_FORM_SHOTS"))
    form.grab().save(QString::fromUtf8(folder) + QStringLiteral("/web_panel_in_window.png"));

  panel.UniComboBox1()->SetItemIndex(0);
  emit panel.UniComboBox1()->Click();
  form.SetSearchText(u"Haus & Garten#ä");
  QPushButton* button = form.findChild<QPushButton*>(QStringLiteral("SuchImInternetBtn"));
  ASSERT_NE(button, nullptr);
  button->click();
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].arguments,
            std::vector<std::string>{"https://lexikon.example/?suche=Haus%20%26%20Garten%23%C3%A4"});
}

}  // namespace
}  // namespace search
