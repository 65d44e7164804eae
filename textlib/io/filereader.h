#pragma once
// Reads a large text file line by line without loading it: a window of the file is
// mapped into memory and slides on through the file. 8-bit files in the ANSI code page
// and UTF-16LE files with FF FE are read; sizes and offsets are 64-bit.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace textlib {

class TMyFileReader {
 public:
  static constexpr uint32_t kDefaultGranularity = 65536;

  // Opens the drive-form file; raises Exception "Es ist ein Fehler aufgetreten:\r\n" with
  // the system's message. granularity (even, window offsets are multiples of it) is the
  // platform's allocation granularity unless a test gives a smaller one.
  TMyFileReader(std::u16string_view fileName, bool mapNow,
                uint32_t granularity = kDefaultGranularity);
  ~TMyFileReader();
  TMyFileReader(const TMyFileReader&) = delete;
  TMyFileReader& operator=(const TMyFileReader&) = delete;

  // The next line without its CR LF; empty without a mapped window.
  std::u16string ReadNextLine();
  int64_t Position() const { return windowOffset_ + offsetInWindow_; }
  void Seek(int64_t position);

  int64_t FileSize() const { return fileSize_; }
  bool IsUtf16() const { return utf16_; }
  int64_t WindowSize() const { return windowSize_; }

 private:
  void MapWindow();
  void Unmap();
  // The unit at a window offset: a byte, or a little-endian 16-bit unit.
  char16_t UnitAt(int64_t offset) const;

  platform::NativeFile file_;
  int64_t fileSize_ = 0;
  int64_t windowOffset_ = 0;
  int64_t offsetInWindow_ = 0;
  int64_t defaultWindowSize_ = 0;
  int64_t windowSize_ = 0;
  int64_t granularity_;
  bool utf16_ = false;
  char16_t delimiter_ = u'\r';
  // The mapping itself starts at a page boundary at or below the window.
  void* mapBase_ = nullptr;
  size_t mapLength_ = 0;
  const unsigned char* view_ = nullptr;
};

}  // namespace textlib
