// Gleaner's window while it works: the address line names the archive being extracted,
// the status bar counts it, and the page area shows its text.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QStatusBar>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "extractor/program/gleaner_form.h"
#include "tests/support/temp_dir.h"
#include "widgets/uni_edit.h"

namespace extractor {
namespace {

TEST(GleanerWindow, ShowsTheArchiveItExtracts) {
  testsupport::TempDrive drive;
  for (int i = 0; i < 2; ++i)
    drive.WriteFile("docs/seite" + std::to_string(i) + ".mht",
                    "MIME-Version: 1.0\r\nContent-Type: text/html; charset=\"utf-8\"\r\n\r\n<h1>Gr\xC3\xBC\xC3\x9F" "e</h1><p>Seite " +
                        std::to_string(i) + " \xC3\xBC" "ber Stra\xC3\x9F" "en und Pl\xC3\xA4tze</p>\r\n");
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", "T:\\docs\\seite0.mht\r\nT:\\docs\\seite1.mht\r\n");
  TForm1 form(GleanerArguments{{u"T:\\b\\Datenbank\\Temp\\db_mht.dat", u"T:\\b\\Datenbank\\db_MHTtext.txt"}}, nullptr);
  form.show();
  QElapsedTimer clock;
  clock.start();
  while (!std::filesystem::exists(drive.Posix("b/Datenbank/Temp/db_Ergebnis.txt")) && clock.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  ASSERT_TRUE(std::filesystem::exists(drive.Posix("b/Datenbank/Temp/db_Ergebnis.txt")));
  EXPECT_EQ(form.findChild<widgets::TUniEdit*>(QStringLiteral("edUrl"))->Text(), u"T:\\docs\\seite1.mht");
  const QString status = form.statusBar()->currentMessage();
  EXPECT_TRUE(status.startsWith(QStringLiteral("(")) &&
              status.endsWith(QStringLiteral(" Bytes)  Datei Nr.: 2 (von 2 Dateien) : T:\\docs\\seite1.mht")))
      << status.toStdString();
  EXPECT_TRUE(form.PageView()->toPlainText().contains(QStringLiteral("Seite 1 über Straßen")));
  if (const char* folder = std::getenv("QUARRY_GRAB_DIR")) form.grab().save(QString::fromUtf8(folder) + "/gleaner.png");
}

}  // namespace
}  // namespace extractor
