#include "widgets/uni_list_box.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

// Three items with an object each, the middle one selected.
class ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.Items().AddObject(u"Alpha", &objects[0]);
    box.Items().AddObject(u"Βήτα", &objects[1]);
    box.Items().AddObject(u"Gamma", &objects[2]);
    box.SetItemIndex(1);
  }
  std::u16string Texts() const {
    std::u16string all;
    for (int i = 0; i < box.Items().Count(); ++i) all += box.Items()[i] + u"|";
    return all;
  }
  TUniListBox box;
  int objects[3] = {};
};

TEST_F(ListBoxTest, GetPastEitherEndRaisesTheListErrorWithTheIndex) {
  for (int index : {3, -1, 100}) {
    try {
      box.Items().Get(index);
      FAIL() << "no error for " << index;
    } catch (const textlib::EStringListError& e) {
      EXPECT_EQ(e.Message(), u"Der Index der Liste überschreitet das Maximum (" + textlib::NumberText(index) + u")");
    }
  }
  EXPECT_THROW(box.Items().GetObject(3), textlib::EStringListError);
}

TEST_F(ListBoxTest, PutKeepsObjectAndSelection) {
  box.Items().Put(1, u"Ωμέγα");
  EXPECT_EQ(Texts(), u"Alpha|Ωμέγα|Gamma|");
  EXPECT_EQ(box.Items().GetObject(1), &objects[1]);
  EXPECT_EQ(box.ItemIndex(), 1);
  EXPECT_THROW(box.Items().Put(3, u"x"), textlib::EStringListError);
}

TEST_F(ListBoxTest, ExchangeSwapsTextsAndObjectsAndTheSelectionFollowsItsItem) {
  struct Case {
    int selected, index1, index2, selectedAfter;
  } cases[] = {
      {1, 1, 2, 2},   // the selected item is the first
      {1, 0, 1, 0},   // the selected item is the second
      {1, 0, 2, 1},   // the selection is elsewhere
      {-1, 0, 2, -1}, // nothing selected
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index1 * 10 + c.index2);
    box.Items().Clear();
    SetUp();
    box.SetItemIndex(c.selected);
    box.Items().Exchange(c.index1, c.index2);
    EXPECT_EQ(box.Items().GetObject(c.index1), &objects[c.index2]);
    EXPECT_EQ(box.Items().GetObject(c.index2), &objects[c.index1]);
    EXPECT_EQ(box.Items()[c.index1], std::u16string(c.index2 == 1 ? u"Βήτα" : c.index2 == 2 ? u"Gamma" : u"Alpha"));
    EXPECT_EQ(box.ItemIndex(), c.selectedAfter);
  }
}

TEST_F(ListBoxTest, MoveCarriesTextAndObjectAndKeepsTheSelectedItem) {
  box.Items().Move(1, 2);
  EXPECT_EQ(Texts(), u"Alpha|Gamma|Βήτα|");
  EXPECT_EQ(box.Items().GetObject(2), &objects[1]);
  EXPECT_EQ(box.ItemIndex(), 2);
  box.Items().Move(0, 2);
  EXPECT_EQ(Texts(), u"Gamma|Βήτα|Alpha|");
  EXPECT_EQ(box.Items().GetObject(2), &objects[0]);
  EXPECT_EQ(box.ItemIndex(), 1);
}

TEST_F(ListBoxTest, MoveToTheSameIndexChangesNothing) {
  QSignalSpy removed(box.model(), &QAbstractItemModel::rowsRemoved);
  QSignalSpy current(&box, &QListWidget::currentRowChanged);
  box.Items().Move(1, 1);
  box.Items().Move(7, 7);  // not even checked
  EXPECT_EQ(Texts(), u"Alpha|Βήτα|Gamma|");
  EXPECT_EQ(box.Items().GetObject(1), &objects[1]);
  EXPECT_EQ(box.ItemIndex(), 1);
  EXPECT_EQ(removed.count(), 0);
  EXPECT_EQ(current.count(), 0);
}

TEST_F(ListBoxTest, MoveToAMissingIndexRaisesAndLosesNothing) {
  EXPECT_THROW(box.Items().Move(0, 3), textlib::EStringListError);
  EXPECT_THROW(box.Items().Move(3, 0), textlib::EStringListError);
  EXPECT_EQ(Texts(), u"Alpha|Βήτα|Gamma|");
}

