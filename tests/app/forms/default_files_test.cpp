// The lists a fresh installation ships in its base folder, and that a user's own stay.
#include "app/settings/default_files.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "forms_fixture.h"
#include "search/forms/web_panel.h"
#include "ui_ok_bottom_dlg.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_list_box.h"

namespace formstest {
namespace {

class DefaultFilesTest : public FormsTest {};

TEST_F(DefaultFilesTest, AFreshBaseFolderGetsBothListsAndEveryWindowUsesThem) {
  auto w = Start();
  w->main->FormPaint();
  for (const app::DefaultFile& file : app::DefaultFiles()) {
    const std::u16string name = file.name;
    EXPECT_EQ(drive_.ReadFile("base/" + std::string(name.begin(), name.end())), std::string(file.bytes));
  }

  // The web panel: topics, and the addresses of a topic whose name is not plain ASCII.
  w->search->show();
  search::TWebPanel& panel = *w->search->WebPanel();
  widgets::TUniComboBox& topics = *panel.UniComboBox1();
  std::vector<std::u16string> names;
  for (int i = 0; i < topics.count(); ++i) names.push_back(widgets::FromQ(topics.itemText(i)));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Karten", u"Nachschlagewerke", u"Suchmaschinen", u"Wörterbücher"}));
  for (int i = 0; i < topics.count(); ++i) {
    topics.SetItemIndex(i);
    panel.UniComboBox1Click();
    widgets::TUniListBox& addresses = *panel.UniListBox1();
    ASSERT_GE(addresses.count(), 2) << i;
    for (int a = 0; a < addresses.count(); ++a) {
      const QString address = addresses.item(a)->text();
      EXPECT_TRUE(address.startsWith(QStringLiteral("https://"))) << address.toStdString();
      // Every shipped site takes the search text.
      EXPECT_TRUE(address.endsWith(QLatin1Char('=')) || address.endsWith(QLatin1Char('/'))) << address.toStdString();
    }
  }
  w->search->hide();

  // The dialog offers the combinations, archives included.
  QComboBox* choices = w->dialog->Form().ComboBox1;
  for (const char* pattern : {"*.htm *.html", "*.mht *.eml", "*.htm *.html *.mht *.eml"})
    EXPECT_GE(choices->findText(QString::fromLatin1(pattern)), 0) << pattern;
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(DefaultFilesTest, WhatIsThereAlreadyStays) {
  drive_.WriteFile("base/AuswahlEndungen.txt", "*.xml\r\n");
  std::filesystem::create_directories(drive_.Posix("base/Adressen_Webseiten.txt"));
  EXPECT_EQ(app::InstallDefaultFiles(u"T:\\base\\"), u"");
  EXPECT_EQ(drive_.ReadFile("base/AuswahlEndungen.txt"), "*.xml\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(drive_.Posix("base/Adressen_Webseiten.txt")));
  // A base folder that cannot take them names what is missing.
  EXPECT_EQ(app::InstallDefaultFiles(u"T:\\fehlt\\"), u"Adressen_Webseiten.txt, AuswahlEndungen.txt");
}

TEST_F(DefaultFilesTest, AfterXTheDefaultCanBeChosenAgainEvenWithAUsersOwnList) {
  for (const char* own : {"", "*.xml\r\n*.txt\r\n"}) {
    if (*own) drive_.WriteFile("base/AuswahlEndungen.txt", own);
    auto w = Start();
    w->main->FormPaint();
    Ui::TOKBottomDlg& ui = w->dialog->Form();
    ui.Button1->click();
    EXPECT_TRUE(ui.Edit3->text().isEmpty());
    const int index = ui.ComboBox1->findText(QStringLiteral("*.htm *.html"));
    ASSERT_GE(index, 0) << own;
    emit ui.ComboBox1->activated(index);
    EXPECT_EQ(ui.Edit3->text(), QStringLiteral("*.htm *.html")) << own;
  }
}

}  // namespace
}  // namespace formstest
