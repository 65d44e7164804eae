#include "app/index/database_set.h"

#include "platform/codepage.h"
#include "platform/drives.h"

namespace app {
namespace {

std::string Folder(const std::u16string& dbFolder) {
  std::string posix = platform::PosixPath(dbFolder);
  if (!posix.empty() && posix.back() != '/') posix += '/';
  return posix;
}

// The files a database consists of, by the ending after its name.
constexpr std::string_view kOwnSuffixes[] = {
    ".dat",          "_UTF8Dokument.txt",         "_MHTtext.txt",        "_Utf8_TitelPositionen.txt",
    "_MHT_TitelPositionen.txt", "_Ansi_TitelPositionen.txt", ".log",   "_MHT.log",
    "_mht.dat",      "_mht_temp.dat",             "_Phrasen_Woerter_Utf8Liste.txt", "_Phrasen_Woerter_MHTListe.txt",
    ".commit"};

// "<suffix>.tmp<digits>-<hex>" as made by CreateExclusiveTemp, or the older ".schreiben".
bool IsTemporaryOf(std::string_view rest) {
  for (std::string_view suffix : kOwnSuffixes) {
    if (!rest.starts_with(suffix)) continue;
    const std::string_view tail = rest.substr(suffix.size());
    if (tail == ".schreiben") return true;
    if (!tail.starts_with(".tmp") || tail.size() < 6) continue;
    const size_t dash = tail.find('-', 4);
    if (dash == std::string_view::npos || dash == 4) continue;
    bool digits = true;
    for (size_t i = 4; i < dash; ++i) digits = digits && tail[i] >= '0' && tail[i] <= '9';
    if (digits) return true;
  }
  return false;
}

}  // namespace

namespace {

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
  RollForward(Folder(dbFolder) + platform::WideToPosixUtf8(dbName) + ".commit", Folder(dbFolder));
}

void RemoveDatabaseLeftovers(const std::u16string& dbFolder, const std::u16string& dbName) {
  const std::string folder = Folder(dbFolder), name = platform::WideToPosixUtf8(dbName);
  if (folder.empty() || !platform::IsRealDirectory(folder)) return;
  const auto entries = platform::ListDirectory(folder);
  if (!entries) return;
  for (const auto& entry : *entries) {
    if (!entry.name.starts_with(name) || !IsTemporaryOf(std::string_view(entry.name).substr(name.size()))) continue;
    const std::optional<platform::FileStat> st = platform::Stat(folder + entry.name, false);
    if (st && !st->isDirectory) platform::RemoveFile(folder + entry.name);
  }
}

std::optional<platform::FileLock> LockDatabase(const std::u16string& dbFolder, const std::u16string& dbName,
                                               platform::FileLock::Kind kind) {
  return platform::FileLock::Try(Folder(dbFolder) + platform::WideToPosixUtf8(dbName) + ".lock", kind);
}

}  // namespace app
