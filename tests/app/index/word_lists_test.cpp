#include "app/index/word_lists.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "app/index/german_numbers.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace app {
namespace {

std::u16string W(std::string_view utf8) { return platform::PosixUtf8ToWide(utf8).value(); }
std::string U(std::u16string_view text) { return platform::WideToPosixUtf8(text); }

std::string Utf16Le(std::u16string_view text, bool mark = true) {
  std::string out = mark ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

// The store's bytes for a text given in UTF-8.
std::string StoreBytes(std::string_view utf8, StoreKind kind) {
  return kind == StoreKind::Utf8 ? std::string(utf8) : Utf16Le(W(utf8));
}

std::optional<StoreLists> ListsOfBytes(const std::string& bytes, StoreKind kind, WordListMode mode,
                                       size_t blockBytes = size_t{1} << 20, std::u16string_view marker = u"T") {
  testsupport::TempDrive drive;
  drive.WriteFile("store.txt", bytes);
  StoreProgress progress;
  const bool cancel = false;
  return CollectStoreLists(drive.Posix("store.txt"), kind, mode, marker, progress, cancel, {blockBytes});
}

// Buckets 1-5 as "[a|b][c]..." and the paths after them, each behind a blank.
std::string Render(const StoreLists& lists) {
  std::string out;
  for (size_t b = 0; b < 5; ++b) {
    out += "[";
    for (size_t i = 0; i < lists.lists[b].size(); ++i) out += (i ? "|" : "") + U(lists.lists[b][i]);
    out += "]";
  }
  for (const auto& path : lists.lists[5]) out += " " + U(path);
  return out;
}

std::string ListsOf(std::string_view text, StoreKind kind, WordListMode mode) {
  const auto lists = ListsOfBytes(StoreBytes(text, kind), kind, mode);
  return lists ? Render(*lists) : "(none)";
}

constexpr auto kUtf8 = StoreKind::Utf8;
constexpr auto kMht = StoreKind::Mht;
constexpr auto kWords = WordListMode::Words;
constexpr auto kPhrases = WordListMode::Phrases;
constexpr auto kBoth = WordListMode::Both;

TEST(WordLists, TokensAndBuckets) {
  const std::string x120(120, 'x');
  const std::string x119lt = std::string(119, 'x') + "<";
  struct Case {
    std::string line;
    StoreKind kind;
    WordListMode mode;
    std::string lists;
  } cases[] = {
      {"Das Haus, der Garten.", kMht, kBoth, "[Das|Das Haus|der|der Garten][Garten.|Haus][][][]"},
      {"Das Haus, der Garten.", kUtf8, kBoth, "[Das|Das Haus|der|der Garten][Garten.|Haus][][][]"},
      {"Über ähnlich 1999 éclair", kMht, kWords, "[ähnlich][][][Über][1999|éclair]"},
      // The UTF-8 store decides by the first byte: every non-ASCII letter is "other".
      {"Über ähnlich 1999 éclair", kUtf8, kWords, "[][][][][1999|éclair|ähnlich|Über]"},
      {"Öl Ölkanne Mädchen", kMht, kWords, "[][][Mädchen|Ölkanne][][]"},
      {x120 + " " + x119lt, kMht, kWords, "[][][][" + x119lt + "][]"},
      {x120 + " " + x119lt, kUtf8, kWords, "[][][][" + x119lt + "][]"},
      {"ab abc;abcd:Garten\tTor,Tür", kMht, kWords, "[abc|abcd][Garten][][Tor|Tür][]"},
      {"Einleitung, ab c, x y", kMht, kPhrases, "[ab c][][][][]"},
      {"haus Haus HAUS", kMht, kWords, "[][haus][][][]"},
      {"Was?? Haus", kMht, kWords, "[][][][][]"},
      {"Was?? Haus", kMht, kBoth, "[][Haus][][Was??|Was?? Haus][]"},
      {"Haus und ---- Garten", kMht, kBoth, "[][][][][]"},
      {"Haus und ____ Garten", kUtf8, kBoth, "[][][][][]"},
      {"Haus und **** Garten", kMht, kBoth, "[][][][][]"},
      {"Haus und ========== Garten", kUtf8, kBoth, "[][][][][]"},
      {"#T:\\Daten\\a.htm", kMht, kBoth, "[][][][][] #T:\\Daten\\a.htm"},
      {"  #T:\\Daten\\b.htm  ", kUtf8, kBoth, "[][][][][] #T:\\Daten\\b.htm"},
      // A page line the store escaped with one blank is text, never a document path.
      {" #T:\\Daten\\c.htm", kUtf8, kBoth, "[][][][][\\Daten\\c.htm]"},
      {" #T:\\Daten\\c.htm Haus und Tor", kMht, kBoth, "[][Haus|htm Haus und Tor][][Tor|und][\\Daten\\c.htm]"},
      {"Haus --- Garten, Haus –––– Garten, a --            --          -- b, Haus und Garten", kMht, kPhrases,
       "[][Haus und Garten][][][]"},
      {"Haus --- Garten, Haus –––– Garten, a --            --          -- b, Haus und Garten", kUtf8, kPhrases,
       "[][Haus und Garten][][][]"},
      {"''Zitat hier'', ''ab cd", kMht, kPhrases, "[][][][Zitat hier'']['ab cd]"},
      // The first character goes whole, never a byte of it.
      {"„Zitat hier''", kUtf8, kPhrases, "[][itat hier''][][][]"},
      {"„Zitat hier''", kMht, kPhrases, "[][itat hier''][][][]"},
      // Trimming takes whole characters: "à" ends in byte A0 and "Á" in 81, both kept.
      {"voilà xyÁ \u00A0Haus\u00A0", kUtf8, kWords, "[][Haus][][voilà|xyÁ][]"},
      // A TAB separates words, but a phrase needs a real blank in either mode.
      {"Haus\tGarten, Haus Tor", kMht, kPhrases, "[][Haus Tor][][][]"},
      {"Haus\tGarten, Haus Tor", kMht, kBoth, "[][Garten|Haus|Haus Tor][][Tor][]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ListsOf(c.line, c.kind, c.mode), c.lists)
        << c.line << (c.kind == kUtf8 ? " (UTF-8)" : " (MHT)") << " mode " << static_cast<int>(c.mode);
}

TEST(WordLists, FirstFormIsKept) {
  struct Case {
    std::string text;
    StoreKind kind;
    std::string lists;
  } cases[] = {
      {"haus\r\nHaus\r\nHAUS Haus\r\n", kMht, "[][haus][][][]"},
      {"HAUS\r\nhaus\r\n", kUtf8, "[][HAUS][][][]"},
      {"Über\r\nüber ÜBER\r\n", kMht, "[][][][Über][]"},
      // Bytes one per character: "Ü" (C3 9C) and "ü" (C3 BC) differ, so both stay.
      {"über\r\nÜber\r\n", kUtf8, "[][][][][über|Über]"},
  };
  for (const Case& c : cases) EXPECT_EQ(ListsOf(c.text, c.kind, kWords), c.lists) << c.text;
}

// Any block size gives the lists of the whole file: lines, CR LF pairs, UTF-16 units and
// UTF-8 characters cut at a block end are joined again.
TEST(WordLists, BlockEndsCutNothing) {
  const std::string text =
      " \r\n \r\n#T:\\a\\Übung.htm\r\n===========\r\nÄrger über Größe\rFußball, Straße; Öl:Tür\n"
      "„Zitat“ und Brötchen. Mädchen im Garten\r\n\r\n#T:\\b.htm\r\nüberall Ärger\u2028Ende";
  for (StoreKind kind : {kUtf8, kMht}) {
    const auto whole = ListsOfBytes(StoreBytes(text, kind), kind, kBoth);
    ASSERT_TRUE(whole);
    if (kind == kMht) {
      EXPECT_EQ(Render(*whole),
                "[Ärger|Ärger über Größe|Brötchen.|Ende|Fußball][Garten|Größe][Mädchen|Mädchen im Garten]"
                "[Straße|Straße; Öl:Tür|Tür|über|überall|überall Ärger|und][„Zitat“|„Zitat“ und Brötchen]"
                " #T:\\a\\Übung.htm #T:\\b.htm");
    }
    for (size_t block = 4; block <= 41; ++block) {
      const auto cut = ListsOfBytes(StoreBytes(text, kind), kind, kBoth, block);
      ASSERT_TRUE(cut);
      EXPECT_EQ(Render(*cut), Render(*whole)) << "block " << block << (kind == kUtf8 ? " UTF-8" : " MHT");
    }
  }
}

// Stores larger than the 20,000,000-byte pieces they were once cut into: "Ärger" across
// that position (its UTF-8 "Ä" split by it; in UTF-16 starting a piece that would have no
// byte-order mark) and the last word of the store arrive whole.
TEST(WordLists, StoresLargerThanAPiece) {
  constexpr size_t kPiece = 20000000;
  for (StoreKind kind : {kUtf8, kMht}) {
    // Units before "Ä", so that it starts one byte before the piece end (UTF-8) or at it
    // (UTF-16: the mark FF FE, then two bytes per unit).
    const size_t before = kind == kUtf8 ? kPiece - 1 : (kPiece - 2) / 2;
    std::string text;
    while (text.size() + 64 < before) text += " \r\n#T:\\x.htm\r\nHaus Garten Wort\r\n";
    text.append(before - text.size(), ' ');
    text += "Ärger\r\nZebraschluss";
    const std::string bytes = StoreBytes(text, kind);
    ASSERT_GT(bytes.size(), kPiece);
    ASSERT_EQ(bytes.substr(kPiece - 1, 2), kind == kUtf8 ? "\xC3\x84" : std::string("\x00\xC4", 2));
    const auto lists = ListsOfBytes(bytes, kind, kWords);
    ASSERT_TRUE(lists);
    const std::vector<std::u16string> aerger = {u"Ärger"}, none;
    EXPECT_EQ(lists->lists[0], kind == kMht ? aerger : none);
    EXPECT_EQ(lists->lists[1], (std::vector<std::u16string>{u"Garten", u"Haus"}));
    EXPECT_EQ(lists->lists[2], none);
    EXPECT_EQ(lists->lists[3], (std::vector<std::u16string>{u"Wort", u"Zebraschluss"}));
    EXPECT_EQ(lists->lists[4], kind == kUtf8 ? aerger : none);
    EXPECT_EQ(lists->lists[5], (std::vector<std::u16string>{u"#T:\\x.htm"}));
  }
}

TEST(WordLists, UnicodeStoreWithoutMarkIsReadAsAnsi) {
  const auto lists = ListsOfBytes("Gr\xF6\xDF" "e Haus", kMht, kWords);
  ASSERT_TRUE(lists);
  EXPECT_EQ(Render(*lists), "[][Größe|Haus][][][]");
}

TEST(WordLists, CollationKeysOrderAsTheListCompares) {
  std::vector<std::u16string> words = {u"Haus", u"haus", u"HAUS", u"Häuser", u"Hauser", u"Straße", u"Strasse",
                                       u"Öl", u"Ol", u"oel", u"Zebra", u"ähnlich", u"ahnlich", u"1999", u"éclair",
                                       u"eclair", u"a-b", u"ab", u"a b", u" ", u"#C:\\x", u"", u"Ärger", u"ärger"};
  std::mt19937 rng(7);
  std::shuffle(words.begin(), words.end(), rng);
  for (const auto& a : words) {
    for (const auto& b : words) {
      const int byCompare = textlib::CompareTextProc(a, b, platform::GetUserDefaultLcid());
      const std::string ka = CollationKey(a), kb = CollationKey(b);
      const int byKey = ka < kb ? -1 : ka == kb ? 0 : 1;
      EXPECT_EQ(byKey, byCompare) << U(a) << " vs " << U(b);
    }
  }
}

// ---- The whole run over a database ----

class RecordingStatus : public WordListStatus {
 public:
  void SetCaption(std::u16string_view text) override { captions.emplace_back(text); }
  void SetLabel(std::u16string_view text) override { labels.emplace_back(text); }
  void SetProgressMax(int64_t max) override { progressMax = max; }
  void SetDocumentButtons(bool ansi, bool utf8, bool mht) override { buttons = {ansi, utf8, mht}; }
  void SetRelocationDrive(std::u16string_view drive) override { relocation = std::u16string(drive); }
  void ShowInformation(std::u16string_view text) override { boxes.emplace_back(text); }
  void ShowError(std::u16string_view text) override { boxes.emplace_back(text); }
  void ProcessMessages() override {
    ++pumps;
    if (cancelAtPump && pumps >= cancelAtPump) SortAbbrechen(*this, cancel);
  }

  std::vector<std::u16string> captions, labels, boxes;
  int64_t progressMax = -1;
  std::array<bool, 3> buttons = {false, false, false};
  std::optional<std::u16string> relocation;
  int pumps = 0, cancelAtPump = 0;
  bool cancel = false;
};

class Database {
 public:
  Database() { std::filesystem::create_directories(drive.Posix("Datenbank/Temp")); }
  void Write(std::string_view relative, std::string_view bytes) { drive.WriteFile(relative, bytes); }
  std::string Read(std::string_view relative) const { return drive.ReadFile(relative); }
  bool Exists(std::string_view relative) const { return std::filesystem::exists(drive.Posix(relative)); }
  WordListOutcome Run(RecordingStatus& status, WordListMode mode = kBoth) {
    return SortierteListenErstellen(drive.Drive(), u"db", mode, status, status.cancel);
  }
  testsupport::TempDrive drive;
};

TEST(WordLists, WritesBothListsByteForByte) {
  Database db;
  db.Write("a.htm", "x");
  db.Write("Datenbank/db.dat", "PFAD_UND_ENDUNGEN= T:\\ *.htm\r\nT:\\a.htm\r\n");
  db.Write("Datenbank/db_UTF8Dokument.txt", " \r\n \r\n#T:\\a.htm\r\n====\r\nÄrger im Garten, über alles.\r\n");
  db.Write("Datenbank/db_MHTtext.txt",
           Utf16Le(u" \r\n#T:\\m\\b.mht\r\n=====\r\n \r\nÄrger im Garten\r\n \r\n#T:\\m\\a.mht\r\n=====\r\n"));
  db.Write("Datenbank/Temp/SplitDokument001.txt", "old piece");
  RecordingStatus status;
  ASSERT_EQ(db.Run(status), WordListOutcome::Done);
  EXPECT_EQ(db.Read("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"),
            "alles.\r\nGarten\r\n====\r\n\xC3\x84rger\r\n\xC3\x84rger im Garten\r\n\xC3\xBC" "ber\r\n\xC3\xBC" "ber alles\r\n"
            " \r\n#T:\\a.htm\r\n");
  EXPECT_EQ(db.Read("Datenbank/db_Phrasen_Woerter_MHTListe.txt"),
            Utf16Le(u"Ärger\r\nÄrger im Garten\r\nGarten\r\n=====\r\n#T:\\m\\a.mht\r\n#T:\\m\\b.mht\r\n"));
  EXPECT_FALSE(db.Exists("Datenbank/Temp/SplitDokument001.txt"));
  EXPECT_EQ(status.labels, (std::vector<std::u16string>{u"Sortierte Liste von: db_UTF8Dokument.txt",
                                                        u"Sortierte Liste von: db_MHTtext.txt", u"Fertig"}));
  EXPECT_EQ(status.captions.front(), u"Sortierung von: \"db\" läuft.");
  EXPECT_EQ(status.captions.back(), u"");
  EXPECT_EQ(status.progressMax, 2);  // the MHT store's documents
  EXPECT_EQ(status.buttons, (std::array<bool, 3>{false, true, true}));
  EXPECT_FALSE(status.relocation);  // the first listed path exists
  EXPECT_TRUE(status.boxes.empty());
}

std::string ManyDocuments() {
  std::string store;
  for (int i = 1; i <= 3000; ++i)
    store += " \r\n#T:\\d" + std::to_string(i) + ".htm\r\nHaus Garten Wort Nummer " + std::to_string(i) + "\r\n";
  return store;
}

TEST(WordLists, CaptionShowsTheDocumentUnderWay) {
  Database db;
  db.Write("Datenbank/db_UTF8Dokument.txt", ManyDocuments());
  RecordingStatus status;
  ASSERT_EQ(db.Run(status), WordListOutcome::Done);
  EXPECT_EQ(status.progressMax, 3000);
  const auto shown = std::find_if(status.captions.begin(), status.captions.end(),
                                  [](const std::u16string& c) { return c.starts_with(u"UTF8 "); });
  ASSERT_NE(shown, status.captions.end());
  std::string numberText = U(shown->substr(5, shown->find(u' ', 5) - 5));
  std::erase(numberText, '.');
  const int64_t number = std::stoll(numberText);
  EXPECT_EQ(*shown, u"UTF8 " + FormatThousands(number) + u" von 3.000 T:\\d" + W(std::to_string(number)) + u".htm");
}

TEST(WordLists, ACancelledRunWritesNothing) {
  for (int cancelAt : {1, 3}) {
    Database db;
    db.Write("Datenbank/db_UTF8Dokument.txt", ManyDocuments());
    db.Write("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt", "old list");
    RecordingStatus status;
    status.cancelAtPump = cancelAt;
    EXPECT_EQ(db.Run(status), WordListOutcome::Cancelled);
    EXPECT_EQ(db.Read("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"), "old list");
    EXPECT_FALSE(db.Exists("Datenbank/db_Phrasen_Woerter_MHTListe.txt"));
    EXPECT_EQ(status.captions.back(), kSortCancelText);
    EXPECT_NE(status.labels.back(), u"Fertig");
  }
}

TEST(WordLists, NoStoreShowsTheBox) {
  Database db;
  RecordingStatus status;
  EXPECT_EQ(db.Run(status), WordListOutcome::NoDocuments);
  EXPECT_EQ(status.boxes, (std::vector<std::u16string>{
                              u"Für die Datenbank \"db\" existieren keine Dokumente, die sortiert werden könnten!"}));
}

// A database of web archives only lists no path in its description: the run takes the
// drive under which the description is found and builds the MHT list.
TEST(WordLists, ArchivesOnlyDatabase) {
  Database db;
  db.Write("Datenbank/db.dat", "PFAD_UND_ENDUNGEN= T:\\ *.mht\r\n");
  db.Write("Datenbank/db_UTF8Dokument.txt", "");
  db.Write("Datenbank/db_MHTtext.txt", Utf16Le(u" \r\n#T:\\a.mht\r\n=====\r\n \r\nHaus\r\n"));
  RecordingStatus status;
  ASSERT_EQ(db.Run(status), WordListOutcome::Done);
  EXPECT_EQ(status.relocation, u"T");  // the description is found under T:
  EXPECT_EQ(db.Read("Datenbank/db_Phrasen_Woerter_MHTListe.txt"), Utf16Le(u"Haus\r\n=====\r\n#T:\\a.mht\r\n"));
  EXPECT_FALSE(db.Exists("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"));
}

TEST(WordLists, AnUnwritableListIsReported) {
  Database db;
  db.Write("Datenbank/db_UTF8Dokument.txt", "Haus und Garten\r\n");
  std::filesystem::create_directories(db.drive.Posix("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"));
  RecordingStatus status;
  EXPECT_EQ(db.Run(status), WordListOutcome::WriteFailed);
  ASSERT_EQ(status.boxes.size(), 1u);
  EXPECT_TRUE(status.boxes[0].starts_with(u"Die Datei T:\\Datenbank\\db_Phrasen_Woerter_Utf8Liste.txt kann nicht"));
  EXPECT_NE(status.labels.back(), u"Fertig");
}

// A store of a few MB in the form a build writes it: documents, page text with words in
// several cases and with umlauts, phrases, repeats near and far, and escaped page lines.
std::string GeneratedStore(StoreKind kind, size_t bytes) {
  std::mt19937 rng(4711);
  const std::vector<std::string> syllables = {"haus", "Gar", "ten", "über", "Ärger", "öl", "Stra", "ße", "mäd",
                                              "chen", "tür", "Zeit", "ung", "Berg", "a", "e", "lich", "Fuß"};
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 20000; ++i) {
    std::string word;
    for (int k = 0, n = 1 + static_cast<int>(rng() % 3); k < n; ++k) word += syllables[rng() % syllables.size()];
    if (rng() % 4 == 0) word = U(textlib::UnicodeUpperCase(W(word)));
    vocabulary.push_back(word);
  }
  const char* separators[] = {" ", " ", " ", " ", ", ", ". ", "; ", ": "};
  std::string text;
  for (int doc = 1; text.size() < bytes; ++doc) {
    text += " \r\n \r\n#T:\\docs\\Seite " + std::to_string(doc % 700) + ".htm\r\n==========\r\n";
    for (int line = 0, lines = 3 + static_cast<int>(rng() % 8); line < lines; ++line) {
      if (rng() % 50 == 0) text += " #T:\\forged\\" + std::to_string(rng() % 9) + ".htm steht da\r\n";
      for (int w = 0, words = 4 + static_cast<int>(rng() % 20); w < words; ++w) {
        // Skewed: a few words very often, most of them rarely.
        const size_t pick = static_cast<size_t>(std::pow(static_cast<double>(rng() % 10000) / 10000.0, 3) * 20000);
        text += vocabulary[pick] + separators[rng() % 8];
      }
      text += "\r\n";
    }
  }
  return StoreBytes(text, kind);
}

// Sorting in runs on disk gives byte for byte the list of today's sort in memory, in any
// number of runs and merge passes, and keeps within its budget.
TEST(WordLists, RunsOnDiskGiveTheListOfOneSortInMemory) {
  for (StoreKind kind : {kUtf8, kMht}) {
    testsupport::TempDrive drive;
    drive.WriteFile("store.txt", GeneratedStore(kind, size_t{3} << 20));
    const std::string store = drive.Posix("store.txt");
    for (WordListMode mode : {kPhrases, kBoth}) {
      const std::string label = std::string(kind == kUtf8 ? "UTF-8" : "MHT") + " mode " + std::to_string(int(mode));
      StoreProgress progress;
      const bool cancel = false;
      const auto inMemory = CollectStoreLists(store, kind, mode, u"T", progress, cancel);
      ASSERT_TRUE(inMemory) << label;
      ASSERT_TRUE(WriteToStream(WordListText(*inMemory, kind), drive.Drive(u"today.txt"), kind == kUtf8 ? 65001 : 1200));
      const std::string today = drive.ReadFile("today.txt");

      StoreListStats whole;
      ASSERT_EQ(WriteStoreList(store, kind, mode, u"T", progress, cancel, drive.Posix("whole.txt"), {}, &whole),
                StoreListResult::Done);
      EXPECT_EQ(whole.runs, 0) << label;
      EXPECT_EQ(drive.ReadFile("whole.txt"), today) << label;

      for (const size_t fanIn : {size_t{64}, size_t{3}}) {
        StoreReadOptions small;
        small.memoryBudget = 256 * 1024;
        small.mergeFanIn = fanIn;
        StoreListStats stats;
        ASSERT_EQ(WriteStoreList(store, kind, mode, u"T", progress, cancel, drive.Posix("runs.txt"), small, &stats),
                  StoreListResult::Done);
        EXPECT_GT(stats.runs, int64_t(fanIn == 3 ? 6 : 3)) << label;
        EXPECT_LE(stats.peakBytes, int64_t(small.memoryBudget)) << label;
        EXPECT_EQ(stats.documents, inMemory->documents) << label;
        EXPECT_TRUE(drive.ReadFile("runs.txt") == today) << label << " fan-in " << fanIn;
      }
    }
    // Nothing is left beside the lists: the runs never had a name.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(drive.Posix())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"runs.txt", "store.txt", "today.txt", "whole.txt"}));
  }
}

// A run that cannot be written, a cancel during the merge, each keeps the old list and
// leaves no temporary.
TEST(WordLists, AFailedOrCancelledRunKeepsTheOldList) {
  testsupport::TempDrive drive;
  drive.WriteFile("store.txt", GeneratedStore(kUtf8, size_t{1} << 20));
  drive.WriteFile("list.txt", "old list");
  StoreReadOptions small;
  small.memoryBudget = 128 * 1024;
  StoreProgress progress;
  bool cancel = false;
  for (const int64_t nth : {1, 5, 40}) {
    platform::ScopedFaults full(*platform::ParseFaultPlan("write:" + std::to_string(nth) + ":ENOSPC"));
    EXPECT_EQ(WriteStoreList(drive.Posix("store.txt"), kUtf8, kBoth, u"T", progress, cancel, drive.Posix("list.txt"),
                             small),
              StoreListResult::WriteFailed)
        << nth;
    EXPECT_EQ(platform::LastError(), ENOSPC);
  }
  // Cancelled while the runs are merged, at the run's last tick of the progress.
  class Ticks : public StoreProgress {
   public:
    explicit Ticks(bool& cancel, int cancelAt = 0) : cancel_(cancel), cancelAt_(cancelAt) {}
    void Tick(int64_t, int64_t, std::u16string_view) override {
      if (++ticks == cancelAt_) cancel_ = true;
    }
    int ticks = 0;

   private:
    bool& cancel_;
    int cancelAt_;
  };
  Ticks counting(cancel);
  ASSERT_EQ(WriteStoreList(drive.Posix("store.txt"), kUtf8, kBoth, u"T", counting, cancel, drive.Posix("counted.txt"),
                           small),
            StoreListResult::Done);
  std::filesystem::remove(drive.Posix("counted.txt"));
  Ticks late(cancel, counting.ticks);
  EXPECT_EQ(WriteStoreList(drive.Posix("store.txt"), kUtf8, kBoth, u"T", late, cancel, drive.Posix("list.txt"), small),
            StoreListResult::Cancelled);
  EXPECT_TRUE(drive.ReadFile("list.txt") == "old list");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(drive.Posix()), {}), 2);
}

// The temporaries a killed list build left are removed by the next one: only those of
// this database's list, and only those whose process is gone.
TEST(WordLists, TheNextBuildRemovesTheLeftoversOfAKilledOne) {
  Database db;
  db.Write("Datenbank/db_UTF8Dokument.txt", "Haus und Garten\r\n");
  // Beyond any process number the system gives.
  const std::string gone = ".tmp2147483646-a1b2c3";
  const std::string alive = ".tmp" + std::to_string(::getppid()) + "-a1b2c3";
  const std::vector<std::string> kept = {"Datenbank/db_Phrasen_Woerter_Utf8Liste.txt" + alive,
                                         "Datenbank/dbx_Phrasen_Woerter_Utf8Liste.txt" + gone,
                                         "Datenbank/db_Phrasen_Woerter_MHTListe.txt" + gone,
                                         "Datenbank/db_Phrasen_Woerter_Utf8Liste.txt.tmpx-1"};
  for (const auto& name : kept) db.Write(name, "x");
  db.Write("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt" + gone, std::string(4096, 'x'));
  RecordingStatus status;
  ASSERT_EQ(db.Run(status), WordListOutcome::Done);
  EXPECT_FALSE(db.Exists("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt" + gone));
  for (const auto& name : kept) EXPECT_TRUE(db.Exists(name)) << name;
  EXPECT_EQ(db.Read("Datenbank/db_Phrasen_Woerter_Utf8Liste.txt"), "Garten\r\nHaus\r\nHaus und Garten\r\nund\r\n");
}

}  // namespace
}  // namespace app
