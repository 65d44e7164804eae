#pragma once
// The program's own Unicode character data: the "UNICODE" resources "TYPE" (categories
// as sorted code-point ranges) and "CASE" (case mappings in three groups), loaded lazily
// and thread-safely on first use, and the trimming, case-mapping, comparison and UTF-8
// routines built on them. The loaders take the resource's bytes, in either byte order.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/collate.h"

namespace textlib {

using platform::LocaleId;

// Category numbers of "TYPE".
enum UnicodeCategory : int {
  kCatMn = 0, kCatMc, kCatMe, kCatNd, kCatNl, kCatNo, kCatZs, kCatZl, kCatZp, kCatCc, kCatCf,
  kCatSupplementary, kCatCo, kCatCn, kCatLu, kCatLl, kCatLt, kCatLm, kCatLo, kCatPc, kCatPd,
  kCatPs, kCatPe, kCatPo, kCatSm, kCatSc, kCatSk, kCatSo, kBidiL, kBidiR, kBidiEN, kBidiES,
  kBidiET, kBidiAN, kBidiCS, kBidiB, kBidiS, kBidiWS, kBidiON
};

class UnicodeTypeTable {
 public:
  // Raises EResNotFound for an empty, unmarked or truncated resource.
  static UnicodeTypeTable Load(std::span<const uint8_t> resource);
  int CategoryCount() const { return static_cast<int>(categoryCount_); }
  bool IsInCategory(char32_t code, int category) const;

 private:
  uint16_t categoryCount_ = 0;
  std::vector<uint16_t> index_;   // category -> first 32-bit value of its ranges, 0xFFFF empty
  std::vector<uint32_t> ranges_;  // (first, last) pairs
};

class UnicodeCaseTable {
 public:
  static UnicodeCaseTable Load(std::span<const uint8_t> resource);
  // The mapped field of code's record in a group, or code itself.
  char32_t UpperOfLower(char32_t code) const { return Lookup(code, lowerBegin(), lowerEnd(), 1); }
  char32_t LowerOfUpper(char32_t code) const { return Lookup(code, 0, upperEnd(), 1); }
  char32_t UpperOfOther(char32_t code) const { return Lookup(code, lowerEnd(), records_.size(), 1); }
  char32_t LowerOfOther(char32_t code) const { return Lookup(code, lowerEnd(), records_.size(), 2); }
  size_t RecordCount() const { return records_.size() / 3; }
  char32_t CodeOf(size_t record) const { return records_[record * 3]; }

 private:
  size_t upperEnd() const { return size_t{upperCount_} * 3; }
  size_t lowerBegin() const { return upperEnd(); }
  size_t lowerEnd() const { return upperEnd() + size_t{lowerCount_} * 3; }
  char32_t Lookup(char32_t code, size_t begin, size_t end, int field) const;

  uint16_t upperCount_ = 0, lowerCount_ = 0;
  std::vector<uint32_t> records_;  // (code, field 1, field 2) triples
};

// The resources as embedded in the program. Tests replace the lookup (an empty span is a
// missing resource); replacing it also forgets the tables loaded so far.
using UnicodeResourceLookup = std::function<std::span<const uint8_t>(std::string_view name)>;
std::span<const uint8_t> EmbeddedUnicodeResource(std::string_view name);
void SetUnicodeResourceLookupForTesting(UnicodeResourceLookup lookup);

bool IsInCategory(char32_t code, int category);
// Bit i of low stands for category i (0-31), bit j of high for category 32 + j.
bool IsInCategorySet(char32_t code, uint32_t low, uint32_t high);
bool IsControlChar(char32_t code);
bool IsWhiteSpaceChar(char32_t code);
bool IsUpperChar(char32_t code);
bool IsLowerChar(char32_t code);

char32_t CharToUpper(char32_t code);
char32_t CharToLower(char32_t code);
// Every character that CharToLower changes, with its lower case, by code: read off the
// case table's records, far cheaper than asking for every code point.
std::vector<std::pair<char32_t, char32_t>> LowerCaseMappings();
std::u16string UnicodeUpperCase(std::u16string_view text);
std::u16string UnicodeLowerCase(std::u16string_view text);
// Without leading and trailing white space and control characters.
std::u16string UnicodeTrim(std::u16string_view text);
std::u16string UnicodeTrimLeft(std::u16string_view text);
// UnicodeTrim without a copy.
void UnicodeTrimInPlace(std::u16string& text);

// Case-insensitive comparison in a locale: -1, 0 or 1; -2 when it cannot be made.
using CompareTextFunc = int (*)(std::u16string_view a, std::u16string_view b, LocaleId locale);
int CompareTextNT(std::u16string_view a, std::u16string_view b, LocaleId locale);
int CompareTextAnsi(std::u16string_view a, std::u16string_view b, LocaleId locale);
// The wide comparison: the platform here always has the wide interface.
inline constexpr CompareTextFunc CompareTextProc = &CompareTextNT;

uint32_t LocaleAnsiCodePage(LocaleId locale);

// UTF-16 -> UTF-8: a surrogate pair is one four-byte sequence, as other tools read UTF-8;
// a lone surrogate half keeps its three-byte form, so every text comes back as it was.
std::string EncodeUtf8(std::u16string_view text);
// UTF-8 -> UTF-16, lenient: continuation bytes are not checked, a stray byte 80-BF gives
// the unit of the same number, values above U+10FFFF and sequences cut off by the end of
// the input give U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes);

}  // namespace textlib
