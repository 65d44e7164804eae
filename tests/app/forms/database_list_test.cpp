#include "app/forms/database_list.h"

#include <QImage>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "app/index/database_set.h"
#include "platform/file.h"
#include "forms_fixture.h"
#include "ui_main_form.h"

namespace formstest {
namespace {

using platform::MsgResult;

// A file with its folders.
TEST(DatabaseNames, ArchiveAndResumeListsAreNoEntriesAndNamesAreSorted) {
  testsupport::TempDrive drive;
  for (const char* f : {"zz.dat", "a_mht.dat", "B.DAT", "a.dat", "a_mht_temp.dat", "c.txt", "d.log", "x_MHT.DAT"}) {
    drive.WriteFile(std::string("Datenbank/") + f, "");
  }
  EXPECT_EQ(app::DatabaseNamesIn(u"T:\\Datenbank\\"), (std::vector<std::u16string>{u"a", u"B", u"zz"}));
  EXPECT_TRUE(app::DatabaseNamesIn(u"T:\\missing\\").empty());
}

std::vector<std::u16string> Texts(int from, int to) {
  std::vector<std::u16string> v;
  for (int i = from; i < to; ++i) {
    const std::string s = "t" + std::to_string(i);
    v.emplace_back(s.begin(), s.end());
  }
  return v;
}

TEST(SearchHistory, NewestFirstWithoutRepeatsAndAtMostFifty) {
  struct Case {
    const char* what;
    std::vector<std::u16string> before;
    std::u16string text;
    std::vector<std::u16string> after;
  };
  std::vector<std::u16string> fifty = Texts(0, 50);
  std::vector<std::u16string> pushed = {u"new"};
  pushed.insert(pushed.end(), fifty.begin(), fifty.end() - 1);
  std::vector<std::u16string> moved = {u"t7"};
  for (const auto& t : fifty) {
    if (t != u"t7") moved.push_back(t);
  }
  const Case cases[] = {
      {"first", {}, u"haus", {u"haus"}},
      {"repeat moves to the top", {u"a", u"b", u"haus", u"c"}, u"haus", {u"haus", u"a", u"b", u"c"}},
      {"case differs: a new entry", {u"Haus"}, u"haus", {u"haus", u"Haus"}},
      {"longer entry holding the text stays", {u"hausboot"}, u"haus", {u"haus", u"hausboot"}},
      {"empty entries go", {u"", u"a", u""}, u"b", {u"b", u"a"}},
      {"51st text pushes the oldest out", fifty, u"new", pushed},
      {"repeat in a full list keeps fifty", fifty, u"t7", moved},
  };
  for (const Case& c : cases) {
    auto list = c.before;
    app::UpdateSearchHistory(list, c.text);
    EXPECT_EQ(list, c.after) << c.what;
  }
}

TEST(ShadeColor, DarkerRoundsToNearestEvenLighterRoundsUp) {
  struct Case {
    uint8_t in;
    int8_t percent;
    uint8_t out;
  };
  for (const Case& c :
       {Case{128, -7, 119}, Case{128, 10, 141}, Case{50, -1, 50}, Case{150, -1, 148}, Case{255, -100, 0},
        Case{0, 100, 255}, Case{200, 0, 200}, Case{0, -50, 0}, Case{255, 50, 255}}) {
    const auto r = app::ShadeColor({c.in, c.in, c.in}, c.percent);
    EXPECT_EQ(r, (app::RgbColor{c.out, c.out, c.out})) << int(c.in) << " " << int(c.percent);
  }
  EXPECT_EQ(app::ShadeColor(app::FromColorRef(0x808080), -7), app::FromColorRef(0x777777));
}

class ListTest : public FormsTest {
 protected:
  void Db(const std::string& name) {
    drive_.WriteFile("base/Datenbank/" + name + ".dat", "PFAD_UND_ENDUNGEN= T:\\d\\ *.htm\r\n");
  }
  static QListWidget& List(Windows& w) { return *w.main->Form().ListBox1; }
  static std::vector<std::u16string> Entries(Windows& w) { return w.main->DatabaseNames(); }
};

TEST_F(ListTest, EntriesCarryTheGlyphAndTheStoredSelectionIsRestored) {
  Db("zeta");
  Db("Alpha");
  Db("mitte");
  drive_.WriteFile("base/Datenbank/mitte_mht.dat", "");
  SetReg(app::reg::AusgewaehlteDatenbank, u"1");
  auto w = Start();
  w->main->FormPaint();
  EXPECT_EQ(Entries(*w), (std::vector<std::u16string>{u"Alpha", u"mitte", u"zeta"}));
  EXPECT_FALSE(w->main->ListGlyph().isNull());
  EXPECT_EQ(List(*w).currentRow(), 1);
  EXPECT_EQ(w->state.HistoryName, u"mitte");
}

TEST_F(ListTest, SelectingAnEntryStoresItAndLoadsTheHistoryOfAPathListDatabase) {
  Db("a");
  Db("b");
  auto w = Start();
  ASSERT_TRUE(app::SaveHistoryFile({u"eins", u"zwei"},
                                   u"T:\\base\\Datenbank\\Suchwoerterlisten\\b_Gesamt_OhneDB_Suchwoerterliste.txt"));
  w->main->FormPaint();
  w->state.BrowsedKindUtf8 = true;
  List(*w).setCurrentRow(1);
  w->main->ListBox1Click();
  EXPECT_EQ(w->state.HistoryName, u"b");
  EXPECT_EQ(w->state.ClickedIndex, 1);
  EXPECT_EQ(Reg(app::reg::AusgewaehlteDatenbank), u"1");
  EXPECT_FALSE(w->state.BrowsedKindUtf8);
  EXPECT_EQ(w->search->Suggestions(), (std::vector<std::u16string>{u"eins", u"zwei"}));
  List(*w).setCurrentRow(0);
  w->main->ListBox1Click();
  EXPECT_TRUE(w->search->Suggestions().empty());
}

TEST_F(ListTest, AHistoryThatCannotBeWrittenKeepsTheOldOne) {
  const std::u16string file = u"T:\\base\\Datenbank\\Suchwoerterlisten\\b_Utf8_Suchwoerterliste.txt";
  std::filesystem::create_directories(drive_.Posix("base/Datenbank/Suchwoerterlisten"));
  ASSERT_TRUE(app::SaveHistoryFile({u"eins", u"zwei"}, file));
  const std::string before = drive_.ReadFile("base/Datenbank/Suchwoerterlisten/b_Utf8_Suchwoerterliste.txt");
  {
    platform::ScopedFaults full(*platform::ParseFaultPlan("write:1:ENOSPC"));
    EXPECT_FALSE(app::SaveHistoryFile({u"drei", u"eins", u"zwei"}, file));
  }
  EXPECT_EQ(drive_.ReadFile("base/Datenbank/Suchwoerterlisten/b_Utf8_Suchwoerterliste.txt"), before);
}

TEST_F(ListTest, SearchWithoutASelectedEntryExplains) {
  {
    auto w = Start();
    w->main->FormPaint();
    w->main->SuchenBtnClick();
    EXPECT_FALSE(w->state.Searching);
  }
  Db("a");
  auto w = Start();
  w->main->FormPaint();
  List(*w).setCurrentRow(-1);
  List(*w).clearSelection();
  bool shown = false;
  w->main->ShowSearchWindow = [&](search::TSuchForm&) { return shown = true; };
  w->main->SuchenBtnClick();
  EXPECT_FALSE(shown);
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{
                            u"Es existiert noch keine Datenbank! ",
                            u"Markieren Sie eine Datenbank und betätigen Sie dann nochmal den Suchen Schalter!"}));
}

