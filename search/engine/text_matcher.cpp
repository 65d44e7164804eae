#include "search/engine/text_matcher.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

#include "platform/codepage.h"
#include "textlib/unicode.h"

namespace search {
namespace {

// Bytes that start no well-formed sequence fold to a value of their own beyond Unicode,
// so they match only themselves.
constexpr char32_t kStrayByte = 0x110000;

const std::array<char16_t, 65536>& WideLowerTable() {
  static const auto* table = [] {
    auto* t = new std::array<char16_t, 65536>();
    for (uint32_t u = 0; u < 65536; ++u) (*t)[u] = static_cast<char16_t>(u);
    for (const auto& [c, l] : textlib::LowerCaseMappings())
      if (c <= 0xFFFF && l <= 0xFFFF) (*t)[c] = static_cast<char16_t>(l);
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

// How often a byte stands in text, roughly (per mille of German and English prose and
// markup): the scan anchors on the rarest pair it can test.
double ByteFrequency(uint32_t b) {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (auto& v : t) v = 0.3;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = 3;
    for (int c = '0'; c <= '9'; ++c) t[c] = 4;
    const char* lower = "etnisrahdulcgmobwfkzpvyjxq";
    const double share[] = {150, 90, 85, 70, 65, 65, 60, 55, 45, 45, 40, 35, 30, 30, 25, 25, 18, 15, 15, 12, 10, 8, 7, 3, 2, 1};
    for (int i = 0; lower[i]; ++i) t[static_cast<unsigned char>(lower[i])] = share[i];
    t[' '] = 160;
    t['\n'] = t['\r'] = t['.'] = t[','] = 15;
    t['E'] = t['S'] = t['D'] = t['A'] = 8;
    for (int c = 0x80; c < 0xC0; ++c) t[c] = 2;
    t[0xC3] = 10;
    t[0xE2] = 2;
    t[0] = 1;
    return t;
  }();
  return b < 256 ? table[b] : 0.5;
}

template <typename Unit>
double SetFrequency(const std::vector<Unit>& units) {
  double f = 0;
  for (const Unit u : units) f += ByteFrequency(static_cast<uint32_t>(u));
  return f;
}

template <typename Unit>
std::vector<Unit> Distinct(std::vector<Unit> units) {
  std::sort(units.begin(), units.end());
  units.erase(std::unique(units.begin(), units.end()), units.end());
  return units;
}

// Of the candidate pairs (a at offsetA, b at offsetB, a's and b's value sets), the one a
// vector compare can test (two values each at most) that passes the fewest positions;
// a longer distance decides between equals (its characters are less alike). Pairs are
// looked for within kPairReach characters of each other.
constexpr size_t kPairReach = 32;
template <typename Unit>
struct PairChoice {
  ScanPair<Unit> best;
  double score = 0;
  bool Offer(size_t offsetA, const std::vector<Unit>& a, size_t offsetB, const std::vector<Unit>& b) {
    if (a.empty() || b.empty() || a.size() > 2 || b.size() > 2 || offsetB < offsetA) return false;
    const double s = offsetA == offsetB ? SetFrequency(a) * 1000 : SetFrequency(a) * SetFrequency(b);
    const bool better = !best.usable || s < score ||
                        (s == score && offsetB - offsetA > best.offsetB - best.offsetA);
    if (!better) return false;
    best = ScanPair<Unit>{offsetA, offsetB, a.front(), a.back(), b.front(), b.back(), true, offsetA, a.front(), a.back()};
    score = s;
    return true;
  }
};

// Forward candidate scans: positions i in [from, last] where p[i + offsetA] is one of
// the pair's first values and p[i + offsetB] one of its second. `verify` is called per
// candidate in ascending order; returns the first verified index or -1.
template <typename Unit, typename Verify>
int64_t ScanScalar(const Unit* p, size_t from, size_t last, const ScanPair<Unit>& s, Verify& verify) {
  for (size_t i = from; i <= last; ++i) {
    const Unit a = p[i + s.offsetA], b = p[i + s.offsetB];
    if ((a == s.a0 || a == s.a1) && (b == s.b0 || b == s.b1) && verify(i)) return static_cast<int64_t>(i);
  }
  return -1;
}

struct ByteSets {
  __m256i A0, A1, B0, B1, C0, C1;
};

__attribute__((target("avx2"))) inline uint32_t PairMask(const unsigned char* pa, const unsigned char* pb,
                                                         const unsigned char* pc, const ByteSets& v) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pa));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pb));
  const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pc));
  const __m256i m = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, v.A0), _mm256_cmpeq_epi8(a, v.A1)),
                                     _mm256_or_si256(_mm256_cmpeq_epi8(b, v.B0), _mm256_cmpeq_epi8(b, v.B1)));
  const __m256i third = _mm256_or_si256(_mm256_cmpeq_epi8(c, v.C0), _mm256_cmpeq_epi8(c, v.C1));
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(m, third)));
}