TEST_F(ListBoxTest, IndexOfIsAnExactMatchIgnoringCase) {
  box.Items().Add(u"Äpfel");
  struct Case {
    std::u16string text;
    int index;
  } cases[] = {{u"gamma", 2}, {u"ΒΉΤΑ", 1}, {u"äPFEL", 3}, {u"Gam", -1}, {u"Gamma ", -1}, {u"", -1}};
  for (const auto& c : cases) EXPECT_EQ(box.Items().IndexOf(c.text), c.index) << "row " << (&c - cases);
}

TEST_F(ListBoxTest, InsertAtAWrongIndexRaisesAndChangesNothing) {
  for (int index : {4, -2}) EXPECT_THROW(box.Items().Insert(index, u"x"), textlib::EOutOfResources);
  EXPECT_EQ(Texts(), u"Alpha|Βήτα|Gamma|");
  box.Items().Insert(-1, u"Ende");
  box.Items().Insert(0, u"Anfang");
  EXPECT_EQ(Texts(), u"Anfang|Alpha|Βήτα|Gamma|Ende|");
  EXPECT_EQ(box.Items().GetObject(0), nullptr);
}

TEST_F(ListBoxTest, DeletingTheSelectedItemLeavesNoneSelected) {
  box.Items().Delete(0);  // before the selected item, which keeps the selection
  EXPECT_EQ(box.ItemIndex(), 0);
  box.Items().Delete(0);
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_TRUE(box.selectedItems().isEmpty());
  EXPECT_EQ(Texts(), u"Gamma|");
}

TEST_F(ListBoxTest, DeleteClearAndTextGoThroughTheItems) {
  box.Items().Delete(9);
  box.Items().Delete(0);
  EXPECT_EQ(Texts(), u"Βήτα|Gamma|");
  EXPECT_EQ(box.Items().Text(), u"Βήτα\r\nGamma\r\n");
  box.Items().SetText(u"eins\r\nzwei\ndrei");
  EXPECT_EQ(Texts(), u"eins|zwei|drei|");
  box.Items().Clear();
  EXPECT_EQ(box.Items().Count(), 0);
  EXPECT_EQ(box.ItemIndex(), -1);
}

TEST_F(ListBoxTest, UpdateBracketHoldsBackRepaintingAndSignals) {
  QSignalSpy current(&box, &QListWidget::currentRowChanged);
  box.Items().BeginUpdate();
  EXPECT_FALSE(box.updatesEnabled());
  box.Items().BeginUpdate();
  box.Items().EndUpdate();
  EXPECT_FALSE(box.updatesEnabled());
  box.SetItemIndex(2);
  box.Items().Exchange(0, 2);
  box.Items().EndUpdate();
  EXPECT_TRUE(box.updatesEnabled());
  EXPECT_EQ(box.ItemIndex(), 0);
  EXPECT_EQ(current.count(), 0);
  box.SetItemIndex(1);
  EXPECT_EQ(current.count(), 1);
}

TEST_F(ListBoxTest, ItemIndexOutsideTheItemsSelectsNone) {
  for (int index : {3, -1, -5}) {
    box.SetItemIndex(0);
    box.SetItemIndex(index);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_TRUE(box.selectedItems().isEmpty());
  }
}

TEST_F(ListBoxTest, TopIndexScrollsTheList) {
  for (int i = 0; i < 50; ++i) box.Items().Add(u"Zeile " + textlib::NumberText(i));
  box.resize(120, 80);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  EXPECT_EQ(box.TopIndex(), 0);
  box.SetTopIndex(10);
  EXPECT_EQ(box.TopIndex(), 10);
  box.SetTopIndex(99);  // no such item: stays
  EXPECT_EQ(box.TopIndex(), 10);
}

TEST_F(ListBoxTest, HintKeepsItsScriptAndTheTooltipShowsTheShortPart) {
  box.SetHint(u"Ψάξε|Datenbanken");
  EXPECT_EQ(box.Hint(), u"Ψάξε|Datenbanken");
  EXPECT_EQ(FromQ(box.toolTip()), u"Ψάξε");
}

}  // namespace
}  // namespace widgets