TEST_F(ListTest, SearchRecordsTheHistoryOnlyWhereSomethingWasFound) {
  Db("a");
  auto w = Start();
  w->main->FormPaint();
  const std::string gesamt = "base/Datenbank/Suchwoerterlisten/a_Gesamt_OhneDB_Suchwoerterliste.txt";
  const std::string utf8 = "base/Datenbank/Suchwoerterlisten/a_Utf8_Suchwoerterliste.txt";
  std::u16string typed;
  w->main->ShowSearchWindow = [&](search::TSuchForm& s) {
    s.SetSearchText(typed);
    return true;
  };

  // A path-list database whose search found nothing: the files stay as they are.
  w->state.PathListOnly = true;
  w->state.NoHits = true;
  typed = u"haus";
  w->main->SuchenBtnClick();
  EXPECT_EQ(w->state.CurrentDbName, u"a");
  EXPECT_EQ(w->search->Suggestions(), std::vector<std::u16string>{u"haus"});
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix(gesamt)));
  EXPECT_EQ(w->main->Form().Label1->text(), QStringLiteral("Fertig mit der Suche."));
  EXPECT_FALSE(w->main->GedultTimer().isActive());

  w->state.NoHits = false;
  typed = u"Maus";
  w->main->SuchenBtnClick();
  EXPECT_EQ(drive_.ReadFile(gesamt), std::string("\xFF\xFEM\0a\0u\0s\0\r\0\n\0h\0a\0u\0s\0\r\0\n\0", 26));

  // A browsed store: only the kinds that had hits.
  w->state.BrowsedKindUtf8 = true;
  w->state.NoHitUtf8 = false;
  typed = u"haus";
  w->main->SuchenBtnClick();
  EXPECT_EQ(drive_.ReadFile(utf8), std::string("\xFF\xFEh\0a\0u\0s\0\r\0\n\0M\0a\0u\0s\0\r\0\n\0", 26));
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix("base/Datenbank/Suchwoerterlisten/a_Ansi_Suchwoerterliste.txt")));
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix("base/Datenbank/Suchwoerterlisten/a_MHT_Suchwoerterliste.txt")));
  EXPECT_TRUE(sink_->Boxes().empty());
}

