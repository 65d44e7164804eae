#pragma once
// The state that the search window shares with its stream search and the title-position
// builder while it drives the hidden document: the two check boxes, the marker and the
// text that find-next alternates between, and the quiet flag.
#include <functional>
#include <string>

#include "app/settings/program_state.h"
#include "search/engine/stream_search.h"

namespace search {

class SearchSession : public FindNextSource {
 public:
  SearchSession() = default;
  SearchSession(const SearchSession&) = delete;
  SearchSession& operator=(const SearchSession&) = delete;

  bool GrossKleinBeachten() const override { return grossKleinBeachten; }
  bool NurGanzeWoerter() const override { return nurGanzeWoerter; }
  const std::u16string& CurrentSearchText() const override { return currentSearchText; }
  const std::u16string& Dokumentmarke() const override { return dokumentmarke; }
  bool QuietFlag() const override { return quietFlag; }

  // The window's check boxes (chkUnicodeBE: UTF-16 stores read big endian).
  bool grossKleinBeachten = false;
  bool nurGanzeWoerter = false;
  bool chkUnicodeBE = false;
  // The browsed-store and no-hit flags: the search window points this at the program's
  // own, so that the run writes where the history hand-off reads; alone, a session keeps
  // its own.
  app::SearchFlags ownFlags;
  app::SearchFlags* flags = &ownFlags;

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
