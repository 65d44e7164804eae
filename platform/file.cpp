#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {
thread_local int tLastError = 0;

int Fail() {
  tLastError = errno;
  return -1;
}

int FailWith(int code) {
  errno = code;
  return Fail();
}

// ---- The fault hook ----

// kUnread until QUARRY_FAULT has been looked at, so that a write made by a static
// initializer that runs before ours still sees the plan.
enum HookState : int { kUnread, kDisarmed, kArmed };
std::atomic<int> gHookState{kUnread};

struct FaultState {
  std::mutex mutex;
  FaultPlan plan;
  FaultCounts counts;
  bool armed = false;
  std::function<std::string()> suffixSource;
};

// Never destroyed: writes may still happen from other static destructors or atexit.
FaultState& Faults() {
  static auto* state = new FaultState;
  return *state;
}

void WriteCountsFile() {
  FaultState& f = Faults();
  std::string path, text;
  {
    std::lock_guard lock(f.mutex);
    path = f.plan.countsFile;
    text = "writes " + std::to_string(f.counts.writes) + "\nrenames " + std::to_string(f.counts.renames) +
           "\nsyncs " + std::to_string(f.counts.syncs) + "\nbytes " + std::to_string(f.counts.bytes) + "\n";
  }
  if (path.empty()) return;
  // Straight to the system: the hook must not count or fail its own report.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return;
  (void)!::write(fd, text.data(), text.size());
  ::close(fd);
}

void Install(FaultPlan plan) {
  FaultState& f = Faults();
  std::lock_guard lock(f.mutex);
  f.plan = std::move(plan);
  f.counts = {};
  f.armed = true;
  gHookState.store(kArmed, std::memory_order_release);
}

void ReadPlanFromEnvironment() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* planText = std::getenv("QUARRY_FAULT");
    if (!planText) {
      int expected = kUnread;
      gHookState.compare_exchange_strong(expected, kDisarmed);
      return;
    }
    const std::string text = planText;
    ::unsetenv("QUARRY_FAULT");
    auto plan = ParseFaultPlan(text);
    if (!plan) {
      std::fprintf(stderr, "QUARRY_FAULT not understood, no faults armed: %s\n", text.c_str());
      int expected = kUnread;
      gHookState.compare_exchange_strong(expected, kDisarmed);
      return;
    }
    const bool report = !plan->countsFile.empty();
    Install(std::move(*plan));
    if (report) std::atexit(WriteCountsFile);
  });
}

// Read at start-up, while the program has one thread (unsetenv is not thread-safe).
const bool gPlanRead = (ReadPlanFromEnvironment(), true);

bool RuleHits(const FaultPlan& plan, FaultOp op, int64_t n, int* error) {
  for (const auto& r : plan.rules) {
    if (r.op == op && (n == r.nth || (r.andLater && n > r.nth))) {
      *error = r.error;
      return true;
    }
  }
  return false;
}

// 0: go ahead; else the errno the call fails with. For writes, `count` is cut to the bytes
// allowed before the kill, and `kill` says whether to die after writing them.
int FaultCheck(FaultOp op, int64_t* count = nullptr, bool* kill = nullptr) {
  const int state = gHookState.load(std::memory_order_relaxed);
  if (state == kDisarmed) return 0;
  if (state == kUnread) ReadPlanFromEnvironment();
  FaultState& f = Faults();
  std::lock_guard lock(f.mutex);
  if (!f.armed) return 0;
  int64_t n = 0;
  switch (op) {
    case FaultOp::Write: n = ++f.counts.writes; break;
    case FaultOp::Rename: n = ++f.counts.renames; break;
    case FaultOp::Sync: n = ++f.counts.syncs; break;
  }
  int error = 0;
  if (RuleHits(f.plan, op, n, &error)) return error;
  if (op == FaultOp::Write) {
    const int64_t limit = f.plan.killAfterBytes;
    if (limit >= 0 && f.counts.bytes + *count >= limit) {
      *count = limit - f.counts.bytes;
      *kill = true;
    }
    f.counts.bytes += *count;
  }
  return 0;
}

[[noreturn]] void KillSelf() {
  ::kill(::getpid(), SIGKILL);
  while (true) ::pause();
}

