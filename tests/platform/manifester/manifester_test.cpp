#include "platform/manifester/manifester.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "gtest/gtest.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"
#include "textlib/widestrings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::TempDrive;

const std::string kList = "Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt";

void MakeDirs(const TempDrive& drive, const std::string& relative) {
  fs::create_directories(drive.Posix(relative));
}

// A small tree with every kind of entry the builder must judge.
void BuildFixture(const TempDrive& t) {
  t.WriteFile("a.htm", "a");
  t.WriteFile("B.htm", "b");
  t.WriteFile("docs.htm", "d");
  t.WriteFile("back\\slash.htm", "no drive form");
  t.WriteFile("bad\xff.htm", "not UTF-8");
  t.WriteFile("line\nT:\\evil.htm", "would forge a path line");
  MakeDirs(t, "docs/sub/deep");
  t.WriteFile("docs/x.htm", "x");
  t.WriteFile("docs/y.html", "y");
  t.WriteFile("docs/\xc3\x9c.htm", "non-ASCII");
  t.WriteFile("docs/sub/deep/z.htm", "z");
  fs::create_symlink("x.htm", t.Posix("docs/link.htm"));
  fs::create_symlink("../docs", t.Posix("docs/loop"));
  fs::create_symlink("/", t.Posix("up"));
  MakeDirs(t, "empty");
  MakeDirs(t, "only/sub");
  t.WriteFile("only/sub/!x.htm", "1");
  t.WriteFile("only/sub/\" q.htm", "2");
  t.WriteFile("only/sub/f.htm", "3");
  MakeDirs(t, "bad\xfe dir");
  t.WriteFile("bad\xfe dir/inner.htm", "below a name without drive form");
  MakeDirs(t, "weird\\dir");
  t.WriteFile("weird\\dir/inner.htm", "below a name without drive form");
  ASSERT_EQ(::mkfifo(t.Posix("pipe.htm").c_str(), 0600), 0);
}

// Files first, names by their bytes, then the subfolders in the same order.
const std::string kFixtureList =
    "T:\\B.htm\r\n"
    "\" a.htm\r\n"
    "\" docs.htm\r\n"
    "T:\\docs\\x.htm\r\n"
    "\" y.html\r\n"
    "\" \xc3\x9c.htm\r\n"
    "T:\\docs\\sub\\deep\\z.htm\r\n"
    "T:\\only\\sub\\!x.htm\r\n"
    "\" \" q.htm\r\n"
    "\" f.htm\r\n";

struct Outcome {
  int status = -1;
  std::string message;
};

Outcome RunInProcess(const std::string& base, std::vector<std::string> args, unsigned threads = 0) {
  Outcome run;
  platform::DriveListOptions options;
  options.threads = threads;
  run.status = platform::RunManifester(args, base, &run.message, options);
  return run;
}

// Runs the real program in `cwd` with QUARRY_DRIVES and `extraEnv` set; stderr goes to
// `errFile`.
Outcome RunProgram(const std::string& cwd, const std::string& drives, std::vector<std::string> args,
               const std::string& errFile, const std::vector<std::string>& extraEnv = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).substr(0, 14) != "QUARRY_DRIVES=") env.emplace_back(*e);
  env.push_back("QUARRY_DRIVES=" + drives);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = MANIFESTER_PATH;
  argv.push_back(program.data());
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  Outcome run;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return run;
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return run;
}

TEST(Manifester, FixtureTreeGivesExactList) {
  TempDrive tree('T');
  TempDrive base('U');
  BuildFixture(tree);
  for (unsigned threads : {1u, 2u, 8u}) {
    Outcome run = RunInProcess(base.Root(), {"open", "T"}, threads);
    ASSERT_EQ(run.status, 0) << run.message;
    EXPECT_EQ(base.ReadFile(kList), kFixtureList) << threads << " threads";
  }
  // Only the finished list is left behind, no temporary file.
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(base.Posix("Datenbank")))
    left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"Haupt_Dateinamen_Liste_Laufwerk_T.txt"});
}

