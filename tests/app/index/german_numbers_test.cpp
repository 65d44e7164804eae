#include "app/index/german_numbers.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(ConvertBytes, LargestUnitExceededWithTwoDecimals) {
  const struct {
    int64_t bytes;
    std::u16string text;
  } cases[] = {
      {0, u"0 Bytes"},
      {1, u"1 Bytes"},
      {1024, u"1024 Bytes"},
      {1025, u"1 KB"},
      {1536, u"1,5 KB"},
      {1048576, u"1024 KB"},
      {6000000, u"5,72 MB"},
      {1073741823, u"1024 MB"},  // rounds up without changing the unit
      {5368709120, u"5 GB"},
      {int64_t{1} << 50, u"1024 TB"},
      {(int64_t{1} << 50) + (int64_t{1} << 48), u"1,25 PB"},
      {INT64_MAX, u"8 EB"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConvertBytes(c.bytes), c.text) << c.bytes;
}

TEST(FormatThousands, DotsBetweenThousands) {
  const struct {
    int64_t value;
    std::u16string text;
  } cases[] = {
      {0, u"0"}, {999, u"999"}, {1000, u"1.000"}, {1234567, u"1.234.567"},
      {-1234, u"-1.234"}, {INT64_MIN, u"-9.223.372.036.854.775.808"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatThousands(c.value), c.text) << c.value;
}

TEST(SecondsToHms, NoLeadingZeros) {
  EXPECT_EQ(SecondsToHms(3725), u"1:2:5");
  EXPECT_EQ(SecondsToHms(59), u"0:0:59");
  EXPECT_EQ(SecondsToHms(0), u"0:0:0");
}

TEST(FormatUpToTwoDecimals, RoundsAndDropsTrailingZeros) {
  EXPECT_EQ(FormatUpToTwoDecimals(5.7220458984375), u"5,72");
  EXPECT_EQ(FormatUpToTwoDecimals(1.004), u"1");
  EXPECT_EQ(FormatUpToTwoDecimals(2.999), u"3");
  EXPECT_EQ(FormatUpToTwoDecimals(0.1), u"0,1");
}

}  // namespace
}  // namespace app
