#include "app/index/database_set.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/drives.h"

namespace app {
namespace {

std::string Folder(const std::u16string& dbFolder) {
  std::string posix = platform::PosixPath(dbFolder);
  if (!posix.empty() && posix.back() != '/') posix += '/';
  return posix;
}

// Renames every temporary of the journal that is still there, syncs the folder and
// removes the journal; idempotent, so an interrupted pass is completed by the next.
bool RollForward(const std::string& journal, const std::string& folder) {
  const std::optional<std::string> lines = platform::ReadWholeFile(journal);
  if (!lines) return true;
  size_t start = 0;
  while (start < lines->size()) {
    size_t end = lines->find('\n', start);
    if (end == std::string::npos) end = lines->size();
    const std::string line = lines->substr(start, end - start);
    start = end + 1;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string temp = line.substr(0, tab), target = line.substr(tab + 1);
    // Only a temporary of this folder that is still there; the ones renamed before the
    // interruption are gone.
    const std::optional<platform::FileStat> st = platform::Stat(temp, false);
    if (st && st->isRegular && temp.starts_with(folder) && !platform::RenameFile(temp, target)) return false;
  }
  return platform::SyncDirectory(folder) && platform::RemoveFile(journal);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace

const std::vector<std::u16string_view>& DatabaseFileSuffixes() {
  // "_MHT.log" is the extractor's log; without it a new database of the same name would
  // show an old extraction's log.
  // ".commit" is a build's journal of renames; it belongs to the database's set.
  static const std::vector<std::u16string_view> suffixes = {u".log",
                                                            u"_MHT.log",
                                                            u".dat",
                                                            u"_mht.dat",
                                                            u"_mht_temp.dat",
                                                            u"_AnsiDokument.txt",
                                                            u"_UTF8Dokument.txt",
                                                            u"_MHTtext.txt",
                                                            u"_Ansi_TitelPositionen.txt",
                                                            u"_Utf8_TitelPositionen.txt",
                                                            u"_MHT_TitelPositionen.txt",
                                                            u"_Phrasen_Woerter_AnsiListe.txt",
                                                            u"_Phrasen_Woerter_MHTListe.txt",
                                                            u"_Phrasen_Woerter_Utf8Liste.txt",
                                                            u".commit"};
  return suffixes;
}

bool IsTemporaryEnding(std::string_view tail) {
  if (tail == ".schreiben" || tail == ".quarry-tmp") return true;
  if (!tail.starts_with(".tmp")) return false;
  tail.remove_prefix(4);
  const size_t dash = tail.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == tail.size()) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto letterOrDigit = [&](char c) { return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  return std::all_of(tail.begin(), tail.begin() + std::ptrdiff_t(dash), digit) &&
         std::all_of(tail.begin() + std::ptrdiff_t(dash) + 1, tail.end(), letterOrDigit);
}

bool CommitDatabaseFiles(const std::string& journal, const std::vector<std::pair<std::string, std::string>>& renames) {
  std::string lines;
  for (const auto& [temp, target] : renames) lines += temp + '\t' + target + '\n';
  // Nothing has changed until the journal is on the disk; from then on the new set is
  // committed, and what fails now is completed by a second pass or the next reader.
  // (A journal whose folder alone could not be synced is in place all the same.)
  if (!platform::WriteFileAtomically(journal, lines)) {
    const int error = platform::LastError();
    const bool inPlace = platform::Stat(journal, false).has_value();
    platform::SetLastError(error);
    if (!inPlace) return false;
  }
  return RollForward(journal, FolderOf(journal)) || RollForward(journal, FolderOf(journal));
}

void RollForwardDatabase(const std::u16string& dbFolder, const std::u16string& dbName) {
  const std::string folder = Folder(dbFolder), name = platform::WideToPosixUtf8(dbName);
  RollForward(folder + name + ".commit", folder);
  // Earlier versions moved the archive store aside while the extractor ran; a kill then
  // left it there. Alone it is the database's store; beside a store it is the older one.
  const std::string store = folder + name + "_MHTtext.txt", aside = store + ".vorher";
  const std::optional<platform::FileStat> asideStat = platform::Stat(aside, false);
  if (!asideStat || !asideStat->isRegular) return;
  if (platform::Stat(store, false)) {
    platform::RemoveFile(aside);
  } else {
    platform::RenameFile(aside, store);
  }
}

void RemoveDatabaseLeftovers(const std::u16string& dbFolder, const std::u16string& dbName) {
  const std::string folder = Folder(dbFolder), name = platform::WideToPosixUtf8(dbName);
  if (folder.empty() || !platform::IsRealDirectory(folder)) return;
  const auto entries = platform::ListDirectory(folder);
  if (!entries) return;
  std::vector<std::string> suffixes;
  for (std::u16string_view suffix : DatabaseFileSuffixes()) suffixes.push_back(platform::WideToPosixUtf8(suffix));
  auto isLeftover = [&](std::string_view file) {
    if (!file.starts_with(name)) return false;
    file.remove_prefix(name.size());
    for (const std::string& suffix : suffixes)
      if (file.starts_with(suffix) && IsTemporaryEnding(file.substr(suffix.size()))) return true;
    return false;
  };
  for (const auto& entry : *entries) {
    if (!isLeftover(entry.name)) continue;
    const std::optional<platform::FileStat> st = platform::Stat(folder + entry.name, false);
    if (st && !st->isDirectory) platform::RemoveFile(folder + entry.name);
  }
}

std::optional<platform::FileLock> LockDatabase(const std::u16string& dbFolder, const std::u16string& dbName,
                                               platform::FileLock::Kind kind) {
  return platform::FileLock::Try(Folder(dbFolder) + platform::WideToPosixUtf8(dbName) + ".lock", kind);
}

}  // namespace app