TEST(Manifester, ListReadsBackAsTheBuildRunReadsIt) {
  TempDrive tree('T');
  TempDrive base('U');
  BuildFixture(tree);
  ASSERT_EQ(RunInProcess(base.Root(), {"open", "T"}).status, 0);

  // As the build run does: 8-bit lines, a full path sets the folder, '" ' adds a name.
  textlib::TWideStringList lines;
  lines.LoadFromFile(base.Drive(u"Datenbank\\Haupt_Dateinamen_Liste_Laufwerk_T.txt"));
  std::set<std::string> listed;
  std::u16string folder;
  for (int i = 0; i < lines.GetCount(); ++i) {
    const std::string bytes = platform::WideToAnsi(lines.Get(i));
    std::u16string path;
    if (bytes.rfind("\" ", 0) == 0) {
      path = folder + textlib::DecodeUtf8(bytes.substr(2));
    } else {
      path = textlib::DecodeUtf8(bytes);
      folder = path.substr(0, path.rfind(u'\\') + 1);
    }
    listed.insert(platform::PosixPath(path));
  }
  const std::set<std::string> expected = {
      tree.Posix("a.htm"),          tree.Posix("B.htm"),           tree.Posix("docs.htm"),
      tree.Posix("docs/x.htm"),     tree.Posix("docs/y.html"),     tree.Posix("docs/\xc3\x9c.htm"),
      tree.Posix("docs/sub/deep/z.htm"), tree.Posix("only/sub/!x.htm"),
      tree.Posix("only/sub/\" q.htm"),   tree.Posix("only/sub/f.htm")};
  EXPECT_EQ(listed, expected);
}

TEST(Manifester, ProgramWritesTheListInItsCurrentFolder) {
  TempDrive tree('T');
  TempDrive base('U');
  BuildFixture(tree);
  const std::string err = base.Posix("stderr.txt");
  Outcome run = RunProgram(base.Root(), "T=" + tree.Root(), {"open", "T"}, err);
  ASSERT_EQ(run.status, 0) << base.ReadFile("stderr.txt");
  EXPECT_EQ(base.ReadFile(kList), kFixtureList);
  EXPECT_EQ(base.ReadFile("stderr.txt"), "");
}

