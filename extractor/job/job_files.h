#pragma once
// The extraction job's files and texts, as pure functions over bytes and strings: the job
// list (kept as the bytes of each line, so a list written back is the list read, with "*"
// put in front of finished items), the UTF-16 store and chunk files, the restart state, the
// totals of earlier processes, the log, the chunk join, and the small number and size texts.
// Nothing here shows a window or waits; the job (extraction_job.h) drives it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace extractor {

// ---- Names -----------------------------------------------------------------------------

// Every name of one job follows from the output store's path, in every process of it.
struct JobPaths {
  std::u16string listPath;    // the job list (drive form)
  std::u16string outputPath;  // the store <db>_MHTtext.txt, trimmed
  std::u16string folder;      // the store's folder, ends with "\"
  std::u16string tempFolder;  // folder + "Temp\"
  std::u16string dbPrefix;    // the store's name without its first "_MHTtext.txt"

  static JobPaths From(std::u16string_view listPath, std::u16string_view outputPath);
  std::u16string ChunkPath(uint64_t number) const;  // tempFolder + db + "_UTF8Dokument" + n + ".txt"
  std::u16string StatePath() const;        // tempFolder + "TempMHTlist.dat"
  std::u16string RestartListPath() const;  // tempFolder + "_mht_temp.dat"
  std::u16string TotalsPath() const;       // tempFolder + "logtemp.log"
  std::u16string ResumeListPath() const;   // folder + db + "_mht_temp.dat"
  std::u16string ResultPath() const;       // tempFolder + db + "_Ergebnis.txt": how the job ended
  std::u16string CancelPath() const;       // tempFolder + db + "_Abbruch.txt": the main program cancels
  // The store's path with its "_MHTtext.txt" (any case) replaced by "_MHT.log"; a store
  // named otherwise gets "_MHT.log" appended, so the log never lands on the store.
  std::u16string LogPath() const;
};

// Up to and including the last "\" or ":"; the rest.
std::u16string WideExtractFilePath(std::u16string_view path);
std::u16string WideExtractFileName(std::u16string_view path);
// From the last "." behind the last "\" or ":"; empty when there is none.
std::u16string WideExtractFileExt(std::u16string_view path);

// ---- The job list -----------------------------------------------------------------------

// Lines split at CR LF, LF or CR; a final break gives no empty last line. No length limit.
std::vector<std::string> SplitListLines(std::string_view bytes);
// Each line followed by CR LF.
std::string JoinListLines(const std::vector<std::string>& lines);
// The path of an item (its UTF-8 bytes decoded); a finished item keeps its "*".
std::u16string ItemPath(std::string_view item);
inline bool IsFinishedItem(std::string_view item) { return !item.empty() && item[0] == '*'; }
inline bool IsHeaderItem(std::u16string_view entry) {
  return entry.find(u"PFAD_UND_ENDUNGEN=") != std::u16string_view::npos;
}

// ---- Restart state ------------------------------------------------------------------------

// "TempMHTlist.dat": "J" (when the job has chunks) + chunk counter + " " + list path, CR LF,
// store path, CR LF; UTF-8, one path per line, so any name (with "*", outside code page
// 1252) survives a restart.
struct RestartState {
  bool haveChunks = false;
  int64_t chunkCounter = 0;
  std::u16string listPath;
  std::u16string outputPath;
};
std::string StateFileBytes(const RestartState& state);
// Takes the state file for this process: it is renamed to a name of this process's own
// first, so exactly one process (the successor, or a predecessor taking the job back)
// gets it. Its bytes, the file removed; nullopt when another process has it or it is gone.
std::optional<std::string> ClaimStateFile(std::u16string_view statePath);
// nullopt when the text is no state (no number, no store path).
std::optional<RestartState> ParseStateFile(std::string_view bytes);