TEST_F(ListTest, AnEmptySearchTextIsReportedAndACancelEndsTheSearch) {
  Db("a");
  auto w = Start();
  w->main->FormPaint();
  w->main->ShowSearchWindow = [](search::TSuchForm& s) {
    s.SetSearchText(u" \t ");
    return true;
  };
  w->main->SuchenBtnClick();
  EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Sie haben keinen Suchtext eingegeben!"});
  EXPECT_FALSE(w->state.Searching);
  EXPECT_TRUE(w->search->Suggestions().empty());

  w->main->ShowSearchWindow = [](search::TSuchForm&) { return false; };
  w->main->SuchenBtnClick();
  EXPECT_FALSE(w->state.Searching);  // the close button closes again
}

TEST_F(ListTest, TheHandOverFileIsConsumedEvenWhenTheSearchIsCancelled) {
  std::filesystem::create_directories(drive_.Posix("tools/q/Datenbank"));
  drive_.WriteFile("tools/q/Datenbank/a.dat", "");
  drive_.WriteFile("tools/Datenbank/Suchtext.txt", "wort");
  SetReg(app::reg::QuarryControl, u"T:\\tools");
  auto w = Start({QString::fromStdString(drive_.Posix("tools/q/QUARRY_HTML")), QStringLiteral("x")});
  w->main->FormPaint();
  ASSERT_TRUE(w->state.UseControlFolder);
  std::u16string seen, caption;
  w->main->ShowSearchWindow = [&](search::TSuchForm& s) {
    seen = s.SearchText();
    caption = s.PositionCaption();
    return false;
  };
  w->main->SuchenBtnClick();
  EXPECT_EQ(seen, u"wort");
  EXPECT_EQ(caption, u"DB: \"a\"  Position: ");
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix("tools/Datenbank/Suchtext.txt")));
  w->main->SuchenBtnClick();
  EXPECT_EQ(seen, u"");
  // Read already when the program was activated, before the search window opened.
  drive_.WriteFile("tools/Datenbank/Suchtext.txt", "neu");
  w->search->ApplicationActivate();
  EXPECT_FALSE(std::filesystem::exists(drive_.Posix("tools/Datenbank/Suchtext.txt")));
  w->main->SuchenBtnClick();
  EXPECT_EQ(seen, u"neu");
}

