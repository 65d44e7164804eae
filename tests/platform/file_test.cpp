#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace platform {
namespace {

constexpr int kChunks = 10;
constexpr int64_t kChunkBytes = 1000;

// Started again as a child by the tests of QUARRY_FAULT (with QUARRY_TEST_CHUNKS naming a
// file): writes ten chunks of 1000 bytes through the file layer and exits before any test
// runs. Exit 2: a write failed; 3: QUARRY_FAULT was left for the programs it would start.
const bool kChunkWriterChild = [] {
  const char* file = std::getenv("QUARRY_TEST_CHUNKS");
  if (!file) return false;
  NativeFile f = NativeFile::Create(file);
  const std::string chunk(static_cast<size_t>(kChunkBytes), 'x');
  for (int i = 0; i < kChunks; ++i)
    if (f.Write(chunk.data(), kChunkBytes) != kChunkBytes) ::_exit(2);
  if (std::getenv("QUARRY_FAULT")) ::_exit(3);
  f.Close();
  std::exit(0);  // not _exit: the counts report is written at exit
}();

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

FaultPlan Plan(std::vector<FaultRule> rules, int64_t killAfterBytes = -1, std::string countsFile = {}) {
  FaultPlan plan;
  plan.rules = std::move(rules);
  plan.killAfterBytes = killAfterBytes;
  plan.countsFile = std::move(countsFile);
  return plan;
}

uint32_t ModeOf(const std::string& path) { return Stat(path, false)->mode & 07777; }

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }

 private:
  mode_t old_;
};

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

// The reasons a user reads in the boxes are German whatever the process's locale.
TEST(NativeFile, SystemErrorTextsAreGerman) {
  struct Case {
    int code;
    const char* text;
  } const cases[] = {{ENOENT, "Die Datei oder der Ordner existiert nicht."},
                     {EACCES, "Zugriff verweigert."},
                     {ENOSPC, "Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."},
                     {EROFS, "Der Datenträger ist schreibgeschützt."},
                     {ENOTDIR, "Ein Teil des Pfades ist kein Ordner."}};
  for (const Case& c : cases) EXPECT_EQ(SystemErrorText(c.code), c.text) << c.code;
  // A rare one keeps its number and the system's own words.
  EXPECT_EQ(SystemErrorText(EHOSTDOWN).rfind("Systemfehler " + std::to_string(EHOSTDOWN) + " (", 0), 0u);
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

// A page written over an older one, longer or shorter, or over an emptied one, holds
// exactly the new bytes; neither touches a path that is no regular file.
TEST(Files, OverwriteAndTruncateInPlace) {
  testsupport::TempDrive drive;
  const std::string path = drive.Posix("page.htm");
  ASSERT_TRUE(WriteFileAtomically(path, "a much longer old page"));
  for (const std::string bytes : {"short", "", "longer than short", "same length: 17 b"}) {
    ASSERT_TRUE(OverwriteExistingFile(path, bytes));
    EXPECT_EQ(ReadWholeFile(path), bytes);
  }
  ASSERT_TRUE(TruncateRegularFile(path));
  EXPECT_EQ(ReadWholeFile(path), "");
  ASSERT_TRUE(TruncateRegularFile(path));  // already empty
  ASSERT_TRUE(OverwriteExistingFile(path, "new"));
  EXPECT_EQ(ReadWholeFile(path), "new");
  EXPECT_FALSE(OverwriteExistingFile(drive.Posix("missing.htm"), "x"));
  ASSERT_TRUE(MakeDirectory(drive.Posix("dir")));
  EXPECT_FALSE(TruncateRegularFile(drive.Posix("dir")));
}

TEST(FaultHook, CountsWritesRenamesAndSyncsFromArming) {
  testsupport::TempDrive drive;
  NativeFile f = NativeFile::Create(drive.Posix("a"));
  ASSERT_TRUE(f.Valid());
  ASSERT_EQ(f.Write("before", 6), 6);  // not armed yet
  {
    ScopedFaults counting;
    ASSERT_EQ(f.Write("abc", 3), 3);
    ASSERT_EQ(f.Write("", 0), 0);  // writes nothing, so no write
    ASSERT_EQ(f.Write("defg", 4), 4);
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(RenameFile(drive.Posix("a"), drive.Posix("b")));
    ASSERT_TRUE(SyncDirectory(drive.Root()));
    EXPECT_EQ(FaultCounters(), (FaultCounts{2, 1, 2, 7}));
    ArmFaults({});  // re-arming starts again from zero
    ASSERT_TRUE(WriteFileAtomically(drive.Posix("c"), "12345"));
    EXPECT_EQ(FaultCounters(), (FaultCounts{1, 1, 2, 5}));
  }
  ASSERT_EQ(f.Write("after", 5), 5);  // disarmed: no longer counted
  EXPECT_EQ(FaultCounters(), (FaultCounts{1, 1, 2, 5}));
}

TEST(FaultHook, FailsTheChosenCallsAsARealFailureWould) {
  testsupport::TempDrive drive;
  struct Case {
    FaultRule rule;
    bool succeeds[5];  // the first five calls of that kind
  } cases[] = {
      {{FaultOp::Write, 2, ENOSPC, false}, {true, false, true, true, true}},
      {{FaultOp::Write, 2, EIO, true}, {true, false, false, false, false}},
      {{FaultOp::Rename, 1, EXDEV, false}, {false, true, true, true, true}},
      {{FaultOp::Rename, 4, EDQUOT, true}, {true, true, true, false, false}},
      {{FaultOp::Sync, 3, EIO, false}, {true, true, false, true, true}},
      {{FaultOp::Sync, 1, EROFS, true}, {false, false, false, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.rule.op)) + ":" + std::to_string(c.rule.nth));
    std::string from = drive.Posix("a"), to = drive.Posix("b");
    std::filesystem::remove(to);
    NativeFile f = NativeFile::Create(from);
    ASSERT_TRUE(f.Valid());
    ScopedFaults faults(Plan({c.rule}));
    int64_t size = 0;
    for (bool succeeds : c.succeeds) {
      errno = 0;
      SetLastError(0);
      bool ok = false;
      switch (c.rule.op) {
        case FaultOp::Write:
          ok = f.Write("xy", 2) == 2;
          if (ok) size += 2;
          EXPECT_EQ(f.Size(), size);  // a failed write wrote nothing
          break;
        case FaultOp::Rename:
          ok = RenameFile(from, to);
          if (ok) std::swap(from, to);  // the next call moves it back
          EXPECT_TRUE(Stat(from).has_value());
          break;
        case FaultOp::Sync:
          ok = f.Sync();
          break;
      }
      EXPECT_EQ(ok, succeeds);
      if (!succeeds) {
        EXPECT_EQ(errno, c.rule.error);
        EXPECT_EQ(LastError(), c.rule.error);
      }
    }
  }
}

