#pragma once
// A file read through one buffer. A store search asks for overlapping blocks and the
// lines around every hit, from start to end for a frequent word; the buffer is refilled
// (pread, no seek, from a little before the asked offset) only when a range lies outside
// it. The stream search and the hidden viewer of a run share one, so the lines around a
// hit found in the buffer are not read again.
//
// Not a mapping: where the pages of a mapped file cost a fault and a walk of the page
// tables each (a virtual machine doubles the walk), a search through it ran up to five
// times slower than through a copy into a buffer that stays in the core's cache, and a
// mapped file cut meanwhile faults where a read comes back short. A copy costs the same
// on every machine.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/file.h"
#include "platform/large_buffer.h"

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
  // next call. nullopt when the file cannot be read there, or ends before the size it had
  // when it was opened (it was cut meanwhile).
  std::optional<std::string_view> View(int64_t offset, int64_t count);
  // Fetches into the core's cache what the buffer holds of [offset, offset + count): the
  // caller will look there soon.
  void Prefetch(int64_t offset, int64_t count) const;

 private:
  platform::NativeFile file_;
  int64_t size_ = 0;
  int64_t capacity_;
  platform::LargeBuffer buffer_;
  int64_t start_ = 0;  // file offset of buffer_[0]
  int64_t valid_ = 0;  // bytes of buffer_ that hold the file
};

}  // namespace search
