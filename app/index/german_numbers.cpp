#include "app/index/german_numbers.h"

#include <cmath>
#include <string>

namespace app {
namespace {

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::u16string FormatThousands(int64_t value) {
  // Through unsigned so that the smallest value has a magnitude too.
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return Ascii(negative ? "-" + out : out);
}

std::u16string FormatUpToTwoDecimals(double value) {
  const bool negative = value < 0;
  const double hundredths = std::round(std::fabs(value) * 100.0);
  const auto all = static_cast<uint64_t>(hundredths);
  const uint64_t whole = all / 100;
  const auto fraction = static_cast<unsigned>(all % 100);
  std::string out = std::to_string(whole);
  if (fraction != 0) {
    out += ',';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10) out += static_cast<char>('0' + fraction % 10);
  }
  if (negative && (whole != 0 || fraction != 0)) out = "-" + out;
  return Ascii(out);
}

std::u16string ConvertBytes(int64_t bytes) {
  static const char16_t* const kUnits[] = {u"Bytes", u"KB", u"MB", u"GB", u"TB", u"PB", u"EB", u"ZB", u"YB"};
  // Long double holds 1024^8 exactly; a 64-bit count never gets past EB.
  int i = 0;
  long double power = 1024.0L;
  while (i + 1 < static_cast<int>(std::size(kUnits)) && power < static_cast<long double>(bytes)) {
    ++i;
    power *= 1024.0L;
  }
  const long double unit = power / 1024.0L;
  return FormatUpToTwoDecimals(static_cast<double>(static_cast<long double>(bytes) / unit)) + u" " + kUnits[i];
}

std::u16string SecondsToHms(int64_t seconds) {
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds - hours * 3600) / 60;
  const int64_t rest = seconds - hours * 3600 - minutes * 60;
  return Ascii(std::to_string(hours) + ":" + std::to_string(minutes) + ":" + std::to_string(rest));
}

}  // namespace app
