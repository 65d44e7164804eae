#include "search/engine/database_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <type_traits>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "search/engine/viewer_services.h"
#include "textlib/errors.h"
#include "textlib/unicode.h"
#include "textlib/widestrings.h"

namespace search {

namespace {

// The breaks between a description's lines; the text ends at its first NUL.
bool IsByteBreak(char c) { return c >= '\n' && c <= '\r'; }
bool IsUnitBreak(char16_t c) {
  return c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r' || c == 0x2028 || c == 0x2029;
}
// The UTF-16 mark in front of a description: none, or whether it is big-endian.
std::optional<bool> Utf16Mark(std::string_view bytes) {
  const auto b0 = bytes.size() >= 2 ? static_cast<unsigned char>(bytes[0]) : 0;
  const auto b1 = bytes.size() >= 2 ? static_cast<unsigned char>(bytes[1]) : 0;
  if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return b0 == 0xFE;
  return std::nullopt;
}
char16_t UnitAt(std::string_view bytes, size_t i, bool bigEndian) {
  const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
  return bigEndian ? char16_t((a << 8) | b) : char16_t(a | (b << 8));
}

// Whether the text read so far holds all of line 0: a break or a NUL stands in it.
// `scanned` is how far earlier calls looked, so each byte is looked at once.
bool FirstLineRead(std::string_view bytes, size_t& scanned) {
  if (bytes.size() < 2) return false;  // the mark is not known yet
  if (const std::optional<bool> bigEndian = Utf16Mark(bytes)) {
    size_t i = std::max<size_t>(2, scanned);
    for (; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = UnitAt(bytes, i, *bigEndian);
      if (unit == 0 || IsUnitBreak(unit)) return true;
    }
    scanned = i;
    return false;
  }
  for (; scanned < bytes.size(); ++scanned)
    if (bytes[scanned] == '\0' || IsByteBreak(bytes[scanned])) return true;
  return false;
}

}  // namespace

bool DescriptionLines::Load(const std::u16string& fileName, bool firstLineOnly) {
  bytes_.clear();
  units_.clear();
  lines_.clear();
  wide_ = false;
  const std::string posix = platform::PosixPath(fileName);
  if (posix.empty()) return false;
  const int fd = ::open(posix.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char block[65536];
  bool ok = true;
  size_t scanned = 0;
  while (true) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes_.append(block, static_cast<size_t>(n));
    if (firstLineOnly && FirstLineRead(bytes_, scanned)) break;
  }
  ::close(fd);
  if (!ok) return false;
  // Up to the first NUL; CR LF is one break, a final break adds no empty line.
  auto split = [this](const auto& text, auto isBreak) {
    using Unit = std::decay_t<decltype(text[0])>;
    const size_t end = std::min(text.find(Unit(0)), text.size());
    for (size_t p = 0; p < end;) {
      const size_t start = p;
      while (p < end && !isBreak(text[p])) ++p;
      lines_.emplace_back(start, p - start);
      if (p < end) p += (text[p] == Unit('\r') && p + 1 < end && text[p + 1] == Unit('\n')) ? 2 : 1;
    }
  };
  if (const std::optional<bool> bigEndian = Utf16Mark(bytes_)) {
    wide_ = true;
    units_.assign((bytes_.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < units_.size(); ++i) units_[i] = UnitAt(bytes_, 2 + 2 * i, *bigEndian);
    bytes_.clear();
    split(units_, IsUnitBreak);
  } else {
    // Code page 1252 gives no byte the line separators U+2028 and U+2029.
    split(bytes_, IsByteBreak);
  }
  return true;
}

std::string DescriptionLines::Ansi(int i) const {
  const auto& [start, length] = lines_[static_cast<size_t>(i)];
  if (wide_) return platform::WideToAnsi(std::u16string_view(units_).substr(start, length));
  return bytes_.substr(start, length);
}

std::u16string LiesWurzelPfad(const std::u16string& descriptionFile) {
  if (!FileExistsNotDirectory(descriptionFile)) return {};
  DescriptionLines lines;
  if (!lines.Load(descriptionFile, true) || lines.Count() == 0) return {};
  // The key is ASCII, and the code page maps one unit to one byte.
  std::string line = lines.Ansi(0);
  static constexpr std::string_view kKey = "PFAD_UND_ENDUNGEN=";
  if (const size_t at = line.find(kKey); at != std::string::npos) line.erase(at, kKey.size());
  return textlib::DecodeUtf8(line);
}

std::u16string LaufwerkSuchen(const std::u16string& path) {
  if (path.empty()) return {};
  const std::u16string rest = path.substr(1);
  if (FileExistsNotDirectory(rest)) return {};
  std::u16string found;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    if (letter == u'C') continue;
    if (FileExistsNotDirectory(std::u16string(1, letter) + rest)) found = std::u16string(1, letter);
  }
  return found;
}

namespace {

bool IsResultPageName(std::string_view name) {
  return name.starts_with("QY_Ergebnis") && name.ends_with(".htm");
}

// The files of a folder, never of a folder a link points to: a working folder that is a
// link would have the files it points to deleted. An entry is looked at (without
// following a link) only where the folder's listing does not say that it is a plain file:
// a search lists hundreds of pages here at its start and its end.
template <typename Act>
void ForEachFile(const std::u16string& folder, Act act) {
  const std::string posix = platform::PosixPath(folder);
  if (posix.empty() || !platform::IsRealDirectory(posix)) return;
  const auto entries = platform::ListDirectory(posix);
  if (!entries) return;
  for (const auto& entry : *entries) {
    if (entry.type == platform::DirEntry::Type::Directory) continue;
    const std::string path = posix + (posix.ends_with('/') ? "" : "/") + entry.name;
    bool regular = entry.type == platform::DirEntry::Type::File;
    if (!regular) {
      const auto st = platform::Stat(path, false);
      if (!st || st->isDirectory) continue;
      regular = st->isRegular;
    }
    act(entry.name, path, regular);
  }
}

}  // namespace

void DateienLoeschen(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string&, const std::string& path, bool) {
    platform::RemoveFile(path);
  });
}

void RemoveAllButPages(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string& name, const std::string& path, bool regular) {
    if (!(IsResultPageName(name) && regular)) platform::RemoveFile(path);
  });
}

void EmptyPages(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string& name, const std::string& path, bool regular) {
    if (IsResultPageName(name) && regular && !platform::TruncateRegularFile(path)) platform::RemoveFile(path);
  });
}

void RemoveEmptyPages(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string& name, const std::string& path, bool regular) {
    if (!regular || !IsResultPageName(name)) return;
    const auto st = platform::Stat(path, false);
    if (st && st->isRegular && st->size == 0) platform::RemoveFile(path);
  });
}

}  // namespace search
