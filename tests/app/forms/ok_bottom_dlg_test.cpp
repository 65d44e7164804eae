#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/forms/database_list.h"
#include "app/forms/drive_check.h"
#include "app/settings/qt_text.h"
#include "forms_fixture.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "ui_main_form.h"
#include "ui_ok_bottom_dlg.h"

namespace formstest {
namespace {

using platform::MsgResult;

class DialogTest : public FormsTest {
 protected:
  void SetUp() override {
    FormsTest::SetUp();
    w_ = Start();
    std::filesystem::create_directories(drive_.Posix("docs"));
    Dlg().Pause = [this](int ms) { pauses_.push_back(ms); };
    Dlg().BrowseForFolder = [this](std::u16string_view caption, std::u16string_view root) {
      browsed_.emplace_back(caption, root);
      return chosen_;
    };
  }
  app::TOKBottomDlg& Dlg() { return *w_->dialog; }
  Ui::TOKBottomDlg& Ui() { return w_->dialog->Form(); }
  void Fill(const QString& name, const QString& folder, const QString& extensions) {
    Ui().Edit1->setText(name);
    Ui().Edit2->setText(folder);
    Ui().Edit3->setText(extensions);
    sink_->Boxes();  // filled fields are valid: no messages expected from them
  }
  // Answers the notice once it is shown: "Ja" or "Nein".
  void AnswerNotice(bool yes) {
    QTimer::singleShot(0, [this, yes] {
      noticeText_ = w_->notice->Notice();
      if (yes) {
        w_->notice->accept();
      } else {
        w_->notice->reject();
      }
    });
  }
  void WriteMasterList(const std::string& folder, char drive) {
    std::filesystem::create_directories(drive_.Posix(folder + "/Datenbank"));
    drive_.WriteFile(folder + "/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_" + std::string(1, drive) + ".txt", "x\r\n");
  }

  std::unique_ptr<Windows> w_;
  std::vector<int> pauses_;
  std::vector<std::pair<std::u16string, std::u16string>> browsed_;
  std::optional<std::u16string> chosen_;
  std::u16string noticeText_;
};

TEST(FilterDatabaseName, RemovesTheCharactersNotAllowedInFileNames) {
  testsupport::ScopedRecordingSink sink;
  struct Case {
    std::u16string in, out;
    bool message;
  };
  const Case cases[] = {
      {u"a/b:c", u"abc", true},
      {u"x\\y*z?\"<>|:^", u"xyz", true},
      {u"Größe 2024", u"Größe 2024", false},
      {u"", u"", false},
      {u"Ω-Liste", u"-Liste", true},  // outside the ANSI code page: "?", then removed
      {u"€uro", u"€uro", false},
  };
  for (const Case& c : cases) {
    const size_t before = sink->Boxes().size();
    EXPECT_EQ(app::FilterDatabaseName(c.in), c.out);
    ASSERT_EQ(sink->Boxes().size(), before + (c.message ? 1 : 0));
    if (c.message) {
      EXPECT_EQ(sink->Boxes().back().text, u"Sie haben ungültige Zeichen eingegeben!");
    }
  }
}

TEST_F(DialogTest, TextsOfTheDialog) {
  EXPECT_EQ(Ui().Label1->text(), QStringLiteral("Name der Datenbank: "));
  EXPECT_EQ(Ui().Label2->text(), QStringLiteral("Endung(en) der Klartext-Dateien:"));
  EXPECT_EQ(Ui().Label3->text(), QStringLiteral("Ausgewähltes Laufwerk oder Ordner:"));
  EXPECT_EQ(Ui().Label5->text(),
            QStringLiteral("Programm \"Manifester\" gestartet. Es läuft mit Ihren Benutzerrechten."));
  EXPECT_EQ(Ui().Edit3->text(), QStringLiteral("*.htm *.html"));
  EXPECT_TRUE(Ui().Edit3->isReadOnly());
  EXPECT_EQ(Ui().Edit2->text(), QStringLiteral("C:\\"));
  EXPECT_EQ(Ui().OKBtn->text(), QStringLiteral("&OK"));
  EXPECT_EQ(Ui().CancelBtn->text(), QStringLiteral("&Abbruch"));
  EXPECT_EQ(Dlg().size(), QSize(540, 477));
  EXPECT_EQ(Ui().ComboBox1->count(), 2);
  EXPECT_EQ(Ui().ComboBox1->maxVisibleItems(), 20);
  EXPECT_EQ(Dlg().DateingabePopupMenu1()->actions().at(0)->text(), QStringLiteral("Pfad aus Zwischenablage einfügen"));
}

TEST_F(DialogTest, TheNameFieldStartsUnselectedAndKeepsWhatTheUserSelects) {
  Ui().Edit1->setText(QStringLiteral("Neue Datenbank"));
  Dlg().show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Dlg()));
  EXPECT_TRUE(Ui().Edit1->hasFocus());
  EXPECT_FALSE(Ui().Edit1->hasSelectedText());

