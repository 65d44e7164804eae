#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <QWindow>

#include "app/forms/qt_services.h"
#include "app/settings/qt_text.h"
#include "forms_fixture.h"
#include "platform/window_directory.h"

namespace formstest {
namespace {

// Qt's own texts that the user meets in the folder picker and the standard buttons.
struct QtTexts {
  QString cancel, lookIn, directory, choose;
};
QtTexts TextsOfQtsDialogs() {
  QtTexts texts;
  QDialogButtonBox box(QDialogButtonBox::Cancel);
  texts.cancel = box.button(QDialogButtonBox::Cancel)->text();
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"))) texts.lookIn = label->text();
  if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"))) texts.directory = label->text();
  if (auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
    texts.choose = buttons->button(QDialogButtonBox::Open)->text();
  }
  return texts;
}

TEST(QtGermanTranslation, StandardDialogsAndButtonsSpeakGerman) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // Installed by scripts/deps.sh (qt6-translations-l10n).
  ASSERT_TRUE(QFile::exists(folder + QStringLiteral("/qtbase_de.qm"))) << folder.toStdString();
  const QtTexts english = TextsOfQtsDialogs();
  EXPECT_EQ(english.cancel, QStringLiteral("Cancel"));
  EXPECT_EQ(english.lookIn, QStringLiteral("Look in:"));

  QTranslator* translator = app::InstallQtGermanTranslation();
  ASSERT_NE(translator, nullptr);
  EXPECT_EQ(translator->parent(), QCoreApplication::instance());
  const QtTexts german = TextsOfQtsDialogs();
  QCoreApplication::removeTranslator(translator);
  delete translator;

  EXPECT_EQ(german.cancel, QStringLiteral("Abbrechen"));
  EXPECT_EQ(german.lookIn, QStringLiteral("Suchen in:"));
  EXPECT_EQ(german.directory, QStringLiteral("Verzeichnis:"));
  EXPECT_EQ(german.choose, QStringLiteral("&Auswählen"));
}

TEST(QtGermanTranslation, WithoutTheFileNothingIsInstalled) {
  testsupport::TempDrive empty;
  EXPECT_EQ(app::InstallQtGermanTranslation(QString::fromStdString(empty.Posix(""))), nullptr);
  EXPECT_EQ(TextsOfQtsDialogs().cancel, QStringLiteral("Cancel"));
}

TEST_F(FormsTest, WindowTitlesAreExactlyTheCaptions) {
  const QString oldName = QCoreApplication::applicationName();
  app::SetApplicationNames();
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Quarry-HTML"));
  // No display name of its own: it follows the application name. Only a display name set
  // on purpose is appended to window titles ("Quarry-HTML - Suche — Quarry-HTML").
  QCoreApplication::setApplicationName(QStringLiteral("quarry-probe"));
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("quarry-probe"));
  QCoreApplication::setApplicationName(oldName);

  auto w = Start();
  w->main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w->main.get()));
  QCoreApplication::processEvents();
  ASSERT_TRUE(w->main->WindowHandle());
  const QString captions[] = {
      QStringLiteral("  Quarry-HTML -  Die Suchmaschine für HTML-Dokumente."),
      QStringLiteral("Quarry-HTML - Suche"),
      QStringLiteral("Bitte Geduld! Windows Defender überprüft gerade Quarry."),
      QStringLiteral("-"),
  };
  for (const QString& caption : captions) {
    w->main->setWindowTitle(caption);
    EXPECT_EQ(w->main->windowTitle(), caption);
    ASSERT_NE(w->main->windowHandle(), nullptr);
    EXPECT_EQ(w->main->windowHandle()->title(), caption);
    // What other programs see of the window.
    std::optional<std::u16string> published;
    for (const auto& entry : platform::WindowDirectory().Windows()) {
      if (entry.handle == w->main->WindowHandle()) published = entry.title;
    }
    ASSERT_TRUE(published) << caption.toStdString();
    EXPECT_EQ(app::ToQ(*published), caption);
  }
  w->main->hide();
}

}  // namespace
}  // namespace formstest
