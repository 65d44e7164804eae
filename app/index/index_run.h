#pragma once
// The indexing engine: one database build run without widgets. It selects the files of a
// database from the drive file list (by folder, extension slots and exclusions), writes
// the database description, turns every selected HTML file into one store record, hands
// the web archives to the extractor and writes the index log. The main window owns an
// IndexRun, fills its settings from the new-database dialog and shows what the run
// reports through IndexStatus; pending messages are processed through the platform's pump
// hook once per item, so a cancel button can set the cancel flag in the middle of a run.
#include <array>
#include <optional>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/index/database_set.h"
#include "app/index/document_store.h"
#include "app/index/exclusion_list.h"
#include "app/index/text_encoding.h"
#include "textlib/io/memobuffer.h"

namespace app {

// What the run reads of the main window and the new-database dialog.
struct IndexSettings {
  std::u16string baseFolder;     // drive form, ends with "\"; holds "Datenbank\"
  std::u16string controlFolder;  // drive form; used when useControlFolder is set
  bool useControlFolder = false;
  std::u16string programFolder;  // where the extractor lives; empty: the base folder
  std::u16string dbName;         // the dialog's name field
  std::u16string folder;         // the dialog's folder field, e.g. "D:\docs"
  char16_t driveLetter = u'C';   // the drive whose file list is read
  // ".ext" in lower case, "." or empty (the driver's extension slots).
  std::array<std::u16string, 5> slots;
  bool resumeAnswer = false;        // the user chose to continue an interrupted extraction
  // Only the description is written: no store, no archive list, no extractor. Stores of
  // an earlier build are removed, so the database is searched file by file from now on.
  bool pathListOnly = false;
  bool watchTimerRunning = false;   // the file-list builder is still being watched
  int64_t watchTickCount = 0;       // the watch timer's ticks; not 0 keeps the end text
};

// The main window's side of a run: caption, status line, cancel button, its timers and
// the services that need an event loop. Every method has a harmless default, so a
// headless caller overrides only what it shows.
class IndexStatus {
 public:
  virtual ~IndexStatus() = default;
  virtual void SetCaption(std::u16string_view /*text*/) {}
  // The status line (Label1). An override must keep StatusText() answering with it.
  virtual void SetStatusText(std::u16string_view text) { statusText_ = text; }
  virtual std::u16string StatusText() const { return statusText_; }
  virtual void SetCancelButton(std::u16string_view /*caption*/, bool /*enabled*/) {}
  virtual void StartVirusScannerNotice() {}
  virtual void StartStatusTimer() {}
  virtual void StartInterruptionReport() {}
  // The search window lets go of the store it has open.
  virtual void ReleaseSearchFile() {}
  // Writes the title positions of a store (mht: the archive store) of the database over
  // the folder `root` to titleFile; false when none were made. The engine that makes
  // them lies above this one, so the window or the driver supplies it.
  virtual bool MakeTitlePositions(const std::u16string& /*store*/, const std::u16string& /*titleFile*/, bool /*mht*/,
                                  std::u16string_view /*root*/) {
    return false;
  }
  // Whether MakeTitlePositions is supplied (a false from it is then a failure).
  virtual bool MakesTitlePositions() const { return false; }
  // Waits while processing pending messages. Default: sleeps in 10 ms steps, pumping.
  virtual void Pause(int milliseconds);
  // Monotonic milliseconds.
  virtual int64_t TickCount() const;

 private:
  std::u16string statusText_;
};

struct RunCounters {
  int64_t listedFiles = 0;  // selected files plus archives
  int64_t storedFiles = 0;  // one per store record (plus the archives)
  int64_t untriedFiles = 0;  // listed files a cancel left before the run reached them
  int64_t totalBytes = 0;   // sizes of all non-empty files read
};

enum class BuildOutcome {
  Done,
  Skipped,              // the file-list builder is still running
  NoDriveList,          // the drive file list is missing; nothing was changed
  FolderMissing,        // the drive or folder is not there (unplugged, mistyped); nothing was changed
  Locked,               // another build of the database (or its extraction) runs; nothing was changed
  WindowFolderUnusable, // the extractor's processes could not find each other; nothing was changed
  WriteFailed,          // a list, the store or the log could not be written
  Cancelled,            // the user cancelled the build; nothing was changed
  ExtractorNotStarted,  // documents are indexed, the archives are not
  ExtractorFailed,      // the extraction failed or was killed; the previous archive texts are kept
  ExtractorCancelled,   // the extraction was cancelled in its window; the previous archive texts are
                        // kept and the next update can go on with it
};

class IndexRun {
 public:
  IndexRun(IndexSettings settings, IndexStatus& status);

