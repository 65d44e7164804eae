#pragma once
// The search of a database that only lists paths: every file its description names is
// searched directly, in the encoding its byte-order mark or, without one, its bytes
// suggest, and yields at most one hit (its first occurrence) with a snippet. Each file is
// read once: the same descriptor serves the encoding test, the stream search and the
// snippet lines, and what is not a regular file is never read (a FIFO would block). Worker
// threads check the files ahead of the loop; a file too large to be kept whole, or one
// that cannot be read, is left by them to the calling thread, which opens it again.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/index/exclusion_list.h"
#include "app/results/result_pages.h"
#include "search/engine/database_files.h"
#include "search/engine/search_session.h"
#include "textlib/widestrings.h"

namespace search {

// Indexes into KodierungsNamen, as the byte-order-mark test returns them.
enum KodierungIndex : int {
  kKodierungUtf8 = 0,
  kKodierungUtf16BE = 1,
  kKodierungUtf16LE = 2,
  kKodierungUtf32BE = 3,
  kKodierungUtf32LE = 4,
  kKodierungRtf = 5,
  kKodierungKeinUnicode = 6,
};
const std::array<std::u16string_view, 7>& KodierungsNamen();
std::u16string KodierungsName(int index);

// The mark at the start of a file's first bytes (at most 4 are looked at; missing bytes
// of a shorter file count as blanks), tested in the order EF BB BF, 00 00 FE FF,
// FF FE 00 00, FE FF, FF FE, "{\r".
int ErkenneBOM(std::string_view firstBytes);

// 0 plain ASCII, 1 well-formed UTF-8 with a multibyte sequence, 2 invalid (also a
// sequence cut off at the end).
int Utf8Klassifizieren(const unsigned char* bytes, size_t length);
bool IstGueltigesUtf8(std::string_view bytes);

// The strict test: every byte from 80 up starts a sequence of as many bytes as its
// leading one bits (80 .. BF cannot start one) followed only by 80 .. BF; false also for a
// text without any byte from 80 up.
bool IstUtf8Streng(std::string_view bytes);
// The same test over a file read block by block: the state of an unfinished sequence is
// carried from one block to the next, so the result is that of the whole buffer.
class Utf8StrengPruefung {
 public:
  void Feed(std::string_view block);
  bool Result() const { return !failed_ && pending_ == 0 && highByteSeen_; }
  // Decided false whatever follows.
  bool Failed() const { return failed_; }
  // Nothing but bytes below 80 so far.
  bool OnlyAscii() const { return !highByteSeen_; }

 private:
  int pending_ = 0;  // continuation bytes still expected
  bool failed_ = false;
  bool highByteSeen_ = false;
};

// The guess reads this much from the start of a file without a mark.
inline constexpr int64_t kGuessBytes = 200000;

struct DetectedEncoding {
  bool utf8 = false, ansi = false, utf16LE = false, utf16BE = false, rtf = false, utf32 = false;
};

// A file of the list opened for reading: its size and, up to a limit, its bytes, so a
// small file is read once whatever searches it.
class DirectFile {
 public:
  static constexpr int64_t kKeepLimit = int64_t{1} << 20;
  // A regular file opened read-only (never blocking); nullopt for a missing file,
  // anything that is not a regular file, or a file whose bytes cannot be read (then
  // *unreadable is set). *refused is set for a file that is there but may not be opened.
  static std::optional<DirectFile> Open(const std::u16string& path, bool* unreadable = nullptr,
                                        bool* refused = nullptr);
  DirectFile(DirectFile&&) noexcept;
  DirectFile& operator=(DirectFile&&) noexcept;
  ~DirectFile();

  int64_t Size() const { return size_; }
  // Bytes read into buffer (fewer only at the end), or -1.
  int64_t ReadAt(int64_t offset, char* buffer, int64_t count) const;
  // The whole file when it was read at opening (at most kKeepLimit bytes).
  std::optional<std::string_view> Kept() const {
    if (static_cast<int64_t>(kept_.size()) != size_) return std::nullopt;
    return std::string_view(kept_);
  }

 private:
  DirectFile(int fd, int64_t size) : fd_(fd), size_(size) {}
  int fd_ = -1;
  int64_t size_ = 0;
  std::string kept_;  // the whole file when it is at most kKeepLimit long
};

// The encoding decision for one file: the mark sets its flag; a file without one is
// guessed from its first 200,000 bytes (UTF-8 when they are well formed, ANSI otherwise
// and also when they hold one of the cp1252 letters E4 F6 FC DF C4 D6 DC), and a file
// that passes the strict test is UTF-8. UTF-8 wins over ANSI. UTF-32 and RTF files are
// recognised and not searched.
DetectedEncoding DetectEncoding(const DirectFile& file);
// The same for a path; nullopt when the file cannot be opened.
std::optional<DetectedEncoding> DetectEncoding(const std::u16string& path);

class TDirectSearch {
 public:
  TDirectSearch(SearchSession& session, app::TResultPageWriter& writer, app::ResultPageState& pages,
                textlib::TWideStringList& hitList)
      : session_(session), writer_(writer), pages_(pages), hitList_(hitList) {}

  // The per-file loop over the description's lines and the paging of its hits. A
  // missing description searches nothing and writes the empty first page.
  void Run(const DatabaseFiles& files, const std::u16string& searchText);

  // Polled before every file (and the flag CancelSource points to, set while messages are
  // processed); the hits found so far are paged as usual.
  bool SearchCancelRequested = false;
  bool* CancelSource = nullptr;
  // The search window's caption: "Bisher in … Dateien gefunden. Gesucht wird in Nr.: …".
  std::function<void(const std::u16string&)> SetCaption;
  // Files whose search ran (for the window and the tests).
  int64_t FilesSearched() const { return filesSearched_; }
  // Listed files that are there but could not be opened or read, so were not searched.
  int64_t FilesNotSearched() const { return filesNotSearched_; }
  // The caption the run ends with: empty, or the hits and the count of the files not searched.
  std::u16string EndCaption() const;
  // Threads that check files ahead of the loop: 0 for one per processor, 1 for none (every
  // file on the calling thread). Hits, pages, captions, cancel and message boxes stay on
  // the calling thread and in list order, so the pages do not depend on this.
  int Threads = 0;

 private:
  struct Matchers;
  struct FileOutcome;
  // One file's rules after its path: whether it was searched and its hit entry. On a
  // worker (onWorker) nothing is shown: false asks the calling thread to do the file
  // itself (it cannot be read, it is too large to be kept, or something failed).
  bool CheckFile(const std::u16string& path, bool onWorker, FileOutcome& out) const;
  // The entry of a hit at start (length bytes) in an opened file.
  std::u16string HitEntry(const std::u16string& path, const DirectFile& file, const DetectedEncoding& kind,
                          int64_t start, int64_t length) const;
  // One file on the calling thread: its entry appended to the hit list when it holds the text.
  void SearchFile(const std::u16string& path);
  void PumpThrottled();

  SearchSession& session_;
  app::TResultPageWriter& writer_;
  app::ResultPageState& pages_;
  textlib::TWideStringList& hitList_;
  std::u16string searchText_;
  std::optional<std::string> ansiText_;  // the text in cp1252, when it can be written so
  std::shared_ptr<Matchers> matchers_;
  std::u16string pageTerm_;  // the search text as the pages bold it
  bool caseSensitive_ = false, wholeWords_ = false;  // the session's options when the run began
  int64_t filesSearched_ = 0;
  int64_t filesNotSearched_ = 0;
  int64_t hitsFound_ = 0;
  int64_t lastPumpMs_ = -1;
};

}  // namespace search
