#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/escaped_text.h"
#include "platform/file.h"
#include "platform/pump.h"

extern char** environ;

namespace platform {
namespace {

// Children started here, and the exits of those reaped before anyone asked for them.
// Each child has a thread of its own blocked in waitpid() on exactly that pid, so it is
// reaped the moment it ends (a browser started for a result page must not linger as a
// zombie until the next start), and no child of anyone else (Qt's, a library's) is
// ever taken. Children whose thread could not be started are reaped lazily instead.
struct Children {
  std::mutex mutex;
  // Running children, each with the number of its start: a reaping thread that comes
  // late must not take the entry of a new child that got the same pid.
  std::map<pid_t, uint64_t> running;
  std::set<pid_t> unwatched;  // running without a reaping thread
  std::map<pid_t, ProcessExit> ended;
  uint64_t starts = 0;
};
Children& StartedChildren() {
  // Never destroyed: a reaping thread may still record an exit while the program ends.
  static Children* children = new Children;
  return *children;
}

ProcessExit ExitOf(int status) {
  if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
  return {false, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

void RecordEndLocked(Children& c, pid_t pid, bool reaped, int status) {
  if (reaped) {
    if (c.ended.size() >= 256) c.ended.erase(c.ended.begin());
    c.ended[pid] = ExitOf(status);
  }
  c.running.erase(pid);  // reaped, or no longer our child (ECHILD)
  c.unwatched.erase(pid);
}

void ReapUnwatchedLocked(Children& c) {
  for (auto it = c.unwatched.begin(); it != c.unwatched.end();) {
    const pid_t pid = *it++;
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r != 0) RecordEndLocked(c, pid, r == pid, status);
  }
}

void Reap(pid_t pid, uint64_t start) {
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  Children& c = StartedChildren();
  std::lock_guard lock(c.mutex);
  if (auto it = c.running.find(pid); it != c.running.end() && it->second == start) {
    RecordEndLocked(c, pid, r == pid, status);
  }
}

// Called with the children's lock held, right after the start.
void WatchLocked(Children& c, pid_t pid) {
  c.ended.erase(pid);
  const uint64_t start = ++c.starts;
  c.running[pid] = start;
  // The thread starts with every signal blocked: signals stay with the program's threads.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  try {
    std::thread(Reap, pid, start).detach();
  } catch (const std::system_error&) {
    c.unwatched.insert(pid);
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// 'Z' (zombie) or 'X' (dead) in /proc/<pid>/stat; unknown counts as not ended.
bool HasEnded(pid_t pid) {
  auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return false;
  const size_t close = stat->rfind(')');
  if (close == std::string::npos || close + 2 >= stat->size()) return false;
  const char state = (*stat)[close + 2];
  return state == 'Z' || state == 'X';
}

bool Exists(pid_t pid) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  return !HasEnded(pid);
}

bool IsExecutableFile(const std::string& path) {
  auto st = Stat(path);
  return st && st->isRegular && ::access(path.c_str(), X_OK) == 0;
}


bool EqualsIgnoringAsciiCase(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::u16string WideOf(std::string_view bytes) {
  if (auto wide = PosixUtf8ToWide(bytes)) return *wide;
  return AnsiToWide(bytes);
}

bool IsUrl(std::u16string_view file) {
  // A scheme of two or more characters, so that "C:\..." stays a path.
  size_t i = 0;
  while (i < file.size() && ((file[i] >= u'a' && file[i] <= u'z') || (file[i] >= u'A' && file[i] <= u'Z') ||
                             (i > 0 && ((file[i] >= u'0' && file[i] <= u'9') || file[i] == u'+' ||
                                        file[i] == u'-' || file[i] == u'.'))))
    ++i;
  return i >= 2 && i < file.size() && file[i] == u':';
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

StartResult StartProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workingDir) {
  StartOptions options;
  options.workingDir = workingDir;
  return StartProgram(program, args, options);
}

StartResult StartProgram(const std::string& program, const std::vector<std::string>& args,
                         const StartOptions& options) {
  Children& c = StartedChildren();
  std::lock_guard lock(c.mutex);
  ReapUnwatchedLocked(c);

  std::vector<std::string> argvStore;
  argvStore.reserve(args.size() + 1);
  argvStore.push_back(program);
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    const bool replaced = std::any_of(options.environment.begin(), options.environment.end(),
                                      [&](const auto& kv) { return kv.first == name; });
    if (!replaced) envStore.emplace_back(entry);
  }
  for (const auto& [name, value] : options.environment) envStore.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workingDir.c_str());
  // Passed files go to 3, 4, ... by way of numbers above every one of them, so that
  // none is overwritten before it is moved; dup2 clears close-on-exec on the copy.
  const int count = static_cast<int>(options.passFiles.size());
  int high = 3 + count;
  for (const int fd : options.passFiles) high = std::max(high, fd + 1);
  for (int i = 0; i < count; ++i) posix_spawn_file_actions_adddup2(&actions, options.passFiles[size_t(i)], high + i);
  for (int i = 0; i < count; ++i) posix_spawn_file_actions_adddup2(&actions, high + i, 3 + i);
  // The child gets none of our files or sockets beyond the standard three and those passed.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3 + count);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int rc = program.find('/') != std::string::npos
                     ? ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data())
                     : ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return {0, rc};
  WatchLocked(c, pid);
  return {pid, 0};
}

StartResult OpenWithDesktop(const std::string& pathOrUrl) {
  return StartProgram("xdg-open", {pathOrUrl});
}

std::vector<std::u16string> SplitCommandLine(std::u16string_view text) {
  std::vector<std::u16string> args;
  size_t i = 0;
  while (true) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    if (i >= text.size()) return args;
    std::u16string arg;
    bool inQuotes = false;
    while (i < text.size() && (inQuotes || (text[i] != u' ' && text[i] != u'\t'))) {
      if (text[i] == u'\\') {
        size_t n = 0;
        while (i < text.size() && text[i] == u'\\') ++n, ++i;
        if (i < text.size() && text[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2 == 1) {
            arg += u'"';
            ++i;
          }
        } else {
          arg.append(n, u'\\');
        }
      } else if (text[i] == u'"') {
        if (inQuotes && i + 1 < text.size() && text[i + 1] == u'"') {
          arg += u'"';
          i += 2;
        } else {
          inQuotes = !inQuotes;
          ++i;
        }
      } else {
        arg += text[i++];
      }
    }
    args.push_back(std::move(arg));
  }
}

