#include "search/engine/viewer_encoding.h"

#include "search/engine/fallback_tables.h"

#include <gtest/gtest.h>

namespace search {
namespace {

TEST(ViewerEncoding, TableAndDisplayNames) {
  EXPECT_EQ(EncodingDisplayName(vEncEBCDIC), "EBCDIC");
  EXPECT_EQ(EncodingDisplayName(vEncWEuroDOS), "Western European (IBM-850)");
  EXPECT_EQ(EncodingDisplayName(vEncCyrKOI8R), "Cyrillic (KOI8-R)");
  EXPECT_EQ(EncodingDisplayName(vEncUnicodeBE), "Unicode (UTF-16 BE)");
  EXPECT_EQ(EncodingDisplayName(vEncEBCyrSerbian), "IBM EBCDIC (Cyrillic Serbian-Bulgarian)");
  EXPECT_EQ(EncodingCodePage(vEncOEM), 850u);
  EXPECT_EQ(EncodingCodePage(vEncMac), 10000u);
  EXPECT_EQ(EncodingCodePage(vEncHebISO1), 38598u);
  EXPECT_EQ(EncodingCodePage(vEncANSI), 0u);
  EXPECT_EQ(EncodingCharSize(vEncUnicodeLE), 2);
  EXPECT_EQ(EncodingCharSize(vEncCyrWin), 1);
}

TEST(ViewerEncoding, InstalledMarks) {
  InitSupportedCodepages();
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(EncodingInstalled(static_cast<TViewerEncoding>(i))) << i;
  for (auto e : {vEncWEuroDOS, vEncCyrKOI8R, vEncCyrWin, vEncEBUSCanada, vEncEBGermany, vEncHebISO1})
    EXPECT_TRUE(EncodingInstalled(e)) << int(e);
  EXPECT_FALSE(EncodingInstalled(vEncUnicodeLE));
}

TEST(ViewerEncoding, CodepageStringToWide) {
  struct Case {
    std::string in;
    TViewerEncoding enc;
    std::u16string out;
  } cases[] = {
      {"", vEncCyrWin, u""},
      {"\x80\xE4", vEncANSI, u"€ä"},
      {"\x84", vEncOEM, u"ä"},
      {"\xC1\xC2", vEncKOI8, u"аб"},
      {"\x80\xE4", vEncISO, u"\u0080ä"},  // ANSI code page 1252: ISO 8859-1
      {"\xC1", vEncEBCDIC, u"A"},
      {"\x8A", vEncMac, u"ä"},
      {"\xC6\xE6", vEncCyrWin, u"Жж"},
      {"\xA4", vEncWEuroISO2, u"€"},
  };
  for (const auto& c : cases) EXPECT_EQ(CodepageStringToWide(c.in, c.enc), c.out) << int(c.enc);
  if (!EncodingInstalled(vEncArMac)) {
    EXPECT_EQ(CodepageStringToWide("abc", vEncArMac), u"?");
  }
}

TEST(ViewerEncoding, AnsiTablesForTheByteSearch) {
  const auto* dos = EncodingToAnsiTable(vEncWEuroDOS);
  ASSERT_NE(dos, nullptr);
  EXPECT_EQ((*dos)[0x84], 0xE4);  // ä
  EXPECT_EQ((*dos)['A'], 'A');
  const auto* koi = EncodingToAnsiTable(vEncCyrKOI8R);
  ASSERT_NE(koi, nullptr);
  EXPECT_EQ((*koi)[0xC1], '?');  // no Cyrillic in code page 1252
  EXPECT_EQ((*EncodingToAnsiTable(vEncANSI))[0x80], 0x80);
  EXPECT_EQ(EncodingToAnsiTable(vEncUnicodeLE), nullptr);
}

TEST(ViewerEncoding, FallbackTables) {
  EXPECT_EQ(kIso88591ToCp1252[0x80 - 128], '?');
  for (int kept : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(kIso88591ToCp1252[kept - 128], kept);
  EXPECT_EQ(kIso88591ToCp1252[0xE4 - 128], 0xE4);
  EXPECT_EQ(kKoi8rToCp1251[0xC1 - 128], 0xE0);  // а
  EXPECT_EQ(kKoi8rToCp1251[0x80 - 128], '-');   // box drawing: a look-alike
  EXPECT_EQ(kKoi8rToCp1251[0x81 - 128], 0xA6);
  EXPECT_EQ(kKoi8rToCp1251[0x8A - 128], '+');
  EXPECT_EQ(kMacRomanToCp1252[0x8A - 128], 0xE4);  // ä
  EXPECT_EQ(kEbcdicToCp1252[0xC1], 'A');
  EXPECT_EQ(kEbcdicToCp1252[0x40], ' ');
}

}  // namespace
}  // namespace search
