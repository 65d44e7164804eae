#include "platform/escaped_text.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include "platform/codepage.h"

namespace platform {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendRun(std::u16string& out, std::string_view run) {
  if (run.empty()) return;
  if (auto wide = PosixUtf8ToWide(run)) {
    out += *wide;
  } else {
    out += AnsiToWide(run);
  }
}

template <typename Map>
std::u16string MapCodePoints(std::u16string_view text, Map map) {
  std::u16string out;
  out.reserve(text.size());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 cp;
    U16_NEXT(text.data(), i, length, cp);
    const UChar32 mapped = map(cp);
    if (U_IS_BMP(mapped)) {
      out += static_cast<char16_t>(mapped);
    } else {
      out += static_cast<char16_t>(U16_LEAD(mapped));
      out += static_cast<char16_t>(U16_TRAIL(mapped));
    }
  }
  return out;
}

}  // namespace

std::string EscapeLine(std::u16string_view text, std::string_view reserved) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      const char c = static_cast<char>(unit);
      if (unit < 0x20 || unit == 0x7F || c == '%' || reserved.find(c) != std::string_view::npos) {
        out += '%';
        out += kHex[unit >> 4];
        out += kHex[unit & 0xF];
      } else {
        out += c;
      }
    } else if (U16_IS_LEAD(unit) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
      AppendUtf8(out, U16_GET_SUPPLEMENTARY(unit, text[i + 1]));
      ++i;
    } else if (U16_IS_SURROGATE(unit)) {
      out += "%u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string UnescapeLine(std::string_view line) {
  std::u16string out;
  out.reserve(line.size());
  size_t runStart = 0;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] != '%') {
      ++i;
      continue;
    }
    auto hexAt = [&](size_t k) { return k < line.size() ? HexValue(line[k]) : -1; };
    int value = -1;
    size_t length = 3;
    if (i + 1 < line.size() && line[i + 1] == 'u') {
      length = 6;
      value = 0;
      for (size_t k = i + 2; k < i + 6 && value >= 0; ++k) {
        const int digit = hexAt(k);
        value = digit < 0 ? -1 : value * 16 + digit;
      }
    } else if (hexAt(i + 1) >= 0 && hexAt(i + 2) >= 0) {
      value = hexAt(i + 1) * 16 + hexAt(i + 2);
    }
    if (value < 0) {  // a lone "%" stays as it is
      ++i;
      continue;
    }
    AppendRun(out, line.substr(runStart, i - runStart));
    out += static_cast<char16_t>(value);
    i += length;
    runStart = i;
  }
  AppendRun(out, line.substr(runStart));
  return out;
}

std::u16string FoldCase(std::u16string_view text) {
  return MapCodePoints(text, [](UChar32 cp) { return u_foldCase(cp, U_FOLD_CASE_DEFAULT); });
}

std::u16string UpperCase(std::u16string_view text) {
  return MapCodePoints(text, [](UChar32 cp) { return u_toupper(cp); });
}

}  // namespace platform