struct ErrorName {
  std::string_view name;
  int code;
};
constexpr ErrorName kErrorNames[] = {
    {"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EDQUOT", EDQUOT}, {"EROFS", EROFS},   {"EFBIG", EFBIG},
    {"EACCES", EACCES}, {"EPERM", EPERM},   {"EXDEV", EXDEV},   {"ENOENT", ENOENT}, {"EBUSY", EBUSY},
    {"EEXIST", EEXIST}, {"EINVAL", EINVAL}, {"ENOMEM", ENOMEM}, {"EMLINK", EMLINK}, {"ENAMETOOLONG", ENAMETOOLONG},
};

std::optional<int64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  int64_t value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

std::optional<int> ParseError(std::string_view text) {
  for (const auto& e : kErrorNames)
    if (e.name == text) return e.code;
  // EINTR and EAGAIN are retried by the callers, so they could never fail a call.
  auto number = ParseCount(text);
  if (number && *number > 0 && *number < 4096 && *number != EINTR && *number != EAGAIN)
    return static_cast<int>(*number);
  return std::nullopt;
}

std::optional<FaultRule> ParseRule(std::string_view item) {
  const size_t first = item.find(':');
  const size_t second = first == std::string_view::npos ? first : item.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string_view op = item.substr(0, first);
  std::string_view nth = item.substr(first + 1, second - first - 1);
  FaultRule rule;
  if (op == "write") rule.op = FaultOp::Write;
  else if (op == "rename") rule.op = FaultOp::Rename;
  else if (op == "sync") rule.op = FaultOp::Sync;
  else return std::nullopt;
  if (nth.ends_with('+')) {
    rule.andLater = true;
    nth.remove_suffix(1);
  }
  auto n = ParseCount(nth);
  auto error = ParseError(item.substr(second + 1));
  if (!n || *n < 1 || !error) return std::nullopt;
  rule.nth = *n;
  rule.error = *error;
  return rule;
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ParentFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RandomSuffix() {
  {
    FaultState& f = Faults();
    std::lock_guard lock(f.mutex);
    if (f.suffixSource) return f.suffixSource();
  }
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    // No entropy yet (early boot): the clock and a counter still differ per call, and
    // O_EXCL keeps a guessed name harmless anyway.
    static std::atomic<uint64_t> counter{0};
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    bits = (static_cast<uint64_t>(ts.tv_nsec) << 20) ^ static_cast<uint64_t>(ts.tv_sec) ^ (++counter * 0x9E3779B97F4A7C15ULL);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string suffix;
  for (int i = 0; i < 12; ++i, bits >>= 4) suffix += kHex[bits & 15];
  return suffix;
}

// Removes `name` below the open folder `dirFd` without following links: a folder is
// opened (O_NOFOLLOW), emptied and removed; anything else is unlinked.
bool RemoveEntryAt(int dirFd, const char* name, bool maybeFolder, int* firstError);

bool EmptyFolderAt(int fd, int* firstError) {
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    if (!*firstError) *firstError = errno;
    ::close(fd);
    return false;
  }
  // Names first: removing while reading may skip or repeat entries.
  std::vector<std::pair<std::string, bool>> names;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name, e->d_type == DT_DIR || e->d_type == DT_UNKNOWN);
  }
  bool ok = true;
  for (const auto& [name, maybeFolder] : names)
    ok = RemoveEntryAt(::dirfd(dir), name.c_str(), maybeFolder, firstError) && ok;
  ::closedir(dir);
  return ok;
}

bool RemoveEntryAt(int dirFd, const char* name, bool maybeFolder, int* firstError) {
  auto failed = [&] {
    if (errno == ENOENT) return true;  // gone meanwhile
    if (!*firstError) *firstError = errno;
    return false;
  };
  if (!maybeFolder) {
    if (::unlinkat(dirFd, name, 0) == 0) return true;
    if (errno != EISDIR && errno != EPERM) return failed();
    // It became a folder since the listing (EPERM is what some file systems say then).
  }
  const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (sub < 0) {
    if (errno != ENOTDIR && errno != ELOOP) return failed();
    // Not a real folder (a link, a file, a FIFO): the name itself goes.
    return ::unlinkat(dirFd, name, 0) == 0 || failed();
  }
  const bool emptied = EmptyFolderAt(sub, firstError);
  return (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 || failed()) && emptied;
}

}  // namespace

int LastError() { return tLastError; }
void SetLastError(int code) { tLastError = code; }

