#pragma once
// A file read through a read-only mapping, or, where it cannot be mapped, through one
// buffer. A store search asks for overlapping blocks and the lines around every hit,
// from start to end for a frequent word: the mapping spares the copy of every byte, and
// the pages passed are let go, so the resident set stays bounded whatever the store's
// size. (A store is replaced by a rename, never rewritten in place, so the mapping cannot
// see it change.) The buffer is refilled (pread, no seek) from the asked offset only
// when a range lies outside it. The stream search and the hidden viewer of a run share
// one, so a hit's snippet comes from the block it was found in.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/file_mapping.h"

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
  // Whether bytes handed out by View were not read but zeros (the mapped file was cut
  // or could not be read): what was found in them is no result.
  bool ReadFailed() const { return mapping_ && mapping_->Failed(); }
  // The whole file where it is mapped, else null: bytes read there are only valid while
  // ReadFailed() stays false.
  const char* Mapped() const { return mapping_ ? mapping_->Data() : nullptr; }
  // The reads of a mapped file have moved on to `offset`: the pages far behind it are let
  // go. View does it by itself; a reader of Mapped() says so.
  void Passed(int64_t offset) {
    if (mapping_ && offset > kKeptBehind) mapping_->Release(offset - kKeptBehind);
  }

 private:
  // Pages further back than this are let go as the reads move on.
  static constexpr int64_t kKeptBehind = int64_t{16} << 20;

  platform::NativeFile file_;
  int64_t size_ = 0;
  std::unique_ptr<platform::ReadOnlyMapping> mapping_;
  int64_t capacity_;
  std::string buffer_;
  int64_t start_ = 0;  // file offset of buffer_[0]
  int64_t valid_ = 0;  // bytes of buffer_ that hold the file
};

}  // namespace search
