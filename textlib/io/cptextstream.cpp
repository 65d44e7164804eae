#include "textlib/io/cptextstream.h"

#include <emmintrin.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/codepage.h"
#include "platform/collate.h"
#include "platform/file.h"

namespace textlib {
namespace {

// Units converted per pass: big texts never need a buffer of their own size.
constexpr int64_t kChunkUnits = 32768;

using Byte = unsigned char;

char16_t Swap16(char16_t u) { return static_cast<char16_t>((u >> 8) | (u << 8)); }

// Puts a code point into out; a pair that finds only one free place leaves its low half
// in low for the next read. Returns the units stored.
int64_t PutCodePoint(char32_t c, char16_t* out, int64_t room, std::optional<char16_t>& low) {
  if (c > 0x10FFFF) c = 0xFFFD;
  if (c <= 0xFFFF) {
    out[0] = static_cast<char16_t>(c);
    return 1;
  }
  c -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (c >> 10));
  const auto second = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  if (room >= 2) {
    out[1] = second;
    return 2;
  }
  low = second;
  return 1;
}

// Bytes of the UTF-8 sequence a lead byte opens. Continuation bytes are not checked: a
// stray byte of 0x80 or above counts as a three-byte lead, as the stores were always read.
size_t SequenceLength(Byte b) {
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) return 2;
  if ((b & 0xF8) == 0xF0) return 4;
  return 3;
}

