#include "platform/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

namespace platform {
namespace {

// 0x80-0x9F of Windows-1252; the five undefined bytes map to U+0081, U+008D, U+008F,
// U+0090 and U+009D as the Windows converter does, which makes the table bijective.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char* IconvName(CodePage cp) {
  switch (cp) {
    case 850: return "CP850";
    case 10000: return "MACINTOSH";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    case 20127: return "ASCII";
    case 20932: case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 52936: return "HZ";
    case 54936: return "GB18030";
    case 12000: return "UTF-32LE";
    case 12001: return "UTF-32BE";
    case 65000: return "UTF-7";
    case 708: return "ASMO-708";
    case 10007: return "MAC-CYRILLIC";
    case 10017: return "MAC-UK";
    case 10029: return "MAC-CENTRALEUROPE";
    case 38598: return "ISO-8859-8";  // logical order: the same bytes as the visual one
    case 37: return "IBM037";
    case 500: return "IBM500";
    case 870: return "IBM870";
    case 875: return "IBM875";
    case 1025: return "IBM1025";
    case 1026: return "IBM1026";
    case 1047: return "IBM1047";
    default: return nullptr;
  }
}

std::string IconvNameFor(CodePage cp) {
  if (const char* name = IconvName(cp)) return name;
  // The EBCDIC pages 20273 to 21025 are IBM's pages 273 to 1025.
  if (cp >= 20273 && cp <= 20905) return "IBM" + std::to_string(cp - 20000);
  if (cp == 21025) return "IBM1025";
  return "CP" + std::to_string(cp);
}

// One converter per call: iconv descriptors carry shift state and are not thread-safe.
class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

void AppendUtf16LE(std::u16string& out, const char* begin, const char* end) {
  for (const char* p = begin; p + 1 < end; p += 2)
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                        (static_cast<unsigned char>(p[1]) << 8)));
}

std::optional<std::u16string> IconvDecode(CodePage cp, std::string_view bytes) {
  Iconv cd("UTF-16LE", IconvNameFor(cp));
  if (!cd.ok()) return std::nullopt;
  std::u16string out;
  out.reserve(bytes.size());
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (true) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t r = inLeft ? iconv(cd.get(), &in, &inLeft, &o, &oLeft)
                      : iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
    AppendUtf16LE(out, buffer, o);
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        if (o == buffer) break;  // flushed
        continue;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    // EILSEQ: an invalid byte; EINVAL: a sequence cut off at the end.
    out.push_back(u'?');
    if (errno == EINVAL) break;
    ++in;
    --inLeft;
  }
  return out;
}

std::optional<std::string> IconvEncode(CodePage cp, std::u16string_view text, bool* usedDefault) {
  Iconv cd(IconvNameFor(cp), "UTF-16LE");
  if (!cd.ok()) return std::nullopt;
  std::string le;
  le.reserve(text.size() * 2);
  for (char16_t u : text) {
    le.push_back(static_cast<char>(u & 0xFF));
    le.push_back(static_cast<char>(u >> 8));
  }
  std::string out;
  char buffer[4096];
  char* in = le.data();
  size_t inLeft = le.size();
  while (true) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t r = inLeft ? iconv(cd.get(), &in, &inLeft, &o, &oLeft)
                      : iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
    out.append(buffer, o);
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0 && o == buffer) break;
      continue;
    }
    if (errno == E2BIG) continue;
    if (usedDefault) *usedDefault = true;
    out.push_back('?');
    if (errno == EINVAL || inLeft < 2) break;
    // Skip the unit, or the whole pair when it starts a surrogate pair.
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                          (static_cast<unsigned char>(in[1]) << 8));
    size_t skip = (unit >= 0xD800 && unit < 0xDC00 && inLeft >= 4) ? 4 : 2;
    in += skip;
    inLeft -= skip;
  }
  return out;
}

}  // namespace

CodePage GetACP() { return kCpAnsi; }
CodePage GetOEMCP() { return kCpOem; }
CodePage GetMacCP() { return kCpMac; }

char16_t Cp1252ToWide(unsigned char byte) {
  return (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : static_cast<char16_t>(byte);
}

std::optional<unsigned char> WideToCp1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == unit) return static_cast<unsigned char>(0x80 + i);
  return std::nullopt;
}

