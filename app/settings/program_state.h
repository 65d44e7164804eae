#pragma once
// The state the main program's windows share: settings read at start, the database
// list's selection, and the run flags of building and searching. The program owns one
// ProgramState and hands it to every form, so no form reaches into another form's widgets
// for them; what one window needs of another's widgets goes through small methods of
// that window.
#include <cstdint>
#include <string>

namespace app {

// Which store the browsed view shows, and whether the last search found something there:
// the search window sets the first, the search run the second, and the main window's
// history hand-off reads both - all from this one copy.
struct SearchFlags {
  bool BrowsedKindAnsi = false, BrowsedKindUtf8 = false, BrowsedKindMht = false;
  bool NoHitAnsi = true, NoHitUtf8 = true, NoHitMht = true;  // no hit in that store yet
  bool NoHits = false;  // the last search produced no hit entry
};

struct ProgramState : SearchFlags {
  // Drive form, always ends with "\".
  std::u16string BaseFolder;
  // The settings value Quarry_Control, with a trailing "\" like BaseFolder.
  std::u16string ControlFolder;
  // ControlFolder is set and occurs in BaseFolder (ignoring case).
  bool UseControlFolder = false;
  std::string AddressFilePath;  // 8-bit: BaseFolder + "Adressen_Webseiten.txt"
  char16_t BaseDriveLetter = u'C';
  int DefaultWidth = 900;
  int MainHeight = 506, MainWidth = 900, SearchHeight = 500, SearchWidth = 900;
  std::string BackgroundColorName, HintColorName, BrowserSetting;
  bool IsAdmin = false;

  // Selection state of the database list.
  std::u16string HistoryName, CurrentDbName;
  int ClickedIndex = 0, SearchedIndex = 0;

  // Run state of a create or update.
  bool IndexRunning = false;
  bool UpdateMode = false;
  bool PathListOnly = false;
  bool BuildMasterList = false;
  bool CancelRequested = false;
  int64_t IndexedFileCount = 0;
  int64_t IndexStartTick = 0;  // 64-bit monotonic milliseconds
  std::u16string SearchHandoverText;

  // A search started from the main window is under way.
  bool Searching = false;
  // State of the search window that the main window's hand-off reads or resets.
  bool ViewerWasOpen = false;
  bool MemoFilled = false;  // the memo overlay holds viewer text
  bool SortedListShown = false;
  std::u16string ViewCaptionPrefix;
  bool SuggestionsLoadedAnsi = false, SuggestionsLoadedUtf8 = false, SuggestionsLoadedMht = false;
  int64_t BookmarkPos = 0;
};

}  // namespace app
