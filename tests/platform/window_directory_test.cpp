#include "platform/window_directory.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file.h"
#include "platform/pump.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

constexpr int kTimeoutMs = 5000;

bool WaitReadable(int fd, int timeoutMs = kTimeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 1;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  return names;
}

// A uid that no account uses, as the owner of "another user's" files: only root can give
// files away, so without root the rows that need one are skipped.
std::optional<uid_t> ForeignUid() {
  if (::geteuid() != 0) return std::nullopt;
  for (uid_t uid = 54321; uid < 64000; ++uid)
    if (!::getpwuid(uid)) return uid;
  return std::nullopt;
}

// A socket where a listener would have one, to see whether a message reaches it.
class PlantedSocket {
 public:
  explicit PlantedSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  }
  ~PlantedSocket() { ::close(fd_); }
  // Whether a message waits; takes it.
  bool Received() {
    char buffer[64];
    return ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0;
  }

 private:
  int fd_;
};

class WindowDirectoryTest : public ::testing::Test {
 protected:
  // The bytes of a well-formed entry of this (live) process with one window "Gleaner",
  // to plant where it must not be believed.
  std::string GleanerEntry() {
    const std::string folder = temp_.Posix("model");
    WindowListener model(folder);
    EXPECT_TRUE(model.AddWindow(u"Gleaner"));
    return *ReadWholeFile(folder + "/" + std::to_string(::getpid()) + "-" + std::to_string(ListenerNumber(folder)) + ".win");
  }
  static uint32_t ListenerNumber(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      const std::string name = e.path().filename();
      if (name.ends_with(".win")) return static_cast<uint32_t>(std::stoul(name.substr(name.find('-') + 1)));
    }
    return 0;
  }

  testsupport::TempDrive temp_;
  std::string folder_ = temp_.Posix("run");
};

TEST_F(WindowDirectoryTest, FindsTheFirstWindowWhoseTitleContainsTheText) {
  WindowListener first(folder_), second(folder_);
  ASSERT_TRUE(first.Valid());
  ASSERT_TRUE(second.Valid());
  const WindowHandle a = first.AddWindow(u"Gleaner - Extrahiert Text von MHT/EML-Dateien");
  const WindowHandle b = second.AddWindow(u"Gleaner");
  const WindowHandle c = first.AddWindow(u"Manifester - von Laufwerk C");
  ASSERT_TRUE(a && b && c);
  WindowDirectory directory(folder_);

  struct Case {
    std::u16string_view text;
    bool ignoreCase;
    std::optional<WindowHandle> expected;
  } cases[] = {
      {u"Gleaner", false, a},       // registered first
      {u"gleaner", true, a},        {u"gleaner", false, std::nullopt},
      {u"EML-DATEIEN", true, a},    {u"von Laufwerk c", true, c},
      {u"Laufwerk D", true, std::nullopt},
      {u"", true, std::nullopt},    // an empty text matches nothing
  };
  for (const auto& k : cases) {
    auto found = directory.FindWindowContaining(k.text, k.ignoreCase);
    ASSERT_EQ(found.has_value(), k.expected.has_value()) << std::string(k.text.begin(), k.text.end());
    if (found) {
      EXPECT_EQ(found->handle, *k.expected);
    }
  }
  EXPECT_EQ(directory.Windows().size(), 3u);
}

TEST_F(WindowDirectoryTest, TitlesChangeAndWindowsGo) {
  WindowDirectory directory(folder_);
  {
    WindowListener listener(folder_);
    const WindowHandle w = listener.AddWindow(u"Quarry-HTML");
    ASSERT_TRUE(w);
    const std::u16string title = u"  Quarry-HTML wartet\n100% \u65E5\u672C ";
    ASSERT_TRUE(listener.SetTitle(w, title));
    auto found = directory.FindWindowContaining(u"wartet");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->title, title);
    EXPECT_TRUE(listener.RemoveWindow(w));
    EXPECT_FALSE(directory.FindWindowContaining(u"Quarry"));
    EXPECT_FALSE(directory.PostMessage(w, 5735, 99, 0));
    EXPECT_FALSE(listener.SetTitle(w, u"x"));
  }
  EXPECT_TRUE(FilesIn(folder_).empty());  // the listener cleaned up after itself
}

