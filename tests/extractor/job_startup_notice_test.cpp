// The start-up notice reaches only the process's own predecessor, never another extractor
// window or a window whose title merely holds "Gleaner", and says 99 only for exactly
// "restart" (slashes removed).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "extractor/program/gleaner_form.h"
#include "platform/codepage.h"
#include "platform/job_chain.h"
#include "tests/support/temp_dir.h"

namespace extractor {
namespace {

TEST(JobStartupNotice, OnlyThePredecessorHearsIt) {
  testsupport::TempDrive drive;
  const std::string folder = drive.Posix("run");
  std::filesystem::create_directories(folder);
  ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
  // Registered first: a window whose title holds the name, an idle extractor and another
  // job's extractor; none of them may take the notice meant for this process's predecessor.
  platform::WindowListener mainProgram(folder);
  platform::WindowListener idle(folder);
  platform::WindowListener otherJob(folder);
  platform::WindowListener predecessor(folder);
  ASSERT_TRUE(mainProgram.AddWindow(u"1  Datei:  T:\\Gleaner\\a.htm"));
  ASSERT_TRUE(idle.AddWindow(u"Gleaner", std::string(platform::kExtractorWindowClass)));
  ASSERT_TRUE(otherJob.AddWindow(u"Gleaner", std::string(platform::kExtractorWindowClass)));
  const platform::WindowHandle own = predecessor.AddWindow(u"Gleaner", std::string(platform::kExtractorWindowClass));
  ASSERT_TRUE(own);
  const platform::WindowDirectory directory(folder);

  const struct {
    std::u16string arg;
    int64_t wParam;
  } cases[] = {{u"restart", 99}, {u"/restart", 99}, {u"Restart", 0}, {u"T:\\l.dat", 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SendStartupNotice(directory, GleanerArguments{{c.arg}}, own));
    const std::vector<platform::WindowMessage> got = predecessor.Receive();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, platform::kNoticeMessage);
    EXPECT_EQ(got[0].wParam, c.wParam) << platform::WideToPosixUtf8(c.arg);
    EXPECT_TRUE(mainProgram.Receive().empty());
    EXPECT_TRUE(idle.Receive().empty());
    EXPECT_TRUE(otherJob.Receive().empty());
  }
  // A process without a predecessor (the first of a job, or one started by hand) tells nobody.
  EXPECT_FALSE(SendStartupNotice(directory, GleanerArguments{{u"restart"}}, std::nullopt));
  EXPECT_TRUE(idle.Receive().empty());
  EXPECT_TRUE(otherJob.Receive().empty());
}

TEST(JobStartupNotice, TheChainsVariablesAreTakenOnlyWithOpenDescriptors) {
  const int fd = ::dup(0);
  ASSERT_GE(fd, 3);
  ::setenv(platform::chain::kFilesVariable, std::to_string(fd).c_str(), 1);
  ::setenv(platform::chain::kPredecessorVariable, "12:3:4", 1);
  platform::chain::Inheritance taken = platform::chain::TakeInheritance();
  EXPECT_EQ(taken.files, std::vector<int>{fd});
  ASSERT_TRUE(taken.predecessor);
  EXPECT_EQ(*taken.predecessor, (platform::WindowHandle{12, 3, 4}));
  EXPECT_EQ(::getenv(platform::chain::kFilesVariable), nullptr);  // no child takes them for its own
  ::close(fd);
  // A descriptor that is not open here (a variable copied by hand) makes no chain.
  ::setenv(platform::chain::kFilesVariable, std::to_string(fd).c_str(), 1);
  EXPECT_FALSE(platform::chain::TakeInheritance().InChain());
}

}  // namespace
}  // namespace extractor
