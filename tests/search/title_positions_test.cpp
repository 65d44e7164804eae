#include "search/engine/title_positions.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "search/engine/document_model.h"
#include "tests/search/search_fixtures.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

using searchtest::Doc;
using search::TitleKind;

// The title file without its first line, which must be the stamp of a store of `size` bytes.
std::string WithoutStamp(const std::string& file, size_t size) {
  const size_t end = file.find("\r\n");
  const std::string head = "Speicherstand " + std::to_string(size) + " ";
  EXPECT_TRUE(file.starts_with(head) && end == head.size() + 16) << file.substr(0, 60);
  return end == std::string::npos ? file : file.substr(end + 2);
}

class TitlePositions : public ::testing::Test {
 protected:
  TitlePositions() {
    session.dokumentmarke = u"#T:\\";
    platform::MakeDirectory(drive.Posix("Datenbank"));
  }
  testsupport::TempDrive drive;
  search::SearchSession session;
};

TEST_F(TitlePositions, ThreeRecordsGiveThreeLinesAtTheirMarkers) {
  const std::vector<Doc> docs = {{u"T:\\a.htm", u"eins"}, {u"T:\\Bücher\\b.htm", u"zwei\r\ndrei"}, {u"T:\\c.htm", u"vier"}};
  const std::string store = searchtest::Utf8Store(docs);
  drive.WriteFile("Datenbank/db_UTF8Dokument.txt", store);
  session.nurGanzeWoerter = true;  // never used for the markers
  ASSERT_TRUE(search::TitelPositionenErstellen(session, drive.Drive(u"Datenbank\\db_UTF8Dokument.txt"),
                                               drive.Drive(u"Datenbank\\t.txt"), TitleKind::Utf8));
  const size_t a = store.find("#T:\\a"), b = store.find("#T:\\B"), c = store.find("#T:\\c");
  EXPECT_EQ(WithoutStamp(drive.ReadFile("Datenbank/t.txt"), store.size()),
            std::to_string(a) + " #T:\\a.htm\r\n" + std::to_string(b) + " #T:\\B\xC3\x83\xC2\xBC" "cher\\b.htm\r\n" +
                std::to_string(c) + " #T:\\c.htm\r\n");

  search::TTitlePositions titles;
  ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
  struct Row {
    int64_t offset;
    std::string path;
  } rows[] = {
      {int64_t(a), "T:\\a.htm"},
      {int64_t(b) - 1, "T:\\a.htm"},
      {int64_t(b), "T:\\B\xC3\xBC" "cher\\b.htm"},  // a record's own offset belongs to it
      {int64_t(c) - 1, "T:\\B\xC3\xBC" "cher\\b.htm"},
      {int64_t(c), "T:\\c.htm"},
      {int64_t(c) + 100000, "T:\\c.htm"},
      {int64_t(a) - 1, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(search::GetPfadUtf8(titles, row.offset), row.path) << row.offset;

  const auto display = search::ZeigDieTitelAnText(int64_t(b) + 1, titles, TitleKind::Utf8, false);
  EXPECT_EQ(display.hint, u"T:\\Bücher\\b.htm");
  EXPECT_EQ(display.caption, search::FormatGroupedNumber(int64_t(b) + 1) + u"  \"T:\\Bücher\\b.htm\"");
  EXPECT_EQ(search::ZeigDieTitelAnText(1234567, titles, TitleKind::Utf8, true).caption, u"1.234.567");
  // A top line among the blank lines that open b's record names b; the last line of a's
  // text still names a.
  EXPECT_EQ(search::ZeigDieTitelAnText(int64_t(b) - 6, titles, TitleKind::Utf8, false).hint, u"T:\\Bücher\\b.htm");
  EXPECT_EQ(search::ZeigDieTitelAnText(int64_t(b) - 3, titles, TitleKind::Utf8, false).hint, u"T:\\Bücher\\b.htm");
  EXPECT_EQ(search::ZeigDieTitelAnText(int64_t(store.rfind("eins")), titles, TitleKind::Utf8, false).hint, u"T:\\a.htm");
}

TEST_F(TitlePositions, MhtStoreHoldsPathsEncodedOnce) {
  const std::string store = searchtest::MhtStore({{u"T:\\ä.mht", u"x"}, {u"T:\\b.mht", u"y"}});
  drive.WriteFile("Datenbank/m.txt", store);
  ASSERT_TRUE(search::TitelPositionenErstellen(session, drive.Drive(u"Datenbank\\m.txt"),
                                               drive.Drive(u"Datenbank\\t.txt"), TitleKind::Mht));
  const std::string expected = "8 #T:\\\xC3\xA4.mht\r\n" + std::to_string(store.find(searchtest::Utf16LE(u"#T:\\b"))) +
                               " #T:\\b.mht\r\n";
  EXPECT_EQ(WithoutStamp(drive.ReadFile("Datenbank/t.txt"), store.size()), expected);
  search::TTitlePositions titles;
  titles.Load(drive.Drive(u"Datenbank\\t.txt"));
  EXPECT_EQ(search::GetPfadUnicode(titles, 20), "T:\\\xC3\xA4.mht");
  EXPECT_EQ(search::ZeigDieTitelAnText(20, titles, TitleKind::Mht, false).hint, u"T:\\ä.mht");
}

TEST_F(TitlePositions, EmptyStoreWritesAnEmptyFileAndMissingFilesFindNothing) {
  drive.WriteFile("Datenbank/e.txt", "no records here");
  search::TitelPositionenErstellen(session, drive.Drive(u"Datenbank\\e.txt"), drive.Drive(u"Datenbank\\t.txt"),
                                   TitleKind::Utf8);
  EXPECT_EQ(WithoutStamp(drive.ReadFile("Datenbank/t.txt"), 15), "");
  search::TTitlePositions titles;
  EXPECT_FALSE(titles.Load(drive.Drive(u"Datenbank\\missing.txt")));
  EXPECT_EQ(search::GetPfadUtf8(titles, 5), "");
}

TEST_F(TitlePositions, OffsetsBeyondTwoGigabytesAreRead) {
  drive.WriteFile("Datenbank/t.txt", "10 #T:\\a.htm\r\n3000000000 #T:\\b.htm\r\n6000000000 #T:\\c.htm\r\n");
  search::TTitlePositions titles;
  titles.Load(drive.Drive(u"Datenbank\\t.txt"));
  EXPECT_EQ(search::GetPfadUnicode(titles, 2999999999), "T:\\a.htm");
  EXPECT_EQ(search::GetPfadUnicode(titles, 3000000005), "T:\\b.htm");
  EXPECT_EQ(search::GetPfadUnicode(titles, 7000000000), "T:\\c.htm");
  EXPECT_EQ(search::FormatGroupedNumber(6000000000), u"6.000.000.000");
}

TEST_F(TitlePositions, MalformedLinesAreSkipped) {
  // Each damaged line stands between the records of a.htm (offset 10) and b.htm (500).
  const std::string damaged[] = {"garbage", "77", "x7 #T:\\x.htm", "99999999999999999999999 #T:\\x.htm", "300 ",
                                 "300 T:\\x.htm", " #T:\\x.htm", "", "300 #T:\\" + std::string(5 << 20, 'x')};
  for (const std::string& line : damaged) {
    drive.WriteFile("Datenbank/t.txt", std::string("10 #T:\\a.htm\r\n") + line + "\r\n500 #T:\\b.htm\r\n");
    search::TTitlePositions titles;
    ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
    EXPECT_EQ(titles.Count(), 2u) << line.substr(0, 40);
    EXPECT_EQ(search::GetPfadUnicode(titles, 400), "T:\\a.htm") << line.substr(0, 40);
    EXPECT_EQ(search::GetPfadUnicode(titles, 500), "T:\\b.htm") << line.substr(0, 40);
  }
  // A last line torn off without its line end still counts.
  drive.WriteFile("Datenbank/t.txt", "10 #T:\\a.htm\r\n500 #T:\\b");
  search::TTitlePositions titles;
  titles.Load(drive.Drive(u"Datenbank\\t.txt"));
  EXPECT_EQ(search::GetPfadUnicode(titles, 600), "T:\\b");
}

// A title file cut while a search holds it gives no path from the lost part, neither a
// wrong one nor a crash: at a page's end (the pages after it are gone), inside the last
// page (its tail reads as zeros), and inside a record looked up just before.
TEST_F(TitlePositions, AFileCutWhileLoadedGivesNoPathsFromTheLostPart) {
  std::string file;
  for (int i = 0; i < 5000; ++i) file += std::to_string(100 * i) + " #T:\\d" + std::to_string(i) + ".htm\r\n";
  const size_t record2500 = file.find("250000 #");
  const struct {
    size_t cut;
    int64_t before;  // looked up before the cut, -1 for none
    int64_t lost;
  } rows[] = {{4096, -1, 499950}, {file.size() - 10, -1, 499950}, {record2500 + 12, 250050, 250050}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.cut);
    drive.WriteFile("Datenbank/t.txt", file);
    search::TTitlePositions titles;
    ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
    if (row.before >= 0) {
      EXPECT_EQ(search::GetPfadUnicode(titles, row.before), "T:\\d2500.htm");
    }
    ASSERT_EQ(::truncate(drive.Posix("Datenbank/t.txt").c_str(), static_cast<off_t>(row.cut)), 0);
    EXPECT_EQ(search::GetPfadUnicode(titles, row.lost), "");
  }
}

// The stamp describes the store's bytes: its size and its end, not its name or time.

TEST_F(TitlePositions, StampsTellStoresApart) {
  drive.WriteFile("a.txt", std::string(100000, 'x') + "Ende");
  drive.WriteFile("b.txt", std::string(100000, 'x') + "Ende");
  drive.WriteFile("c.txt", std::string(100000, 'x') + "Endf");
  drive.WriteFile("d.txt", std::string(100000, 'x') + "Ende!");
  const auto a = search::StoreStampOf(drive.Drive(u"a.txt"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size, 100004);
  EXPECT_EQ(search::StoreStampOf(drive.Drive(u"b.txt")), a);
  EXPECT_NE(search::StoreStampOf(drive.Drive(u"c.txt")), a);
  EXPECT_NE(search::StoreStampOf(drive.Drive(u"d.txt")), a);
  EXPECT_FALSE(search::StoreStampOf(drive.Drive(u"none.txt")));

  // Read back from the title file; a file of the old format has none, and its lines read
  // as before.
  const std::string store = searchtest::Utf8Store({{u"T:\\a.htm", u"eins"}});
  drive.WriteFile("Datenbank/s.txt", store);
  ASSERT_TRUE(search::TitelPositionenErstellen(session, drive.Drive(u"Datenbank\\s.txt"),
                                               drive.Drive(u"Datenbank\\t.txt"), TitleKind::Utf8));
  search::TTitlePositions titles;
  ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
  EXPECT_EQ(titles.Stamp(), search::StoreStampOf(drive.Drive(u"Datenbank\\s.txt")));
  EXPECT_EQ(titles.Count(), 1u);
  EXPECT_EQ(search::GetPfadUtf8(titles, 100), "T:\\a.htm");
  drive.WriteFile("Datenbank/t.txt", "6 #T:\\a.htm\r\n");
  ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
  EXPECT_FALSE(titles.Stamp());
  EXPECT_EQ(search::GetPfadUtf8(titles, 100), "T:\\a.htm");
}

// Lookups in a file of many lines (narrowed down by halves) agree with a plain reading,
// damaged lines and markers inside lines among them.
TEST_F(TitlePositions, LookupsInLargeFilesAgreeWithAPlainReading) {
  std::mt19937 rng(3);
  std::string file;
  std::vector<std::pair<int64_t, std::string>> records;
  std::vector<int64_t> markers;
  int64_t offset = 0;
  for (int i = 0; i < 20000; ++i) {
    offset += 1 + rng() % 500;
    const int kind = static_cast<int>(rng() % 20);
    if (kind == 0) {
      file += "Schrott ohne Zahl\r\n";
      continue;
    }
    if (kind == 1) {
      file += std::to_string(offset) + " kein Datensatz\r\n";
      markers.push_back(offset);
      continue;
    }
    const std::string path = "T:\\d" + std::to_string(i) + ".htm";
    file += std::to_string(offset) + " #" + path + (i % 2 ? "\r\n" : "\n");
    records.emplace_back(offset, path);
    markers.push_back(offset);
  }
  drive.WriteFile("Datenbank/t.txt", file);
  search::TTitlePositions titles;
  ASSERT_TRUE(titles.Load(drive.Drive(u"Datenbank\\t.txt")));
  EXPECT_EQ(titles.Count(), records.size());
  // Far jumps, and the short steps on (and now and then back) of a run's hits.
  int64_t at = 0;
  for (int probe = 0; probe < 6000; ++probe) {
    if (probe % 3 == 0)
      at = static_cast<int64_t>(rng() % static_cast<uint64_t>(offset + 10)) - 5;
    else
      at += static_cast<int64_t>(rng() % 1600) - 100;
    std::string path;
    for (const auto& [o, p] : records)
      if (o <= at) path = p;
    std::optional<int64_t> next;
    for (const int64_t m : markers)
      if (m > at) {
        next = m;
        break;
      }
    ASSERT_EQ(titles.RawPathAt(at), path) << at;
    ASSERT_EQ(titles.NextOffsetAfter(at), next) << at;
  }
}

TEST_F(TitlePositions, UnopenableStoreIsReported) {
  testsupport::ScopedRecordingSink sink;
  EXPECT_FALSE(search::TitelPositionenErstellen(session, drive.Drive(u"Datenbank\\none.txt"),
                                                drive.Drive(u"Datenbank\\t.txt"), TitleKind::Utf8));
  ASSERT_FALSE(sink->Boxes().empty());
  EXPECT_EQ(drive.ReadFile("Datenbank/t.txt"), "");
}

TEST_F(TitlePositions, CaptionIsShortenedInStepsOfSeven) {
  const auto fit = search::FitCaption(u"0123456789abcdefghij", [](const std::u16string& s) { return s.size() <= 10; });
  EXPECT_EQ(fit, u"012345...");
  EXPECT_EQ(search::FitCaption(u"short", [](const std::u16string&) { return true; }), u"short");
}

TEST(DocumentModel, SelectsLinesAndKeepsTheSelectionOnInvalidOffsets) {
  testsupport::TempDrive drive;
  drive.WriteFile("d.txt", "abc\r\ndef ghi\r\n\r\nxyz");
  search::TDocumentModel model;
  ASSERT_TRUE(model.Open(drive.Drive(u"d.txt")));
  struct Row {
    int kind;
    int64_t offset;
    std::string text;
  } rows[] = {{0, 0, "abc"}, {0, 2, "abc"}, {0, 6, "def ghi"}, {1, 6, "def"}, {0, 3, "abc\r"},
              {0, 4, "\ndef ghi"}, {0, 18, "xyz"}, {1, 10, "ghi"}};
  for (const auto& row : rows) {
    model.SelectAt(row.kind, row.offset);
    EXPECT_EQ(model.SelText(), row.text) << row.offset;
  }
  model.SelectAt(0, 19);
  model.SelectAt(0, 99);
  model.SelectAt(0, -1);
  EXPECT_EQ(model.SelText(), "ghi");
  // Reopening the same name reads the rewritten file.
  drive.WriteFile("d.txt", "neu");
  ASSERT_TRUE(model.Open(drive.Drive(u"d.txt")));
  model.SelectAt(0, 1);
  EXPECT_EQ(model.SelText(), "neu");
}

}  // namespace