// Decodes whole sequences of in[0, n) into at most room units. A sequence cut off by the
// end of the input stays undecoded unless atEnd, where it gives U+FFFD. Returns the
// bytes consumed; produced grows by the units stored.
size_t DecodeUtf8(const Byte* in, size_t n, char16_t* out, int64_t room, int64_t& produced,
                  std::optional<char16_t>& low, bool atEnd) {
  size_t i = 0;
  while (i < n && produced < room) {
    const Byte b = in[i];
    const size_t len = SequenceLength(b);
    if (len > n - i) {
      if (!atEnd) break;
      out[produced++] = 0xFFFD;
      return n;
    }
    char32_t c;
    switch (len) {
      case 1: c = b; break;
      case 2: c = ((b & 0x1Fu) << 6) | (in[i + 1] & 0x3Fu); break;
      case 3: c = ((b & 0x0Fu) << 12) | ((in[i + 1] & 0x3Fu) << 6) | (in[i + 2] & 0x3Fu); break;
      default:
        c = ((b & 0x07u) << 18) | ((in[i + 1] & 0x3Fu) << 12) | ((in[i + 2] & 0x3Fu) << 6) |
            (in[i + 3] & 0x3Fu);
    }
    produced += PutCodePoint(c, out + produced, room - produced, low);
    i += len;
  }
  return i;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// Unit by unit in one to three bytes, U+0000 and lone surrogate halves included, except
// that a surrogate pair is one four-byte sequence: what every other tool reads as UTF-8.
size_t Utf8Length(char16_t c) { return (c >= 1 && c <= 0x7F) ? 1 : c <= 0x7FF && c != 0 ? 2 : 3; }

size_t EncodeUtf8(const char16_t* in, int64_t units, char* out) {
  size_t o = 0;
  int64_t vectorFrom = 0;  // after a run broke, the next try waits eight units
  for (int64_t i = 0; i < units; ++i) {
    // Runs of ASCII (U+0001..U+007F), eight units at a time narrowed with a vector pack.
    while (i >= vectorFrom && i + 8 <= units) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const __m128i zero = _mm_setzero_si128();
      const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
      const __m128i nul = _mm_cmpeq_epi16(v, zero);  // U+0000 takes three bytes
      if (_mm_movemask_epi8(_mm_andnot_si128(nul, ascii)) != 0xFFFF) {
        vectorFrom = i + 8;
        break;
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_packus_epi16(v, v));
      o += 8;
      i += 8;
    }
    if (i >= units) break;
    const char16_t c = in[i];
    if (static_cast<unsigned>(c) - 1u < 0x7Fu) {
      out[o++] = static_cast<char>(c);
    } else if (c < 0x800 && c != 0) {
      out[o++] = static_cast<char>(0xC0 | (c >> 6));
      out[o++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (IsHighSurrogate(c) && i + 1 < units && IsLowSurrogate(in[i + 1])) {
      const char32_t v = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      out[o++] = static_cast<char>(0xF0 | (v >> 18));
      out[o++] = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
      out[o++] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
      out[o++] = static_cast<char>(0x80 | (v & 0x3F));
      ++i;
    } else {
      out[o++] = static_cast<char>(0xE0 | (c >> 12));
      out[o++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return o;
}

ECpTextStream OddCountError(int64_t count) {
  return ECpTextStream(3005, TCpTextStream::ErrorSource() + u":Cannot convert odd number of bytes: " +
                                 NumberText(count));
}

}  // namespace

// ---- TCpStreamWrapper ----

int64_t TCpStreamWrapper::Seek(int64_t offset, SeekOrigin origin) {
  if (!seekPending_) {
    if (origin == SeekOrigin::Current && offset == 0) {
      seekPending_ = true;
      pendingOrigin_ = SeekOrigin::Current;
      pendingOffset_ = 0;
      storedPosition_ = GetPosition();
      return storedPosition_;
    }
    return SeekWrapped(offset, origin);
  }
  switch (origin) {
    case SeekOrigin::Current:
      // A relative seek after a held-back move to the end must start from the end.
      if (pendingOrigin_ != SeekOrigin::Current) ApplyDelayedSeek();
      return SeekWrapped(offset, origin);
    case SeekOrigin::End:
      if (pendingOrigin_ == SeekOrigin::Current) {
        pendingOrigin_ = SeekOrigin::End;
        pendingOffset_ = offset;
        return GetSize() + offset;
      }
      seekPending_ = false;
      return SeekWrapped(offset, origin);
    case SeekOrigin::Begin:
      if (pendingOrigin_ == SeekOrigin::End && offset == storedPosition_) {
        seekPending_ = false;
        return storedPosition_;
      }
      // An absolute seek replaces whatever was held back.
      seekPending_ = false;
      return SeekWrapped(offset, origin);
  }
  return -1;
}

void TCpStreamWrapper::ApplyDelayedSeek() {
  if (!seekPending_) return;
  seekPending_ = false;
  if (!(pendingOrigin_ == SeekOrigin::Current && pendingOffset_ == 0))
    SeekWrapped(pendingOffset_, pendingOrigin_);
}

// ---- TCpTextStream ----

TCpTextStream::TCpTextStream(TStream& stream, TCpAccessMode access, Flags createFlags,
                             uint32_t codePage)
    : TCpStreamWrapper(stream), access_(access) {
  if ((createFlags & UnicodeText) && codePage != kUtf8 && codePage != kUtf32) codePage = kUtf16;
  flags_ = createFlags;
  SetCodepage(codePage);
  workBuffer_.resize(kWorkBufferSize);
  PrepareStream();
}

std::u16string TCpTextStream::ErrorSource(std::u16string_view function) {
  std::u16string source = u"TCpTextStream";
  if (!function.empty()) source += u"." + std::u16string(function);
  return source;
}

void TCpTextStream::SetCodepage(uint32_t cp) {
  if (IsUnicodeCodePage(cp)) {
    codePage_ = cp;
    flags_ |= UnicodeText;
    return;
  }
  if (cp == 0 && !(flags_ & UnicodeText)) {
    // The ANSI code page of the user's keyboard language.
    cp = platform::LocaleDefaultAnsiCodePage(platform::GetUserDefaultLcid());
    if (cp == 0) cp = platform::kCpAnsi;
  }
  codePage_ = cp;
  if (codePage_ != 0 && !IsUnicodeCodePage(codePage_)) flags_ &= static_cast<Flags>(~UnicodeText);
}

void TCpTextStream::PrepareStream() {
  switch (access_) {
    case TCpAccessMode::Read:
      flags_ = 0;
      DetectByteOrderMark();
      break;
    case TCpAccessMode::Write:
      if (IsUnicodeCodePage(codePage_)) flags_ |= UnicodeText;
      if ((flags_ & UnicodeText) && (flags_ & SwappedBytes))
        throw ECpTextStream(3004, ErrorSource() + u":Cannot write to reversed Unicode stream.");
      Wrapped().SetSize(0);
      Wrapped().SetPosition(0);
      if (flags_ & UnicodeText) WriteByteOrderMark();
      break;
    case TCpAccessMode::Append:
      if (IsUnicodeCodePage(codePage_)) flags_ |= UnicodeText;
      if ((flags_ & UnicodeText) && (flags_ & SwappedBytes))
        throw ECpTextStream(3003, ErrorSource() + u":Cannot append reversed Unicode stream.");
      if (GetSize() == 0 && (flags_ & UnicodeText)) WriteByteOrderMark();
      break;
    case TCpAccessMode::ReadWrite:
      flags_ = 0;
      DetectByteOrderMark();
      Wrapped().Seek(0, SeekOrigin::End);
      if (!(flags_ & UnicodeText) && IsUnicodeCodePage(codePage_)) flags_ |= UnicodeText;
      if ((flags_ & UnicodeText) && (flags_ & SwappedBytes))
        throw ECpTextStream(3003, ErrorSource() + u":Cannot append reversed Unicode stream.");
      break;
  }
}

void TCpTextStream::DetectByteOrderMark() {
  TStream& s = Wrapped();
  const int64_t size = GetSize();
  bool found = false;
  Byte mark[4] = {};
  if (size >= 4) {
    s.SetPosition(0);
    s.ReadBuffer(mark, 4);
    if (mark[2] == 0 && mark[3] == 0 && ((mark[0] == 0xFF && mark[1] == 0xFE) ||
                                         (mark[0] == 0xFE && mark[1] == 0xFF))) {
      flags_ |= UnicodeText;
      if (mark[0] == 0xFE) flags_ |= SwappedBytes;
      codePage_ = kUtf32;
      found = true;
    }
  }
  if (!found && size >= 2 && codePage_ != kUtf32) {
    s.SetPosition(0);
    s.ReadBuffer(mark, 2);
    if ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF)) {
      flags_ |= UnicodeText;
      if (mark[0] == 0xFE) flags_ |= SwappedBytes;
      codePage_ = kUtf16;
      found = true;
    } else if (mark[0] == 0xEF && mark[1] == 0xBB && size >= 3) {
      s.ReadBuffer(mark + 2, 1);
      if (mark[2] == 0xBF) {
        flags_ |= UnicodeText;
        codePage_ = kUtf8;
        found = true;
      }
    }
  }
  if (!found) {
    s.SetPosition(0);
    if (IsUnicodeCodePage(codePage_)) flags_ = UnicodeText;
  }
}

void TCpTextStream::WriteByteOrderMark() {
  static constexpr char kUtf32Mark[] = "\xFF\xFE\x00\x00";
  static constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
  static constexpr char kUtf16Mark[] = "\xFF\xFE";
  if (codePage_ == kUtf32)
    Wrapped().WriteBuffer(kUtf32Mark, 4);
  else if (codePage_ == kUtf8)
    (flags_ & Utf8Bom) ? Wrapped().WriteBuffer(kUtf8Mark, 3) : void();
  else
    Wrapped().WriteBuffer(kUtf16Mark, 2);
}

char* TCpTextStream::AllocBuffer(size_t size) {
  if (size <= kWorkBufferSize) return workBuffer_.data();
  if (bigBuffer_.size() < size) bigBuffer_.resize(size);
  return bigBuffer_.data();
}

void TCpTextStream::CheckOsResult(bool ok, std::u16string_view function) {
  if (ok) return;
  lastError_ = platform::LastError();
  const std::u16string source = ErrorSource(function);
  if (lastError_ != 0)
    throw ECpTextStream(3001, source + u" failed. " + MakeWin32Error(lastError_).Message());
  throw ECpTextStream(3002, source + u" failed. " + MakeWin32Error(0).Message());
}

void TCpTextStream::PushBack(int64_t bytes) {
  if (bytes > 0) SeekWrapped(-bytes, SeekOrigin::Current);
}

int64_t TCpTextStream::Read(void* buffer, int64_t count) {
  ApplyDelayedSeek();
  if (count <= 0) return 0;
  auto* out = static_cast<char16_t*>(buffer);
  if (!(flags_ & UnicodeText)) {
    if (count % 2 != 0) throw OddCountError(count);
    return ReadAnsi(out, count / 2) * 2;
  }
  if (codePage_ == kUtf8) return ReadUtf8(out, count / 2) * 2;
  if (codePage_ == kUtf32) return ReadUtf32(out, count / 2) * 2;
  return ReadUtf16(out, count);
}

int64_t TCpTextStream::TakePendingLow(char16_t* out, int64_t capacity) {
  if (!pendingLow_) return 0;
  // Valid only where the read that split the pair ended; any seek or write drops it.
  if (Wrapped().Position() != pendingLowAt_) {
    pendingLow_.reset();
    return 0;
  }
  if (capacity <= 0) return 0;
  out[0] = *pendingLow_;
  pendingLow_.reset();
  return 1;
}

void TCpTextStream::MarkPendingLow() {
  if (pendingLow_) pendingLowAt_ = Wrapped().Position();
}

int64_t TCpTextStream::ReadUtf8(char16_t* out, int64_t capacity) {
  int64_t produced = TakePendingLow(out, capacity);
  if (produced >= capacity) return produced;
  // The carried bytes of a cut sequence (at most 3) sit ahead of each pass's bytes.
  auto* buf = reinterpret_cast<Byte*>(AllocBuffer(static_cast<size_t>(std::min(capacity, kChunkUnits)) + 4));
  size_t carry = 0;
  while (produced < capacity) {
    const int64_t want = std::min(capacity - produced, kChunkUnits);
    const int64_t n = Wrapped().Read(buf + carry, want);
    const bool atEnd = n < want;
    const size_t total = carry + static_cast<size_t>(std::max<int64_t>(n, 0));
    const size_t used = DecodeUtf8(buf, total, out, capacity, produced, pendingLow_, atEnd);
    carry = total - used;
    std::memmove(buf, buf + used, carry);
    if (atEnd) break;
  }
  PushBack(static_cast<int64_t>(carry));
  MarkPendingLow();
  return produced;
}

int64_t TCpTextStream::ReadUtf32(char16_t* out, int64_t capacity) {
  int64_t produced = TakePendingLow(out, capacity);
  const bool swapped = flags_ & SwappedBytes;
  auto* buf = reinterpret_cast<Byte*>(AllocBuffer(static_cast<size_t>(std::min(capacity, kChunkUnits)) * 4));
  while (produced < capacity) {
    const int64_t want = std::min(capacity - produced, kChunkUnits) * 4;
    const int64_t n = std::max<int64_t>(Wrapped().Read(buf, want), 0);
    int64_t used = 0;
    while (used + 4 <= n && produced < capacity) {
      auto lo = static_cast<char16_t>(buf[used] | (buf[used + 1] << 8));
      auto hi = static_cast<char16_t>(buf[used + 2] | (buf[used + 3] << 8));
      if (swapped) lo = Swap16(lo), hi = Swap16(hi);
      produced += PutCodePoint(lo | (char32_t{hi} << 16), out + produced, capacity - produced, pendingLow_);
      used += 4;
    }
    PushBack(n - used);
    if (n < want) break;
  }
  MarkPendingLow();
  return produced;
}

int64_t TCpTextStream::ReadUtf16(char16_t* out, int64_t byteCount) {
  const int64_t n = std::max<int64_t>(Wrapped().Read(out, byteCount), 0);
  if (flags_ & SwappedBytes)
    for (int64_t i = 0; i < n / 2; ++i) out[i] = Swap16(out[i]);
  return n;
}

int64_t TCpTextStream::ReadAnsi(char16_t* out, int64_t capacity) {
  const bool table = codePage_ == platform::kCpAnsi;
  // Other code pages read three bytes ahead, so that a multi-byte character that begins
  // in the last wanted byte is still seen whole.
  const int64_t lookahead = table ? 0 : 3;
  char* buf = AllocBuffer(static_cast<size_t>(std::min(capacity, kChunkUnits) + lookahead));
  int64_t produced = 0;
  while (produced < capacity) {
    const int64_t want = std::min(capacity - produced, kChunkUnits) + lookahead;
    const int64_t n = std::max<int64_t>(Wrapped().Read(buf, want), 0);
    const bool atEnd = n < want;
    if (table) {
      for (int64_t i = 0; i < n; ++i) out[produced + i] = platform::Cp1252ToWide(static_cast<Byte>(buf[i]));
      produced += n;
    } else if (n > 0) {
      const int64_t room = capacity - produced;
      int64_t used = n;
      int cutBackoffs = 0;
      std::optional<std::u16string> text;
      while (true) {
        text = platform::MultiByteToWide(codePage_, std::string_view(buf, static_cast<size_t>(used)));
        if (!text) {
          PushBack(n);
          platform::SetLastError(EINVAL);  // the code page is not installed here
          CheckOsResult(false, u"Read");
        }
        const auto units = static_cast<int64_t>(text->size());
        if (units > room && used > 1) {
          used = std::max<int64_t>(1, used - (units - room));
          continue;
        }
        // A "?" for a last byte that is not one may be a character cut by the end of
        // the bytes at hand; bytes follow, so stop before it (at most three times).
        const bool more = used < n || !atEnd;
        if (more && used > 1 && cutBackoffs < 3 && !text->empty() && text->back() == u'?' &&
            buf[used - 1] != '?') {
          --used;
          ++cutBackoffs;
          continue;
        }
        break;
      }
      const int64_t units = std::min<int64_t>(static_cast<int64_t>(text->size()), room);
      std::copy_n(text->data(), units, out + produced);
      produced += units;
      PushBack(n - used);
      if (used < n) continue;
    }
    if (atEnd) break;
  }
  return produced;
}

int64_t TCpTextStream::Write(const void* buffer, int64_t count) {
  ApplyDelayedSeek();
  if (count <= 0) return 0;
  const auto* in = static_cast<const char16_t*>(buffer);
  if (!(flags_ & UnicodeText)) {
    if (count % 2 != 0) throw OddCountError(count);
    return WriteAnsi(in, count / 2);
  }
  if (codePage_ == kUtf8) {
    const int64_t units = WriteUtf8(in, count / 2);
    return units == count / 2 ? count : units * 2;
  }
  if (codePage_ == kUtf32) return WriteUtf32(in, count / 2);
  return std::max<int64_t>(Wrapped().Write(buffer, count), 0);
}

int64_t TCpTextStream::WriteUtf8(const char16_t* in, int64_t units) {
  // A pair takes four bytes for two units, so three bytes a unit is still enough.
  char* buf = AllocBuffer(static_cast<size_t>(std::min(units, kChunkUnits)) * 3);
  int64_t done = 0;
  while (done < units) {
    int64_t k = std::min(units - done, kChunkUnits);
    // A pair is never split between two chunks.
    if (k > 1 && done + k < units && IsHighSurrogate(in[done + k - 1]) && IsLowSurrogate(in[done + k])) --k;
    const auto bytes = static_cast<int64_t>(EncodeUtf8(in + done, k, buf));
    const int64_t written = std::max<int64_t>(Wrapped().Write(buf, bytes), 0);
    if (written < bytes) {
      // Count the units whose whole sequences made it out.
      int64_t pos = 0;
      for (int64_t i = 0; i < k; ++i) {
        const bool pair = IsHighSurrogate(in[done + i]) && i + 1 < k && IsLowSurrogate(in[done + i + 1]);
        pos += pair ? 4 : static_cast<int64_t>(Utf8Length(in[done + i]));
        if (pos > written) return done + i;
        if (pair) ++i;
      }
      return done + k;
    }
    done += k;
  }
  return done;
}

int64_t TCpTextStream::WriteUtf32(const char16_t* in, int64_t units) {
  char* buf = AllocBuffer(static_cast<size_t>(std::min(units, kChunkUnits)) * 4);
  int64_t total = 0;
  for (int64_t done = 0; done < units;) {
    const int64_t k = std::min(units - done, kChunkUnits);
    for (int64_t i = 0; i < k; ++i) {
      buf[4 * i] = static_cast<char>(in[done + i] & 0xFF);
      buf[4 * i + 1] = static_cast<char>(in[done + i] >> 8);
      buf[4 * i + 2] = 0;
      buf[4 * i + 3] = 0;
    }
    const int64_t written = std::max<int64_t>(Wrapped().Write(buf, k * 4), 0);
    total += written;
    if (written < k * 4) break;
    done += k;
  }
  return total / 2;
}

int64_t TCpTextStream::WriteAnsi(const char16_t* in, int64_t units) {
  int64_t total = 0;
  for (int64_t done = 0; done < units;) {
    int64_t k = std::min(units - done, kChunkUnits);
    // Keep a surrogate pair in one pass.
    if (k > 1 && done + k < units && in[done + k - 1] >= 0xD800 && in[done + k - 1] < 0xDC00) --k;
    auto bytes = platform::WideToMultiByte(codePage_, std::u16string_view(in + done, static_cast<size_t>(k)));
    if (!bytes || static_cast<int64_t>(bytes->size()) > k) {
      // Not installed, or more than one byte per character: the target holds one each.
      platform::SetLastError(bytes ? ENOBUFS : EINVAL);
      CheckOsResult(false, u"Write");
    }
    const int64_t written = std::max<int64_t>(Wrapped().Write(bytes->data(), static_cast<int64_t>(bytes->size())), 0);
    total += written;
    if (written < static_cast<int64_t>(bytes->size())) break;
    done += k;
  }
  return total * 2;
}

bool TCpTextStream::WriteText(std::u16string_view text) {
  if (text.empty()) return true;
  const auto bytes = static_cast<int64_t>(text.size()) * 2;
  return Write(text.data(), bytes) == bytes;
}

}  // namespace textlib
