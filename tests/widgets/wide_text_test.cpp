// The wide text of every control kind, the synchronised values and the holders.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <functional>
#include <memory>

#include "textlib/io/unistrings.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"
#include "widgets/uni_list_box.h"
#include "widgets/uni_memo.h"
#include "widgets/wide_control.h"

namespace widgets {
namespace {

// Counts the text-changed notifications a control is sent.
class TextChangedCounter : public QObject {
 public:
  explicit TextChangedCounter(QWidget& control) { control.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == WideTextChangedEvent()) ++count;
    return false;
  }
};

TEST(WideControlText, EqualTextSendsNothingADifferentOneNotifiesOnce) {
  struct Case {
    const char* kind;
    std::function<QWidget*()> make;
    const char* changeSignal;  // the control's own change signal, or nullptr
  } cases[] = {
      {"TUniEdit", [] { return new TUniEdit; }, SIGNAL(Changed())},
      {"TUniMemo", [] { return new TUniMemo; }, SIGNAL(Changed())},
      {"TUniComboBox", [] { return new TUniComboBox; }, SIGNAL(Changed())},
      {"TUniLabel", [] { return new TUniLabel; }, SIGNAL(Changed())},
      {"QLineEdit", [] { return new QLineEdit; }, SIGNAL(textChanged(QString))},
      {"QPlainTextEdit", [] { return new QPlainTextEdit; }, SIGNAL(textChanged())},
      {"QLabel", [] { return new QLabel; }, nullptr},
      {"QPushButton", [] { return new QPushButton; }, nullptr},
      {"QCheckBox", [] { return new QCheckBox; }, nullptr},
      {"QRadioButton", [] { return new QRadioButton; }, nullptr},
      {"QGroupBox", [] { return new QGroupBox; }, nullptr},
      {"window", [] { return new QWidget; }, SIGNAL(windowTitleChanged(QString))},
  };
  // The second text has the same 8-bit form as the first (question marks only).
  const std::u16string first = u"Αθήνα \U0001F600", second = u"Κρήτη \U0001F601";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::unique_ptr<QWidget> control(c.make());
    TextChangedCounter counter(*control);
    EXPECT_TRUE(WideControlSetText(*control, first));
    EXPECT_EQ(WideControlGetText(*control), first);
    EXPECT_EQ(counter.count, 1);

    std::unique_ptr<QSignalSpy> changed;
    if (c.changeSignal) changed = std::make_unique<QSignalSpy>(control.get(), c.changeSignal);
    EXPECT_FALSE(WideControlSetText(*control, first));
    EXPECT_EQ(counter.count, 1);
    if (changed) {
      EXPECT_EQ(changed->count(), 0);
    }

    EXPECT_TRUE(WideControlSetText(*control, second));
    EXPECT_EQ(WideControlGetText(*control), second);
    EXPECT_EQ(counter.count, 2);
    if (changed) {
      EXPECT_EQ(changed->count(), 1);
    }
  }
}

TEST(WideControlText, ReadsTheFormsOfEachKind) {
  TUniMemo memo;
  memo.SetText(u"eins\r\nzwei");
  EXPECT_EQ(WideControlGetText(memo), u"eins\r\nzwei");
  QPushButton button(QStringLiteral("&Suchen"));
  EXPECT_EQ(WideControlGetText(button), u"&Suchen");
  TUniLabel label;
  label.setText(QStringLiteral("von Qt"));  // set through Qt: that text wins
  EXPECT_EQ(WideControlGetText(label), u"von Qt");
  QWidget window;
  window.setWindowTitle(QStringLiteral("Quarry-HTML"));
  EXPECT_EQ(WideControlGetText(window), u"Quarry-HTML");
}

TEST(WideControlText, AComboBoxWithoutEditFieldShowsOnlyItsItems) {
  TUniComboBox box;
  box.setEditable(false);
  box.Items().Add(u"日本");
  box.Items().Add(u"中国");
  TextChangedCounter counter(box);
  EXPECT_TRUE(WideControlSetText(box, u"中国"));
  EXPECT_EQ(box.ItemIndex(), 1);
  // A text that no item has selects none, which empties the text.
  EXPECT_TRUE(WideControlSetText(box, u"Korea"));
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(WideControlGetText(box), u"");
  EXPECT_FALSE(WideControlSetText(box, u"Korea"));
  EXPECT_EQ(counter.count, 2);
}

TEST(WideSyncedValue, AChangeThroughQtWins) {
  std::u16string stored = u"Ωmega";
  EXPECT_EQ(WideGetSyncedValue(stored, QStringLiteral("Ωmega")), u"Ωmega");
  EXPECT_EQ(WideGetSyncedValue(stored, QStringLiteral("neu")), u"neu");
  EXPECT_EQ(stored, u"neu");
}

