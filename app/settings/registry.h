#pragma once
// The main program's settings: every value lives below the one key
// "Software\Tolvane\Quarry-HTML\" of the settings store (platform/settings.h), as text.
// LeseRegKey and SchreibeRegKey(s) are the only way the application reaches them; they pass
// key, name and value through the system ANSI code page, as the stored values always
// have, so a character outside it reads back as "?". A write that fails is never lost
// silently: it returns false and can say why, for the caller to tell the user.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace app {

inline constexpr std::u16string_view kRegistryKey = u"Software\\Tolvane\\Quarry-HTML\\";

// The names of the values.
namespace reg {
inline constexpr std::u16string_view AusgewaehlteDatenbank = u"Ausgewaehlte_Datenbank";
inline constexpr std::u16string_view ThemenWebseite = u"Themen-Webseite";
inline constexpr std::u16string_view AusgewaehlteWebseite = u"Ausgewaehlte_Webseite";
inline constexpr std::u16string_view Farbe = u"Farbe";
inline constexpr std::u16string_view HinweistextFarbe = u"HinweistextFarbe";
inline constexpr std::u16string_view Hoehe = u"Hoehe";
inline constexpr std::u16string_view Weite = u"Weite";
inline constexpr std::u16string_view SHoehe = u"SHoehe";
inline constexpr std::u16string_view SWeite = u"SWeite";
inline constexpr std::u16string_view Browser = u"Browser";
inline constexpr std::u16string_view SuchwortInZwischenablage = u"Suchwort_in_Zwischenablage_kopieren";
inline constexpr std::u16string_view KurzhinweisImViewer = u"Kurzhinweis_imViewer_anzeigen";
inline constexpr std::u16string_view SchriftsizeTextViewer = u"SchriftsizeTextViewer";
inline constexpr std::u16string_view SplitterPos = u"SplitterPos";
inline constexpr std::u16string_view QuarryControl = u"Quarry_Control";
// Followed by the database name: the viewer position in that database's ANSI, UTF-8
// and MHT store.
inline constexpr std::u16string_view LesezeichenAnsi = u"Lesezeichen_Ansi_";
inline constexpr std::u16string_view LesezeichenUtf8 = u"Lesezeichen_Utf8_";
inline constexpr std::u16string_view LesezeichenUnicode = u"Lesezeichen_Unicode_";
}  // namespace reg

struct RegistryDefault {
  std::u16string_view name;
  std::u16string_view value;
};
// The values a first run writes, in the order it writes them.
inline constexpr std::array<RegistryDefault, 12> kFirstRunValues{{
    {reg::AusgewaehlteDatenbank, u"-1"},
    {reg::ThemenWebseite, u"0"},
    {reg::AusgewaehlteWebseite, u"0"},
    {reg::Farbe, u"clHighlight"},
    {reg::HinweistextFarbe, u"clWhite"},
    {reg::Hoehe, u"506"},
    {reg::Weite, u"900"},
    {reg::SHoehe, u"500"},
    {reg::SWeite, u"900"},
    {reg::Browser, u"standard"},
    {reg::SuchwortInZwischenablage, u"1"},
    {reg::KurzhinweisImViewer, u"1"},
}};

// The named value's text; empty when the key or the value is missing.
std::u16string LeseRegKey(std::u16string_view key, std::u16string_view name);
// Creates the key when needed. false when the settings file could not be written; the
// file is then unchanged and `failure`, when given, says why: "<file>: <system's reason>".
bool SchreibeRegKey(std::u16string_view key, std::u16string_view name, std::u16string_view value,
                    std::u16string* failure = nullptr);
// Several values in one rewrite, in the given order: all of them are saved or none.
struct RegistryValue {
  std::u16string name;
  std::u16string value;
};
bool SchreibeRegKeys(std::u16string_view key, const std::vector<RegistryValue>& values,
                     std::u16string* failure = nullptr);

// A first run is one without `Ausgewaehlte_Datenbank`.
bool IsFirstRun();
// Writes the twelve first-run values in one rewrite, so a crash cannot leave
// `Ausgewaehlte_Datenbank` written (which ends the first run) without the others.
// false as SchreibeRegKeys.
bool WriteFirstRunValues(std::u16string* failure = nullptr);

// A number stored as decimal text; `fallback` when missing or not a number.
int64_t LeseRegInteger(std::u16string_view name, int64_t fallback);

// The text viewer's font size in points. A size outside 6..72 is brought into range
// wherever it is set or read: at 0 the viewer's line height would be zero, and it
// divides by that.
inline constexpr int kViewerFontSizeMin = 6, kViewerFontSizeMax = 72, kViewerFontSizeDefault = 10;
int ClampViewerFontSize(int64_t pointSize);
// `SchriftsizeTextViewer` as the viewer takes it: 10 when missing or not a number,
// otherwise clamped.
int LeseViewerFontSize();

}  // namespace app
