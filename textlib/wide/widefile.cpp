#include "textlib/wide/widefile.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "textlib/unicode.h"
#include "textlib/wide/wide.h"

namespace textlib {

using platform::FileAccess;

struct FindState {
  std::string folder;  // POSIX, ends with "/" unless empty (the current folder)
  std::vector<std::pair<std::u16string, std::string>> entries;  // drive-form name, POSIX name
  size_t next = 0;
};

TSearchRecW::TSearchRecW() = default;
TSearchRecW::~TSearchRecW() = default;
TSearchRecW::TSearchRecW(TSearchRecW&&) noexcept = default;
TSearchRecW& TSearchRecW::operator=(TSearchRecW&&) noexcept = default;

void RaiseLastSystemError() { throw MakeWin32Error(platform::LastError()); }

long long CheckWin32Result(long long value) {
  if (value == 0) RaiseLastSystemError();
  return value;
}

int ErrorFileNotFound() { return ENOENT; }
int ErrorNoMoreFiles() { return ENODATA; }

namespace {

int Failure(int code) {
  platform::SetLastError(code);
  return code;
}

// The POSIX form, or empty with ENOENT set for a name that has none (an unknown drive).
std::string ToPosix(std::u16string_view name) {
  std::string posix = name.empty() ? std::string() : platform::PosixPath(name);
  if (posix.empty()) platform::SetLastError(ENOENT);
  return posix;
}

bool IsHiddenName(std::string_view name) {
  return name.size() > 1 && name.front() == '.' && name != "..";
}

std::string_view LastComponent(std::string_view posix) {
  while (posix.size() > 1 && posix.back() == '/') posix.remove_suffix(1);
  size_t slash = posix.rfind('/');
  return slash == std::string_view::npos ? posix : posix.substr(slash + 1);
}

// A dangling link still exists as an entry: it is described by the link itself.
std::optional<platform::FileStat> StatEntry(const std::string& posix) {
  if (auto st = platform::Stat(posix)) return st;
  return platform::Stat(posix, false);
}

uint32_t AttributesOf(const platform::FileStat& st, std::string_view name) {
  uint32_t attr = 0;
  if (st.isDirectory) attr |= FILE_ATTRIBUTE_DIRECTORY;
  else if (!st.isRegular && !st.isSymlink) attr |= FILE_ATTRIBUTE_SYSTEM;
  if (st.readOnly) attr |= FILE_ATTRIBUTE_READONLY;
  if (IsHiddenName(name)) attr |= FILE_ATTRIBUTE_HIDDEN;
  return attr == 0 ? FILE_ATTRIBUTE_NORMAL : attr;
}

char32_t Fold(char16_t c) { return CharToUpper(c); }

// A mask in the file system's own wildcard forms. "*" before a "." stops short of the
// name's last dot, a "." before "*", "?" or the end also matches the end of a name
// without one, and "?" also matches nothing before a dot or at the end: so "*.*" and
// "name.*" take names without an extension, "*." takes only those, and "??.txt" takes
// "a.txt" as well.
enum class MaskToken : uint8_t { Literal, Star, StarBeforeDot, AnyChar, Dot };

struct MaskPart {
  MaskToken token;
  char16_t c;
};

std::vector<MaskPart> ParseMask(std::u16string_view mask) {
  std::vector<MaskPart> parts;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char16_t c = mask[i];
    const bool last = i + 1 == mask.size();
    const char16_t next = last ? u'\0' : mask[i + 1];
    MaskToken token = MaskToken::Literal;
    if (c == u'*') token = next == u'.' ? MaskToken::StarBeforeDot : MaskToken::Star;
    else if (c == u'?') token = MaskToken::AnyChar;
    else if (c == u'.' && (last || next == u'*' || next == u'?')) token = MaskToken::Dot;
    parts.push_back({token, c});
  }
  return parts;
}

// Dynamic programming from the ends backwards, one row per name position, so any mask
// and name take time proportional to their product and no backtracking can explode.
bool MatchMask(std::u16string_view name, const std::vector<MaskPart>& mask) {
  const size_t n = name.size(), m = mask.size();
  const size_t lastDot = name.rfind(u'.');
  std::vector<char> next(m + 1, 0), row(m + 1, 0);  // next: matches from name position p + 1
  for (size_t p = n + 1; p-- > 0;) {
    const bool atEnd = p == n;
    row[m] = atEnd;
    for (size_t k = m; k-- > 0;) {
      const MaskPart& part = mask[k];
      bool ok = false;
      switch (part.token) {
        case MaskToken::Literal:
          ok = !atEnd && Fold(part.c) == Fold(name[p]) && next[k + 1];
          break;
        case MaskToken::Star:
          ok = row[k + 1] || (!atEnd && next[k]);
          break;
        case MaskToken::StarBeforeDot:
          ok = row[k + 1] || (!atEnd && p != lastDot && next[k]);
          break;
        case MaskToken::AnyChar:
          ok = atEnd || name[p] == u'.' ? row[k + 1] : next[k + 1];
          break;
        case MaskToken::Dot:
          ok = atEnd ? row[k + 1] : name[p] == u'.' && next[k + 1];
          break;
      }
      row[k] = ok;
    }
    std::swap(next, row);
  }
  return next[0];
}

// Skips excluded entries and fills the record from the first one left.
int MatchingStep(TSearchRecW& rec) {
  FindState& state = *rec.FindHandle;
  while (state.next < state.entries.size()) {
    const auto& [wide, posixName] = state.entries[state.next++];
    auto st = StatEntry(state.folder + posixName);
    if (!st) continue;  // vanished since the listing
    uint32_t attr = AttributesOf(*st, posixName);
    if (attr & static_cast<uint32_t>(rec.ExcludeAttr)) continue;
    rec.FindData.dwFileAttributes = attr;
    rec.FindData.lastWriteSeconds = st->mtimeSeconds;
    rec.FindData.lastWriteNanos = st->mtimeNanos;
    rec.FindData.nFileSize = st->isDirectory ? 0 : st->size;
    rec.FindData.cFileName = wide;
    rec.Time = UnixTimeToDosDateTime(st->mtimeSeconds);
    rec.Size = rec.FindData.nFileSize;
    rec.Attr = static_cast<int32_t>(attr);
    rec.Name = wide;
    return 0;
  }
  return Failure(ErrorNoMoreFiles());
}

NativeFile Invalid(int code) {
  platform::SetLastError(code);
  return NativeFile();
}

}  // namespace