StartResult ShellExecute(std::u16string_view verb, std::u16string_view file,
                         std::u16string_view parameters, std::u16string_view folder) {
  if (!verb.empty() && !EqualsIgnoringAsciiCase(verb, "open") && !EqualsIgnoringAsciiCase(verb, "runas"))
    return {0, EINVAL};
  if (file.empty()) return {0, ENOENT};
  if (IsUrl(file)) return OpenWithDesktop(WideToPosixUtf8(file));

  std::string path;
  const bool hasDrive = file.size() >= 2 && file[1] == u':';
  if (hasDrive) {
    path = PosixPath(file);
  } else if (file.find_first_of(u"\\/") != std::u16string_view::npos) {
    path = WideToPosixUtf8(file);
    for (char& ch : path)
      if (ch == '\\') ch = '/';
  } else {
    const std::string name = WideToPosixUtf8(file);
    path = FindOnPath(name);
    if (path.empty() && name.size() > 4 && EqualsIgnoringAsciiCase(file.substr(file.size() - 4), ".exe"))
      path = FindOnPath(name.substr(0, name.size() - 4));
  }
  if (path.empty() || !Stat(path)) return {0, ENOENT};
  if (!IsExecutableFile(path)) return OpenWithDesktop(path);

  std::vector<std::string> args;
  for (const auto& a : SplitCommandLine(parameters)) args.push_back(WideToPosixUtf8(a));
  std::string workingDir;
  if (!folder.empty()) {
    workingDir = PosixPath(folder);
    if (workingDir.empty()) return {0, ENOENT};
  }
  return StartProgram(path, args, workingDir);
}

std::optional<ProcessExit> WaitForProcess(int64_t pid, int64_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const pid_t p = static_cast<pid_t>(pid);
  while (true) {
    {
      Children& c = StartedChildren();
      std::lock_guard lock(c.mutex);
      ReapUnwatchedLocked(c);
      if (auto it = c.ended.find(p); it != c.ended.end()) {
        ProcessExit exit = it->second;
        c.ended.erase(it);
        return exit;
      }
      if (!c.running.count(p) && !Exists(p)) return ProcessExit{true, 0};
    }
    if (timeoutMs >= 0 &&
        Clock::now() - start >= std::chrono::milliseconds(timeoutMs))
      return std::nullopt;
    ProcessMessages();
    ::usleep(10000);
  }
}

bool IsProcessAlive(int64_t pid) {
  Children& c = StartedChildren();
  std::lock_guard lock(c.mutex);
  ReapUnwatchedLocked(c);
  return c.running.count(static_cast<pid_t>(pid)) || Exists(static_cast<pid_t>(pid));
}

bool IsProcessRunning(std::u16string_view name) {
  {
    Children& c = StartedChildren();
    std::lock_guard lock(c.mutex);
    ReapUnwatchedLocked(c);
  }
  if (name.empty()) return false;
  const std::u16string wanted = FoldCase(name);
  auto entries = ListDirectory("/proc");
  if (!entries) return false;
  for (const auto& e : *entries) {
    if (e.name.empty() || e.name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string dir = "/proc/" + e.name;
    // The executable itself; argv[0] only where the link cannot be read.
    std::string path;
    char buffer[4096];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), buffer, sizeof buffer);
    if (n > 0) {
      path.assign(buffer, static_cast<size_t>(n));
      constexpr std::string_view kDeleted = " (deleted)";
      if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
    } else if (auto cmdline = ReadWholeFile(dir + "/cmdline")) {
      path = cmdline->substr(0, cmdline->find('\0'));
    }
    if (path.empty()) continue;
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (FoldCase(WideOf(base)) != wanted && FoldCase(WideOf(path)) != wanted) continue;
    if (!HasEnded(std::stoi(e.name))) return true;
  }
  return false;
}

bool IsUserAdmin() { return ::geteuid() == 0; }

std::string OwnExecutablePath() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && n < static_cast<ssize_t>(sizeof buffer) ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace platform
