#include "widgets/uni_edit.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

TEST(UniEdit, EqualTextChangesNothing) {
  TUniEdit edit;
  QSignalSpy changed(&edit, &TUniEdit::Changed);
  edit.SetText(u"");
  EXPECT_EQ(changed.count(), 0);
  QTest::keyClicks(&edit, QStringLiteral("Gruss"));
  edit.SetSelStart(2);
  changed.clear();
  edit.SetText(u"Gruss");
  EXPECT_EQ(changed.count(), 0);
  // Not set again: the caret and the user's undo steps are still there.
  EXPECT_EQ(edit.SelStart(), 2);
  EXPECT_TRUE(edit.isUndoAvailable());
  edit.SetText(u"Grüss");
  EXPECT_EQ(changed.count(), 1);
}

TEST(UniEdit, TextsThatOnlyDifferOutsideTheAnsiCodePageNotifyOnce) {
  // Each pair has one ANSI form (question marks only); only the wide rule tells them apart.
  struct Case {
    std::u16string first, second;
  } cases[] = {
      {u"Αθήνα", u"Κρήτη"},
      {u"Αθήνα", u"Αθηνα"},
      {u"日本", u"中国"},
      {u"a\U0001F600", u"a\U0001F601"},
  };
  for (const auto& c : cases) {
    TUniEdit edit;
    edit.SetText(c.first);
    QSignalSpy changed(&edit, &TUniEdit::Changed);
    edit.SetText(c.second);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(edit.Text(), c.second);
    EXPECT_EQ(FromQ(edit.text()), c.second);
  }
}

TEST(UniEdit, UserEditsNotifyOncePerChange) {
  TUniEdit edit;
  QSignalSpy changed(&edit, &TUniEdit::Changed);
  edit.SetText(u"Ω");
  QTest::keyClicks(&edit, QStringLiteral("abc"));
  EXPECT_EQ(edit.Text(), u"Ωabc");
  EXPECT_EQ(changed.count(), 4);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.Text(), u"Ωab");
  EXPECT_EQ(changed.count(), 5);
  // Moving the caret is no change.
  QTest::keyClick(&edit, Qt::Key_Home);
  EXPECT_EQ(changed.count(), 5);
}

TEST(UniEdit, SelectionInUtf16Units) {
  TUniEdit edit;
  edit.SetText(u"a\U0001F600bΩc");  // the emoji takes two units
  edit.SetSelStart(1);
  EXPECT_EQ(edit.SelStart(), 1);
  EXPECT_EQ(edit.SelLength(), 0);
  EXPECT_EQ(edit.SelText(), u"");
  edit.SetSelLength(3);
  EXPECT_EQ(edit.SelStart(), 1);
  EXPECT_EQ(edit.SelLength(), 3);
  EXPECT_EQ(edit.SelText(), u"\U0001F600b");
  edit.SetSelLength(100);  // cut at the end of the text
  EXPECT_EQ(edit.SelText(), u"\U0001F600bΩc");
  edit.SetSelStart(100);
  EXPECT_EQ(edit.SelStart(), 6);
  edit.SetSelStart(-3);
  EXPECT_EQ(edit.SelStart(), 0);
}

TEST(UniEdit, LongTextIsKeptWhole) {
  TUniEdit edit;
  const std::u16string text(70000, u'ж');
  edit.SetText(text);
  EXPECT_EQ(edit.Text(), text);
}

TEST(UniEdit, PasswordCharacterShowsAsItself) {
  struct Case {
    char16_t c;
  } cases[] = {{u'*'}, {u'#'}, {u'\u00B7'}, {u'\u25CF'}, {u'\u2022'}};
  for (const auto& c : cases) {
    TUniEdit edit;
    edit.SetText(u"Geheim");
    edit.SetPasswordChar(c.c);
    EXPECT_EQ(edit.PasswordChar(), c.c);
    EXPECT_EQ(FromQ(edit.displayText()), std::u16string(6, c.c));
    EXPECT_EQ(edit.Text(), u"Geheim");
  }
  TUniEdit edit;
  edit.SetText(u"offen");
  EXPECT_EQ(edit.PasswordChar(), 0);
  edit.SetPasswordChar(u'\u25CF');
  edit.SetPasswordChar(u'x');
  EXPECT_EQ(FromQ(edit.displayText()), u"xxxxx");
  edit.SetPasswordChar(0);
  EXPECT_EQ(edit.PasswordChar(), 0);
  EXPECT_EQ(FromQ(edit.displayText()), u"offen");
  edit.SetPasswordChar(u'\u25CF');
  edit.setEchoMode(QLineEdit::Normal);  // switched off through QLineEdit itself
  EXPECT_EQ(edit.PasswordChar(), 0);
}

TEST(UniEdit, WideHint) {
  TUniEdit edit;
  edit.SetHint(u"Ελληνικά|Suchtext");
  EXPECT_EQ(edit.Hint(), u"Ελληνικά|Suchtext");
  EXPECT_EQ(FromQ(edit.toolTip()), u"Ελληνικά");
}

}  // namespace
}  // namespace widgets
