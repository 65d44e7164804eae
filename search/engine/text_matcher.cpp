#include "search/engine/text_matcher.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <memory>
#include <system_error>
#include <type_traits>

#include "platform/codepage.h"
#include "textlib/unicode.h"

namespace search {
namespace {

const std::array<char16_t, 65536>& WideLowerTable() {
  static const auto* table = [] {
    auto* t = new std::array<char16_t, 65536>();
    for (uint32_t u = 0; u < 65536; ++u) {
      const char32_t l = textlib::CharToLower(u);
      (*t)[u] = l > 0xFFFF ? static_cast<char16_t>(u) : static_cast<char16_t>(l);
    }
    return t;
  }();
  return *table;
}

template <typename Unit, typename Lower>
std::vector<Unit> Variants(Unit lowered, bool caseSensitive, Lower lower, uint32_t range) {
  if (caseSensitive) return {lowered};
  std::vector<Unit> out;
  for (uint32_t u = 0; u < range; ++u)
    if (lower(static_cast<Unit>(u)) == lowered) out.push_back(static_cast<Unit>(u));
  return out;
}

// Forward candidate scans: positions i in [from, last] where block[i] is a first variant
// and block[i + len - 1] a last variant. `verify` is called per candidate in ascending
// order; returns the first verified index or -1. Vector paths need two variants at most
// (one is padded by repeating it).
template <typename Unit, typename Verify>
int64_t ScanScalar(const Unit* p, size_t from, size_t last, size_t len, Unit f0, Unit f1, Unit l0,
                   Unit l1, Verify& verify) {
  for (size_t i = from; i <= last; ++i) {
    const Unit a = p[i], b = p[i + len - 1];
    if ((a == f0 || a == f1) && (b == l0 || b == l1) && verify(i)) return static_cast<int64_t>(i);
  }
  return -1;
}

template <typename Verify>
__attribute__((target("avx2"))) int64_t ScanBytesAvx2(const unsigned char* p, size_t last, size_t len,
                                                      unsigned char f0, unsigned char f1,
                                                      unsigned char l0, unsigned char l1,
                                                      Verify& verify) {
  const __m256i F0 = _mm256_set1_epi8(static_cast<char>(f0)), F1 = _mm256_set1_epi8(static_cast<char>(f1));
  const __m256i L0 = _mm256_set1_epi8(static_cast<char>(l0)), L1 = _mm256_set1_epi8(static_cast<char>(l1));
  size_t i = 0;
  for (; i + 31 <= last; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + len - 1));
    const __m256i m = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, F0), _mm256_cmpeq_epi8(a, F1)),
                                       _mm256_or_si256(_mm256_cmpeq_epi8(b, L0), _mm256_cmpeq_epi8(b, L1)));
    uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(m));
    while (mask) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
      if (verify(at)) return static_cast<int64_t>(at);
      mask &= mask - 1;
    }
  }
  return ScanScalar(p, i, last, len, f0, f1, l0, l1, verify);
}

template <typename Verify>
int64_t ScanBytesSse2(const unsigned char* p, size_t last, size_t len, unsigned char f0,
                      unsigned char f1, unsigned char l0, unsigned char l1, Verify& verify) {
  const __m128i F0 = _mm_set1_epi8(static_cast<char>(f0)), F1 = _mm_set1_epi8(static_cast<char>(f1));
  const __m128i L0 = _mm_set1_epi8(static_cast<char>(l0)), L1 = _mm_set1_epi8(static_cast<char>(l1));
  size_t i = 0;
  for (; i + 15 <= last; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + len - 1));
    const __m128i m = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, F0), _mm_cmpeq_epi8(a, F1)),
                                    _mm_or_si128(_mm_cmpeq_epi8(b, L0), _mm_cmpeq_epi8(b, L1)));
    uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(m));
    while (mask) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
      if (verify(at)) return static_cast<int64_t>(at);
      mask &= mask - 1;
    }
  }
  return ScanScalar(p, i, last, len, f0, f1, l0, l1, verify);
}

