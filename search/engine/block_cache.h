#pragma once
// A file read through one buffer. A store search asks for overlapping blocks and the
// lines around every hit, nearly always inside what it read last; the buffer is refilled
// (pread, no seek) from the asked offset only when a range lies outside it. Reading into
// a buffer that stays in the processor's cache beats scanning a mapping of the file: a
// mapping's page faults and page-table walks halve the speed on small pages, and the
// buffer keeps the memory of a search bounded whatever the store's size. The stream
// search and the hidden viewer of a run share one, so a hit's snippet comes from the
// block it was found in.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace search {

class TBlockCache {
 public:
  // Reads are at least this long (a longer range is read whole) and start up to
  // kReadBehind bytes before the range: the lines around a hit reach back, and the next
  // records of a store searched for a frequent word lie just ahead.
  static constexpr int64_t kDefaultCapacity = int64_t{1} << 18;
  static constexpr int64_t kReadBehind = int64_t{1} << 14;

  explicit TBlockCache(platform::NativeFile file, int64_t capacity = kDefaultCapacity);
  TBlockCache(const TBlockCache&) = delete;
  TBlockCache& operator=(const TBlockCache&) = delete;

  // The file's size when it was opened.
  int64_t Size() const { return size_; }
  int Fd() const { return file_.Fd(); }
  // The bytes [offset, offset + count), shorter at the end of the file; valid until the
  // next call. nullopt when the file cannot be read there.
  std::optional<std::string_view> View(int64_t offset, int64_t count);

 private:
  platform::NativeFile file_;
  int64_t size_ = 0;
  int64_t capacity_;
  std::string buffer_;
  int64_t start_ = 0;  // file offset of buffer_[0]
  int64_t valid_ = 0;  // bytes of buffer_ that hold the file
};

}  // namespace search
