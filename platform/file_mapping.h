#pragma once
// A read-only mapping of an open file. Reading a page that the file no longer holds (it
// was cut meanwhile) or that the disk cannot read would end the process with SIGBUS; such
// a page reads as zeros instead, and Failed() says so from then on, so the reader reports
// a read error as it would for a failed read. (The page the new end of a cut file lies in
// stays mapped: its bytes past the end read as zeros without a failure.)
#include <cstdint>
#include <memory>

namespace platform {

class ReadOnlyMapping {
 public:
  // The first `size` bytes of the file; null when they cannot be mapped (nothing to map,
  // not a regular file, no address space left).
  static std::unique_ptr<ReadOnlyMapping> Map(int fd, int64_t size);
  ~ReadOnlyMapping();
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;

  const char* Data() const { return data_; }
  int64_t Size() const { return size_; }
  // Whether a page could not be read since the file was mapped.
  bool Failed() const;

 private:
  ReadOnlyMapping(char* data, int64_t size, int slot) : data_(data), size_(size), slot_(slot) {}
  char* data_;
  int64_t size_;
  int slot_;  // in the table the SIGBUS handler looks in
};

}  // namespace platform
