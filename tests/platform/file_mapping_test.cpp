#include "platform/file_mapping.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace platform {
namespace {

class MappedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string content(kSize, 'x');
    dir.WriteFile("f.txt", content);
    fd = ::open(dir.Posix("f.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override { ::close(fd); }
  static constexpr int64_t kSize = 3 << 20;
  testsupport::TempDrive dir;
  int fd = -1;
};

TEST_F(MappedFile, ReadsTheFile) {
  auto map = ReadOnlyMapping::Map(fd, kSize);
  ASSERT_TRUE(map);
  EXPECT_EQ(std::string(map->Data() + kSize - 3, 3), "xxx");
  EXPECT_EQ(map->Data()[0], 'x');
  EXPECT_FALSE(map->Failed());
  EXPECT_FALSE(ReadOnlyMapping::Map(fd, 0));
  EXPECT_FALSE(ReadOnlyMapping::Map(-1, 10));
}

// A file cut while it is mapped: its lost pages read as zeros, no SIGBUS, and the mapping
// says so. Another mapping of a sound file is not touched by it.
TEST_F(MappedFile, PagesOfACutFileReadAsZerosAndAreAFailure) {
  auto map = ReadOnlyMapping::Map(fd, kSize);
  auto other = ReadOnlyMapping::Map(fd, 4096);
  ASSERT_TRUE(map && other);
  ASSERT_EQ(::truncate(dir.Posix("f.txt").c_str(), 8192), 0);
  EXPECT_EQ(map->Data()[100], 'x');
  EXPECT_FALSE(map->Failed());
  EXPECT_EQ(map->Data()[kSize - 1], '\0');
  EXPECT_EQ(map->Data()[1 << 20], '\0');
  EXPECT_TRUE(map->Failed());
  EXPECT_FALSE(other->Failed());
  EXPECT_EQ(other->Data()[10], 'x');
}

}  // namespace
}  // namespace platform