TEST_F(WindowDirectoryTest, PostedMessagesArriveInOrder) {
  WindowListener listener(folder_);
  const WindowHandle w = listener.AddWindow(u"Gleaner");
  const WindowHandle other = listener.AddWindow(u"Second");
  WindowDirectory directory(folder_);
  ASSERT_TRUE(directory.PostMessage(w, 5735, 99, 0));
  ASSERT_TRUE(directory.PostMessage(other, 5735, 0, -7));
  ASSERT_TRUE(directory.PostMessage(w, 1, INT64_MIN, INT64_MAX));
  ASSERT_TRUE(WaitReadable(listener.Fd()));
  std::vector<WindowMessage> got;
  listener.SetHandler([&](const WindowMessage& m) { got.push_back(m); });
  listener.Dispatch();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].window, w.window);
  EXPECT_EQ(got[0].message, 5735u);
  EXPECT_EQ(got[0].wParam, 99);
  EXPECT_EQ(got[1].window, other.window);
  EXPECT_EQ(got[1].lParam, -7);
  EXPECT_EQ(got[2].wParam, INT64_MIN);
  EXPECT_EQ(got[2].lParam, INT64_MAX);
  EXPECT_TRUE(listener.Receive().empty());  // nothing waits any more, and nothing blocks
}

TEST_F(WindowDirectoryTest, TheMessagePumpCanDispatch) {
  WindowListener listener(folder_);
  const WindowHandle w = listener.AddWindow(u"Quarry-HTML");
  int closes = 0;
  listener.SetHandler([&](const WindowMessage& m) {
    if (m.message == kNoticeMessage && m.wParam == kNoticeRestart) ++closes;
  });
  SetPumpHook([&] { listener.Dispatch(); });
  WindowDirectory directory(folder_);
  ASSERT_TRUE(directory.PostMessage(w, kNoticeMessage, 0, 0));
  ASSERT_TRUE(directory.PostMessage(w, kNoticeMessage, kNoticeRestart, 0));
  ASSERT_TRUE(WaitReadable(listener.Fd()));
  ProcessMessages();
  SetPumpHook(nullptr);
  EXPECT_EQ(closes, 1);
}

TEST_F(WindowDirectoryTest, AnotherProcessFindsTheWindowAndPostsToIt) {
  int ready[2], report[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The receiving program: registers, says so, reports the first message it gets.
    WindowListener listener(folder_);
    const bool ok = listener.Valid() && listener.AddWindow(u"Quarry-HTML -  Die Suchmaschine");
    const char flag = ok ? '1' : '0';
    (void)!::write(ready[1], &flag, 1);
    WindowMessage m{};
    bool got = false;
    for (int i = 0; i < 50 && !got; ++i) {
      if (!WaitReadable(listener.Fd(), 100)) continue;
      for (const auto& r : listener.Receive()) m = r, got = true;
    }
    (void)!::write(report[1], &m, sizeof m);
    ::_exit(got ? 0 : 2);
  }
  ::close(ready[1]);
  ::close(report[1]);
  char flag = 0;
  ASSERT_TRUE(WaitReadable(ready[0]));
  ASSERT_EQ(::read(ready[0], &flag, 1), 1);
  ASSERT_EQ(flag, '1');

  WindowDirectory directory(folder_);
  auto found = directory.FindWindowContaining(u"quarry-html");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->handle.pid, child);
  ASSERT_TRUE(directory.PostMessage(found->handle, 5735, 99, 0));

  WindowMessage m{};
  ASSERT_TRUE(WaitReadable(report[0]));
  ASSERT_EQ(::read(report[0], &m, sizeof m), static_cast<ssize_t>(sizeof m));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(m.message, 5735u);
  EXPECT_EQ(m.wParam, 99);
  EXPECT_EQ(m.window, found->handle.window);
  ::close(ready[0]);
  ::close(report[0]);
  // The child left its entry behind (_exit skips destructors); the look-up removes it.
  EXPECT_FALSE(directory.FindWindowContaining(u"quarry-html"));
  EXPECT_FALSE(directory.PostMessage(found->handle, 5735, 99, 0));
  EXPECT_TRUE(FilesIn(folder_).empty());
}

TEST_F(WindowDirectoryTest, EntriesOfEndedOrReplacedProcessesAreSkippedAndRemoved) {
  std::filesystem::create_directories(folder_);
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);  // whatever the umask
  // A process that ended without unregistering.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    WindowListener listener(folder_);
    listener.AddWindow(u"Gleaner");
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  // An entry under a live pid (ours) that was written by an earlier process of that pid.
  temp_.WriteFile("run/" + std::to_string(::getpid()) + "-999.win", "QHW1 " + std::to_string(::getpid()) + " 1\n1 0 Gleaner\n");
  temp_.WriteFile("run/" + std::to_string(::getpid()) + "-999.sock", "");
  ASSERT_EQ(FilesIn(folder_).size(), 4u);

  WindowDirectory directory(folder_);
  EXPECT_FALSE(directory.FindWindowContaining(u"Gleaner"));
  EXPECT_TRUE(FilesIn(folder_).empty());
}

