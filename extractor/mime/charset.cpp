#include "extractor/mime/charset.h"

#include <algorithm>
#include <array>

namespace extractor {
namespace {

using platform::CodePage;

struct CharsetName {
  std::string_view name;
  CodePage codePage;
};

// The names mail and web archives use; ISO-8859-1 and ASCII are read as 1252 (its
// superset), as browsers do.
constexpr CharsetName kCharsets[] = {
    {"utf-8", 65001},          {"utf8", 65001},           {"unicode-1-1-utf-8", 65001},
    {"us-ascii", 1252},        {"ascii", 1252},           {"iso-8859-1", 1252},
    {"iso8859-1", 1252},       {"iso_8859-1", 1252},      {"latin1", 1252},
    {"l1", 1252},              {"windows-1252", 1252},    {"cp1252", 1252},
    {"x-cp1252", 1252},        {"cp819", 1252},           {"ibm819", 1252},
    {"windows-1250", 1250},    {"cp1250", 1250},          {"x-cp1250", 1250},
    {"windows-1251", 1251},    {"cp1251", 1251},          {"x-cp1251", 1251},
    {"windows-1253", 1253},    {"cp1253", 1253},          {"windows-1254", 1254},
    {"cp1254", 1254},          {"windows-1255", 1255},    {"cp1255", 1255},
    {"windows-1256", 1256},    {"cp1256", 1256},          {"windows-1257", 1257},
    {"cp1257", 1257},          {"windows-1258", 1258},    {"cp1258", 1258},
    {"windows-874", 874},      {"tis-620", 874},          {"iso-8859-11", 874},
    {"iso-8859-2", 28592},     {"latin2", 28592},         {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},     {"iso-8859-5", 28595},     {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},     {"iso-8859-8", 28598},     {"iso-8859-8-i", 28598},
    {"iso-8859-9", 28599},     {"latin5", 28599},         {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},    {"latin9", 28605},         {"koi8-r", 20866},
    {"koi8r", 20866},          {"koi8-u", 21866},         {"ibm866", 866},
    {"cp866", 866},            {"ibm850", 850},           {"cp850", 850},
    {"macintosh", 10000},      {"x-mac-roman", 10000},    {"x-mac-cyrillic", 10007},
    {"shift_jis", 932},        {"shift-jis", 932},        {"x-sjis", 932},
    {"sjis", 932},             {"ms_kanji", 932},         {"windows-31j", 932},
    {"cp932", 932},            {"euc-jp", 51932},         {"x-euc-jp", 51932},
    {"iso-2022-jp", 50220},    {"csiso2022jp", 50220},    {"gb2312", 936},
    {"gbk", 936},              {"x-gbk", 936},            {"cp936", 936},
    {"euc-cn", 936},           {"x-euc-cn", 936},         {"gb18030", 54936},
    {"big5", 950},             {"x-x-big5", 950},         {"cp950", 950},
    {"euc-kr", 949},           {"ks_c_5601-1987", 949},   {"cp949", 949},
    {"iso-2022-kr", 50225},    {"hz-gb-2312", 52936},     {"utf-16le", 1200},
    {"utf-16", 1200},          {"ucs-2", 1200},           {"utf-16be", 1201},
    {"utf-7", 65000},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

bool IsBlankOrQuote(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\''; }

}  // namespace

std::optional<CodePage> CodePageOfCharset(std::string_view name) {
  while (!name.empty() && IsBlankOrQuote(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlankOrQuote(name.back())) name.remove_suffix(1);
  if (name.empty() || name.size() > 40) return std::nullopt;
  const std::string lower = LowerAscii(name);
  for (const CharsetName& entry : kCharsets) {
    if (entry.name != lower) continue;
    if (!platform::IsCodePageInstalled(entry.codePage)) return std::nullopt;
    return entry.codePage;
  }
  return std::nullopt;
}

std::string MetaCharset(std::string_view html) {
  const std::string lower = LowerAscii(html.substr(0, 4096));
  for (size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
    const size_t end = std::min(lower.find('>', at), lower.size());
    const std::string_view tag = std::string_view(lower).substr(at, end - at);
    const size_t key = tag.find("charset");
    if (key == std::string_view::npos) continue;
    size_t i = key + 7;
    while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n')) ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && IsBlankOrQuote(tag[i])) ++i;
    size_t stop = i;
    while (stop < tag.size() && !IsBlankOrQuote(tag[stop]) && tag[stop] != ';' && tag[stop] != '/') ++stop;
    if (stop > i) return std::string(tag.substr(i, stop - i));
  }
  return {};
}

std::u16string DecodeUtf8Lenient(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    // Runs of ASCII are the bulk of every page.
    while (i < n && p[i] < 0x80) out.push_back(static_cast<char16_t>(p[i++]));
    if (i >= n) break;
    char32_t value = 0;
    const size_t length = platform::Utf8SequenceAt(p + i, n - i, &value);
    if (length == 0) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
    i += length;
  }
  return out;
}

namespace {

// 0: ASCII only, 1: well-formed with a multibyte sequence, 2: not UTF-8.
int ClassifyUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  bool multibyte = false;
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    char32_t value = 0;
    const size_t length = platform::Utf8SequenceAt(p + i, n - i, &value);
    if (length == 0) return 2;
    multibyte = true;
    i += length;
  }
  return multibyte ? 1 : 0;
}

TDecodedText Decoded(std::u16string text, TCharsetSource source, CodePage cp) {
  TDecodedText out;
  out.text = std::move(text);
  out.source = source;
  out.codePage = cp;
  return out;
}

std::optional<TDecodedText> DecodeAs(std::string_view bytes, CodePage cp, TCharsetSource source) {
  if (cp == platform::kCpUtf8) return Decoded(DecodeUtf8Lenient(bytes), source, cp);
  if (cp == platform::kCpAnsi) return Decoded(platform::AnsiToWide(bytes), source, cp);
  std::optional<std::u16string> text = platform::MultiByteToWide(cp, bytes);
  if (!text) return std::nullopt;
  return Decoded(std::move(*text), source, cp);
}

// A declared code page 1252 (or its subsets) over bytes that are well-formed UTF-8 with a
// multibyte sequence: the bytes are UTF-8, as the direct search decides for files. No real
// 1252 text forms such sequences (they need a lead byte followed by one to three of 80..BF).
CodePage Utf8WhereWellFormed(std::string_view bytes, CodePage cp) {
  return cp == platform::kCpAnsi && ClassifyUtf8(bytes) == 1 ? platform::kCpUtf8 : cp;
}

}  // namespace

