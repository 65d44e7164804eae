#include "search/engine/text_matcher.h"

#include <immintrin.h>

#include <cstring>
#include <memory>
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
