#include "platform/manifester/manifester.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace platform {
namespace {

struct NameRef {
  uint32_t offset;
  uint32_t length;
};

// One folder of the tree. A worker fills it and sets `done`; from then on only the
// emitting thread touches it.
struct Node {
  std::string rel;        // "/a/b" below the root; empty for the root itself
  size_t nameStart = 0;   // the folder's own name within rel
  std::string names;      // file names back to back
  std::vector<NameRef> files;
  std::vector<std::unique_ptr<Node>> children;
  bool done = false;      // guarded by Walk::mutex
  bool unreadable = false;
  int error = 0;

  std::string_view Name() const { return std::string_view(rel).substr(nameStart); }
  std::string_view File(const NameRef& r) const {
    return std::string_view(names).substr(r.offset, r.length);
  }
};

bool IsPseudoFileSystem(std::string_view posix) {
  return posix == "/proc" || posix == "/sys" || posix == "/dev" || posix == "/run";
}

struct LinuxDirent64 {
  uint64_t d_ino;
  int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

class Walk {
 public:
  Walk(std::string root, const DriveListOptions& options) : root_(std::move(root)) {
    base_ = root_ == "/" ? std::string() : root_;
    const std::string& skip = options.skipPosixFile;
    const size_t slash = skip.rfind('/');
    if (slash != std::string::npos) {
      skipDir_ = slash == 0 ? std::string("/") : skip.substr(0, slash);
      skipName_ = skip.substr(slash + 1);
    }
  }

  void Push(Node* node) { stack_.push_back(node); }

  void Worker() {
    std::vector<char> buffer(1 << 16);
    std::unique_lock lock(mutex_);
    for (;;) {
      workCv_.wait(lock, [&] { return stop_ || !stack_.empty() || active_ == 0; });
      if (stop_ || stack_.empty()) break;
      Node* node = stack_.back();
      stack_.pop_back();
      ++active_;
      lock.unlock();
      Read(node, buffer);
      lock.lock();
      // Children go on the stack last-first, so the walk runs ahead roughly in the
      // order the list is emitted and finished folders can be freed early.
      for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
        stack_.push_back(it->get());
      node->done = true;
      --active_;
      if (waiting_ == node) readyCv_.notify_one();
      if (!node->children.empty() || (active_ == 0 && stack_.empty())) workCv_.notify_all();
    }
  }

  // Blocks until a worker has read `node`.
  void WaitFor(Node* node) {
    std::unique_lock lock(mutex_);
    waiting_ = node;
    readyCv_.wait(lock, [&] { return node->done; });
    waiting_ = nullptr;
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    workCv_.notify_all();
  }

  std::atomic<int64_t> folders{0}, skipped{0}, unreadable{0};

 private:
  void Read(Node* node, std::vector<char>& buffer) {
    const std::string posix = node->rel.empty() ? root_ : base_ + node->rel;
    // The root may be reached through a link (the drive map names it); below it no
    // link is followed, even if a folder was swapped for one since it was seen.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (node->rel.empty() ? 0 : O_NOFOLLOW);
    const int fd = ::open(posix.c_str(), flags);
    if (fd < 0) {
      Fail(node, errno);
      return;
    }
    folders.fetch_add(1, std::memory_order_relaxed);
    const bool holdsSkip = !skipName_.empty() && posix == skipDir_;
    int64_t skippedHere = 0;
    for (;;) {
      const long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        const int saved = errno;
        ::close(fd);
        // A folder read only in part would make the list depend on chance.
        node->names.clear();
        node->files.clear();
        node->children.clear();
        Fail(node, saved);
        return;
      }
      for (long pos = 0; pos < n;) {
        const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer.data() + pos);
        pos += entry->d_reclen;
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
          struct stat st;
          if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
          type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_LNK;
        }
        // Links, devices, pipes and sockets are not listed: a link may lead out of the
        // tree, and opening a pipe would block the build run.
        if (type != DT_REG && type != DT_DIR) continue;
        if (!IsListableName(name)) {
          ++skippedHere;
          continue;
        }
        if (type == DT_REG) {
          if (holdsSkip && name == skipName_) continue;
          node->files.push_back({static_cast<uint32_t>(node->names.size()),
                                 static_cast<uint32_t>(name.size())});
          node->names += name;
        } else {
          auto child = std::make_unique<Node>();
          child->rel.reserve(node->rel.size() + 1 + name.size());
          child->rel = node->rel;
          child->rel += '/';
          child->nameStart = child->rel.size();
          child->rel += name;
          if (base_.empty() && IsPseudoFileSystem(child->rel)) continue;
          node->children.push_back(std::move(child));
        }
      }
    }
    ::close(fd);
    if (skippedHere) skipped.fetch_add(skippedHere, std::memory_order_relaxed);
    const Node* self = node;
    std::sort(node->files.begin(), node->files.end(),
              [self](const NameRef& a, const NameRef& b) { return self->File(a) < self->File(b); });
    std::sort(node->children.begin(), node->children.end(),
              [](const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) {
                return a->Name() < b->Name();
              });
  }

  void Fail(Node* node, int error) {
    node->unreadable = true;
    node->error = error;
    unreadable.fetch_add(1, std::memory_order_relaxed);
  }

  std::string root_, base_, skipDir_, skipName_;
  std::mutex mutex_;
  std::condition_variable workCv_, readyCv_;
  std::vector<Node*> stack_;
  int active_ = 0;
  bool stop_ = false;
  Node* waiting_ = nullptr;
};

