#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/temp_dir.h"

namespace platform {
namespace {

TEST(NativeFile, WritesReadsAndSeeksPastFourGigabytes) {
  testsupport::TempDrive drive;
  const std::string path = drive.Posix("big.bin");
  {
    NativeFile f = NativeFile::Create(path);
    ASSERT_TRUE(f.Valid());
    const int64_t far = 5LL << 30;  // sparse: costs no disk space
    ASSERT_EQ(f.Seek(far, SeekOrigin::Begin), far);
    ASSERT_EQ(f.Write("xyz", 3), 3);
    EXPECT_EQ(f.Size(), far + 3);
  }
  NativeFile f = NativeFile::Open(path, FileAccess::Read);
  ASSERT_TRUE(f.Valid());
  EXPECT_EQ(f.Seek(-2, SeekOrigin::End), (5LL << 30) + 1);
  char buffer[8] = {};
  EXPECT_EQ(f.Read(buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer, 2), "yz");
  auto st = Stat(path);
  ASSERT_TRUE(st);
  EXPECT_EQ(st->size, (5LL << 30) + 3);
  EXPECT_TRUE(st->isRegular);
}

TEST(NativeFile, FailuresSetTheLastError) {
  testsupport::TempDrive drive;
  EXPECT_FALSE(NativeFile::Open(drive.Posix("missing"), FileAccess::Read).Valid());
  EXPECT_EQ(LastError(), ENOENT);
  EXPECT_FALSE(NativeFile::Create(drive.Posix("no/such/folder/x")).Valid());
  EXPECT_EQ(LastError(), ENOENT);
  EXPECT_FALSE(Stat(drive.Posix("missing")).has_value());
  EXPECT_FALSE(ListDirectory(drive.Posix("missing")).has_value());
  EXPECT_FALSE(SystemErrorText(ENOENT).empty());
}

TEST(Files, ListRenameRemoveAndAtomicWrite) {
  testsupport::TempDrive drive;
  ASSERT_TRUE(MakeDirectory(drive.Posix("sub")));
  ASSERT_TRUE(WriteFileAtomically(drive.Posix("a.txt"), "one"));
  ASSERT_TRUE(WriteFileAtomically(drive.Posix("a.txt"), "two"));
  EXPECT_EQ(ReadWholeFile(drive.Posix("a.txt")), "two");
  auto entries = ListDirectory(drive.Root());
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 2u);  // no temporary file left behind
  EXPECT_FALSE(WriteFileAtomically(drive.Posix("missing/a.txt"), "x"));
  ASSERT_TRUE(RenameFile(drive.Posix("a.txt"), drive.Posix("sub/b.txt")));
  ASSERT_TRUE(SetModificationTime(drive.Posix("sub/b.txt"), 1000000000, 5));
  EXPECT_EQ(Stat(drive.Posix("sub/b.txt"))->mtimeSeconds, 1000000000);
  EXPECT_TRUE(RemoveFile(drive.Posix("sub/b.txt")));
  EXPECT_TRUE(RemoveDirectory(drive.Posix("sub")));
}

}  // namespace
}  // namespace platform