TEST(Manifester, ProgramFailsClearlyOnAnUnknownDrive) {
  TempDrive tree('T');
  TempDrive base('U');
  const std::string err = base.Posix("stderr.txt");
  Outcome run = RunProgram(base.Root(), "T=" + tree.Root(), {"open", "Q"}, err);
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(base.ReadFile("stderr.txt"),
            "Manifester: Laufwerk Q: ist nicht zugeordnet (QUARRY_DRIVES).\n");
  EXPECT_FALSE(fs::exists(base.Posix("Datenbank/Haupt_Dateinamen_Liste_Laufwerk_Q.txt")));
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Manifester, AFailedWriteSyncOrRenameKeepsThePreviousListAndSaysWhy) {
  TempDrive tree('T');
  TempDrive base('U');
  BuildFixture(tree);
  MakeDirs(base, "Datenbank");
  const std::string old = "T:\\old.htm\r\n";
  const std::string target = base.Posix(kList);
  const struct {
    const char* what;
    platform::FaultOp op;
    int64_t nth;
    int error;
    std::string message;
    bool replaced;
  } cases[] = {
      {"write", platform::FaultOp::Write, 1, ENOSPC, "kann nicht geschrieben werden", false},
      {"sync of the list", platform::FaultOp::Sync, 1, EIO, "kann nicht sicher gespeichert werden", false},
      {"rename", platform::FaultOp::Rename, 1, EROFS, "kann nicht sicher gespeichert werden", false},
      // In place, but it may not survive a power cut: still no success.
      {"sync of the folder", platform::FaultOp::Sync, 2, EIO, "kann nicht sicher gespeichert werden", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    base.WriteFile(kList, old);
    platform::FaultPlan plan;
    plan.rules.push_back({c.op, c.nth, c.error, false});
    Outcome run;
    {
      platform::ScopedFaults armed(plan);
      run = RunInProcess(base.Root(), {"open", "T"});
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.message, "Manifester: Die Liste \"" + target + "\" " + c.message + ": " +
                               platform::SystemErrorText(c.error));
    EXPECT_EQ(base.ReadFile(kList), c.replaced ? kFixtureList : old);
    EXPECT_EQ(Names(base.Posix("Datenbank")), std::vector<std::string>{"Haupt_Dateinamen_Liste_Laufwerk_T.txt"});
  }
}

TEST(Manifester, ProgramExitsNonZeroWhenItsListCannotBeWritten) {
  TempDrive tree('T');
  TempDrive base('U');
  tree.WriteFile("a.htm", "a");
  MakeDirs(base, "Datenbank");
  base.WriteFile(kList, "T:\\old.htm\r\n");
  Outcome run = RunProgram(base.Root(), "T=" + tree.Root(), {"open", "T"}, base.Posix("stderr.txt"),
                           {"QUARRY_FAULT=write:1:ENOSPC"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(base.ReadFile("stderr.txt"),
            "Manifester: Die Liste \"./Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt\" kann nicht geschrieben "
            "werden: " + platform::SystemErrorText(ENOSPC) + "\n");
  EXPECT_EQ(base.ReadFile(kList), "T:\\old.htm\r\n");
  EXPECT_EQ(Names(base.Posix("Datenbank")), std::vector<std::string>{"Haupt_Dateinamen_Liste_Laufwerk_T.txt"});
}

TEST(Manifester, StaleTemporariesOfItsListAreRemovedButNothingElse) {
  TempDrive tree('T');
  TempDrive base('U');
  tree.WriteFile("a.htm", "a");
  MakeDirs(base, "Datenbank");
  base.WriteFile("outside.txt", "target of a link");
  enum class Kind { File, Link, Folder };
  // Process 1 always lives; no process has a number above the system's limit.
  const struct {
    std::string name;
    Kind kind;
    bool removed;
  } entries[] = {
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp2147483647-0a1b2c", Kind::File, true},
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp2147483646", Kind::File, true},  // as earlier runs named it
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmpx", Kind::File, true},
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp1-0a1b2c", Kind::File, false},  // a run still writing
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp2147483645-ab", Kind::Link, false},
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp2147483644-ab", Kind::Folder, false},
      {"Haupt_Dateinamen_Liste_Laufwerk_U.txt.tmp2147483647-0a1b2c", Kind::File, false},
      {"Haupt_Dateinamen_Liste_Laufwerk_T.txt.bak", Kind::File, false},
      {"web_UTF8Dokument.txt.tmp2147483647-0a1b2c", Kind::File, false},
  };
  for (const auto& e : entries) {
    const std::string path = base.Posix("Datenbank/" + e.name);
    if (e.kind == Kind::File) base.WriteFile("Datenbank/" + e.name, "stale");
    if (e.kind == Kind::Link) fs::create_symlink(base.Posix("outside.txt"), path);
    if (e.kind == Kind::Folder) MakeDirs(base, "Datenbank/" + e.name + "/inner");
  }
  Outcome run = RunInProcess(base.Root(), {"open", "T"});
  ASSERT_EQ(run.status, 0) << run.message;
  EXPECT_EQ(base.ReadFile(kList), "T:\\a.htm\r\n");
  for (const auto& e : entries) {
    EXPECT_EQ(fs::exists(fs::symlink_status(base.Posix("Datenbank/" + e.name))), !e.removed) << e.name;
  }
  EXPECT_EQ(base.ReadFile("outside.txt"), "target of a link");
  EXPECT_TRUE(fs::exists(base.Posix("Datenbank/Haupt_Dateinamen_Liste_Laufwerk_T.txt.tmp2147483644-ab/inner")));
}

TEST(Manifester, BadArgumentsAreRefused) {
  TempDrive base('U');
  const std::vector<std::vector<std::string>> cases = {
      {}, {"open"}, {"open", "TT"}, {"open", "1"}, {"close", "T"}, {"open", "T", "extra"}};
  for (const auto& args : cases) {
    Outcome run = RunInProcess(base.Root(), args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.message, "Aufruf: Manifester open <Laufwerksbuchstabe>");
  }
  EXPECT_FALSE(fs::exists(base.Posix("Datenbank")));
}

TEST(Manifester, MissingRootFailsAndKeepsThePreviousList) {
  TempDrive tree('T');
  TempDrive base('U');
  MakeDirs(base, "Datenbank");
  base.WriteFile(kList, "T:\\old.htm\r\n");
  platform::DriveMap map = platform::Drives();
  map.Set('T', tree.Posix("missing"));
  platform::SetDrivesForTesting(map);
  Outcome run = RunInProcess(base.Root(), {"open", "T"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.message.find("kann nicht gelesen werden"), std::string::npos) << run.message;
  EXPECT_EQ(base.ReadFile(kList), "T:\\old.htm\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(base.Posix("Datenbank")), fs::directory_iterator()), 1);
}

TEST(Manifester, DatabaseFolderIsCreatedWhenMissingButNotOverAFile) {
  TempDrive tree('T');
  tree.WriteFile("a.htm", "a");
  {
    TempDrive base('U');
    ASSERT_EQ(RunInProcess(base.Root(), {"open", "T"}).status, 0);
    EXPECT_EQ(base.ReadFile(kList), "T:\\a.htm\r\n");
  }
  {
    TempDrive base('U');
    base.WriteFile("Datenbank", "a file in the way");
    Outcome run = RunInProcess(base.Root(), {"open", "T"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.message, "Manifester: \"" + base.Root() + "/Datenbank\" ist kein Ordner.");
  }
}

TEST(Manifester, OwnTemporaryFileIsNotListedWhenTheBaseLiesInTheTree) {
  TempDrive tree('T');
  tree.WriteFile("a.htm", "a");
  ASSERT_EQ(RunInProcess(tree.Root(), {"open", "T"}).status, 0);
  EXPECT_EQ(tree.ReadFile(kList), "T:\\a.htm\r\n");
  // The finished list of the run before is a file like any other.
  ASSERT_EQ(RunInProcess(tree.Root(), {"open", "T"}).status, 0);
  EXPECT_EQ(tree.ReadFile(kList),
            "T:\\a.htm\r\nT:\\Datenbank\\Haupt_Dateinamen_Liste_Laufwerk_T.txt\r\n");
}

TEST(Manifester, EmptyDriveGivesAnEmptyList) {
  TempDrive tree('T');
  TempDrive base('U');
  MakeDirs(tree, "a/b/c");
  ASSERT_EQ(RunInProcess(base.Root(), {"open", "T"}).status, 0);
  EXPECT_EQ(base.ReadFile(kList), "");
}

TEST(Manifester, LetterIsKeptAsGiven) {
  TempDrive tree('T');
  TempDrive base('U');
  tree.WriteFile("a.htm", "a");
  ASSERT_EQ(RunInProcess(base.Root(), {"open", "t"}).status, 0);
  EXPECT_EQ(base.ReadFile("Datenbank/Haupt_Dateinamen_Liste_Laufwerk_t.txt"), "t:\\a.htm\r\n");
}

TEST(Manifester, ListableNames) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"a.htm", true},           {"\" q", true},           {"\xc3\xbc.htm", true},
      {"\xf0\x9f\x98\x80", true}, {"a\\b", false},         {"\xff", false},
      {"\xc3", false},           {"\xed\xa0\x80", false},  {"a\nb", false},
      {"a\rb", false},           {"a\vb", false},          {"a\fb", false},
      {"tab\there", true}};
  for (const auto& [name, listable] : cases) EXPECT_EQ(platform::IsListableName(name), listable) << name;
}

// Plain reference straight from the rules: regular files that are not links, names
// with a drive form, files by their bytes, then subfolders by their bytes.
void ReferenceList(const fs::path& dir, const std::string& prefix, std::string* out) {
  std::vector<std::string> files, folders;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (!platform::IsListableName(name)) continue;
    if (e.is_symlink()) continue;
    if (e.is_regular_file()) files.push_back(name);
    if (e.is_directory()) folders.push_back(name);
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (size_t i = 0; i < files.size(); ++i) *out += (i ? "\" " : prefix) + files[i] + "\r\n";
  for (const auto& f : folders) ReferenceList(dir / f, prefix + f + "\\", out);
}

TEST(Manifester, GeneratedTreeMatchesThePlainReferenceForAnyThreadCount) {
  TempDrive tree('T');
  const std::vector<std::string> names = {"a", "B", "z9", "\xc3\xa4rger", "\xe2\x82\xac", "_x",
                                          "a b", "A", "\xf0\x9f\x93\x81", "x.y", "~", "0"};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  std::vector<std::string> folders = {""};
  for (int i = 0; i < 120; ++i) {
    const std::string parent = folders[next() % folders.size()];
    const std::string dir = (parent.empty() ? "" : parent + "/") + names[next() % names.size()] +
                            std::to_string(next() % 3);
    if (fs::exists(tree.Posix(dir))) continue;
    MakeDirs(tree, dir);
    folders.push_back(dir);
  }
  for (int i = 0; i < 1500; ++i) {
    const std::string& dir = folders[next() % folders.size()];
    const std::string name = names[next() % names.size()] + std::to_string(next() % 50) + ".htm";
    if (!fs::is_directory(tree.Posix(dir.empty() ? name : dir + "/" + name)))
      tree.WriteFile(dir.empty() ? name : dir + "/" + name, "");
  }
  std::string expected;
  ReferenceList(tree.Root(), "T:\\", &expected);
  ASSERT_GT(expected.size(), 1000u);
  for (unsigned threads : {1u, 3u, 16u}) {
    std::string got;
    platform::DriveListOptions options;
    options.threads = threads;
    platform::DriveListStats stats;
    std::string error;
    ASSERT_TRUE(platform::WriteDriveList(
        'T', tree.Root(), [&got](std::string_view b) { return got += b, true; }, options, &stats,
        &error))
        << error;
    EXPECT_EQ(got, expected) << threads << " threads";
    EXPECT_EQ(stats.folders, static_cast<int64_t>(folders.size()));
  }
}

TEST(Manifester, FailingSinkStopsTheWalk) {
  TempDrive tree('T');
  for (int i = 0; i < 50; ++i) MakeDirs(tree, "d" + std::to_string(i));
  for (int i = 0; i < 50; ++i) tree.WriteFile("d" + std::to_string(i) + "/f.htm", "");
  std::string error;
  EXPECT_FALSE(platform::WriteDriveList(
      'T', tree.Root(), [](std::string_view) { return false; }, {}, nullptr, &error));
  EXPECT_NE(error.find("Die Liste kann nicht geschrieben werden"), std::string::npos) << error;
}

}  // namespace
