#pragma once
// Shortcut values, their German texts and the "&" hot keys of captions. A shortcut keeps
// the class library's form (a virtual-key code in the low byte, 0x2000 shift, 0x4000 ctrl,
// 0x8000 alt) so that stored values and texts stay as they were; Qt sees it only through
// ShortCutToKeySequence. Key names come from one table of our own, since X11 and Wayland
// offer no German key names.
#include <QKeySequence>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace widgets {

using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr TShortCut scNone = 0;

// The keys that have a name of their own (virtual-key codes).
inline constexpr uint8_t vkBack = 8, vkTab = 9, vkReturn = 13, vkEscape = 27, vkSpace = 32, vkPrior = 33,
                         vkNext = 34, vkEnd = 35, vkHome = 36, vkLeft = 37, vkUp = 38, vkRight = 39,
                         vkDown = 40, vkInsert = 45, vkDelete = 46, vkNumpad0 = 96, vkF1 = 112, vkF24 = 135;

constexpr TShortCut ShortCut(uint8_t key, TShortCut modifiers = 0) {
  return static_cast<TShortCut>(key | (modifiers & (scShift | scCtrl | scAlt)));
}

// The German name of a key alone ("Eingabe", "Bild auf", "F5", "A"); empty for a key
// without a name.
std::u16string WideKeyName(uint8_t key);
// "Umsch+", "Strg+", "Alt+" in that order before the key's name; empty when the key has
// no name.
std::u16string WideShortCutToText(TShortCut shortCut);
// The same key for Qt; an empty sequence for a key Qt cannot take.
QKeySequence ShortCutToKeySequence(TShortCut shortCut);

// The character after the last "&" that is not doubled; none when there is no such "&".
std::optional<char16_t> WideGetHotKey(std::u16string_view caption);
// Deletes every single "&" and leaves one of each "&&". farEast: "(&X)" goes whole, as
// Far-East captions put their hot key in such a group behind the text.
std::u16string WideStripHotKey(std::u16string_view caption, bool farEast = false);
// Whether a typed character (a keyboard code-page byte below 256, else the character) is
// the caption's hot key, ignoring case.
bool IsWideAccel(uint32_t key, std::u16string_view caption);

// Gives the wide target the "&" positions of the source when their ANSI forms differ only
// in them (the source typically an ANSI caption moved behind the target's back), keeping
// the target's characters. Raises EUniInternalError when that fails.
void SyncHotKeyPosition(std::u16string_view source, std::u16string& target, bool farEast = false);

}  // namespace widgets
