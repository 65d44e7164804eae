#pragma once
// Text streams in a code page: UTF-16 in and out, stored as 8-bit code page bytes, UTF-8,
// UTF-16LE or UTF-32LE behind an optional byte-order mark. Every text file whose encoding
// the program chooses (the document stores above all) is written through this class, so
// positions and counts are 64-bit and big texts are converted in bounded chunks; the
// 2048-byte work buffer serves every small call without allocating.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textlib/errors.h"
#include "textlib/stream.h"

namespace textlib {

// The code in the exception's help context: 3001-3005.
class ECpTextStream : public Exception {
 public:
  ECpTextStream(int helpContext, std::u16string message)
      : Exception(std::move(message)), helpContext_(helpContext) {}
  int HelpContext() const { return helpContext_; }

 private:
  int helpContext_;
};

// Forwards positioning to a stream it does not own. The size query of a stream (to the
// current position, to the end, back again) is answered without moving the wrapped
// stream; a seek held back that way is carried out before the next read or write.
class TCpStreamWrapper : public TStream {
 public:
  explicit TCpStreamWrapper(TStream& wrapped) : stream_(&wrapped) {}
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  void SetSize(int64_t size) override { stream_->SetSize(size); }

 protected:
  virtual int64_t GetPosition() { return stream_->Position(); }
  virtual int64_t GetSize() { return stream_->Size(); }
  virtual void SetWrappedPosition(int64_t position) { stream_->SetPosition(position); }
  virtual int64_t SeekWrapped(int64_t offset, SeekOrigin origin) { return stream_->Seek(offset, origin); }
  virtual void ApplyDelayedSeek();
  TStream& Wrapped() { return *stream_; }

 private:
  TStream* stream_;
  bool seekPending_ = false;
  SeekOrigin pendingOrigin_ = SeekOrigin::Current;
  int64_t pendingOffset_ = 0;
  int64_t storedPosition_ = 0;
};

enum class TCpAccessMode : uint8_t { Read = 0, Write = 1, Append = 2, ReadWrite = 3 };

class TCpTextStream : public TCpStreamWrapper {
 public:
  // Create flags.
  using Flags = uint8_t;
  static constexpr Flags UnicodeText = 0x01;   // UTF-16, UTF-8 or UTF-32
  static constexpr Flags SwappedBytes = 0x02;  // the mark was the byte-swapped one
  static constexpr Flags Utf8Bom = 0x10;       // write EF BB BF into a new UTF-8 stream

  static constexpr uint32_t kUtf16 = 1200;
  static constexpr uint32_t kUtf32 = 12000;
  static constexpr uint32_t kUtf8 = 65001;
  static constexpr size_t kWorkBufferSize = 2048;

  // The stream stays the caller's; free the text stream first. Raises ECpTextStream
  // 3003/3004 before anything is written or truncated.
  TCpTextStream(TStream& stream, TCpAccessMode access, Flags createFlags, uint32_t codePage = 0);

  // count: bytes of UTF-16 (the caller's buffer); returns the bytes delivered, 0 at end.
  int64_t Read(void* buffer, int64_t count) override;
  // count: bytes of UTF-16; returns the bytes consumed.
  int64_t Write(const void* buffer, int64_t count) override;
  // One write of the whole text; true when all of it was consumed. Adds no line break.
  bool WriteText(std::u16string_view text);

  int LastWindowsError() const { return lastError_; }
  uint32_t Codepage() const { return codePage_; }
  Flags CreateFlags() const { return flags_; }
  TCpAccessMode AccessMode() const { return access_; }

  static bool IsUnicodeCodePage(uint32_t cp) { return cp == kUtf16 || cp == kUtf32 || cp == kUtf8; }
  static std::u16string ErrorSource(std::u16string_view function = {});

 private:
  void SetCodepage(uint32_t cp);
  void PrepareStream();
  void DetectByteOrderMark();
  void WriteByteOrderMark();
  // A block of at least size bytes: the work buffer when it is big enough.
  char* AllocBuffer(size_t size);
  void CheckOsResult(bool ok, std::u16string_view function);

  int64_t ReadUtf8(char16_t* out, int64_t capacity);
  int64_t ReadUtf32(char16_t* out, int64_t capacity);
  int64_t ReadUtf16(char16_t* out, int64_t byteCount);
  int64_t ReadAnsi(char16_t* out, int64_t capacity);
  int64_t WriteUtf8(const char16_t* in, int64_t units);
  int64_t WriteUtf32(const char16_t* in, int64_t units);
  int64_t WriteAnsi(const char16_t* in, int64_t units);
  // Gives bytes read past what was used back to the wrapped stream.
  void PushBack(int64_t bytes);
  // The low half held back by the last read, when the stream has not moved since.
  int64_t TakePendingLow(char16_t* out, int64_t capacity);
  void MarkPendingLow();

  TCpAccessMode access_;
  uint32_t codePage_ = 0;
  Flags flags_ = 0;
  int lastError_ = 0;
  std::vector<char> workBuffer_;
  std::vector<char> bigBuffer_;
  // The low half of a surrogate pair whose high half filled the caller's buffer.
  std::optional<char16_t> pendingLow_;
  int64_t pendingLowAt_ = 0;  // the wrapped position right behind that pair
};

}  // namespace textlib