TEST_F(WindowDirectoryTest, ListenerNeedsAUsableFolder) {
  WindowListener missingParent(temp_.Posix("no/such/folder"));
  EXPECT_FALSE(missingParent.Valid());
  EXPECT_FALSE(missingParent.AddWindow(u"x"));
  temp_.WriteFile("plainfile", "");
  EXPECT_FALSE(WindowListener(temp_.Posix("plainfile")).Valid());
  // A folder too long for a socket address.
  const std::string deep = temp_.Posix(std::string(120, 'd'));
  EXPECT_FALSE(WindowListener(deep).Valid());
  // The look-up side never creates anything.
  EXPECT_TRUE(WindowDirectory(temp_.Posix("absent")).Windows().empty());
  EXPECT_FALSE(std::filesystem::exists(temp_.Posix("absent")));
}

TEST_F(WindowDirectoryTest, EntriesThatAreNoSmallFilesOfOursAreSkippedWithoutWaiting) {
  const std::string gleaner = GleanerEntry();
  WindowListener listener(folder_);
  ASSERT_TRUE(listener.Valid());
  ASSERT_TRUE(listener.AddWindow(u"Quarry-HTML"));
  temp_.WriteFile("elsewhere.win", gleaner);
  std::string oversized = gleaner;
  while (oversized.size() <= kMaxWindowEntryBytes) oversized += "2 0 " + std::string(1000, 'x') + "\n";
  const std::optional<uid_t> foreign = ForeignUid();
  const std::string pid = std::to_string(::getpid());
  const struct {
    const char* what;
    std::function<void(const std::string& path)> plant;
    bool believed;
    bool needsForeignUid;
  } cases[] = {
      {"a well-formed entry (the control)", [&](const std::string& p) { WriteFileAtomically(p, gleaner); }, true, false},
      {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false, false},
      {"a link to /dev/zero", [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }, false, false},
      {"a link to a well-formed entry",
       [&](const std::string& p) { ASSERT_EQ(::symlink(temp_.Posix("elsewhere.win").c_str(), p.c_str()), 0); }, false, false},
      {"a folder", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); }, false, false},
      {"an oversized entry", [&](const std::string& p) { WriteFileAtomically(p, oversized); }, false, false},
      {"another user's entry",
       [&](const std::string& p) {
         WriteFileAtomically(p, gleaner);
         ASSERT_EQ(::chown(p.c_str(), *foreign, static_cast<gid_t>(-1)), 0);
       },
       false, true},
  };
  WindowDirectory directory(folder_);
  // Named after this live process, so that it is not removed as an ended one.
  PlantedSocket socket(folder_ + "/" + pid + "-900.sock");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsForeignUid && !foreign) {
      std::printf("skipped: %s (needs root)\n", c.what);
      continue;
    }
    const std::string path = folder_ + "/" + pid + "-900.win";
    c.plant(path);
    auto found = directory.FindWindowContaining(u"Gleaner");
    EXPECT_EQ(found.has_value(), c.believed);
    EXPECT_EQ(directory.PostMessage(WindowHandle{::getpid(), 900, 1}, 5735, 99, 0), c.believed);
    EXPECT_EQ(socket.Received(), c.believed);
    EXPECT_TRUE(directory.FindWindowContaining(u"Quarry-HTML"));  // the good entry still counts
    EXPECT_EQ(directory.Windows().size(), c.believed ? 2u : 1u);
    std::filesystem::remove(path);
  }
}

