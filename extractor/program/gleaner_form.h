#pragma once
// The program Gleaner around its extraction job: the main window TForm1 with the cancel
// button, the address line and the status bar, the start timer, the elapsed-time timer and
// the pop-up closer, the command line (two paths, or "restart"), and the hand-over of the
// job to the next process. The window is registered in the window directory as an
// extractor window, so the main program and the next process find exactly this kind.
#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "extractor/browser/browser_host.h"
#include "extractor/job/extraction_job.h"
#include "platform/job_chain.h"
#include "platform/window_directory.h"

class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QSocketNotifier;

namespace widgets {
class TUniEdit;
class TUniMemo;
}

namespace extractor {

inline constexpr char16_t kGleanerCaption[] = u"Gleaner - Extrahiert Text von MHT/EML-Dateien";
inline constexpr char16_t kCancelCaption[] = u"Abbruch durch Benutzer! Bitte Geduld, Programm Gleaner wird beendet!";
// How long a process waits for its successor's start-up notice before it ends anyway.
inline constexpr int kSuccessorNoticeMs = 30000;

// The command line as the program reads it (UTF-8 arguments, one path each).
struct GleanerArguments {
  std::vector<std::u16string> args;
  static GleanerArguments FromArgv(int argc, char** argv);
  bool TwoPaths() const { return args.size() == 2; }
  bool Restarted() const { return args.size() == 1; }
};

// The start-up notice: message 5735 to the window of the process that started this one
// (and to no other: an idle extractor window or another job's never hears it), with 99
// when the first argument without its "/" is exactly "restart", else 0. A process
// without a predecessor sends none. true when posted.
bool SendStartupNotice(const platform::WindowDirectory& directory, const GleanerArguments& arguments,
                       const std::optional<platform::WindowHandle>& predecessor);

// What a process of a chain has beside its command line: the locks it passes on, its own
// window (the successor's addressee), and why it may not work at all.
struct GleanerContext {
  platform::chain::Inheritance chain;
  platform::WindowHandle self;
  std::u16string refusal;  // not empty: the window folder cannot be used; no job runs
};

class TForm1 : public QMainWindow, private JobHost {
 public:
  // listener: this process's registration (nullptr: none, then no notice can reach it).
  TForm1(GleanerArguments arguments, platform::WindowListener* listener, GleanerContext context = {},
         QWidget* parent = nullptr);
  ~TForm1() override;

  // Status of the process when the event loop has ended: 0, or 1 after a failed job.
  int ExitCode() const { return exitCode_; }
  ExtractionJob& Job() { return *job_; }
  TBrowserHost& BrowserHost1() { return *browser_; }
  QPushButton* BitBtn1() const { return bitBtn1_; }
  QTimer* ExtrahierDenTextTimer() const { return startTimer_; }
  // The folder whose "TempMHTlist.dat" a restarted process reads (drive form).
  static std::u16string RestartStateFolder();
  QPlainTextEdit* PageView() const { return page_; }

  // Handlers.
  void FormShow();
  void ExtrahierDenTextTimerTimer();
  void BitBtn1Click();
  void ZeitTimerTimer();
  void MachDieUnnoetigenFensterWegTimer();
  void OnWindowMessage(const platform::WindowMessage& message);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // JobHost
  void ProcessMessages() override;
  void Pause(int milliseconds, const std::function<bool()>& done) override;
  bool Terminating() const override;
  void SetStatusText(std::u16string_view text) override;
  void SetCaption(std::u16string_view text) override;
  void SetAddress(std::u16string_view text) override;
  void ShowPage(std::u16string_view text) override;
  void Report(std::u16string_view line) override;
  int64_t TickCount() const override;
  bool StartSuccessor(const JobPaths& paths) override;

  void Refuse();
  GleanerArguments arguments_;
  platform::WindowListener* listener_;
  GleanerContext context_;
  std::unique_ptr<TBrowserHost> browser_;
  std::unique_ptr<ExtractionJob> job_;
  QWidget* pnlAddressBar_ = nullptr;
  QPushButton* bitBtn1_ = nullptr;
  widgets::TUniEdit* edUrl_ = nullptr;
  QPlainTextEdit* page_ = nullptr;
  QStatusBar* statusBar1_ = nullptr;
  widgets::TUniMemo* uniMemo1_ = nullptr;
  widgets::TUniMemo* uniMemo2_ = nullptr;
  QTimer* startTimer_ = nullptr;
  QTimer* popupTimer_ = nullptr;
  QTimer* zeitTimer_ = nullptr;
  QTimer* timer1_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
  bool firstShow_ = true;
  bool jobRunning_ = false;
  bool jobOver_ = false;
  bool successorAnnounced_ = false;
  int exitCode_ = 0;
};

}  // namespace extractor