constexpr size_t kFlushSize = 1 << 20;

bool ProcessIsAlive(std::string_view digits) {
  if (digits.empty() || digits.size() > 9 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
  return pid > 0 && pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM);
}

// A run that was killed leaves its temporary ("<list>.tmp<pid>-<random>", or "<list>.tmp<pid>"
// of older runs) behind. Only regular files go, never a link or what it points to, and
// never the temporary of a run whose process still lives: it may be writing it now.
void RemoveStaleTemporaries(const std::string& dbFolder, const std::string& listName) {
  const std::string prefix = listName + ".tmp";
  const auto entries = ListDirectory(dbFolder);
  if (!entries) return;
  for (const DirEntry& e : *entries) {
    if (!std::string_view(e.name).starts_with(prefix)) continue;
    const std::string_view rest = std::string_view(e.name).substr(prefix.size());
    if (ProcessIsAlive(rest.substr(0, rest.find('-')))) continue;
    const std::string path = dbFolder + "/" + e.name;
    const auto st = Stat(path, false);
    if (st && st->isRegular) RemoveFile(path);
  }
}

std::string DriveText(char letter) { return std::string(1, letter) + ":"; }

}  // namespace

bool IsListableName(std::string_view name) {
  bool ascii = true;
  for (char c : name) {
    // The reader splits lines at LF, VT, FF and CR.
    if (c == '\\' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return false;
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  }
  return ascii || PosixUtf8ToWide(name).has_value();
}

std::string DriveListFileName(char letter) {
  return "Haupt_Dateinamen_Liste_Laufwerk_" + std::string(1, letter) + ".txt";
}

bool WriteDriveList(char letter, const std::string& posixRoot, const DriveListSink& sink,
                    const DriveListOptions& options, DriveListStats* stats, std::string* error) {
  Walk walk(posixRoot, options);
  Node root;
  walk.Push(&root);
  unsigned threads = options.threads ? options.threads : std::thread::hardware_concurrency();
  threads = std::clamp(threads, 1u, 64u);
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) pool.emplace_back([&walk] { walk.Worker(); });

  bool ok = true;
  int64_t files = 0;
  std::string out;
  out.reserve(kFlushSize + 8192);
  std::string prefix;
  auto emit = [&](Node* node) {
    if (node->files.empty()) return true;
    prefix.assign(1, letter);
    prefix += ":";
    for (char c : node->rel) prefix += c == '/' ? '\\' : c;
    prefix += '\\';
    bool first = true;
    for (const NameRef& r : node->files) {
      out += first ? std::string_view(prefix) : std::string_view("\" ");
      out += node->File(r);
      out += "\r\n";
      first = false;
      if (out.size() >= kFlushSize) {
        if (!sink(out)) return false;
        out.clear();
      }
    }
    files += static_cast<int64_t>(node->files.size());
    node->files = {};
    node->names = {};
    return true;
  };

  walk.WaitFor(&root);
  if (root.unreadable) {
    if (error)
      *error = "Der Ordner \"" + posixRoot + "\" von Laufwerk " + DriveText(letter) +
               " kann nicht gelesen werden: " + SystemErrorText(root.error);
    ok = false;
  } else if (!emit(&root)) {
    ok = false;
  } else {
    struct Frame {
      Node* node;
      size_t next;
    };
    std::vector<Frame> frames{{&root, 0}};
    while (ok && !frames.empty()) {
      Frame& top = frames.back();
      if (top.next == top.node->children.size()) {
        // Every folder below has been emitted; free them while the walk goes on.
        std::vector<std::unique_ptr<Node>>().swap(top.node->children);
        frames.pop_back();
        continue;
      }
      Node* child = top.node->children[top.next++].get();
      walk.WaitFor(child);
      if (!emit(child)) ok = false;
      frames.push_back({child, 0});
    }
    if (ok && !out.empty() && !sink(out)) ok = false;
    if (!ok && error) *error = "Die Liste kann nicht geschrieben werden: " + SystemErrorText(LastError());
  }
  walk.Stop();
  for (std::thread& t : pool) t.join();
  if (stats) {
    stats->files = files;
    stats->folders = walk.folders.load();
    stats->skippedNames = walk.skipped.load();
    stats->unreadableFolders = walk.unreadable.load();
  }
  return ok;
}