TEST(FaultHook, ParsesThePlanOfTheEnvironment) {
  const struct {
    std::string_view text;
    std::optional<FaultPlan> plan;
  } cases[] = {
      {"write:17:ENOSPC", Plan({{FaultOp::Write, 17, ENOSPC, false}})},
      {"sync:2+:EIO", Plan({{FaultOp::Sync, 2, EIO, true}})},
      {"rename:1:EXDEV", Plan({{FaultOp::Rename, 1, EXDEV, false}})},
      {"write:3:28", Plan({{FaultOp::Write, 3, 28, false}})},
      {"kill-after-bytes:0", Plan({}, 0)},
      {"write:1:EDQUOT,kill-after-bytes:4096,counts:/tmp/a:b",
       Plan({{FaultOp::Write, 1, EDQUOT, false}}, 4096, "/tmp/a:b")},
      {"sync:1:EIO,,sync:5+:EROFS", Plan({{FaultOp::Sync, 1, EIO, false}, {FaultOp::Sync, 5, EROFS, true}})},
      {"", std::nullopt},
      {",", std::nullopt},
      {"write", std::nullopt},
      {"write:17", std::nullopt},
      {"write:0:EIO", std::nullopt},
      {"write:x:EIO", std::nullopt},
      {"write:-1:EIO", std::nullopt},
      {"write:1:ENOSUCH", std::nullopt},
      {"write:1:4", std::nullopt},  // EINTR is retried, it could never fail a call
      {"write:1:0", std::nullopt},
      {"erase:1:EIO", std::nullopt},
      {"kill-after-bytes:", std::nullopt},
      {"kill-after-bytes:-5", std::nullopt},
      {"counts:", std::nullopt},
      {"write:1:EIO,bogus", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseFaultPlan(c.text), c.plan) << c.text;
}

TEST(FaultHook, TheEnvironmentFailsOrKillsAChildAtAnExactByte) {
  testsupport::TempDrive drive;
  const std::string file = drive.Posix("chunks"), counts = drive.Posix("counts");
  const int64_t all = kChunks * kChunkBytes;
  const struct {
    std::string fault;
    bool killed;
    int exitCode;
    int64_t size;
  } cases[] = {
      {"kill-after-bytes:0", true, 0, 0},
      {"kill-after-bytes:1", true, 0, 1},
      {"kill-after-bytes:2500", true, 0, 2500},
      {"kill-after-bytes:" + std::to_string(all), true, 0, all},
      {"kill-after-bytes:" + std::to_string(all + 1), false, 0, all},
      {"write:4:ENOSPC", false, 2, 3 * kChunkBytes},
      {"counts:" + counts, false, 0, all},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    std::filesystem::remove(file);
    std::vector<std::string> env = {"QUARRY_FAULT=" + c.fault, "QUARRY_TEST_CHUNKS=" + file};
    for (char** e = environ; *e; ++e)
      if (!std::string_view(*e).starts_with("QUARRY_FAULT=") && !std::string_view(*e).starts_with("QUARRY_TEST_CHUNKS="))
        env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe", filter[] = "--gtest_filter=NoTestAtAll";
    char* argv[] = {self, filter, nullptr};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execve(self, argv, envp.data());
      ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (c.killed) {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(WTERMSIG(status), SIGKILL);
    } else {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
    }
    EXPECT_EQ(Stat(file)->size, c.size);
  }
  EXPECT_EQ(ReadWholeFile(counts), "writes 10\nrenames 0\nsyncs 0\nbytes 10000\n");
}

TEST(WriteFileAtomically, EveryFailurePointKeepsTheOldFileAndLeavesNoTemporary) {
  testsupport::TempDrive drive;
  const std::string target = drive.Posix("target.txt");
  FaultCounts counts;
  {
    ScopedFaults counting;
    ASSERT_TRUE(WriteFileAtomically(target, "old"));
    counts = FaultCounters();
  }
  ASSERT_EQ(counts, (FaultCounts{1, 1, 2, 3}));  // file sync, then folder sync
  const struct {
    FaultOp op;
    int64_t calls;
  } ops[] = {{FaultOp::Write, counts.writes}, {FaultOp::Rename, counts.renames}, {FaultOp::Sync, counts.syncs}};
  for (const auto& op : ops) {
    for (int64_t n = 1; n <= op.calls; ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(op.op)) + ":" + std::to_string(n));
      ASSERT_TRUE(WriteFileAtomically(target, "old"));
      const int error = n % 2 ? ENOSPC : EIO;
      {
        ScopedFaults faults(Plan({{op.op, n, error, false}}));
        EXPECT_FALSE(WriteFileAtomically(target, "new"));
        EXPECT_EQ(LastError(), error);
        EXPECT_EQ(errno, error);
      }
      // Only the sync of the folder comes after the rename; the new file is then in place.
      const bool afterRename = op.op == FaultOp::Sync && n == 2;
      EXPECT_EQ(ReadWholeFile(target), afterRename ? "new" : "old");
      EXPECT_EQ(NamesIn(drive.Root()), std::vector<std::string>{"target.txt"});
    }
  }
}

