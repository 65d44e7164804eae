#include "extractor/program/gleaner_form.h"

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/process.h"
#include "platform/pump.h"
#include "textlib/unicode.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_memo.h"
#include "widgets/wide_control.h"

namespace extractor {
namespace {

QString ToQ(std::u16string_view text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }
std::u16string FromQ(const QString& text) { return text.toStdU16String(); }

// One process-wide monotonic clock: ticks are 64-bit milliseconds.
const QElapsedTimer& Clock() {
  static const QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock;
}

}  // namespace

GleanerArguments GleanerArguments::FromArgv(int argc, char** argv) {
  GleanerArguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string_view bytes(argv[i]);
    // Arguments are UTF-8; bytes that are not fall back to code page 1252.
    a.args.push_back(platform::PosixUtf8ToWide(bytes).value_or(platform::AnsiToWide(bytes)));
  }
  return a;
}

bool SendStartupNotice(const platform::WindowDirectory& directory, const GleanerArguments& arguments,
                       const std::optional<platform::WindowHandle>& predecessor) {
  if (!predecessor) return false;
  std::u16string text = arguments.args.empty() ? std::u16string() : arguments.args[0];
  std::erase(text, u'/');
  const int64_t wParam = text == u"restart" ? platform::kNoticeRestart : 0;
  return directory.PostMessage(*predecessor, platform::kNoticeMessage, wParam, 0);
}

TForm1::TForm1(GleanerArguments arguments, platform::WindowListener* listener, GleanerContext context,
               QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments)), listener_(listener), context_(std::move(context)) {
  Clock();
  setObjectName(QStringLiteral("Form1"));
  widgets::WideControlSetText(*this, kGleanerCaption);
  resize(835, 343);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(835 / 2, 343 / 2));
  }
  setFont(QFont(QStringLiteral("Tahoma"), 8));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  pnlAddressBar_ = new QWidget(central);
  pnlAddressBar_->setObjectName(QStringLiteral("pnlAddressBar"));
  pnlAddressBar_->setFixedHeight(30);
  auto* bar = new QHBoxLayout(pnlAddressBar_);
  bar->setContentsMargins(2, 2, 2, 2);
  const QFont wide(QStringLiteral("Arial Unicode MS"), 9);
  bitBtn1_ = new QPushButton(QStringLiteral("Abbrechen"), pnlAddressBar_);
  bitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
  bitBtn1_->setFont(wide);
  edUrl_ = new widgets::TUniEdit(pnlAddressBar_);
  edUrl_->setObjectName(QStringLiteral("edUrl"));
  edUrl_->setFont(wide);
  bar->addWidget(bitBtn1_);
  bar->addWidget(edUrl_, 1);
  layout->addWidget(pnlAddressBar_);
  // The page area shows the text of the page being extracted, as the user would read it.
  page_ = new QPlainTextEdit(central);
  page_->setObjectName(QStringLiteral("BrowserHost1"));
  page_->setReadOnly(true);
  page_->setFrameShape(QFrame::NoFrame);
  layout->addWidget(page_, 1);
  uniMemo1_ = new widgets::TUniMemo(central);
  uniMemo1_->setObjectName(QStringLiteral("UniMemo1"));
  uniMemo1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  uniMemo1_->hide();
  uniMemo2_ = new widgets::TUniMemo(central);
  uniMemo2_->setObjectName(QStringLiteral("UniMemo2"));
  uniMemo2_->setLineWrapMode(QPlainTextEdit::NoWrap);
  uniMemo2_->hide();
  setCentralWidget(central);
  statusBar1_ = new QStatusBar(this);
  statusBar1_->setObjectName(QStringLiteral("StatusBar1"));
  setStatusBar(statusBar1_);

  browser_ = std::make_unique<TBrowserHost>();
  browser_->setObjectName(QStringLiteral("BrowserHost1"));
  browser_->SetDownloadOptions({DownloadImages, DownloadVideos, DownloadBGSounds});
  browser_->SetUserInterfaceOptions({});
  browser_->ScriptErrorAction = TScriptErrorAction::eaCancel;
  browser_->VisualEffects().TextSize = 0;
  browser_->Loaded();
  browser_->OnAddressBar = [this](TBrowserControl&, bool shown) { pnlAddressBar_->setVisible(shown); };
  // New windows, navigations and downloads are neither refused nor acted on.
  browser_->OnNewWindow2 = [](TBrowserControl&, bool&) {};
  browser_->OnBeforeNavigate2 = [](TBrowserControl&, const std::u16string&, bool&) {};
  browser_->OnDownloadBegin = [](TBrowserControl&) {};
  job_ = std::make_unique<ExtractionJob>(*browser_, static_cast<JobHost&>(*this));

  startTimer_ = new QTimer(this);
  startTimer_->setObjectName(QStringLiteral("ExtrahierDenTextTimer"));
  startTimer_->setInterval(1000);
  connect(startTimer_, &QTimer::timeout, this, [this] { ExtrahierDenTextTimerTimer(); });
  popupTimer_ = new QTimer(this);
  popupTimer_->setObjectName(QStringLiteral("MachDieUnnoetigenFensterWeg"));
  popupTimer_->setInterval(1000);
  connect(popupTimer_, &QTimer::timeout, this, [this] { MachDieUnnoetigenFensterWegTimer(); });
  popupTimer_->start();
  zeitTimer_ = new QTimer(this);
  zeitTimer_->setObjectName(QStringLiteral("ZeitTimer"));
  zeitTimer_->setInterval(1000);
  connect(zeitTimer_, &QTimer::timeout, this, [this] { ZeitTimerTimer(); });
  zeitTimer_->start();
  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(1000);
  connect(bitBtn1_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

  if (listener_ && listener_->Valid()) {
    listener_->SetHandler([this](const platform::WindowMessage& m) { OnWindowMessage(m); });
    notifier_ = new QSocketNotifier(listener_->Fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { listener_->Dispatch(); });
  }
}

