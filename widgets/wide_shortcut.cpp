#include "widgets/wide_shortcut.h"

#include <array>

#include "platform/codepage.h"
#include "textlib/wide/utf.h"
#include "textlib/wide/wide.h"
#include "textlib/wide/widestr.h"

namespace widgets {

namespace {

struct KeyName {
  uint8_t key;
  const char16_t* name;
  Qt::Key qtKey;
  bool pad = false;  // a key of the numeric pad
};

// The class library's own names (Backspace to Delete), then the names a German keyboard
// gives the other keys. Digits, letters, the pad's digits and F1 to F24 are made below.
constexpr std::array kKeyNames{
    KeyName{vkBack, u"Rück", Qt::Key_Backspace},
    KeyName{vkTab, u"Tab", Qt::Key_Tab},
    KeyName{vkReturn, u"Eingabe", Qt::Key_Return},
    KeyName{vkEscape, u"Esc", Qt::Key_Escape},
    KeyName{vkSpace, u"Leer", Qt::Key_Space},
    KeyName{vkPrior, u"Bild auf", Qt::Key_PageUp},
    KeyName{vkNext, u"Bild ab", Qt::Key_PageDown},
    KeyName{vkEnd, u"Ende", Qt::Key_End},
    KeyName{vkHome, u"Pos1", Qt::Key_Home},
    KeyName{vkLeft, u"Links", Qt::Key_Left},
    KeyName{vkUp, u"Auf", Qt::Key_Up},
    KeyName{vkRight, u"Rechts", Qt::Key_Right},
    KeyName{vkDown, u"Ab", Qt::Key_Down},
    KeyName{vkInsert, u"Einfg", Qt::Key_Insert},
    KeyName{vkDelete, u"Entf", Qt::Key_Delete},
    KeyName{19, u"Pause", Qt::Key_Pause},
    KeyName{20, u"Feststell", Qt::Key_CapsLock},
    KeyName{44, u"Druck", Qt::Key_Print},
    KeyName{106, u"Num *", Qt::Key_Asterisk, true},
    KeyName{107, u"Num +", Qt::Key_Plus, true},
    KeyName{109, u"Num -", Qt::Key_Minus, true},
    KeyName{110, u"Num ,", Qt::Key_Comma, true},
    KeyName{111, u"Num /", Qt::Key_Slash, true},
    KeyName{144, u"Num", Qt::Key_NumLock},
    KeyName{145, u"Rollen", Qt::Key_ScrollLock},
    KeyName{186, u"Ü", Qt::Key_Udiaeresis},
    KeyName{187, u"+", Qt::Key_Plus},
    KeyName{188, u",", Qt::Key_Comma},
    KeyName{189, u"-", Qt::Key_Minus},
    KeyName{190, u".", Qt::Key_Period},
    KeyName{191, u"#", Qt::Key_NumberSign},
    KeyName{192, u"Ö", Qt::Key_Odiaeresis},
    KeyName{219, u"ß", Qt::Key_ssharp},
    KeyName{220, u"^", Qt::Key_AsciiCircum},
    KeyName{221, u"´", Qt::Key_acute},
    KeyName{222, u"Ä", Qt::Key_Adiaeresis},
    KeyName{226, u"<", Qt::Key_Less},
};

const KeyName* FindKey(uint8_t key) {
  for (const KeyName& entry : kKeyNames)
    if (entry.key == key) return &entry;
  return nullptr;
}

bool IsDigitKey(uint8_t key) { return key >= '0' && key <= '9'; }
bool IsLetterKey(uint8_t key) { return key >= 'A' && key <= 'Z'; }
bool IsPadDigitKey(uint8_t key) { return key >= vkNumpad0 && key <= vkNumpad0 + 9; }
bool IsFunctionKey(uint8_t key) { return key >= vkF1 && key <= vkF24; }

// A Far-East hot-key group "(&X)" starting at i.
bool IsHotKeyGroup(std::u16string_view text, size_t i) {
  return i + 3 < text.size() && text[i] == u'(' && text[i + 1] == u'&' && text[i + 3] == u')';
}

}  // namespace

std::u16string WideKeyName(uint8_t key) {
  if (IsDigitKey(key) || IsLetterKey(key)) return std::u16string(1, static_cast<char16_t>(key));
  if (IsPadDigitKey(key)) return std::u16string(1, static_cast<char16_t>(u'0' + (key - vkNumpad0)));
  if (IsFunctionKey(key)) return u"F" + textlib::NumberText(key - vkF1 + 1);
  const KeyName* entry = FindKey(key);
  return entry ? std::u16string(entry->name) : std::u16string();
}

std::u16string WideShortCutToText(TShortCut shortCut) {
  std::u16string name = WideKeyName(static_cast<uint8_t>(shortCut & 0xFF));
  if (name.empty()) return {};
  std::u16string text;
  if (shortCut & scShift) text += u"Umsch+";
  if (shortCut & scCtrl) text += u"Strg+";
  if (shortCut & scAlt) text += u"Alt+";
  return text + name;
}

QKeySequence ShortCutToKeySequence(TShortCut shortCut) {
  const auto key = static_cast<uint8_t>(shortCut & 0xFF);
  Qt::KeyboardModifiers modifiers;
  int qtKey = 0;
  if (IsDigitKey(key)) {
    qtKey = Qt::Key_0 + (key - '0');
  } else if (IsLetterKey(key)) {
    qtKey = Qt::Key_A + (key - 'A');
  } else if (IsPadDigitKey(key)) {
    qtKey = Qt::Key_0 + (key - vkNumpad0);
    modifiers |= Qt::KeypadModifier;
  } else if (IsFunctionKey(key)) {
    qtKey = Qt::Key_F1 + (key - vkF1);
  } else if (const KeyName* entry = FindKey(key)) {
    qtKey = entry->qtKey;
    if (entry->pad) modifiers |= Qt::KeypadModifier;
  }
  if (qtKey == 0) return {};
  if (shortCut & scShift) modifiers |= Qt::ShiftModifier;
  if (shortCut & scCtrl) modifiers |= Qt::ControlModifier;
  if (shortCut & scAlt) modifiers |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(qtKey)));
}