template <typename Verify>
__attribute__((target("avx2"))) int64_t ScanBytesAvx2(const unsigned char* p, size_t last,
                                                      const ScanPair<unsigned char>& s, Verify& verify) {
  const ByteSets v{_mm256_set1_epi8(static_cast<char>(s.a0)), _mm256_set1_epi8(static_cast<char>(s.a1)),
                   _mm256_set1_epi8(static_cast<char>(s.b0)), _mm256_set1_epi8(static_cast<char>(s.b1)),
                   _mm256_set1_epi8(static_cast<char>(s.c0)), _mm256_set1_epi8(static_cast<char>(s.c1))};
  const unsigned char* pa = p + s.offsetA;
  const unsigned char* pb = p + s.offsetB;
  const unsigned char* pc = p + s.offsetC;
  size_t i = 0;
  // Two vectors a step: a rare pair leaves the loop a branch per 64 bytes.
  for (; i + 63 <= last; i += 64) {
    const uint64_t m = PairMask(pa + i, pb + i, pc + i, v) | (uint64_t{PairMask(pa + i + 32, pb + i + 32, pc + i + 32, v)} << 32);
    if (!m) continue;
    for (uint64_t bits = m; bits; bits &= bits - 1) {
      const size_t at = i + static_cast<size_t>(__builtin_ctzll(bits));
      if (verify(at)) return static_cast<int64_t>(at);
    }
  }
  for (; i + 31 <= last; i += 32) {
    for (uint32_t bits = PairMask(pa + i, pb + i, pc + i, v); bits; bits &= bits - 1) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(bits));
      if (verify(at)) return static_cast<int64_t>(at);
    }
  }
  return ScanScalar(p, i, last, s, verify);
}

template <typename Verify>
int64_t ScanBytesSse2(const unsigned char* p, size_t last, const ScanPair<unsigned char>& s, Verify& verify) {
  const __m128i A0 = _mm_set1_epi8(static_cast<char>(s.a0)), A1 = _mm_set1_epi8(static_cast<char>(s.a1));
  const __m128i B0 = _mm_set1_epi8(static_cast<char>(s.b0)), B1 = _mm_set1_epi8(static_cast<char>(s.b1));
  size_t i = 0;
  for (; i + 15 <= last; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + s.offsetA));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + s.offsetB));
    const __m128i m = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, A0), _mm_cmpeq_epi8(a, A1)),
                                    _mm_or_si128(_mm_cmpeq_epi8(b, B0), _mm_cmpeq_epi8(b, B1)));
    for (uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(m)); bits; bits &= bits - 1) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(bits));
      if (verify(at)) return static_cast<int64_t>(at);
    }
  }
  return ScanScalar(p, i, last, s, verify);
}

template <typename Verify>
__attribute__((target("avx2"))) int64_t ScanUnitsAvx2(const char16_t* p, size_t last, const ScanPair<char16_t>& s,
                                                      Verify& verify) {
  const __m256i A0 = _mm256_set1_epi16(static_cast<short>(s.a0)), A1 = _mm256_set1_epi16(static_cast<short>(s.a1));
  const __m256i B0 = _mm256_set1_epi16(static_cast<short>(s.b0)), B1 = _mm256_set1_epi16(static_cast<short>(s.b1));
  size_t i = 0;
  for (; i + 15 <= last; i += 16) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + s.offsetA));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + s.offsetB));
    const __m256i m = _mm256_and_si256(_mm256_or_si256(_mm256_cmpeq_epi16(a, A0), _mm256_cmpeq_epi16(a, A1)),
                                       _mm256_or_si256(_mm256_cmpeq_epi16(b, B0), _mm256_cmpeq_epi16(b, B1)));
    uint32_t bits = static_cast<uint32_t>(_mm256_movemask_epi8(m)) & 0x55555555u;
    for (; bits; bits &= bits - 1) {
      const size_t at = i + static_cast<size_t>(__builtin_ctz(bits)) / 2;
      if (verify(at)) return static_cast<int64_t>(at);
    }
  }
  return ScanScalar(p, i, last, s, verify);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

