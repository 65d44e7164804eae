#pragma once
// A database's files change as one set. A build writes the description, the store and the
// archive list under exclusive temporary names and commits them together through a small
// journal, so a kill at any moment leaves either the old or the new set; a build holds an
// advisory lock on the database, and a search takes a shared one.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace app {

// Puts every temporary in place of its target as one step: the list of renames is written
// to the journal first (synced), then the renames are made in order, then the journal is
// removed. A kill in between leaves the journal, and RollForwardDatabase completes it.
bool CommitDatabaseFiles(const std::string& journal, const std::vector<std::pair<std::string, std::string>>& renames);
// Completes an interrupted commit of the database (drive-form folder ending in "\").
// Every reader and writer of a database calls it first.
void RollForwardDatabase(const std::u16string& dbFolder, const std::u16string& dbName);
// Removes the temporaries that a killed run of the database left in its folder.
void RemoveDatabaseLeftovers(const std::u16string& dbFolder, const std::u16string& dbName);

// The database's lock file "<db>.lock" in its folder: exclusive for a build, shared for a
// search; nullopt when the other side holds it.
std::optional<platform::FileLock> LockDatabase(const std::u16string& dbFolder, const std::u16string& dbName,
                                               platform::FileLock::Kind kind);

}  // namespace app
