// The key rule in every control that takes typed text, and the forms' mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

#include "widgets/qt_wide.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"
#include "widgets/uni_list_box.h"
#include "widgets/uni_memo.h"
#include "widgets/uni_rich_edit.h"
#include "widgets/wide_control.h"

namespace widgets {
namespace {

// One key stroke as the platform delivers it: a character beyond U+FFFF comes as one
// event carrying its surrogate pair.
void Type(QWidget* target, const QString& text, int key = Qt::Key_unknown) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

void Commit(QWidget* target, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(target, &event);
}

// A control that takes text, where the keys go, and how its text reads.
struct Kind {
  const char* name;
  std::function<QWidget*()> make;
  std::function<QWidget*(QWidget*)> target;
  std::function<TWideKeyEvents&(QWidget*)> keys;
};

std::vector<Kind> TextKinds() {
  auto self = [](QWidget* w) { return w; };
  return {
      {"edit", [] { return new TUniEdit; }, self, [](QWidget* w) -> TWideKeyEvents& { return *static_cast<TUniEdit*>(w); }},
      {"memo", [] { return new TUniMemo; }, self, [](QWidget* w) -> TWideKeyEvents& { return *static_cast<TUniMemo*>(w); }},
      {"rich edit", [] { return new TUniRichEdit; }, self,
       [](QWidget* w) -> TWideKeyEvents& { return *static_cast<TUniRichEdit*>(w); }},
      {"combo box", [] { return new TUniComboBox; }, self,
       [](QWidget* w) -> TWideKeyEvents& { return *static_cast<TUniComboBox*>(w); }},
      {"combo box edit field", [] { return new TUniComboBox; },
       [](QWidget* w) -> QWidget* { return static_cast<TUniComboBox*>(w)->lineEdit(); },
       [](QWidget* w) -> TWideKeyEvents& { return *static_cast<TUniComboBox*>(w); }},
  };
}

TEST(WideKeys, ApplyKeyPressTakesEachCharacterOnce) {
  struct Case {
    QString typed;
    std::function<void(char32_t&)> handler;
    QString expected;
    int calls;
  } cases[] = {
      {QStringLiteral("ж"), [](char32_t&) {}, QStringLiteral("ж"), 1},
      {QString::fromUtf16(u"\U0001F600"), [](char32_t&) {}, QString::fromUtf16(u"\U0001F600"), 1},
      {QString::fromUtf16(u"a\U0001F600b"), [](char32_t& k) { if (k == 0x1F600) k = u'!'; }, QStringLiteral("a!b"), 3},
      {QStringLiteral("ab"), [](char32_t& k) { if (k == u'a') k = 0x1F601; }, QString::fromUtf16(u"\U0001F601b"), 2},
      {QStringLiteral("xyz"), [](char32_t& k) { if (k == u'y') k = 0; }, QStringLiteral("xz"), 3},
      {QStringLiteral("\r"), [](char32_t& k) { k = 0; }, QString(), 1},
  };
  for (const auto& c : cases) {
    int calls = 0;
    const QString kept = WideApplyKeyPress(c.typed, [&](char32_t& k) {
      ++calls;
      c.handler(k);
    });
    EXPECT_EQ(kept, c.expected);
    EXPECT_EQ(calls, c.calls);
  }
}

TEST(WideKeys, CharactersBeyondLatin1ArriveOnceInEveryControl) {
  const std::u16string typed[] = {u"ж", u"日", u"\U0001F600", u"é"};
  for (const Kind& kind : TextKinds()) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<QWidget> control(kind.make());
    std::vector<char32_t> seen;
    kind.keys(control.get()).OnKeyPress = [&](char32_t& key) { seen.push_back(key); };
    for (const auto& t : typed) Type(kind.target(control.get()), ToQ(t));
    Commit(kind.target(control.get()), QStringLiteral("中文"));  // an input method's commit
    EXPECT_EQ(WideControlGetText(*control), u"ж日\U0001F600é中文");
    EXPECT_EQ(seen, (std::vector<char32_t>{0x436, 0x65E5, 0x1F600, 0xE9, 0x4E2D, 0x6587}));
  }
}

TEST(WideKeys, AListBoxSearchesWithTheTypedCharacterOnce) {
  struct Case {
    std::u16string typed;
    char32_t key;
    int found;
  } cases[] = {{u"\U0001F600", 0x1F600, 1}, {u"Ω", u'Ω', 2}, {u"a", u'a', 0}};
  for (const auto& c : cases) {
    TUniListBox box;  // each its own search: typed keys within a moment would add up
    for (const char16_t* item : {u"Alpha", u"\U0001F600 Lachen", u"Ωmega"}) box.Items().Add(item);
    std::vector<char32_t> seen;
    box.OnKeyPress = [&](char32_t& key) { seen.push_back(key); };
    QSignalSpy click(&box, &TUniListBox::Click);
    Type(&box, ToQ(c.typed));
    EXPECT_EQ(seen, std::vector<char32_t>{c.key});
    EXPECT_EQ(box.ItemIndex(), c.found);
    EXPECT_EQ(click.count(), 1);
    box.SetItemIndex(-1);  // by program: no click
    EXPECT_EQ(click.count(), 1);
  }
}

TEST(WideKeys, AHandlersReplacementWinsAndZeroRefuses) {
  for (const Kind& kind : TextKinds()) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<QWidget> control(kind.make());
    kind.keys(control.get()).OnKeyPress = [](char32_t& key) {
      if (key == u'a') key = u'b';
      else if (key == u'x') key = 0;
      else if (key == u'ж') key = u'Ж';
      else if (key == 0x1F600) key = u'!';
      else if (key == u'q') key = 0x1F602;
      else if (key == u'\b') key = 0;  // Backspace refused: nothing deleted
    };
    for (const QString& t : {QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("ж"),
                             QString::fromUtf16(u"\U0001F600"), QStringLiteral("q"), QStringLiteral("c")})
      Type(kind.target(control.get()), t);
    Type(kind.target(control.get()), QStringLiteral("\b"), Qt::Key_Backspace);
    EXPECT_EQ(WideControlGetText(*control), u"bЖ!\U0001F602c");
  }
}

