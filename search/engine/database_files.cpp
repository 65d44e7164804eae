#include "search/engine/database_files.h"

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "search/engine/viewer_services.h"
#include "textlib/errors.h"
#include "textlib/unicode.h"
#include "textlib/widestrings.h"

namespace search {

std::u16string LiesWurzelPfad(const std::u16string& descriptionFile) {
  if (!FileExistsNotDirectory(descriptionFile)) return {};
  textlib::TWideStringList lines;
  try {
    lines.LoadFromFile(std::u16string_view(descriptionFile));
  } catch (const textlib::Exception&) {
    return {};
  }
  if (lines.Count() == 0) return {};
  std::u16string line = lines[0];
  if (const size_t cut = line.find(u"\r\n"); cut != std::u16string::npos) line.resize(cut);
  static constexpr std::u16string_view kKey = u"PFAD_UND_ENDUNGEN=";
  if (const size_t at = line.find(kKey); at != std::u16string::npos) line.erase(at, kKey.size());
  return textlib::DecodeUtf8(platform::WideToAnsi(line));
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
// link would have the files it points to deleted.
template <typename Act>
void ForEachFile(const std::u16string& folder, Act act) {
  const std::string posix = platform::PosixPath(folder);
  if (posix.empty() || !platform::IsRealDirectory(posix)) return;
  const auto entries = platform::ListDirectory(posix);
  if (!entries) return;
  for (const auto& entry : *entries) {
    const std::string path = posix + (posix.ends_with('/') ? "" : "/") + entry.name;
    const auto st = platform::Stat(path, false);
    if (st && !st->isDirectory) act(entry.name, path, *st);
  }
}

}  // namespace

void DateienLoeschen(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string&, const std::string& path, const platform::FileStat&) {
    platform::RemoveFile(path);
  });
}

void EmptyTempKeepingPages(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string& name, const std::string& path, const platform::FileStat& st) {
    if (!(IsResultPageName(name) && st.isRegular && platform::TruncateRegularFile(path))) platform::RemoveFile(path);
  });
}

void RemoveEmptyPages(const std::u16string& folder) {
  ForEachFile(folder, [](const std::string& name, const std::string& path, const platform::FileStat& st) {
    if (IsResultPageName(name) && st.isRegular && st.size == 0) platform::RemoveFile(path);
  });
}

}  // namespace search
