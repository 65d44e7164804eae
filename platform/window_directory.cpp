#include "platform/window_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "platform/escaped_text.h"
#include "platform/file.h"

namespace platform {
namespace {

constexpr std::string_view kMagicLine = "QHW1";
constexpr uint32_t kMessageMagic = 0x4D574851;  // "QHWM"

struct Datagram {
  uint32_t magic;
  uint32_t window;
  uint32_t message;
  uint32_t reserved;
  int64_t wParam;
  int64_t lParam;
};
static_assert(sizeof(Datagram) == 32);

// Start time of a running process (clock ticks since boot, field 22 of /proc/<pid>/stat);
// nullopt when the process does not exist or has ended (zombie).
std::optional<uint64_t> LiveStartTime(int64_t pid) {
  if (pid <= 0) return std::nullopt;
  auto stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return std::nullopt;
  const size_t close = stat->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(*stat).substr(close + 1);
  std::vector<std::string_view> fields;
  while (!rest.empty() && fields.size() < 20) {
    const size_t begin = rest.find_first_not_of(' ');
    if (begin == std::string_view::npos) break;
    rest.remove_prefix(begin);
    const size_t end = std::min(rest.find(' '), rest.size());
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X") return std::nullopt;
  return std::strtoull(std::string(fields[19]).c_str(), nullptr, 10);
}

int64_t RealtimeNanos() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool SocketAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    SetLastError(ENAMETOOLONG);
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The folder, opened without following a link, when it is ours alone; else an invalid
// file and `check` says why.
NativeFile OpenTrustedFolder(const std::string& folder, FolderCheck& check) {
  check = FolderCheck{};
  check.folder = folder;
  const std::string path = WithoutTrailingSlashes(folder);
  NativeFile dir(path.empty() ? (errno = ENOENT, -1)
                              : ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!dir.Valid() || ::fstat(dir.Fd(), &st) != 0) {
    check.error = errno;
    check.trust = errno == ENOENT                     ? FolderTrust::Missing
                  : errno == ELOOP || errno == ENOTDIR ? FolderTrust::NotAFolder
                                                       : FolderTrust::Unusable;
    SetLastError(check.error);
    return NativeFile();
  }
  if (st.st_uid != ::geteuid()) {
    check.trust = FolderTrust::ForeignOwner;
    check.owner = st.st_uid;
  } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    check.trust = FolderTrust::OpenToOthers;
    check.mode = st.st_mode & 07777;
  } else {
    check.trust = FolderTrust::Trusted;
    return dir;
  }
  SetLastError(EPERM);
  return NativeFile();
}

// An entry's bytes, only from a regular file of ours no larger than kMaxWindowEntryBytes,
// opened without following a link and without waiting on a FIFO.
std::optional<std::string> ReadEntryFile(int dirFd, const std::string& name) {
  NativeFile file(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (!file.Valid() || ::fstat(file.Fd(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      st.st_size > kMaxWindowEntryBytes)
    return std::nullopt;
  std::string bytes(static_cast<size_t>(kMaxWindowEntryBytes) + 1, '\0');
  const int64_t n = file.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  if (n < 0 || n > kMaxWindowEntryBytes) return std::nullopt;  // grew since fstat
  bytes.resize(static_cast<size_t>(n));
  return bytes;
}

std::vector<std::string> NamesIn(int dirFd) {
  std::vector<std::string> names;
  const int fd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (!dir) {
    if (fd >= 0) ::close(fd);
    return names;
  }
  while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
  ::closedir(dir);
  return names;
}

struct ParsedEntry {
  int64_t pid = 0;
  uint64_t startTime = 0;
  struct Window {
    uint32_t number;
    int64_t order;
    std::u16string title;
    std::string className;
  };
  std::vector<Window> windows;
};

std::optional<ParsedEntry> ParseEntry(std::string_view text) {
  ParsedEntry entry;
  size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string line(text.substr(pos, end - pos));
    pos = end + 1;
    if (first) {
      char magic[8] = {};
      long long pid = 0;
      unsigned long long start = 0;
      if (std::sscanf(line.c_str(), "%7s %lld %llu", magic, &pid, &start) != 3 || magic != kMagicLine)
        return std::nullopt;
      entry.pid = pid;
      entry.startTime = start;
      first = false;
      continue;
    }
    // "<number> <order> <title>": exactly one blank before the title, which may begin
    // with blanks of its own.
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos) continue;
    const unsigned long number = std::strtoul(line.c_str(), nullptr, 10);
    char* orderEnd = nullptr;
    const long long order = std::strtoll(line.c_str() + first + 1, &orderEnd, 10);
    if (number == 0 || number > UINT32_MAX) continue;
    // "<order>:<class>": the class rides on the order field, which older readers cut at
    // the first non-digit, so entries stay readable both ways.
    std::string className;
    if (orderEnd && *orderEnd == ':') className = line.substr(orderEnd + 1 - line.c_str(), line.c_str() + second - orderEnd - 1);
    entry.windows.push_back({static_cast<uint32_t>(number), order, UnescapeLine(std::string_view(line).substr(second + 1)),
                             std::move(className)});
  }
  if (first) return std::nullopt;
  return entry;
}

std::string EntryText(int64_t pid, uint64_t startTime, const std::vector<ParsedEntry::Window>& windows) {
  std::string text = std::string(kMagicLine) + " " + std::to_string(pid) + " " + std::to_string(startTime) + "\n";
  for (const auto& w : windows)
    text += std::to_string(w.number) + " " + std::to_string(w.order) + (w.className.empty() ? "" : ":" + w.className) +
            " " + EscapeLine(w.title) + "\n";
  return text;
}

// "<pid>-<n>" of "<pid>-<n>.win" or "<pid>-<n>.sock".
bool ParseBaseName(std::string_view stem, int64_t& pid, uint32_t& listener) {
  const size_t dash = stem.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 >= stem.size()) return false;
  if (stem.find_first_not_of("0123456789-") != std::string_view::npos) return false;
  pid = std::strtoll(std::string(stem.substr(0, dash)).c_str(), nullptr, 10);
  listener = static_cast<uint32_t>(std::strtoul(std::string(stem.substr(dash + 1)).c_str(), nullptr, 10));
  return pid > 0;
}

struct LiveEntry {
  WindowHandle listenerHandle;
  ParsedEntry entry;
};

// Reads every entry of live processes in the open folder; removes the files of ended ones.
std::vector<LiveEntry> ReadEntries(int dirFd) {
  std::vector<LiveEntry> live;
  for (const auto& fileName : NamesIn(dirFd)) {
    std::string_view name = fileName;
    const bool isEntry = name.ends_with(".win");
    const bool isSocket = name.ends_with(".sock");
    if (!isEntry && !isSocket) continue;
    const std::string stem(name.substr(0, name.rfind('.')));
    int64_t pid = 0;
    uint32_t listener = 0;
    if (!ParseBaseName(stem, pid, listener)) continue;
    const auto startTime = LiveStartTime(pid);
    std::optional<ParsedEntry> entry;
    if (isEntry && startTime) {
      if (auto text = ReadEntryFile(dirFd, fileName)) entry = ParseEntry(*text);
    }
    const bool stale = !startTime || (entry && (entry->pid != pid || entry->startTime != *startTime));
    if (stale) {
      ::unlinkat(dirFd, (stem + ".win").c_str(), 0);
      ::unlinkat(dirFd, (stem + ".sock").c_str(), 0);
      continue;
    }
    if (isEntry && entry) live.push_back({WindowHandle{pid, listener, 0}, std::move(*entry)});
  }
  return live;
}

std::atomic<uint32_t> gListenerCount{0};

}  // namespace

std::string FolderCheck::Text() const {
  const std::string quoted = "\"" + folder + "\"";
  char number[32];
  switch (trust) {
    case FolderTrust::Trusted: return {};
    case FolderTrust::Missing: return "Der Ordner " + quoted + " fehlt.";
    case FolderTrust::NotAFolder:
      return quoted + " ist kein echter Ordner, sondern eine Datei oder ein symbolischer Verweis.";
    case FolderTrust::ForeignOwner:
      std::snprintf(number, sizeof number, "%u", owner);
      return "Der Ordner " + quoted + " geh\xC3\xB6rt einem anderen Benutzer (Benutzernummer " + number + ").";
    case FolderTrust::OpenToOthers:
      std::snprintf(number, sizeof number, "%04o", mode);
      return "In den Ordner " + quoted + " d\xC3\xBCrfen andere Benutzer schreiben (Rechte " + number + ").";
    case FolderTrust::Unusable: break;
  }
  return "Der Ordner " + quoted + " kann nicht verwendet werden: " + SystemErrorText(error);
}

FolderCheck CheckWindowFolder(const std::string& folder) {
  FolderCheck check;
  OpenTrustedFolder(folder, check);
  return check;
}

FolderCheck PrepareWindowFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    return FolderCheck{FolderTrust::Unusable, folder, error};
  }
  return CheckWindowFolder(folder);
}

