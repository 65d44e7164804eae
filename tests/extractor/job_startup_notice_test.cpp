// The start-up notice reaches only extractor windows, never a window whose title merely
// holds "Gleaner", and says 99 only for exactly "restart" (slashes removed).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "extractor/program/gleaner_form.h"
#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

namespace extractor {
namespace {

TEST(JobStartupNotice, OnlyExtractorWindowsHearIt) {
  testsupport::TempDrive drive;
  const std::string folder = drive.Posix("run");
  std::filesystem::create_directories(folder);
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
  platform::WindowListener mainProgram(folder);
  platform::WindowListener extractor(folder);
  ASSERT_TRUE(mainProgram.AddWindow(u"1  Datei:  T:\\Gleaner\\a.htm"));  // registered first
  ASSERT_TRUE(extractor.AddWindow(u"Gleaner", std::string(platform::kExtractorWindowClass)));
  const platform::WindowDirectory directory(folder);

  const struct {
    std::u16string arg;
    int64_t wParam;
  } cases[] = {{u"restart", 99}, {u"/restart", 99}, {u"Restart", 0}, {u"T:\\l.dat", 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SendStartupNotice(directory, GleanerArguments{{c.arg}}, 0));
    const std::vector<platform::WindowMessage> got = extractor.Receive();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, platform::kNoticeMessage);
    EXPECT_EQ(got[0].wParam, c.wParam) << platform::WideToPosixUtf8(c.arg);
    EXPECT_TRUE(mainProgram.Receive().empty());
  }
  // A process never finds its own window.
  EXPECT_FALSE(SendStartupNotice(directory, GleanerArguments{{u"restart"}}, static_cast<int64_t>(getpid())));
  EXPECT_EQ(directory.FindWindowContaining(u"Gleaner", true, platform::kExtractorWindowClass)->title, u"Gleaner");
}

}  // namespace
}  // namespace extractor