std::string SystemErrorText(int code) {
  // The user reads German; the C library speaks the process's locale, which is seldom
  // German and never in the tests, so the common reasons have German texts of their own.
  static const std::pair<int, const char*> kGerman[] = {
      {EPERM, "Der Vorgang ist nicht erlaubt."},
      {ENOENT, "Die Datei oder der Ordner existiert nicht."},
      {EIO, "Ein- oder Ausgabefehler des Datenträgers."},
      {ENXIO, "Das Gerät oder die Adresse existiert nicht."},
      {EBADF, "Ungültiger Dateizugriff."},
      {EAGAIN, "Die Ressource ist vorübergehend nicht verfügbar."},
      {ENOMEM, "Nicht genügend Arbeitsspeicher."},
      {EACCES, "Zugriff verweigert."},
      {EBUSY, "Das Gerät oder die Ressource ist belegt."},
      {EEXIST, "Die Datei existiert bereits."},
      {EXDEV, "Verschieben zwischen Laufwerken ist nicht möglich."},
      {ENODEV, "Das Gerät existiert nicht."},
      {ENOTDIR, "Ein Teil des Pfades ist kein Ordner."},
      {EISDIR, "Der Pfad ist ein Ordner."},
      {EINVAL, "Ungültiges Argument."},
      {ENFILE, "Im System sind zu viele Dateien geöffnet."},
      {EMFILE, "Zu viele offene Dateien."},
      {ETXTBSY, "Die Programmdatei wird gerade verwendet."},
      {EFBIG, "Die Datei ist zu groß."},
      {ENOSPC, "Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."},
      {ESPIPE, "Ungültige Positionierung in der Datei."},
      {EROFS, "Der Datenträger ist schreibgeschützt."},
      {EMLINK, "Zu viele Verknüpfungen."},
      {EPIPE, "Die Gegenseite hat die Verbindung geschlossen."},
      {ENAMETOOLONG, "Der Dateiname ist zu lang."},
      {ENOTEMPTY, "Der Ordner ist nicht leer."},
      {ELOOP, "Zu viele Ebenen symbolischer Verknüpfungen."},
      {EOVERFLOW, "Der Wert ist zu groß für den Datentyp."},
      {ENOTSUP, "Der Vorgang wird nicht unterstützt."},
      {ETIMEDOUT, "Zeitüberschreitung."},
      {ECONNREFUSED, "Die Verbindung wurde abgelehnt."},
      {ESTALE, "Die Dateiverbindung ist veraltet."},
      {EDQUOT, "Das Speicherkontingent ist überschritten."},
  };
  for (const auto& [value, text] : kGerman) {
    if (value == code) return text;
  }
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not be the buffer.
  return "Systemfehler " + std::to_string(code) + " (" + strerror_r(code, buffer, sizeof buffer) + ")";
}

NativeFile::~NativeFile() { Close(); }

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

int NativeFile::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool NativeFile::Close() {
  if (fd_ < 0) return true;
  const int fd = Release();
  // On Linux the descriptor is gone even when close is interrupted; EINTR loses nothing.
  if (::close(fd) != 0 && errno != EINTR) return Fail(), false;
  return true;
}

NativeFile NativeFile::Open(const std::string& path, FileAccess access) {
  int flags = access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
  int fd = path.empty() ? (errno = ENOENT, -1) : ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail();
  return NativeFile(fd);
}

NativeFile NativeFile::OpenRegularForReading(const std::string& path) {
  NativeFile file(path.empty() ? (errno = ENOENT, -1) : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.Valid()) return Fail(), NativeFile();
  struct stat st {};
  if (::fstat(file.Fd(), &st) != 0) return Fail(), NativeFile();
  if (!S_ISREG(st.st_mode)) return FailWith(S_ISDIR(st.st_mode) ? EISDIR : EINVAL), NativeFile();
  const int flags = ::fcntl(file.Fd(), F_GETFL);
  if (flags < 0 || ::fcntl(file.Fd(), F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(), NativeFile();
  return file;
}

NativeFile NativeFile::Create(const std::string& path) {
  int fd = path.empty() ? (errno = ENOENT, -1)
                        : ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail();
  return NativeFile(fd);
}

int64_t NativeFile::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t NativeFile::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  bool kill = false;
  if (const int error = FaultCheck(FaultOp::Write, &count, &kill)) return FailWith(error);
  const auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (n == 0) {
      errno = ENOSPC;
      return Fail();
    }
    done += n;
  }
  if (kill) KillSelf();
  return done;
}

int64_t NativeFile::Seek(int64_t offset, SeekOrigin origin) {
  int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  return r < 0 ? Fail() : static_cast<int64_t>(r);
}

