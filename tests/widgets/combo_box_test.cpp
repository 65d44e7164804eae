#include "widgets/uni_combo_box.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

TEST(ComboBox, EqualTextChangesNothingAndADifferentOneNotifiesOnce) {
  TUniComboBox box;
  QSignalSpy changed(&box, &TUniComboBox::Changed);
  box.SetText(u"");
  EXPECT_EQ(changed.count(), 0);
  box.SetText(u"Κείμενο");
  EXPECT_EQ(box.Text(), u"Κείμενο");
  EXPECT_EQ(changed.count(), 1);
  box.SetText(u"Κείμενο");
  EXPECT_EQ(changed.count(), 1);
  box.SetText(u"Κείμενα");  // differs outside code page 1252 only
  EXPECT_EQ(changed.count(), 2);
}

TEST(ComboBox, ItemChangesKeepTheText) {
  TUniComboBox box;
  box.SetText(u"getippt");
  QSignalSpy changed(&box, &TUniComboBox::Changed);
  box.Items().Add(u"erstes");  // Qt alone would select a first item and show it
  box.Items().Insert(0, u"nulltes");
  EXPECT_EQ(box.Text(), u"getippt");
  EXPECT_EQ(box.ItemIndex(), -1);
  box.Items().Clear();
  EXPECT_EQ(box.Items().Count(), 0);
  EXPECT_EQ(box.Text(), u"getippt");
  EXPECT_EQ(changed.count(), 0);
}

TEST(ComboBox, ItemsReadWrongIndexesAsEmptyAndRefuseWrongInserts) {
  TUniComboBox box;
  int object = 0;
  box.AddItem(u"Ä-Laut", &object);
  box.Items().Add(u"zwei");
  for (int index : {-1, 2, 50}) EXPECT_EQ(box.Items().Get(index), u"");
  EXPECT_EQ(box.Items().GetObject(0), &object);
  EXPECT_EQ(box.Items().GetObject(1), nullptr);
  EXPECT_THROW(box.Items().GetObject(2), textlib::EStringListError);
  for (int index : {3, -2}) EXPECT_THROW(box.Items().Insert(index, u"x"), textlib::EOutOfResources);
  EXPECT_EQ(box.Items().Text(), u"Ä-Laut\r\nzwei\r\n");
  box.Items().Delete(0);
  EXPECT_EQ(box.Items().Text(), u"zwei\r\n");
}

TEST(ComboBox, UpdateBracketHoldsBackRepaintingAndSignals) {
  TUniComboBox box;
  QSignalSpy index(&box, &QComboBox::currentIndexChanged);
  box.Items().BeginUpdate();
  box.Items().SetText(u"eins\r\nzwei");
  box.SetItemIndex(1);
  EXPECT_FALSE(box.updatesEnabled());
  box.Items().EndUpdate();
  EXPECT_TRUE(box.updatesEnabled());
  EXPECT_EQ(index.count(), 0);
  box.SetItemIndex(0);
  EXPECT_EQ(index.count(), 1);
}

TEST(ComboBox, IndexOfIsAnExactMatchIgnoringCase) {
  TUniComboBox box;
  box.Items().SetText(u"Äpfel\r\nBirnen\r\nΣίτος");
  struct Case {
    std::u16string text;
    int index;
  } cases[] = {{u"äpfel", 0}, {u"BIRNEN", 1}, {u"ΣΊΤΟΣ", 2} /* final sigma */, {u"Birne", -1}, {u"apfel", -1}};
  for (const auto& c : cases) EXPECT_EQ(box.Items().IndexOf(c.text), c.index) << "row " << (&c - cases);
}

TEST(ComboBox, ChoosingAnItemSetsTheTextThenClicksThenChanges) {
  TUniComboBox box;
  box.Items().SetText(u"eins\r\nzwei");
  box.SetItemIndex(0);
  std::vector<std::string> events;
  QObject::connect(&box, &TUniComboBox::Click, [&] { events.push_back("Click " + box.currentText().toStdString()); });
  QObject::connect(&box, &TUniComboBox::Changed, [&] { events.push_back("Changed"); });
  QTest::keyClick(&box, Qt::Key_Down);
  EXPECT_EQ(box.Text(), u"zwei");
  EXPECT_EQ(box.ItemIndex(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"Click zwei", "Changed"}));
}

TEST(ComboBox, SelectionByProgramShowsTheItemWithoutNotifying) {
  TUniComboBox box;
  box.Items().SetText(u"eins\r\nzwei");
  QSignalSpy changed(&box, &TUniComboBox::Changed);
  QSignalSpy click(&box, &TUniComboBox::Click);
  box.SetItemIndex(1);
  EXPECT_EQ(box.Text(), u"zwei");
  box.SetItemIndex(5);
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(changed.count() + click.count(), 0);
}

// Refuses digits and writes "e" as "é".
class FilteringComboBox : public TUniComboBox {
 public:
  void EditCharFilter(char16_t& ch) override {
    if (ch >= u'0' && ch <= u'9') ch = 0;
    else if (ch == u'e') ch = u'é';
  }
};

TEST(ComboBox, EditCharFilterRefusesAndReplacesTypedCharacters) {
  FilteringComboBox box;
  QSignalSpy changed(&box, &TUniComboBox::Changed);
  QTest::keyClicks(&box, "a1e2x");
  EXPECT_EQ(box.Text(), u"aéx");
  EXPECT_EQ(changed.count(), 3);  // one per character taken
  QTest::keyClicks(box.lineEdit(), "7e");  // straight into the edit field
  EXPECT_EQ(box.Text(), u"aéxé");
  EXPECT_EQ(changed.count(), 4);
  QTest::keyClick(&box, Qt::Key_Backspace);  // control keys pass the filter too
  EXPECT_EQ(box.Text(), u"aéx");
}

TEST(ComboBox, TypingNeitherCompletesNorAddsItems) {
  TUniComboBox box;
  box.Items().Add(u"Apfelbaum");
  QTest::keyClicks(&box, "Ap");
  QTest::keyClick(&box, Qt::Key_Return);
  EXPECT_EQ(box.Text(), u"Ap");
  EXPECT_EQ(box.Items().Count(), 1);
}

TEST(ComboBox, HintKeepsItsScript) {
  TUniComboBox box;
  box.SetHint(u"Αναζήτηση|Suchtext");
  EXPECT_EQ(box.Hint(), u"Αναζήτηση|Suchtext");
  EXPECT_EQ(FromQ(box.toolTip()), u"Αναζήτηση");
}

}  // namespace
}  // namespace widgets
