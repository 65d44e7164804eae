#include "widgets/uni_menu.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QSignalSpy>
#include <QWidget>

#include "widgets/qt_wide.h"
#include "widgets/uni_application.h"
#include "widgets/wide_control.h"

namespace widgets {
namespace {

TEST(UniMenuItem, ShortcutTextOnlyInDropDownItemsWithoutSubItems) {
  TUniMainMenu menu;
  auto* file = new TUniMenuItem;
  file->SetCaption(u"&Datei");
  file->SetShortCut(ShortCut('D', scCtrl));
  menu.Add(file);
  auto* open = new TUniMenuItem;
  open->SetCaption(u"Ö&ffnen");
  open->SetShortCut(ShortCut('O', scCtrl));
  file->Add(open);
  auto* recent = new TUniMenuItem;
  recent->SetCaption(u"&Zuletzt");
  recent->SetShortCut(ShortCut(vkF1 + 4, scShift));
  file->Add(recent);
  auto* plain = new TUniMenuItem;
  plain->SetCaption(u"Ωmega");
  file->Add(plain);

  struct Case {
    TUniMenuItem* item;
    std::u16string text;
  } cases[] = {
      {file, u"&Datei"},  // in the bar: no shortcut
      {open, u"Ö&ffnen\tStrg+O"},
      {recent, u"&Zuletzt\tUmsch+F5"},
      {plain, u"Ωmega"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.item->PlatformText(), c.text);
    EXPECT_EQ(FromQ(c.item->Item().text()), c.text);
  }
  EXPECT_EQ(open->Item().shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  // Gaining a sub-item drops the shortcut text; losing it brings it back.
  auto* sub = new TUniMenuItem;
  sub->SetCaption(u"Liste");
  recent->Add(sub);
  EXPECT_EQ(FromQ(recent->Item().text()), u"&Zuletzt");
  EXPECT_TRUE(recent->Item().shortcut().isEmpty());
  recent->Remove(sub);
  delete sub;
  EXPECT_EQ(FromQ(recent->Item().text()), u"&Zuletzt\tUmsch+F5");
  ASSERT_EQ(file->Count(), 3);
  EXPECT_EQ(file->SubMenu()->actions().size(), 3);
  EXPECT_EQ(menu.Bar().actions().front(), &file->Item());
  EXPECT_TRUE(open->IsAccel('f'));
  EXPECT_FALSE(open->IsAccel('o'));
}

TEST(UniMenuItem, ACaptionSetThroughQtWins) {
  TUniMenuItem item;
  item.SetCaption(u"&Über");
  item.SetShortCut(ShortCut('U', scCtrl));
  item.Item().setText(QStringLiteral("Ü&ber\tStrg+U"));
  EXPECT_EQ(item.Caption(), u"Ü&ber");
  item.SetShortCut(ShortCut('B', scCtrl));
  EXPECT_EQ(FromQ(item.Item().text()), u"Ü&ber\tStrg+B");
  item.SetCaption(u"Neu");
  EXPECT_EQ(FromQ(item.Item().text()), u"Neu\tStrg+B");
}

TEST(UniMenuItem, PointingAtAnItemSetsTheApplicationHint) {
  TUniMainMenu menu;
  auto* file = new TUniMenuItem;
  file->SetCaption(u"Datei");
  file->SetHint(u"Datei|Dateibefehle");
  menu.Add(file);
  auto* open = new TUniMenuItem;
  open->SetCaption(u"Öffnen");
  open->SetHint(u"Öffnen|Öffnet eine Datenbank Ω");
  file->Add(open);
  QSignalSpy executed(&UniApplication(), &TUniApplication::HintExecuted);
  open->Item().hover();
  EXPECT_EQ(UniApplication().Hint(), u"Öffnet eine Datenbank Ω");
  ASSERT_EQ(executed.count(), 1);
  EXPECT_EQ(executed.at(0).at(0).value<std::u16string>(), u"Öffnet eine Datenbank Ω");
  file->Item().hover();
  EXPECT_EQ(UniApplication().Hint(), u"Dateibefehle");
  QAction stranger;
  UniPopupList().MenuSelect(&stranger);
  EXPECT_EQ(UniApplication().Hint(), u"");
}

TEST(UniAction, LinksFollowWhileTheClientShowsTheAction) {
  TUniAction action;
  action.SetCaption(u"&Suchen");
  action.SetHint(u"Suchen|Sucht Ω");
  action.SetShortCut(ShortCut('F', scCtrl));
  TUniMenuItem item;
  item.SetAction(&action);
  QPushButton button;
  auto link = MakeWideActionLink(button);
  EXPECT_EQ(WideActionLinkClass(button), TActionLinkKind::Button);
  WideControlActionChange(button, action, false);
  link->SetAction(&action);
  EXPECT_EQ(FromQ(button.text()), u"&Suchen");
  EXPECT_EQ(WideControlGetHint(button), u"Suchen|Sucht Ω");
  EXPECT_EQ(item.PlatformText(), u"&Suchen\tStrg+F");
  EXPECT_FALSE(item.IsCaptionStored());

  // The menu compares without markers and case, the button exactly.
  item.SetCaption(u"S&UCHEN");
  action.SetCaption(u"Such&en Ωmega");
  EXPECT_EQ(item.Caption(), u"Such&en Ωmega");
  EXPECT_EQ(FromQ(button.text()), u"Such&en Ωmega");
  button.setText(QStringLiteral("Eigener Text"));
  action.SetCaption(u"Finden");
  EXPECT_EQ(FromQ(button.text()), u"Eigener Text");
  EXPECT_EQ(item.Caption(), u"Finden");
  action.SetHint(u"Finden|Findet");
  EXPECT_EQ(WideControlGetHint(button), u"Finden|Findet");
  EXPECT_EQ(item.Hint(), u"Finden|Findet");

  // Triggering the item executes the action.
  QSignalSpy executed(&action, &TUniAction::OnExecute);
  item.Item().trigger();
  EXPECT_EQ(executed.count(), 1);
  EXPECT_EQ(WideControlAction(button), &action);
}

TEST(UniAction, ChangeWithDefaultsKeepsWhatTheControlHas) {
  TUniAction action;
  action.SetCaption(u"Ωmega");
  action.SetHint(u"kurz|lang");
  struct Case {
    QString text, name;
    std::u16string hint;
    std::u16string expectedText, expectedHint;
  } cases[] = {
      {"", "Knopf", u"", u"Ωmega", u"kurz|lang"},
      {"Knopf", "Knopf", u"", u"Ωmega", u"kurz|lang"},
      {"Eigen", "Knopf", u"eigen", u"Eigen", u"eigen"},
  };
  for (const auto& c : cases) {
    QPushButton button(c.text);
    button.setObjectName(c.name);
    WideControlSetHint(button, c.hint);
    WideControlActionChange(button, action, true);
    EXPECT_EQ(FromQ(button.text()), c.expectedText);
    EXPECT_EQ(WideControlGetHint(button), c.expectedHint);
  }
  // A plain QAction is no wide action and changes nothing.
  QAction plain(QStringLiteral("plain"));
  QPushButton button(QStringLiteral("bleibt"));
  WideControlActionChange(button, plain, false);
  EXPECT_EQ(button.text(), QStringLiteral("bleibt"));
}

TEST(UniAction, AssignTakesTheWideTexts) {
  TUniAction source;
  source.SetCaption(u"Ελληνικά");
  source.SetHint(u"α|β");
  source.SetShortCut(ShortCut('G', scCtrl));
  TUniHintAction copy;
  copy.Assign(source);
  EXPECT_EQ(copy.Caption(), u"Ελληνικά");
  EXPECT_EQ(copy.Hint(), u"α|β");
  EXPECT_EQ(copy.ShortCut(), ShortCut('G', scCtrl));
  QPushButton button(QStringLiteral("Knöpfchen ω"));
  WideControlSetHint(button, u"h|H");
  copy.AssignFromControl(button);
  EXPECT_EQ(copy.Caption(), u"Knöpfchen ω");
  EXPECT_EQ(copy.Hint(), u"h|H");
  // A text set through Qt wins.
  copy.setText(QStringLiteral("neu"));
  EXPECT_EQ(copy.Caption(), u"neu");
  EXPECT_EQ(WideActionCaption(copy), u"neu");
}

TEST(UniAction, LinkKinds) {
  QWidget parent;
  struct Case {
    QWidget* control;
    TActionLinkKind kind;
  } cases[] = {
      {new QToolButton(&parent), TActionLinkKind::ToolButton},
      {new QPushButton(&parent), TActionLinkKind::Button},
      {new QLabel(&parent), TActionLinkKind::Control},
      {new QLineEdit(&parent), TActionLinkKind::WinControl},
  };
  for (const auto& c : cases) EXPECT_EQ(WideActionLinkClass(*c.control), c.kind);
}

}  // namespace
}  // namespace widgets
