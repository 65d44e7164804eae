#pragma once
// Memory for buffers of megabytes that are filled at once: on huge pages where the system
// gives them, so that filling them takes a page fault per 2 MB instead of one per 4 KB.
#include <cstddef>

namespace platform {

class LargeBuffer {
 public:
  LargeBuffer() = default;
  // Throws std::bad_alloc when there is no memory.
  explicit LargeBuffer(size_t bytes);
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  char* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace platform