int64_t NativeFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Fail();
  return static_cast<int64_t>(st.st_size);
}

bool NativeFile::Truncate(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Fail(), false;
  return true;
}

bool NativeFile::Sync() {
  if (const int error = FaultCheck(FaultOp::Sync)) return FailWith(error), false;
  while (::fsync(fd_) != 0) {
    if (errno != EINTR) return Fail(), false;
  }
  return true;
}

std::optional<FileStat> Stat(const std::string& path, bool followLinks) {
  struct stat st;
  int r = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (path.empty() || r != 0) {
    tLastError = path.empty() ? ENOENT : errno;
    return std::nullopt;
  }
  FileStat s;
  s.isDirectory = S_ISDIR(st.st_mode);
  s.isRegular = S_ISREG(st.st_mode);
  s.isSymlink = S_ISLNK(st.st_mode);
  s.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  s.size = static_cast<int64_t>(st.st_size);
  s.mtimeSeconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  s.mtimeNanos = static_cast<int64_t>(st.st_mtim.tv_nsec);
  s.mode = st.st_mode;
  return s;
}

bool SetModificationTime(const std::string& path, int64_t seconds, int64_t nanos) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(nanos);
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return Fail(), false;
  return true;
}

bool SetPermissions(const std::string& path, uint32_t mode) {
  if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) return Fail(), false;
  return true;
}

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    Fail();
    return std::nullopt;
  }
  std::vector<DirEntry> entries;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry entry;
    entry.name = e->d_name;
    switch (e->d_type) {
      case DT_REG: entry.type = DirEntry::Type::File; break;
      case DT_DIR: entry.type = DirEntry::Type::Directory; break;
      case DT_LNK: entry.type = DirEntry::Type::Symlink; break;
      case DT_UNKNOWN: entry.type = DirEntry::Type::Unknown; break;
      default: entry.type = DirEntry::Type::Other; break;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return entries;
}

bool MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return Fail(), false;
  return true;
}

bool RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return Fail(), false;
  return true;
}

bool RemoveDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) return Fail(), false;
  return true;
}

bool RenameFile(const std::string& from, const std::string& to) {
  if (const int error = FaultCheck(FaultOp::Rename)) return FailWith(error), false;
  if (::rename(from.c_str(), to.c_str()) != 0) return Fail(), false;
  return true;
}

bool SyncDirectory(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(), false;
  NativeFile folder(fd);
  if (folder.Sync()) return true;
  return LastError() == EINVAL || LastError() == EOPNOTSUPP;
}

bool IsRealDirectory(const std::string& path) {
  // Without the trailing "/", which would make lstat follow a link.
  const std::string p = StripTrailingSlashes(path);
  struct stat st;
  if (p.empty() || ::lstat(p.c_str(), &st) != 0) return FailWith(p.empty() ? ENOENT : errno), false;
  return S_ISDIR(st.st_mode);
}

bool RemoveTreeContentsNoFollow(const std::string& folder) {
  const std::string p = StripTrailingSlashes(folder);
  const int fd = p.empty() ? FailWith(ENOENT)
                           : ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(), false;
  int firstError = 0;
  if (EmptyFolderAt(fd, &firstError)) return true;
  tLastError = errno = firstError;
  return false;
}

bool RemoveTreeNoFollow(const std::string& path) {
  const std::string p = StripTrailingSlashes(path);
  const size_t slash = p.rfind('/');
  const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return FailWith(p.empty() ? ENOENT : EINVAL), false;
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
  const int dirFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return Fail(), false;
  struct stat st;
  int firstError = 0;
  bool ok = ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!ok) firstError = errno;  // a missing entry is a failure here, unlike inside a tree
  else ok = RemoveEntryAt(dirFd, name.c_str(), S_ISDIR(st.st_mode), &firstError);
  ::close(dirFd);
  if (ok) return true;
  tLastError = errno = firstError;
  return false;
}

std::optional<std::string> LinkTargetForSave(const std::string& path) {
  std::string at = path;
  // The system's own limit on links followed in one path.
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string target(static_cast<size_t>(PATH_MAX), '\0');
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n < 0) return Fail(), std::nullopt;
    target.resize(static_cast<size_t>(n));
    if (target.empty()) return FailWith(ENOENT), std::nullopt;
    if (target[0] != '/') {
      const size_t slash = at.rfind('/');
      target = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + target;
    }
    at = std::move(target);
  }
  return FailWith(ELOOP), std::nullopt;
}