TEST(WriteFileAtomically, AFileOrLinkPlantedAtTheTemporaryNameNeverReceivesTheWrite) {
  testsupport::TempDrive drive;
  ASSERT_TRUE(MakeDirectory(drive.Posix("work")));
  ASSERT_TRUE(MakeDirectory(drive.Posix("outside")));
  ASSERT_TRUE(MakeDirectory(drive.Posix("outside/folder")));
  drive.WriteFile("outside/secret", "outside");
  const std::string target = drive.Posix("work/list.txt");
  const std::string planted = target + ".tmp" + std::to_string(::getpid()) + "-planted";
  const struct {
    const char* what;
    std::string linkTo;  // empty: a regular file
  } cases[] = {
      {"link to a file", drive.Posix("outside/secret")},
      {"dangling link", drive.Posix("outside/created")},
      {"relative dangling link", "../outside/created"},
      {"link to a folder", drive.Posix("outside/folder")},
      {"regular file", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    drive.WriteFile("work/list.txt", "old");
    if (c.linkTo.empty()) drive.WriteFile("work/" + planted.substr(planted.rfind('/') + 1), "someone's");
    else ASSERT_EQ(::symlink(c.linkTo.c_str(), planted.c_str()), 0);
    int calls = 0;
    SetTempSuffixSourceForTesting([&] { return ++calls == 1 ? std::string("planted") : "free"; });
    const bool written = WriteFileAtomically(target, "new");
    SetTempSuffixSourceForTesting(nullptr);
    EXPECT_TRUE(written);
    EXPECT_EQ(calls, 2);  // the planted name was passed over
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(ReadWholeFile(drive.Posix("outside/secret")), "outside");
    EXPECT_FALSE(Stat(drive.Posix("outside/created"), false).has_value());
    EXPECT_TRUE(NamesIn(drive.Posix("outside/folder")).empty());
    auto st = Stat(planted, false);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->isSymlink, !c.linkTo.empty());
    if (c.linkTo.empty()) {
      EXPECT_EQ(ReadWholeFile(planted), "someone's");
    }
    EXPECT_EQ(NamesIn(drive.Posix("work")).size(), 2u);  // the target and the planted name
    ASSERT_TRUE(RemoveFile(planted));
  }
  // When every name is taken, nothing is written anywhere.
  ASSERT_EQ(::symlink(drive.Posix("outside/secret").c_str(), planted.c_str()), 0);
  SetTempSuffixSourceForTesting([] { return std::string("planted"); });
  EXPECT_FALSE(WriteFileAtomically(target, "newer"));
  EXPECT_EQ(LastError(), EEXIST);
  SetTempSuffixSourceForTesting(nullptr);
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(ReadWholeFile(drive.Posix("outside/secret")), "outside");
}

