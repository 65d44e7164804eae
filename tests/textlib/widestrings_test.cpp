#include "textlib/widestrings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/codepage.h"
#include "tests/support/temp_dir.h"
#include "textlib/errors.h"
#include "textlib/stream.h"
#include "textlib/unicode.h"

namespace textlib {
namespace {

std::vector<std::u16string> Items(const TWideStrings& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

std::string Saved(TWideStrings& list) {
  TMemoryStream stream;
  list.SaveToStream(stream);
  return stream.Bytes();
}

void Load(TWideStrings& list, std::string bytes) {
  TMemoryStream stream(std::move(bytes));
  list.LoadFromStream(stream);
}

template <typename F>
std::u16string ErrorText(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(no error)";
}

TEST(WideStringListFile, Utf8BytesKeptAsAnsiRoundTripByteForByte) {
  const std::string file = "\xC3\x81\r\n\xC3\x8D\r\n\xC3\x8F\r\n\xC3\x90\r\n\xC3\x9D\r\n\xE2\x82\xAC\r\n";
  testsupport::TempDrive drive;
  drive.WriteFile("list.txt", file);
  TWideStringList list;
  list.LoadFromFile(drive.Drive(u"list.txt"));
  EXPECT_FALSE(list.SaveUnicode());
  std::u16string decoded;
  for (const auto& item : Items(list)) decoded += DecodeUtf8(platform::WideToAnsi(item));
  EXPECT_EQ(decoded, u"ÁÍÏÐÝ€");
  list.SaveToFile(drive.Drive(u"copy.txt"));
  EXPECT_TRUE(list.Saved());
  EXPECT_EQ(drive.ReadFile("copy.txt"), file);
}

TEST(WideStringListFile, LoadsAndSavesTheListFormats) {
  struct Case {
    std::string in;
    std::vector<std::u16string> items;
    std::string saved;
  } cases[] = {
      {std::string("a\r\nb", 4), {u"a", u"b"}, "a\r\nb\r\n"},
      {"", {}, ""},
      {std::string("\xFF\xFE" "a\0\r\0\n\0b\0", 10), {u"a", u"b"},
       std::string("\xFF\xFE" "a\0\r\0\n\0b\0\r\0\n\0", 14)},
      {std::string("\xFE\xFF\0a\0\n\0b", 8), {u"a", u"b"}, std::string("\xFF\xFE" "a\0\r\0\n\0b\0\r\0\n\0", 14)},
      {"A", {u"A"}, "A\r\n"},
      {"\xFF", {u"\u00FF"}, "\xFF\r\n"},
      {"a\r\rb", {u"a", u"", u"b"}, "a\r\n\r\nb\r\n"},
      {"a\r\n", {u"a"}, "a\r\n"},
      {"\n\n", {u"", u""}, "\r\n\r\n"},
      {"x\vy\fz", {u"x", u"y", u"z"}, "x\r\ny\r\nz\r\n"},
      {std::string("ab\0cd\r\n", 7), {u"ab"}, "ab\r\n"},
      {std::string("\xFF\xFE" "x\0\x28\x20y\0\x29\x20z\0", 12), {u"x", u"y", u"z"},
       std::string("\xFF\xFE" "x\0\r\0\n\0y\0\r\0\n\0z\0\r\0\n\0", 20)},
  };
  for (const auto& c : cases) {
    TWideStringList list;
    Load(list, c.in);
    EXPECT_EQ(Items(list), c.items);
    EXPECT_EQ(Saved(list), c.saved);
  }
}

TEST(WideStringListFile, ConversionIsConfirmedBeforeTheFileIsTouched) {
  testsupport::TempDrive drive;
  drive.WriteFile("keep.txt", "old contents");
  TWideStringList list;
  list.Add(u"Ω");
  EXPECT_EQ(Saved(list), "?\r\n");

  int asked = 0;
  bool allow = false;
  list.OnConfirmConversion = [&](TWideStrings* sender, bool& allowed) {
    EXPECT_EQ(sender, &list);
    ++asked;
    allowed = allow;
  };
  list.SaveToFile(drive.Drive(u"keep.txt"));
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(list.Saved());
  EXPECT_EQ(drive.ReadFile("keep.txt"), "old contents");
  EXPECT_EQ(Saved(list), "");

  allow = true;
  list.SaveToFile(drive.Drive(u"keep.txt"));
  EXPECT_TRUE(list.Saved());
  EXPECT_EQ(drive.ReadFile("keep.txt"), "?\r\n");

  TWideStringList latin;
  latin.Add(u"é");
  latin.OnConfirmConversion = [&](TWideStrings*, bool&) { ++asked; };
  EXPECT_EQ(Saved(latin), "\xE9\r\n");
  latin.SetSaveUnicode(true);
  latin.Add(u"Ω");
  EXPECT_EQ(Saved(latin), std::string("\xFF\xFE\xE9\0\r\0\n\0\xA9\x03\r\0\n\0", 14));
  EXPECT_EQ(asked, 3);  // twice refused, once allowed; a text below 256 never asks
}

TEST(WideStringListFile, FileErrors) {
  testsupport::TempDrive drive;
  TWideStringList list;
  list.Add(u"x");
  const std::u16string missing = ErrorText([&] { list.LoadFromFile(drive.Drive(u"missing.txt")); });
  EXPECT_EQ(missing.substr(0, 23), u"Systemfehler. Code: 2.\n");
  EXPECT_EQ(Items(list), std::vector<std::u16string>{u"x"});
  EXPECT_EQ(ErrorText([&] { list.SaveToFile(drive.Drive(u"no\\such\\x.txt")); }),
            u"Datei T:\\no\\such\\x.txt kann nicht erstellt werden");
  EXPECT_THROW(list.LoadFromFile(std::string_view("Q:\\unmapped.txt")), EWin32Error);
}

TEST(WideStringList, SortedListsWithDuplicates) {
  TWideStringList list;
  list.SetSorted(true);
  list.SetDuplicates(TDuplicates::dupAccept);
  for (auto s : {u"b", u"A", u"a"}) list.Add(s);
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"a", u"A", u"b"}));
  EXPECT_EQ(list.IndexOf(u"B"), 2);
  EXPECT_EQ(list.IndexOf(u"c"), -1);

