#include "widgets/uni_label.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <set>
#include <utility>

#include "widgets/qt_wide.h"

namespace widgets {
namespace {

TEST(Label, EqualCaptionChangesNothingAndADifferentOneNotifiesOnce) {
  TUniLabel label;
  QSignalSpy changed(&label, &TUniLabel::Changed);
  label.SetCaption(u"");
  EXPECT_EQ(changed.count(), 0);
  label.SetCaption(u"Ωμέγα");
  EXPECT_EQ(changed.count(), 1);
  label.SetCaption(u"Ωμέγα");
  EXPECT_EQ(changed.count(), 1);
  label.SetCaption(u"Ωμέγο");  // the same text in code page 1252: "?????"
  EXPECT_EQ(changed.count(), 2);
  EXPECT_EQ(label.Caption(), u"Ωμέγο");
}

TEST(Label, NothingToShowMeasuresOneBlank) {
  TUniLabel blank, probe;
  blank.SetCaption(u" ");
  struct Case {
    std::u16string caption;
    bool accel;
  } cases[] = {{u"", true}, {u"", false}, {u"&", true}};
  for (const auto& c : cases) {
    probe.SetShowAccelChar(c.accel);
    probe.SetCaption(c.caption);
    EXPECT_EQ(probe.sizeHint(), blank.sizeHint()) << "row " << (&c - cases);
    EXPECT_GT(probe.sizeHint().height(), 0);
  }
  probe.SetShowAccelChar(false);
  probe.SetCaption(u"&");  // a shown "&" is wider than a blank
  EXPECT_GT(probe.sizeHint().width(), blank.sizeHint().width());
}

QImage Render(const std::u16string& caption, bool accel, bool enabled, QColor text = Qt::black) {
  TUniLabel label;
  QPalette palette = label.palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Light, QColor(0, 200, 0));
  palette.setColor(QPalette::Dark, QColor(0, 0, 200));
  label.setPalette(palette);
  label.setAutoFillBackground(true);
  QFont font = label.font();
  font.setPixelSize(24);
  label.setFont(font);
  label.SetShowAccelChar(accel);
  label.SetCaption(caption);
  label.setEnabled(enabled);
  label.resize(160, 40);
  return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

using Pixels = std::set<std::pair<int, int>>;
Pixels PixelsOf(const QImage& image, QColor color) {
  Pixels found;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == color) found.insert({x, y});
  return found;
}

TEST(Label, ShowAccelCharDecidesWhatAnAmpersandIs) {
  // "&&" shows one "&" with accelerators, and "&" shows as itself without them.
  EXPECT_EQ(Render(u"A&&B", true, true), Render(u"A&B", false, true));
  EXPECT_NE(Render(u"A&B", true, true), Render(u"A&B", false, true));
  TUniLabel shown, literal;
  shown.SetCaption(u"&Datei");
  literal.SetCaption(u"Datei");
  EXPECT_EQ(shown.sizeHint(), literal.sizeHint());
  shown.SetShowAccelChar(false);
  EXPECT_GT(shown.sizeHint().width(), literal.sizeHint().width());
}

TEST(Label, DisabledLabelDrawsALightCopyOnePixelOffAndTheDarkTextInPlace) {
  const QColor light(0, 200, 0), dark(0, 0, 200);
  const Pixels lightInk = PixelsOf(Render(u"Hilfe", true, true, light), light);
  const Pixels darkInk = PixelsOf(Render(u"Hilfe", true, true, dark), dark);
  ASSERT_FALSE(darkInk.empty());
  const QImage disabled = Render(u"Hilfe", true, false);
  EXPECT_EQ(PixelsOf(disabled, dark), darkInk);
  const Pixels lightShown = PixelsOf(disabled, light);
  ASSERT_FALSE(lightShown.empty());
  for (const auto& [x, y] : lightShown) EXPECT_TRUE(lightInk.count({x - 1, y - 1})) << x << "," << y;
  EXPECT_TRUE(PixelsOf(Render(u"Hilfe", true, true), light).empty());
}

TEST(Label, AcceleratorFocusesTheBuddyOnlyWhenShown) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* label = new TUniLabel;
  auto* other = new QLineEdit;
  auto* buddy = new QLineEdit;
  layout->addWidget(label);
  layout->addWidget(other);
  layout->addWidget(buddy);
  label->SetCaption(u"&Suchtext");
  label->setBuddy(buddy);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  other->setFocus();
  QTest::keyClick(other, Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(buddy->hasFocus());
  other->setFocus();
  label->SetShowAccelChar(false);
  QTest::keyClick(other, Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(other->hasFocus());
}

TEST(Label, TextGivenToQtIsTheCaption) {
  TUniLabel label;
  label.setText(QStringLiteral("&Neu"));  // as a layout file's setup does
  EXPECT_EQ(label.Caption(), u"&Neu");
  TUniLabel reference;
  reference.SetCaption(u"&Neu");
  EXPECT_EQ(label.sizeHint(), reference.sizeHint());
  EXPECT_EQ(label.grab().toImage(), reference.grab().toImage());
  QSignalSpy changed(&label, &TUniLabel::Changed);
  label.SetCaption(u"&Neu");
  EXPECT_EQ(changed.count(), 0);
}

TEST(Label, HintKeepsItsScript) {
  TUniLabel label;
  label.SetHint(u"Ευρετήριο|Index");
  EXPECT_EQ(label.Hint(), u"Ευρετήριο|Index");
  EXPECT_EQ(FromQ(label.toolTip()), u"Ευρετήριο");
}

}  // namespace
}  // namespace widgets
