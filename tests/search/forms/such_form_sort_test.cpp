// The sorted-list builder in the search window: shown from the settings window, a build
// writes the list and gives the controls back, a cancel writes nothing and leaves no
// cancel behind for the next search.
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/forms/other_forms.h"
#include "platform/pump.h"
#include "tests/app/forms/forms_fixture.h"
#include "tests/search/search_fixtures.h"
#include "widgets/qt_wide.h"

namespace {

using Kind = search::TSuchForm::StoreKind;

class SearchWindowSort : public formstest::FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    std::filesystem::create_directories(drive_.Posix("base/Datenbank/Temp"));
    platform::SetPumpHook([] { QCoreApplication::processEvents(); });
    w_ = Start();
    w_->state.CurrentDbName = u"db";
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  }
  void TearDown() override {
    platform::SetPumpHook(nullptr);
    w_.reset();
    FormsTest::TearDown();
  }
  search::TSuchForm& Form() { return *w_->search; }
  template <typename T = QWidget>
  T* Child(const char* name) {
    return Form().findChild<T*>(QString::fromLatin1(name));
  }
  bool BuilderShown() {
    for (const char* name : {"Bevel5", "Label4", "ProgressBar1", "SortierteListenErstellenButton",
                             "SortAbbrechenButton", "nurWoerterButton", "nurSaetzeButton", "WoerterUndSaetzeButton",
                             "RadioGroup1"}) {
      EXPECT_EQ(Child(name)->isVisible(), Child("SortierteListenErstellenButton")->isVisible()) << name;
    }
    return Child("SortierteListenErstellenButton")->isVisible();
  }
  void ShowBuilderFromSettings() {
    sink_->Answer(platform::MsgResult::Yes);
    w_->settings->SortierungAnzeigenBitBtnClick();
  }
  std::filesystem::path ListFile() { return drive_.Posix("base/Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"); }
  std::u16string Caption() { return widgets::FromQ(Form().windowTitle()); }

  std::unique_ptr<formstest::Windows> w_;
};

TEST_F(SearchWindowSort, TheSettingsShowTheBuilderAndABuildWritesTheList) {
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt",
                   searchtest::Utf8Store({{u"T:\\a.htm", u"Das Haus, der Garten.\r\n"}}));
  EXPECT_FALSE(BuilderShown());
  ShowBuilderFromSettings();
  EXPECT_TRUE(BuilderShown());
  EXPECT_FALSE(Child("Panel2")->isVisible());
  EXPECT_TRUE(Child<QRadioButton>("WoerterUndSaetzeButton")->isChecked());

  Form().LadenButtonClick(Kind::Utf8);
  EXPECT_FALSE(Child("SortierteListeBtn")->isEnabled());
  Child<QRadioButton>("nurWoerterButton")->setChecked(true);
  Form().SetSearchText(u"Haus");
  Child<QPushButton>("SortierteListenErstellenButton")->click();

  ASSERT_TRUE(std::filesystem::exists(ListFile()));
  const std::string list = drive_.ReadFile("base/Datenbank/db_Phrasen_Woerter_Utf8Liste.txt");
  EXPECT_NE(list.find("Garten.\r\n"), std::string::npos);
  EXPECT_EQ(list.find("Das Haus\r\n"), std::string::npos) << "words only";
  EXPECT_FALSE(Form().SortRunning());
  EXPECT_EQ(Child<QLabel>("Label4")->text(), QStringLiteral("Fertig"));
  EXPECT_EQ(Caption(), u"Quarry-HTML - Suche");
  EXPECT_TRUE(BuilderShown());
  for (const char* name : {"UniEdit2", "UniEdit1", "OKBtn", "SortierteListenErstellenButton", "SortierteListeBtn",
                           "UTF8LadenButton", "CancelBtn", "nurSaetzeButton"}) {
    EXPECT_TRUE(Child(name)->isEnabled()) << name;
  }
  Form().ZeilenAlsListeSortierenClick();
  EXPECT_EQ(Form().PositionCaption(), u"Sortierte UTF8-Liste von DB: \"db\"");
  EXPECT_TRUE(BoxTexts().size() == 1) << "only the settings' question";
}