TEST_F(ListTest, DeletionRemovesEveryFileOfTheDatabaseAndNothingElse) {
  Db("a");
  Db("ab");
  std::vector<std::string> files;
  for (auto s : app::DatabaseFileSuffixes()) files.push_back("base/Datenbank/a" + std::string(s.begin(), s.end()));
  for (auto s : app::HistoryFileSuffixes()) {
    files.push_back("base/Datenbank/Suchwoerterlisten/a" + std::string(s.begin(), s.end()));
  }
  for (const auto& f : files) drive_.WriteFile(f, "x");
  drive_.WriteFile("base/Datenbank/ab_UTF8Dokument.txt", "x");
  auto w = Start();
  w->main->FormPaint();
  List(*w).setCurrentRow(0);

  sink_->Answer(MsgResult::No);
  w->main->Datenbankloeschen1Click();
  ASSERT_EQ(BoxTexts(), std::vector<std::u16string>{u"Möchten Sie die Datenbank \"a\" wirklich löschen?"});
  for (const auto& f : files) EXPECT_TRUE(std::filesystem::exists(drive_.Posix(f))) << f;

  List(*w).setCurrentRow(0);
  sink_->Answer(MsgResult::Yes);
  w->main->Datenbankloeschen1Click();
  for (const auto& f : files) EXPECT_FALSE(std::filesystem::exists(drive_.Posix(f))) << f;
  EXPECT_TRUE(std::filesystem::exists(drive_.Posix("base/Datenbank/ab.dat")));
  EXPECT_TRUE(std::filesystem::exists(drive_.Posix("base/Datenbank/ab_UTF8Dokument.txt")));
  EXPECT_EQ(Entries(*w), std::vector<std::u16string>{u"ab"});
  EXPECT_EQ(List(*w).currentRow(), 0);

  // Nothing selected: no question, nothing deleted.
  List(*w).setCurrentRow(-1);
  w->main->Datenbankloeschen1Click();
  EXPECT_EQ(sink_->Boxes().size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(drive_.Posix("base/Datenbank/ab.dat")));

  // The last database: an empty list without a selection.
  List(*w).setCurrentRow(0);
  sink_->Answer(MsgResult::Yes);
  w->main->Datenbankloeschen1Click();
  EXPECT_TRUE(Entries(*w).empty());
  EXPECT_EQ(List(*w).currentRow(), -1);
}

