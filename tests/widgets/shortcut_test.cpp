#include "widgets/wide_shortcut.h"

#include <gtest/gtest.h>

#include "textlib/wide/wide.h"

namespace widgets {
namespace {

TEST(WideShortCut, GermanTexts) {
  struct Case {
    TShortCut shortCut;
    std::u16string text;
  } cases[] = {
      {ShortCut('A', scCtrl), u"Strg+A"},
      {ShortCut(vkF1 + 4, scCtrl), u"Strg+F5"},
      {ShortCut(vkF24), u"F24"},
      {ShortCut('S', scShift | scCtrl | scAlt), u"Umsch+Strg+Alt+S"},
      {ShortCut(vkReturn, scAlt), u"Alt+Eingabe"},
      {ShortCut(vkDelete, scShift), u"Umsch+Entf"},
      {ShortCut(vkBack), u"Rück"},
      {ShortCut(vkPrior), u"Bild auf"},
      {ShortCut(vkHome), u"Pos1"},
      {ShortCut(vkInsert), u"Einfg"},
      {ShortCut(vkNumpad0 + 7, scCtrl), u"Strg+7"},
      {ShortCut('0'), u"0"},
      {ShortCut(192, scCtrl), u"Strg+Ö"},
      {ShortCut(107), u"Num +"},
      {ShortCut(0xFF, scCtrl), u""},  // a key without a name gives no text, not "Strg+"
      {scNone, u""},
  };
  for (const auto& c : cases) EXPECT_EQ(WideShortCutToText(c.shortCut), c.text) << c.shortCut;
}

TEST(WideShortCut, QtSequences) {
  struct Case {
    TShortCut shortCut;
    QKeySequence sequence;
  } cases[] = {
      {ShortCut('A', scCtrl), QKeySequence(Qt::CTRL | Qt::Key_A)},
      {ShortCut(vkF1 + 4, scCtrl | scShift), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)},
      {ShortCut(vkReturn, scAlt), QKeySequence(Qt::ALT | Qt::Key_Return)},
      {ShortCut(vkNumpad0 + 3), QKeySequence(Qt::KeypadModifier | Qt::Key_3)},
      {ShortCut(vkDelete), QKeySequence(Qt::Key_Delete)},
      {ShortCut(0xFF, scCtrl), QKeySequence()},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortCutToKeySequence(c.shortCut), c.sequence) << c.shortCut;
}

TEST(WideHotKey, AcceleratorTable) {
  struct Case {
    std::u16string caption;
    uint32_t key;
    bool accel;
  } cases[] = {
      {u"&Datei", 'd', true},
      {u"&Datei", 'D', true},
      {u"&Datei", 'a', false},
      {u"Ö&ffnen", 'F', true},
      {u"&Öffnen", 0xD6, true},   // a byte of the keyboard's code page (1252: Ö)
      {u"&Öffnen", 0xF6, true},   // ö, ignoring case
      {u"&Ωmega", 0x3C9, true},  // ω typed as a character
      {u"Drag && Drop", 'D', false},
      {u"A&&B&C", 'c', true},
      {u"&A &B", 'a', false},  // the last marker counts
      {u"Ende&", 'e', false},
      {u"ohne", 'o', false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsWideAccel(c.key, c.caption), c.accel) << testing::PrintToString(c.caption) << " " << c.key;
  EXPECT_EQ(WideGetHotKey(u"&&&x"), std::optional<char16_t>(u'x'));
  EXPECT_EQ(WideGetHotKey(u"a&&b"), std::nullopt);
}

TEST(WideHotKey, Strip) {
  struct Case {
    std::u16string caption;
    bool farEast;
    std::u16string stripped;
  } cases[] = {
      {u"&Datei", false, u"Datei"},
      {u"Drag && &Drop", false, u"Drag & Drop"},
      {u"Ende&", false, u"Ende"},
      {u"ファイル(&F)", true, u"ファイル"},
      {u"ファイル(&F)", false, u"ファイル(F)"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideStripHotKey(c.caption, c.farEast), c.stripped);
}

TEST(WideHotKey, SyncMovesTheMarkersAndKeepsWideCharacters) {
  struct Case {
    std::u16string source, target, synced;
    bool farEast = false;
  } cases[] = {
      // An ANSI caption whose "&" moved behind the wide caption's back.
      {u"Ü&ber ?mega", u"&Über Ωmega", u"Ü&ber Ωmega"},
      {u"&?mega", u"Ω&mega", u"&Ωmega"},
      // A doubled "&" stays one doubled "&", not two.
      {u"A && ?&nd", u"&A && Ωnd", u"A && Ω&nd"},
      {u"Ende&", u"&Ende", u"Ende&"},
      {u"?\?\?\?(&F)", u"ファイル(&X)", u"ファイル(&F)", true},
      // Nothing to do: equal ANSI forms, or texts that differ beyond their markers.
      {u"&?ber", u"&Über", u"&Über"},
      {u"&Anders", u"Ö&ffnen", u"Ö&ffnen"},
  };
  for (const auto& c : cases) {
    std::u16string target = c.target;
    SyncHotKeyPosition(c.source, target, c.farEast);
    EXPECT_EQ(target, c.synced) << testing::PrintToString(c.source);
  }
}

}  // namespace
}  // namespace widgets
