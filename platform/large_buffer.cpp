#include "platform/large_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>
#include <utility>

namespace platform {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}

LargeBuffer::LargeBuffer(size_t bytes) {
  if (bytes == 0) return;
  // Less than a huge page is not worth one: it would be cleared in full at the first touch.
  const bool huge = bytes >= kHugePage;
  const size_t rounded = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
  data_ = static_cast<char*>(huge ? std::aligned_alloc(kHugePage, rounded) : std::malloc(bytes));
  if (!data_) throw std::bad_alloc();
  size_ = bytes;
  if (huge) {
    // Hints: huge pages where they are filled whole, small ones for the rest, which would
    // otherwise hold a whole huge page for a few bytes.
    const size_t whole = bytes / kHugePage * kHugePage;
    madvise(data_, whole, MADV_HUGEPAGE);
    if (rounded > whole) madvise(data_ + whole, rounded - whole, MADV_NOHUGEPAGE);
  }
}

LargeBuffer::~LargeBuffer() { std::free(data_); }

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace platform
