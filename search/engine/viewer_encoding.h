#pragma once
// The 73 text encodings in which the viewer shows and searches 8-bit documents, with
// their display names, the marks of the code pages installed here, and the conversion
// of 8-bit text of an encoding to wide text. Single-byte code pages convert through
// 256-entry tables made once from the platform's converter.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace search {

enum TViewerEncoding : uint8_t {
  vEncANSI, vEncOEM, vEncEBCDIC, vEncKOI8, vEncISO, vEncMac,
  vEncWEuroDOS, vEncWEuroISO1, vEncWEuroISO2, vEncWEuroMac, vEncWEuroWin,
  vEncCEuroDOS, vEncCEuroISO, vEncCEuroMac, vEncCEuroWin,
  vEncBalDOS, vEncBalISO1, vEncBalISO2, vEncBalWin,
  vEncCyrDOS, vEncCyrISO, vEncCyrKOI8R, vEncCyrKOI8U, vEncCyrMacC, vEncCyrMacU, vEncCyrWin,
  vEncGreekDOS, vEncGreekISO, vEncGreekMac, vEncGreekWin,
  vEncLatin3,
  vEncTurDOS, vEncTurISO, vEncTurMac, vEncTurWin,
  vEncArDOS1, vEncArDOS2, vEncArDOS3, vEncArISO, vEncArMac, vEncArWin,
  vEncHebDOS, vEncHebISO1, vEncHebISO2, vEncHebMac, vEncHebWin,
  vEncThai, vEncViet,
  vEncEBUSCanada, vEncEBInternational, vEncEBMultiLatin2, vEncEBGreekModern,
  vEncEBTurkishLatin5, vEncEBLatin1, vEncEBGermany, vEncEBDenmarkNorway,
  vEncEBFinlandSweden, vEncEBItaly, vEncEBLatinAmerica, vEncEBUnitedKingdom,
  vEncEBJapaneseKatExt, vEncEBFrance, vEncEBArabic, vEncEBGreek, vEncEBHebrew,
  vEncEBKoreanExt, vEncEBThai, vEncEBIcelandic, vEncEBCyrRussian, vEncEBTurkish,
  vEncEBCyrSerbian,
  vEncUnicodeLE, vEncUnicodeBE
};
inline constexpr int kViewerEncodingCount = 73;

struct TViewerEncodingRec {
  uint32_t codePage;  // 0: handled by rule; 1: the OEM code page; 2: the Mac code page
  uint8_t group;
  const char* name;
};

extern const std::array<TViewerEncodingRec, kViewerEncodingCount> kViewerEncodings;
extern const std::array<const char*, 14> kViewerEncodingGroups;  // index 0 has no name

// The row's name in group 0, else "group (name)".
std::string EncodingDisplayName(TViewerEncoding encoding);
// The real code page number of a row (the OEM and Mac rows resolved); 0 when none.
uint32_t EncodingCodePage(TViewerEncoding encoding);
bool EncodingInstalled(TViewerEncoding encoding);
// Marks the rows whose code pages are installed, then the first six rows. Runs once on
// first use of the table; calling it again re-reads the platform.
void InitSupportedCodepages();
// Bytes per character: 2 for the UTF-16 rows, 1 for all others.
inline int EncodingCharSize(TViewerEncoding e) { return e == vEncUnicodeLE || e == vEncUnicodeBE ? 2 : 1; }

// 8-bit text of an encoding to wide text. A code page that is not installed gives "?".
std::u16string CodepageStringToWide(std::string_view text, TViewerEncoding encoding);

// For the 8-bit search: each byte of the encoding as the byte of the ANSI code page that
// stands for the same character ("?" where none). nullptr: the encoding converts as a
// whole to "?" (not installed), so no byte-wise table exists.
const std::array<unsigned char, 256>* EncodingToAnsiTable(TViewerEncoding encoding);

}  // namespace search