  TWideStringList ignore;
  ignore.SetSorted(true);
  EXPECT_EQ(ignore.Add(u"Äpfel"), 0);
  EXPECT_EQ(ignore.Add(u"birne"), 1);
  EXPECT_EQ(ignore.Add(u"äpfel"), 0);  // equal ignoring case: not added
  EXPECT_EQ(ignore.Add(u"apfel"), 0);  // accents count: sorts before
  EXPECT_EQ(Items(ignore), (std::vector<std::u16string>{u"apfel", u"Äpfel", u"birne"}));

  ignore.SetDuplicates(TDuplicates::dupError);
  EXPECT_EQ(ErrorText([&] { ignore.Add(u"BIRNE"); }), u"In der Stringliste sind Duplikate nicht erlaubt");
  EXPECT_EQ(ErrorText([&] { ignore.Insert(0, u"x"); }), u"Operation bei sortierten Stringlisten nicht erlaubt");
  EXPECT_EQ(ErrorText([&] { ignore.Put(0, u"x"); }), u"Operation bei sortierten Stringlisten nicht erlaubt");
  EXPECT_EQ(ignore.Count(), 3);
}

TEST(WideStringList, SortingMatchesAStableReference) {
  std::mt19937 rng(3);
  const std::u16string letters = u"aAbBäÄoÖzZß ";
  TWideStringList list;
  for (int i = 0; i < 500; ++i) {
    std::u16string s;
    for (int k = 0, n = 1 + int(rng() % 4); k < n; ++k) s.push_back(letters[rng() % letters.size()]);
    list.Add(s);
  }
  list.SetSorted(true);
  ASSERT_TRUE(list.Sorted());
  auto items = Items(list);
  for (size_t i = 1; i < items.size(); ++i)
    ASSERT_LE(CompareTextProc(items[i - 1], items[i], list.Language()), 0) << i;
  // Every item is still found where it belongs.
  for (const auto& s : items) {
    int index = -1;
    ASSERT_TRUE(list.Find(s, index));
    EXPECT_EQ(CompareTextProc(list[index], s, list.Language()), 0);
  }
  list.SetSorted(false);
  list.Add(u"");
  EXPECT_EQ(list[list.Count() - 1], u"");
}