TEST(WideKeys, AConsumedKeyDownReachesNothing) {
  for (const Kind& kind : TextKinds()) {
    SCOPED_TRACE(kind.name);
    std::unique_ptr<QWidget> control(kind.make());
    TWideKeyEvents& keys = kind.keys(control.get());
    int presses = 0;
    keys.OnKeyPress = [&](char32_t&) { ++presses; };
    keys.OnKeyDown = [](int& key, Qt::KeyboardModifiers) {
      if (key == Qt::Key_A || key == Qt::Key_Backspace) key = 0;
    };
    QWidget* target = kind.target(control.get());
    Type(target, QStringLiteral("b"), Qt::Key_B);
    Type(target, QStringLiteral("a"), Qt::Key_A);
    Type(target, QStringLiteral("c"), Qt::Key_C);
    Type(target, QStringLiteral("\b"), Qt::Key_Backspace);
    EXPECT_EQ(WideControlGetText(*control), u"bc");
    EXPECT_EQ(presses, 2);
  }
}

TEST(WideKeys, AKeyDownInAMemoCanStopTheLineBreak) {
  for (const Kind& kind : TextKinds()) {
    std::unique_ptr<QWidget> control(kind.make());
    if (!dynamic_cast<TDocumentMemo*>(control.get())) continue;  // one-line controls take no break
    SCOPED_TRACE(kind.name);
    TWideKeyEvents& keys = kind.keys(control.get());
    keys.OnKeyDown = [](int& key, Qt::KeyboardModifiers) {
      if (key == Qt::Key_Return) key = 0;
    };
    QTest::keyClicks(control.get(), QStringLiteral("ab"));
    QTest::keyClick(control.get(), Qt::Key_Return);
    EXPECT_EQ(WideControlGetText(*control), u"ab");
    keys.OnKeyDown = nullptr;
    QTest::keyClick(control.get(), Qt::Key_Return);
    EXPECT_EQ(WideControlGetText(*control), u"ab\r\n");
  }
}