TEST_F(SearchWindowSort, ADatabaseWithoutDocumentsIsReported) {
  ShowBuilderFromSettings();
  Form().SortierteListenErstellenButtonClick();
  ASSERT_EQ(BoxTexts().size(), 2u);
  EXPECT_EQ(BoxTexts()[1], u"Für die Datenbank \"db\" existieren keine Dokumente, die sortiert werden könnten!");
  EXPECT_TRUE(Child("SortierteListenErstellenButton")->isEnabled());
}

TEST_F(SearchWindowSort, CancelDuringABuildWritesNothingAndKeepsTheWindow) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) text += u"Zeile Nummer " + std::u16string(1, u'a' + i % 26) + u" mit Text\r\n";
  drive_.WriteFile("base/Datenbank/db_UTF8Dokument.txt", searchtest::Utf8Store({{u"T:\\a.htm", text}}));
  ShowBuilderFromSettings();
  bool sawRunning = false;
  // The "Abbrechen" of the window's bottom row, pressed once the run pumps messages.
  QTimer::singleShot(0, &Form(), [&] {
    sawRunning = Form().SortRunning() && !Child("UniEdit2")->isEnabled() && Child("SortAbbrechenButton")->isEnabled();
    Form().CancelBtnClick();
  });
  Form().SortierteListenErstellenButtonClick();
  EXPECT_TRUE(sawRunning);
  EXPECT_FALSE(std::filesystem::exists(ListFile()));
  EXPECT_TRUE(Form().isVisible());
  EXPECT_FALSE(BuilderShown());
  EXPECT_TRUE(Child("Panel2")->isVisible());
  EXPECT_EQ(Caption(), u"Quarry-HTML - Suche");
  EXPECT_FALSE(w_->state.CancelRequested) << "a later search would stop at once";
  EXPECT_TRUE(Child("UniEdit2")->isEnabled());
}

TEST_F(SearchWindowSort, TheBuildersCancelWithoutARunPutsItAway) {
  ShowBuilderFromSettings();
  Child<QPushButton>("SortAbbrechenButton")->click();
  EXPECT_FALSE(BuilderShown());
  EXPECT_TRUE(Child("Panel2")->isVisible());
  EXPECT_EQ(Child<QLabel>("Label4")->text(), QStringLiteral("Sortierte Liste von: "));
  EXPECT_FALSE(w_->state.CancelRequested);
  EXPECT_TRUE(Form().isVisible());
}

TEST_F(SearchWindowSort, TheBuildersControlsFitAtTheSmallestSizeAndMaximised) {
  ShowBuilderFromSettings();
  for (const bool maximised : {false, true}) {
    if (maximised) {
      Form().showMaximized();
    } else {
      Form().resize(1043, 500);
    }
    QCoreApplication::processEvents();
    const std::string state = maximised ? "maximised" : "smallest";
    std::vector<QRect> taken;
    for (const char* name : {"UniEdit2", "GrossKleinBeachten", "NurGanzeWoerterCheckBox", "Label1", "Bevel5",
                             "RadioGroup1", "SortierteListenErstellenButton", "SortAbbrechenButton", "Label4",
                             "ProgressBar1"}) {
      QWidget* w = Child(name);
      ASSERT_TRUE(w->isVisible()) << name;
      const QRect r(w->mapTo(&Form(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(Form().rect().contains(r)) << state << ": " << name;
      for (const QRect& other : taken) EXPECT_FALSE(r.intersects(other)) << state << ": " << name;
      taken.push_back(r);
    }
    formstest::ExpectEveryTextFits(Form(), state.c_str());
    if (const char* folder = std::getenv("QUARRY_VIEWER_SHOTS"))
      Form().grab().save(QString::fromUtf8(folder) + QStringLiteral("/sort-") + QString::fromStdString(state) +
                         QStringLiteral(".png"));
  }
}

}  // namespace
