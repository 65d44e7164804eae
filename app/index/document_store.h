#pragma once
// The document store of one build run. Records go into an exclusive temporary file beside
// the store as they are made, so memory does not grow with the corpus, and the temporary
// file takes the store's place only when the run commits it: a crash, a kill or a full
// disk leaves the old store in place. Without a file the entries are kept in memory.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace textlib {
class THandleStream;
class TCpTextStream;
}  // namespace textlib

namespace app {

class DocumentStore {
 public:
  DocumentStore();
  ~DocumentStore();
  DocumentStore(const DocumentStore&) = delete;
  DocumentStore& operator=(const DocumentStore&) = delete;

  // Streams the following entries into a new exclusive temporary beside fileName (drive
  // form). Drops what an earlier run left unflushed. false: the temporary file cannot be
  // made (ErrorText says which and why); entries are then kept in memory and Flush fails.
  bool BeginFile(std::u16string_view fileName);
  // One entry of the store, written with CR LF behind it.
  void Append(std::u16string_view entry);
  int64_t EntryCount() const { return entries_; }
  // The entries not yet written out (all of them without a file).
  const std::u16string& PendingText() const { return pending_; }
  // A write failed: the run must stop, the store is not complete.
  bool Failed() const { return failed_; }

  // Completes the streamed temporary (everything written and synced to the disk) and
  // leaves it for the caller to put in place; its POSIX path, empty on failure.
  std::string Finish();
  // Finish and put the temporary in place of fileName (entries kept in memory are
  // written whole). false on any failure, the old file then stays.
  bool Flush(std::u16string_view fileName);
  // Forgets everything and removes a temporary file.
  void Discard();
  const std::u16string& ErrorText() const { return error_; }

 private:
  void WritePending();
  void WriteSlice(std::u16string_view text);
  void CloseStreams();
  void Fail(std::u16string_view what);

  std::string tempPath_;  // POSIX
  std::u16string fileName_;
  std::unique_ptr<textlib::THandleStream> file_;
  std::unique_ptr<textlib::TCpTextStream> text_;
  std::u16string pending_;
  int64_t entries_ = 0;
  bool failed_ = false;
  std::u16string error_;
};

// "Die Datei <name> kann nicht geschrieben werden: <the system's reason>".
std::u16string WriteErrorText(std::u16string_view fileName);

}  // namespace app