TEST_F(WindowDirectoryTest, AFolderItCannotTrustIsReportedAndNotUsed) {
  const std::string gleaner = GleanerEntry();
  const std::optional<uid_t> foreign = ForeignUid();
  const std::string entryName = std::to_string(::getpid()) + "-900.win";
  std::vector<std::unique_ptr<PlantedSocket>> sockets;
  auto folderWith = [&](const std::string& path, mode_t mode) {
    std::filesystem::create_directories(path);
    WriteFileAtomically(path + "/" + entryName, gleaner);
    sockets.push_back(std::make_unique<PlantedSocket>(path + "/" + std::to_string(::getpid()) + "-900.sock"));
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);  // chmod, so that no umask interferes
  };
  const struct {
    const char* name;
    std::function<void(const std::string& path)> make;
    FolderTrust trust;
    std::string text;  // "%F" stands for the folder
    bool needsForeignUid;
  } cases[] = {
      {"private", [&](const std::string& p) { folderWith(p, 0700); }, FolderTrust::Trusted, "", false},
      {"readable", [&](const std::string& p) { folderWith(p, 0755); }, FolderTrust::Trusted, "", false},
      {"missing", [](const std::string&) {}, FolderTrust::Missing, "Der Ordner \"%F\" fehlt.", false},
      {"world-writable", [&](const std::string& p) { folderWith(p, 0777); }, FolderTrust::OpenToOthers,
       "In den Ordner \"%F\" d\u00FCrfen andere Benutzer schreiben (Rechte 0777).", false},
      {"group-writable", [&](const std::string& p) { folderWith(p, 0770); }, FolderTrust::OpenToOthers,
       "In den Ordner \"%F\" d\u00FCrfen andere Benutzer schreiben (Rechte 0770).", false},
      {"sticky like /tmp", [&](const std::string& p) { folderWith(p, 01777); }, FolderTrust::OpenToOthers,
       "In den Ordner \"%F\" d\u00FCrfen andere Benutzer schreiben (Rechte 1777).", false},
      {"a link to a private folder",
       [&](const std::string& p) {
         folderWith(p + "-target", 0700);
         ASSERT_EQ(::symlink((p + "-target").c_str(), p.c_str()), 0);
       },
       FolderTrust::NotAFolder,
       "\"%F\" ist kein echter Ordner, sondern eine Datei oder ein symbolischer Verweis.", false},
      {"a file", [](const std::string& p) { WriteFileAtomically(p, "x"); }, FolderTrust::NotAFolder,
       "\"%F\" ist kein echter Ordner, sondern eine Datei oder ein symbolischer Verweis.", false},
      {"another user's",
       [&](const std::string& p) {
         folderWith(p, 0700);
         ASSERT_EQ(::chown(p.c_str(), *foreign, static_cast<gid_t>(-1)), 0);
       },
       FolderTrust::ForeignOwner,
       "Der Ordner \"%F\" geh\u00F6rt einem anderen Benutzer (Benutzernummer " +
           (foreign ? std::to_string(*foreign) : std::string()) + ").",
       true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsForeignUid && !foreign) {
      std::printf("skipped: %s (needs root)\n", c.name);
      continue;
    }
    const std::string folder = temp_.Posix("folder" + std::to_string(n++));
    sockets.clear();
    c.make(folder);
    const auto before = Stat(folder, false);
    WindowDirectory directory(folder);
    const FolderCheck check = directory.CheckFolder();
    EXPECT_EQ(check.trust, c.trust);
    EXPECT_EQ(check.folder, folder);
    std::string text = c.text;
    if (const size_t at = text.find("%F"); at != std::string::npos) text.replace(at, 2, folder);
    EXPECT_EQ(check.Text(), text);
    const bool trusted = c.trust == FolderTrust::Trusted;
    EXPECT_EQ(directory.FindWindowContaining(u"Gleaner").has_value(), trusted);
    EXPECT_EQ(directory.PostMessage(WindowHandle{::getpid(), 900, 1}, 5735, 99, 0), trusted);
    if (!sockets.empty()) {
      EXPECT_EQ(sockets[0]->Received(), trusted);
    }
    if (c.trust == FolderTrust::Missing) continue;
    // The listening side refuses it as well, and says why; it changes nothing there.
    WindowListener listener(folder);
    EXPECT_EQ(listener.Valid(), trusted);
    EXPECT_EQ(listener.FolderStatus().trust, c.trust);
    EXPECT_EQ(listener.FolderStatus().Text(), text);
    if (!trusted) {
      EXPECT_EQ(Stat(folder, false)->mode, before->mode);
      if (!sockets.empty()) {
        EXPECT_TRUE(Stat(folder + "/" + entryName).has_value());
      }
    }
  }
}

TEST_F(WindowDirectoryTest, DefaultFolderFromTheEnvironment) {
  const char* old = std::getenv("QUARRY_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  ::setenv("QUARRY_RUNTIME_DIR", "/x/run", 1);
  EXPECT_EQ(WindowDirectoryFolder(), "/x/run");
  ::unsetenv("QUARRY_RUNTIME_DIR");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    EXPECT_EQ(WindowDirectoryFolder(), std::string(runtime) + "/quarry-html");
  } else {
    EXPECT_EQ(WindowDirectoryFolder(), "/tmp/quarry-" + std::to_string(::geteuid()));
  }
  if (old) ::setenv("QUARRY_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace platform
