#include "app/settings/colors.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace app {
namespace {

struct NamedColor {
  std::u16string_view name;
  uint32_t ref;  // 00BBGGRR
};

// In the order ColorToText searches them: an aliased value gets the first name.
constexpr std::array<NamedColor, 22> kStandardColors{{
    {u"clBlack", 0x000000},     {u"clMaroon", 0x000080},    {u"clGreen", 0x008000},
    {u"clOlive", 0x008080},     {u"clNavy", 0x800000},      {u"clPurple", 0x800080},
    {u"clTeal", 0x808000},      {u"clGray", 0x808080},      {u"clSilver", 0xC0C0C0},
    {u"clRed", 0x0000FF},       {u"clLime", 0x00FF00},      {u"clYellow", 0x00FFFF},
    {u"clBlue", 0xFF0000},      {u"clFuchsia", 0xFF00FF},   {u"clAqua", 0xFFFF00},
    {u"clWhite", 0xFFFFFF},     {u"clMoneyGreen", 0xC0DCC0}, {u"clSkyBlue", 0xF0CAA6},
    {u"clCream", 0xF0FBFF},     {u"clMedGray", 0xA4A0A0},   {u"clLtGray", 0xC0C0C0},
    {u"clDkGray", 0x808080},
}};

// System colours by their index (the low byte of 0xFF0000nn), with the colours of the
// standard desktop scheme.
struct SystemColor {
  std::u16string_view name;
  uint8_t index;
  uint32_t ref;
};
constexpr std::array<SystemColor, 30> kSystemColors{{
    {u"clScrollBar", 0, 0xC8C8C8},
    {u"clBackground", 1, 0x000000},
    {u"clActiveCaption", 2, 0xD1B499},
    {u"clInactiveCaption", 3, 0xDBCDBF},
    {u"clMenu", 4, 0xF0F0F0},
    {u"clWindow", 5, 0xFFFFFF},
    {u"clWindowFrame", 6, 0x646464},
    {u"clMenuText", 7, 0x000000},
    {u"clWindowText", 8, 0x000000},
    {u"clCaptionText", 9, 0x000000},
    {u"clActiveBorder", 10, 0xB4B4B4},
    {u"clInactiveBorder", 11, 0xFCF7F4},
    {u"clAppWorkSpace", 12, 0xABABAB},
    {u"clHighlight", 13, 0xD77800},
    {u"clHighlightText", 14, 0xFFFFFF},
    {u"clBtnFace", 15, 0xF0F0F0},
    {u"clBtnShadow", 16, 0xA0A0A0},
    {u"clGrayText", 17, 0x6D6D6D},
    {u"clBtnText", 18, 0x000000},
    {u"clInactiveCaptionText", 19, 0x000000},
    {u"clBtnHighlight", 20, 0xFFFFFF},
    {u"cl3DDkShadow", 21, 0x696969},
    {u"cl3DLight", 22, 0xE3E3E3},
    {u"clInfoText", 23, 0x000000},
    {u"clInfoBk", 24, 0xE1FFFF},
    {u"clHotLight", 26, 0xCC6600},
    {u"clGradientActiveCaption", 27, 0xEAD1B9},
    {u"clGradientInactiveCaption", 28, 0xF2E4D7},
    {u"clMenuHighlight", 29, 0xD77800},
    {u"clMenuBar", 30, 0xF0F0F0},
}};

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

int Digit(char16_t c, int base) {
  int d = -1;
  if (c >= u'0' && c <= u'9') d = c - u'0';
  else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
  else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
  return d < base ? d : -1;
}

// A 32-bit number as the stored colour texts write it: decimal with an optional sign,
// or "$"/"0x" + hexadecimal.
std::optional<uint32_t> ParseNumber(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text[0] == u'$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    const int d = Digit(c, base);
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (negative) {
    if (value > 0x80000000ull) return std::nullopt;
    value = (0x100000000ull - value) & 0xFFFFFFFFull;
  } else if (base == 10 && value > 0x7FFFFFFFull) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<RgbColor> FromNumber(uint32_t value) {
  if ((value & 0xFF000000u) == 0xFF000000u) {  // a system colour
    for (const auto& s : kSystemColors)
      if (s.index == (value & 0xFFFFFFu)) return FromColorRef(s.ref);
    return std::nullopt;
  }
  // 0x01 and 0x02 in the top byte mark palette colours; the low bytes are the colour.
  if ((value >> 24) > 2) return std::nullopt;
  return FromColorRef(value & 0xFFFFFFu);
}

}  // namespace

std::optional<RgbColor> ColorFromText(std::u16string_view text) {
  for (const auto& c : kStandardColors)
    if (SameIgnoringAsciiCase(text, c.name)) return FromColorRef(c.ref);
  for (const auto& s : kSystemColors)
    if (SameIgnoringAsciiCase(text, s.name)) return FromColorRef(s.ref);
  if (auto number = ParseNumber(text)) return FromNumber(*number);
  return std::nullopt;
}

std::u16string ColorToText(RgbColor color) {
  const uint32_t ref = ColorRef(color);
  for (const auto& c : kStandardColors)
    if (c.ref == ref) return std::u16string(c.name);
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text = u"$";
  for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(ref >> shift) & 0xF];
  return text;
}

RgbColor ShadeColor(RgbColor color, int8_t percent) {
  auto shade = [percent](uint8_t c) -> uint8_t {
    double v;
    // nearbyint rounds in the default mode: to nearest, ties to even.
    if (percent < 0) {
      v = std::nearbyint(c + double(int(c) * percent) / 100.0);
    } else {
      v = std::ceil(c + double((255 - int(c)) * percent) / 100.0);
    }
    return uint8_t(std::clamp(v, 0.0, 255.0));
  };
  return {shade(color.red), shade(color.green), shade(color.blue)};
}

}  // namespace app
