// Pictures of the windows at their default size, with the default and with a dark window
// colour, written when QUARRY_FORM_SHOTS names a folder (to be looked at, not compared).
#include <QListWidget>
#include <QTest>
#include <cstdlib>

#include "forms_fixture.h"
#include "ui_main_form.h"

namespace formstest {
namespace {

class WindowShots : public FormsTest {};

TEST_F(WindowShots, DefaultAndDarkColours) {
  const char* folder = std::getenv("QUARRY_FORM_SHOTS");
  if (!folder) GTEST_SKIP() << "QUARRY_FORM_SHOTS is not set";
  drive_.WriteFile("base/Datenbank/Handbuch & Notizen.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\n");
  drive_.WriteFile("base/Datenbank/web.dat", "PFAD_UND_ENDUNGEN= T:\\docs *.htm    \r\n");
  for (const auto& [name, colour] : {std::pair{"default", u"clHighlight"}, std::pair{"dark", u"$00301010"}}) {
    SetReg(app::reg::Farbe, colour);
    auto w = Start();
    w->main->show();
    w->main->FormPaint();
    w->main->Form().ListBox1->setCurrentRow(0);
    QTest::qWait(50);
    const QString prefix = QString::fromUtf8(folder) + QLatin1Char('/') + QString::fromLatin1(name);
    w->main->grab().save(prefix + QStringLiteral("-main.png"));
    w->dialog->show();
    QTest::qWait(50);
    w->dialog->grab().save(prefix + QStringLiteral("-dialog.png"));
    w->dialog->hide();
    w->settings->show();
    QTest::qWait(50);
    w->settings->grab().save(prefix + QStringLiteral("-settings.png"));
    w->settings->hide();
    w->search->show();
    w->search->SetSearchText(u"Straßenbahn & Größe");
    QTest::qWait(50);
    w->search->grab().save(prefix + QStringLiteral("-search.png"));
    w->search->SetSearchText(u"");
    QTest::qWait(20);
    w->search->grab().save(prefix + QStringLiteral("-search-empty.png"));
    w->search->hide();
  }
}

}  // namespace
}  // namespace formstest
