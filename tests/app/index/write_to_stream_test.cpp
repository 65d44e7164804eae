#include "app/index/write_to_stream.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace app {
namespace {

TEST(WriteToStream, WritesTheCodePagesExactly) {
  testsupport::TempDrive drive;
  struct Case {
    uint32_t codePage;
    std::string bytes;
  } cases[] = {
      {65001, "\xC3\xA4\xE2\x82\xAC\r\nx"},
      {1200, std::string("\xFF\xFE\xE4\x00\xAC\x20\r\x00\n\x00x\x00", 12)},
      {1252, "\xE4\x80\r\nx"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteToStream(u"ä€\r\nx", drive.Drive(u"out.txt"), c.codePage)) << c.codePage;
    EXPECT_EQ(drive.ReadFile("out.txt"), c.bytes) << c.codePage;
  }
  ASSERT_TRUE(WriteToStream(u"", drive.Drive(u"out.txt"), 65001));
  EXPECT_EQ(drive.ReadFile("out.txt"), "");
}

TEST(WriteToStream, AFailureKeepsTheOldFile) {
  testsupport::TempDrive drive;
  EXPECT_FALSE(WriteToStream(u"x", drive.Drive(u"no\\such\\folder\\out.txt"), 65001));
  drive.WriteFile("keep.txt", "old");
  EXPECT_FALSE(WriteToStream(u"x", drive.Drive(u"keep.txt"), 4711));  // no such code page
  EXPECT_EQ(drive.ReadFile("keep.txt"), "old");
}

}  // namespace
}  // namespace app
