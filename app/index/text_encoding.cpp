#include "app/index/text_encoding.h"

#include <emmintrin.h>

#include <array>
#include <bitset>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "textlib/wide/widefile.h"

namespace app {
namespace {

struct CharsetName {
  std::string_view name;
  uint16_t codePage;
};

// Order matters: the last name found wins, so names that contain others come after them.
constexpr CharsetName kCharsets[] = {
    {"ibm037", 37}, {"ibm437", 437}, {"ibm500", 500}, {"asmo-708", 708}, {"asmo-449+", 709},
    {"bcon v4", 709}, {"dos-720", 720}, {"ibm737", 737}, {"ibm775", 775}, {"ibm850", 850},
    {"ibm852", 852}, {"ibm855", 855}, {"ibm857", 857}, {"ibm00858", 858}, {"ibm860", 860},
    {"ibm861", 861}, {"dos-862", 862}, {"ibm863", 863}, {"ibm864", 864}, {"ibm865", 865},
    {"cp866", 866}, {"ibm869", 869}, {"ibm870", 870}, {"windows-874", 874}, {"cp875", 875},
    {"shift_jis", 932}, {"gb2312", 936}, {"ks_c_5601-1987", 949}, {"big5", 950},
    {"ibm1026", 1026}, {"ibm01047", 1047}, {"ibm01140", 1140}, {"ibm01141", 1141},
    {"ibm01142", 1142}, {"ibm01143", 1143}, {"ibm01144", 1144}, {"ibm01145", 1145},
    {"ibm01146", 1146}, {"ibm01147", 1147}, {"ibm01148", 1148}, {"ibm01149", 1149},
    {"utf-16", 1200}, {"unicodefffe", 1201}, {"unicode", 1201}, {"windows-1250", 1250},
    {"windows-1251", 1251}, {"windows-1252", 1252}, {"windows-1253", 1253},
    {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256},
    {"windows-1257", 1257}, {"windows-1258", 1258}, {"johab", 1361}, {"macintosh", 10000},
    {"x-mac-japanese", 10001}, {"x-mac-chinesetrad", 10002}, {"x-mac-korean", 10003},
    {"x-mac-arabic", 10004}, {"x-mac-hebrew", 10005}, {"x-mac-greek", 10006},
    {"x-mac-cyrillic", 10007}, {"x-mac-chinesesimp", 10008}, {"x-mac-romanian", 10010},
    {"x-mac-ukrainian", 10017}, {"x-mac-thai", 10021}, {"x-mac-ce", 10029},
    {"x-mac-icelandic", 10079}, {"x-mac-turkish", 10081}, {"x-mac-croatian", 10082},
    {"utf-32", 12000}, {"utf-32be", 12001}, {"x-chinese_cns", 20000}, {"x-cp20001", 20001},
    {"x_chinese-eten", 20002}, {"x-cp20003", 20003}, {"x-cp20004", 20004},
    {"x-cp20005", 20005}, {"x-ia5", 20105}, {"x-ia5-german", 20106}, {"x-ia5-swedish", 20107},
    {"x-ia5-norwegian", 20108}, {"us-ascii", 20127}, {"x-cp20261", 20261},
    {"x-cp20269", 20269}, {"ibm273", 20273}, {"ibm277", 20277}, {"ibm278", 20278},
    {"ibm280", 20280}, {"ibm284", 20284}, {"ibm285", 20285}, {"ibm290", 20290},
    {"ibm297", 20297}, {"ibm420", 20420}, {"ibm423", 20423}, {"ibm424", 20424},
    {"x-ebcdic-koreanextended", 20833}, {"ibm-thai", 20838}, {"koi8-r", 20866},
    {"ibm871", 20871}, {"ibm880", 20880}, {"ibm905", 20905}, {"ibm00924", 20924},
    {"x-cp20936", 20936}, {"x-cp20949", 20949}, {"cp1025", 21025}, {"koi8-u", 21866},
    {"iso-8859-1", 28591}, {"iso-8859-2", 28592}, {"iso-8859-3", 28593},
    {"iso-8859-4", 28594}, {"iso-8859-5", 28595}, {"iso-8859-6", 28596},
    {"iso-8859-7", 28597}, {"iso-8859-8", 28598}, {"iso-8859-9", 28599},
    {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"x-europa", 29001},
    {"iso-8859-8-i", 38598}, {"iso-2022-jp", 50222}, {"iso-2022-kr", 50225},
    {"x-cp50227", 50227}, {"euc-jp", 51932}, {"euc-cn", 51936}, {"euc-kr", 51949},
    {"hz-gb-2312", 52936}, {"gb18030", 54936}, {"x-iscii-de", 57002}, {"x-iscii-be", 57003},
    {"x-iscii-ta", 57004}, {"x-iscii-te", 57005}, {"x-iscii-as", 57006},
    {"x-iscii-or", 57007}, {"x-iscii-ka", 57008}, {"x-iscii-ma", 57009},
    {"x-iscii-gu", 57010}, {"x-iscii-pa", 57011}, {"utf-7", 65000},
};
static_assert(std::size(kCharsets) == 139);

constexpr std::string_view kZhLanguage = "\"content-language\" content=\"zh-";

bool Contains(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  if (part.size() > text.size()) return false;
  return memmem(text.data(), text.size(), part.data(), part.size()) != nullptr;
}

unsigned Bigram(char a, char b) {
  return static_cast<unsigned>(static_cast<unsigned char>(a)) << 8 | static_cast<unsigned char>(b);
}

bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

EncodingKind DetectTextEncodingBytes(std::string_view firstBytes) {
  unsigned char b[4] = {' ', ' ', ' ', ' '};
  std::memcpy(b, firstBytes.data(), std::min<size_t>(4, firstBytes.size()));
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return kKindUtf8;
  if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) return kKindUtf32BE;
  if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) return kKindUtf32LE;
  if (b[0] == 0xFE && b[1] == 0xFF) return kKindUtf16BE;
  if (b[0] == 0xFF && b[1] == 0xFE) return kKindUtf16LE;
  if (b[0] == '{' && b[1] == '\\' && b[2] == 'r') return kKindRtf;
  return kKindNoUnicode;
}