template <typename Verify>
__attribute__((target("avx2"))) int64_t ScanUnitsAvx2(const char16_t* p, size_t last, size_t len,
                                                      char16_t f0, char16_t f1, char16_t l0,
                                                      char16_t l1, Verify& verify) {
  const __m256i F0 = _mm256_set1_epi16(static_cast<short>(f0)), F1 = _mm256_set1_epi16(static_cast<short>(f1));
  const __m256i L0 = _mm256_set1_epi16(static_cast<short>(l0)), L1 = _mm256_set1_epi16(static_cast<short>(l1));
  size_t i = 0;
  for (; i + 15 <= last; i += 16) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + len - 1));
    const __m256i m = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi16(a, F0), _mm256_cmpeq_epi16(a, F1)),
                                       _mm256_or_si256(_mm256_cmpeq_epi16(b, L0), _mm256_cmpeq_epi16(b, L1)));
    uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(m)) & 0x55555555u;
    while (mask) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
      if (verify(at)) return static_cast<int64_t>(at);
      mask &= mask - 1;
    }
  }
  return ScanScalar(p, i, last, len, f0, f1, l0, l1, verify);
}

// The whole-word test: the characters before and after the candidate (the block's real
// neighbours at its ends) are delimiters or do not exist.
template <typename Unit>
bool StandsAlone(std::basic_string_view<Unit> block, size_t at, size_t n, int32_t before, int32_t after) {
  using U = std::make_unsigned_t<Unit>;
  const int32_t prev = at > 0 ? static_cast<U>(block[at - 1]) : before;
  const int32_t next = at + n < block.size() ? static_cast<U>(block[at + n]) : after;
  return (prev == kNoChar || IsWordDelimiter(static_cast<uint32_t>(prev))) &&
         (next == kNoChar || IsWordDelimiter(static_cast<uint32_t>(next)));
}

template <typename Verify>
int64_t FirstVerified(size_t last, Verify& verify) {
  for (size_t i = 0; i <= last; ++i)
    if (verify(i)) return static_cast<int64_t>(i);
  return -1;
}

template <typename Verify>
int64_t LastVerified(size_t last, Verify& verify) {
  for (size_t i = last + 1; i-- > 0;)
    if (verify(i)) return static_cast<int64_t>(i);
  return -1;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

const std::array<unsigned char, 256>& AnsiLowerTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b) {
      const char32_t lower = textlib::CharToLower(platform::Cp1252ToWide(static_cast<unsigned char>(b)));
      auto back = lower <= 0xFFFF ? platform::WideToCp1252(static_cast<char16_t>(lower)) : std::nullopt;
      t[b] = back ? *back : static_cast<unsigned char>(b);
    }
    return t;
  }();
  return table;
}

std::string AnsiLowerCase(std::string_view bytes) {
  const auto& lower = AnsiLowerTable();
  std::string out(bytes);
  for (char& c : out) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
  return out;
}

// ---- 8-bit ----

ByteMatcher::ByteMatcher(std::string_view text, MatchOptions options)
    : text_(options.caseSensitive ? std::string(text) : AnsiLowerCase(text)), options_(options) {
  if (text_.empty()) return;
  const auto& lower = AnsiLowerTable();
  auto fold = [&](unsigned char c) { return options_.caseSensitive ? c : lower[c]; };
  firstVariants_ = Variants<unsigned char>(static_cast<unsigned char>(text_.front()), options_.caseSensitive, fold, 256);
  lastVariants_ = Variants<unsigned char>(static_cast<unsigned char>(text_.back()), options_.caseSensitive, fold, 256);
}

bool ByteMatcher::Verify(std::string_view block, size_t at, int32_t before, int32_t after) const {
  const size_t n = text_.size();
  if (options_.caseSensitive) {
    if (std::memcmp(block.data() + at, text_.data(), n) != 0) return false;
  } else {
    const auto& lower = AnsiLowerTable();
    for (size_t k = 0; k < n; ++k)
      if (lower[static_cast<unsigned char>(block[at + k])] != static_cast<unsigned char>(text_[k])) return false;
  }
  return !options_.wholeWords || StandsAlone(block, at, n, before, after);
}