NativeFile WideCreateFile(std::u16string_view name, uint32_t access, uint32_t shareMode,
                          uint32_t creationDisposition) {
  (void)shareMode;  // no share locks on POSIX
  const bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
  if (!read && !write) return Invalid(EINVAL);
  const FileAccess fa = read && write ? FileAccess::ReadWrite : read ? FileAccess::Read : FileAccess::Write;
  std::string posix = ToPosix(name);
  if (posix.empty()) return NativeFile();
  if (auto st = platform::Stat(posix); st && st->isDirectory) return Invalid(EISDIR);
  if (creationDisposition == OPEN_EXISTING) return NativeFile::Open(posix, fa);
  if (creationDisposition != CREATE_ALWAYS) return Invalid(EINVAL);
  NativeFile created = NativeFile::Create(posix);
  // The platform creates read-write; narrow the handle to what was asked for.
  if (!created.Valid() || fa == FileAccess::ReadWrite) return created;
  return NativeFile::Open(posix, fa);
}

NativeFile WideFileCreate(std::u16string_view name) {
  return WideCreateFile(name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
}

NativeFile WideFileCreateReadWrite(std::u16string_view name) {
  return WideCreateFile(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
}

NativeFile WideFileOpen(std::u16string_view name, uint32_t mode) {
  static constexpr uint32_t kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static constexpr uint32_t kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE};
  const uint32_t access = mode & 3, share = (mode & 0xF0) >> 4;
  // Indices past the tables are refused rather than read.
  if (access >= std::size(kAccess) || share >= std::size(kShare)) return Invalid(EINVAL);
  return WideCreateFile(name, kAccess[access], kShare[share], OPEN_EXISTING);
}

int32_t WideFileGetAttr(std::u16string_view name) {
  std::string posix = ToPosix(name);
  if (posix.empty()) return faInvalid;
  auto st = StatEntry(posix);
  if (!st) return faInvalid;
  return static_cast<int32_t>(AttributesOf(*st, LastComponent(posix)));
}

bool WideFileExists(std::u16string_view name) {
  int32_t attr = WideFileGetAttr(name);
  return attr != faInvalid && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WideDirectoryExists(std::u16string_view name) {
  int32_t attr = WideFileGetAttr(name);
  return attr != faInvalid && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int WideFindFirst(std::u16string_view path, int32_t attributes, TSearchRecW& rec) {
  WideFindClose(rec);
  rec.ExcludeAttr = ~attributes & 0x1E;
  const std::u16string folder = WideExtractFilePath(path);
  const std::vector<MaskPart> maskParts = ParseMask(WideExtractFileName(path));
  auto state = std::make_unique<FindState>();
  if (!folder.empty()) {
    state->folder = ToPosix(folder);
    if (state->folder.empty()) return Failure(ENOENT);
    if (state->folder.back() != '/') state->folder.push_back('/');
  }
  auto listing = platform::ListDirectory(state->folder.empty() ? "." : state->folder);
  if (!listing) return Failure(platform::LastError());
  for (auto& entry : *listing) {
    auto wide = platform::PosixUtf8ToWide(entry.name);
    // Names without a drive form cannot be handed out.
    if (!wide || wide->find(u'\\') != std::u16string::npos) continue;
    if (MatchMask(*wide, maskParts)) state->entries.emplace_back(std::move(*wide), std::move(entry.name));
  }
  if (state->entries.empty()) return Failure(ErrorFileNotFound());
  std::sort(state->entries.begin(), state->entries.end());  // stable order, as NTFS gives
  rec.FindHandle = std::move(state);
  int result = MatchingStep(rec);
  if (result != 0) WideFindClose(rec);
  return result;
}

int WideFindNext(TSearchRecW& rec) {
  if (!rec.FindHandle) return Failure(EBADF);
  return MatchingStep(rec);
}

void WideFindClose(TSearchRecW& rec) { rec.FindHandle.reset(); }

int32_t UnixTimeToDosDateTime(int64_t seconds) {
  time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  if (!localtime_r(&t, &local)) return 0;
  int year = local.tm_year + 1900;
  if (year < 1980) return (1 << 5 | 1) << 16;  // 1980-01-01 00:00:00
  if (year > 2107) return static_cast<int32_t>(((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u));
  uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | time);
}

size_t WideLastDelimiter(std::u16string_view delimiters, std::u16string_view text) {
  size_t i = text.find_last_of(delimiters);
  return i == std::u16string_view::npos ? 0 : i + 1;
}

std::u16string WideExtractFilePath(std::u16string_view name) {
  return std::u16string(name.substr(0, WideLastDelimiter(u"\\:", name)));
}

std::u16string WideExtractFileName(std::u16string_view name) {
  return std::u16string(name.substr(WideLastDelimiter(u"\\:", name)));
}

std::u16string WideExtractFileExt(std::u16string_view name) {
  size_t i = WideLastDelimiter(u".\\:", name);
  if (i > 0 && name[i - 1] == u'.') return std::u16string(name.substr(i - 1));
  return {};
}

std::u16string WideGetModuleFileName() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    platform::SetLastError(ec.value());
    RaiseLastSystemError();
  }
  auto drive = platform::DrivePath(exe.string());
  if (!drive) {
    platform::SetLastError(ENOENT);
    RaiseLastSystemError();
  }
  return *drive;
}

namespace {

std::mutex& ParamsMutex() {
  static std::mutex m;
  return m;
}

std::optional<std::vector<std::u16string>>& Params() {
  static std::optional<std::vector<std::u16string>> params;
  return params;
}

void AddParam(std::vector<std::u16string>& out, std::string_view arg) {
  if (arg.empty()) return;
  auto wide = platform::PosixUtf8ToWide(arg);
  out.push_back(wide ? std::move(*wide) : platform::AnsiToWide(arg));
}

// Arguments after the program's own name.
const std::vector<std::u16string>& LockedParams() {
  auto& params = Params();
  if (!params) {
    params.emplace();
    std::string cmdline = platform::ReadWholeFile("/proc/self/cmdline").value_or(std::string());
    size_t start = cmdline.find('\0');
    while (start != std::string::npos && start + 1 < cmdline.size()) {
      size_t end = cmdline.find('\0', start + 1);
      AddParam(*params, std::string_view(cmdline).substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1));
      start = end;
    }
  }
  return *params;
}

}  // namespace

void SetWideParams(int argc, const char* const* argv) {
  std::lock_guard lock(ParamsMutex());
  auto& params = Params();
  params.emplace();
  for (int i = 1; i < argc; ++i)
    if (argv[i]) AddParam(*params, argv[i]);
}

std::u16string WideParamStr(int index) {
  if (index == 0) return WideGetModuleFileName();
  std::lock_guard lock(ParamsMutex());
  const auto& params = LockedParams();
  if (index < 0 || static_cast<size_t>(index) > params.size()) return {};
  return params[static_cast<size_t>(index - 1)];
}

int WideParamCount() {
  std::lock_guard lock(ParamsMutex());
  return static_cast<int>(LockedParams().size());
}

}  // namespace textlib