TEST(DeleteDatabaseFiles, TakesTheLeftoversOfWritingAndNothingOfAnotherDatabase) {
  testsupport::TempDrive drive;
  drive.WriteFile("outside/kept.txt", "target of a link");
  const struct {
    std::string file;  // below "Datenbank"
    bool deleted;
  } files[] = {
      {"web.dat", true},
      {"web.DAT", true},  // the list shows it as "web" too
      {"web_mht_temp.dat", true},
      {"web_UTF8Dokument.txt.schreiben", true},
      {"web_UTF8Dokument.txt.tmp4242-0123abcdef", true},
      {"web.dat.tmp17-Zz9", true},
      {"web_Phrasen_Woerter_Utf8Liste.txt.quarry-tmp", true},
      {"web_MHTtext.txt.vorher", true},
      {"web.lock", true},
      {"web.commit", true},
      {"web.commit.tmp3-ab", true},
      {"Suchwoerterlisten/web_Utf8_Suchwoerterliste.txt", true},
      {"Suchwoerterlisten/web_MHT_Suchwoerterliste.txt.quarry-tmp", true},
      {"web2.dat", false},
      {"web2_UTF8Dokument.txt.schreiben", false},
      {"web2.lock", false},
      {"Web.dat", false},  // another database on this file system
      {"aweb.dat", false},
      {"web", false},
      {"web.txt", false},
      {"web.dat.bak", false},
      {"web.dat.tmp", false},
      {"web.dat.tmp12-", false},
      {"web.dat.tmp-ab", false},
      {"web.dat.tmp12-ab.x", false},
      {"web.lock.schreiben", false},
      {"Suchwoerterlisten/web2_Utf8_Suchwoerterliste.txt", false},
      {"Suchwoerterlisten/web.lock", false},
      {"Temp/web_mht.dat", false},
  };
  for (const auto& f : files) drive.WriteFile("Datenbank/" + f.file, "x");
  // A link named like a file of the database goes; what it points to stays.
  std::filesystem::create_symlink(drive.Posix("outside/kept.txt"), drive.Posix("Datenbank/web.log"));
  std::filesystem::create_symlink(drive.Posix("outside"), drive.Posix("Datenbank/web_MHT.log"));
  // A folder named like one is left alone.
  std::filesystem::create_directories(drive.Posix("Datenbank/web_MHTtext.txt.tmp5-ab/inner"));

  const auto deleteWeb = [] {
    return app::DeleteDatabaseFiles(u"T:\\Datenbank\\", u"T:\\Datenbank\\Suchwoerterlisten\\", u"web");
  };
  EXPECT_EQ(app::DeleteDatabaseFiles(u"T:\\Datenbank\\", u"T:\\Datenbank\\Suchwoerterlisten\\", u""),
            app::DeletionOutcome::Incomplete);
  {
    // A search (or a build) of another program holds the database: nothing is touched.
    const auto held = app::LockDatabase(u"T:\\Datenbank\\", u"web", platform::FileLock::Kind::Shared);
    ASSERT_TRUE(held);
    EXPECT_EQ(deleteWeb(), app::DeletionOutcome::InUse);
  }
  for (const auto& f : files) EXPECT_TRUE(std::filesystem::exists(drive.Posix("Datenbank/" + f.file))) << f.file;

  EXPECT_EQ(deleteWeb(), app::DeletionOutcome::Deleted);
  for (const auto& f : files) {
    EXPECT_EQ(std::filesystem::exists(drive.Posix("Datenbank/" + f.file)), !f.deleted) << f.file;
  }
  EXPECT_FALSE(std::filesystem::is_symlink(drive.Posix("Datenbank/web.log")));
  EXPECT_FALSE(std::filesystem::is_symlink(drive.Posix("Datenbank/web_MHT.log")));
  EXPECT_EQ(drive.ReadFile("outside/kept.txt"), "target of a link");
  EXPECT_TRUE(std::filesystem::exists(drive.Posix("Datenbank/web_MHTtext.txt.tmp5-ab/inner")));

  // Missing folders hold nothing to delete.
  EXPECT_EQ(app::DeleteDatabaseFiles(u"T:\\none\\", u"T:\\none\\Suchwoerterlisten\\", u"web"),
            app::DeletionOutcome::Deleted);
}

TEST_F(ListTest, DeletionTakesTheLeftoversOfTheSelectedDatabaseOnly) {
  Db("web");
  Db("web2");
  const std::vector<std::string> leftovers = {"base/Datenbank/web_UTF8Dokument.txt.schreiben",
                                              "base/Datenbank/web_UTF8Dokument.txt.tmp99-abc",
                                              "base/Datenbank/web.lock"};
  const std::vector<std::string> others = {"base/Datenbank/web2_UTF8Dokument.txt.schreiben",
                                           "base/Datenbank/web2_UTF8Dokument.txt.tmp99-abc",
                                           "base/Datenbank/web2.lock"};
  for (const auto& f : leftovers) drive_.WriteFile(f, "x");
  for (const auto& f : others) drive_.WriteFile(f, "x");
  auto w = Start();
  w->main->FormPaint();
  const std::u16string question = u"Möchten Sie die Datenbank \"web\" wirklich löschen?";
  {
    // Another program searches it.
    const auto held = app::LockDatabase(u"T:\\base\\Datenbank\\", u"web", platform::FileLock::Kind::Shared);
    ASSERT_TRUE(held);
    List(*w).setCurrentRow(0);
    sink_->Answer(MsgResult::Yes);
    w->main->Datenbankloeschen1Click();
    ASSERT_EQ(BoxTexts(), (std::vector<std::u16string>{question, u"Die Datenbank \"web\" wird gerade von einem "
                                                                 u"anderen Programm verwendet und kann jetzt nicht "
                                                                 u"gelöscht werden."}));
    EXPECT_EQ(Entries(*w), (std::vector<std::u16string>{u"web", u"web2"}));
    for (const auto& f : leftovers) EXPECT_TRUE(std::filesystem::exists(drive_.Posix(f))) << f;
  }
  List(*w).setCurrentRow(0);
  sink_->Answer(MsgResult::Yes);
  w->main->Datenbankloeschen1Click();
  ASSERT_EQ(sink_->Boxes().size(), 3u);
  EXPECT_EQ(sink_->Boxes()[2].text, question);
  for (const auto& f : leftovers) EXPECT_FALSE(std::filesystem::exists(drive_.Posix(f))) << f;
  for (const auto& f : others) EXPECT_TRUE(std::filesystem::exists(drive_.Posix(f))) << f;
  EXPECT_EQ(Entries(*w), std::vector<std::u16string>{u"web2"});
}