int64_t ByteMatcher::FindForward(std::string_view block, int32_t before, int32_t after) const {
  const size_t len = text_.size(), last = block.size() - len;
  const auto* p = reinterpret_cast<const unsigned char*>(block.data());
  auto verify = [&](size_t at) { return Verify(block, at, before, after); };
  if (firstVariants_.size() > 2 || lastVariants_.size() > 2) return FirstVerified(last, verify);
  const unsigned char f0 = firstVariants_[0], f1 = firstVariants_.back();
  const unsigned char l0 = lastVariants_[0], l1 = lastVariants_.back();
  return HasAvx2() ? ScanBytesAvx2(p, last, len, f0, f1, l0, l1, verify)
                   : ScanBytesSse2(p, last, len, f0, f1, l0, l1, verify);
}

int64_t ByteMatcher::Find(std::string_view block, bool forward, int32_t before, int32_t after) const {
  if (text_.empty() || block.size() < text_.size()) return -1;
  if (forward) return FindForward(block, before, after);
  auto verify = [&](size_t at) { return Verify(block, at, before, after); };
  return LastVerified(block.size() - text_.size(), verify);
}

// ---- UTF-8 without case ----

namespace {

size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

void EncodeUtf8Char(char32_t c, unsigned char* out) {
  switch (Utf8Length(c)) {
    case 1: out[0] = static_cast<unsigned char>(c); break;
    case 2:
      out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      break;
    case 3:
      out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      break;
    default:
      out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
}

// Bytes that start no well-formed sequence fold to a value of their own beyond Unicode,
// so they match only themselves.
constexpr char32_t kStrayByte = 0x110000;

char32_t LowerOf(char32_t c) {
  if (c < 0x10000) return WideLowerTable()[c];
  return c < kStrayByte ? textlib::CharToLower(c) : c;
}

// Every character with its simple lower case, by the lower case; made once.
const std::vector<std::pair<char32_t, char32_t>>& CasedCharacters() {
  static const auto* pairs = [] {
    using Pairs = std::vector<std::pair<char32_t, char32_t>>;
    auto collect = [](char32_t from, char32_t to) {
      Pairs out;
      for (char32_t u = from; u < to; ++u) {
        if (u >= 0xD800 && u < 0xE000) continue;
        const char32_t l = LowerOf(u);
        if (l != u) out.emplace_back(l, u);
      }
      return out;
    };
    // Cased letters above the basic plane all lie in plane 1. Each plane asks the case
    // table some 65,000 times: the first search of a process waits for the slower one only.
    std::future<Pairs> plane1;
    try {
      plane1 = std::async(std::launch::async, collect, char32_t{0x10000}, char32_t{0x20000});
    } catch (const std::system_error&) {
    }
    auto* v = new Pairs(collect(0, 0x10000));
    const Pairs upper = plane1.valid() ? plane1.get() : collect(0x10000, 0x20000);
    v->insert(v->end(), upper.begin(), upper.end());
    std::sort(v->begin(), v->end());
    return v;
  }();
  return *pairs;
}

// The characters that fold to c, c itself first.
std::vector<char32_t> FoldVariants(char32_t c) {
  std::vector<char32_t> out{c};
  if (c >= kStrayByte) return out;
  const auto& pairs = CasedCharacters();
  auto it = std::lower_bound(pairs.begin(), pairs.end(), std::make_pair(c, char32_t{0}));
  for (; it != pairs.end() && it->first == c; ++it) out.push_back(it->second);
  return out;
}

}  // namespace

FoldedChar FoldUtf8Char(const unsigned char* p, size_t left) {
  if (p[0] < 0x80) return {WideLowerTable()[p[0]], 1};
  char32_t c = 0;
  const size_t n = platform::Utf8SequenceAt(p, left, &c);
  if (n == 0) return {kStrayByte + p[0], 1};
  return {LowerOf(c), n};
}

Utf8Matcher::Utf8Matcher(std::string_view utf8Text, bool wholeWords) : wholeWords_(wholeWords) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8Text.data());
  for (size_t i = 0; i < utf8Text.size();) {
    const FoldedChar f = FoldUtf8Char(p + i, utf8Text.size() - i);
    folded_.push_back(f.folded);
    i += f.length;
  }
  if (folded_.empty()) return;
  std::array<bool, 256> last{};
  bool prefixOpen = true;
  for (size_t k = 0; k < folded_.size(); ++k) {
    const char32_t c = folded_[k];
    const size_t ownLength = c >= kStrayByte ? 1 : Utf8Length(c);
    foldedBytes_ += ownLength;
    size_t longest = 0;
    const std::vector<char32_t> variants = FoldVariants(c);
    std::array<bool, 256> ends{};
    for (const char32_t v : variants) {
      unsigned char bytes[4];
      size_t n = 1;
      if (v >= kStrayByte) {
        bytes[0] = static_cast<unsigned char>(v - kStrayByte);
      } else {
        n = Utf8Length(v);
        EncodeUtf8Char(v, bytes);
      }
      longest = std::max(longest, n);
      fixedLength_ = fixedLength_ && n == ownLength;
      prefixOpen = prefixOpen && n == ownLength;
      if (k == 0) first_[bytes[0]] = true;
      if (k + 1 == folded_.size()) last[bytes[n - 1]] = true;
      ends[bytes[n - 1]] = true;
    }
    maxLength_ += longest;
    if (prefixOpen) {
      prefixBytes_ += ownLength;
      prefixLastVariants_.clear();
      for (int b = 0; b < 256; ++b)
        if (ends[b]) prefixLastVariants_.push_back(static_cast<unsigned char>(b));
    }
  }
  for (int b = 0; b < 256; ++b) {
    if (first_[b]) firstVariants_.push_back(static_cast<unsigned char>(b));
    if (last[b]) lastVariants_.push_back(static_cast<unsigned char>(b));
  }
}