  auto* edit = Ui().Edit1;
  const int wordX = edit->fontMetrics().horizontalAdvance(QStringLiteral("Neue Daten")) + 4;
  struct Case {
    const char* gesture;
    std::function<void()> select;
    QString selected;
  };
  const Case cases[] = {
      {"Ctrl+A", [&] { QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier); }, QStringLiteral("Neue Datenbank")},
      {"Shift+Home",
       [&] {
         QTest::keyClick(edit, Qt::Key_End);
         QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
       },
       QStringLiteral("Neue Datenbank")},
      {"Shift+Left",
       [&] {
         QTest::keyClick(edit, Qt::Key_End);
         for (int i = 0; i < 4; ++i) QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
       },
       QStringLiteral("bank")},
      {"double click", [&] { QTest::mouseDClick(edit, Qt::LeftButton, {}, QPoint(wordX, edit->height() / 2)); },
       QStringLiteral("Datenbank")},
  };
  for (const Case& c : cases) {
    edit->deselect();
    c.select();
    // Whatever Qt repaints meanwhile leaves the selection alone.
    Dlg().repaint();
    edit->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(edit->selectedText(), c.selected) << c.gesture;
  }
  Dlg().hide();
}

TEST_F(DialogTest, EveryTextFitsAtTheDefaultSize) {
  Dlg().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
  EXPECT_EQ(Dlg().size(), QSize(540, 477));
  ExpectEveryTextFits(Dlg(), "with database");
  Ui().AuswahlMitOhneIndizierung->click();
  ExpectEveryTextFits(Dlg(), "path list only");
  Ui().AuswahlMitOhneIndizierung->click();
  ExpectEveryTextFits(Dlg(), "with database again");
  // The explanation's three lines are one paragraph in one size.
  EXPECT_EQ(Ui().Label5->font(), Ui().Label4->font());
  EXPECT_EQ(Ui().Label6->font(), Ui().Label4->font());
  Dlg().hide();
}

TEST_F(DialogTest, TheKeptListPictureShowsWhatItStandsFor) {
  WriteMasterList("base", 'T');
  chosen_ = u"T:\\docs";
  Dlg().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dlg()));
  AnswerNotice(false);
  Dlg().OrdnerwaehlenButtonClick();
  ASSERT_TRUE(Ui().Image1->isVisible());
  QCoreApplication::processEvents();
  const std::string file = drive_.Posix("dialog.png");
  ASSERT_TRUE(Dlg().grab().save(QString::fromStdString(file), "PNG"));
  const QImage shot = QImage(QString::fromStdString(file)).copy(Ui().Image1->geometry());
  ASSERT_FALSE(shot.isNull());
  // Not an empty box: a picture and dark lettering over most of its width.
  QSet<QRgb> colours;
  int darkLeft = shot.width(), darkRight = -1;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c(shot.pixel(x, y));
      colours.insert(c.rgb());
      if (c.lightness() < 80) darkLeft = std::min(darkLeft, x), darkRight = std::max(darkRight, x);
    }
  }
  EXPECT_GT(colours.size(), 20);
  EXPECT_GT(darkRight - darkLeft, shot.width() / 2);
  EXPECT_LT(darkRight, shot.width() - 2);  // the lettering ends inside the picture
  Dlg().hide();
}

// A name of exactly `bytes` UTF-8 bytes: the character repeated, then ASCII to make up.
QString NameOfBytes(int64_t bytes, const QString& character) {
  const int64_t each = character.toUtf8().size();
  return character.repeated(int(bytes / each)) + QString(int(bytes % each), QLatin1Char('a'));
}

bool CanCreate(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(path.c_str());
  return true;
}

