#pragma once
// The extraction job of Gleaner: shows each web archive or mail of the job list in the
// browser host, takes the text the page shows and writes one block per archive into the
// MHT store <db>_MHTtext.txt, then the log <db>_MHT.log. Text is written out in chunk files
// every 100,000 units and the process hands the job to a fresh one after 20 archives; a
// cancel leaves the store so far and a resume list. The window and the process around the
// job are reached only through JobHost, so the job runs the same in Gleaner and in tests.
//
// Every file the job writes is written under a temporary name and renamed when complete,
// and the job list keeps the bytes of each line: a finished item is "*" + its bytes. The
// last process writes the result file after the store and the log (the main program
// believes nothing else), and a resume list only after a cancel whose texts are stored.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extractor/browser/browser_host.h"
#include "extractor/job/job_files.h"

namespace extractor {

inline constexpr int kFilesPerProcess = 20;
inline constexpr size_t kChunkUnits = 100000;
inline constexpr int kWaitCycles = 45;
inline constexpr int kWaitCycleMs = 100;

// What the job needs of its window and its process.
class JobHost {
 public:
  virtual ~JobHost() = default;
  // Processes pending window messages once.
  virtual void ProcessMessages() {}
  // Waits up to `milliseconds` while processing messages; may return as soon as done()
  // holds (a completed page needs no rest of its cycle).
  virtual void Pause(int milliseconds, const std::function<bool()>& done) = 0;
  // The application is shutting down.
  virtual bool Terminating() const { return false; }
  virtual void SetStatusText(std::u16string_view /*text*/) {}
  virtual void SetCaption(std::u16string_view /*text*/) {}
  virtual void SetAddress(std::u16string_view /*text*/) {}  // edUrl
  // The text of the page just taken, for the page area of the window.
  virtual void ShowPage(std::u16string_view /*text*/) {}
  // A line for the process's error output: an archive skipped, a file that failed.
  virtual void Report(std::u16string_view /*line*/) {}
  // Monotonic milliseconds.
  virtual int64_t TickCount() const = 0;
  // Starts the next process of the job ("restart", working in paths.tempFolder) and
  // waits until it has announced itself or taken the state file (ClaimStateFile). false:
  // no successor took the job over (the host has taken the state back), and this process
  // goes on with it.
  virtual bool StartSuccessor(const JobPaths& paths) = 0;
};

enum class JobEnd {
  Finished,   // store and log written, the form closes
  Cancelled,  // store so far, resume list and log written, the form closes
  Restarted,  // state saved and a successor took over; this process ends
  Failed,     // a file of the job could not be written: resume list written, exit non-zero
};

class ExtractionJob {
 public:
  ExtractionJob(TBrowserHost& browser, JobHost& host);
  ~ExtractionJob();
  ExtractionJob(const ExtractionJob&) = delete;
  ExtractionJob& operator=(const ExtractionJob&) = delete;

  // A first process (two arguments): the list file (a missing one is an empty job). Chunk
  // files of an earlier job (numbers from 1 on) are removed; chunk 0, the previous store of
  // a resumed job, stays.
  void StartNew(std::u16string_view listPath, std::u16string_view outputPath);
  // A restarted process: the state file "TempMHTlist.dat" in stateFolder (drive form,
  // ends with "\"), claimed for this process; the restart list and the totals then come
  // from the store's Temp folder. false (and no job) when there is no readable state.
  bool StartRestarted(std::u16string_view stateFolder);

  bool HasJob() const { return !paths_.outputPath.empty(); }
  const JobPaths& Paths() const { return paths_; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetStartTick(int64_t tick) { startTick_ = tick; }

  // ExtrahierDenText: the whole job on the loaded list.
  JobEnd ExtrahierDenText();

  // The cancel button's part: stops a busy browser; the job notices before its next
  // archive and after each wait.
  void RequestCancel();
  bool Cancelled() const { return cancelled_; }

  // ZeitTimer: seconds of this process (64-bit ticks).
  void ZeitTimerTimer();
  int64_t ElapsedSeconds() const { return elapsedSeconds_; }
  int64_t TotalBytes() const { return totalBytes_; }
  int64_t FileCounter() const { return fileCounter_; }
  int64_t ChunkCounter() const { return chunkCounter_; }
  // The failure of the last run that ended with JobEnd::Failed.
  const std::u16string& FailureText() const { return failure_; }

 private:
  struct FileFailure {
    std::u16string path;
    int error;
  };
  void Wait();
  std::u16string CaptureText(size_t index, size_t count, std::u16string_view path);
  void EndOfItem(size_t index, bool handled);
  void WriteChunk(uint64_t number);
  void Write(std::u16string_view path, std::string_view bytes, bool durable = true);
  void SaveRestartState();
  bool ProgrammNeuStarten();
  void JoinSplitDocuments();
  void WriteSummaryLog(std::u16string_view path);
  void RemoveStaleChunks(uint64_t from);
  bool CancelAsked();
  JobEnd Ended(JobEnd end);
  Totals JobTotals();

  TBrowserHost& browser_;
  JobHost& host_;
  JobPaths paths_;
  std::vector<std::string> items_;
  std::u16string outText_;
  std::optional<Totals> earlier_;  // logtemp.log of a restarted process
  int64_t chunkCounter_ = 0;
  bool haveChunks_ = false;
  int filesThisRun_ = 0;
  bool restartNow_ = false;
  bool cancelled_ = false;
  bool cancelledInLoop_ = false;
  bool documentDone_ = false;
  bool navigationFailed_ = false;
  int waitCycles_ = 0;
  int64_t fileCounter_ = 0;
  int64_t fileSize_ = 0;
  int64_t totalBytes_ = 0;
  int64_t elapsedSeconds_ = 0;
  int64_t startTick_ = 0;
  bool running_ = false;
  std::u16string failure_;
};

}  // namespace extractor
