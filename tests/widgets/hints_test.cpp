#include "widgets/wide_hints.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QPushButton>
#include <QToolTip>
#include <memory>

#include "tests/support/temp_dir.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_action.h"
#include "widgets/uni_application.h"
#include "widgets/uni_form.h"
#include "widgets/wide_control.h"

namespace widgets {
namespace {

// Sends the tooltip request Qt sends when the pointer rests on the control.
bool RequestHint(QWidget& control) {
  QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), control.mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(&control, &event);
  return event.isAccepted();
}

class WideHintShow : public testing::Test {
 protected:
  void SetUp() override {
    UniApplication().SetOnShowHint(nullptr);
    UniApplication().SetHintShortCuts(true);
    form_.resize(200, 100);
  }
  void TearDown() override {
    UniApplication().SetOnShowHint(nullptr);
    UniApplication().CancelHint();
  }
  std::u16string Shown() const {
    TUniCustomHintWindow* window = UniApplication().HintWindow();
    return window && window->isVisible() ? window->Caption() : u"(nichts)";
  }

  TUniForm form_;
};

TEST_F(WideHintShow, HintsArePlainText) {
  struct Case {
    std::u16string hint, shown;
  } cases[] = {
      {u"<b>fett</b>|lang", u"<b>fett</b>"},
      {u"<html>Ω", u"<html>Ω"},
      {u"Drag && &Drop", u"Drag && &Drop"},
      {u"Suchen|Sucht in der Datenbank", u"Suchen"},
  };
  auto* button = new QPushButton(&form_);
  for (const auto& c : cases) {
    WideControlSetHint(*button, c.hint);
    RequestHint(*button);
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_FALSE(QToolTip::isVisible());
  }
  // The window is as wide as the literal text, tags included.
  WideControlSetHint(*button, u"<b>fett</b>");
  RequestHint(*button);
  TUniCustomHintWindow& window = *UniApplication().HintWindow();
  const QFontMetrics metrics(window.font());
  EXPECT_EQ(window.size(), window.CalcHintRect(10000, u"<b>fett</b>").size());
  EXPECT_GE(window.width(), metrics.horizontalAdvance(QStringLiteral("<b>fett</b>")) + 6);
  // A grabbed hint shows ink across the whole literal text, not just the word "fett".
  const QImage image = window.grab().toImage();
  const int inkRight = [&] {
    for (int x = image.width() - 2; x > 0; --x)
      for (int y = 1; y < image.height() - 1; ++y)
        if (image.pixelColor(x, y) != image.pixelColor(image.width() / 2, 1)) return x;
    return 0;
  }();
  EXPECT_GT(inkRight, metrics.horizontalAdvance(QStringLiteral("<b>fett</b")));
}

TEST_F(WideHintShow, ParentsShortcutsAndTheHandler) {
  auto* button = new QPushButton(&form_);
  form_.SetHint(u"Formular Ω|lang");
  RequestHint(*button);
  EXPECT_EQ(Shown(), u"Formular Ω");

  TUniAction action;
  action.SetCaption(u"Suchen");
  action.SetHint(u"Suchen Ω|Sucht");
  action.SetShortCut(ShortCut('F', scCtrl));
  auto link = MakeWideActionLink(*button);
  link->SetAction(&action);
  WideControlActionChange(*button, action, false);
  RequestHint(*button);
  EXPECT_EQ(Shown(), u"Suchen Ω (Strg+F)");
  UniApplication().SetHintShortCuts(false);
  RequestHint(*button);
  EXPECT_EQ(Shown(), u"Suchen Ω");

  // A string changed by the application's handler is shown as changed.
  UniApplication().SetOnShowHint([](std::u16string& hint, const QWidget&) { hint += u" – geändert"; });
  RequestHint(*button);
  EXPECT_EQ(Shown(), u"Suchen Ω – geändert");

  // Without any hint nothing shows and Qt keeps the request.
  UniApplication().SetOnShowHint(nullptr);
  QWidget lone;
  EXPECT_FALSE(RequestHint(lone));
  EXPECT_EQ(Shown(), u"(nichts)");
}

TEST(WideHintString, Forms) {
  EXPECT_EQ(WideHintString(u"Suchen", true, ShortCut(vkReturn, scCtrl)), u"Suchen (Strg+Eingabe)");
  EXPECT_EQ(WideHintString(u"Suchen", false, ShortCut(vkReturn, scCtrl)), u"Suchen");
  EXPECT_EQ(WideHintString(u"Suchen", true, scNone), u"Suchen");
}

TEST(WideHintWindow, SizesFollowTheText) {
  TUniCustomHintWindow window;
  const QFontMetrics metrics(window.font());
  window.SetCaption(u"Ελληνικά");
  EXPECT_EQ(window.size(), QSize(metrics.horizontalAdvance(QStringLiteral("Ελληνικά")) + 6, metrics.height() + 6));
  // Broken at words within the maximum width: more lines, each no wider than it.
  const std::u16string text = u"ein langer Hinweis mit vielen Wörtern, der umbricht";
  const QRect one = window.CalcHintRect(10000, text);
  const QRect narrow = window.CalcHintRect(120, text);
  EXPECT_EQ(one.height(), metrics.height() + 2);
  EXPECT_GT(narrow.height(), 2 * metrics.height());
  EXPECT_LE(narrow.width(), 120 + 6);
  // Activation takes the given rectangle, not the text's own size.
  window.ActivateHint(QRect(10, 10, 300, 40), u"x");
  EXPECT_EQ(window.geometry(), QRect(10, 10, 300, 40));
  EXPECT_EQ(window.Caption(), u"x");
}

TEST(UniApplicationHint, FollowsTheControlUnderTheMouse) {
  TUniApplication& application = UniApplication();  // watches the events from now on
  QWidget form;
  auto* child = new QWidget(&form);
  WideControlSetHint(form, u"Form|Langer Formhinweis");
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(child, &enter);
  EXPECT_EQ(application.Hint(), u"Langer Formhinweis");
  WideControlSetHint(*child, u"Kind Ω");
  QApplication::sendEvent(child, &enter);
  EXPECT_EQ(UniApplication().Hint(), u"Kind Ω");
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&form, &leave);
  EXPECT_EQ(UniApplication().Hint(), u"");
}

