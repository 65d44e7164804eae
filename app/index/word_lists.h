#pragma once
// The sorted word and phrase lists of a database: every word and/or phrase of its document
// stores in five buckets by first character, each sorted case-insensitively in the user's
// locale without duplicates, then the sorted document paths. Each store is read line by
// line in its own encoding, so no word, line break or character is ever cut apart. The
// entries are collected (exact repeats dropped at once through a hash table) and sorted by
// collation keys; where two entries collate equal the first one met is kept. Memory stays
// within a fixed budget whatever the store's size: when the collected entries reach it
// they are sorted into a run on disk (a temporary without a name) and the runs are merged
// at the end, which gives the same list as one sort in memory. The list file is written as
// it is merged. The search window shows what a run reports through WordListStatus.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The three radio buttons "Nur Wörter", "Nur Sätze (Phrasen)", "Wörter und Sätze".
enum class WordListMode { Words, Phrases, Both };

// The UTF-8 store <db>_UTF8Dokument.txt and the MHT store <db>_MHTtext.txt (UTF-16).
enum class StoreKind { Utf8, Mht };

// What the search window shows of a run. Every method has a harmless default, so a
// headless caller overrides only what it shows.
class WordListStatus {
 public:
  virtual ~WordListStatus() = default;
  // The window's caption; empty clears it.
  virtual void SetCaption(std::u16string_view /*text*/) {}
  // The sort panel's label (Label4).
  virtual void SetLabel(std::u16string_view /*text*/) {}
  virtual void SetProgressMax(int64_t /*max*/) {}
  virtual void SetProgress(int64_t /*position*/) {}
  // true: the document buttons, the list and search controls and OKBtn are disabled;
  // false: the sort button, the search entries, the case and whole-word boxes,
  // SpeedButton2, CancelBtn, WeiterSuche and the three radio buttons are enabled again.
  virtual void SetRunning(bool /*running*/) {}
  // The browse buttons of the ANSI, UTF-8 and MHT stores after a list was written.
  virtual void SetDocumentButtons(bool /*ansi*/, bool /*utf8*/, bool /*mht*/) {}
  // The drive under which the database's files are found now (the search's relocation drive).
  virtual void SetRelocationDrive(std::u16string_view /*drive*/) {}
  // Information and error boxes; default: the platform's message-box sink.
  virtual void ShowInformation(std::u16string_view text);
  virtual void ShowError(std::u16string_view text);
  // Processes pending window messages; default: the platform's pump hook.
  virtual void ProcessMessages();
  // Waits a moment so the full progress bar is seen; default: returns at once.
  virtual void Pause(int /*milliseconds*/) {}
};

enum class WordListOutcome {
  Done,
  NoDocuments,  // neither store exists; the information box was shown
  Cancelled,    // nothing was written
  ReadFailed,   // a store could not be read; the error box was shown
  WriteFailed,  // a list file could not be written; the error box was shown, the old file stays
};

// The texts of the run, as the window shows them.
std::u16string NoDocumentsText(std::u16string_view dbName);
inline constexpr std::u16string_view kSortCancelText = u"Abbruch durch Benutzer! Bitte Geduld! Ich höre gleich auf!";
inline constexpr std::u16string_view kSortDoneText = u"Fertig";

// "Datenbank\<db>_Phrasen_Woerter_Utf8Liste.txt" or "..._MHTListe.txt" below the base folder.
std::u16string WordListFileName(std::u16string_view baseFolder, std::u16string_view dbName, StoreKind kind);

// The button "Sortierte Listen erstellen" after the window has closed its viewer file:
// empties "Datenbank\Temp\", then builds and writes the list of each store of the
// database that holds more than 4 bytes (the UTF-8 store first). The caller resets
// cancelRequested before the call; the cancel button sets it while the run processes
// messages, and the run then stops without writing. baseFolder is in drive form and
// ends with "\".
struct StoreReadOptions;
// options: the driver's benchmarks change the memory budget.
WordListOutcome SortierteListenErstellen(std::u16string_view baseFolder, std::u16string_view dbName,
                                         WordListMode mode, WordListStatus& status, const bool& cancelRequested,
                                         const StoreReadOptions& options);
WordListOutcome SortierteListenErstellen(std::u16string_view baseFolder, std::u16string_view dbName,
                                         WordListMode mode, WordListStatus& status, const bool& cancelRequested);

// The cancel button during a run: sets the flag and shows the cancel text in the caption.
void SortAbbrechen(WordListStatus& status, bool& cancelRequested);

// ---- One store, for the run above, the driver and tests ----

// Buckets 1-5 (A-F/Ä, G-L, M-R/Ö, S-Z/Ü, the rest) and the path list, each sorted, the
// entries as the list file holds them (decoded from the store's encoding).
struct StoreLists {
  std::array<std::vector<std::u16string>, 6> lists;
  int64_t documents = 0;
};

// The memory the sorting of one store may hold (its entries, keys and buffers).
inline constexpr size_t kWordListMemoryBudget = size_t{128} << 20;

struct StoreReadOptions {
  size_t blockBytes = size_t{1} << 20;  // bytes read at a time; lines may cross blocks
  size_t memoryBudget = kWordListMemoryBudget;
  size_t mergeFanIn = 64;  // runs merged at a time; more are merged in passes
};

// What a run took, for tests and benchmarks.
struct StoreListStats {
  int64_t runs = 0;       // sorted runs written to disk; 0 when everything fitted
  int64_t peakBytes = 0;  // the most the sorting held by its own count
  int64_t documents = 0;  // document lines met
};

enum class StoreListResult { Done, Cancelled, ReadFailed, WriteFailed };

class StoreProgress {
 public:
  virtual ~StoreProgress() = default;
  // Called at the first line and then every few thousand lines and tokens, with the
  // documents met so far, their total (0 in the counting pass) and the last path.
  virtual void Tick(int64_t /*document*/, int64_t /*total*/, std::u16string_view /*path*/) {}
  // The counting pass is over.
  virtual void Counted(int64_t /*total*/) {}
};

// The lists of a store file (POSIX path). markerDrive is the drive letter of the
// database's document marker "#X:\" (empty: none). nullopt when cancelled or when the
// file cannot be read.
// The lists in memory, for tests; runs spill beside the store.
std::optional<StoreLists> CollectStoreLists(const std::string& posixPath, StoreKind kind, WordListMode mode,
                                            std::u16string_view markerDrive, StoreProgress& progress,
                                            const bool& cancelRequested, const StoreReadOptions& options = {},
                                            StoreListStats* stats = nullptr);

// The list file of a store (POSIX paths), the bytes WriteToStream(WordListText(...)) gives,
// made within the memory budget: written to an exclusive temporary beside it that takes its
// place when complete, so a cancel or a failure keeps the old list (LastError() holds a
// failure's reason). Temporaries of the list that a killed run left are removed first.
StoreListResult WriteStoreList(const std::string& storePath, StoreKind kind, WordListMode mode,
                               std::u16string_view markerDrive, StoreProgress& progress, const bool& cancelRequested,
                               const std::string& listPath, const StoreReadOptions& options = {},
                               StoreListStats* stats = nullptr);

// The list file's text: every entry of buckets 1-5 and the path list followed by CR LF.
// For the UTF-8 kind a path list of exactly one entry gets an entry " " first.
std::u16string WordListText(StoreLists lists, StoreKind kind);

// The collation keys the lists are sorted by: a's key below b's exactly when the wide
// list's case-insensitive comparison in the user's locale puts a before b.
std::string CollationKey(std::u16string_view text);

}  // namespace app
