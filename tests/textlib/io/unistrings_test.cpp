#include "textlib/io/unistrings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "tests/textlib/io/caught.h"
#include "textlib/widestrings.h"

using namespace textlib;

namespace {

std::vector<std::u16string> Items(const TUniStrings& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

}  // namespace

TEST(UniStrings, FileFormatAndRoundTrip) {
  testsupport::TempDrive drive;
  TUniStringList list;
  list.Add(u"a");
  list.Add(u"b");
  list.SaveToFile(drive.Drive(u"ab.txt"));
  EXPECT_EQ(drive.ReadFile("ab.txt"), std::string("\xFF\xFE" "a\0\r\0\n\0b\0\r\0\n\0", 14));

  TUniStringList empty;
  empty.SaveToFile(drive.Drive(u"leer.txt"));
  EXPECT_EQ(drive.ReadFile("leer.txt"), "\xFF\xFE");

  TUniStringList wide;
  const std::vector<std::u16string> items = {u"Gr\u00FC\u00DFe", u"\u65E5\u672C \u20AC \U0001F600", u"",
                                             u"\u0410\u0411"};
  for (const auto& s : items) wide.Add(s);
  wide.SaveToFile(drive.Drive(u"w.txt"));
  TUniStringList back;
  back.LoadFromFile(drive.Drive(u"w.txt"));
  EXPECT_EQ(Items(back), items);
  EXPECT_EQ(back.LastFileCharSet(), csUtf16LE);
}

// Both list classes save whole or not at all, and keep a link at the name.
struct ListSaver {
  const char* name;
  std::function<void(const std::u16string&)> save;  // saves the list "neu"
  std::string bytes;                                 // what that writes
};

std::vector<ListSaver> ListSavers() {
  return {{"wide list (Unicode)",
           [](const std::u16string& file) {
             TUniStringList list;
             list.Add(u"neu");
             list.SaveToFile(file);
           },
           std::string("\xFF\xFEn\0e\0u\0\r\0\n\0", 12)},
          {"wide string list (ANSI)", [](const std::u16string& file) {
             TWideStringList list;
             list.Add(u"neu");
             list.SaveToFile(file);
           },
           "neu\r\n"}};
}

TEST(ListFileSave, AFailedWriteKeepsTheOldFileWhole) {
  for (const ListSaver& saver : ListSavers()) {
    for (const char* plan : {"write:1:ENOSPC", "sync:1:EIO", "rename:1:EIO"}) {
      testsupport::TempDrive drive;
      drive.WriteFile("history.txt", "the old history");
      {
        platform::ScopedFaults faults(*platform::ParseFaultPlan(plan));
        EXPECT_THROW(saver.save(drive.Drive(u"history.txt")), Exception) << saver.name << " " << plan;
      }
      EXPECT_EQ(drive.ReadFile("history.txt"), "the old history") << saver.name << " " << plan;
      // No temporary is left beside it.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(drive.Posix()), {}), 1) << saver.name;
    }
  }
}

TEST(ListFileSave, ALinkAtTheNameIsKeptAndItsTargetReplaced) {
  for (const ListSaver& saver : ListSavers()) {
    testsupport::TempDrive drive;
    drive.WriteFile("real/list.txt", "old");
    std::filesystem::create_directory(drive.Posix("links"));
    // A relative link to a relative link: each is resolved from its own folder.
    std::filesystem::create_symlink("../real/list.txt", drive.Posix("links/step.txt"));
    std::filesystem::create_symlink("step.txt", drive.Posix("links/list.txt"));
    std::filesystem::create_symlink("nowhere.txt", drive.Posix("dangling.txt"));
    std::filesystem::create_symlink("loop.txt", drive.Posix("loop.txt"));
    drive.WriteFile("plain.txt", "old");

    saver.save(drive.Drive(u"links\\list.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(drive.Posix("links/list.txt"))) << saver.name;
    EXPECT_TRUE(std::filesystem::is_symlink(drive.Posix("links/step.txt"))) << saver.name;
    EXPECT_EQ(drive.ReadFile("real/list.txt"), saver.bytes) << saver.name;

    // A link to a file not there yet makes that file.
    saver.save(drive.Drive(u"dangling.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(drive.Posix("dangling.txt"))) << saver.name;
    EXPECT_EQ(drive.ReadFile("nowhere.txt"), saver.bytes) << saver.name;

    EXPECT_THROW(saver.save(drive.Drive(u"loop.txt")), EFCreateError) << saver.name;
    EXPECT_TRUE(std::filesystem::is_symlink(drive.Posix("loop.txt"))) << saver.name;

    saver.save(drive.Drive(u"plain.txt"));
    EXPECT_EQ(drive.ReadFile("plain.txt"), saver.bytes) << saver.name;
  }
}

TEST(UniStrings, LoadDetectsCharSet) {
  testsupport::TempDrive drive;
  struct Case {
    std::string bytes;
    TUniCharSet charSet;
    std::vector<std::u16string> items;
  } cases[] = {
      {"\xEF\xBB\xBF" "Gr\xC3\xBC\xC3\x9F" "e\r\nx", csUtf8, {u"Gr\u00FC\u00DFe", u"x"}},
      {"\xEF\xBB\xBF" "ok\r\n\xC3", csUtf8, {}},  // malformed: empty list
      {"Gr\xFC\xDF" "e\r\n", csAnsi, {u"Gr\u00FC\u00DFe"}},
      {std::string("\xFE\xFF\0a\0\r\0\n\x20\xAC", 10), csUtf16BE, {u"a", u"\u20AC"}},
      {"\xFF\xFE", csUtf16LE, {}},
      {std::string("\xFF\xFE" "a\0b", 5), csUtf16LE, {u"a"}},  // the odd last byte dropped
      {"\xEF\xBB", csAnsi, {u"\u00EF\u00BB"}},
      {"x", csAnsi, {u"x"}},
  };
  for (const auto& c : cases) {
    drive.WriteFile("d.txt", c.bytes);
    TUniStringList list;
    list.Add(u"old");
    list.LoadFromFile(drive.Drive(u"d.txt"));
    EXPECT_EQ(list.LastFileCharSet(), c.charSet) << testing::PrintToString(c.bytes);
    EXPECT_EQ(Items(list), c.items) << testing::PrintToString(c.bytes);
  }
}

TEST(UniStrings, DetectStreamCharSetPositions) {
  // From the position at hand: behind a found mark, else where it was.
  struct Case {
    std::string bytes;
    int64_t start;
    TUniCharSet charSet;
    int64_t end;
  } cases[] = {
      {"\xEF\xBB\xBFx", 0, csUtf8, 3},
      {"abc", 1, csAnsi, 1},
      {"\xFF\xFE", 0, csUtf16LE, 2},
      {"\xFE\xFF" "a", 0, csUtf16BE, 2},
      {"x\xFF\xFE", 1, csUtf16LE, 3},
      {"\xFF", 0, csAnsi, 0},
      {"\xEF\xBB", 0, csAnsi, 0},
      {"\xEF\xBB\xBE", 0, csAnsi, 0},
      {"a\xEF\xBB\xBF", 0, csAnsi, 0},
      {"", 0, csAnsi, 0},
  };
  for (const auto& c : cases) {
    TMemoryStream m(c.bytes);
    m.SetPosition(c.start);
    EXPECT_EQ(DetectStreamCharSet(m), c.charSet) << testing::PrintToString(c.bytes);
    EXPECT_EQ(m.Position(), c.end) << testing::PrintToString(c.bytes);
  }
}

TEST(UniStrings, SetTextSplitsLines) {
  TUniStringList list;
  list.SetTextStr(u"a\r\nb\rc\nd\u2028e\r\n");
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"e"}));
  list.SetTextStr(std::u16string(u"x\r\n\r\ny\0z", 9));
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"x", u"", u"y"}));
  EXPECT_EQ(list.GetTextStr(), u"x\r\n\r\ny\r\n");
}

