// The whole extraction job over a list of archives, in one process and without the
// program's timers: the job engine, the browser host and the store files exactly as in
// Gleaner, with a host whose waits end as soon as the page is complete. A hand-over to a
// successor process is played in this process (a fresh browser and job resume from the
// saved state), so the files of every restart are written and read as in the real chain.
//
// usage: bench_job --work DIR --list FILE [--timing FILE] [--no-chain]
//   --list    the archives, one POSIX path a line
//   --work    the base folder; Datenbank/ below it is emptied first
//   --timing  appends each archive's seconds (from its navigation to the next one's)
//   --no-chain  no successor ever starts: one job object goes on through every hand-over
// Prints one line: seconds (of them the join of the chunks), archives, processes played,
// store bytes, waits, wait cycles beyond the first, reported lines.
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "extractor/browser/browser_host.h"
#include "extractor/job/extraction_job.h"
#include "platform/codepage.h"
#include "platform/drives.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchHost : public extractor::JobHost {
 public:
  bool chain = true;
  bool handedOver = false;
  int64_t waits = 0;
  int64_t extraCycles = 0;  // pauses that were not the first of their archive
  int64_t reports = 0;
  std::vector<double> seconds;

  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Pause(int milliseconds, const std::function<bool()>& done) override {
    if (inArchive_) ++extraCycles;
    inArchive_ = true;
    ++waits;
    const QDeadlineTimer deadline(milliseconds);
    while (!(done && done()) && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                      static_cast<int>(deadline.remainingTime()));
  }
  void SetAddress(std::u16string_view) override {
    const Clock::time_point now = Clock::now();
    if (started_) seconds.push_back(std::chrono::duration<double>(now - last_).count());
    started_ = true;
    last_ = now;
    inArchive_ = false;
  }
  void SetStatusText(std::u16string_view text) override {
    // The join of the chunks into the store is the job's, but no archive's.
    if (text.starts_with(u"Aufgeteilte Dateien werden")) {
      Finish();
      joinStart_ = Clock::now();
      joining_ = true;
    }
  }
  double JoinSeconds() const { return joining_ ? std::chrono::duration<double>(Clock::now() - joinStart_).count() : 0; }
  void Finish() {
    if (started_) seconds.push_back(std::chrono::duration<double>(Clock::now() - last_).count());
    started_ = false;
  }
  void Report(std::u16string_view line) override {
    ++reports;
    if (reports <= 5) std::fprintf(stderr, "%s\n", platform::WideToPosixUtf8(line).c_str());
  }
  int64_t TickCount() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  }
  bool StartSuccessor(const extractor::JobPaths&) override {
    handedOver = chain;
    return chain;
  }

 private:
  bool started_ = false;
  bool inArchive_ = false;
  bool joining_ = false;
  Clock::time_point last_;
  Clock::time_point joinStart_;
};

// A browser set up as Gleaner's form sets up its own.
std::unique_ptr<extractor::TBrowserHost> NewBrowser() {
  auto browser = std::make_unique<extractor::TBrowserHost>();
  browser->SetDownloadOptions({extractor::DownloadImages, extractor::DownloadVideos, extractor::DownloadBGSounds});
  browser->ScriptErrorAction = extractor::TScriptErrorAction::eaCancel;
  browser->Loaded();
  return browser;
}

int Usage() {
  std::fprintf(stderr, "usage: bench_job --work DIR --list FILE [--timing FILE] [--no-chain]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work, listFile, timingFile;
  bool chain = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--no-chain") {
      chain = false;
    } else if (i + 1 < argc && (a == "--work" || a == "--list" || a == "--timing")) {
      (a == "--work" ? work : a == "--list" ? listFile : timingFile) = argv[++i];
    } else {
      return Usage();
    }
  }
  if (work.empty() || listFile.empty()) return Usage();
  QCoreApplication app(argc, argv);

  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path base = fs::absolute(work, ec).lexically_normal();
  fs::remove_all(base / "Datenbank", ec);
  fs::create_directories(base / "Datenbank" / "Temp", ec);
  if (ec) {
    std::fprintf(stderr, "bench_job: cannot create %s/Datenbank/Temp\n", base.c_str());
    return 1;
  }
  const std::optional<std::u16string> baseDrive = platform::DrivePath(base.string());
  if (!baseDrive) {
    std::fprintf(stderr, "bench_job: %s lies on no mapped drive\n", base.c_str());
    return 1;
  }
  std::u16string db = *baseDrive;
  if (db.back() != u'\\') db += u'\\';
  db += u"Datenbank\\";

  // The job list as the main program writes it: drive-form paths, UTF-8, CR LF.
  std::ifstream in(listFile);
  std::string line, listBytes;
  int64_t archives = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::optional<std::u16string> drive = platform::DrivePath(fs::absolute(line, ec).string());
    if (!drive) {
      std::fprintf(stderr, "bench_job: %s lies on no mapped drive\n", line.c_str());
      return 1;
    }
    listBytes += platform::WideToPosixUtf8(*drive) + "\r\n";
    ++archives;
  }
  const std::u16string listPath = db + u"Temp\\bench_mht.dat";
  const std::u16string storePath = db + u"bench_MHTtext.txt";
  if (!extractor::WriteFileBytes(listPath, listBytes)) {
    std::fprintf(stderr, "bench_job: cannot write the job list\n");
    return 1;
  }

  BenchHost host;
  host.chain = chain;
  const Clock::time_point start = Clock::now();
  auto browser = NewBrowser();
  auto job = std::make_unique<extractor::ExtractionJob>(*browser, host);
  job->StartNew(listPath, storePath);
  job->SetStartTick(host.TickCount());
  extractor::JobEnd end = job->ExtrahierDenText();
  int64_t processes = 1;
  while (end == extractor::JobEnd::Restarted) {
    // The successor: a new browser and job that find everything in the saved state.
    const std::u16string tempFolder = job->Paths().tempFolder;
    job.reset();
    browser = NewBrowser();
    job = std::make_unique<extractor::ExtractionJob>(*browser, host);
    if (!job->StartRestarted(tempFolder)) {
      std::fprintf(stderr, "bench_job: the restart state cannot be read\n");
      return 1;
    }
    job->SetStartTick(host.TickCount());
    ++processes;
    end = job->ExtrahierDenText();
  }
  host.Finish();
  const double joinSeconds = host.JoinSeconds();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (end != extractor::JobEnd::Finished) {
    std::fprintf(stderr, "bench_job: the job did not finish: %s\n", platform::WideToPosixUtf8(job->FailureText()).c_str());
    return 1;
  }
  const uintmax_t storeBytes = fs::file_size(platform::PosixPath(storePath), ec);
  if (ec) {
    std::fprintf(stderr, "bench_job: no store\n");
    return 1;
  }
  if (!timingFile.empty()) {
    std::FILE* timing = std::fopen(timingFile.c_str(), "w");
    if (timing == nullptr) return 1;
    for (double s : host.seconds) std::fprintf(timing, "%.9f\n", s);
    if (std::fclose(timing) != 0) return 1;
  }
  std::printf("seconds %.6f join %.6f archives %lld processes %lld store %llu waits %lld extra_cycles %lld reports %lld\n",
              seconds, joinSeconds,
              static_cast<long long>(archives), static_cast<long long>(processes),
              static_cast<unsigned long long>(storeBytes), static_cast<long long>(host.waits),
              static_cast<long long>(host.extraCycles), static_cast<long long>(host.reports));
  return 0;
}