NativeFile CreateExclusiveTemp(const std::string& targetPath, std::string* tempPath, uint32_t mode) {
  if (targetPath.empty() || targetPath.back() == '/') return NativeFile(FailWith(targetPath.empty() ? ENOENT : EISDIR));
  const size_t slash = targetPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : targetPath.substr(0, slash + 1);
  const std::string name = targetPath.substr(folder.size());
  struct stat old;
  const bool keepMode = ::lstat(targetPath.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string suffix = ".tmp" + std::to_string(::getpid()) + "-" + RandomSuffix();
    // A name near the length limit is shortened, so that its temporary still fits.
    const size_t room = NAME_MAX > suffix.size() ? NAME_MAX - suffix.size() : 0;
    const std::string temp = folder + name.substr(0, room) + suffix;
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          keepMode ? 0600 : static_cast<mode_t>(mode));
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return NativeFile(Fail());
    }
    NativeFile file(fd);
    if (keepMode) {
      // The owner first: changing it clears set-id bits, and we keep none of those anyway.
      // Best effort: only root may give a file away, but a member may pass on the group.
      if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
      if (::fchmod(fd, old.st_mode & 0777) != 0) {
        const int saved = errno;
        file.Close();
        ::unlink(temp.c_str());
        return NativeFile(FailWith(saved));
      }
    }
    if (tempPath) *tempPath = temp;
    return file;
  }
  return NativeFile(FailWith(EEXIST));
}

