#pragma once
// Byte streams with 64-bit positions: the abstract stream, a memory stream and a stream
// over a native file. The list, text-stream and file-stream classes build on these.
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace textlib {

using platform::SeekOrigin;

class TStream {
 public:
  virtual ~TStream() = default;
  // Bytes read or written; fewer than asked only at the end (read) or on failure.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // The new position; -1 on failure.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
  // Whole reads and writes; a short count raises EReadError / EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  const std::string& Bytes() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A stream over an open native file, which it owns.
class THandleStream : public TStream {
 public:
  explicit THandleStream(platform::NativeFile file) : file_(std::move(file)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return file_.Size(); }
  void SetSize(int64_t size) override;
  platform::NativeFile& File() { return file_; }

 private:
  platform::NativeFile file_;
};

}  // namespace textlib