EncodingKind DetectTextEncoding(std::u16string_view path) {
  platform::NativeFile file = OpenFileProbe(path, textlib::fmOpenRead | textlib::fmShareDenyNone);
  char buffer[4];
  const int64_t got = file.Valid() ? file.Read(buffer, 4) : 0;
  return DetectTextEncodingBytes(std::string_view(buffer, static_cast<size_t>(std::max<int64_t>(got, 0))));
}

std::u16string EncodingKindName(int kind) {
  static const char16_t* const kNames[] = {u"UTF8",          u"UTF16 - BigEndian",    u"UTF16 - LittleEndian",
                                           u"UTF32 - BigEndian", u"UTF32 - LittleEndian", u"RTF",
                                           u"kein Unicode"};
  if (kind < 0 || kind >= static_cast<int>(std::size(kNames))) return {};
  return kNames[kind];
}

uint16_t CodePageFromCharset(std::string_view sample) {
  std::string lower(sample);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // A name whose first two bytes never stand together in the sample cannot occur, which
  // spares most of the 139 searches.
  std::bitset<65536> bigrams;
  for (size_t i = 0; i + 1 < lower.size(); ++i) bigrams.set(Bigram(lower[i], lower[i + 1]));
  uint16_t codePage = 0;
  for (const CharsetName& entry : kCharsets) {
    if (!bigrams.test(Bigram(entry.name[0], entry.name[1]))) continue;
    if (Contains(lower, entry.name)) codePage = entry.codePage;
  }
  if (Contains(lower, "utf-8")) {
    if (Contains(lower, kZhLanguage)) return kKeepTextCodePage;
    if (IsValidUtf8(sample) && (Contains(sample, "\xE4") || Contains(sample, "\xF6"))) return 0;
    return 65001;
  }
  return codePage;
}