int RemoveStaleTemporaries(const std::string& targetPath) {
  const size_t slash = targetPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : targetPath.substr(0, slash + 1);
  const std::string prefix = targetPath.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp";
  const auto entries = ListDirectory(folder);
  if (!entries) return 0;
  int removed = 0;
  for (const DirEntry& entry : *entries) {
    if (!entry.name.starts_with(prefix)) continue;
    // ".tmp" + process id + "-" + suffix.
    size_t at = prefix.size();
    long long pid = 0;
    while (at < entry.name.size() && at - prefix.size() < 10 && entry.name[at] >= '0' && entry.name[at] <= '9')
      pid = pid * 10 + (entry.name[at++] - '0');
    if (at == prefix.size() || at + 1 >= entry.name.size() || entry.name[at] != '-') continue;
    if (pid <= 0 || pid == ::getpid()) continue;
    // A process that exists, even one of another user, may still be writing.
    if (pid <= INT32_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
    const std::string path = (slash == std::string::npos ? std::string() : folder) + entry.name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

bool CommitTempFile(NativeFile& file, const std::string& tempPath, const std::string& targetPath,
                    Durability durability) {
  const bool synced = durability == Durability::Unsynced || file.Sync();
  if (!synced || !file.Close() || !RenameFile(tempPath, targetPath)) {
    const int saved = LastError();
    file.Close();
    ::unlink(tempPath.c_str());
    tLastError = errno = saved;
    return false;
  }
  return durability == Durability::Unsynced || SyncDirectory(ParentFolder(targetPath));
}

bool CommitTempFile(const std::string& tempPath, const std::string& targetPath) {
  NativeFile file(::open(tempPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file.Valid()) {
    const int saved = errno;
    ::unlink(tempPath.c_str());
    return FailWith(saved), false;
  }
  return CommitTempFile(file, tempPath, targetPath);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  NativeFile f = NativeFile::Open(path, FileAccess::Read);
  if (!f.Valid()) return std::nullopt;
  std::string data;
  char buffer[65536];
  while (true) {
    int64_t n = f.Read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    data.append(buffer, static_cast<size_t>(n));
    if (n < static_cast<int64_t>(sizeof buffer)) break;
  }
  return data;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, Durability durability) {
  std::string temp;
  NativeFile file = CreateExclusiveTemp(path, &temp);
  if (!file.Valid()) return false;
  if (file.Write(bytes.data(), static_cast<int64_t>(bytes.size())) < 0) {
    const int saved = LastError();
    file.Close();
    ::unlink(temp.c_str());
    tLastError = errno = saved;
    return false;
  }
  return CommitTempFile(file, temp, path, durability);
}

namespace {

NativeFile OpenRegularForWriting(const std::string& path, bool truncate) {
  NativeFile file(path.empty() ? (errno = ENOENT, -1) : ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!file.Valid()) return FailWith(errno), NativeFile();
  struct stat st;
  if (::fstat(file.Fd(), &st) != 0 || !S_ISREG(st.st_mode)) return FailWith(EINVAL), NativeFile();
  // An empty file is not cut again: a cut costs the file system a transaction.
  if (truncate && st.st_size > 0 && ::ftruncate(file.Fd(), 0) != 0) return FailWith(errno), NativeFile();
  return file;
}

}  // namespace

bool OverwriteExistingFile(const std::string& path, const std::string& bytes) {
  // Written over, then cut to its new length: a file cut to length 0 and written again is
  // flushed to the disk on close by some file systems (ext4's replace-by-truncate rule).
  NativeFile file = OpenRegularForWriting(path, false);
  if (!file.Valid()) return false;
  if (file.Write(bytes.data(), static_cast<int64_t>(bytes.size())) < 0) return false;
  struct stat st;
  const bool longer = ::fstat(file.Fd(), &st) != 0 || st.st_size != static_cast<off_t>(bytes.size());
  if (longer && ::ftruncate(file.Fd(), static_cast<off_t>(bytes.size())) != 0) return FailWith(errno), false;
  return file.Close();
}

bool TruncateRegularFile(const std::string& path) { return OpenRegularForWriting(path, true).Valid(); }

int64_t ReadFullyAt(int fd, char* to, int64_t count, int64_t offset) {
  int64_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, to + got, static_cast<size_t>(count - got), offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailWith(errno), -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

namespace {

bool SameFile(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace

std::optional<FileLock> FileLock::Try(const std::string& path, Kind kind) {
  // The file at the path may be removed by its last holder between our open and our
  // lock; then the lock is on a file nobody else will look at, and we take the new one.
  for (int attempt = 0; attempt < 16; ++attempt) {
    NativeFile file(path.empty() ? (errno = ENOENT, -1)
                                 : ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.Valid()) return FailWith(errno), std::nullopt;
    if (::flock(file.Fd(), (kind == Kind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
      return FailWith(errno), std::nullopt;
    if (SameFile(file.Fd(), path)) return FileLock(std::move(file));
  }
  return FailWith(EWOULDBLOCK), std::nullopt;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    file_ = std::move(other.file_);
    removePath_ = std::move(other.removePath_);
  }
  return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (!file_.Valid()) return;
  file_.Close();
  if (removePath_.empty()) return;
  // Removed only when nobody holds a lock on it any more: a child this lock was passed
  // to (a chain still running) or a reader keeps the file, and its lock, in place. The
  // file is removed under a lock of our own, so whoever opened it meanwhile sees the
  // name gone and takes a new file.
  const int probe = ::open(removePath_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (probe < 0) return;
  if (::flock(probe, LOCK_EX | LOCK_NB) == 0 && SameFile(probe, removePath_)) ::unlink(removePath_.c_str());
  ::close(probe);
}

void ArmFaults(FaultPlan plan) {
  ReadPlanFromEnvironment();  // so that a later first look cannot replace this plan
  Install(std::move(plan));
}

void DisarmFaults() {
  ReadPlanFromEnvironment();
  FaultState& f = Faults();
  std::lock_guard lock(f.mutex);
  f.armed = false;
  f.plan.rules.clear();
  f.plan.killAfterBytes = -1;
  gHookState.store(kDisarmed, std::memory_order_release);
}

FaultCounts FaultCounters() {
  FaultState& f = Faults();
  std::lock_guard lock(f.mutex);
  return f.counts;
}

std::optional<FaultPlan> ParseFaultPlan(std::string_view text) {
  FaultPlan plan;
  bool any = false;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (item.empty()) continue;
    any = true;
    if (item.starts_with("kill-after-bytes:")) {
      auto n = ParseCount(item.substr(17));
      if (!n) return std::nullopt;
      plan.killAfterBytes = *n;
    } else if (item.starts_with("counts:")) {
      if (item.size() == 7) return std::nullopt;
      plan.countsFile = std::string(item.substr(7));
    } else if (auto rule = ParseRule(item)) {
      plan.rules.push_back(*rule);
    } else {
      return std::nullopt;
    }
  }
  if (!any) return std::nullopt;
  return plan;
}

void SetTempSuffixSourceForTesting(std::function<std::string()> source) {
  FaultState& f = Faults();
  std::lock_guard lock(f.mutex);
  f.suffixSource = std::move(source);
}

}  // namespace platform
