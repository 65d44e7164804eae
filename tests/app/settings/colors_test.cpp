#include "app/settings/colors.h"

#include <gtest/gtest.h>

#include <random>

namespace app {
namespace {

TEST(Colors, FromText) {
  struct Case {
    std::u16string_view text;
    std::optional<RgbColor> expected;
  } cases[] = {
      {u"clHighlight", RgbColor{0, 120, 215}},
      {u"clhighlight", RgbColor{0, 120, 215}},
      {u"clWhite", RgbColor{255, 255, 255}},
      {u"clRed", RgbColor{255, 0, 0}},
      {u"clNavy", RgbColor{0, 0, 128}},
      {u"clActiveBorder", RgbColor{180, 180, 180}},
      {u"clScrollBar", RgbColor{200, 200, 200}},
      {u"clBtnShadow", RgbColor{160, 160, 160}},
      {u"$00BBBBBB", RgbColor{0xBB, 0xBB, 0xBB}},
      {u"$000000FF", RgbColor{255, 0, 0}},   // 00BBGGRR: red is the low byte
      {u"$00FF0000", RgbColor{0, 0, 255}},
      {u"$00d77800", RgbColor{0, 120, 215}},
      {u"$FF00000D", RgbColor{0, 120, 215}},  // system colour 13, the highlight
      {u"-16777203", RgbColor{0, 120, 215}},  // the same as a decimal number
      {u"16777215", RgbColor{255, 255, 255}},
      {u"0x8000", RgbColor{0, 128, 0}},
      {u"$0200FF00", RgbColor{0, 255, 0}},    // palette-relative
      {u"clNone", std::nullopt},
      {u"clDefault", std::nullopt},
      {u"$1FFFFFFF", std::nullopt},
      {u"$FF0000FF", std::nullopt},           // no such system colour
      {u"", std::nullopt},
      {u"$", std::nullopt},
      {u"$GG", std::nullopt},
      {u"$100000000", std::nullopt},
      {u"Highlight", std::nullopt},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.text.begin(), k.text.end()));
    auto got = ColorFromText(k.text);
    ASSERT_EQ(got.has_value(), k.expected.has_value());
    if (got) {
      EXPECT_EQ(got->red, k.expected->red);
      EXPECT_EQ(got->green, k.expected->green);
      EXPECT_EQ(got->blue, k.expected->blue);
    }
  }
}

TEST(Colors, ToTextNamesStandardColoursOnly) {
  EXPECT_EQ(ColorToText({255, 255, 255}), u"clWhite");
  EXPECT_EQ(ColorToText({0, 0, 0}), u"clBlack");
  EXPECT_EQ(ColorToText({128, 128, 128}), u"clGray");  // not its alias clDkGray
  EXPECT_EQ(ColorToText({192, 192, 192}), u"clSilver");
  EXPECT_EQ(ColorToText({0xBB, 0xBB, 0xBB}), u"$00BBBBBB");
  EXPECT_EQ(ColorToText({0, 120, 215}), u"$00D77800");  // the highlight's value, not its name
  EXPECT_EQ(ColorToText({0x12, 0x34, 0x56}), u"$00563412");
}

TEST(Colors, TextRoundTrips) {
  std::mt19937 random(7);
  for (int i = 0; i < 500; ++i) {
    const RgbColor c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
    EXPECT_EQ(ColorFromText(ColorToText(c)), c);
  }
  EXPECT_EQ(FromColorRef(ColorRef({1, 2, 3})), (RgbColor{1, 2, 3}));
  EXPECT_EQ(ColorRef({0x11, 0x22, 0x33}), 0x332211u);
}

}  // namespace
}  // namespace app
