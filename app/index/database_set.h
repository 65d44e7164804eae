#pragma once
// A database's files change as one set. A build writes the description, the store and the
// archive list under exclusive temporary names and commits them together through a small
// journal, so a kill at any moment leaves either the old or the new set; a build holds an
// advisory lock on the database, and a search takes a shared one.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace app {

// Puts every temporary in place of its target as one step: the list of renames is written
// to the journal first (synced), then the renames are made in order, then the journal is
// removed. A kill in between leaves the journal, and RollForwardDatabase completes it.
bool CommitDatabaseFiles(const std::string& journal, const std::vector<std::pair<std::string, std::string>>& renames);
// Completes an interrupted commit of the database (drive-form folder ending in "\").
// Every reader and writer of a database calls it first. It also puts back an archive
// store that an extraction of an earlier version left moved aside.
void RollForwardDatabase(const std::u16string& dbFolder, const std::u16string& dbName);
// Removes the temporaries that a killed run of the database left in its folder.
void RemoveDatabaseLeftovers(const std::u16string& dbFolder, const std::u16string& dbName);

// The endings of a database's files after its name, as the program names them; the
// deletion of a database removes them all.
const std::vector<std::u16string_view>& DatabaseFileSuffixes();
// What stands after a file's name while a writer replaces it: ".schreiben", the older
// ".quarry-tmp", or an exclusive temporary's ".tmp" + process id + "-" + letters and digits.
bool IsTemporaryEnding(std::string_view tail);

// The database's lock file "<db>.lock" in its folder: exclusive for a build, shared for a
// search; nullopt when the other side holds it.
std::optional<platform::FileLock> LockDatabase(const std::u16string& dbFolder, const std::u16string& dbName,
                                               platform::FileLock::Kind kind);

}  // namespace app