std::string WindowDirectoryFolder() {
  if (const char* explicitFolder = std::getenv("QUARRY_RUNTIME_DIR"); explicitFolder && *explicitFolder)
    return explicitFolder;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    return std::string(runtime) + "/quarry-html";
  return "/tmp/quarry-" + std::to_string(::geteuid());
}

std::vector<WindowDirectory::Entry> WindowDirectory::Windows() const {
  struct Ordered {
    int64_t order;
    Entry entry;
  };
  std::vector<Ordered> all;
  FolderCheck check;
  const NativeFile dir = OpenTrustedFolder(folder_, check);
  if (!dir.Valid()) return {};
  for (auto& live : ReadEntries(dir.Fd())) {
    for (auto& w : live.entry.windows) {
      WindowHandle handle = live.listenerHandle;
      handle.window = w.number;
      all.push_back({w.order, Entry{handle, std::move(w.title), std::move(w.className)}});
    }
  }
  std::sort(all.begin(), all.end(), [](const Ordered& a, const Ordered& b) {
    if (a.order != b.order) return a.order < b.order;
    const auto& x = a.entry.handle;
    const auto& y = b.entry.handle;
    return std::tie(x.pid, x.listener, x.window) < std::tie(y.pid, y.listener, y.window);
  });
  std::vector<Entry> windows;
  windows.reserve(all.size());
  for (auto& o : all) windows.push_back(std::move(o.entry));
  return windows;
}

