#pragma once
// Translation tables of 8-bit character sets into an ANSI code page, used where the
// platform lacks the code page itself. Characters without a counterpart become a
// look-alike ("-", "+", the broken bar for box drawing) or "?".
#include <array>

namespace search {

extern const std::array<unsigned char, 128> kKoi8rToCp1251;     // bytes 128-255
extern const std::array<unsigned char, 128> kMacRomanToCp1252;  // bytes 128-255
extern const std::array<unsigned char, 256> kEbcdicToCp1252;    // bytes 0-255
extern const std::array<unsigned char, 128> kIso88591ToCp1252;  // bytes 128-255

}  // namespace search
