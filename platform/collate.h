#pragma once
// Locale-aware comparison of wide texts through ICU, in place of the platform's
// CompareString. Locales are Windows locale identifiers; the user's locale is German.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using LocaleId = uint32_t;
inline constexpr LocaleId kLocaleGerman = 0x0407;

LocaleId GetUserDefaultLcid();
// ICU locale name of a locale identifier ("de" for 0x0407); empty when unknown.
std::string IcuLocaleName(LocaleId lcid);
// -1, 0 or 1; -2 when the comparison cannot be made (no collator for the locale).
int CompareLocale(LocaleId lcid, bool ignoreCase, std::u16string_view a, std::u16string_view b);
// The default ANSI code page of a locale; 0 for locales that only have Unicode.
uint32_t LocaleDefaultAnsiCodePage(LocaleId lcid);

}  // namespace platform
