#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/file.h"
#include "platform/pump.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace platform {
namespace {

namespace fs = std::filesystem;

// A copy of a system program under a name of our own, so that IsProcessRunning sees
// only the processes of this test.
std::string CopyProgram(const testsupport::TempDrive& dir, const std::string& from, const std::string& name) {
  const std::string to = dir.Posix(name);
  fs::copy_file(from, to);
  fs::permissions(to, fs::perms::owner_all);
  return to;
}

std::string Unique(const std::string& name) { return name + std::to_string(::getpid()); }

TEST(Process, StartsWithArgumentsUntouchedByAnyShell) {
  testsupport::TempDrive dir;
  fs::create_directories(dir.Posix("work"));
  const std::vector<std::string> names = {"a b", "$(echo x)", "*", "semi;colon", "'q'", "\"dq\"", "ä€"};
  StartResult r = StartProgram("touch", names, dir.Posix("work"));
  ASSERT_TRUE(r.Ok()) << r.error;
  auto exit = WaitForProcess(r.pid, 10000);
  ASSERT_TRUE(exit);
  EXPECT_TRUE(exit->exited);
  EXPECT_EQ(exit->code, 0);
  for (const auto& n : names) EXPECT_TRUE(fs::exists(dir.Posix("work/" + n))) << n;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Posix("work")), fs::directory_iterator()),
            static_cast<long>(names.size()));
}

TEST(Process, ReportsStartFailures) {
  testsupport::TempDrive dir;
  StartResult missing = StartProgram(dir.Posix("no-such-program"), {});
  EXPECT_FALSE(missing.Ok());
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_EQ(StartProgram("quarry-no-such-program-on-path", {}).error, ENOENT);
  StartResult badFolder = StartProgram("/bin/true", {}, dir.Posix("no/such/folder"));
  EXPECT_FALSE(badFolder.Ok());
  EXPECT_NE(badFolder.error, 0);
}

TEST(Process, WaitGivesTheExitAndPumpsMeanwhile) {
  int pumped = 0;
  SetPumpHook([&] { ++pumped; });
  StartResult r = StartProgram("/bin/sleep", {"0.3"});
  ASSERT_TRUE(r.Ok());
  auto exit = WaitForProcess(r.pid, 10000);
  SetPumpHook(nullptr);
  ASSERT_TRUE(exit);
  EXPECT_TRUE(exit->exited);
  EXPECT_EQ(exit->code, 0);
  EXPECT_GT(pumped, 0);

  StartResult failing = StartProgram("/bin/false", {});
  ASSERT_TRUE(failing.Ok());
  exit = WaitForProcess(failing.pid, 10000);
  ASSERT_TRUE(exit);
  EXPECT_EQ(exit->code, 1);
}

TEST(Process, WaitTimesOutAndSeesSignals) {
  StartResult r = StartProgram("/bin/sleep", {"30"});
  ASSERT_TRUE(r.Ok());
  EXPECT_FALSE(WaitForProcess(r.pid, 50));
  EXPECT_TRUE(IsProcessAlive(r.pid));
  ASSERT_EQ(::kill(static_cast<pid_t>(r.pid), SIGTERM), 0);
  auto exit = WaitForProcess(r.pid, 10000);
  ASSERT_TRUE(exit);
  EXPECT_FALSE(exit->exited);
  EXPECT_EQ(exit->code, SIGTERM);
  EXPECT_FALSE(IsProcessAlive(r.pid));
}