TDecodedText DecodeTextBytes(std::string_view bytes, std::string_view declaredCharset, bool html) {
  // A byte-order mark is unambiguous, and browsers let it decide over every declaration.
  if (bytes.starts_with("\xEF\xBB\xBF"))
    return Decoded(DecodeUtf8Lenient(bytes.substr(3)), TCharsetSource::kByteOrderMark, platform::kCpUtf8);
  if (bytes.starts_with("\xFF\xFE"))
    return *DecodeAs(bytes.substr(2), platform::kCpUtf16LE, TCharsetSource::kByteOrderMark);
  if (bytes.starts_with("\xFE\xFF"))
    return *DecodeAs(bytes.substr(2), platform::kCpUtf16BE, TCharsetSource::kByteOrderMark);
  if (const std::optional<CodePage> cp = CodePageOfCharset(declaredCharset))
    if (auto text = DecodeAs(bytes, Utf8WhereWellFormed(bytes, *cp), TCharsetSource::kDeclared)) return std::move(*text);
  if (html) {
    if (const std::optional<CodePage> cp = CodePageOfCharset(MetaCharset(bytes))) {
      // A page read as ASCII cannot be UTF-16 inside: browsers take such a meta as UTF-8.
      const CodePage meta = *cp == platform::kCpUtf16LE || *cp == platform::kCpUtf16BE ? platform::kCpUtf8 : *cp;
      if (auto text = DecodeAs(bytes, Utf8WhereWellFormed(bytes, meta), TCharsetSource::kMeta)) return std::move(*text);
    }
  }
  if (ClassifyUtf8(bytes) == 1)
    return Decoded(DecodeUtf8Lenient(bytes), TCharsetSource::kUtf8Detected, platform::kCpUtf8);
  return Decoded(platform::AnsiToWide(bytes), TCharsetSource::kDefault, platform::kCpAnsi);
}

}  // namespace extractor