TForm1::~TForm1() = default;

std::u16string TForm1::RestartStateFolder() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return {};
  std::u16string base = platform::DrivePath(cwd.string()).value_or(u"");
  if (base.empty()) return {};
  if (base.back() != u'\\') base += u'\\';
  // The previous process starts its successor in the job's Temp folder, which it knows
  // from the store's path; "Datenbank\Temp\" below the folder is the form of a restart
  // started by hand in the base folder.
  if (std::filesystem::exists(cwd / "TempMHTlist.dat", ec)) return base;
  return base + u"Datenbank\\Temp\\";
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShow_) FormShow();
}

void TForm1::FormShow() {
  if (!firstShow_) return;
  firstShow_ = false;
  job_->SetStartTick(TickCount());
  if (!context_.refusal.empty()) {
    Refuse();
    return;
  }
  if (arguments_.Restarted()) {
    const std::u16string folder = RestartStateFolder();
    if (!folder.empty() && job_->StartRestarted(folder)) {
      startTimer_->start();
    } else if (context_.chain.InChain()) {
      // A process of a chain without a state to work on would keep the chain's lock,
      // and the main program waiting, for ever.
      Report(u"Gleaner: kein Zustand zum Weitermachen gefunden");
      exitCode_ = 1;
      jobOver_ = true;
      QTimer::singleShot(0, this, [this] { close(); });
    }
  } else if (arguments_.TwoPaths()) {
    job_->StartNew(arguments_.args[0], arguments_.args[1]);
    startTimer_->start();
  }
}

void TForm1::Refuse() {
  // Without a usable window folder no successor could reach this process: the chain
  // would break. The job is refused before anything is done, and the user is told.
  Report(u"Gleaner: " + context_.refusal);
  SetStatusText(context_.refusal);
  page_->setPlainText(ToQ(context_.refusal));
  exitCode_ = 1;
  if (arguments_.TwoPaths()) {
    const JobPaths paths = JobPaths::From(arguments_.args[0], arguments_.args[1]);
    WriteFileBytes(paths.ResultPath(),
                   platform::chain::ResultBytes({platform::chain::Outcome::Failed, context_.refusal}));
  }
  // In a chain the main program reports it; a window started by hand stays to be read.
  if (context_.chain.InChain()) {
    jobOver_ = true;
    QTimer::singleShot(0, this, [this] { close(); });
  }
}

void TForm1::ExtrahierDenTextTimerTimer() {
  startTimer_->stop();
  if (jobRunning_ || jobOver_) return;
  jobRunning_ = true;
  const JobEnd end = job_->ExtrahierDenText();
  jobRunning_ = false;
  jobOver_ = true;
  exitCode_ = end == JobEnd::Failed ? 1 : 0;
  if (end == JobEnd::Restarted) {
    // The successor has the job: this process ends at once, without store or log.
    QCoreApplication::exit(0);
    return;
  }
  close();
}