  IndexSettings& Settings() { return settings_; }
  const IndexSettings& Settings() const { return settings_; }
  const RunCounters& Counters() const { return counters_; }
  // The cancel button: the indexing loop stops before its next file.
  void RequestCancel() { cancelRequested_ = true; }
  bool CancelRequested() const { return cancelRequested_; }
  // The elapsed time counts from here (the driver marks the start of a create or update).
  void MarkStart();
  std::u16string ElapsedText() const;
  bool Indexing() const { return indexing_; }
  bool ExtractionResumed() const { return extractionResumed_; }

  // The whole run: selection, <db>.dat, indexing loop, store, archives, extractor.
  BuildOutcome LiesDieListeEin();
  // The indexing loop over the description this run built, into the store's temporary.
  void IndexListedFiles();
  // Writes the store of this run to <db>_UTF8Dokument.txt and empties it.
  bool FlushDocumentStore();
  // One listed file into one store record (nothing for a missing or empty file).
  void StripHTML(std::u16string_view path);

  // The working text of the last StripHTML, and the log the driver empties per run.
  const std::u16string& WorkingText() const { return memo_; }
  textlib::TMemoBuffer& LogMemo() { return logMemo_; }
  DocumentStore& Store() { return store_; }

  // Files of the database, drive form.
  std::u16string DbFolder() const;  // base + "Datenbank\"
  std::u16string DbFile(std::u16string_view suffix) const;  // DbFolder() + db + suffix
  std::u16string DriveListPath() const;

 private:
  struct Selection;
  void SelectLines(Selection& sel, bool archives);
  bool SaveBytes(const std::u16string& path, const std::string& bytes);
  // A file of the database written and synced under an exclusive temporary name.
  struct PreparedFile {
    std::string temp, target;  // POSIX
  };
  bool Prepare(const std::u16string& target, const std::string& bytes);
  bool CommitPrepared();
  // A file of the set written by `write` to an exclusive temporary beside the target.
  bool PrepareWith(const std::u16string& target, const std::function<bool(const std::u16string&)>& write);
  bool PrepareTitlePositions();
  // The four log lines into LogMemo and LogMemo into the set as <db>.log (only when bytes
  // were read).
  bool PrepareIndexLog();
  void DiscardPrepared();
  void ReportWriteFailure(const std::u16string& text);
  // Runs the extractor's chain over the job list in the job folder and waits for its
  // end. On success the new archive store and its log join the prepared set.
  BuildOutcome RunExtractor(const std::string& jobList);
  bool PrepareJobFolder(const std::u16string& jobFolder, const std::string& jobList);
  void DropPrepared(const std::u16string& target);
  void Pump();

  IndexSettings settings_;
  IndexStatus& status_;
  RunCounters counters_;
  DocumentStore store_;
  std::u16string memo_;
  textlib::TMemoBuffer logMemo_;
  ExclusionList exclusions_;
  int64_t startTick_ = 0;
  bool cancelRequested_ = false;
  bool indexing_ = false;
  bool indexingStarted_ = false;
  bool extractionResumed_ = false;
  bool storeFailed_ = false;
  std::string datBytes_;                  // the description this run builds
  std::vector<PreparedFile> prepared_;
  std::optional<platform::FileLock> lock_;  // held from the start of a run on
};

// The working text as the wide list load makes it from a file's bytes: UTF-16 in either
// order or UTF-8 behind their marks, else code page 1252; CR LF line breaks.
std::u16string LoadWorkingText(std::string_view bytes);
// The text of an HTML page as the indexer keeps it (parsed, formatted, CR LF breaks).
std::u16string FormatWorkingText(std::u16string_view text);

// " " + folder + " " + the slot text of a <db>.dat header; empty when it cannot be read.
std::u16string ReadDatHeaderPath(std::u16string_view fileName);

}  // namespace app