std::u16string AnsiToWide(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    out[i] = Cp1252ToWide(static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string WideToAnsi(std::u16string_view text, bool* usedDefaultChar) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u < 0x80) {
      out[i] = static_cast<char>(u);
    } else if (auto b = WideToCp1252(u)) {
      out[i] = static_cast<char>(*b);
    } else {
      out[i] = '?';
      if (usedDefaultChar) *usedDefaultChar = true;
    }
  }
  return out;
}

bool IsCodePageInstalled(CodePage cp) {
  if (cp == kCpAnsi || cp == kCpUtf8 || cp == kCpUtf16LE || cp == kCpUtf16BE) return true;
  Iconv cd("UTF-16LE", IconvNameFor(cp));
  return cd.ok();
}

std::optional<std::u16string> MultiByteToWide(CodePage cp, std::string_view bytes) {
  switch (cp) {
    case kCpAnsi:
      return AnsiToWide(bytes);
    case kCpUtf8: {
      if (auto strict = PosixUtf8ToWide(bytes)) return strict;
      return IconvDecode(cp, bytes);
    }
    case kCpUtf16LE:
    case kCpUtf16BE: {
      std::u16string out(bytes.size() / 2, u'\0');
      for (size_t i = 0; i < out.size(); ++i) {
        auto a = static_cast<unsigned char>(bytes[2 * i]);
        auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = cp == kCpUtf16LE ? char16_t(a | (b << 8)) : char16_t((a << 8) | b);
      }
      return out;
    }
    default:
      return IconvDecode(cp, bytes);
  }
}

std::optional<std::string> WideToMultiByte(CodePage cp, std::u16string_view text,
                                           bool* usedDefaultChar) {
  switch (cp) {
    case kCpAnsi:
      return WideToAnsi(text, usedDefaultChar);
    case kCpUtf8:
      return WideToPosixUtf8(text);
    case kCpUtf16LE:
    case kCpUtf16BE: {
      std::string out;
      out.reserve(text.size() * 2);
      for (char16_t u : text) {
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out.push_back(cp == kCpUtf16LE ? lo : hi);
        out.push_back(cp == kCpUtf16LE ? hi : lo);
      }
      return out;
    }
    default:
      return IconvEncode(cp, text, usedDefaultChar);
  }
}

std::string WideToPosixUtf8(std::u16string_view text) {
  // Sized for the worst case (three bytes a unit) and written through a pointer: pages
  // and hit lists of a search run go through here, mostly ASCII.
  std::string out(text.size() * 3, '\0');
  char* o = out.data();
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    // Runs of ASCII four units at a time.
    while (i + 4 <= n) {
      uint64_t four;
      std::memcpy(&four, text.data() + i, 8);
      if (four & 0xFF80FF80FF80FF80ull) break;
      for (size_t k = 0; k < 4; ++k) *o++ = static_cast<char>(text[i + k]);
      i += 4;
    }
    if (i >= n) break;
    char32_t c = text[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = static_cast<char>(0xE0 | (c >> 12));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<char>(0xF0 | (c >> 18));
      *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

size_t Utf8SequenceAt(const unsigned char* p, size_t left, char32_t* value) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    *value = b;
    return 1;
  }
  auto cont = [&](size_t k) { return k < left && (p[k] & 0xC0) == 0x80; };
  if (b >= 0xC2 && b <= 0xDF) {
    if (!cont(1)) return 0;
    *value = (char32_t{b} & 0x1F) << 6 | (p[1] & 0x3F);
    return 2;
  }
  if (b >= 0xE0 && b <= 0xEF) {
    // No overlong forms (E0 80-9F) and no surrogates (ED A0-BF).
    if (!cont(1) || !cont(2) || (b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F)) return 0;
    *value = (char32_t{b} & 0x0F) << 12 | char32_t{p[1] & 0x3Fu} << 6 | (p[2] & 0x3F);
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3) || (b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F)) return 0;
    *value = (char32_t{b} & 0x07) << 18 | char32_t{p[1] & 0x3Fu} << 12 | char32_t{p[2] & 0x3Fu} << 6 | (p[3] & 0x3F);
    return 4;
  }
  return 0;
}

std::optional<std::u16string> PosixUtf8ToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const size_t len = Utf8SequenceAt(p + i, bytes.size() - i, &c);
    if (len == 0) return std::nullopt;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += len;
  }
  return out;
}

}  // namespace platform
