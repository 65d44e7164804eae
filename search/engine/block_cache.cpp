#include "search/engine/block_cache.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace search {
namespace {

// The mapped pages more than this far behind the latest view are given back, a step of
// this size at a time: a view reaches back a line or a block, never further.
constexpr int64_t kKeptBehind = int64_t{8} << 20;
// The pages ahead of a view are entered into the mapping this many bytes at a time, in
// one call instead of a fault per few pages.
constexpr int64_t kPopulateAhead = int64_t{4} << 20;

}  // namespace

TBlockCache::TBlockCache(platform::NativeFile file, int64_t capacity, Access access)
    : file_(std::move(file)), capacity_(std::max<int64_t>(capacity, 1)) {
  size_ = file_.Valid() ? std::max<int64_t>(file_.Size(), 0) : 0;
  if (access == Access::MapIfPossible && size_ > 0 && static_cast<uint64_t>(size_) <= SIZE_MAX) {
    void* at = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_SHARED, file_.Fd(), 0);
    if (at != MAP_FAILED) {
      map_ = static_cast<const char*>(at);
      ::madvise(at, static_cast<size_t>(size_), MADV_SEQUENTIAL);
    }
  }
}

TBlockCache::~TBlockCache() {
  if (map_) ::munmap(const_cast<char*>(map_), static_cast<size_t>(size_));
}

void TBlockCache::Release(int64_t offset) {
  const int64_t page = ::sysconf(_SC_PAGESIZE);
  const int64_t until = (offset - kKeptBehind) / page * page;
  if (until - released_ < kKeptBehind) return;
  // The pages stay in the page cache; a later view of them maps them again.
  ::madvise(const_cast<char*>(map_) + released_, static_cast<size_t>(until - released_), MADV_DONTNEED);
  released_ = until;
}

std::optional<std::string_view> TBlockCache::View(int64_t offset, int64_t count) {
  if (offset < 0 || count < 0 || !file_.Valid()) return std::nullopt;
  const int64_t end = std::min(offset + count, size_);
  if (offset >= end) return std::string_view();
  if (map_) {
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    if (offset < released_) released_ = offset / page * page;
    Release(offset);
#ifdef MADV_POPULATE_READ
    if (end > populated_) {
      // Only a hint: where it fails, the pages come by faults.
      const int64_t from = offset / page * page;
      populated_ = std::min(size_, std::max(end, offset + kPopulateAhead));
      ::madvise(const_cast<char*>(map_) + from, static_cast<size_t>(populated_ - from), MADV_POPULATE_READ);
    }
#endif
    return std::string_view(map_ + offset, static_cast<size_t>(end - offset));
  }
  if (offset < start_ || end > start_ + valid_) {
    const int64_t want = std::min(std::max(count, capacity_), size_ - offset);
    if (static_cast<int64_t>(buffer_.size()) < want) buffer_.resize(static_cast<size_t>(want));
    valid_ = 0;
    int64_t got = 0;
    while (got < want) {
      const ssize_t n = ::pread(file_.Fd(), buffer_.data() + got, static_cast<size_t>(want - got), offset + got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::nullopt;
      if (n == 0) break;
      got += n;
    }
    start_ = offset;
    valid_ = got;
    if (end > start_ + valid_) return std::string_view(buffer_.data(), static_cast<size_t>(valid_));
  }
  return std::string_view(buffer_.data() + (offset - start_), static_cast<size_t>(end - offset));
}

}  // namespace search