std::optional<char16_t> WideGetHotKey(std::u16string_view caption) {
  std::optional<char16_t> hotKey;
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    if (caption[i + 1] != u'&') hotKey = caption[i + 1];
    ++i;  // a doubled "&" is a plain "&"; the hot key itself is no marker
  }
  return hotKey;
}

std::u16string WideStripHotKey(std::u16string_view caption, bool farEast) {
  std::u16string out;
  out.reserve(caption.size());
  for (size_t i = 0; i < caption.size(); ++i) {
    if (farEast && IsHotKeyGroup(caption, i)) {
      i += 3;
    } else if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
    } else {
      out += caption[i];
    }
  }
  return out;
}

bool IsWideAccel(uint32_t key, std::u16string_view caption) {
  const std::optional<char16_t> hotKey = WideGetHotKey(caption);
  if (!hotKey) return false;
  const char16_t typed = textlib::KeyCharToWide(key);
  return textlib::WideSameText(std::u16string_view(&typed, 1), std::u16string_view(&*hotKey, 1));
}

void SyncHotKeyPosition(std::u16string_view source, std::u16string& target, bool farEast) {
  const std::string ansiSource = platform::WideToAnsi(source);
  if (ansiSource == platform::WideToAnsi(target)) return;
  if (platform::WideToAnsi(WideStripHotKey(source, farEast)) != platform::WideToAnsi(WideStripHotKey(target, farEast)))
    return;
  // The source is walked beside the target's plain characters: a marker of the source is
  // copied, every other character is taken from the target. A doubled "&" stands for the
  // one "&" the target keeps of it, so it is not inserted twice over.
  const std::u16string plain = WideStripHotKey(target, farEast);
  std::u16string synced;
  size_t j = 0;
  for (size_t i = 0; i < source.size();) {
    if (farEast && IsHotKeyGroup(source, i)) {
      synced += source.substr(i, 4);
      i += 4;
    } else if (source[i] == u'&' && i + 1 < source.size() && source[i + 1] == u'&') {
      synced += u"&&";
      i += 2;
      ++j;
    } else if (source[i] == u'&') {
      synced += u'&';
      ++i;
    } else {
      if (j < plain.size()) synced += plain[j];
      ++i;
      ++j;
    }
  }
  const std::string ansiSynced = platform::WideToAnsi(synced);
  if (ansiSynced != ansiSource)
    throw textlib::EUniInternalError(textlib::WideFormat(u"Internal Error: SyncHotKeyPosition Failed (\"%s\" <> \"%s\").",
                                                         {ansiSource, ansiSynced}));
  target = std::move(synced);
}

}  // namespace widgets
