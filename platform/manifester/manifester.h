#pragma once
// The drive file-list builder: walks the mapped root of one drive and writes the drive
// file list that the build run reads ("Haupt_Dateinamen_Liste_Laufwerk_X.txt", UTF-8 without
// byte-order mark, CR LF lines: a full drive-form path starts a folder, '" ' + name adds a
// further file of that folder). Folders are read in parallel by a pool of threads, but the
// list is emitted in one fixed order (names sorted by their bytes, a folder's files before
// its subfolders), so two runs over the same tree give the same bytes.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DriveListStats {
  int64_t files = 0;              // listed files
  int64_t folders = 0;            // folders read
  int64_t skippedNames = 0;       // names without a drive form, and what they held
  int64_t unreadableFolders = 0;  // folders that could not be opened or read
};

// Receives the list in pieces, in order; false stops the walk (write failure).
using DriveListSink = std::function<bool(std::string_view bytes)>;

struct DriveListOptions {
  unsigned threads = 0;  // 0: one per processor
  // A file left out of the list: the builder's own temporary output, which would
  // otherwise make the list depend on the moment it was looked at.
  std::string skipPosixFile;
};

// Streams the list of every regular file below posixRoot, written with the drive letter
// `letter`, into sink. Symbolic links are neither followed nor listed, so nothing outside
// the tree is reached and nothing is listed twice; /proc, /sys, /dev and /run are left out.
// false: the root cannot be read, or the sink failed; *error then says why.
bool WriteDriveList(char letter, const std::string& posixRoot, const DriveListSink& sink,
                    const DriveListOptions& options, DriveListStats* stats, std::string* error);

// "Haupt_Dateinamen_Liste_Laufwerk_" + letter + ".txt"
std::string DriveListFileName(char letter);

// True when `name` can stand in the list: well-formed UTF-8, no "\" (no drive form) and no
// line break the reader would split at (a name with a line break could forge a path line).
bool IsListableName(std::string_view name);

// The program: args are the command-line arguments after the program name ("open", "X").
// Writes "Datenbank/" + DriveListFileName(X) below baseFolder through an exclusive
// temporary beside it (platform::CreateExclusiveTemp), committed only when every write
// and sync succeeded, so a failed or killed run keeps the previous list. Temporaries of
// that list left by killed runs are removed first. Returns the exit status; on failure
// *message holds the text for stderr.
int RunManifester(const std::vector<std::string>& args, const std::string& baseFolder,
                  std::string* message, const DriveListOptions& options = {});

}  // namespace platform
