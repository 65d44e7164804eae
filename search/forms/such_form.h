#pragma once
// The search window. This holds its frame and what the main window asks of it (fonts,
// colours, size, the suggestion list) and the local search run; browsing, the viewer and
// the web panel are its own handlers and come with them.
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/program_state.h"
#include "app/results/result_pages.h"
#include "search/engine/database_search.h"
#include "search/engine/in_document_search.h"
#include "search/engine/search_session.h"
#include "search/engine/title_positions.h"
#include "search/viewer/viewer_host.h"

namespace Ui {
class TSuchForm;
}
namespace widgets {
class TUniMemo;
}
namespace textlib {
class TMachPause;
}

namespace search {

class TWebPanel;

// 1-based position of sub in s searching from index `from`; 0 when absent, when either
// string is empty or when from lies outside 1 .. length(s).
int PosAb(std::string_view sub, std::string_view s, int from);
int WidePosAb(std::u16string_view sub, std::u16string_view s, int from);
// 1-based position of the last occurrence of sub in s, 0 when none.
int LetztePos(std::u16string_view sub, std::u16string_view s);
// 0-based line of the memo's selection start.
int MemoCaretZeile(const widgets::TUniMemo& memo);
// 64-bit size of a file (drive form), -1 when it is not there.
int64_t GetDateiGroesse(std::u16string_view path);
// The search entry's markup remnants ("Haus</b>" pasted from a page) cut off.
std::u16string MarkupResteEntfernen(std::u16string text);
// A path typed without its drive letter (":\Texte\brief.txt"): the base folder's drive
// when the file is there, else the last other drive (C never) that holds it, else the
// path below the base folder.
std::u16string PfadMitLaufwerkSuchen(std::u16string_view p, std::u16string_view baseFolder);
// Documents only: a file the desktop would run as a program is never handed to it.
bool IsExecutableFile(std::u16string_view drivePath);

// What a local search shows in the main window while it runs.
class SearchProgressView {
 public:
  virtual ~SearchProgressView() = default;
  // The stores are about to be searched: the status line says so and the busy dots run.
  virtual void SearchStarting() = 0;
  // The search is over: the busy dots stop.
  virtual void SearchStopped() = 0;
  // The window is ready again: the status line is emptied.
  virtual void SearchFinished() = 0;
};

class TSuchForm : public QDialog {
  Q_OBJECT
 public:
  TSuchForm(app::ProgramState& state, QWidget* parent = nullptr);
  ~TSuchForm() override;

  // Font size of the viewer and of its memo overlay.
  void SetViewerFontSize(int pointSize);
  int ViewerFontSize() const;
  // The panels and the tool bar take the main window's colour; the window and Panel2
  // the stored colour.
  void SetPanelColor(const QColor& color);
  void SetBackgroundColor(const QColor& color);
  void SetHintColor(const QColor& color);
  void SetMemoHintsShown(bool on);
  bool MemoHintsShown() const { return memoHints_; }
  // The last size event was a minimise: the main window then keeps the stored size.
  bool SearchWindowMinimized() const { return searchWindowMinimized_; }
  // Replaces the suggestion list by a history file (wide list, byte-order mark sniffed);
  // a missing or unreadable file leaves the list empty.
  void LoadSuggestions(std::u16string_view fileName);
  int SuggestionCount() const;

  // What the main window's list and hand-off need of this window.
  // Closes the viewer's document and empties the memo overlay.
  void CloseViewerDocument();
  // Label8 and Label2 emptied, "Sortierte Liste" disabled.
  void ResetBrowsingView();
  void ClearSuggestions();
  void SetSuggestionsColor(const QColor& color);
  void HideSuggestions();
  std::vector<std::u16string> Suggestions() const;
  void SetSuggestions(const std::vector<std::u16string>& lines);
  std::u16string SearchText() const;  // UniEdit2
  void SetSearchText(std::u16string_view text);
  void ClearInDocumentSearch();  // UniEdit1
  // The offset of the first line the viewer showed in its last line-mode draw.
  int64_t FirstShownOffset() const { return firstShownOffset_; }
  std::u16string PositionCaption() const;  // Label8
  void SetPositionCaption(std::u16string_view text);

