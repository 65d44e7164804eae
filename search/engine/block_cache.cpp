#include "search/engine/block_cache.h"

#include <algorithm>

namespace search {

TBlockCache::TBlockCache(platform::NativeFile file, int64_t capacity)
    : file_(std::move(file)), capacity_(std::max<int64_t>(capacity, 1)) {
  size_ = file_.Valid() ? std::max<int64_t>(file_.Size(), 0) : 0;
}

std::optional<std::string_view> TBlockCache::View(int64_t offset, int64_t count) {
  if (offset < 0 || count < 0 || !file_.Valid()) return std::nullopt;
  const int64_t end = std::min(offset + count, size_);
  if (offset >= end) return std::string_view();
  if (offset < start_ || end > start_ + valid_) {
    // Whole pages from before the range, so the page cache copies aligned.
    const int64_t from = std::max<int64_t>(0, (offset - std::min(kReadBehind, capacity_ / 4)) & ~int64_t{4095});
    const int64_t want = std::min(std::max(end - from, capacity_), size_ - from);
    valid_ = 0;
    // Neither cleared nor copied when it grows (the old one is let go first): it is read
    // over at once, and a pass over memory about to be overwritten costs as much as the read.
    if (static_cast<int64_t>(buffer_.Size()) < want) {
      buffer_ = platform::LargeBuffer();
      buffer_ = platform::LargeBuffer(static_cast<size_t>(want));
    }
    const int64_t got = platform::ReadFullyAt(file_.Fd(), buffer_.Data(), want, from);
    if (got < want) return std::nullopt;
    start_ = from;
    valid_ = got;
  }
  return std::string_view(buffer_.Data() + (offset - start_), static_cast<size_t>(end - offset));
}

void TBlockCache::Prefetch(int64_t offset, int64_t count) const {
  const int64_t from = std::max(offset, start_), to = std::min(offset + count, start_ + valid_);
  for (int64_t at = from; at < to; at += 64) __builtin_prefetch(buffer_.Data() + (at - start_));
}

}  // namespace search