TEST_F(ListTest, DeletingTheStoresKeepsTheDatabase) {
  Db("a");
  for (auto s : app::StoreFileSuffixes()) drive_.WriteFile("base/Datenbank/a" + std::string(s.begin(), s.end()), "x");
  drive_.WriteFile("base/Datenbank/a.log", "x");
  auto w = Start();
  w->main->FormPaint();
  w->state.CurrentDbName = u"a";
  sink_->Answer(MsgResult::Yes);
  w->main->NurdieAnsiUtf8Unicodetxtlschen1Click();
  ASSERT_EQ(BoxTexts(), std::vector<std::u16string>{u"Möchten Sie die Daten von \"a\" wirklich löschen?\r\n"
                                                    u"Die Suche funktioniert danach noch, aber langsamer."});
  for (auto s : app::StoreFileSuffixes()) {
    EXPECT_FALSE(std::filesystem::exists(drive_.Posix("base/Datenbank/a" + std::string(s.begin(), s.end()))));
  }
  EXPECT_TRUE(std::filesystem::exists(drive_.Posix("base/Datenbank/a.dat")));
  EXPECT_TRUE(std::filesystem::exists(drive_.Posix("base/Datenbank/a.log")));
}

TEST_F(ListTest, TheGrabbedWindowShowsTheEntriesAndTheSelection) {
  Db("erste");
  Db("zweite");
  SetReg(app::reg::AusgewaehlteDatenbank, u"1");
  auto w = Start();
  w->main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w->main.get()));
  QCoreApplication::processEvents();
  const QImage image = w->main->grab().toImage();
  ASSERT_TRUE(image.save(QString::fromStdString(drive_.Posix("main.png"))));
  QImage reread(QString::fromStdString(drive_.Posix("main.png")));
  ASSERT_FALSE(reread.isNull());
  QListWidget& list = List(*w);
  ASSERT_EQ(list.count(), 2);
  // The selected row is filled with the shaded window colour, its glyph and text drawn on it.
  const QRect row = list.visualItemRect(list.item(1)).translated(list.viewport()->mapTo(w->main.get(), QPoint(0, 0)));
  const QColor shade = w->main->SelectedEntryColor();
  int shaded = 0, red = 0, other = 0;
  for (int y = row.top(); y <= row.bottom(); ++y) {
    for (int x = row.left(); x <= row.right(); ++x) {
      const QColor c = reread.pixelColor(x, y);
      if (c == shade)
        ++shaded;
      else if (c == QColor(0xFF, 0, 0))
        ++red;
      else
        ++other;
    }
  }
  EXPECT_GT(shaded, row.width() * row.height() / 2);
  EXPECT_EQ(red, 0);     // the glyph's red is transparent
  EXPECT_GT(other, 20);  // glyph and text
  // The unselected row is not shaded.
  const QRect first = list.visualItemRect(list.item(0)).translated(list.viewport()->mapTo(w->main.get(), QPoint(0, 0)));
  EXPECT_NE(reread.pixelColor(first.right() - 2, first.center().y()), shade);
  sink_->Answer(MsgResult::Yes);
  w->main->close();
}

}  // namespace
}  // namespace formstest