TEST(Process, IsProcessRunningByExecutableNameOrPath) {
  testsupport::TempDrive dir;
  const std::string name = Unique("QuarrySleeper");
  const std::string path = CopyProgram(dir, "/bin/sleep", name);
  std::u16string wideName(name.begin(), name.end()), widePath(path.begin(), path.end());
  EXPECT_FALSE(IsProcessRunning(wideName));

  StartResult r = StartProgram(path, {"30"});
  ASSERT_TRUE(r.Ok());
  std::u16string upper = wideName;
  for (auto& c : upper) c = std::toupper(c);
  EXPECT_TRUE(IsProcessRunning(wideName));
  EXPECT_TRUE(IsProcessRunning(upper));  // ignoring case
  EXPECT_TRUE(IsProcessRunning(widePath));
  EXPECT_FALSE(IsProcessRunning(wideName.substr(0, wideName.size() - 1)));
  EXPECT_FALSE(IsProcessRunning(u""));

  ::kill(static_cast<pid_t>(r.pid), SIGKILL);
  // Once it has ended it no longer counts, though nobody waited for it.
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = !IsProcessRunning(wideName);
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

TEST(Process, AnUnreapedChildOfSomeoneElseDoesNotCount) {
  testsupport::TempDrive dir;
  const std::string name = Unique("QuarryZombie");
  std::string path = CopyProgram(dir, "/bin/true", name);
  // Started behind our back, so nothing here reaps it: it stays a zombie until waited for.
  char* argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ), 0);
  bool zombie = false;
  for (int i = 0; i < 500 && !zombie; ++i) {
    auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    zombie = stat && stat->find(") Z ") != std::string::npos;
    if (!zombie) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(zombie);
  EXPECT_FALSE(IsProcessRunning(std::u16string(name.begin(), name.end())));
  EXPECT_FALSE(IsProcessAlive(pid));
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
}

TEST(Process, UserAdminIsRoot) { EXPECT_EQ(IsUserAdmin(), ::geteuid() == 0); }

TEST(Process, OwnExecutableIsThisTest) {
  const std::string self = OwnExecutablePath();
  EXPECT_EQ(fs::path(self).filename(), "test_platform");
  EXPECT_TRUE(IsProcessRunning(std::u16string(self.begin(), self.end())));
}

TEST(Process, SplitCommandLineFollowsTheWindowsRules) {
  struct Case {
    std::u16string_view line;
    std::vector<std::u16string> args;
  } cases[] = {
      {u"", {}},
      {u"   ", {}},
      {u"open C", {u"open", u"C"}},
      {u"  restart\t", {u"restart"}},
      {u"\"C:\\Quarry\\Datenbank\\Temp\\a b_mht.dat\" \"C:\\x.txt\"",
       {u"C:\\Quarry\\Datenbank\\Temp\\a b_mht.dat", u"C:\\x.txt"}},
      {u"\"\"", {u""}},
      {u"a\"b c\"d e", {u"ab cd", u"e"}},
      {u"a\\\\b c\\", {u"a\\\\b", u"c\\"}},
      {u"\\\"x\\\"", {u"\"x\""}},
      {u"\"a\\\\\" b", {u"a\\", u"b"}},
      {u"\"\"\"url\"\"\"", {u"\"url\""}},
      {u"\"unclosed quote", {u"unclosed quote"}},
  };
  for (const auto& k : cases)
    EXPECT_EQ(SplitCommandLine(k.line), k.args) << std::string(k.line.begin(), k.line.end());
}

