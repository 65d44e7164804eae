#include "app/forms/database_list.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>

#include "app/index/database_set.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/job_chain.h"
#include "textlib/errors.h"
#include "textlib/io/unistrings.h"
#include "textlib/unicode.h"

namespace app {
namespace {

bool EndsWithIgnoringCase(const std::u16string& lower, std::u16string_view suffix) {
  return lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

// What may stand after a file's name: nothing, a writer's temporary ending, or the
// archive store moved aside while the extractor starts (".vorher").
bool IsWritersEnding(std::string_view tail) {
  return tail.empty() || tail == ".vorher" || IsTemporaryEnding(tail);
}

bool IsFileOf(std::string_view file, std::string_view db, const std::vector<std::u16string_view>& suffixes) {
  if (!file.starts_with(db)) return false;
  file.remove_prefix(db.size());
  for (std::u16string_view suffix : suffixes) {
    const std::string bytes = platform::WideToPosixUtf8(suffix);
    if (StartsWithIgnoringAsciiCase(file, bytes) && IsWritersEnding(file.substr(bytes.size()))) return true;
  }
  return false;
}

// Unlinks every entry of `folder` that is no folder and whose name `belongs` accepts.
bool DeleteEntries(std::u16string_view folder, const std::function<bool(std::string_view)>& belongs) {
  std::string posix = platform::PosixPath(folder);
  if (posix.empty()) return false;
  if (posix.back() != '/') posix += '/';
  const auto entries = platform::ListDirectory(posix);
  if (!entries) return platform::LastError() == ENOENT;
  bool ok = true;
  for (const auto& e : *entries) {
    if (!belongs(e.name)) continue;
    const std::string path = posix + e.name;
    const auto st = platform::Stat(path, false);
    if (!st || st->isDirectory) continue;
    if (!platform::RemoveFile(path) && platform::LastError() != ENOENT) ok = false;
  }
  return ok;
}

}  // namespace

std::vector<std::u16string> DatabaseNamesIn(std::u16string_view dbFolder) {
  std::vector<std::u16string> names;
  const auto entries = platform::ListDirectory(platform::PosixPath(dbFolder));
  if (!entries) return names;
  for (const auto& e : *entries) {
    const auto wide = platform::PosixUtf8ToWide(e.name);
    if (!wide) continue;
    const std::u16string& name = *wide;
    const std::u16string lower = textlib::UnicodeLowerCase(name);
    if (!EndsWithIgnoringCase(lower, u".dat")) continue;
    if (lower.find(u"_mht.dat") != std::u16string::npos || lower.find(u"_temp.dat") != std::u16string::npos) {
      continue;
    }
    names.push_back(name.substr(0, name.size() - 4));
  }
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    const std::u16string la = textlib::UnicodeLowerCase(a), lb = textlib::UnicodeLowerCase(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

void RemoveEntriesEqual(std::vector<std::u16string>& list, std::u16string_view text) {
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i] == text) list.erase(list.begin() + std::ptrdiff_t(i));
  }
}

void UpdateSearchHistory(std::vector<std::u16string>& list, const std::u16string& text) {
  // "Contains and is as long as" is equality: a repeat moves to the top.
  for (auto& entry : list) {
    if (entry == text) entry.clear();
  }
  RemoveEntriesEqual(list, u"");
  list.insert(list.begin(), text);
  static constexpr std::u16string_view kRefusal = u"Sie_haben_keinen_Suchtext_eingegeben!";
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i].find(kRefusal) != std::u16string::npos && list[i].size() == text.size()) {
      list.erase(list.begin() + std::ptrdiff_t(i));
      break;
    }
  }
  if (list.size() > size_t(kHistoryLimit)) list.pop_back();
}

bool SaveHistoryFile(const std::vector<std::u16string>& list, std::u16string_view fileName) {
  textlib::TUniStringList lines;
  for (const auto& entry : list) lines.Add(entry);
  try {
    lines.SaveToFile(fileName);
  } catch (const textlib::Exception&) {
    return false;
  }
  return true;
}

const std::vector<std::u16string_view>& HistoryFileSuffixes() {
  static const std::vector<std::u16string_view> suffixes = {u"_Ansi_Suchwoerterliste.txt",
                                                            u"_Utf8_Suchwoerterliste.txt", u"_MHT_Suchwoerterliste.txt",
                                                            u"_Gesamt_OhneDB_Suchwoerterliste.txt"};
  return suffixes;
}

const std::vector<std::u16string_view>& StoreFileSuffixes() {
  static const std::vector<std::u16string_view> suffixes = {
      u"_AnsiDokument.txt",         u"_UTF8Dokument.txt",         u"_MHTtext.txt",
      u"_Ansi_TitelPositionen.txt", u"_Utf8_TitelPositionen.txt", u"_MHT_TitelPositionen.txt"};
  return suffixes;
}

DeletionOutcome DeleteDatabaseFiles(std::u16string_view dbFolder, std::u16string_view historyFolder,
                                    std::u16string_view name) {
  // An empty name would make every file of a suffix "belong" to it.
  if (name.empty()) return DeletionOutcome::Incomplete;
  // Held until the files are gone. Without a lock for another reason (no folder, a
  // read-only one) the deletion goes on and finds out for itself.
  const std::optional<platform::FileLock> lock =
      LockDatabase(std::u16string(dbFolder), std::u16string(name), platform::FileLock::Kind::Exclusive);
  if (!lock && platform::LastError() == EWOULDBLOCK) return DeletionOutcome::InUse;
  const std::string db = platform::WideToPosixUtf8(name);
  const std::string lockName = db + ".lock";
  const bool ok = DeleteEntries(dbFolder, [&](std::string_view file) {
    return file == lockName || IsFileOf(file, db, DatabaseFileSuffixes());
  });
  const bool historyOk =
      DeleteEntries(historyFolder, [&](std::string_view file) { return IsFileOf(file, db, HistoryFileSuffixes()); });
  // A cancelled extraction's texts wait in the database's job folder.
  const std::string job = platform::PosixPath(platform::chain::JobFolder(dbFolder, name));
  const bool jobOk = !platform::Stat(job, false) || platform::RemoveTreeNoFollow(job);
  return ok && historyOk && jobOk ? DeletionOutcome::Deleted : DeletionOutcome::Incomplete;
}

}  // namespace app