TEST_F(DialogTest, ANameMustLeaveRoomForTheDatabasesLongestFileName) {
  const std::string dbFolder = drive_.Posix("base/Datenbank/");
  const long limit = ::pathconf(dbFolder.c_str(), _PC_NAME_MAX);
  ASSERT_GT(limit, 100);
  // <db>_Gesamt_OhneDB_Suchwoerterliste.txt (35 bytes after the name) is the longest
  // file, and it is written under a temporary name up to 11 bytes longer first.
  const int64_t most = app::MaxDatabaseNameBytes(u"T:\\base\\Datenbank\\");
  EXPECT_EQ(most, limit - 35 - 11);

  struct Case {
    QString name;
    bool accepted;
  };
  const Case cases[] = {
      {NameOfBytes(most, QStringLiteral("€")), true},       // three bytes each
      {NameOfBytes(most + 1, QStringLiteral("€")), false},
      {NameOfBytes(most, QStringLiteral("ä")), true},       // two bytes each
      {NameOfBytes(most + 1, QStringLiteral("ä")), false},
      {QString(most, QLatin1Char('n')), true},
      {QString(308, QLatin1Char('n')), false},
  };
  std::filesystem::create_directories(drive_.Posix("base/Datenbank/Suchwoerterlisten"));
  for (const Case& c : cases) {
    const std::string name = c.name.toStdString();
    Fill(c.name, QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
    ASSERT_EQ(Ui().Edit1->text(), c.name);
    const size_t before = sink_->Boxes().size();
    Dlg().OKBtnClick();
    EXPECT_EQ(Dlg().result(), c.accepted ? QDialog::Accepted : QDialog::Rejected) << name.size() << " bytes";
    const std::vector<std::u16string> all = BoxTexts();
    const std::vector<std::u16string> texts(all.begin() + std::ptrdiff_t(before), all.end());
    EXPECT_EQ(texts, c.accepted ? std::vector<std::u16string>{}
                                : std::vector<std::u16string>{u"Der Name ist zu lang! Geben Sie einen kürzeren ein!"})
        << name.size() << " bytes";
    if (!c.accepted && sink_->Boxes().size() > before) {
      EXPECT_EQ(sink_->Boxes()[before].flags, platform::mb::Ok | platform::mb::IconInformation);
    }
    // The boundary is the file system's: every file of an accepted name can be made,
    // temporary name included; one byte more and the longest cannot.
    bool creatable = true;
    for (auto suffix : app::DatabaseFileSuffixes()) {
      creatable = creatable && CanCreate(dbFolder + name + platform::WideToPosixUtf8(suffix) + ".quarry-tmp");
    }
    for (auto suffix : app::HistoryFileSuffixes()) {
      creatable = creatable &&
                  CanCreate(dbFolder + "Suchwoerterlisten/" + name + platform::WideToPosixUtf8(suffix) + ".quarry-tmp");
    }
    EXPECT_EQ(creatable, c.accepted) << name.size() << " bytes";
  }
}

TEST_F(DialogTest, TypingAnInvalidCharacterIsFilteredOut) {
  Ui().Edit1->clear();
  Ui().Edit1->setFocus();
  QTest::keyClicks(Ui().Edit1, QStringLiteral("a/b:c"));
  EXPECT_EQ(Ui().Edit1->text(), QStringLiteral("abc"));
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Sie haben ungültige Zeichen eingegeben!",
                                                      u"Sie haben ungültige Zeichen eingegeben!"}));
}

TEST_F(DialogTest, EveryFailedCheckIsReportedAndTheDialogEndsWithCancel) {
  w_->state.HistoryName = u"old";
  Fill(QString(), QString(), QString());
  Dlg().OKBtnClick();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Sie haben keinen Namen für die Datenbank angegeben",
                                                      u"Sie haben keinen Pfad angegeben",
                                                      u"Der angegebene Ordner existiert nicht",
                                                      u"Sie haben keine Dateiendung angegeben"}));
  for (const auto& b : sink_->Boxes()) EXPECT_EQ(b.flags, platform::mb::Ok | platform::mb::IconInformation);
  EXPECT_EQ(Dlg().result(), QDialog::Rejected);
  EXPECT_EQ(w_->state.HistoryName, u"old");
}

