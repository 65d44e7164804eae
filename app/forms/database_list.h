#pragma once
// The pieces of the main window's database list that need no window: which files make
// entries, the search history rule, the files a deletion removes, and the selection
// colour.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/index/database_set.h"

#include "app/settings/colors.h"

namespace app {

// The database names in a "Datenbank\" folder (drive form, ending in "\"): every
// "*.dat" except the archive and resume lists, without ".dat". Sorted by name ignoring
// case, so the stored selection index names the same entry on every start (directory
// order is arbitrary here).
std::vector<std::u16string> DatabaseNamesIn(std::u16string_view dbFolder);

inline constexpr int kHistoryLimit = 50;
// Deletes every entry equal to the text, from the last to the first.
void RemoveEntriesEqual(std::vector<std::u16string>& list, std::u16string_view text);
// The history after a search for `text`: newest first, no repeats (compared exactly),
// at most kHistoryLimit entries.
void UpdateSearchHistory(std::vector<std::u16string>& list, const std::u16string& text);
// A wide list file with byte-order mark; false when it could not be written.
bool SaveHistoryFile(const std::vector<std::u16string>& list, std::u16string_view fileName);

// What a database's deletion removes: files of "Datenbank\" (DatabaseFileSuffixes, with
// the engine) and of its "Suchwoerterlisten\" folder, each name the database name plus
// the suffix.
const std::vector<std::u16string_view>& HistoryFileSuffixes();
// The stores and title positions only (the database keeps its description and log).
const std::vector<std::u16string_view>& StoreFileSuffixes();

// Deletes database `name`'s files: in `dbFolder` ("Datenbank\", drive form ending in "\")
// every <name> + DatabaseFileSuffixes() and in `historyFolder` every <name> +
// HistoryFileSuffixes() (suffixes compared ignoring case, as the list finds "B.DAT"),
// together with what writing one of them may have left: the same name + ".schreiben",
// ".quarry-tmp", ".vorher" or ".tmp<pid>-<letters and digits>", and "<name>.lock" in
// `dbFolder`. A name must be exactly <name> followed by a suffix, so "web" never takes
// "web2"'s files. Links are removed, never followed; folders are left alone.
// The database's lock is held meanwhile, so no build or search can start on it, and a
// database that one is using is not touched (InUse).
enum class DeletionOutcome { Deleted, Incomplete, InUse };
DeletionOutcome DeleteDatabaseFiles(std::u16string_view dbFolder, std::u16string_view historyFolder,
                                    std::u16string_view name);

}  // namespace app
