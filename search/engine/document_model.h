#pragma once
// The hidden viewer's document without a window: one store or file opened by name, a
// selection, the line or word around an offset and the text of the selection. Each model
// opens its own file on every Open, so no handle is shared with another viewer and none
// outlives a rewrite of the store.
#include <cstdint>
#include <string>

#include <memory>

#include "platform/file.h"
#include "search/engine/block_cache.h"
#include "search/engine/viewer_encoding.h"

namespace search {

enum class TDocumentMode { Text, Unicode };

class TDocumentModel {
 public:
  static constexpr int64_t kMaxLineSteps = 2048;

  // Opens the file anew even when the name is the one open (the store may have been
  // rewritten). Failure: the viewer's message "Cannot open file: ..." and false.
  bool Open(const std::u16string& fileName);
  void Close();
  bool IsOpen() const { return file_.Valid(); }
  // Reads through the buffer of a stream search over the same file from now on, so the
  // lines around a hit come from the block it was found in (until the next Open).
  void ShareCache(std::shared_ptr<TBlockCache> cache) { cache_ = std::move(cache); }

  void SetMode(TDocumentMode mode);
  TDocumentMode Mode() const { return mode_; }
  int CharSize() const { return mode_ == TDocumentMode::Unicode ? 2 : 1; }
  TViewerEncoding TextEncoding = vEncANSI;

  int64_t FileSize() const { return size_; }
  int64_t LastPos() const;
  // Ignored for a start below 0 or beyond LastPos and for a negative length.
  void SetSelection(int64_t start, int64_t length);
  // Kind 0 selects the line, kind 1 the word around the offset (at most 2048 characters
  // on each side); an offset outside the document leaves the selection as it is.
  void SelectAt(int kind, int64_t offset);
  int64_t SelStart() const { return selStart_; }
  int64_t SelLength() const { return selLength_; }

  // The selected bytes (at most limit; 16 MiB for limit <= 0).
  std::string SelBytes(int64_t limit = 0);
  // The bytes through TextEncoding and back to the ANSI code page: for the ANSI encoding
  // the bytes as they are.
  std::string SelText();
  // The bytes as UTF-16 in the document's byte order (FE FF at the start: big endian).
  std::u16string SelTextW();

 private:
  std::string ReadAt(int64_t offset, int64_t count);
  bool IsDelimiter(int kind, const std::string& bytes, int64_t index) const;

  std::u16string fileName_;
  platform::NativeFile file_;
  std::shared_ptr<TBlockCache> cache_;
  int64_t size_ = 0;
  bool bigEndian_ = false;
  TDocumentMode mode_ = TDocumentMode::Text;
  int64_t selStart_ = 0, selLength_ = 0;
};

}  // namespace search