template <typename Verify>
int64_t ScanBytes(const unsigned char* p, size_t last, const ScanPair<unsigned char>& s, Verify& verify) {
  return HasAvx2() ? ScanBytesAvx2(p, last, s, verify) : ScanBytesSse2(p, last, s, verify);
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

// The whole-word test: the characters before and after the match [at, at + n) of the
// window are no word characters or do not exist.
template <typename Window, typename... Utf8>
bool StandsAlone(Window window, size_t at, size_t n, Utf8... utf8) {
  const char32_t prev = CharacterBefore(window, at, utf8...);
  if (prev != kNoCharacter && IsWordCharacter(prev)) return false;
  const char32_t next = CharacterAt(window, at + n, utf8...);
  return next == kNoCharacter || !IsWordCharacter(next);
}

}  // namespace

bool IsWordCharacter(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  if (c >= kStrayByte || (c >= 0xD800 && c < 0xE000)) return true;
  using namespace textlib;
  constexpr uint32_t kWord = (1u << kCatMn) | (1u << kCatMc) | (1u << kCatMe) | (1u << kCatNd) | (1u << kCatLu) |
                             (1u << kCatLl) | (1u << kCatLt) | (1u << kCatLm) | (1u << kCatLo);
  return IsInCategorySet(c, kWord, 0);
}

char32_t CharacterBefore(std::string_view window, size_t at, bool utf8) {
  if (at == 0 || at > window.size()) return kNoCharacter;
  const auto* p = reinterpret_cast<const unsigned char*>(window.data());
  const unsigned char b = p[at - 1];
  if (!utf8) return platform::Cp1252ToWide(b);
  if (b < 0x80) return b;
  if ((b & 0xC0) != 0x80) return kStrayByte + b;
  // The lead byte lies at most three continuation bytes back.
  size_t lead = at - 1;
  while (lead > 0 && at - lead < 4 && (p[lead] & 0xC0) == 0x80) --lead;
  char32_t c = 0;
  if ((p[lead] & 0xC0) != 0x80 && platform::Utf8SequenceAt(p + lead, at - lead, &c) == at - lead) return c;
  return kStrayByte + b;
}

char32_t CharacterAt(std::string_view window, size_t at, bool utf8) {
  if (at >= window.size()) return kNoCharacter;
  const auto* p = reinterpret_cast<const unsigned char*>(window.data());
  if (!utf8) return platform::Cp1252ToWide(p[at]);
  if (p[at] < 0x80) return p[at];
  char32_t c = 0;
  return platform::Utf8SequenceAt(p + at, window.size() - at, &c) ? c : kStrayByte + p[at];
}

char32_t CharacterBefore(std::u16string_view window, size_t at) {
  if (at == 0 || at > window.size()) return kNoCharacter;
  const char16_t u = window[at - 1];
  if (u >= 0xDC00 && u < 0xE000 && at >= 2 && window[at - 2] >= 0xD800 && window[at - 2] < 0xDC00)
    return 0x10000 + ((char32_t(window[at - 2]) - 0xD800) << 10) + (u - 0xDC00);
  return u;
}

char32_t CharacterAt(std::u16string_view window, size_t at) {
  if (at >= window.size()) return kNoCharacter;
  const char16_t u = window[at];
  if (u >= 0xD800 && u < 0xDC00 && at + 1 < window.size() && window[at + 1] >= 0xDC00 && window[at + 1] < 0xE000)
    return 0x10000 + ((char32_t(u) - 0xD800) << 10) + (window[at + 1] - 0xDC00);
  return u;
}

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
  std::vector<std::vector<unsigned char>> variants(text_.size());
  for (size_t k = 0; k < text_.size(); ++k)
    variants[k] = Variants<unsigned char>(static_cast<unsigned char>(text_[k]), options_.caseSensitive, fold, 256);
  PairChoice<unsigned char> choice;
  for (size_t a = 0; a < text_.size(); ++a)
    for (size_t b = a; b < text_.size() && b - a < kPairReach; ++b) choice.Offer(a, variants[a], b, variants[b]);
  scan_ = choice.best;
}

bool ByteMatcher::Verify(std::string_view window, size_t begin, size_t end, size_t at) const {
  const size_t n = text_.size();
  if (at + n > end - begin) return false;
  const char* p = window.data() + begin + at;
  if (options_.caseSensitive) {
    if (std::memcmp(p, text_.data(), n) != 0) return false;
  } else {
    const auto& lower = AnsiLowerTable();
    for (size_t k = 0; k < n; ++k)
      if (lower[static_cast<unsigned char>(p[k])] != static_cast<unsigned char>(text_[k])) return false;
  }
  return !options_.wholeWords || StandsAlone(window, begin + at, n, options_.utf8);
}

