#pragma once
// A file read through a read-only mapping, or through one large buffer where the file
// cannot be mapped. A store search asks for overlapping blocks and the lines around every
// hit, nearly always inside what it read last. Mapped, a view of any range costs no read
// and no copy; the pages behind the scan are given back as it moves on, so the memory it
// holds stays bounded whatever the file's size. A store is replaced by rename, never
// rewritten in place, so the mapping cannot see it change. Read, the buffer is refilled
// (pread, no seek) from the asked offset only when a range lies outside it. The stream
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
  // Reads are at least this long; a longer range is read whole.
  static constexpr int64_t kDefaultCapacity = int64_t{1} << 13;
  enum class Access { MapIfPossible, Read };

  explicit TBlockCache(platform::NativeFile file, int64_t capacity = kDefaultCapacity,
                       Access access = Access::MapIfPossible);
  ~TBlockCache();
  TBlockCache(const TBlockCache&) = delete;
  TBlockCache& operator=(const TBlockCache&) = delete;

  // The file's size when it was opened.
  int64_t Size() const { return size_; }
  bool Mapped() const { return map_ != nullptr; }
  // The bytes [offset, offset + count), shorter at the end of the file; valid until the
  // next call. nullopt when the file cannot be read there.
  std::optional<std::string_view> View(int64_t offset, int64_t count);

 private:
  void Release(int64_t offset);

  platform::NativeFile file_;
  int64_t size_ = 0;
  int64_t capacity_;
  const char* map_ = nullptr;
  int64_t released_ = 0;  // mapped pages before this offset are given back
  int64_t populated_ = 0;  // the mapping holds the pages up to here since the last view before
  std::string buffer_;
  int64_t start_ = 0;  // file offset of buffer_[0]
  int64_t valid_ = 0;  // bytes of buffer_ that hold the file
};

}  // namespace search