  // "Lokale Suche": searches the current database for the entry's text and writes the
  // result pages. The window is accepted only when a search really ran, so a refused
  // text leaves it open and the main window records nothing in the history.
  void OKBtnClick();
  // During a run it asks the run to stop; otherwise it closes the window. Esc and the
  // close box come here too.
  void CancelBtnClick();
  void reject() override;
  bool SearchRunning() const { return engine_.SearchRunning; }
  const search::TDatabaseSearch& Engine() const { return engine_; }
  // Opens the first result page; the program sets the browser of its settings.
  std::function<void(const std::u16string&)> OpenResultPage;
  // The main window's part of a run; none in tests of this window alone.
  void SetProgressView(SearchProgressView* view) { progress_ = view; }

  // The kind of text the viewer shows (the browse buttons set one): it decodes the lines
  // the viewer mirrors into the memo and chooses the file and pattern of the search in
  // the document. The sorted-list-shown flag is the program's SortedListShown.
  bool DocKindAnsi = false, DocKindUtf8 = false, DocKindUnicode = false;
  std::optional<search::TInDocumentKind> InDocumentKind() const;

  // "Suchen": the first press collects every occurrence of UniEdit1's text in the shown
  // store or sorted list, each press selects the next one in the viewer and in the memo.
  // A press while a collection runs (it processes window messages) does nothing.
  void WeiterSucheClick();
  // Forgets the collected hits and stops a running collection (UniEdit1 changed, another
  // document shown).
  void ResetInDocumentSearch();
  bool InDocumentSearchRunning() const { return sammler_.Busy(); }
  search::TFundstellenSammler& InDocumentCollector() { return sammler_; }

  // The search entry changed. wholeText: the text was set at once (program, paste,
  // hand-over), not typed; only then is a "#X:\..." path recognised.
  void UniEdit2Change(bool wholeText);
  // The entry names a file ("#X:\..."): the boxes and the opening instead of a search.
  // false when the entry is no path entry.
  bool PfadEintragPruefen();
  // The markup-remnant rule on the search entry (not on a "#" path entry).
  void EntryMarkupEntfernen();
  bool PathOpened() const { return pathOpened_; }
  // The application was activated: a search text another program left in
  // "Datenbank\Suchtext.txt" below the control folder is taken over and the file deleted.
  void ApplicationActivate();
  void SpeedButton1Click();  // "?": the manual
  // Reads "Datenbank\Suchtext.txt" below the control folder into the program's
  // SearchHandoverText and deletes it; false when there is none or it cannot be read.
  bool TakeHandoverFile();
  // Whether the program that hands texts over runs; without a hook it is assumed to.
  // The web panel's lists follow the entry: enabled exactly when it holds text.
  std::function<void(bool)> WebListsEnabled;
  // The web panel's place in the left half.
  QWidget* WebPanelHost() const;
  // The web search: topic box, address list and "Suche im Internet".
  TWebPanel* WebPanel() const { return webPanel_; }
  // Opens a document with the desktop's handler; replaceable in tests.
  std::function<bool(const std::u16string&)> OpenDocument;
  // The first paint's settings and, on every showing, the buttons that follow the stores.
  void FormPaint();

  // Browsing the stores.
  enum class StoreKind { Ansi, Utf8, Mht };
  void LadenButtonClick(StoreKind kind);  // "ANSI-Text", "HTML - Liste", "MHT / EML - Liste"
  void ZeilenAlsListeSortierenClick();    // "Sortierte Liste"
  void LesezeichenBtnClick();
  // The position display (what Timer2 runs after a draw).
  void Timer2Timer();
  void TextInSuchleisteUebertragen();  // the memo's pop-up item
  // The memo overlay's double click: the word under the point (memo coordinates).
  void SelectMemoWordAt(QPoint at);
  void SelectMemoLineAt(QPoint at);
  // A search run ended: the browsed view comes back as it was.
  void ReopenBrowsedView();
  std::u16string DocumentCaption() const;  // Label2

  // The sorted-list builder: the settings window shows its controls, the button builds
  // the word and/or phrase lists of the current database chosen by the radio buttons.
  void ShowSortControls();
  void SortierteListenErstellenButtonClick();
  // Cancels a running build; without one it hides the builder's controls again.
  void SortAbbrechenButtonClick();
  bool SortRunning() const { return sortRunning_; }
  // The settings button; the program shows its settings window.
  std::function<void()> ShowSettings;

