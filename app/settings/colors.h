#pragma once
// Colours as the settings store them: a colour constant name ("clHighlight", "clWhite")
// or "$" + eight hex digits in the order 00BBGGRR ("$00BBBBBB"); decimal numbers read as
// well. System colours ("clHighlight") resolve to the colours of the desktop's default
// scheme. Plain values, no toolkit types: the forms turn them into their own.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

struct RgbColor {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const RgbColor&) const = default;
};

// 0x00BBGGRR, the stored number of an RGB colour.
constexpr uint32_t ColorRef(RgbColor c) { return c.red | (c.green << 8) | (uint32_t(c.blue) << 16); }
constexpr RgbColor FromColorRef(uint32_t ref) {
  return {uint8_t(ref & 0xFF), uint8_t((ref >> 8) & 0xFF), uint8_t((ref >> 16) & 0xFF)};
}

// nullopt: not a colour (unknown name, "clNone", "clDefault", malformed number).
std::optional<RgbColor> ColorFromText(std::u16string_view text);
// The name of a standard colour ("clWhite", "clRed", ...), otherwise "$00BBGGRR".
std::u16string ColorToText(RgbColor color);

// Darker (percent < 0, rounded to nearest, ties to even) or lighter (percent >= 0,
// rounded up) by the percentage of each channel's way to black or white.
RgbColor ShadeColor(RgbColor color, int8_t percent);

}  // namespace app
