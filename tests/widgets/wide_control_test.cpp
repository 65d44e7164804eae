#include "widgets/wide_control.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

TEST(WideHint, ShortAndLongParts) {
  struct Case {
    std::u16string hint, shortPart, longPart;
  } cases[] = {
      {u"Suchen|Sucht in der Datenbank", u"Suchen", u"Sucht in der Datenbank"},
      {u"ohne Trenner", u"ohne Trenner", u"ohne Trenner"},
      {u"a|b|c", u"a", u"b|c"},
      {u"|nur lang", u"", u"nur lang"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideShortHintPart(c.hint), c.shortPart);
    EXPECT_EQ(WideLongHintPart(c.hint), c.longPart);
  }
}

TEST(WideHint, TooltipShowsShortPartAndParentsLendTheirs) {
  QWidget parent;
  auto* child = new QWidget(&parent);
  auto* grandChild = new QWidget(child);
  EXPECT_EQ(WideGetHintOfControlOrParent(grandChild), u"");
  WideControlSetHint(parent, u"Ελληνικά|lang");
  EXPECT_EQ(FromQ(parent.toolTip()), u"Ελληνικά");
  EXPECT_EQ(WideControlGetHint(parent), u"Ελληνικά|lang");
  EXPECT_EQ(WideGetHintOfControlOrParent(grandChild), u"Ελληνικά|lang");
  child->setToolTip(QStringLiteral("eigener"));
  EXPECT_EQ(WideGetHintOfControlOrParent(grandChild), u"eigener");
}

TEST(WideHint, ATooltipSetLaterReplacesTheWideHint) {
  QWidget control;
  WideControlSetHint(control, u"Ελληνικά|lang");
  control.setToolTip(QStringLiteral("neu"));
  EXPECT_EQ(WideControlGetHint(control), u"neu");
  control.setToolTip(QString());
  EXPECT_EQ(WideControlGetHint(control), u"");
  WideControlSetHint(control, u"日本|lang");
  EXPECT_EQ(WideControlGetHint(control), u"日本|lang");
}

}  // namespace
}  // namespace widgets