TEST(UniApplicationTitle, IsWhatTheWindowDirectorySees) {
  testsupport::TempDrive drive;
  const std::string folder = drive.Posix("fenster");
  TUniApplication& application = UniApplication();
  application.SetTitle(u"Quarry-HTML Ω");  // pending: no window yet
  EXPECT_EQ(application.Title(), u"Quarry-HTML Ω");
  {
    platform::WindowListener listener(folder);
    ASSERT_TRUE(listener.Valid());
    ASSERT_TRUE(application.AttachWindow(listener));
    const platform::WindowDirectory directory(folder);
    auto found = directory.FindWindowContaining(u"Ω", false, TUniApplication::kWindowClass);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->title, u"Quarry-HTML Ω");
    application.SetTitle(u"Suche – 日本");
    found = directory.FindWindowContaining(u"日本", false, TUniApplication::kWindowClass);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, application.Window());
    EXPECT_EQ(application.Title(), u"Suche – 日本");
    EXPECT_EQ(FromQ(QCoreApplication::applicationName()), u"Suche – 日本");
    application.DetachWindow();
    EXPECT_FALSE(directory.FindWindowContaining(u"日本", false));
    // A program found by a class of its own keeps that class.
    ASSERT_TRUE(application.AttachWindow(listener, "TForm1.Eigen"));
    EXPECT_FALSE(directory.FindWindowContaining(u"日本", false, TUniApplication::kWindowClass));
    found = directory.FindWindowContaining(u"日本", false, "TForm1.Eigen");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, application.Window());
    application.DetachWindow();
  }
  EXPECT_EQ(application.Title(), u"Suche – 日本");
  // Without a window a name set through Qt wins. The display name was never set on its own
  // (Qt would append it to every window title): it still follows the name.
  QCoreApplication::setApplicationName(QStringLiteral("Anders"));
  EXPECT_EQ(application.Title(), u"Anders");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Anders"));
}

}  // namespace
}  // namespace widgets