TEST(UniStringList, SortedAndIndexErrors) {
  TUniStringList list;
  list.SetSorted(true);
  list.Add(u"Birne");
  list.Add(u"apfel");
  EXPECT_EQ(list.Add(u"APFEL"), 0);
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"apfel", u"Birne"}));
  EXPECT_EQ(list.IndexOf(u"BIRNE"), 1);
  const auto put = Caught<EStringListError>([&] { list.Put(0, u"x"); });
  ASSERT_TRUE(put);
  EXPECT_EQ(put->Message(), u"Operation bei sortierten Stringlisten nicht erlaubt");
  const auto get = Caught<EStringListError>([&] { list.Get(2); });
  ASSERT_TRUE(get);
  EXPECT_EQ(get->Message(), u"Der Index der Liste überschreitet das Maximum (2)");
  list.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(list.Add(u"apfel"), EStringListError);
  EXPECT_EQ(list.Count(), 2);
}

TEST(UniStringList, SortEventsAndNames) {
  TUniStringList list;
  int changes = 0;
  list.OnChange = [&](TUniStringList*) { ++changes; };
  list.SetTextStr(u"b=2\r\nc=3\r\na=1\r\nB=4");
  EXPECT_EQ(changes, 1);  // one notification for the whole update
  list.Sort();
  EXPECT_EQ(list[0], u"a=1");
  EXPECT_EQ(list[3], u"c=3");
  EXPECT_EQ(list.IndexOfName(u"C"), 3);
  list.Move(0, 3);
  EXPECT_EQ(list[3], u"a=1");
  list.Exchange(0, 3);
  EXPECT_EQ(list[0], u"a=1");
  EXPECT_THROW(list.Exchange(0, 4), EStringListError);
}