std::optional<WindowDirectory::Entry> WindowDirectory::FindWindowContaining(std::u16string_view text,
                                                                            bool ignoreCase,
                                                                            std::string_view className,
                                                                            int64_t skipPid) const {
  if (text.empty()) return std::nullopt;
  const std::u16string wanted = ignoreCase ? UpperCase(text) : std::u16string(text);
  for (auto& w : Windows()) {
    if (skipPid != 0 && w.handle.pid == skipPid) continue;
    if (!className.empty() && w.className.find(className) == std::string::npos) continue;
    const std::u16string title = ignoreCase ? UpperCase(w.title) : w.title;
    if (title.find(wanted) != std::u16string::npos) return std::move(w);
  }
  return std::nullopt;
}

bool WindowDirectory::PostMessage(const WindowHandle& window, uint32_t message, int64_t wParam,
                                  int64_t lParam) const {
  if (!window) return false;
  FolderCheck check;
  const NativeFile dir = OpenTrustedFolder(folder_, check);
  if (!dir.Valid()) {
    SetLastError(check.trust == FolderTrust::Missing ? ESRCH : EPERM);
    return false;
  }
  const std::string stem = std::to_string(window.pid) + "-" + std::to_string(window.listener);
  const std::string base = WithoutTrailingSlashes(folder_) + "/" + stem;
  auto text = ReadEntryFile(dir.Fd(), stem + ".win");
  auto entry = text ? ParseEntry(*text) : std::nullopt;
  const auto startTime = LiveStartTime(window.pid);
  if (!entry || !startTime || entry->startTime != *startTime) {
    SetLastError(ESRCH);
    return false;
  }
  if (std::none_of(entry->windows.begin(), entry->windows.end(),
                   [&](const ParsedEntry::Window& w) { return w.number == window.window; })) {
    SetLastError(ENOENT);
    return false;
  }
  sockaddr_un address;
  if (!SocketAddress(base + ".sock", address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(errno);
    return false;
  }
  const Datagram d{kMessageMagic, window.window, message, 0, wParam, lParam};
  const ssize_t sent = ::sendto(fd, &d, sizeof d, MSG_DONTWAIT | MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int saved = errno;
  ::close(fd);
  if (sent != static_cast<ssize_t>(sizeof d)) {
    SetLastError(sent < 0 ? saved : EMSGSIZE);
    return false;
  }
  return true;
}

WindowListener::WindowListener(std::string folder) : folder_(std::move(folder)) {
  ownerPid_ = ::getpid();
  number_ = ++gListenerCount;
  if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) {
    const int error = errno;
    folderStatus_ = FolderCheck{FolderTrust::Unusable, folder_, error};
    SetLastError(error);
    return;
  }
  {
    const NativeFile dir = OpenTrustedFolder(folder_, folderStatus_);
    if (!dir.Valid()) return;
    struct stat st {};
    // Nobody else may write here (checked); nobody else need read our titles either.
    if (::fstat(dir.Fd(), &st) == 0 && (st.st_mode & 077) != 0) (void)!::fchmod(dir.Fd(), 0700);
  }
  base_ = WithoutTrailingSlashes(folder_) + "/" + std::to_string(ownerPid_) + "-" + std::to_string(number_);
  sockaddr_un address;
  if (!SocketAddress(base_ + ".sock", address)) return;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    SetLastError(errno);
    return;
  }
  ::unlink(address.sun_path);  // left by an ended process that had our pid
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    SetLastError(errno);
    ::close(fd);
    return;
  }
  fd_ = fd;
  if (!WriteEntry()) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(address.sun_path);
  }
}

