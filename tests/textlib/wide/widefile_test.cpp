#include "textlib/wide/widefile.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "textlib/wide/wide.h"

namespace textlib {
namespace {

using testsupport::TempDrive;

// Names found by a whole search, sorted.
std::vector<std::u16string> FindAll(std::u16string_view path, int32_t attributes) {
  std::vector<std::u16string> names;
  TSearchRecW rec;
  int r = WideFindFirst(path, attributes, rec);
  while (r == 0) {
    names.push_back(rec.Name);
    r = WideFindNext(rec);
  }
  WideFindClose(rec);
  std::sort(names.begin(), names.end());
  return names;
}

class WideFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.WriteFile("a.txt", "aaa");
    drive.WriteFile("B.HTM", "b");
    drive.WriteFile("noext", "");
    drive.WriteFile(".hidden", "h");
    std::filesystem::create_directory(drive.Posix("sub"));
  }
  TempDrive drive;
};

TEST_F(WideFileTest, ExistsTellsFilesFromFolders) {
  EXPECT_TRUE(WideFileExists(drive.Drive(u"a.txt")));
  EXPECT_FALSE(WideFileExists(drive.Drive(u"sub")));
  EXPECT_TRUE(WideDirectoryExists(drive.Drive(u"sub")));
  EXPECT_TRUE(WideDirectoryExists(drive.Drive(u"sub\\")));
  EXPECT_FALSE(WideDirectoryExists(drive.Drive(u"a.txt")));
  EXPECT_FALSE(WideFileExists(drive.Drive(u"missing")));
  EXPECT_FALSE(WideDirectoryExists(drive.Drive(u"missing")));
  EXPECT_FALSE(WideFileExists(u"Q:\\unmapped\\a.txt"));
  EXPECT_EQ(WideFileGetAttr(drive.Drive(u"missing")), faInvalid);
  EXPECT_EQ(WideFileGetAttr(drive.Drive(u"a.txt")), int32_t(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(WideFileGetAttr(drive.Drive(u".hidden")), int32_t(FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(platform::SetPermissions(drive.Posix("a.txt"), 0444));
  EXPECT_EQ(WideFileGetAttr(drive.Drive(u"a.txt")), int32_t(FILE_ATTRIBUTE_READONLY));
}

TEST_F(WideFileTest, FindSkipsFoldersAndHiddenUnlessAsked) {
  EXPECT_EQ(FindAll(drive.Drive(u"*.*"), 0), (std::vector<std::u16string>{u"B.HTM", u"a.txt", u"noext"}));
  EXPECT_EQ(FindAll(drive.Drive(u"*.*"), FILE_ATTRIBUTE_DIRECTORY),
            (std::vector<std::u16string>{u"B.HTM", u"a.txt", u"noext", u"sub"}));
  EXPECT_EQ(FindAll(drive.Drive(u"*"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
            (std::vector<std::u16string>{u".hidden", u"B.HTM", u"a.txt", u"noext", u"sub"}));
}

TEST_F(WideFileTest, MasksMatchLikeWindows) {
  struct Row {
    std::u16string_view mask;
    std::vector<std::u16string> names;
  };
  const Row rows[] = {
      {u"*.txt", {u"a.txt"}},
      {u"*.TXT", {u"a.txt"}},
      {u"*.htm", {u"B.HTM"}},
      {u"?.txt", {u"a.txt"}},
      {u"noext.*", {u"noext"}},
      {u"n*t", {u"noext"}},
      {u"A.TXT", {u"a.txt"}},
      {u"*x*", {u"a.txt", u"noext"}},
      {u"*", {u"B.HTM", u"a.txt", u"noext"}},
      {u"*.", {u"noext"}},  // only names without an extension
      {u"noext.", {u"noext"}},
      {u"??.txt", {u"a.txt"}},  // "?" matches nothing before the dot
      {u"a.tx??", {u"a.txt"}},  // nor at the end
      {u"a?txt", {}},           // it never takes the dot itself
      {u"*.t*", {u"a.txt"}},
      {u"b.*", {u"B.HTM"}},
      {u"*.*.*", {u"B.HTM", u"a.txt", u"noext"}},
      {u"**a**.*", {u"a.txt"}},
      {u"", {}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FindAll(drive.Drive(row.mask), 0), row.names) << std::string(row.mask.begin(), row.mask.end());
}

TEST_F(WideFileTest, StarBeforeDotStopsAtTheLastDot) {
  drive.WriteFile("x.b.txt", "");
  drive.WriteFile("x.txt.bak", "");
  EXPECT_EQ(FindAll(drive.Drive(u"*.txt"), 0), (std::vector<std::u16string>{u"a.txt", u"x.b.txt"}));
  EXPECT_EQ(FindAll(drive.Drive(u"x*.txt*"), 0), (std::vector<std::u16string>{u"x.b.txt", u"x.txt.bak"}));
  // A long mask of stars costs no more than the product of the lengths.
  EXPECT_EQ(FindAll(drive.Drive(std::u16string(5000, u'*') + u"q"), 0), std::vector<std::u16string>{});
}

TEST_F(WideFileTest, ReadOnlyEntriesAlwaysQualify) {
  ASSERT_TRUE(platform::SetPermissions(drive.Posix("a.txt"), 0444));
  TSearchRecW rec;
  ASSERT_EQ(WideFindFirst(drive.Drive(u"a.txt"), 0, rec), 0);
  EXPECT_EQ(rec.Attr, int32_t(FILE_ATTRIBUTE_READONLY));
}

TEST_F(WideFileTest, FindReportsErrorsAndEnds) {
  TSearchRecW rec;
  EXPECT_EQ(WideFindFirst(drive.Drive(u"*.none"), 0, rec), ErrorFileNotFound());
  EXPECT_FALSE(rec.FindHandle);
  EXPECT_NE(WideFindFirst(drive.Drive(u"missing\\*.*"), 0, rec), 0);
  EXPECT_FALSE(rec.FindHandle);
  // Only an excluded entry matches: nothing is left to report.
  EXPECT_EQ(WideFindFirst(drive.Drive(u"sub"), 0, rec), ErrorNoMoreFiles());
  ASSERT_EQ(WideFindFirst(drive.Drive(u"a.txt"), 0, rec), 0);
  EXPECT_EQ(rec.Size, 3);
  EXPECT_EQ(rec.Attr, int32_t(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(rec.FindData.cFileName, u"a.txt");
  EXPECT_EQ(WideFindNext(rec), ErrorNoMoreFiles());
  WideFindClose(rec);
  EXPECT_FALSE(rec.FindHandle);
}

TEST_F(WideFileTest, FindGivesSixtyFourBitSizes) {
  const int64_t size = int64_t{5} << 30;
  {
    NativeFile f = NativeFile::Create(drive.Posix("big.bin"));
    ASSERT_TRUE(f.Truncate(size));  // sparse
  }
  TSearchRecW rec;
  ASSERT_EQ(WideFindFirst(drive.Drive(u"big.bin"), 0, rec), 0);
  EXPECT_EQ(rec.Size, size);
  EXPECT_EQ(rec.FindData.nFileSize, size);
}

TEST_F(WideFileTest, FindGivesLocalDosTime) {
  struct tm local {};
  local.tm_year = 2021 - 1900;
  local.tm_mon = 2;  // March
  local.tm_mday = 4;
  local.tm_hour = 5;
  local.tm_min = 6;
  local.tm_sec = 9;  // DOS time keeps two-second steps
  local.tm_isdst = -1;
  const time_t when = mktime(&local);
  ASSERT_TRUE(platform::SetModificationTime(drive.Posix("a.txt"), when));
  TSearchRecW rec;
  ASSERT_EQ(WideFindFirst(drive.Drive(u"a.txt"), 0, rec), 0);
  const uint32_t date = (41u << 9) | (3u << 5) | 4u, time = (5u << 11) | (6u << 5) | 4u;
  EXPECT_EQ(static_cast<uint32_t>(rec.Time), date << 16 | time);
  EXPECT_EQ(rec.FindData.lastWriteSeconds, when);
}

TEST(WideFileDosTime, ClampsBefore1980) {
  EXPECT_EQ(UnixTimeToDosDateTime(0), int32_t{(1 << 5 | 1) << 16});
}

TEST(WidePathParts, SplitAtLastBackslashOrColon) {
  struct Row {
    std::u16string_view name, path, file, ext;
  };
  const Row rows[] = {
      {u"C:\\dir\\file.txt", u"C:\\dir\\", u"file.txt", u".txt"},
      {u"C:\\a.b\\file", u"C:\\a.b\\", u"file", u""},
      {u"C:file", u"C:", u"file", u""},
      {u"C:\\dir\\", u"C:\\dir\\", u"", u""},
      {u"file.tar.gz", u"", u"file.tar.gz", u".gz"},
      {u"C:\\dir\\.profile", u"C:\\dir\\", u".profile", u".profile"},
      {u"", u"", u"", u""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(WideExtractFilePath(row.name), row.path);
    EXPECT_EQ(WideExtractFileName(row.name), row.file);
    EXPECT_EQ(WideExtractFileExt(row.name), row.ext);
  }
}

TEST_F(WideFileTest, OpenTakesAccessAndShareFromTheModeTable) {
  const std::u16string name = drive.Drive(u"a.txt");
  char c;
  {
    NativeFile f = WideFileOpen(name, fmOpenRead | fmShareDenyWrite);
    ASSERT_TRUE(f.Valid());
    EXPECT_EQ(f.Read(&c, 1), 1);
    EXPECT_LT(f.Write("x", 1), 0);
  }
  {
    NativeFile f = WideFileOpen(name, fmOpenWrite | fmShareDenyNone);
    ASSERT_TRUE(f.Valid());
    EXPECT_EQ(f.Write("x", 1), 1);
  }
  {
    NativeFile f = WideFileOpen(name, fmOpenReadWrite | fmShareExclusive);
    ASSERT_TRUE(f.Valid());
    EXPECT_EQ(f.Read(&c, 1), 1);
    EXPECT_EQ(c, 'x');
  }
  EXPECT_FALSE(WideFileOpen(name, 3).Valid());       // no fourth access mode
  EXPECT_FALSE(WideFileOpen(name, 0x50).Valid());    // no sixth share mode
  EXPECT_FALSE(WideFileOpen(name, 0xF2).Valid());
  EXPECT_FALSE(WideFileOpen(drive.Drive(u"missing"), fmOpenRead).Valid());
  EXPECT_FALSE(WideFileOpen(drive.Drive(u"sub"), fmOpenRead).Valid());
}

TEST_F(WideFileTest, CreateReplacesAndIsWriteOnly) {
  NativeFile f = WideFileCreate(drive.Drive(u"a.txt"));
  ASSERT_TRUE(f.Valid());
  EXPECT_EQ(f.Write("new", 3), 3);
  char c;
  EXPECT_LT(f.Read(&c, 1), 0);
  f.Close();
  EXPECT_EQ(drive.ReadFile("a.txt"), "new");
  NativeFile rw = WideFileCreateReadWrite(drive.Drive(u"c.txt"));
  ASSERT_TRUE(rw.Valid());
  EXPECT_EQ(rw.Write("z", 1), 1);
  EXPECT_EQ(rw.Seek(0, platform::SeekOrigin::Begin), 0);
  EXPECT_EQ(rw.Read(&c, 1), 1);
  EXPECT_FALSE(WideFileCreate(drive.Drive(u"missing\\x.txt")).Valid());
}

TEST_F(WideFileTest, LongAndNonAnsiNamesWork) {
  std::u16string path = drive.Drive();
  std::string posix = drive.Root();
  const std::u16string part(100, u'd');
  for (int i = 0; i < 4; ++i) {
    path += part + u"\\";
    posix += "/" + std::string(100, 'd');
    ASSERT_TRUE(platform::MakeDirectory(posix));
  }
  path += u"\u65E5\u672C.txt";
  ASSERT_GT(path.size(), 400u);
  ASSERT_TRUE(WideFileCreate(path).Valid());
  EXPECT_TRUE(WideFileExists(path));
  EXPECT_EQ(FindAll(WideExtractFilePath(path) + u"*.txt", 0), (std::vector<std::u16string>{u"\u65E5\u672C.txt"}));
}

TEST(WideModule, FileNameIsTheRunningProgramInDriveForm) {
  const std::u16string name = WideGetModuleFileName();
  ASSERT_GE(name.size(), 3u);
  EXPECT_EQ(name.substr(1, 2), u":\\");
  EXPECT_EQ(WideExtractFileName(name), u"test_wide");
  EXPECT_TRUE(WideFileExists(name));
}

TEST(WideModule, ParamStrGivesTheArguments) {
  const char* argv[] = {"prog", "eins", "", "zwei drei", "gr\xC3\xBCn", "T:\\a b\\c.htm"};
  SetWideParams(6, argv);
  EXPECT_EQ(WideParamCount(), 4);
  EXPECT_EQ(WideParamStr(0), WideGetModuleFileName());
  EXPECT_EQ(WideParamStr(1), u"eins");
  EXPECT_EQ(WideParamStr(2), u"zwei drei");
  EXPECT_EQ(WideParamStr(3), u"gr\u00FCn");
  EXPECT_EQ(WideParamStr(4), u"T:\\a b\\c.htm");
  EXPECT_EQ(WideParamStr(5), u"");
  EXPECT_EQ(WideParamStr(-1), u"");
}

TEST(WideErrors, CheckWin32ResultRaisesTheLastError) {
  EXPECT_EQ(CheckWin32Result(7), 7);
  platform::SetLastError(2);
  try {
    CheckWin32Result(0);
    FAIL();
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_EQ(e.Message().substr(0, 23), u"Systemfehler. Code: 2.\n");
  }
}

}  // namespace
}  // namespace textlib