namespace {

// Names that pages use besides those of the charset table.
constexpr CharsetName kCharsetAliases[] = {
    {"utf-8", 65001}, {"utf8", 65001}, {"unicode-1-1-utf-8", 65001}, {"latin1", 28591},    {"l1", 28591},
    {"iso8859-1", 28591},   {"iso_8859-1", 28591},        {"ascii", 20127},     {"cp1252", 1252},
    {"x-sjis", 932},        {"sjis", 932},                {"shift-jis", 932},   {"ms_kanji", 932},
    {"windows-31j", 932},   {"cp932", 932},               {"gbk", 936},         {"x-gbk", 936},
    {"cp936", 936},         {"cp1251", 1251},             {"cp1250", 1250},     {"latin2", 28592},
    {"iso-8859-16", 28606}, {"latin9", 28605},            {"iso8859-15", 28605}, {"koi8r", 20866},
};

std::optional<uint16_t> CodePageOfName(std::string_view name) {
  for (const CharsetName& entry : kCharsets)
    if (entry.name == name) return entry.codePage;
  for (const CharsetName& entry : kCharsetAliases)
    if (entry.name == name) return entry.codePage;
  return std::nullopt;
}

bool IsCharsetNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
         c == '+';
}

// The name after "<key>" "=" with optional blanks and quotes, lower case.
std::string_view ValueAfter(std::string_view lower, size_t pos) {
  auto skip = [&](auto pred) {
    while (pos < lower.size() && pred(lower[pos])) ++pos;
  };
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  skip(blank);
  if (pos >= lower.size() || lower[pos] != '=') return {};
  ++pos;
  skip([&](char c) { return blank(c) || c == '"' || c == '\''; });
  const size_t start = pos;
  skip(IsCharsetNameChar);
  return lower.substr(start, pos - start);
}

}  // namespace

uint16_t DeclaredCodePage(std::string_view sample) {
  std::string lower(sample);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // The first declaration that names a known charset wins, as in browsers.
  for (std::string_view key : {"charset", "encoding"}) {
    for (size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
      if (key == "encoding" && lower.rfind("<?xml", at) == std::string::npos) break;
      if (const std::optional<uint16_t> cp = CodePageOfName(ValueAfter(lower, at + key.size()))) return *cp;
    }
  }
  return 0;
}