TEST_F(DialogTest, AFailedCheckKeepsTheDialogOpenWithWhatWasTyped) {
  Fill(QStringLiteral("Neue DB"), QStringLiteral("T:\\fehlt"), QStringLiteral("*.htm *.mht"));
  bool openAfterRefusal = false;
  QString nameAfterRefusal, extensionsAfterRefusal;
  QTimer::singleShot(0, &Dlg(), [&] {
    Ui().OKBtn->click();
    openAfterRefusal = Dlg().isVisible();
    nameAfterRefusal = Ui().Edit1->text();
    extensionsAfterRefusal = Ui().Edit3->text();
    Ui().Edit2->setText(QStringLiteral("T:\\docs"));
    Ui().OKBtn->click();
  });
  EXPECT_EQ(Dlg().exec(), QDialog::Accepted);
  EXPECT_TRUE(openAfterRefusal);
  EXPECT_EQ(nameAfterRefusal, QStringLiteral("Neue DB"));
  EXPECT_EQ(extensionsAfterRefusal, QStringLiteral("*.htm *.mht"));
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Der angegebene Ordner existiert nicht"});
  EXPECT_EQ(w_->state.HistoryName, u"Neue DB");
}

TEST_F(DialogTest, AMissingFolderAloneIsRefusedAndKeepsTheHistoryName) {
  w_->state.HistoryName = u"old";
  Fill(QStringLiteral("Neu"), QStringLiteral("T:\\nowhere"), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Der angegebene Ordner existiert nicht"});
  EXPECT_EQ(Dlg().result(), QDialog::Rejected);
  EXPECT_EQ(w_->state.HistoryName, u"old");
}

TEST_F(DialogTest, ACompleteEntryIsAccepted) {
  Fill(QStringLiteral("Neu"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm *.html"));
  Dlg().OKBtnClick();
  EXPECT_TRUE(sink_->Boxes().empty());
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
  EXPECT_EQ(w_->state.HistoryName, u"Neu");
}

TEST_F(DialogTest, AnExistingNameIsRefusedWhenCreatingButNotWhenUpdating) {
  w_->main->Form().ListBox1->addItem(QStringLiteral("TEST"));
  Fill(QStringLiteral("Test"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Dieser Name existiert schon! Geben Sie einen anderen ein!"});
  EXPECT_EQ(Dlg().result(), QDialog::Rejected);
  EXPECT_TRUE(w_->state.HistoryName.empty());

  w_->state.UpdateMode = true;
  Dlg().OKBtnClick();
  EXPECT_EQ(sink_->Boxes().size(), 1u);
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
  EXPECT_EQ(w_->state.HistoryName, u"Test");
}

TEST_F(DialogTest, NamesThatWouldOverwriteAnotherDatabasesFilesAreRefused) {
  for (const QString& name : {QStringLiteral("a_mht"), QStringLiteral("a_MHT"), QStringLiteral("a_Mht_Temp")}) {
    Fill(name, QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
    Dlg().OKBtnClick();
    EXPECT_EQ(Dlg().result(), QDialog::Rejected) << name.toStdString();
  }
  EXPECT_EQ(sink_->Boxes().size(), 3u);
  EXPECT_TRUE(w_->state.HistoryName.empty());
  Fill(QStringLiteral("a_mhtx"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
}

TEST_F(DialogTest, NamesTheDatabaseListWouldHideAreRefused) {
  for (const QString& name : {QStringLiteral("a_temp"), QStringLiteral("a_TEMP")}) {
    Fill(name, QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
    Dlg().OKBtnClick();
    EXPECT_EQ(Dlg().result(), QDialog::Rejected) << name.toStdString();
  }
  const std::u16string refusal = u"Der Name darf nicht auf \"_temp\" enden! Geben Sie einen anderen ein!";
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{refusal, refusal}));
  EXPECT_TRUE(w_->state.HistoryName.empty());
  Fill(QStringLiteral("a_temps"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
}

TEST_F(DialogTest, UpdateWithAnEmptyFolderFieldIsRefusedWithoutAQuestion) {
  w_->state.UpdateMode = true;
  WriteMasterList("base", 'T');
  Fill(QStringLiteral("Alt"), QString(), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{u"Sie haben keinen Pfad angegeben",
                                                      u"Der angegebene Ordner existiert nicht"}));
  EXPECT_EQ(Dlg().result(), QDialog::Rejected);
}

TEST_F(DialogTest, UpdateWithoutAMasterListRebuildsItWithoutAsking) {
  w_->state.UpdateMode = true;
  Fill(QStringLiteral("Alt"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
  Dlg().OKBtnClick();
  EXPECT_TRUE(w_->state.BuildMasterList);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
}

TEST_F(DialogTest, UpdateAsksAboutAnExistingMasterListAndNeinKeepsIt) {
  w_->state.UpdateMode = true;
  WriteMasterList("base", 'T');
  Fill(QStringLiteral("Alt"), QStringLiteral("T:\\docs"), QStringLiteral("*.htm"));
  AnswerNotice(false);
  Dlg().OKBtnClick();
  EXPECT_FALSE(w_->state.BuildMasterList);
  EXPECT_TRUE(Ui().Image1->isVisibleTo(&Dlg()));
  EXPECT_EQ(pauses_, (std::vector<int>{1000, 1000}));
  EXPECT_NE(noticeText_.find(u"Die \"Haupt_Dateinamen_Liste_Laufwerk_T.txt\" ist schon vorhanden."), std::u16string::npos);
  EXPECT_FALSE(Dlg().MasterListDate.empty());
  EXPECT_NE(noticeText_.find(u"\tSie wurde am: " + Dlg().MasterListDate + u" erstellt."), std::u16string::npos);
  EXPECT_EQ(Dlg().result(), QDialog::Accepted);
}

TEST_F(DialogTest, NoticeText) {
  const std::u16string text = app::MasterListNoticeText(u'D', u"01.02.2024 10:11:12");
  EXPECT_EQ(text,
            u"\r\n\r\n\r\nDie \"Haupt_Dateinamen_Liste_Laufwerk_D.txt\" ist schon vorhanden.\r\n\r\n"
            u"\tSie wurde am: 01.02.2024 10:11:12 erstellt.\r\n\r\n"
            u"\t\tSoll sie neu erstellt werden?\r\n"
            u"\t\t--------------------------------------\r\n\r\n"
            u"  Das geht relativ schnell. Für 300.000 Dateien etwa 25 Sekunden.\r\n\r\n"
            u"             Test-PC:  Prozessor: Intel Core i5-7400 4 x 3.00 GHz\r\n\r\n"
            u"Die Geschwindigkeit ist abhängig von der Leistungsfähigkeit des PC.");
}

TEST_F(DialogTest, LocalFileTimeIncludesDaylightSaving) {
  WriteMasterList("base", 'T');
  // 1 July 2024 12:00 UTC falls in summer time where there is one.
  const int64_t summer = 1719835200;
  ASSERT_TRUE(platform::SetModificationTime(drive_.Posix("base/Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt"), summer));
  const auto text = app::DlgGetFileTimesLocal(u"T:\\base\\Datenbank\\Haupt_Dateinamen_Liste_Laufwerk_T.txt");
  ASSERT_TRUE(text);
  const QString expected = QDateTime::fromSecsSinceEpoch(summer).toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
  EXPECT_EQ(*text, app::FromQ(expected));
  EXPECT_FALSE(app::DlgGetFileTimesLocal(u"T:\\base\\missing.txt"));
}

TEST_F(DialogTest, FolderButtonTakesTheChosenFolder) {
  chosen_ = u"T:\\docs";
  Ui().OrdnerwaehlenButton->click();
  ASSERT_EQ(browsed_.size(), 1u);
  EXPECT_EQ(browsed_[0].first, u"Ordner zum Scannen wählen");
  EXPECT_EQ(browsed_[0].second, u"desktop");
  EXPECT_EQ(Ui().Edit2->text(), QStringLiteral("T:\\docs"));
  EXPECT_TRUE(w_->state.BuildMasterList);
  EXPECT_TRUE(sink_->Boxes().empty());  // no master list: no question
}

TEST_F(DialogTest, FolderButtonWithAnExistingMasterListAndNein) {
  WriteMasterList("base", 'T');
  chosen_ = u"T:\\docs";
  AnswerNotice(false);
  Dlg().OrdnerwaehlenButtonClick();
  EXPECT_FALSE(w_->state.BuildMasterList);
  EXPECT_TRUE(Ui().Image1->isVisibleTo(&Dlg()));
  EXPECT_EQ(pauses_, (std::vector<int>{1000, 2000}));

  AnswerNotice(true);
  Dlg().OrdnerwaehlenButtonClick();
  EXPECT_TRUE(w_->state.BuildMasterList);
  EXPECT_FALSE(Ui().Image1->isVisibleTo(&Dlg()));
}

TEST_F(DialogTest, NothingChosenChangesNothing) {
  Ui().Edit2->setText(QStringLiteral("T:\\"));
  w_->state.BuildMasterList = false;
  Dlg().OrdnerwaehlenButtonClick();
  EXPECT_EQ(Ui().Edit2->text(), QStringLiteral("T:\\"));
  EXPECT_FALSE(w_->state.BuildMasterList);
}

TEST_F(DialogTest, ClipboardPathBecomesTheRootAndTheField) {
  QGuiApplication::clipboard()->setText(QStringLiteral("T:\\docs"));
  Dlg().DateingabePopupMenu1()->actions().at(0)->trigger();
  EXPECT_EQ(Dlg().BrowseRoot, u"T:\\docs");
  EXPECT_EQ(Ui().Edit2->text(), QStringLiteral("T:\\docs"));
  ASSERT_EQ(browsed_.size(), 1u);
  EXPECT_EQ(browsed_[0].second, u"T:\\docs");
}

TEST_F(DialogTest, AFolderOnADriveWithoutARealFileSystemIsRefused) {
  platform::DriveMap map = platform::Drives();
  map.Set('P', "/proc");
  platform::SetDrivesForTesting(map);
  struct Case {
    QString folder;
    bool refused;
  };
  for (const Case& c : {Case{QStringLiteral("T:\\docs"), false}, Case{QStringLiteral("Q:\\x"), true},
                        Case{QStringLiteral("P:\\"), true}, Case{QStringLiteral("T:"), false}}) {
    sink_->Boxes();
    const size_t before = sink_->Boxes().size();
    Ui().Edit2->setText(c.folder);
    EXPECT_EQ(sink_->Boxes().size(), before + (c.refused ? 1 : 0)) << c.folder.toStdString();
    EXPECT_EQ(Ui().Edit2->text().isEmpty(), c.refused);
  }
  EXPECT_EQ(sink_->Boxes()[0].text,
            u"Das Laufwerk: \"Q\" hat kein NTFS-Dateisystem! Quarry kann es deshalb nicht indizieren.");
}

TEST_F(DialogTest, IndexModeTexts) {
  Ui().AuswahlMitOhneIndizierung->click();
  EXPECT_TRUE(w_->state.PathListOnly);
  EXPECT_EQ(Ui().AuswahlMitOhneIndizierung->text(), QStringLiteral("Ohne Datenbankerstellung (keine Indizierung der Daten)"));
  EXPECT_EQ(Ui().Label7->text(), QStringLiteral("Wenig Speicherbedarf, aber Suche langsamer als mit Indizierung."));
  EXPECT_EQ(Ui().Panel1->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
  Ui().AuswahlMitOhneIndizierung->click();
  EXPECT_FALSE(w_->state.PathListOnly);
  EXPECT_EQ(Ui().AuswahlMitOhneIndizierung->text(),
            QStringLiteral("Mit Datenbankerstellung (ist durch Indizierung bei der Suche sehr schnell)"));
  EXPECT_EQ(Ui().Label7->text(), QStringLiteral("Benötigt ausreichend Festplattenspeicher zur Erstellung der Daten."));
  EXPECT_EQ(Ui().Panel1->palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0x00));
}

TEST_F(DialogTest, ExtensionChoicesAppendToTheField) {
  Ui().Button1->click();
  EXPECT_TRUE(Ui().Edit3->text().isEmpty());
  Ui().ComboBox1->activated(1);  // "*.txt"
  EXPECT_EQ(Ui().Edit3->text(), QStringLiteral("*.txt"));
  Ui().ComboBox1->activated(0);
  EXPECT_EQ(Ui().Edit3->text(), QStringLiteral("*.txt *.csv"));
}

TEST_F(DialogTest, ExtensionChoicesLoadSortedAtTheFirstPaint) {
  drive_.WriteFile("base/AuswahlEndungen.txt", "*.xhtml\r\n*.asp\r\n*.TXT\r\n");
  w_->main->FormPaint();
  // The user's file is read as it is, and the default joins it.
  ASSERT_EQ(Ui().ComboBox1->count(), 4);
  EXPECT_EQ(Ui().ComboBox1->itemText(0), QStringLiteral("*.asp"));
  EXPECT_EQ(Ui().ComboBox1->itemText(1), QStringLiteral("*.htm *.html"));
  EXPECT_EQ(Ui().ComboBox1->itemText(2), QStringLiteral("*.TXT"));
  EXPECT_EQ(Ui().ComboBox1->itemText(3), QStringLiteral("*.xhtml"));
  EXPECT_EQ(drive_.ReadFile("base/AuswahlEndungen.txt"), "*.xhtml\r\n*.asp\r\n*.TXT\r\n");
}

}  // namespace
}  // namespace formstest
