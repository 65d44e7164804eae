#include "textlib/stream.h"

#include <algorithm>
#include <cstring>

#include "textlib/errors.h"

namespace textlib {

int64_t TStream::Size() {
  int64_t here = Position();
  int64_t end = Seek(0, SeekOrigin::End);
  Seek(here, SeekOrigin::Begin);
  return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError(u"Stream-Lesefehler");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError(u"Stream-Schreibfehler");
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end, '\0');
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : Size();
  if (base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  position_ = std::min(position_, Size());
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
  return count <= 0 ? 0 : std::max<int64_t>(file_.Read(buffer, count), 0);
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  return count <= 0 ? 0 : std::max<int64_t>(file_.Write(buffer, count), 0);
}

int64_t THandleStream::Seek(int64_t offset, SeekOrigin origin) { return file_.Seek(offset, origin); }

void THandleStream::SetSize(int64_t size) {
  if (!file_.Truncate(size)) throw EStreamError(u"Stream-Schreibfehler");
}

}  // namespace textlib