WindowListener::~WindowListener() {
  if (fd_ < 0) return;
  ::close(fd_);
  if (::getpid() == ownerPid_) {
    ::unlink((base_ + ".win").c_str());
    ::unlink((base_ + ".sock").c_str());
  }
}

bool WindowListener::WriteEntry() {
  const auto startTime = LiveStartTime(ownerPid_);
  if (!startTime) {
    SetLastError(ESRCH);
    return false;
  }
  std::vector<ParsedEntry::Window> windows;
  for (const auto& w : windows_) windows.push_back({w.number, w.order, w.title, w.className});
  return WriteFileAtomically(base_ + ".win", EntryText(ownerPid_, *startTime, windows));
}

WindowHandle WindowListener::AddWindow(std::u16string title, std::string className) {
  if (!Valid()) return {};
  // A class is one word: a blank would end it early in the entry.
  std::erase_if(className, [](char c) { return c == ' ' || c == '\n' || c == '\r'; });
  const uint32_t number = nextWindow_++;
  windows_.push_back({number, RealtimeNanos(), std::move(title), std::move(className)});
  if (!WriteEntry()) {
    windows_.pop_back();
    return {};
  }
  return WindowHandle{ownerPid_, number_, number};
}

bool WindowListener::SetTitle(const WindowHandle& window, std::u16string title) {
  for (auto& w : windows_) {
    if (window.pid == ownerPid_ && window.listener == number_ && w.number == window.window) {
      std::swap(w.title, title);
      if (WriteEntry()) return true;
      std::swap(w.title, title);
      return false;
    }
  }
  return false;
}

bool WindowListener::RemoveWindow(const WindowHandle& window) {
  auto it = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) {
    return window.pid == ownerPid_ && window.listener == number_ && w.number == window.window;
  });
  if (it == windows_.end()) return false;
  windows_.erase(it);
  return WriteEntry();
}

std::vector<WindowMessage> WindowListener::Receive() {
  std::vector<WindowMessage> messages;
  if (fd_ < 0) return messages;
  while (true) {
    Datagram d{};
    const ssize_t n = ::recv(fd_, &d, sizeof d, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // EAGAIN: nothing more waits
    }
    if (n != static_cast<ssize_t>(sizeof d) || d.magic != kMessageMagic) continue;
    const bool known = std::any_of(windows_.begin(), windows_.end(),
                                   [&](const Window& w) { return w.number == d.window; });
    if (known) messages.push_back({d.window, d.message, d.wParam, d.lParam});
  }
  return messages;
}

void WindowListener::Dispatch() {
  for (const auto& m : Receive())
    if (handler_) handler_(m);
}

}  // namespace platform
