#pragma once
// The document store of one build run. Records go into a temporary file beside the store
// as they are made, so memory does not grow with the corpus, and the temporary file
// replaces the store only when the run flushes: a crash or a full disk leaves the old
// store in place. Without a file the entries are kept in memory.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace textlib {
class TUniFileStream;
class TCpTextStream;
}  // namespace textlib

namespace app {

class DocumentStore {
 public:
  DocumentStore();
  ~DocumentStore();
  DocumentStore(const DocumentStore&) = delete;
  DocumentStore& operator=(const DocumentStore&) = delete;

  // Streams the following entries into a temporary sibling of fileName (drive form).
  // Drops what an earlier run left unflushed. false: the temporary file cannot be made
  // (ErrorText says which); entries are then kept in memory and Flush fails.
  bool BeginFile(std::u16string_view fileName);
  // One entry of the store, written with CR LF behind it.
  void Append(std::u16string_view entry);
  int64_t EntryCount() const { return entries_; }
  // The entries not yet written out (all of them without a file).
  const std::u16string& PendingText() const { return pending_; }

  // Writes the store as UTF-8 without byte-order mark to fileName and empties it: the
  // streamed temporary file is completed and renamed; entries kept in memory are written
  // whole. false on any failure, the old file then stays.
  bool Flush(std::u16string_view fileName);
  // Forgets everything and removes a temporary file.
  void Discard();
  const std::u16string& ErrorText() const { return error_; }

 private:
  void WritePending();
  void CloseStreams();

  std::u16string tempName_;
  std::unique_ptr<textlib::TUniFileStream> file_;
  std::unique_ptr<textlib::TCpTextStream> text_;
  std::u16string pending_;
  int64_t entries_ = 0;
  bool failed_ = false;
  std::u16string error_;
};

}  // namespace app
