#include "textlib/unicode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "textlib/errors.h"

extern const unsigned char kUnicodeTypeResource[];
extern const std::size_t kUnicodeTypeResourceSize;
extern const unsigned char kUnicodeCaseResource[];
extern const std::size_t kUnicodeCaseResourceSize;

namespace textlib {
namespace {

// Reads 16- and 32-bit fields in the byte order given by the resource's mark.
class FieldReader {
 public:
  FieldReader(std::span<const uint8_t> data, const char16_t* name) : data_(data), name_(name) {
    uint16_t mark = Raw16(0);
    if (mark == 0xFEFF) {
      swap_ = false;
    } else if (mark == 0xFFFE) {
      swap_ = true;
    } else {
      Missing();
    }
  }
  uint16_t U16(size_t offset) const {
    uint16_t v = Raw16(offset);
    return swap_ ? static_cast<uint16_t>((v >> 8) | (v << 8)) : v;
  }
  uint32_t U32(size_t offset) const {
    Need(offset + 4);
    uint32_t v = uint32_t(data_[offset]) | uint32_t(data_[offset + 1]) << 8 |
                 uint32_t(data_[offset + 2]) << 16 | uint32_t(data_[offset + 3]) << 24;
    return swap_ ? __builtin_bswap32(v) : v;
  }
  void Need(size_t end) const {
    if (end > data_.size()) Missing();
  }
  [[noreturn]] void Missing() const {
    throw EResNotFound(u"Ressource " + std::u16string(name_) + u" nicht gefunden");
  }

 private:
  uint16_t Raw16(size_t offset) const {
    Need(offset + 2);
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::span<const uint8_t> data_;
  const char16_t* name_;
  bool swap_ = false;
};

// Both tables share one lock and one resource lookup.
std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
UnicodeResourceLookup& ResourceLookup() {
  static UnicodeResourceLookup lookup = EmbeddedUnicodeResource;
  return lookup;
}

template <typename Table>
class LazyTable {
 public:
  const Table& Get(const char* name) {
    if (const Table* t = table_.load(std::memory_order_acquire)) return *t;
    std::lock_guard lock(TableMutex());
    if (const Table* t = table_.load(std::memory_order_relaxed)) return *t;
    // A failed load raises here and leaves the table unloaded for the next try.
    auto loaded = std::make_unique<Table>(Table::Load(ResourceLookup()(name)));
    table_.store(loaded.get(), std::memory_order_release);
    owned_ = std::move(loaded);
    return *owned_;
  }
  void Reset() {
    table_.store(nullptr, std::memory_order_release);
    retired_.push_back(std::move(owned_));  // a reader may still hold the old table
  }

