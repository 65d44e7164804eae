#pragma once
// German number texts of our own ("." between thousands, "," before decimals), because
// the machines have no German locale and the stored log must not depend on one.
#include <cstdint>
#include <string>

namespace app {

// "%.0n": 1234567 -> "1.234.567", -1234 -> "-1.234".
std::u16string FormatThousands(int64_t value);
// "###0.##": at most two decimals, rounded, trailing zeros dropped; 5.7220 -> "5,72".
std::u16string FormatUpToTwoDecimals(double value);
// The size with the largest unit it exceeds: 1024 -> "1024 Bytes", 1025 -> "1 KB",
// 6000000 -> "5,72 MB".
std::u16string ConvertBytes(int64_t bytes);
// 3725 -> "1:2:5" (no leading zeros).
std::u16string SecondsToHms(int64_t seconds);

}  // namespace app
