#include "app/index/profile_file.h"

#include "app/index/text_encoding.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/unicode.h"

namespace app {
namespace {

// Blanks, tabs and control characters, as the platform's profile reader trims.
bool IsBlank(char16_t unit) { return unit <= u' '; }

std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::u16string Folded(std::u16string_view name) { return textlib::UnicodeLowerCase(Trimmed(name)); }

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  // An odd last byte is no unit.
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
  }
  return text;
}

}  // namespace

std::u16string DecodeProfileText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return Utf8OrCp1252ToWide(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16Units(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return Utf16Units(bytes.substr(2), true);
  if (ClassifyUtf8(bytes) == 1) {
    if (auto text = platform::PosixUtf8ToWide(bytes)) return *text;
  }
  return platform::AnsiToWide(bytes);
}

std::optional<ProfileFile> ProfileFile::Load(std::u16string_view path) {
  const std::string posix = platform::PosixPath(path);
  const auto st = platform::Stat(posix);
  if (!st || !st->isRegular) return std::nullopt;
  auto bytes = platform::ReadWholeFile(posix);
  if (!bytes) return std::nullopt;
  return FromBytes(*bytes);
}

ProfileFile ProfileFile::FromBytes(std::string_view bytes) { return FromText(DecodeProfileText(bytes)); }

ProfileFile ProfileFile::FromText(std::u16string_view text) {
  ProfileFile file;
  bool inSection = false;
  std::u16string section;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(u"\r\n", pos);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = Trimmed(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == u'\r') ++pos;
    if (pos < text.size() && text[pos] == u'\n') ++pos;

    if (line.empty() || line.front() == u';') continue;
    if (line.front() == u'[') {
      std::u16string_view name = line.substr(1);
      const size_t close = name.rfind(u']');
      if (close != std::u16string_view::npos) name = name.substr(0, close);
      section = Folded(name);
      file.sections_.push_back(section);
      inSection = true;
      continue;
    }
    const size_t equals = line.find(u'=');
    // Lines before the first section and lines without "=" name nothing.
    if (!inSection || equals == std::u16string_view::npos) continue;
    std::u16string_view value = Trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    file.entries_.push_back({section, Folded(line.substr(0, equals)), std::u16string(value)});
  }
  return file;
}

std::u16string ProfileFile::ReadString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view fallback) const {
  const std::u16string s = Folded(section), k = Folded(key);
  for (const Entry& e : entries_)
    if (e.section == s && e.key == k) return e.value;
  return std::u16string(fallback);
}

bool ProfileFile::HasSection(std::u16string_view section) const {
  const std::u16string s = Folded(section);
  for (const auto& name : sections_)
    if (name == s) return true;
  return false;
}

}  // namespace app
