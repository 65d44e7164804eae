#include "search/viewer/viewer_menus.h"

#include <QAction>
#include <QMenu>

namespace search {

namespace {
constexpr int kGroupGreek = 5;
constexpr int kGroupEbcdic = 12;
}  // namespace

std::vector<TEncodingMenuEntry> EightBitEncodingMenu() {
  std::vector<TEncodingMenuEntry> entries;
  int group = -1;
  for (int i = 0; i < kViewerEncodingCount; ++i) {
    const auto encoding = static_cast<TViewerEncoding>(i);
    if (EncodingCharSize(encoding) != 1) continue;
    const int g = kViewerEncodings[i].group;
    if (group >= 0 && g != group) {
      const bool column = g == kGroupGreek || g == kGroupEbcdic;
      entries.push_back({column ? TEncodingMenuEntry::ColumnBreak : TEncodingMenuEntry::Separator, encoding});
    }
    group = g;
    entries.push_back({TEncodingMenuEntry::Item, encoding});
  }
  return entries;
}

void FillEightBitEncodingMenu(QMenu& menu) {
  for (const TEncodingMenuEntry& e : EightBitEncodingMenu()) {
    if (e.kind != TEncodingMenuEntry::Item) {
      QAction* separator = menu.addSeparator();
      separator->setProperty(kColumnBreakProperty, e.kind == TEncodingMenuEntry::ColumnBreak);
      continue;
    }
    QAction* item = menu.addAction(QString::fromStdString(EncodingDisplayName(e.encoding)));
    item->setData(static_cast<int>(e.encoding));
    item->setCheckable(true);
  }
}

void FillUnicodeEncodingMenu(QMenu& menu) {
  int order = 0;
  for (const char16_t* text : {kMenuUtf16LE, kMenuUtf16BE}) {
    QAction* item = menu.addAction(QString::fromUtf16(text));
    item->setData(order++);
    item->setCheckable(true);
  }
}

}  // namespace search