// A stand-in for xdg-open that writes its arguments into a file beside it.
class FakeDesktop {
 public:
  explicit FakeDesktop(const testsupport::TempDrive& dir) : bin_(dir.Posix("fakebin")) {
    fs::create_directories(bin_);
    dir.WriteFile("fakebin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/opened.txt\"\n");
    fs::permissions(bin_ + "/xdg-open", fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    ::setenv("PATH", (bin_ + ":" + oldPath_).c_str(), 1);
  }
  ~FakeDesktop() { ::setenv("PATH", oldPath_.c_str(), 1); }
  const std::string& Bin() const { return bin_; }
  std::string Opened(const StartResult& r) const {
    if (!r.Ok() || !WaitForProcess(r.pid, 10000)) return "(not started)";
    return ReadWholeFile(bin_ + "/opened.txt").value_or("(nothing)");
  }

 private:
  std::string bin_, oldPath_;
};

// The state letter of /proc/<pid>/stat; 0 once the process is gone (reaped).
char ProcessState(int64_t pid) {
  auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return 0;
  const size_t close = stat->rfind(')');
  return close != std::string::npos && close + 2 < stat->size() ? (*stat)[close + 2] : '?';
}

TEST(Process, AChildThatEndsIsReapedWithoutAnyoneAsking) {
  testsupport::TempDrive dir;
  FakeDesktop desktop(dir);
  struct Case {
    const char* what;
    std::function<StartResult()> start;
  };
  const Case cases[] = {
      {"program", [] { return StartProgram("/bin/true", {}); }},
      {"failing program", [] { return StartProgram("/bin/false", {}); }},
      // Result pages reach the browser through the desktop's handler.
      {"desktop handler", [] { return OpenWithDesktop("file:///tmp/Ergebnis.htm"); }},
  };
  for (const Case& c : cases) {
    const StartResult r = c.start();
    ASSERT_TRUE(r.Ok()) << c.what;
    // Nothing of ours is called meanwhile: no wait, no start, no look-up could reap it.
    char state = ProcessState(r.pid);
    for (int i = 0; i < 1000 && state != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      state = ProcessState(r.pid);
    }
    EXPECT_EQ(state, 0) << c.what << ": still there in state " << state;
    int status = 0;
    EXPECT_EQ(::waitpid(static_cast<pid_t>(r.pid), &status, WNOHANG), -1) << c.what;
    EXPECT_EQ(errno, ECHILD) << c.what;
  }
}

TEST(Process, TheExitOfAReapedChildIsStillReported) {
  const StartResult r = StartProgram("/bin/sh", {"-c", "exit 7"});
  ASSERT_TRUE(r.Ok());
  for (int i = 0; i < 1000 && ProcessState(r.pid) != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(ProcessState(r.pid), 0);
  EXPECT_FALSE(IsProcessAlive(r.pid));
  const auto exit = WaitForProcess(r.pid, 0);
  ASSERT_TRUE(exit);
  EXPECT_TRUE(exit->exited);
  EXPECT_EQ(exit->code, 7);
}

TEST(Process, ShellExecuteStartsProgramsAndOpensTheRest) {
  testsupport::TempDrive dir;
  FakeDesktop desktop(dir);
  fs::create_directories(dir.Posix("work"));
  CopyProgram(dir, "/usr/bin/touch", "Toucher");
  dir.WriteFile("Handbuch.pdf", "%PDF");

  // An executable in drive form: "RunAs" starts it like "open", arguments split, in the folder.
  StartResult run = ShellExecute(u"RunAs", dir.Drive(u"Toucher"), u"open \"T x\"", dir.Drive(u"work"));
  ASSERT_TRUE(run.Ok()) << run.error;
  ASSERT_TRUE(WaitForProcess(run.pid, 10000));
  EXPECT_TRUE(fs::exists(dir.Posix("work/open")));
  EXPECT_TRUE(fs::exists(dir.Posix("work/T x")));

  // A bare program name is looked up on PATH, also without ".exe".
  CopyProgram(dir, "/usr/bin/touch", "fakebin/quarrytouch");
  run = ShellExecute(u"open", u"quarrytouch.exe", u"viaPath", dir.Drive(u"work"));
  ASSERT_TRUE(run.Ok()) << run.error;
  ASSERT_TRUE(WaitForProcess(run.pid, 10000));
  EXPECT_TRUE(fs::exists(dir.Posix("work/viaPath")));

  // Documents and URLs go to the desktop's handler.
  EXPECT_EQ(desktop.Opened(ShellExecute(u"open", dir.Drive(u"Handbuch.pdf"))), dir.Posix("Handbuch.pdf") + "\n");
  EXPECT_EQ(desktop.Opened(ShellExecute(u"", u"https://example.org/a b?q=1")), "https://example.org/a b?q=1\n");
  EXPECT_EQ(desktop.Opened(OpenWithDesktop("/x/y z.htm")), "/x/y z.htm\n");
}

TEST(Process, ShellExecuteFailures) {
  testsupport::TempDrive dir;
  dir.WriteFile("doc.txt", "x");
  EXPECT_EQ(ShellExecute(u"open", dir.Drive(u"missing.pdf")).error, ENOENT);
  EXPECT_EQ(ShellExecute(u"open", u"Q:\\unmapped\\drive.exe").error, ENOENT);
  EXPECT_EQ(ShellExecute(u"open", u"").error, ENOENT);
  EXPECT_EQ(ShellExecute(u"print", dir.Drive(u"doc.txt")).error, EINVAL);
  EXPECT_EQ(ShellExecute(u"open", u"quarry-no-such-program.exe").error, ENOENT);
}

}  // namespace
}  // namespace platform