TEST(WideKeys, TheComboBoxFilterRunsAfterTheHandler) {
  class Filtered : public TUniComboBox {
   public:
    void EditCharFilter(char16_t& ch) override {
      if (ch == u'b') ch = u'B';
    }
  } box;
  box.OnKeyPress = [](char32_t& key) {
    if (key == u'a') key = u'b';
  };
  Type(&box, QStringLiteral("a"));
  Type(&box, QString::fromUtf16(u"\U0001F600"));
  EXPECT_EQ(box.Text(), u"B\U0001F600");
}

TEST(WideMouse, ClickDoubleClickDownAndMove) {
  struct Case {
    const char* name;
    std::function<QWidget*()> make;
    std::function<QWidget*(QWidget*)> surface;
  } cases[] = {
      {"edit", [] { return new TUniEdit; }, [](QWidget* w) { return w; }},
      {"memo", [] { return new TUniMemo; }, [](QWidget* w) { return static_cast<TUniMemo*>(w)->viewport(); }},
      {"rich edit", [] { return new TUniRichEdit; },
       [](QWidget* w) { return static_cast<TUniRichEdit*>(w)->viewport(); }},
      {"label", [] { return new TUniLabel; }, [](QWidget* w) { return w; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QWidget> control(c.make());
    control->resize(120, 60);
    control->show();
    QSignalSpy click(control.get(), SIGNAL(Click()));
    QSignalSpy dblClick(control.get(), SIGNAL(DblClick()));
    QSignalSpy down(control.get(), SIGNAL(MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, QPoint)));
    QSignalSpy move(control.get(), SIGNAL(MouseMove(Qt::KeyboardModifiers, QPoint)));
    QWidget* surface = c.surface(control.get());
    const QPoint at = surface->rect().center();
    QTest::mouseClick(surface, Qt::LeftButton, Qt::ShiftModifier, at);
    EXPECT_EQ(click.count(), 1);
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(down[0][2].toPoint(), surface->mapTo(control.get(), at));
    QTest::mouseDClick(surface, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(dblClick.count(), 1);
    QTest::mouseMove(surface, at + QPoint(3, 2));
    EXPECT_GE(move.count(), 1);
    QTest::mouseClick(surface, Qt::RightButton, Qt::NoModifier, at);
    EXPECT_EQ(down.last()[0].value<Qt::MouseButton>(), Qt::RightButton);
  }
}

TEST(WideOwnerDraw, TheHandlerPaintsListItems) {
  TUniListBox box;
  box.Items().Add(u"eins");
  box.Items().Add(u"zwei");
  box.resize(100, 80);
  std::vector<int> drawn;
  box.OnDrawItem = [&](QPainter& canvas, int index, const QRect& rect, QStyle::State) {
    drawn.push_back(index);
    canvas.fillRect(rect, index == 0 ? Qt::red : Qt::blue);
  };
  const QImage image = box.grab().toImage();
  EXPECT_EQ(drawn, (std::vector<int>{0, 1}));
  const QRect first = box.visualItemRect(box.item(0)).translated(box.viewport()->pos());
  EXPECT_EQ(image.pixelColor(first.center()), QColor(Qt::red));
  box.OnDrawItem = nullptr;  // Qt's own look again
  const QImage plain = box.grab().toImage();
  EXPECT_NE(plain.pixelColor(first.center()), QColor(Qt::red));
}

}  // namespace
}  // namespace widgets

namespace widgets {
namespace {

TEST(WideMouse, AListBoxClicksWhenTheUserChoosesAnItem) {
  TUniListBox box;
  for (const char16_t* item : {u"eins", u"zwei", u"drei"}) box.Items().Add(item);
  box.resize(100, 120);
  box.show();
  box.SetItemIndex(1);
  std::vector<int> chosen;
  QObject::connect(&box, &TUniListBox::Click, [&] { chosen.push_back(box.ItemIndex()); });
  QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, box.visualItemRect(box.item(0)).center());
  QTest::keyClick(&box, Qt::Key_Down);
  EXPECT_EQ(chosen, (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace widgets