int RunManifester(const std::vector<std::string>& args, const std::string& baseFolder,
                  std::string* message, const DriveListOptions& options) {
  auto fail = [&](std::string text) {
    if (message) *message = "Manifester: " + text;
    return 1;
  };
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (args.size() != 2 || args[0] != "open" || args[1].size() != 1 || !isLetter(args[1][0])) {
    if (message) *message = "Aufruf: Manifester open <Laufwerksbuchstabe>";
    return 2;
  }
  // The letter is kept as given: the build run looks for the list under the letter
  // the user typed, and on this file system names differ by case.
  const char letter = args[1][0];
  const auto root = Drives().Root(letter);
  if (!root) return fail("Laufwerk " + DriveText(letter) + " ist nicht zugeordnet (QUARRY_DRIVES).");
  char resolved[PATH_MAX];
  if (!::realpath(root->c_str(), resolved))
    return fail("Der Ordner \"" + *root + "\" von Laufwerk " + DriveText(letter) +
                " kann nicht gelesen werden: " + SystemErrorText(errno));

  // The build run reads the list from "Datenbank" below its base folder; a fresh base
  // folder may not have it yet.
  const std::string dbFolder = (baseFolder.empty() ? std::string(".") : baseFolder) + "/Datenbank";
  const auto dbStat = Stat(dbFolder);
  if (!dbStat && !MakeDirectory(dbFolder))
    return fail("Der Ordner \"" + dbFolder + "\" kann nicht angelegt werden: " +
                SystemErrorText(LastError()));
  if (dbStat && !dbStat->isDirectory)
    return fail("\"" + dbFolder + "\" ist kein Ordner.");

  const std::string target = dbFolder + "/" + DriveListFileName(letter);
  RemoveStaleTemporaries(dbFolder, DriveListFileName(letter));
  std::string temp;
  NativeFile file = CreateExclusiveTemp(target, &temp);
  if (!file.Valid())
    return fail("Die Liste \"" + target + "\" kann nicht angelegt werden: " + SystemErrorText(LastError()));

  DriveListOptions walkOptions = options;
  char dbResolved[PATH_MAX];
  if (walkOptions.skipPosixFile.empty() && ::realpath(dbFolder.c_str(), dbResolved))
    walkOptions.skipPosixFile = std::string(dbResolved) + temp.substr(temp.rfind('/'));

  std::string error;
  int writeError = 0;
  DriveListStats stats;
  const bool walked = WriteDriveList(
      letter, resolved,
      [&file, &writeError](std::string_view bytes) {
        if (file.Write(bytes.data(), static_cast<int64_t>(bytes.size())) >= 0) return true;
        writeError = LastError();
        return false;
      },
      walkOptions, &stats, &error);
  if (!walked) {
    file.Close();
    RemoveFile(temp);
    if (writeError != 0)
      error = "Die Liste \"" + target + "\" kann nicht geschrieben werden: " + SystemErrorText(writeError);
    return fail(error);
  }
  // Syncs, renames over the list and syncs the folder; the temporary is gone on failure.
  // A failed last sync leaves the new list in place, but it may not survive a power cut,
  // so that too is no success.
  if (!CommitTempFile(file, temp, target))
    return fail("Die Liste \"" + target + "\" kann nicht sicher gespeichert werden: " +
                SystemErrorText(LastError()));
  return 0;
}

}  // namespace platform