void TForm1::BitBtn1Click() {
  job_->RequestCancel();
  widgets::WideControlSetText(*this, kCancelCaption);
  if (!job_->HasJob()) close();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Closing the window during the job is a cancel: the job writes what it has and the
  // resume list, then closes the window itself.
  if (jobRunning_) {
    BitBtn1Click();
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::exit(exitCode_);
}

void TForm1::ZeitTimerTimer() { job_->ZeitTimerTimer(); }

void TForm1::MachDieUnnoetigenFensterWegTimer() {
  // Only windows of this process are looked at: no other program's window is touched.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == this || !w->isVisible()) continue;
    const std::u16string title = textlib::UnicodeUpperCase(FromQ(w->windowTitle()));
    if (title.find(u"WINDOWS WEB BROWSER") != std::u16string::npos || title.find(u"NETZWERKFEHLER") != std::u16string::npos ||
        title.find(u"WEB BROWSER:") != std::u16string::npos)
      w->close();
  }
}

void TForm1::OnWindowMessage(const platform::WindowMessage& message) {
  if (message.message == platform::kNoticeMessage && message.wParam == platform::kNoticeRestart) successorAnnounced_ = true;
}

void TForm1::ProcessMessages() { QCoreApplication::processEvents(); }

namespace {

// Serves the events that arrive within `milliseconds` and sleeps while none do. The timed
// processEvents overload returns at once when nothing is pending, so a loop over it spins.
void WaitForEvents(int64_t milliseconds) {
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(static_cast<int>(std::clamp<int64_t>(milliseconds, 0, INT32_MAX)));
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

void TForm1::Pause(int milliseconds, const std::function<bool()>& done) {
  const QDeadlineTimer deadline(milliseconds);
  while (!(done && done())) {
    const int64_t left = deadline.remainingTime();
    if (left <= 0) break;
    WaitForEvents(left);
  }
}

bool TForm1::Terminating() const { return QCoreApplication::closingDown(); }

void TForm1::SetStatusText(std::u16string_view text) {
  // The status bar is an 8-bit control: what the ANSI code page lacks shows as "?".
  statusBar1_->showMessage(ToQ(platform::AnsiToWide(platform::WideToAnsi(text))));
}
void TForm1::SetCaption(std::u16string_view text) { widgets::WideControlSetText(*this, text); }
void TForm1::SetAddress(std::u16string_view text) { edUrl_->SetText(text); }

void TForm1::ShowPage(std::u16string_view text) {
  // The beginning is what a window shows; the whole text of a large page would cost
  // more than its extraction.
  constexpr size_t kShown = 16 * 1024;
  page_->setPlainText(ToQ(text.substr(0, std::min(text.size(), kShown))));
}

void TForm1::Report(std::u16string_view line) {
  std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(line).c_str());
}

int64_t TForm1::TickCount() const { return Clock().elapsed(); }

bool TForm1::StartSuccessor(const JobPaths& paths) {
  const std::string program = platform::OwnExecutablePath();
  // The state is taken back when no successor gets it, so no later process finds it.
  const auto takeBack = [&] { return ClaimStateFile(paths.StatePath()).has_value(); };
  if (program.empty()) return !takeBack();
  successorAnnounced_ = false;
  platform::StartOptions options;
  options.workingDir = platform::PosixPath(paths.tempFolder);
  // The chain's locks go on to the successor, and its notice comes to this window alone.
  options.passFiles = context_.chain.files;
  if (!options.passFiles.empty())
    options.environment.emplace_back(platform::chain::kFilesVariable, platform::chain::FilesText(options.passFiles.size()));
  if (context_.self) options.environment.emplace_back(platform::chain::kPredecessorVariable, platform::chain::FormatHandle(context_.self));
  const platform::StartResult started = platform::StartProgram(program, {"restart"}, options);
  if (!started.Ok()) return !takeBack();
  // The successor has the job once it announces itself or once it has taken the state
  // file, whether it still runs or has already done its share and ended. One that ends
  // without taking it, or stays silent past the bound, leaves the job to this process.
  const std::string statePosix = platform::PosixPath(paths.StatePath());
  const QDeadlineTimer deadline(kSuccessorNoticeMs);
  while (true) {
    if (listener_) listener_->Dispatch();
    if (successorAnnounced_) return true;
    if (!platform::Stat(statePosix, false)) return true;
    const bool alive = platform::IsProcessAlive(started.pid);
    if (!alive || deadline.hasExpired()) {
      if (listener_) listener_->Dispatch();
      if (successorAnnounced_ || !takeBack()) return true;
      if (alive) {
        Report(u"Gleaner: der nächste Prozess hat sich nicht gemeldet; die Arbeit geht in diesem weiter");
        ::kill(static_cast<pid_t>(started.pid), SIGKILL);
      }
      return false;
    }
    WaitForEvents(50);
  }
}

}  // namespace extractor
