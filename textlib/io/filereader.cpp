#include "textlib/io/filereader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "textlib/errors.h"
#include "textlib/wide/widefile.h"

namespace textlib {
namespace {

[[noreturn]] void RaiseReaderError() {
  const auto text = platform::PosixUtf8ToWide(platform::SystemErrorText(platform::LastError()));
  throw Exception(u"Es ist ein Fehler aufgetreten:\r\n" + text.value_or(u""));
}

int64_t PageSize() {
  static const int64_t size = [] {
    const long n = ::sysconf(_SC_PAGESIZE);
    return n > 0 ? static_cast<int64_t>(n) : int64_t{4096};
  }();
  return size;
}

}  // namespace

TMyFileReader::TMyFileReader(std::u16string_view fileName, bool mapNow, uint32_t granularity)
    : granularity_(std::max<int64_t>(2, granularity & ~1u)) {
  file_ = WideCreateFile(fileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (!file_.Valid()) RaiseReaderError();
  fileSize_ = file_.Size();
  if (fileSize_ < 0) RaiseReaderError();
  const int64_t g = granularity_, s = fileSize_;
  defaultWindowSize_ = s >= 224 * g ? 224 * g : s >= 16 * g ? 16 * g : s < g ? s : g;
  windowSize_ = defaultWindowSize_;
  if (mapNow) MapWindow();
}

TMyFileReader::~TMyFileReader() { Unmap(); }

void TMyFileReader::Unmap() {
  if (mapBase_) ::munmap(mapBase_, mapLength_);
  mapBase_ = nullptr;
  mapLength_ = 0;
  view_ = nullptr;
}

void TMyFileReader::MapWindow() {
  Unmap();
  if (windowSize_ <= 0) return;
  // mmap wants a page-aligned offset; a window may start between pages when a test uses
  // a granularity below the page size.
  const int64_t base = windowOffset_ / PageSize() * PageSize();
  const int64_t lead = windowOffset_ - base;
  mapLength_ = static_cast<size_t>(windowSize_ + lead);
  void* p = ::mmap(nullptr, mapLength_, PROT_READ, MAP_SHARED, file_.Fd(), static_cast<off_t>(base));
  if (p == MAP_FAILED) {
    platform::SetLastError(errno);
    mapLength_ = 0;
    RaiseReaderError();
  }
  mapBase_ = p;
  view_ = static_cast<const unsigned char*>(p) + lead;
  if (windowOffset_ == 0) utf16_ = fileSize_ > 2 && view_[0] == 0xFF && view_[1] == 0xFE;
}

void TMyFileReader::Seek(int64_t position) {
  position = std::max<int64_t>(position, 0);
  if (position >= windowOffset_ && position < windowOffset_ + defaultWindowSize_) {
    offsetInWindow_ = position - windowOffset_;
  } else {
    windowOffset_ = position / granularity_ * granularity_;
    offsetInWindow_ = position % granularity_;
  }
  windowSize_ = std::max<int64_t>(0, std::min(defaultWindowSize_, fileSize_ - windowOffset_));
  MapWindow();
}

char16_t TMyFileReader::UnitAt(int64_t offset) const {
  if (!utf16_) return view_[offset];
  return static_cast<char16_t>(view_[offset] | (view_[offset + 1] << 8));
}

std::u16string TMyFileReader::ReadNextLine() {
  std::u16string line;
  // A seek may leave the position past the end, even inside the current window's range.
  if (!view_ || Position() >= fileSize_) return line;
  if (utf16_ && Position() == 0) offsetInWindow_ = 2;  // the first line comes without its mark
  const int64_t u = utf16_ ? 2 : 1;
  while (true) {
    int64_t p = offsetInWindow_;
    if (utf16_) {
      while (p + u <= windowSize_ && UnitAt(p) != delimiter_) p += u;
      for (int64_t q = offsetInWindow_; q < p; q += 2) line.push_back(UnitAt(q));
    } else {
      const void* cr = std::memchr(view_ + p, static_cast<int>(delimiter_), static_cast<size_t>(windowSize_ - p));
      p = cr ? static_cast<const unsigned char*>(cr) - view_ : windowSize_;
      for (int64_t q = offsetInWindow_; q < p; ++q) line.push_back(platform::Cp1252ToWide(view_[q]));
    }
    if (p + u <= windowSize_) {
      // Past the delimiter; the next unit is skipped only when it is the LF of CR LF,
      // which may be the first unit of the next window.
      offsetInWindow_ = p + u;
      if (offsetInWindow_ + u > windowSize_ && Position() < fileSize_) Seek(Position());
      if (view_ && offsetInWindow_ + u <= windowSize_ && UnitAt(offsetInWindow_) == u'\n')
        offsetInWindow_ += u;
      break;
    }
    // The window ended inside the line (or the file ended without a line break).
    offsetInWindow_ = windowSize_;
    if (windowOffset_ + windowSize_ >= fileSize_) break;
    Seek(Position());
    if (!view_) break;
  }
  if (view_ && offsetInWindow_ >= windowSize_ && Position() < fileSize_) Seek(Position());
  return line;
}

}  // namespace textlib
