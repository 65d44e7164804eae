#pragma once
// Wide string routines: formatting, locale comparison, upper case, character types,
// replacing and line breaks. Formatting works on the wide text itself, so characters
// outside the ANSI code page survive it.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/collate.h"

namespace textlib {

// One argument of WideFormat: an integer, a floating-point number or a text (wide, or
// 8-bit in the ANSI code page).
class FormatArg {
 public:
  FormatArg(int v) : value_(static_cast<long long>(v)) {}
  FormatArg(long v) : value_(static_cast<long long>(v)) {}
  FormatArg(long long v) : value_(v) {}
  FormatArg(unsigned v) : value_(static_cast<long long>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<unsigned long long>(v)) {}
  FormatArg(unsigned long long v) : value_(v) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(const char16_t* v) : value_(std::u16string(v ? v : u"")) {}
  FormatArg(std::u16string_view v) : value_(std::u16string(v)) {}
  FormatArg(const std::u16string& v) : value_(v) {}
  FormatArg(const char* v) : value_(std::string(v ? v : "")) {}
  FormatArg(const std::string& v) : value_(v) {}

  using Value = std::variant<long long, unsigned long long, double, std::u16string, std::string>;
  const Value& Get() const { return value_; }

 private:
  Value value_;
};

// The class library's Format on wide texts: "%" [index ":"] ["-"] [width] ["." precision]
// type, with "*" for index, width or precision taken from the arguments; types d, u, x,
// s, f, n, e, g and "%%". Numbers in the German style ("," decimals, "." thousands).
// A format that does not fit its arguments raises EConvertError.
std::u16string WideFormat(std::u16string_view format, std::span<const FormatArg> args);
std::u16string WideFormat(std::u16string_view format, std::initializer_list<FormatArg> args);

inline constexpr uint32_t NORM_IGNORECASE = 1;
// 1 less, 2 equal, 3 greater; 0 when the comparison cannot be made.
int WideCompareString(platform::LocaleId locale, uint32_t flags, std::u16string_view a,
                      std::u16string_view b);
// Negative, 0 or positive, in the user's locale.
int WideCompareStr(std::u16string_view a, std::u16string_view b);
int WideCompareText(std::u16string_view a, std::u16string_view b);
bool WideSameStr(std::u16string_view a, std::u16string_view b);
bool WideSameText(std::u16string_view a, std::u16string_view b);

char16_t WideCharUpper(char16_t c);
// Upper-cases in place; returns the length.
size_t WideCharUpperBuff(char16_t* buffer, size_t length);
std::u16string WideUpperCase(std::u16string_view text);
char16_t WideLastChar(std::u16string_view text);  // 0 for an empty text

// The CT_CTYPE1 bits of a character.
inline constexpr uint16_t C1_UPPER = 0x001, C1_LOWER = 0x002, C1_DIGIT = 0x004,
                          C1_SPACE = 0x008, C1_PUNCT = 0x010, C1_CNTRL = 0x020,
                          C1_BLANK = 0x040, C1_XDIGIT = 0x080, C1_ALPHA = 0x100,
                          C1_DEFINED = 0x200;
uint16_t WideGetCharType(char16_t c);
bool IsWideCharSpace(char16_t c);
bool IsWideCharPunct(char16_t c);
// 0, a space or punctuation.
bool IsWordBoundary(char16_t c);
bool IsCharInAnsiCodePage(char16_t c);

// Flags of WideStringReplace.
inline constexpr uint32_t rfReplaceAll = 1;
inline constexpr uint32_t rfIgnoreCase = 2;
std::u16string WideStringReplace(std::u16string_view text, std::u16string_view oldPattern,
                                 std::u16string_view newPattern, bool wholeWord, uint32_t flags);

// Line-break styles: every CR LF, lone CR, lone LF and U+2028 becomes one break.
enum TTextLineBreakStyle : int { tlbsLF = 0, tlbsCRLF = 1, tlbsCR = 2 };
std::u16string WideAdjustLineBreaks(std::u16string_view text, TTextLineBreakStyle style = tlbsCRLF);
size_t WideAdjustLineBreaksLength(std::u16string_view text, TTextLineBreakStyle style = tlbsCRLF);

}  // namespace textlib
