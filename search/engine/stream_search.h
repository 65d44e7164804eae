#pragma once
// Finds a text in a stream of any size without loading it: block by block, in the
// document's encoding, forward or backward, with or without case, optionally as a whole
// word, reporting progress between blocks. Consecutive blocks overlap by one character
// more than the text, so a match across a block end is found in the next block; the
// whole-word test reads the real neighbours in the stream, so results never depend on
// the block size.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "search/engine/block_cache.h"
#include "search/engine/viewer_encoding.h"
#include "textlib/errors.h"
#include "textlib/stream.h"

namespace search {

struct MatchOptions;
class ReadAhead;

// Option bits.
inline constexpr uint8_t kSearchCaseSensitive = 1;
inline constexpr uint8_t kSearchWholeWords = 2;
inline constexpr uint8_t kSearchBackward = 4;

using TStreamSearchProgress =
    std::function<void(int64_t currentPos, int64_t maximalPos, bool& continueSearching)>;

// What find-next takes from the search window: its two check boxes and the shared search
// state of a database search run.
class FindNextSource {
 public:
  virtual ~FindNextSource() = default;
  virtual bool GrossKleinBeachten() const = 0;
  virtual bool NurGanzeWoerter() const = 0;
  virtual const std::u16string& CurrentSearchText() const = 0;
  virtual const std::u16string& Dokumentmarke() const = 0;
  virtual bool QuietFlag() const = 0;
};

class EStreamSearchReadError : public textlib::Exception {
 public:
  using Exception::Exception;
};

class TStreamSearch {
 public:
  static constexpr int64_t kDefaultBlockSize = 65536;
  // A file opened by name is read without seeks in blocks of this size, unless BlockSize
  // asks for another.
  static constexpr int64_t kFileBlockSize = int64_t{1} << 20;

  TStreamSearch() = default;
  ~TStreamSearch();
  TStreamSearch(const TStreamSearch&) = delete;
  TStreamSearch& operator=(const TStreamSearch&) = delete;

  // Opens the file (drive form) for reading; an empty name only closes. The open error
  // of the file stream propagates.
  void OpenSearchFile(const std::u16string& fileName);
  // Searches a stream the caller keeps.
  void AssignSearchStream(textlib::TStream* stream);
  void CloseSearchFile();
  // The buffer the opened file is read through, for a viewer of the same file to share.
  std::shared_ptr<TBlockCache> Cache() const { return cache_; }

  bool FindFirst(const std::u16string& text, TViewerEncoding encoding, uint8_t options, int64_t start);
  bool FindNext(bool backward);

  // A match found by other means (a record opening known from the title positions):
  // FindNext goes on after it as after one of its own.
  void SetFound(int64_t start, int64_t length) {
    foundStart_ = start;
    foundLength_ = length;
  }
  int64_t FoundStart() const { return foundStart_; }
  int64_t FoundLength() const { return foundLength_; }
  int CharSize() const { return charSize_; }
  const std::u16string& FileName() const { return fileName_; }

  TStreamSearchProgress OnProgress;
  const FindNextSource* NextSource = nullptr;
  // Bytes per block; tests use tiny blocks. Raised as needed to hold twice the text.
  int64_t BlockSize = kDefaultBlockSize;
  // The 8-bit text and stream are UTF-8 (the text given one byte per unit): without case
  // they are compared character by character with Unicode case folding, not byte by
  // byte through the ANSI code page.
  bool TextIsUtf8 = false;

 private:
  int64_t FindInStream(const std::u16string& text, TViewerEncoding encoding, uint8_t options, int64_t start);
  bool Progress(int64_t position, int64_t size);
  void ClearSaved();

  std::u16string fileName_;
  std::shared_ptr<TBlockCache> cache_;  // the file opened by OpenSearchFile
  // The matchers of the last searches, kept while their text and options repeat (a store
  // search alternates between two texts, step after step).
  struct KeptMatcher;
  const KeptMatcher& Matcher(const std::u16string& text, const MatchOptions& options, bool folding);
  std::shared_ptr<KeptMatcher> kept_[2];
  // The readers of a file's blocks, made at the first scan far from the file's end and
  // kept for the next steps while the file stays open.
  std::shared_ptr<ReadAhead> reader_;
  textlib::TStream* stream_ = nullptr;
  int64_t foundStart_ = -1;
  int64_t foundLength_ = 0;
  int64_t matchLength_ = 0;  // bytes of the match FindInStream found
  int charSize_ = 1;
  std::u16string savedText_;
  TViewerEncoding savedEncoding_ = vEncANSI;
  uint8_t savedOptions_ = 0;
};

}  // namespace search
