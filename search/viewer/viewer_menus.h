#pragma once
// The viewer's pop-up menu and its encoding chooser. The encoding menu lists every 8-bit
// encoding grouped as the encoding table groups them (71 items), or the two UTF-16 byte
// orders in the Unicode modes.
#include <QString>
#include <vector>

#include "search/engine/viewer_encoding.h"

class QMenu;
class QAction;

namespace search {

inline constexpr char16_t kMenuCopyToSearchBox[] = u"Text in Suchleiste links übertragen";
inline constexpr char16_t kMenuEncoding[] = u"Encoding...";
inline constexpr char16_t kMenuUtf16LE[] = u"UTF-16 LE";
inline constexpr char16_t kMenuUtf16BE[] = u"UTF-16 BE";

// One entry of the encoding menu.
struct TEncodingMenuEntry {
  enum Kind { Item, Separator, ColumnBreak } kind = Item;
  TViewerEncoding encoding = vEncANSI;
};

// The 8-bit menu: a separator before each new group, a column break before Greek and
// IBM EBCDIC (three columns), no UTF-16 rows.
std::vector<TEncodingMenuEntry> EightBitEncodingMenu();

// Qt has no column break in a menu: a column start is a separator action that carries the
// property "columnBreak" (true).
inline constexpr char kColumnBreakProperty[] = "columnBreak";
// The action's data is the encoding (8-bit menu) or 0 / 1 for little / big endian.
void FillEightBitEncodingMenu(QMenu& menu);
void FillUnicodeEncodingMenu(QMenu& menu);

}  // namespace search
