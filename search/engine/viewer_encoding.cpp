#include "search/engine/viewer_encoding.h"

#include <memory>
#include <mutex>
#include <optional>

#include "platform/codepage.h"
#include "search/engine/fallback_tables.h"

namespace search {

const std::array<const char*, 14> kViewerEncodingGroups = {
    "", "Western European", "Central European", "Baltic", "Cyrillic", "Greek", "Latin 3",
    "Turkish", "Arabic", "Hebrew", "Thai", "Vietnamese", "IBM EBCDIC", "Unicode"};

const std::array<TViewerEncodingRec, kViewerEncodingCount> kViewerEncodings = {{
    {0, 0, "ANSI (Windows)"}, {1, 0, "OEM (DOS)"}, {0, 0, "EBCDIC"}, {0, 0, "KOI8"},
    {0, 0, "ISO"}, {2, 0, "Mac"},
    {850, 1, "IBM-850"}, {28591, 1, "ISO 8859-1"}, {28605, 1, "ISO 8859-15"},
    {10000, 1, "MacRoman"}, {1252, 1, "Windows-1252"},
    {852, 2, "IBM-852"}, {28592, 2, "ISO 8859-2"}, {10029, 2, "MacCE"}, {1250, 2, "Windows-1250"},
    {775, 3, "IBM-775"}, {28594, 3, "ISO 8859-4"}, {28603, 3, "ISO 8859-13"}, {1257, 3, "Windows-1257"},
    {866, 4, "IBM-866"}, {28595, 4, "ISO 8859-5"}, {20866, 4, "KOI8-R"}, {21866, 4, "KOI8-U"},
    {10007, 4, "MacCyrillic"}, {10017, 4, "MacUkrainian"}, {1251, 4, "Windows-1251"},
    {737, 5, "IBM-737"}, {28597, 5, "ISO 8859-7"}, {10006, 5, "MacGreek"}, {1253, 5, "Windows-1253"},
    {28593, 6, "ISO 8859-3"},
    {857, 7, "IBM-857"}, {28599, 7, "ISO 8859-9"}, {10081, 7, "MacTurkish"}, {1254, 7, "Windows-1254"},
    {708, 8, "ASMO-708"}, {720, 8, "DOS-720"}, {864, 8, "IBM-864"}, {28596, 8, "ISO 8859-6"},
    {10004, 8, "MacArabic"}, {1256, 8, "Windows-1256"},
    {862, 9, "IBM-862"}, {38598, 9, "ISO 8859-8, ISO-Logical"}, {28598, 9, "ISO 8859-8, ISO-Visual"},
    {10005, 9, "MacHebrew"}, {1255, 9, "Windows-1255"},
    {874, 10, "Windows-874"},
    {1258, 11, "Windows-1258"},
    {37, 12, "US-Canada"}, {500, 12, "International"}, {870, 12, "Multilingual Latin 2"},
    {875, 12, "Greek Modern"}, {1026, 12, "Turkish (Latin 5)"}, {1047, 12, "Latin 1/Open System"},
    {20273, 12, "Germany"}, {20277, 12, "Denmark-Norway"}, {20278, 12, "Finland-Sweden"},
    {20280, 12, "Italy"}, {20284, 12, "Latin America-Spain"}, {20285, 12, "United Kingdom"},
    {20290, 12, "Japanese Katakana Extended"}, {20297, 12, "France"}, {20420, 12, "Arabic"},
    {20423, 12, "Greek"}, {20424, 12, "Hebrew"}, {20833, 12, "Korean Extended"},
    {20838, 12, "Thai"}, {20871, 12, "Icelandic"}, {20880, 12, "Cyrillic Russian"},
    {20905, 12, "Turkish"}, {21025, 12, "Cyrillic Serbian-Bulgarian"},
    {0, 13, "UTF-16 LE"}, {0, 13, "UTF-16 BE"},
}};

namespace {

struct State {
  std::once_flag initOnce;
  std::mutex mutex;
  std::array<bool, kViewerEncodingCount> installed{};
  // Byte tables per row, made on first use: byte -> wide, and byte -> ANSI byte.
  std::array<std::unique_ptr<std::array<char16_t, 256>>, kViewerEncodingCount> wide;
  std::array<std::unique_ptr<std::array<unsigned char, 256>>, kViewerEncodingCount> ansi;
  std::array<bool, kViewerEncodingCount> tried{};
};

State& TheState() {
  static State* state = new State();  // lives until the process ends
  return *state;
}

void MarkInstalled(State& s) {
  s.installed.fill(false);
  for (int i = 0; i < kViewerEncodingCount; ++i) {
    const uint32_t cp = kViewerEncodings[i].codePage;
    if (cp < 3 || !platform::IsCodePageInstalled(cp)) continue;
    bool first = true;  // the first row with a code page gets the mark
    for (int k = 0; k < i; ++k) first = first && kViewerEncodings[k].codePage != cp;
    if (first) s.installed[i] = true;
  }
  for (int i = 0; i < 6; ++i) s.installed[i] = true;
}

State& Initialized() {
  State& s = TheState();
  std::call_once(s.initOnce, [&] { MarkInstalled(s); });
  return s;
}

// A single-byte table of a code page: each byte decoded alone.
std::unique_ptr<std::array<char16_t, 256>> MakeByteTable(uint32_t cp) {
  auto table = std::make_unique<std::array<char16_t, 256>>();
  for (int b = 0; b < 256; ++b) {
    auto w = platform::MultiByteToWide(cp, std::string(1, static_cast<char>(b)));
    if (!w) return nullptr;
    (*table)[b] = w->size() == 1 ? (*w)[0] : u'?';
  }
  return table;
}

int IsoRowForAnsiCodePage() {
  switch (platform::GetACP()) {
    case 1250: return vEncCEuroISO;
    case 1251: return vEncCyrISO;
    case 1253: return vEncGreekISO;
    case 1254: return vEncTurISO;
    case 1255: return vEncHebISO1;
    case 1256: return vEncArISO;
    case 1257: return vEncBalISO1;
    default: return vEncWEuroISO1;
  }
}

// Bytes below 128 unchanged, the upper half through a fallback table whose results are
// bytes of `target`.
template <size_t N>
std::unique_ptr<std::array<char16_t, 256>> FromFallback(const std::array<unsigned char, N>& table,
                                                        uint32_t target) {
  auto out = std::make_unique<std::array<char16_t, 256>>();
  const int first = 256 - static_cast<int>(N);
  for (int b = 0; b < 256; ++b) {
    const unsigned char mapped = b < first ? static_cast<unsigned char>(b) : table[b - first];
    auto w = platform::MultiByteToWide(target, std::string(1, static_cast<char>(mapped)));
    (*out)[b] = w && w->size() == 1 ? (*w)[0] : u'?';
  }
  return out;
}

// The byte table of an encoding: its own code page when installed; for the general rows
// the row their rule picks, or the fallback table where the platform lacks it.
std::unique_ptr<std::array<char16_t, 256>> MakeEncodingTable(TViewerEncoding e, const State& s) {
  auto converted = [&](int row) -> std::unique_ptr<std::array<char16_t, 256>> {
    if (!s.installed[row]) return nullptr;
    return MakeByteTable(EncodingCodePage(static_cast<TViewerEncoding>(row)));
  };
  std::unique_ptr<std::array<char16_t, 256>> table;
  switch (e) {
    case vEncEBCDIC:
      table = converted(vEncEBUSCanada);
      return table ? std::move(table) : FromFallback(kEbcdicToCp1252, platform::kCpAnsi);
    case vEncKOI8:
      table = converted(vEncCyrKOI8R);
      return table ? std::move(table) : FromFallback(kKoi8rToCp1251, 1251);
    case vEncISO:
      table = converted(IsoRowForAnsiCodePage());
      return table ? std::move(table) : FromFallback(kIso88591ToCp1252, platform::kCpAnsi);
    case vEncMac:
      table = MakeByteTable(platform::GetMacCP());
      return table ? std::move(table) : FromFallback(kMacRomanToCp1252, platform::kCpAnsi);
    case vEncUnicodeLE:
    case vEncUnicodeBE:
      return nullptr;  // read as 2-byte units by their callers
    default:
      return converted(e);
  }
}

const std::array<char16_t, 256>* WideTable(TViewerEncoding e) {
  State& s = Initialized();
  std::lock_guard lock(s.mutex);
  if (!s.tried[e]) {
    s.tried[e] = true;
    s.wide[e] = MakeEncodingTable(e, s);
  }
  return s.wide[e].get();
}

}  // namespace

std::string EncodingDisplayName(TViewerEncoding e) {
  const TViewerEncodingRec& r = kViewerEncodings[e];
  if (r.group == 0) return r.name;
  return std::string(kViewerEncodingGroups[r.group]) + " (" + r.name + ")";
}

uint32_t EncodingCodePage(TViewerEncoding e) {
  const uint32_t cp = kViewerEncodings[e].codePage;
  if (cp == 1) return platform::GetOEMCP();
  if (cp == 2) return platform::GetMacCP();
  return cp;
}

bool EncodingInstalled(TViewerEncoding e) { return Initialized().installed[e]; }

void InitSupportedCodepages() {
  State& s = Initialized();
  std::lock_guard lock(s.mutex);
  MarkInstalled(s);
}

std::u16string CodepageStringToWide(std::string_view text, TViewerEncoding e) {
  if (text.empty()) return {};
  if (e == vEncANSI) return platform::AnsiToWide(text);
  const std::array<char16_t, 256>* table = WideTable(e);
  if (!table) return u"?";
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = (*table)[static_cast<unsigned char>(text[i])];
  return out;
}

const std::array<unsigned char, 256>* EncodingToAnsiTable(TViewerEncoding e) {
  static const std::array<unsigned char, 256> identity = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = static_cast<unsigned char>(b);
    return t;
  }();
  if (e == vEncANSI) return &identity;
  const std::array<char16_t, 256>* wide = WideTable(e);
  if (!wide) return nullptr;
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  auto& slot = s.ansi[e];
  if (!slot) {
    slot = std::make_unique<std::array<unsigned char, 256>>();
    for (int b = 0; b < 256; ++b) {
      auto a = platform::WideToCp1252((*wide)[b]);
      (*slot)[b] = a ? *a : static_cast<unsigned char>('?');
    }
  }
  return slot.get();
}

}  // namespace search
