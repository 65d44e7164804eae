#pragma once
// The extractor chain between the main program and the processes of one extraction job.
// A job belongs to one database and lives in a folder of its own, so two databases' jobs
// never see each other's files. The main program starts the first process with two
// locks it inherits: the database's build lock and the chain's own lock. Each process
// passes both on to its successor, so the database stays locked, and the chain's lock
// held, until the last process of the job has ended, even when the main program is gone.
// The main program learns the chain's end from the chain's lock and its outcome only
// from the result file the last process writes after the store and the log.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window_directory.h"

namespace platform::chain {

// The inherited lock descriptors, "3,4".
inline constexpr char kFilesVariable[] = "QUARRY_CHAIN_FILES";
// The window of the process that started this one: the only addressee of its start-up
// notice, "pid:listener:window".
inline constexpr char kPredecessorVariable[] = "QUARRY_PREDECESSOR";

// Folder of every job below the database folder's "Temp\"; emptying "Temp" keeps it.
inline constexpr std::u16string_view kJobsFolderName = u"Gleaner";

// The job folder of a database: dbFolder + "Temp\Gleaner\" + db + "\" (drive form).
std::u16string JobFolder(std::u16string_view dbFolder, std::u16string_view dbName);
// Files in the job's Temp folder (the store's folder + "Temp\"), named after the database.
std::u16string ResultFile(std::u16string_view tempFolder, std::u16string_view dbName);  // db + "_Ergebnis.txt"
std::u16string CancelFile(std::u16string_view tempFolder, std::u16string_view dbName);  // db + "_Abbruch.txt"
std::u16string LockFile(std::u16string_view tempFolder, std::u16string_view dbName);    // db + "_Kette.lock"

enum class Outcome { Finished, Cancelled, Failed };
struct Result {
  Outcome outcome = Outcome::Failed;
  std::u16string text;  // why, for a failure
};
// "Fertig", "Abgebrochen" or "Fehler", CR LF, then the text (UTF-8).
std::string ResultBytes(const Result& result);
std::optional<Result> ParseResult(std::string_view bytes);

std::string FormatHandle(const WindowHandle& handle);
std::optional<WindowHandle> ParseHandle(std::string_view text);

// What this process inherited as part of a chain.
struct Inheritance {
  std::vector<int> files;  // open descriptors, close-on-exec from now on
  std::optional<WindowHandle> predecessor;
  bool InChain() const { return !files.empty(); }
};
// Reads (and removes) the two variables, so that no other program started from here
// takes them for its own.
Inheritance TakeInheritance();

// The variable text for passing `count` files on as descriptors 3, 4, ...
std::string FilesText(size_t count);

}  // namespace platform::chain