TEST(CreateExclusiveTemp, UniqueNamesBesideTheTargetWithTheTargetsMode) {
  testsupport::TempDrive drive;
  ScopedUmask umask(022);
  const std::string target = drive.Posix("store.txt");
  std::string first, second;
  NativeFile a = CreateExclusiveTemp(target, &first, 0640);
  NativeFile b = CreateExclusiveTemp(target, &second, 0640);
  ASSERT_TRUE(a.Valid() && b.Valid());
  const std::string prefix = target + ".tmp" + std::to_string(::getpid()) + "-";
  EXPECT_TRUE(first.starts_with(prefix)) << first;
  EXPECT_GE(first.size(), prefix.size() + 12);  // and an unguessable part
  EXPECT_NE(first, second);
  EXPECT_EQ(ModeOf(first), 0640u);  // no target yet: the given mode
  // A rewrite keeps the permission bits of the file it replaces.
  for (uint32_t mode : {0600u, 0640u, 0604u, 0755u, 0444u}) {
    drive.WriteFile("store.txt", "old");
    ASSERT_TRUE(SetPermissions(target, mode));
    ASSERT_TRUE(WriteFileAtomically(target, "new"));
    EXPECT_EQ(ModeOf(target), mode) << std::oct << mode;
  }
  // Written in pieces, then committed.
  std::string temp;
  NativeFile piecewise = CreateExclusiveTemp(target, &temp);
  ASSERT_TRUE(piecewise.Valid());
  ASSERT_EQ(piecewise.Write("one ", 4), 4);
  ASSERT_EQ(piecewise.Write("two", 3), 3);
  ASSERT_TRUE(CommitTempFile(piecewise, temp, target));
  EXPECT_FALSE(piecewise.Valid());
  EXPECT_EQ(ReadWholeFile(target), "one two");
  EXPECT_FALSE(Stat(temp).has_value());
  // Or written and closed by a stream that owns the descriptor, then committed by name.
  {
    NativeFile stream = CreateExclusiveTemp(target, &temp);
    ASSERT_EQ(stream.Write("three", 5), 5);
    ASSERT_TRUE(stream.Close());
  }
  {
    ScopedFaults counting;
    ASSERT_TRUE(CommitTempFile(temp, target));
    EXPECT_EQ(FaultCounters(), (FaultCounts{0, 1, 2, 0}));  // the file was synced too
  }
  EXPECT_EQ(ReadWholeFile(target), "three");
  EXPECT_FALSE(Stat(temp).has_value());
  EXPECT_FALSE(CommitTempFile(temp, target));  // gone: nothing to put in place
  EXPECT_EQ(LastError(), ENOENT);
  EXPECT_EQ(ReadWholeFile(target), "three");
  // A target name at the length limit still gets a temporary beside it.
  const std::string longName = drive.Posix(std::string(NAME_MAX, 'n'));
  ASSERT_TRUE(WriteFileAtomically(longName, "long"));
  EXPECT_EQ(ReadWholeFile(longName), "long");
  EXPECT_FALSE(CreateExclusiveTemp(drive.Posix("missing/x"), &temp).Valid());
  EXPECT_EQ(LastError(), ENOENT);
}