size_t Utf8Matcher::MatchAt(std::string_view block, size_t at) const {
  const auto* p = reinterpret_cast<const unsigned char*>(block.data());
  const size_t size = block.size();
  size_t pos = at;
  for (const char32_t want : folded_) {
    if (pos >= size) return 0;
    const FoldedChar f = FoldUtf8Char(p + pos, size - pos);
    if (f.folded != want) return 0;
    pos += f.length;
  }
  return pos - at;
}

bool Utf8Matcher::Verify(std::string_view block, size_t at, int32_t before, int32_t after, size_t* length) const {
  const size_t n = MatchAt(block, at);
  if (n == 0) return false;
  if (wholeWords_ && !StandsAlone(block, at, n, before, after)) return false;
  *length = n;
  return true;
}

int64_t Utf8Matcher::Find(std::string_view block, bool forward, int32_t before, int32_t after, size_t* length) const {
  if (folded_.empty() || block.empty()) return -1;
  size_t found = 0;
  auto verify = [&](size_t at) { return Verify(block, at, before, after, &found); };
  int64_t at = -1;
  if (fixedLength_) {
    if (block.size() < foldedBytes_) return -1;
    const size_t last = block.size() - foldedBytes_;
    if (!forward) {
      for (size_t i = last + 1; i-- > 0 && at < 0;)
        if (first_[static_cast<unsigned char>(block[i])] && verify(i)) at = static_cast<int64_t>(i);
    } else if (firstVariants_.size() <= 2 && lastVariants_.size() <= 2) {
      const auto* p = reinterpret_cast<const unsigned char*>(block.data());
      const unsigned char f0 = firstVariants_[0], f1 = firstVariants_.back();
      const unsigned char l0 = lastVariants_[0], l1 = lastVariants_.back();
      at = HasAvx2() ? ScanBytesAvx2(p, last, foldedBytes_, f0, f1, l0, l1, verify)
                     : ScanBytesSse2(p, last, foldedBytes_, f0, f1, l0, l1, verify);
    } else {
      for (size_t i = 0; i <= last && at < 0; ++i)
        if (first_[static_cast<unsigned char>(block[i])] && verify(i)) at = static_cast<int64_t>(i);
    }
  } else if (forward && prefixBytes_ > 0 && firstVariants_.size() <= 2 && prefixLastVariants_.size() <= 2) {
    // A match starts with the fixed-length prefix: scan for its first and last bytes.
    if (block.size() < prefixBytes_) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(block.data());
    const unsigned char f0 = firstVariants_[0], f1 = firstVariants_.back();
    const unsigned char l0 = prefixLastVariants_[0], l1 = prefixLastVariants_.back();
    const size_t last = block.size() - prefixBytes_;
    at = HasAvx2() ? ScanBytesAvx2(p, last, prefixBytes_, f0, f1, l0, l1, verify)
                   : ScanBytesSse2(p, last, prefixBytes_, f0, f1, l0, l1, verify);
  } else if (forward) {
    for (size_t i = 0; i < block.size() && at < 0; ++i)
      if (first_[static_cast<unsigned char>(block[i])] && verify(i)) at = static_cast<int64_t>(i);
  } else {
    for (size_t i = block.size(); i-- > 0 && at < 0;)
      if (first_[static_cast<unsigned char>(block[i])] && verify(i)) at = static_cast<int64_t>(i);
  }
  if (at >= 0 && length) *length = found;
  return at;
}

