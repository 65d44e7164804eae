#include "search/engine/block_cache.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace search {

int64_t ReadFully(int fd, char* to, int64_t count, int64_t offset) {
  int64_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, to + got, static_cast<size_t>(count - got), offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

TBlockCache::TBlockCache(platform::NativeFile file, int64_t capacity)
    : file_(std::move(file)), capacity_(std::max<int64_t>(capacity, 1)) {
  size_ = file_.Valid() ? std::max<int64_t>(file_.Size(), 0) : 0;
}

std::optional<std::string_view> TBlockCache::View(int64_t offset, int64_t count) {
  if (offset < 0 || count < 0 || !file_.Valid()) return std::nullopt;
  const int64_t end = std::min(offset + count, size_);
  if (offset >= end) return std::string_view();
  if (offset < start_ || end > start_ + valid_) {
    const int64_t want = std::min(std::max(count, capacity_), size_ - offset);
    if (static_cast<int64_t>(buffer_.size()) < want) buffer_.resize(static_cast<size_t>(want));
    valid_ = 0;
    const int64_t got = ReadFully(file_.Fd(), buffer_.data(), want, offset);
    if (got < 0) return std::nullopt;
    start_ = offset;
    valid_ = got;
    if (end > start_ + valid_) return std::string_view(buffer_.data(), static_cast<size_t>(valid_));
  }
  return std::string_view(buffer_.data() + (offset - start_), static_cast<size_t>(end - offset));
}

}  // namespace search