TEST(WideSyncedValue, ALossyFormThatQtShowsAlreadyIsClearedFirst) {
  // The form keeps the part before "|" only, as a tooltip does for a hint.
  const TWideForm form = [](std::u16string_view v) { return ToQ(WideShortHintPart(v)); };
  struct Case {
    std::u16string stored, value;
    QStringList expectedCalls;
  } cases[] = {
      {u"a|x", u"a|x", {}},                                    // equal: nothing
      {u"a|x", u"a|y", {QString(), QStringLiteral("a")}},      // same form: cleared first
      {u"a|x", u"b|x", {QStringLiteral("b")}},                 // the form changes by itself
      {u"a", u"b", {QStringLiteral("b")}},                     // nothing lost
  };
  for (const auto& c : cases) {
    std::u16string stored = c.stored;
    QString shown = form(stored);
    QStringList calls;
    WideSetSyncedValue(
        c.value, stored, shown,
        [&](const QString& s) {
          calls << s;
          shown = s;
        },
        form);
    EXPECT_EQ(calls, c.expectedCalls);
    EXPECT_EQ(WideGetSyncedValue(stored, shown, form), c.value);
  }
}

class FakeLink : public IWideActionLink {
 public:
  bool caption = false, hint = false;
  bool IsCaptionLinked() const override { return caption; }
  bool IsHintLinked() const override { return hint; }
};

TEST(WideCaptionHolder, StoredUnlessTheActionLinkSuppliesIt) {
  QPushButton button;
  EXPECT_TRUE(IsWideCaptionStored(button));
  EXPECT_TRUE(IsWideHintStored(button));
  EXPECT_EQ(FindWideCaptionHolder(&button, false), nullptr);  // reads create none
  FakeLink link;
  SetWideActionLink(button, &link);
  link.caption = true;
  EXPECT_FALSE(IsWideCaptionStored(button));
  EXPECT_TRUE(IsWideHintStored(button));
  link.hint = true;
  EXPECT_FALSE(IsWideHintStored(button));
  SetWideActionLink(button, nullptr);
  EXPECT_TRUE(IsWideCaptionStored(button));
  EXPECT_TRUE(IsWideHintStored(button));
}

TEST(WideCaptionHolder, SortedByControlAndGoneWithItsControl) {
  std::vector<std::unique_ptr<QWidget>> controls;
  for (int i = 0; i < 20; ++i) controls.push_back(std::make_unique<QWidget>());
  for (size_t i = 0; i < controls.size(); i += 2) WideControlSetHint(*controls[i], u"Ω|lang");
  for (size_t i = 0; i < controls.size(); ++i) {
    int index = -1;
    EXPECT_EQ(FindWideCaptionHolderIndex(controls[i].get(), index), i % 2 == 0);
    if (i % 2 == 0) {
      EXPECT_EQ(FindWideCaptionHolder(controls[i].get(), false)->Control(), controls[i].get());
    }
  }
  const QWidget* gone = controls[4].get();
  controls[4].reset();
  int index = -1;
  EXPECT_FALSE(FindWideCaptionHolderIndex(gone, index));
  EXPECT_EQ(WideControlGetHint(*controls[6]), u"Ω|lang");
}

TEST(WideListErrors, TheClassLibrarysTexts) {
  TUniListBox list;
  list.Items().Add(u"eins");
  TUniComboBox combo;
  combo.Items().Add(u"eins");
  struct Case {
    const char* what;
    std::function<void()> call;
    std::u16string message;
  } cases[] = {
      {"list get", [&] { (void)list.Items().Get(5); }, u"Der Index der Liste überschreitet das Maximum (5)"},
      {"list get -1", [&] { (void)list.Items().Get(-1); }, u"Der Index der Liste überschreitet das Maximum (-1)"},
      {"list insert", [&] { list.Items().Insert(7, u"x"); }, u"Zeile kann nicht eingefügt werden"},
      {"combo insert", [&] { combo.Items().Insert(-2, u"x"); }, u"Zeile kann nicht eingefügt werden"},
      {"combo object", [&] { (void)combo.Items().GetObject(3); }, u"Der Index der Liste überschreitet das Maximum (3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const textlib::Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(list.Items().Count(), 1);
  EXPECT_EQ(combo.Items().Count(), 1);
  EXPECT_EQ(combo.Items().Get(9), u"");  // a combo box item read past the end is empty
}

}  // namespace
}  // namespace widgets