// ---- UTF-16 ----

WideMatcher::WideMatcher(std::u16string_view text, MatchOptions options) : options_(options) {
  const auto& lower = WideLowerTable();
  text_.assign(text);
  if (!options_.caseSensitive)
    for (char16_t& c : text_) c = lower[c];
  if (text_.empty()) return;
  auto fold = [&](char16_t c) { return options_.caseSensitive ? c : lower[c]; };
  firstVariants_ = Variants<char16_t>(text_.front(), options_.caseSensitive, fold, 65536);
  lastVariants_ = Variants<char16_t>(text_.back(), options_.caseSensitive, fold, 65536);
}

bool WideMatcher::Verify(std::u16string_view block, size_t at, int32_t before, int32_t after) const {
  const size_t n = text_.size();
  if (options_.caseSensitive) {
    if (std::memcmp(block.data() + at, text_.data(), n * 2) != 0) return false;
  } else {
    const auto& lower = WideLowerTable();
    for (size_t k = 0; k < n; ++k)
      if (lower[block[at + k]] != text_[k]) return false;
  }
  return !options_.wholeWords || StandsAlone(block, at, n, before, after);
}

int64_t WideMatcher::FindForward(std::u16string_view block, int32_t before, int32_t after) const {
  const size_t len = text_.size(), last = block.size() - len;
  auto verify = [&](size_t at) { return Verify(block, at, before, after); };
  if (firstVariants_.size() > 2 || lastVariants_.size() > 2) return FirstVerified(last, verify);
  const char16_t f0 = firstVariants_[0], f1 = firstVariants_.back();
  const char16_t l0 = lastVariants_[0], l1 = lastVariants_.back();
  if (HasAvx2()) return ScanUnitsAvx2(block.data(), last, len, f0, f1, l0, l1, verify);
  return ScanScalar(block.data(), 0, last, len, f0, f1, l0, l1, verify);
}

int64_t WideMatcher::Find(std::u16string_view block, bool forward, int32_t before, int32_t after) const {
  if (text_.empty() || block.size() < text_.size()) return -1;
  if (forward) return FindForward(block, before, after);
  auto verify = [&](size_t at) { return Verify(block, at, before, after); };
  return LastVerified(block.size() - text_.size(), verify);
}

}  // namespace search
