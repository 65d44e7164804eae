#pragma once
// The main window: the database list, the create, update and search buttons, the status
// lines and the timers that keep them current during long runs. Its create handler
// prepares the base folder and the settings, the first paint applies the settings to
// every window, and closing stores the window sizes and empties "Datenbank\Temp".
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/program_state.h"
#include "platform/window_directory.h"
#include "search/forms/such_form.h"
#include "textlib/widestrings.h"

class QMenu;
class QSocketNotifier;
class QTimer;

namespace textlib {
class TMachPause;
}
namespace app {
class IndexRun;
enum class BuildOutcome;
class IndexStatus;
}

namespace Ui {
class TMainForm_QY_HTML;
}

namespace app {

class TEinstellform;
class TOKBottomDlg;
using search::SearchProgressView;
using search::TSuchForm;

// The program-wide lists the main window owns (wide string lists; "sorted" ones ignore
// duplicates).
struct MainLists {
  textlib::TWideStringList DatLines;
  textlib::TWideStringList SelectedNames;  // sorted
  // Suggestion lists of the ANSI, UTF-8 and MHT store; sorted.
  textlib::TWideStringList SuggestionsAnsi, SuggestionsUtf8, SuggestionsMht;
  textlib::TWideStringList TitlePositions;
  MainLists();
};
// The letter-group buckets of the sorted word and phrase lists; sorted.
struct BucketLists {
  std::array<textlib::TWideStringList, 6> Buckets;
  BucketLists();
};

// The five extension slots of an extension field ("*.htm *.html"): ".ext" in lower case,
// "." for an empty slot; words after the fifth are ignored.
std::array<std::u16string, 5> ExtensionSlots(std::u16string_view field);

class TMainForm_QY_HTML : public QWidget, private SearchProgressView {
  Q_OBJECT
 public:
  // arguments: the command line, the program file first.
  TMainForm_QY_HTML(ProgramState& state, const QStringList& arguments, QWidget* parent = nullptr);
  ~TMainForm_QY_HTML() override;

  // The windows created after this one; the first paint reaches them.
  void SetForms(TOKBottomDlg* dialog, TEinstellform* settings, TSuchForm* search);

  Ui::TMainForm_QY_HTML& Form() { return *ui; }
  ProgramState& State() { return state_; }
  textlib::TMachPause& MachPause1() { return *pause_; }
  QTimer& GedultTimer() { return *gedultTimer_; }
  QTimer& Timer1() { return *timer1_; }
  QTimer& CheckDefenderTimer() { return *checkDefenderTimer_; }
  QTimer& UeberwachTimer() { return *ueberwachTimer_; }
  QTimer& CheckMHTAbbruchTimer() { return *checkMHTAbbruchTimer_; }
  QMenu* PopupMenu1() const { return popup_; }
  const QPixmap& ListGlyph() const { return listGlyph_; }
  MainLists* Lists() { return lists_.get(); }
  BucketLists* Buckets() { return buckets_.get(); }
  bool FirstPaint() const { return firstPaint_; }
  const platform::WindowHandle& WindowHandle() const { return windowHandle_; }
  // This process's registration in the window directory; null when it could not be set up.
  platform::WindowListener* Listener() const { return listener_ && listener_->Valid() ? listener_.get() : nullptr; }
  std::vector<std::u16string> DatabaseNames() const;

  // The virus-scanner notice starts with a selection run.
  void StartVirusScannerNotice();
  // The process whose running shows the notice ("MSMPENG.exe").
  void SetVirusScannerName(std::u16string name) { virusScannerName_ = std::move(name); }
  int DefenderTicks() const { return defenderTicks_; }
  int BusyDotCount() const { return busyDotCount_; }

  static bool IsProcessRunning(std::u16string_view name);
  // Starts this program again with "restart" in the base folder.
  void ProgrammNeuStarten();
  // Monotonic milliseconds, 64-bit.
  static int64_t TickCount();
  // The clock of the build's count/time line and of the run; tests set one of their own.
  std::function<int64_t()> Ticks = &TickCount;
  // Seconds from one tick count to another as the count/time line shows them: each
  // tick's whole seconds (floored, so a tick before the clock's zero counts right too)
  // minus the other's.
  static int64_t ElapsedSeconds(int64_t startTick, int64_t nowTick);

