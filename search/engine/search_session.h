#pragma once
// The state that the search window shares with its stream search and the title-position
// builder while it drives the hidden document: the two check boxes, the marker and the
// text that find-next alternates between, and the quiet flag.
#include <functional>
#include <string>

#include "search/engine/stream_search.h"

namespace search {

class SearchSession : public FindNextSource {
 public:
  bool GrossKleinBeachten() const override { return grossKleinBeachten; }
  bool NurGanzeWoerter() const override { return nurGanzeWoerter; }
  const std::u16string& CurrentSearchText() const override { return currentSearchText; }
  const std::u16string& Dokumentmarke() const override { return dokumentmarke; }
  bool QuietFlag() const override { return quietFlag; }

  // The window's check boxes (chkUnicodeBE: UTF-16 stores read big endian).
  bool grossKleinBeachten = false;
  bool nurGanzeWoerter = false;
  bool chkUnicodeBE = false;
  // The browsed view shows the UTF-8 / MHT store.
  bool browsedKindUtf8 = false;
  bool browsedKindMht = false;

  std::u16string currentSearchText;
  // "#" + drive letter of the database root + ":\".
  std::u16string dokumentmarke;
  bool quietFlag = false;

  // The main window's caption while title positions are built; optional.
  std::function<void(const std::u16string&)> setMainCaption;
  // Called once a search run has prepared its stores and is about to search them, so the
  // windows can say so; optional.
  std::function<void()> storesStarting;
};

}  // namespace search