int64_t ByteMatcher::Find(std::string_view window, size_t begin, size_t end, bool forward) const {
  end = std::min(end, window.size());
  if (text_.empty() || begin >= end || end - begin < text_.size()) return -1;
  const size_t last = end - begin - text_.size();
  auto verify = [&](size_t at) { return Verify(window, begin, end, at); };
  if (!forward) return LastVerified(last, verify);
  if (!scan_.usable) return FirstVerified(last, verify);
  return ScanBytes(reinterpret_cast<const unsigned char*>(window.data() + begin), last, scan_, verify);
}

// ---- UTF-8 without case ----

namespace {

size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

std::string EncodeUtf8Char(char32_t c) {
  std::string out;
  if (c >= kStrayByte) return std::string(1, static_cast<char>(c - kStrayByte));
  auto put = [&](uint32_t v) { out.push_back(static_cast<char>(v)); };
  switch (Utf8Length(c)) {
    case 1: put(c); break;
    case 2: put(0xC0 | (c >> 6)); put(0x80 | (c & 0x3F)); break;
    case 3: put(0xE0 | (c >> 12)); put(0x80 | ((c >> 6) & 0x3F)); put(0x80 | (c & 0x3F)); break;
    default:
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
  }
  return out;
}

char32_t LowerOf(char32_t c) {
  if (c < 0x10000) return WideLowerTable()[c];
  return c < kStrayByte ? textlib::CharToLower(c) : c;
}

// Every character with its simple lower case, by the lower case; made once.
const std::vector<std::pair<char32_t, char32_t>>& CasedCharacters() {
  static const auto* pairs = [] {
    auto* v = new std::vector<std::pair<char32_t, char32_t>>();
    for (const auto& [c, l] : textlib::LowerCaseMappings())
      if (LowerOf(c) == l) v->emplace_back(l, c);  // as the matchers fold
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
  const size_t count = folded_.size();
  forms_.resize(count);
  std::vector<bool> fixed(count);
  std::vector<size_t> own(count);
  std::vector<std::vector<unsigned char>> firsts(count), lasts(count);
  for (size_t k = 0; k < count; ++k) {
    const char32_t c = folded_[k];
    own[k] = c >= kStrayByte ? 1 : Utf8Length(c);
    size_t shortest = SIZE_MAX, longest = 0;
    bool same = true;
    for (const char32_t v : FoldVariants(c)) {
      std::string form = EncodeUtf8Char(v);
      shortest = std::min(shortest, form.size());
      longest = std::max(longest, form.size());
      same = same && form.size() == own[k];
      firsts[k].push_back(static_cast<unsigned char>(form.front()));
      lasts[k].push_back(static_cast<unsigned char>(form.back()));
      forms_[k].push_back(std::move(form));
    }
    if (k == 0)
      for (const unsigned char b : firsts[k]) first_[b] = true;
    firsts[k] = Distinct(std::move(firsts[k]));
    lasts[k] = Distinct(std::move(lasts[k]));
    fixed[k] = same;
    minLength_ += shortest;
    maxLength_ += longest;
  }
  // The anchor pair: a's first byte and b's last, with only characters of fixed length
  // from a to b, so the distance between the two bytes is known.
  PairChoice<unsigned char> choice;
  size_t anchorEnd = 0;  // the character of the pair's second byte
  for (size_t a = 0; a < count; ++a) {
    size_t distance = 0;
    for (size_t b = a; b < count && fixed[b] && b - a < kPairReach; ++b) {
      distance += own[b];
      if (choice.Offer(0, firsts[a], distance - 1, lasts[b])) {
        anchor_ = a;
        anchorEnd = b;
      }
    }
  }
  scan_ = choice.best;
  // The third byte: the rarest testable first byte of a character between the two.
  double third = 0;
  for (size_t k = anchor_ + 1, offset = own[anchor_]; scan_.usable && k < anchorEnd; offset += own[k++]) {
    if (firsts[k].size() > 2) continue;
    const double f = SetFrequency(firsts[k]);
    if (scan_.offsetC != scan_.offsetA && f >= third) continue;
    scan_.offsetC = offset;
    scan_.c0 = firsts[k].front();
    scan_.c1 = firsts[k].back();
    third = f;
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

int64_t Utf8Matcher::StartBefore(std::string_view block, size_t at) const {
  size_t pos = at;
  for (size_t k = anchor_; k-- > 0;) {
    bool matched = false;
    // No form of a character ends another (a longer form's tail begins with a
    // continuation byte), so at most one of them ends here.
    for (const std::string& form : forms_[k]) {
      // A form is at most four bytes: compared in place, without a call.
      bool same = pos >= form.size();
      for (size_t i = 0; same && i < form.size(); ++i) same = block[pos - form.size() + i] == form[i];
      if (same) {
        pos -= form.size();
        matched = true;
        break;
      }
    }
    if (!matched) return -1;
  }
  return static_cast<int64_t>(pos);
}

bool Utf8Matcher::Verify(std::string_view window, size_t begin, size_t end, size_t at, size_t* length) const {
  const size_t n = MatchAt(window.substr(begin, end - begin), at);
  if (n == 0) return false;
  if (wholeWords_ && !StandsAlone(window, begin + at, n, true)) return false;
  *length = n;
  return true;
}

int64_t Utf8Matcher::Find(std::string_view window, size_t begin, size_t end, bool forward, size_t* length) const {
  end = std::min(end, window.size());
  if (folded_.empty() || begin >= end || end - begin < minLength_) return -1;
  const std::string_view block = window.substr(begin, end - begin);
  size_t found = 0;
  auto verify = [&](size_t at) { return first_[static_cast<unsigned char>(block[at])] && Verify(window, begin, end, at, &found); };
  int64_t at = -1;
  const size_t lastStart = block.size() - minLength_;
  if (!forward) {
    at = LastVerified(lastStart, verify);
  } else if (!scan_.usable || block.size() <= scan_.offsetB) {
    at = FirstVerified(lastStart, verify);
  } else {
    // Candidates are anchor positions; a match's anchor follows another's exactly when
    // its start does, so the first verified one is the first match.
    int64_t start = -1;
    auto fromAnchor = [&](size_t anchorAt) {
      start = anchor_ == 0 ? static_cast<int64_t>(anchorAt) : StartBefore(block, anchorAt);
      return start >= 0 && verify(static_cast<size_t>(start));
    };
    if (ScanBytes(reinterpret_cast<const unsigned char*>(block.data()), block.size() - 1 - scan_.offsetB, scan_,
                  fromAnchor) >= 0)
      at = start;
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
  // The variants of each distinct character once: each asks the whole table.
  std::vector<std::pair<char16_t, std::vector<char16_t>>> known;
  auto variantsOf = [&](char16_t c) -> const std::vector<char16_t>& {
    for (const auto& [unit, v] : known)
      if (unit == c) return v;
    known.emplace_back(c, Variants<char16_t>(c, options_.caseSensitive, fold, 65536));
    return known.back().second;
  };
  // A long text is anchored within its first and last characters: 16 from each end.
  std::vector<size_t> positions;
  for (size_t k = 0; k < text_.size(); ++k)
    if (k < 16 || k + 16 >= text_.size()) positions.push_back(k);
  PairChoice<char16_t> choice;
  for (const size_t a : positions)
    for (const size_t b : positions)
      if (b >= a && b - a < kPairReach) choice.Offer(a, variantsOf(text_[a]), b, variantsOf(text_[b]));
  scan_ = choice.best;
}

bool WideMatcher::Verify(std::u16string_view window, size_t begin, size_t end, size_t at) const {
  const size_t n = text_.size();
  if (at + n > end - begin) return false;
  const char16_t* p = window.data() + begin + at;
  if (options_.caseSensitive) {
    if (std::memcmp(p, text_.data(), n * 2) != 0) return false;
  } else {
    const auto& lower = WideLowerTable();
    for (size_t k = 0; k < n; ++k)
      if (lower[p[k]] != text_[k]) return false;
  }
  return !options_.wholeWords || StandsAlone(window, begin + at, n);
}

int64_t WideMatcher::Find(std::u16string_view window, size_t begin, size_t end, bool forward) const {
  end = std::min(end, window.size());
  if (text_.empty() || begin >= end || end - begin < text_.size()) return -1;
  const size_t last = end - begin - text_.size();
  auto verify = [&](size_t at) { return Verify(window, begin, end, at); };
  if (!forward) return LastVerified(last, verify);
  if (!scan_.usable) return FirstVerified(last, verify);
  const char16_t* p = window.data() + begin;
  if (HasAvx2()) return ScanUnitsAvx2(p, last, scan_, verify);
  return ScanScalar(p, 0, last, scan_, verify);
}

}  // namespace search