  // Restores the stored selection of the database list (first paint, step 9).
  void RestoreSelection();

  // Shows the search window modally; true when it closed with OK. Tests replace it so
  // nothing blocks.
  std::function<bool(TSuchForm&)> ShowSearchWindow;
  // Shows the new-database dialog modally; true when it closed with OK.
  std::function<bool(TOKBottomDlg&)> ShowNewDatabaseDialog;
  // Whether the file-list builder is still at work: its process runs. Tests replace it.
  std::function<bool()> ManifesterWindowSeen;
  // The file-list builder that is started: "<folder>Manifester".
  std::u16string ManifesterFile() const;
  int64_t WatchTicks() const { return watchTicks_; }
  // The selection colour of the list entries: the window colour 7 % darker.
  QColor SelectedEntryColor() const;

 public slots:
  void FormPaint();
  void GedultTimerTimer();
  void Timer1Timer();
  void checkDefenderTimerTimer();
  void Timer2Timer();
  void SpeedButton1Click();
  void SpeedButton2Click();

  // Create and update driver; filled in with the driver.
  void NeuErstellenBtnClick();
  void aktualisieren1Click();
  void ErneutIndiziereBtnClick();
  void UeberwachTimerTimer();
  void CheckMHTAbbruchTimerTimer();
  void BitBtn2Click();
  // Database list, search hand-off and deletion; filled in with the list handlers.
  void LiesNamenDatenbanken();
  void ListBox1Click();
  void SuchenBtnClick();
  void Datenbankloeschen1Click();
  void NurdieAnsiUtf8Unicodetxtlschen1Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate(const QStringList& arguments);
  void FirstPaintOnce();
  void FormClose();
  void CreateWorkFolder(std::u16string_view folder);
  void ApplicationEvents1Message(const platform::WindowMessage& message);
  void UpdateSearchButtonFont();
  // Steps after a build: end texts, list, buttons.
  void FinishBuild(std::u16string_view resumeText);
  void RunBuild();
  // How the last build run ended.
  BuildOutcome buildOutcome_{};
  void SetActionButtons(bool enabled);
  int64_t FinishedArchiveCount() const;
  void PlaceGeduldLabel();
  void SearchStarting() override;
  void SearchStopped() override;
  void SearchFinished() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  std::u16string DbFolder() const { return state_.BaseFolder + u"Datenbank\\"; }
  std::u16string HistoryFolder() const { return DbFolder() + u"Suchwoerterlisten\\"; }
  void PlaceToolBar();

  ProgramState& state_;
  std::unique_ptr<Ui::TMainForm_QY_HTML> ui;
  TOKBottomDlg* dialog_ = nullptr;
  TEinstellform* settings_ = nullptr;
  TSuchForm* search_ = nullptr;

  std::unique_ptr<MainLists> lists_;
  std::unique_ptr<BucketLists> buckets_;
  QPixmap listGlyph_;
  QMenu* popup_ = nullptr;

  QTimer* gedultTimer_ = nullptr;
  QTimer* timer1_ = nullptr;
  QTimer* checkDefenderTimer_ = nullptr;
  QTimer* timer2_ = nullptr;
  QTimer* ueberwachTimer_ = nullptr;
  QTimer* checkMHTAbbruchTimer_ = nullptr;
  textlib::TMachPause* pause_ = nullptr;

  std::unique_ptr<platform::WindowListener> listener_;
  QSocketNotifier* notifier_ = nullptr;
  platform::WindowHandle windowHandle_;

  std::unique_ptr<IndexStatus> status_;
  std::unique_ptr<IndexRun> run_;
  bool updating_ = false;
  bool resumeAnswer_ = false;
  bool windowSeen_ = false, listDone_ = false;
  int64_t watchTicks_ = 0;
  int64_t manifesterPid_ = 0;
  char16_t driveLetter_ = u'C';

  bool firstPaint_ = true;
  bool closeConfirmed_ = false;
  bool closed_ = false;
  int busyDotCount_ = 0;
  int defenderTicks_ = 0;
  std::u16string virusScannerName_ = u"MSMPENG.exe";
};

}  // namespace app