 private:
  std::atomic<const Table*> table_{nullptr};
  std::unique_ptr<Table> owned_;
  std::vector<std::unique_ptr<Table>> retired_;
};

struct Tables {
  LazyTable<UnicodeTypeTable> type;
  LazyTable<UnicodeCaseTable> cases;
};
Tables& TheTables() {
  static Tables* tables = new Tables();  // lives until the process ends
  return *tables;
}

const UnicodeTypeTable& TypeTable() { return TheTables().type.Get("TYPE"); }
const UnicodeCaseTable& CaseTable() { return TheTables().cases.Get("CASE"); }

}  // namespace

UnicodeTypeTable UnicodeTypeTable::Load(std::span<const uint8_t> resource) {
  FieldReader r(resource, u"TYPE");
  UnicodeTypeTable t;
  t.categoryCount_ = r.U16(2);
  const size_t n = t.categoryCount_;
  const size_t entries = n % 2 ? n + 1 : n + 2;
  r.Need(8 + 2 * entries);
  t.index_.resize(entries);
  for (size_t i = 0; i < entries; ++i) t.index_[i] = r.U16(8 + 2 * i);
  const size_t total = t.index_[n];
  const size_t base = 8 + 2 * entries;
  r.Need(base + 4 * total);
  t.ranges_.resize(total);
  for (size_t i = 0; i < total; ++i) t.ranges_[i] = r.U32(base + 4 * i);
  for (size_t i = 0; i < n; ++i)
    if (t.index_[i] != 0xFFFF && (t.index_[i] > total || t.index_[i] % 2)) r.Missing();
  return t;
}

bool UnicodeTypeTable::IsInCategory(char32_t code, int category) const {
  if (category < 0 || category >= categoryCount_) return false;
  const uint16_t start = index_[category];
  if (start == 0xFFFF) return false;
  // The ranges end where the next non-empty category begins.
  size_t end = ranges_.size();
  for (int next = category + 1; next < categoryCount_; ++next)
    if (index_[next] != 0xFFFF) {
      end = index_[next];
      break;
    }
  long lo = start, hi = static_cast<long>(end) - 1;
  while (hi >= lo) {
    long mid = ((lo + hi) / 2) & ~1L;
    if (mid + 1 >= static_cast<long>(ranges_.size())) return false;
    if (ranges_[mid + 1] < code) {
      lo = mid + 2;
    } else if (code < ranges_[mid]) {
      hi = mid - 2;
    } else {
      return true;
    }
  }
  return false;
}

UnicodeCaseTable UnicodeCaseTable::Load(std::span<const uint8_t> resource) {
  FieldReader r(resource, u"CASE");
  UnicodeCaseTable t;
  const size_t total = r.U16(2);
  t.upperCount_ = r.U16(4);
  t.lowerCount_ = r.U16(6);
  if (size_t{t.upperCount_} + t.lowerCount_ > total) r.Missing();
  r.Need(8 + 12 * total);
  t.records_.resize(total * 3);
  for (size_t i = 0; i < total * 3; ++i) t.records_[i] = r.U32(8 + 4 * i);
  return t;
}

char32_t UnicodeCaseTable::Lookup(char32_t code, size_t begin, size_t end, int field) const {
  long lo = static_cast<long>(begin), hi = static_cast<long>(end) - 3;
  while (lo <= hi) {
    long mid = lo + ((hi - lo) / 2) / 3 * 3;  // a record start between lo and hi
    const char32_t c = records_[mid];
    if (c < code) {
      lo = mid + 3;
    } else if (code < c) {
      hi = mid - 3;
    } else {
      return records_[mid + field];
    }
  }
  return code;
}

std::span<const uint8_t> EmbeddedUnicodeResource(std::string_view name) {
  if (name == "TYPE") return {kUnicodeTypeResource, kUnicodeTypeResourceSize};
  if (name == "CASE") return {kUnicodeCaseResource, kUnicodeCaseResourceSize};
  return {};
}

void SetUnicodeResourceLookupForTesting(UnicodeResourceLookup lookup) {
  std::lock_guard lock(TableMutex());
  ResourceLookup() = lookup ? std::move(lookup) : EmbeddedUnicodeResource;
  TheTables().type.Reset();
  TheTables().cases.Reset();
}

bool IsInCategory(char32_t code, int category) { return TypeTable().IsInCategory(code, category); }

bool IsInCategorySet(char32_t code, uint32_t low, uint32_t high) {
  const UnicodeTypeTable& t = TypeTable();
  for (int i = 0; i < 32; ++i)
    if ((low >> i) & 1 && t.IsInCategory(code, i)) return true;
  for (int j = 0; j < 32; ++j)
    if ((high >> j) & 1 && t.IsInCategory(code, 32 + j)) return true;
  return false;
}

bool IsControlChar(char32_t code) { return IsInCategorySet(code, 1536, 0); }
bool IsWhiteSpaceChar(char32_t code) { return IsInCategorySet(code, 8256, 48); }
bool IsUpperChar(char32_t code) { return IsInCategory(code, kCatLu); }
bool IsLowerChar(char32_t code) { return IsInCategory(code, kCatLl); }

char32_t CharToUpper(char32_t code) {
  if (code < 0x80) return code >= 'a' && code <= 'z' ? code - 0x20 : code;
  if (IsUpperChar(code)) return code;
  const UnicodeCaseTable& c = CaseTable();
  return IsLowerChar(code) ? c.UpperOfLower(code) : c.UpperOfOther(code);
}

char32_t CharToLower(char32_t code) {
  // ASCII is fixed by Unicode, and most text is ASCII: no table look-up for it.
  if (code < 0x80) return code >= 'A' && code <= 'Z' ? code + 0x20 : code;
  if (IsLowerChar(code)) return code;
  const UnicodeCaseTable& c = CaseTable();
  return IsUpperChar(code) ? c.LowerOfUpper(code) : c.LowerOfOther(code);
}

std::vector<std::pair<char32_t, char32_t>> LowerCaseMappings() {
  // Beyond ASCII, CharToLower changes only codes that have a record in the case table.
  std::vector<char32_t> candidates;
  for (char32_t c = 'A'; c <= 'Z'; ++c) candidates.push_back(c);
  const UnicodeCaseTable& table = CaseTable();
  for (size_t i = 0; i < table.RecordCount(); ++i) candidates.push_back(table.CodeOf(i));
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  std::vector<std::pair<char32_t, char32_t>> out;
  for (const char32_t c : candidates)
    if (const char32_t l = CharToLower(c); l != c) out.emplace_back(c, l);
  return out;
}

namespace {
template <typename Map>
std::u16string MapUnits(std::u16string_view text, Map map) {
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t mapped = map(text[i]);
    out[i] = mapped > 0xFFFF ? text[i] : static_cast<char16_t>(mapped);
  }
  return out;
}

bool IsTrimmedByCategory(char16_t unit) { return IsWhiteSpaceChar(unit) || IsControlChar(unit); }
// Trimming looks at the ends of every hit line: ASCII is answered from the categories
// once, not asked again at each line.
bool IsTrimmed(char16_t unit) {
  static const std::array<bool, 128> ascii = [] {
    std::array<bool, 128> table{};
    for (char16_t c = 0; c < 128; ++c) table[c] = IsTrimmedByCategory(c);
    return table;
  }();
  return unit < 128 ? ascii[unit] : IsTrimmedByCategory(unit);
}
}  // namespace

std::u16string UnicodeUpperCase(std::u16string_view text) { return MapUnits(text, CharToUpper); }
std::u16string UnicodeLowerCase(std::u16string_view text) { return MapUnits(text, CharToLower); }

std::u16string UnicodeTrim(std::u16string_view text) {
  size_t first = 0;
  while (first < text.size() && IsTrimmed(text[first])) ++first;
  if (first == text.size()) return {};
  size_t last = text.size();
  while (IsTrimmed(text[last - 1])) --last;
  return std::u16string(text.substr(first, last - first));
}

void UnicodeTrimInPlace(std::u16string& text) {
  size_t last = text.size();
  while (last > 0 && IsTrimmed(text[last - 1])) --last;
  text.resize(last);
  size_t first = 0;
  while (first < text.size() && IsTrimmed(text[first])) ++first;
  text.erase(0, first);
}

std::u16string UnicodeTrimLeft(std::u16string_view text) {
  size_t first = 0;
  while (first < text.size() && IsTrimmed(text[first])) ++first;
  return std::u16string(text.substr(first));
}

int CompareTextNT(std::u16string_view a, std::u16string_view b, LocaleId locale) {
  return platform::CompareLocale(locale, true, a, b);
}

int CompareTextAnsi(std::u16string_view a, std::u16string_view b, LocaleId locale) {
  const uint32_t cp = LocaleAnsiCodePage(locale);
  // Each text goes through the locale's ANSI code page into a buffer of as many bytes as
  // it has units, as the 8-bit platform call sees it.
  auto through = [cp](std::u16string_view s) -> std::optional<std::u16string> {
    auto bytes = platform::WideToMultiByte(cp, s);
    if (!bytes) return std::nullopt;
    if (bytes->size() > s.size()) bytes->resize(s.size());
    return platform::MultiByteToWide(cp, *bytes);
  };
  auto wa = through(a), wb = through(b);
  if (!wa || !wb) return -2;
  return platform::CompareLocale(locale, true, *wa, *wb);
}

uint32_t LocaleAnsiCodePage(LocaleId locale) {
  const uint32_t cp = platform::LocaleDefaultAnsiCodePage(locale);
  return cp != 0 ? cp : platform::GetACP();
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t u = text[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      const char32_t v = 0x10000 + ((char32_t{u} - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (v >> 18)));
      out.push_back(static_cast<char>(0x80 | ((v >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
      ++i;
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  static constexpr uint32_t kOffsets[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                           0x03C82080u, 0xFA082080u, 0x82082080u};
  std::u16string out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0xC0) {  // ASCII, and a stray continuation byte as the unit of its number
      out.push_back(lead);
      ++i;
      continue;
    }
    const size_t extra = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
    if (extra >= n - i) {  // cut off by the end of the input
      out.push_back(0xFFFD);
      break;
    }
    uint32_t value = 0;
    for (size_t k = 0; k < extra; ++k) value = (value + static_cast<unsigned char>(bytes[i + k])) << 6;
    value += static_cast<unsigned char>(bytes[i + extra]);
    value -= kOffsets[extra];
    i += extra + 1;
    if (value <= 0xFFFF) {
      out.push_back(static_cast<char16_t>(value));
    } else if (value <= 0x10FFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(0xFFFD);
    }
  }
  return out;
}

}  // namespace textlib