 protected:
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class PageHost : public app::ResultPageHost {
   public:
    explicit PageHost(TSuchForm& form) : form_(form) {}
    bool SearchCancelRequested() const override { return form_.state_.CancelRequested; }
    bool PathOpened() const override { return form_.pathOpened_; }
    void OpenInBrowser(const std::u16string& fileName) override {
      if (form_.OpenResultPage) form_.OpenResultPage(fileName);
    }

   private:
    TSuchForm& form_;
  };
  // The viewer's view of this window: the memo overlay, the flags and the search box.
  class ViewerHost : public search::TViewerHost {
   public:
    explicit ViewerHost(TSuchForm& form) : form_(form) {}
    bool QuietFlag() const override { return form_.session_.quietFlag; }
    search::TViewerDocKind DocKind() const override;
    void ClearMemo() override;
    void AppendMemoLine(const std::u16string& line, int viewerHeight) override;
    void MemoDrawn() override;
    void SetFirstShownOffset(int64_t offset) override { form_.firstShownOffset_ = offset; }
    void FitMemoWidth(bool withBar, int viewerWidth) override;
    void ShowMemoOverlay() override;
    void SetSearchBoxText(const std::u16string& text) override;

   private:
    TSuchForm& form_;
  };
  void SetSearchControlsEnabled(bool on);
  void OnEntryChanged();
  void SetEntry(const std::u16string& text);
  bool DocumentOeffnen(const std::u16string& path, StoreKind kind);
  void SetBuilderShown(bool on);
  class SortStatus;
  void SetSortRunning(bool running);
  // "Datenbank\<db>" below the base folder, the start of every file name of the database.
  std::u16string DbPrefix() const;
  // The browse buttons of the stores larger than these sizes.
  void EnableDocumentButtons(int64_t ansiAbove, int64_t utf8Above, int64_t mhtAbove);
  void ShowSuggestionList();
  void CopySearchTextToClipboard();
  void RestoreOverlaySelection(const std::u16string& line, int64_t start, int64_t length);
  // false when nothing is to be shown: the collection was refused, stopped, outdated by
  // an edit, or the window is gone (then nothing of it may be touched).
  bool CollectHits(const std::u16string& fileName, const std::u16string& text, search::TInDocumentKind kind);
  void SelectHitInMemo(const std::u16string& text);
  // Only the line modes mirror their lines into the memo.
  void ShowMemoOverlay();

  app::ProgramState& state_;
  std::unique_ptr<Ui::TSuchForm> ui;
  search::SearchSession session_;
  app::ResultPageState pages_;
  PageHost host_{*this};
  app::TResultPageWriter writer_{pages_, host_};
  search::TDatabaseSearch engine_{session_, writer_, pages_};
  SearchProgressView* progress_ = nullptr;
  bool memoHints_ = true;
  bool searchWindowMinimized_ = false;
  ViewerHost viewerHost_{*this};
  TWebPanel* webPanel_ = nullptr;  // a child of Panel2
  int64_t firstShownOffset_ = 0;

  // The search in the document.
  search::TFundstellenSammler sammler_;
  search::TFundstellen hits_;
  bool hitsCollected_ = false;
  std::u16string hitsFile_, hitsText_;
  search::TInDocumentKind hitsKind_ = search::TInDocumentKind::Ansi;
  uint64_t hitsGeneration_ = 0;  // counts resets, so a collection outdated meanwhile is dropped
  int64_t hitStart_ = -1, hitLength_ = 0;  // the hit selected last
  // The memo position after which the next hit is looked for while the view stays put.
  int64_t memoCaret_ = -1, memoCaretView_ = -1;

  // The frame.
  bool searchFirstPaint_ = true;
  bool pathOpened_ = false;
  bool entryChanging_ = false;
  bool entrySetByProgram_ = false;
  QPoint memoPressPoint_;
  QElapsedTimer memoDoubleClick_;
  // A path entry that arrived while the window was closed: checked once it shows.
  bool pathCheckPending_ = false;
  std::u16string lastEntry_;
  QTimer* timer2_ = nullptr;
  textlib::TMachPause* pause_ = nullptr;
  search::TTitlePositions titlePositions_;
  search::TitleKind titleKind_ = search::TitleKind::Utf8;
  bool sortListKindAnsi_ = false, sortListKindUtf8_ = false, sortListKindMht_ = false;
  std::u16string shownPath_;
  bool sortRunning_ = false;
};

}  // namespace search