namespace {

enum class PageCharset { Unknown, Utf8, Cp1252, Other };

// How bytes that are not UTF-8 are read when a page names the code page.
PageCharset CharsetOfCodePage(uint16_t cp) {
  switch (cp) {
    case 0: return PageCharset::Unknown;
    // A page that claims UTF-16 or UTF-32 but has no mark was readable as ASCII: it is
    // none of them, and browsers take it as UTF-8.
    case 65001: case kKeepTextCodePage: case 1200: case 1201: case 12000: case 12001:
      return PageCharset::Utf8;
    // Browsers read ISO-8859-1 and US-ASCII as windows-1252, and real pages rely on it.
    case 1252: case 28591: case 20127: case 65000:
      return PageCharset::Cp1252;
    default: break;
  }
  // EBCDIC pages cannot be what a declaration readable as ASCII stands in.
  const bool ebcdic = cp == 37 || cp == 500 || cp == 870 || cp == 875 || cp == 1026 || cp == 1047 ||
                      (cp >= 1140 && cp <= 1149) || (cp >= 20273 && cp <= 20297) ||
                      (cp >= 20420 && cp <= 20424) || cp == 20833 || cp == 20838 || cp == 20871 ||
                      cp == 20880 || cp == 20905 || cp == 20924 || cp == 21025;
  return ebcdic ? PageCharset::Cp1252 : PageCharset::Other;
}

// 7-bit code pages whose escape sequences change pure ASCII bytes.
bool IsStatefulSevenBit(uint16_t cp) { return (cp >= 50220 && cp <= 50229) || cp == 52936; }

std::u16string Utf32Units(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 4);
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    char32_t c = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char32_t byte = static_cast<unsigned char>(bytes[i + (bigEndian ? k : 3 - k)]);
      c = c << 8 | byte;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(c > 0xFFFF || (c >= 0xD800 && c < 0xE000) ? u'\uFFFD' : static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace

namespace {

// The decoder; with stopAtError it gives up at the first byte that is no UTF-8 (the
// caller then reads the bytes another way and needs no text from here).
std::u16string DecodeUtf8Page(std::string_view bytes, bool stopAtError, bool* wellFormed, bool* multibyte) {
  // Never more units than bytes: a four-byte sequence gives two.
  std::u16string out(bytes.size(), u'\0');
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  bool ok = true, multi = false;
  const unsigned char* vectorFrom = p;
  while (p < end) {
    // Runs of ASCII, sixteen bytes at a time widened with vector unpacks: most of a page.
    // After a run broke, the next try waits sixteen bytes.
    while (p >= vectorFrom && end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      if (_mm_movemask_epi8(bytes)) {
        vectorFrom = p + 16;
        break;
      }
      const __m128i zero = _mm_setzero_si128();
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(bytes, zero));
      o += 16;
      p += 16;
    }
    if (p == end) break;
    if (*p < 0x80) {
      *o++ = *p++;
      continue;
    }
    char32_t c = 0;
    const size_t n = platform::Utf8SequenceAt(p, static_cast<size_t>(end - p), &c);
    if (n == 0) {
      ok = false;
      if (stopAtError) break;
      *o++ = platform::Cp1252ToWide(*p++);
      continue;
    }
    multi = true;
    if (c >= 0x10000) {
      *o++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(c);
    }
    p += n;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  if (wellFormed) *wellFormed = ok;
  if (multibyte) *multibyte = multi;
  return out;
}

}  // namespace

std::u16string Utf8OrCp1252ToWide(std::string_view bytes, bool* wellFormed, bool* multibyte) {
  return DecodeUtf8Page(bytes, false, wellFormed, multibyte);
}

std::u16string DecodePageBytes(std::string_view bytes, EncodingKind kind) {
  switch (kind) {
    case kKindUtf8: return Utf8OrCp1252ToWide(bytes.substr(3));
    case kKindUtf16LE: return *platform::MultiByteToWide(platform::kCpUtf16LE, bytes.substr(2));
    case kKindUtf16BE: return *platform::MultiByteToWide(platform::kCpUtf16BE, bytes.substr(2));
    case kKindUtf32LE: return Utf32Units(bytes.substr(4), false);
    case kKindUtf32BE: return Utf32Units(bytes.substr(4), true);
    default: break;
  }
  bool wellFormed = false, multibyte = false;
  std::u16string utf8 = DecodeUtf8Page(bytes, true, &wellFormed, &multibyte);
  if (wellFormed && multibyte) return utf8;
  const std::string_view sample = bytes.substr(0, 2000);
  uint16_t declared = DeclaredCodePage(sample);
  if (declared == 0) {
    // Without a declaration the pages that the charset names anywhere in the sample
    // convert are still taken from it.
    switch (const uint16_t named = CodePageFromCharset(sample)) {
      case 932: case 936: case 950: case 54936: case 1251: case 1256: case 65001: case kKeepTextCodePage:
        declared = named;
        break;
      default:
        break;
    }
  }
  // A page is held decoded once: the UTF-8 attempt goes before another decoding starts.
  const auto decodedOtherwise = [&utf8](auto decode) {
    std::u16string().swap(utf8);
    return decode();
  };
  switch (CharsetOfCodePage(declared)) {
    case PageCharset::Utf8:
      if (wellFormed) return utf8;
      return decodedOtherwise([&] { return Utf8OrCp1252ToWide(bytes); });
    case PageCharset::Other:
      if (wellFormed && !IsStatefulSevenBit(declared)) return utf8;  // plain ASCII reads alike in all of them
      if (std::optional<std::u16string> text =
              decodedOtherwise([&] { return platform::MultiByteToWide(declared, bytes); }))
        return std::move(*text);
      break;
    case PageCharset::Unknown:
    case PageCharset::Cp1252:
      break;
  }
  if (wellFormed) return utf8;  // plain ASCII
  return decodedOtherwise([&] { return platform::AnsiToWide(bytes); });
}

int ClassifyUtf8(const unsigned char* bytes, size_t length) {
  int expected = 0;
  unsigned char lead = 0;
  bool first = false, multibyte = false;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char b = bytes[i];
    if (expected > 0) {
      if (!IsContinuation(b)) return 2;
      if (first && lead == 0xE0 && !(b & 0x20)) return 2;
      if (first && lead == 0xF0 && !(b & 0x30)) return 2;
      first = false;
      multibyte = true;
      --expected;
      continue;
    }
    if (b < 0x80) continue;
    if (b == 0xC0 || b == 0xC1) return 2;
    if (b >= 0xC2 && b <= 0xDF) {
      expected = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      expected = 2;
    } else if (b >= 0xF0 && b <= 0xF7) {
      expected = 3;
    } else {
      return 2;
    }
    lead = b;
    first = true;
  }
  if (expected > 0) return 2;
  return multibyte ? 1 : 0;
}

namespace {

// The decoder over any sequence of bytes: the bytes of a buffer, or the code page 1252
// bytes of a wide text, which spares the narrowed copy.
template <typename ByteAt>
size_t DecodeLenient(char16_t* dest, size_t capacity, size_t length, ByteAt byteAt) {
  size_t k = 0, n = 0;
  while (k < length && n + 1 < capacity) {
    const unsigned char b = byteAt(k);
    if (b < 0x80) {
      dest[n++] = b;
      ++k;
      continue;
    }
    if (k + 1 == length) {
      dest[n++] = b;
      break;
    }
    const unsigned char c = byteAt(k + 1);
    if (!(b & 0x20)) {
      if (IsContinuation(c)) {
        dest[n++] = static_cast<char16_t>(((b & 0x3F) << 6) | (c & 0x3F));
        k += 2;
      } else {
        dest[n++] = b;
        k += 1;
      }
      continue;
    }
    if (!IsContinuation(c)) {
      dest[n++] = b;
      k += 1;
      continue;
    }
    if (k + 2 == length) {
      dest[n++] = b;  // the cut-off continuation is dropped
      break;
    }
    const unsigned char d = byteAt(k + 2);
    if (IsContinuation(d)) {
      dest[n++] = static_cast<char16_t>(((b & 0x3F) << 12) | ((c & 0x3F) << 6) | (d & 0x3F));
      k += 3;
    } else {
      dest[n++] = c;
      k += 2;
    }
  }
  dest[n] = 0;
  return n + 1;
}

}  // namespace

size_t DecodeUtf8LenientBuffer(char16_t* dest, size_t capacity, const unsigned char* source, size_t length) {
  if (source == nullptr || length == 0) return 0;
  if (dest == nullptr || capacity == 0) return 0;
  return DecodeLenient(dest, capacity, length, [source](size_t i) { return source[i]; });
}

std::u16string AnsiUtf8ToWideLenient(std::u16string_view text) {
  if (text.empty()) return {};
  std::u16string out(text.size() + 1, u'\0');
  const size_t n = DecodeLenient(out.data(), out.size(), text.size(), [text](size_t i) -> unsigned char {
    const char16_t c = text[i];
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    return platform::WideToCp1252(c).value_or('?');
  });
  out.resize(n - 1);
  return out;
}

std::u16string Utf8ToWideLenient(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::u16string out(bytes.size() + 1, u'\0');
  const size_t n = DecodeUtf8LenientBuffer(out.data(), out.size(),
                                           reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::u16string CodePageToWide(std::string_view bytes, uint32_t codePage) {
  if (bytes.empty()) return {};
  return platform::MultiByteToWide(codePage, bytes).value_or(std::u16string());
}

platform::NativeFile OpenFileProbe(std::u16string_view path, uint32_t mode) {
  // Only regular files: opening a named pipe would wait for a writer forever, and a
  // device would read without end.
  const std::optional<platform::FileStat> stat = platform::Stat(platform::PosixPath(path));
  if (stat && !stat->isRegular) return platform::NativeFile();
  return textlib::WideFileOpen(path, mode);
}

int64_t GetFileSize64(const platform::NativeFile& file) { return file.Valid() ? file.Size() : -1; }

bool EnthaeltPfadDateinameAsiaZeichen(std::string_view ansiText) {
  return ansiText.find('?') != std::string_view::npos;
}

}  // namespace app