TEST(UniFileStream, OpenAndCreateErrors) {
  testsupport::TempDrive drive;
  const std::u16string missing = drive.Drive(u"fehlt.txt");
  const auto open = Caught<EFOpenError>([&] { TUniFileStream s(missing, fmOpenRead); });
  ASSERT_TRUE(open);
  EXPECT_EQ(open->Message(), u"Datei " + missing + u" kann nicht geöffnet werden");
  const std::u16string bad = drive.Drive(u"kein\\ordner.txt");
  const auto create = Caught<EFCreateError>([&] { TUniFileStream s(bad, fmCreate); });
  ASSERT_TRUE(create);
  EXPECT_EQ(create->Message(), u"Datei " + bad + u" kann nicht erstellt werden");
  {
    TUniFileStream s(drive.Drive(u"neu.txt"), fmCreate);
    s.WriteBuffer("abc", 3);
  }
  TUniFileStream r(drive.Drive(u"neu.txt"), fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(r.Size(), 3);
}

TEST(FindInSortedComponentList, FirstEqualOrInsertionPoint) {
  const std::vector<int> list = {1, 3, 3, 3, 7};
  auto cmp = [](int a, int b) { return a < b ? -1 : a > b ? 1 : 0; };
  struct Case {
    int item;
    bool found;
    int index;
  } cases[] = {{3, true, 1}, {1, true, 0}, {0, false, 0}, {5, false, 4}, {9, false, 5}};
  for (const auto& c : cases) {
    int index = -1;
    EXPECT_EQ(FindInSortedComponentList(list, cmp, c.item, index), c.found) << c.item;
    EXPECT_EQ(index, c.index) << c.item;
  }
  EXPECT_FALSE(ComServerInstalled(u"{4955DD33-B159-11D0-8FCF-00AA006BCC59}"));
}

TEST(UniStringList, AddingAListToItselfDoublesIt) {
  TUniStringList uni;
  uni.Add(u"a");
  uni.Add(u"b");
  uni.AddStrings(uni);
  EXPECT_EQ(uni.GetTextStr(), u"a\r\nb\r\na\r\nb\r\n");
  textlib::TWideStringList wide;
  wide.Add(u"x");
  wide.AddStrings(wide);
  EXPECT_EQ(wide.Count(), 2);
}
