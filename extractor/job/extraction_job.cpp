#include "extractor/job/extraction_job.h"

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/job_chain.h"
#include "textlib/unicode.h"

namespace extractor {
namespace {

std::u16string Decimal(int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string ErrorText(int error) {
  return platform::PosixUtf8ToWide(platform::SystemErrorText(error)).value_or(u"?");
}

std::optional<std::string> ReadBytes(std::u16string_view path) {
  const std::string posix = platform::PosixPath(path);
  if (posix.empty()) return std::nullopt;
  return platform::ReadWholeFile(posix);
}

}  // namespace

ExtractionJob::ExtractionJob(TBrowserHost& browser, JobHost& host) : browser_(browser), host_(host) {
  browser_.OnDocumentComplete = [this](TBrowserControl&, const std::u16string&) { documentDone_ = true; };
  browser_.OnNavigateError = [this](TBrowserControl&, const std::u16string&, int32_t, bool&) {
    navigationFailed_ = true;
    host_.SetCaption(u"NavigateError");
  };
}

ExtractionJob::~ExtractionJob() {
  browser_.OnDocumentComplete = nullptr;
  browser_.OnNavigateError = nullptr;
}

void ExtractionJob::StartNew(std::u16string_view listPath, std::u16string_view outputPath) {
  paths_ = JobPaths::From(listPath, outputPath);
  items_.clear();
  if (const std::optional<std::string> bytes = ReadBytes(paths_.listPath)) items_ = SplitListLines(*bytes);
  chunkCounter_ = 0;
  haveChunks_ = false;
  earlier_.reset();
  // Chunks of an earlier job would be joined into this job's store, and its result would
  // be taken for this one's.
  RemoveStaleChunks(1);
  platform::RemoveFile(platform::PosixPath(paths_.ResultPath()));
}

bool ExtractionJob::StartRestarted(std::u16string_view stateFolder) {
  const std::optional<std::string> stateBytes = ClaimStateFile(std::u16string(stateFolder) + u"TempMHTlist.dat");
  if (!stateBytes) return false;
  const std::optional<RestartState> state = ParseStateFile(*stateBytes);
  if (!state) {
    host_.Report(u"Gleaner: " + std::u16string(stateFolder) + u"TempMHTlist.dat ist kein gültiger Zustand");
    return false;
  }
  paths_ = JobPaths::From(state->listPath, state->outputPath);
  haveChunks_ = state->haveChunks;
  chunkCounter_ = state->chunkCounter;
  items_.clear();
  if (const std::optional<std::string> bytes = ReadBytes(paths_.RestartListPath())) items_ = SplitListLines(*bytes);
  earlier_.reset();
  if (const std::optional<std::string> bytes = ReadBytes(paths_.TotalsPath())) {
    earlier_ = ParseTotalsFile(*bytes);
    if (!earlier_) host_.Report(u"Gleaner: " + paths_.TotalsPath() + u" enthält keine Zahlen; die Summen beginnen bei 0");
  }
  return true;
}

void ExtractionJob::RemoveStaleChunks(uint64_t from) {
  for (const ChunkFile& chunk : ListChunkFiles(paths_))
    if (chunk.number >= from) platform::RemoveFile(platform::PosixPath(chunk.path));
}

bool ExtractionJob::CancelAsked() {
  // The main program's cancel arrives as a file of the job.
  if (!cancelled_ && platform::Stat(platform::PosixPath(paths_.CancelPath()))) RequestCancel();
  return cancelled_;
}

void ExtractionJob::RequestCancel() {
  cancelled_ = true;
  if (browser_.Busy()) browser_.Stop();
}

void ExtractionJob::ZeitTimerTimer() { elapsedSeconds_ = host_.TickCount() / 1000 - startTick_ / 1000; }

Totals ExtractionJob::JobTotals() {
  ZeitTimerTimer();
  Totals totals{elapsedSeconds_, totalBytes_};
  if (earlier_) {
    totals.seconds += earlier_->seconds;
    totals.bytes += earlier_->bytes;
  }
  return totals;
}

void ExtractionJob::Write(std::u16string_view path, std::string_view bytes, bool durable) {
  if (!WriteFileBytes(path, bytes, durable)) throw FileFailure{std::u16string(path), platform::LastError()};
}

void ExtractionJob::Wait() {
  // The cycle ends as soon as the page is done; only a page that never completes uses up
  // all cycles, and that is reported, not passed over in silence.
  const auto settled = [this] { return documentDone_ || navigationFailed_ || cancelled_ || host_.Terminating(); };
  do {
    ++waitCycles_;
    host_.ProcessMessages();
    CancelAsked();
    host_.Pause(kWaitCycleMs, settled);
    if (waitCycles_ >= kWaitCycles) browser_.Stop();
  } while (!(browser_.ReadyState() == kReadyStateComplete || settled() || waitCycles_ >= kWaitCycles));
}

std::u16string ExtractionJob::CaptureText(size_t index, size_t count, std::u16string_view path) {
  host_.SetStatusText(u"(" + FormatFileSize(fileSize_) + u")  Datei Nr.: " + Decimal(static_cast<int64_t>(index) + 1) +
                      u" (von " + Decimal(static_cast<int64_t>(count)) + u" Dateien)" + u" : " + std::u16string(path));
  browser_.SelectAll();
  browser_.Copy();
  return ToCrLf(PasteBrowserClipboard());
}

void ExtractionJob::EndOfItem(size_t index, bool handled) {
  if (!IsFinishedItem(items_[index])) items_[index].insert(0, 1, '*');
  if (handled) totalBytes_ += fileSize_;
}

void ExtractionJob::WriteChunk(uint64_t number) {
  // Chunks live only until the join, which syncs the store: a sync per chunk cost more
  // than the extraction itself.
  Write(paths_.ChunkPath(number), Utf16LeWithMark(outText_), false);
  outText_.clear();
}

void ExtractionJob::SaveRestartState() {
  // Hand-over files are read by the successor at once; none outlives the chain.
  Write(paths_.StatePath(), StateFileBytes({haveChunks_, chunkCounter_, paths_.listPath, paths_.outputPath}), false);
  Write(paths_.RestartListPath(), JoinListLines(items_), false);
}

bool ExtractionJob::ProgrammNeuStarten() {
  Write(paths_.TotalsPath(), TotalsFileBytes(JobTotals()), false);
  return host_.StartSuccessor(paths_);
}

void ExtractionJob::JoinSplitDocuments() {
  host_.SetStatusText(u"Aufgeteilte Dateien werden zusammengefügt!");
  const std::vector<ChunkFile> chunks = ListChunkFiles(paths_);
  std::vector<std::u16string> parts;
  for (const ChunkFile& chunk : chunks) parts.push_back(chunk.path);
  std::u16string failed;
  const bool ok = JoinFiles(
      parts, paths_.outputPath,
      [this](const std::u16string& part) {
        host_.SetStatusText(u"Aufgeteilte Dateien zusammenfügen:  " + part);
        host_.ProcessMessages();
      },
      &failed);
  if (!ok) throw FileFailure{failed, platform::LastError()};
  // Joined chunks are spent: left behind, a later job would join them a second time.
  for (const ChunkFile& chunk : chunks) platform::RemoveFile(platform::PosixPath(chunk.path));
}

void ExtractionJob::WriteSummaryLog(std::u16string_view path) {
  const Totals totals = JobTotals();
  Write(path, Utf16LeWithMark(SummaryLogText(fileCounter_, totals.seconds, totals.bytes)));
}

JobEnd ExtractionJob::Ended(JobEnd end) {
  running_ = false;
  if (end == JobEnd::Restarted) return end;
  platform::chain::Result result;
  result.outcome = end == JobEnd::Finished    ? platform::chain::Outcome::Finished
                   : end == JobEnd::Cancelled ? platform::chain::Outcome::Cancelled
                                              : platform::chain::Outcome::Failed;
  result.text = failure_;
  if (!WriteFileBytes(paths_.ResultPath(), platform::chain::ResultBytes(result))) {
    // Without its result the job counts as failed; the first failure stays the reason.
    const std::u16string text =
        u"Datei " + paths_.ResultPath() + u" kann nicht geschrieben werden: " + ErrorText(platform::LastError());
    host_.Report(u"Gleaner: " + text);
    if (failure_.empty()) failure_ = text;
    return JobEnd::Failed;
  }
  return end;
}

JobEnd ExtractionJob::ExtrahierDenText() {
  if (running_) return JobEnd::Failed;
  running_ = true;
  totalBytes_ = 0;
  fileCounter_ = 0;
  failure_.clear();
  browser_.DialogBoxes().DisableAll = true;
  try {
    const size_t count = items_.size();
    for (size_t i = 0; i < count; ++i) {
      const std::u16string entry = ItemPath(items_[i]);
      ++fileCounter_;
      if (IsFinishedItem(items_[i])) {
        // The text of finished items lies in chunk files or in chunk 0.
        haveChunks_ = true;
        EndOfItem(i, false);
        continue;
      }
      ++filesThisRun_;
      // An item a cancel leaves unfinished is not counted as reached.
      if (CancelAsked()) {
        --fileCounter_;
        break;
      }
      host_.ProcessMessages();
      if (IsHeaderItem(entry) || !WideFileExists(entry)) {
        EndOfItem(i, false);
        continue;
      }
      fileSize_ = GetFileSizeByName(entry);
      if (fileSize_ < 0) {
        // A FIFO or a device would block the reader or never end.
        host_.Report(u"Gleaner: " + entry + u" ist keine gewöhnliche Datei; übersprungen");
        EndOfItem(i, false);
        continue;
      }
      const bool mail = textlib::UnicodeLowerCase(WideExtractFileExt(entry)).find(u".eml") != std::u16string::npos;

      // The archive itself is shown: no copy in Temp, so no archive can be read under
      // another's name and nothing is narrowed to a code page on the way.
      host_.SetAddress(entry);
      documentDone_ = false;
      navigationFailed_ = false;
      browser_.Navigate(entry);
      waitCycles_ = 0;
      Wait();
      if (cancelled_) {
        --fileCounter_;
        break;
      }
      if (documentDone_) {
        std::u16string text = CaptureText(i, count, entry);
        const TBrowserDocument* page = browser_.Document();
        text = mail ? TidyMailText(text) : RepairCodePage(text, page == nullptr || page->charsetDeclared);
        host_.ShowPage(text);
        if (!text.empty()) outText_ += StoreBlock(entry, text);
      } else if (navigationFailed_) {
        host_.Report(u"Gleaner: " + entry + u" kann nicht gelesen werden; übersprungen");
      } else {
        host_.Report(u"Gleaner: " + entry + u" wurde nicht rechtzeitig angezeigt; übersprungen");
      }

      const bool restartHere = filesThisRun_ == kFilesPerProcess;
      if (restartHere && CancelAsked()) {
        // A cancel during the last archive of a process ends the job here: a successor
        // would never hear of it.
        EndOfItem(i, true);
        break;
      }
      if (restartHere) {
        EndOfItem(i, true);
        restartNow_ = true;
        Write(paths_.listPath, JoinListLines(items_), false);
      }
      if (outText_.size() >= kChunkUnits || restartNow_) {
        haveChunks_ = true;
        WriteChunk(static_cast<uint64_t>(++chunkCounter_));
      }
      if (!restartHere) {
        EndOfItem(i, true);
        continue;
      }
      SaveRestartState();
      if (ProgrammNeuStarten()) return Ended(JobEnd::Restarted);
      // No successor took the job: this process goes on with it.
      host_.Report(u"Gleaner: der nächste Prozess ist nicht angelaufen; die Arbeit geht in diesem weiter");
      restartNow_ = false;
      filesThisRun_ = 0;
    }

    // A cancel that arrives after the loop (while joining) changes nothing any more.
    cancelledInLoop_ = cancelled_;
    if (haveChunks_ && !outText_.empty()) WriteChunk(static_cast<uint64_t>(chunkCounter_) + 1);
    if (haveChunks_) {
      JoinSplitDocuments();
    } else {
      Write(paths_.outputPath, Utf16LeWithMark(outText_));
      outText_.clear();
    }
    // The log describes the store that is in place, and the resume list names as
    // finished only what the store holds.
    WriteSummaryLog(paths_.LogPath());
    if (cancelledInLoop_) Write(paths_.ResumeListPath(), JoinListLines(items_));
  } catch (const FileFailure& f) {
    failure_ = u"Datei " + f.path + u" kann nicht geschrieben werden: " + ErrorText(f.error);
    host_.Report(u"Gleaner: " + failure_);
    host_.SetStatusText(failure_);
    // Nothing of a failed job may be taken for finished: no resume list, no state.
    platform::RemoveFile(platform::PosixPath(paths_.ResumeListPath()));
    platform::RemoveFile(platform::PosixPath(paths_.StatePath()));
    return Ended(JobEnd::Failed);
  }
  // A finished job leaves no resume list and no state for a stray "restart".
  if (!cancelledInLoop_) platform::RemoveFile(platform::PosixPath(paths_.ResumeListPath()));
  platform::RemoveFile(platform::PosixPath(paths_.StatePath()));
  platform::RemoveFile(platform::PosixPath(paths_.RestartListPath()));
  platform::RemoveFile(platform::PosixPath(paths_.TotalsPath()));
  return Ended(cancelledInLoop_ ? JobEnd::Cancelled : JobEnd::Finished);
}

}  // namespace extractor
