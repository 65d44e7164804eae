#include "search/engine/block_cache.h"

#include <algorithm>

namespace search {

TBlockCache::TBlockCache(platform::NativeFile file, int64_t capacity)
    : file_(std::move(file)), capacity_(std::max<int64_t>(capacity, 1)) {
  size_ = file_.Valid() ? std::max<int64_t>(file_.Size(), 0) : 0;
  if (size_ > 0) mapping_ = platform::ReadOnlyMapping::Map(file_.Fd(), size_);
}

std::optional<std::string_view> TBlockCache::View(int64_t offset, int64_t count) {
  if (offset < 0 || count < 0 || !file_.Valid()) return std::nullopt;
  const int64_t end = std::min(offset + count, size_);
  if (offset >= end) return std::string_view();
  if (mapping_) {
    if (mapping_->Failed()) return std::nullopt;
    Passed(offset);
    return std::string_view(mapping_->Data() + offset, static_cast<size_t>(end - offset));
  }
  if (offset < start_ || end > start_ + valid_) {
    // Whole pages from before the range, so the page cache copies aligned.
    const int64_t from = std::max<int64_t>(0, (offset - std::min(kReadBehind, capacity_ / 4)) & ~int64_t{4095});
    const int64_t want = std::min(std::max(end - from, capacity_), size_ - from);
    if (static_cast<int64_t>(buffer_.size()) < want) buffer_.resize(static_cast<size_t>(want));
    valid_ = 0;
    const int64_t got = platform::ReadFullyAt(file_.Fd(), buffer_.data(), want, from);
    if (got < 0) return std::nullopt;
    start_ = from;
    valid_ = got;
    if (offset >= start_ + valid_) return std::string_view();
    if (end > start_ + valid_)
      return std::string_view(buffer_.data() + (offset - start_), static_cast<size_t>(start_ + valid_ - offset));
  }
  return std::string_view(buffer_.data() + (offset - start_), static_cast<size_t>(end - offset));
}

}  // namespace search