// "logtemp.log": seconds + " " + bytes of the earlier processes, UTF-16LE with mark, CR LF.
struct Totals {
  int64_t seconds = 0;
  int64_t bytes = 0;
};
std::string TotalsFileBytes(Totals totals);
std::optional<Totals> ParseTotalsFile(std::string_view bytes);

// ---- Texts ----------------------------------------------------------------------------------

// FF FE + UTF-16LE, the form of the store, its chunks, the log and the totals.
std::string Utf16LeWithMark(std::u16string_view text);
// Line breaks of any kind as CR LF (the memo's form).
std::u16string ToCrLf(std::u16string_view text);

// The store block of one archive: " ", "#" + path, 50 "=", " ", the text; each ended by CR LF.
std::u16string StoreBlock(std::u16string_view path, std::u16string_view text);

// A mail's text as the job keeps it: every line trimmed, then each run of four CR LF pairs
// made one (one pass, left to right: six become three).
std::u16string TidyMailText(std::u16string_view text);

// The code-page repair of a web archive's text. Only text that was decoded without a
// declared charset is touched, and only when it is all code page 1252 (so it can be
// narrowed back to the bytes it came from): with U+00C3 or U+0178 it is read again as
// UTF-8 when those bytes are valid UTF-8; with U+00E5, U+00EA, U+00EE or U+00F0 as code
// page 1251. Anything else stays as it is.
std::u16string RepairCodePage(std::u16string_view text, bool charsetDeclared);

// Bytes in a code page to text: empty for empty bytes or an unknown code page; 65001 by
// the lenient UTF-8 decoder.
std::u16string DecodeCodePageText(std::string_view bytes, uint32_t codePage);

// "0 Bytes", "1024 Bytes", "1 KB", "1,5 KB" ... "8 EB": the smallest unit i for which
// bytes <= 1024^(i+1), at most two decimals, German comma; no 64-bit overflow.
std::u16string FormatFileSize(int64_t bytes);
// 3725 -> "1:2:5".
std::u16string SecondsToTimeText(int64_t seconds);
// 1234567 -> "1.234.567".
std::u16string FormatThousands(int64_t value);

// The three log lines (UTF-16 text, CR LF): elapsedSeconds is shown plus 2.
std::u16string SummaryLogText(int64_t fileCounter, int64_t elapsedSeconds, int64_t totalBytes);

// ---- Files ------------------------------------------------------------------------------------

// Size from stat of the exact path (64-bit), -1 when it is missing or no regular file.
int64_t GetFileSizeByName(std::u16string_view path);
// Something other than a folder at the path.
bool WideFileExists(std::u16string_view path);

// Writes through an exclusive temporary beside the target and renames it over the target.
// false with the system's reason in platform::LastError(). durable = false skips the syncs:
// for scratch files read back by this job only (chunks, hand-over state), which a power cut
// makes worthless anyway, since a job is only ever resumed from the store and resume list.
bool WriteFileBytes(std::u16string_view path, std::string_view bytes, bool durable = true);
// The text in a code page (65001: UTF-8 without mark, 1200: FF FE + UTF-16LE, else through
// the code page), written as above.
bool SaveTextToFileInCodePage(std::u16string_view text, std::u16string_view path, uint32_t codePage);

// The chunk files of a job in the temp folder: exactly db + "_UTF8Dokument" + digits +
// ".txt", ascending by number (0 is the previous store of a resumed job).
struct ChunkFile {
  uint64_t number = 0;
  std::u16string path;
};
std::vector<ChunkFile> ListChunkFiles(const JobPaths& paths);

// Appends the parts' bytes, in order, to a temporary beside the target and renames it
// over the target when all are in (a reader never sees a half-joined store). status is
// called with each part before it is copied. false with the failing file in *failedPath.
bool JoinFiles(const std::vector<std::u16string>& parts, std::u16string_view target,
               const std::function<void(const std::u16string&)>& status, std::u16string* failedPath);

}  // namespace extractor