TEST(RemoveTreeNoFollow, EmptiesAFolderAndNeverFollowsALink) {
  testsupport::TempDrive drive;
  std::filesystem::create_directories(drive.Posix("outside/folder/deep"));
  drive.WriteFile("outside/file", "keep");
  drive.WriteFile("outside/folder/deep/inner", "keep too");
  std::filesystem::create_directories(drive.Posix("work/sub/deeper"));
  drive.WriteFile("work/a.txt", "a");
  drive.WriteFile("work/sub/b.txt", "b");
  drive.WriteFile("work/sub/deeper/c.txt", "c");
  const struct {
    const char* link;
    std::string to;
  } links[] = {
      {"work/to-file", drive.Posix("outside/file")},
      {"work/to-folder", drive.Posix("outside/folder")},
      {"work/sub/to-folder", "../../outside/folder"},
      {"work/sub/deeper/to-parent", drive.Posix("outside")},
      {"work/to-root", "/"},
      {"work/dangling", drive.Posix("outside/none")},
  };
  for (const auto& l : links) ASSERT_EQ(::symlink(l.to.c_str(), drive.Posix(l.link).c_str()), 0) << l.link;
  ASSERT_EQ(::mkfifo(drive.Posix("work/sub/fifo").c_str(), 0600), 0);

  EXPECT_TRUE(RemoveTreeContentsNoFollow(drive.Posix("work")));
  EXPECT_TRUE(IsRealDirectory(drive.Posix("work")));
  EXPECT_TRUE(NamesIn(drive.Posix("work")).empty());
  EXPECT_EQ(drive.ReadFile("outside/file"), "keep");
  EXPECT_EQ(drive.ReadFile("outside/folder/deep/inner"), "keep too");
  EXPECT_EQ(NamesIn(drive.Posix("outside")), (std::vector<std::string>{"file", "folder"}));

  // One entry at a time: a link goes, its target stays; a real folder goes as a whole.
  std::filesystem::create_directories(drive.Posix("work/tree/sub"));
  drive.WriteFile("work/tree/sub/x", "x");
  ASSERT_EQ(::symlink(drive.Posix("outside/folder").c_str(), drive.Posix("work/link").c_str()), 0);
  EXPECT_TRUE(RemoveTreeNoFollow(drive.Posix("work/link")));
  EXPECT_TRUE(RemoveTreeNoFollow(drive.Posix("work/tree/")));
  EXPECT_TRUE(NamesIn(drive.Posix("work")).empty());
  EXPECT_EQ(drive.ReadFile("outside/folder/deep/inner"), "keep too");
  EXPECT_FALSE(RemoveTreeNoFollow(drive.Posix("work/none")));
  EXPECT_EQ(LastError(), ENOENT);
}

TEST(RemoveTreeNoFollow, AFolderPathThatIsALinkIsRefused) {
  testsupport::TempDrive drive;
  std::filesystem::create_directories(drive.Posix("outside/sub"));
  drive.WriteFile("outside/file", "keep");
  drive.WriteFile("plain", "plain");
  ASSERT_EQ(::symlink(drive.Posix("outside").c_str(), drive.Posix("link").c_str()), 0);
  ASSERT_EQ(::symlink("outside", drive.Posix("relative-link").c_str()), 0);
  const struct {
    std::string path;
    bool isRealFolder;
    std::vector<int> errors;  // what emptying it may fail with
  } cases[] = {
      {drive.Posix("outside"), true, {}},
      {drive.Posix("outside/"), true, {}},
      {drive.Posix("link"), false, {ELOOP, ENOTDIR}},
      {drive.Posix("link/"), false, {ELOOP, ENOTDIR}},  // a trailing "/" would follow it
      {drive.Posix("relative-link//"), false, {ELOOP, ENOTDIR}},
      {drive.Posix("plain"), false, {ENOTDIR}},
      {drive.Posix("missing"), false, {ENOENT}},
      {"", false, {ENOENT}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsRealDirectory(c.path), c.isRealFolder);
    if (c.isRealFolder) continue;  // emptied below, after the links were tried
    EXPECT_FALSE(RemoveTreeContentsNoFollow(c.path));
    EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), LastError()), c.errors.end()) << LastError();
  }
  EXPECT_EQ(drive.ReadFile("outside/file"), "keep");
  EXPECT_EQ(NamesIn(drive.Posix("outside")), (std::vector<std::string>{"file", "sub"}));
  EXPECT_EQ(drive.ReadFile("plain"), "plain");
  EXPECT_TRUE(RemoveTreeContentsNoFollow(drive.Posix("outside/")));
  EXPECT_TRUE(NamesIn(drive.Posix("outside")).empty());
  EXPECT_TRUE(Stat(drive.Posix("link"), false)->isSymlink);
}

}  // namespace
}  // namespace platform