TEST(WideStringList, IndexErrorsLeaveTheListUnchanged) {
  TWideStringList list;
  list.SetTextStr(u"a\nb\nc");
  const std::u16string expected = u"Der Index der Liste überschreitet das Maximum (5)";
  EXPECT_EQ(ErrorText([&] { list.Insert(5, u"x"); }), expected);
  EXPECT_EQ(ErrorText([&] { list.Get(-1); }), u"Der Index der Liste überschreitet das Maximum (-1)");
  EXPECT_EQ(ErrorText([&] { list.Delete(3); }), u"Der Index der Liste überschreitet das Maximum (3)");
  EXPECT_EQ(ErrorText([&] { list.Exchange(0, 7); }), u"Der Index der Liste überschreitet das Maximum (7)");
  EXPECT_EQ(ErrorText([&] { list.PutObject(3, nullptr); }), u"Der Index der Liste überschreitet das Maximum (3)");
  EXPECT_EQ(list.GetTextStr(), u"a\r\nb\r\nc\r\n");
  list.Insert(3, u"d");
  EXPECT_EQ(list.GetTextStr(), u"a\r\nb\r\nc\r\nd\r\n");
}

TEST(WideStringList, ObjectsMoveWithTheirStrings) {
  int x = 0, y = 0;
  TWideStringList list;
  list.AddObject(u"x", &x);
  list.AddObject(u"y", &y);
  list.Add(u"z");
  list.Exchange(0, 1);
  EXPECT_EQ(list[0], u"y");
  EXPECT_EQ(list.GetObject(0), &y);
  list.Move(0, 2);
  EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"x", u"z", u"y"}));
  EXPECT_EQ(list.GetObject(2), &y);
  list.Put(2, u"Y");
  EXPECT_EQ(list.GetObject(2), &y);
  EXPECT_EQ(list.IndexOf(u"y"), 2);  // unsorted: still ignores case

  TAnsiStringList ansi;
  list.AssignTo(ansi);
  ASSERT_EQ(ansi.Count(), 3);
  EXPECT_EQ(ansi[2].object, &y);
  TAnsiStringList source;
  source.Add("\x80uro", &x);
  list.Assign(source);
  EXPECT_EQ(Items(list), std::vector<std::u16string>{u"€uro"});
  EXPECT_EQ(list.GetObject(0), &x);
  TWideStringList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.GetObject(0), &x);
  auto text = copy.GetText();
  EXPECT_EQ(std::u16string(text.get()), u"€uro\r\n");
}

TEST(WideStringList, EventsAndGrowth) {
  TWideStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TWideStrings*) { ++changing; };
  list.OnChange = [&](TWideStrings*) { ++changed; };
  list.Add(u"a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  list.SetTextStr(u"1\n2\n3");  // one update: one event pair
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  list.BeginUpdate();
  list.Add(u"4");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changed, 3);

  TWideStringList grow;
  std::vector<int> capacities;
  for (int i = 0; i < 80; ++i) {
    grow.Add(u"x");
    if (capacities.empty() || capacities.back() != grow.GetCapacity()) capacities.push_back(grow.GetCapacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95}));
  grow.Clear();
  EXPECT_EQ(grow.GetCapacity(), 0);
}

}  // namespace
}  // namespace textlib
