#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/codepage.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "textlib/wide/filecopy.h"
#include "textlib/wide/words.h"

namespace textlib {
namespace {

using testsupport::TempDrive;

TEST(DelimitedWords, CountAndExtract) {
  struct Row {
    std::string_view text, delimiters;
    std::vector<std::string> words;
  };
  const Row rows[] = {
      {"*.htm*.txt", "*.", {"htm", "txt"}},
      {"", "*.", {}},
      {"***", "*", {}},
      {"..a..b.", ".", {"a", "b"}},
      {"one", ".", {"one"}},
      {"a b", "", {"a b"}},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(CountDelimitedWords(row.text, row.delimiters), static_cast<int>(row.words.size())) << row.text;
    for (size_t i = 0; i < row.words.size(); ++i)
      EXPECT_EQ(GetDelimitedWord(static_cast<int>(i) + 1, row.text, row.delimiters), row.words[i]);
    EXPECT_EQ(GetDelimitedWord(static_cast<int>(row.words.size()) + 1, row.text, row.delimiters), "");
    EXPECT_EQ(GetDelimitedWord(0, row.text, row.delimiters), "");
  }
}

class CopyFileTest : public ::testing::Test {
 protected:
  std::string Ansi(std::u16string_view relative) const { return platform::WideToAnsi(drive.Drive(relative)); }
  TempDrive drive;
};

TEST_F(CopyFileTest, CopiesBlocksDateAndMode) {
  for (size_t size : {size_t{0}, size_t{4095}, size_t{4096}, size_t{8192}, size_t{8193}}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    drive.WriteFile("src.bin", bytes);
    ASSERT_TRUE(platform::SetPermissions(drive.Posix("src.bin"), 0640));
    ASSERT_TRUE(platform::SetModificationTime(drive.Posix("src.bin"), 1234567890, 500));
    drive.WriteFile("dst.bin", "older and longer content that must go");
    ASSERT_EQ(CopyFileKeepDate(Ansi(u"src.bin"), Ansi(u"dst.bin")), kCopyOk) << size;
    EXPECT_EQ(drive.ReadFile("dst.bin"), bytes) << size;
    auto st = platform::Stat(drive.Posix("dst.bin"));
    ASSERT_TRUE(st);
    EXPECT_EQ(st->mtimeSeconds, 1234567890);
    EXPECT_EQ(st->mtimeNanos, 500);
    EXPECT_EQ(st->mode & 07777, 0640u);
  }
}

TEST_F(CopyFileTest, ReadOnlySourceGivesReadOnlyCopy) {
  drive.WriteFile("ro.txt", "x");
  ASSERT_TRUE(platform::SetPermissions(drive.Posix("ro.txt"), 0444));
  ASSERT_EQ(CopyFileKeepDate(Ansi(u"ro.txt"), Ansi(u"copy.txt")), kCopyOk);
  EXPECT_EQ(platform::Stat(drive.Posix("copy.txt"))->mode & 07777, 0444u);
}

TEST_F(CopyFileTest, FailuresLeaveNoTarget) {
  drive.WriteFile("src.txt", "abc");
  EXPECT_EQ(CopyFileKeepDate(Ansi(u"missing.txt"), Ansi(u"dst.txt")), kCopySourceUnreadable);
  EXPECT_FALSE(platform::Stat(drive.Posix("dst.txt")));
  EXPECT_EQ(CopyFileKeepDate(Ansi(u"src.txt"), Ansi(u"nofolder\\dst.txt")), kCopyTargetNotCreated);
  EXPECT_FALSE(platform::Stat(drive.Posix("nofolder")));
  // A name outside the ANSI code page cannot be given in 8 bits.
  drive.WriteFile("\xE6\x97\xA5.txt", "abc");
  EXPECT_EQ(CopyFileKeepDate(Ansi(u"\u65E5.txt"), Ansi(u"dst.txt")), kCopySourceUnreadable);
  EXPECT_FALSE(platform::Stat(drive.Posix("dst.txt")));
}

TEST_F(CopyFileTest, SameFileIsRefusedAndKept) {
  drive.WriteFile("self.txt", "keep me");
  ASSERT_TRUE(platform::MakeDirectory(drive.Posix("sub")));
  const std::string viaFolder = Ansi(u"sub\\..\\self.txt");
  EXPECT_EQ(CopyFileKeepDate(Ansi(u"self.txt"), Ansi(u"self.txt")), kCopyTargetNotCreated);
  EXPECT_EQ(CopyFileKeepDate(Ansi(u"self.txt"), viaFolder), kCopyTargetNotCreated);
  EXPECT_EQ(drive.ReadFile("self.txt"), "keep me");
}

TEST_F(CopyFileTest, ShortWriteGivesFourAndLeavesNoTarget) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  drive.WriteFile("src.bin", std::string(3 * 4096, 'x'));
  // A file-size limit makes the second block's write fall short.
  auto copyWithLimit = [this] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = 6000;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::exit(CopyFileKeepDate(Ansi(u"src.bin"), Ansi(u"dst.bin")));
  };
  EXPECT_EXIT(copyWithLimit(), ::testing::ExitedWithCode(kCopyShortWrite), "");
  EXPECT_FALSE(platform::Stat(drive.Posix("dst.bin")));
}

TEST_F(CopyFileTest, FailedReadIsNotTheEndOfTheFile) {
  // Reading this process's memory at offset 0 fails: the page is never mapped.
  const std::string source = "C:\\proc\\self\\mem";
  ASSERT_TRUE(platform::Stat("/proc/self/mem"));
  EXPECT_EQ(CopyFileKeepDate(source, Ansi(u"dst.bin")), kCopySourceUnreadable);
  EXPECT_FALSE(platform::Stat(drive.Posix("dst.bin")));
}

}  // namespace
}  // namespace textlib
