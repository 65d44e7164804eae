#include "search/engine/direct_search.h"

#include <emmintrin.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "search/engine/database_search.h"
#include "search/engine/document_model.h"
#include "search/engine/stream_search.h"
#include "search/engine/text_matcher.h"
#include "search/engine/viewer_services.h"
#include "textlib/errors.h"
#include "textlib/stream.h"
#include "textlib/unicode.h"

namespace search {
namespace {

constexpr int64_t kReadBlock = 65536;
// Pending messages are processed at most this often: once per file cost seconds on
// folders of many small files.
constexpr int64_t kPumpIntervalMs = 20;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The open file as the stream search's stream and the hidden viewer's source at once.
class FileSource : public textlib::TStream, public TViewerStream {
 public:
  explicit FileSource(const DirectFile& file) : file_(file) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = file_.ReadAt(position_, static_cast<char*>(buffer), count);
    if (n > 0) position_ += n;
    failed_ = failed_ || n < 0;
    return n < 0 ? 0 : n;
  }
  // Whether a read through Read failed (it then looked like the file's end).
  bool Failed() const { return failed_; }
  int64_t Write(const void*, int64_t) override { throw textlib::EWriteError(u"Stream write error"); }
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    switch (origin) {
      case platform::SeekOrigin::Begin: position_ = offset; break;
      case platform::SeekOrigin::Current: position_ += offset; break;
      case platform::SeekOrigin::End: position_ = file_.Size() + offset; break;
    }
    return position_;
  }
  int64_t Size() override { return file_.Size(); }
  void SetSize(int64_t) override { throw textlib::EWriteError(u"Stream write error"); }
  int64_t ReadAt(int64_t offset, char* buffer, int64_t count) override { return file_.ReadAt(offset, buffer, count); }

 private:
  const DirectFile& file_;
  int64_t position_ = 0;
  bool failed_ = false;
};

// The first index from i on that holds a byte from 80 up (or length), 32 bytes a step.
size_t SkipAscii(const unsigned char* bytes, size_t i, size_t length) {
  while (i + 32 <= length) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
    if (_mm_movemask_epi8(_mm_or_si128(a, b))) break;
    i += 32;
  }
  while (i < length && bytes[i] < 0x80) ++i;
  return i;
}

std::string TrimControlsAndBlanks(const std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= 0x20) ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= 0x20) --last;
  return s.substr(first, last - first);
}

template <class S>
void BlankOutTagOpenings(S& s) {
  std::replace(s.begin(), s.end(), static_cast<typename S::value_type>('<'), static_cast<typename S::value_type>(' '));
}

}  // namespace

// The matchers of one run, made once: a file read whole is searched as one block, with
// the matcher the stream search would make for it and the same neighbours (none at the
// file's start and end), so the first match is the one the stream search finds.
struct TDirectSearch::Matchers {
  std::optional<Utf8Matcher> utf8Folding;  // UTF-8 without case
  std::optional<ByteMatcher> utf8Bytes;    // UTF-8 with case
  std::optional<ByteMatcher> ansiBytes;    // the cp1252 bytes
  std::optional<WideMatcher> units;
  std::string utf8Text;                 // the search text in UTF-8
  std::optional<Utf8Matcher> line;      // UTF-8 without case and whole words: the snippet line's test

  // Start and length in bytes of the first match, or nullopt.
  std::optional<std::pair<int64_t, int64_t>> First(std::string_view bytes, const DetectedEncoding& kind) const {
    if (kind.utf16LE || kind.utf16BE) {
      if (!units || units->Length() == 0) return std::nullopt;
      std::u16string all(bytes.size() / 2, u'\0');
      for (size_t i = 0; i < all.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
        all[i] = kind.utf16BE ? char16_t((a << 8) | b) : char16_t(a | (b << 8));
      }
      if (all.size() < units->Length()) return std::nullopt;
      const int64_t at = units->Find(all, true);
      if (at < 0) return std::nullopt;
      return std::make_pair(at * 2, static_cast<int64_t>(units->Length()) * 2);
    }
    const ByteMatcher* byteMatcher = kind.ansi ? (ansiBytes ? &*ansiBytes : nullptr) : (utf8Bytes ? &*utf8Bytes : nullptr);
    if (byteMatcher) {
      if (byteMatcher->Length() == 0 || bytes.size() < byteMatcher->Length()) return std::nullopt;
      const int64_t at = byteMatcher->Find(bytes, true);
      if (at < 0) return std::nullopt;
      return std::make_pair(at, static_cast<int64_t>(byteMatcher->Length()));
    }
    if (!kind.ansi && utf8Folding && !utf8Folding->Empty()) {
      size_t length = 0;
      const int64_t at = utf8Folding->Find(bytes, true, &length);
      if (at < 0) return std::nullopt;
      return std::make_pair(at, static_cast<int64_t>(length));
    }
    return std::nullopt;
  }
};

// ---- encoding detection -------------------------------------------------------------

const std::array<std::u16string_view, 7>& KodierungsNamen() {
  static const std::array<std::u16string_view, 7> names = {
      u"UTF8", u"UTF16 - BigEndian", u"UTF16 - LittleEndian", u"UTF32 - BigEndian", u"UTF32 - LittleEndian",
      u"RTF", u"kein Unicode"};
  return names;
}

std::u16string KodierungsName(int index) {
  if (index < 0 || index >= static_cast<int>(KodierungsNamen().size())) return std::u16string();
  return std::u16string(KodierungsNamen()[static_cast<size_t>(index)]);
}

int ErkenneBOM(std::string_view firstBytes) {
  unsigned char b[4] = {' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && i < firstBytes.size(); ++i) b[i] = static_cast<unsigned char>(firstBytes[i]);
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return kKodierungUtf8;
  if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) return kKodierungUtf32BE;
  if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) return kKodierungUtf32LE;
  if (b[0] == 0xFE && b[1] == 0xFF) return kKodierungUtf16BE;
  if (b[0] == 0xFF && b[1] == 0xFE) return kKodierungUtf16LE;
  if (b[0] == '{' && b[1] == '\\' && b[2] == 'r') return kKodierungRtf;
  return kKodierungKeinUnicode;
}

int Utf8Klassifizieren(const unsigned char* bytes, size_t length) {
  int expected = 0;
  unsigned char lead = 0;
  bool multibyte = false;
  for (size_t i = 0; i < length; ++i) {
    if (expected == 0) i = SkipAscii(bytes, i, length);
    if (i >= length) break;
    const unsigned char c = bytes[i];
    if (expected > 0) {
      if (c < 0x80 || c > 0xBF) return 2;
      // The first continuation after E0 / F0 rules out the overlong forms.
      if (lead == 0xE0 && (c & 0x20) == 0) return 2;
      if (lead == 0xF0 && (c & 0x30) == 0) return 2;
      lead = 0;
      multibyte = true;
      --expected;
      continue;
    }
    if (c < 0x80) continue;
    if (c >= 0xC2 && c <= 0xDF) {
      expected = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      expected = 2;
    } else if (c >= 0xF0 && c <= 0xF7) {
      expected = 3;
    } else {
      return 2;
    }
    lead = c;
  }
  if (expected > 0) return 2;
  return multibyte ? 1 : 0;
}

bool IstGueltigesUtf8(std::string_view bytes) {
  return Utf8Klassifizieren(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != 2;
}

void Utf8StrengPruefung::Feed(std::string_view block) {
  if (failed_) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
  for (size_t i = 0; i < block.size(); ++i) {
    if (pending_ == 0) i = SkipAscii(bytes, i, block.size());
    if (i >= block.size()) break;
    const unsigned char c = bytes[i];
    if (pending_ > 0) {
      if (c < 0x80 || c > 0xBF) {
        failed_ = true;
        return;
      }
      --pending_;
      continue;
    }
    if (c < 0x80) continue;
    highByteSeen_ = true;
    int ones = 0;
    while (ones < 8 && (c & (0x80 >> ones))) ++ones;
    if (ones == 1) {
      failed_ = true;
      return;
    }
    pending_ = ones - 1;
  }
}

bool IstUtf8Streng(std::string_view bytes) {
  Utf8StrengPruefung check;
  check.Feed(bytes);
  return check.Result();
}

// ---- the open file ------------------------------------------------------------------

std::optional<DirectFile> DirectFile::Open(const std::u16string& path, bool* unreadable, bool* refused) {
  if (unreadable) *unreadable = false;
  if (refused) *refused = false;
  const std::string posix = platform::PosixPath(path);
  if (posix.empty()) return std::nullopt;
  // Non-blocking, so that opening a FIFO returns at once; it is refused below.
  const int fd = ::open(posix.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A file that is gone since the list was made is no loss; any other failure is.
    if (refused) *refused = errno != ENOENT && errno != ENOTDIR;
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  DirectFile file(fd, static_cast<int64_t>(st.st_size));
  if (file.size_ <= kKeepLimit) {
    file.kept_.resize(static_cast<size_t>(file.size_));
    const int64_t done = platform::ReadFullyAt(fd, file.kept_.data(), file.size_, 0);
    if (done < 0) {
      if (unreadable) *unreadable = true;
      return std::nullopt;
    }
    // A file that shrank while it was read is searched as far as it was read.
    file.kept_.resize(static_cast<size_t>(done));
    file.size_ = done;
  }
  return file;
}

DirectFile::DirectFile(DirectFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), kept_(std::move(other.kept_)) {}

DirectFile& DirectFile::operator=(DirectFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    kept_ = std::move(other.kept_);
  }
  return *this;
}

DirectFile::~DirectFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t DirectFile::ReadAt(int64_t offset, char* buffer, int64_t count) const {
  if (offset < 0 || count < 0) return -1;
  if (offset >= size_ || count == 0) return 0;
  count = std::min(count, size_ - offset);
  if (static_cast<int64_t>(kept_.size()) == size_) {
    std::memcpy(buffer, kept_.data() + offset, static_cast<size_t>(count));
    return count;
  }
  return platform::ReadFullyAt(fd_, buffer, count, offset);
}

DetectedEncoding DetectEncoding(const DirectFile& file) {
  DetectedEncoding d;
  char first[4];
  const int64_t got = file.ReadAt(0, first, 4);
  const int mark = ErkenneBOM(std::string_view(first, static_cast<size_t>(std::max<int64_t>(got, 0))));
  switch (mark) {
    case kKodierungRtf: d.rtf = true; return d;
    case kKodierungUtf16BE: d.utf16BE = true; return d;
    case kKodierungUtf16LE: d.utf16LE = true; return d;
    case kKodierungUtf8: d.utf8 = true; return d;
    case kKodierungUtf32BE:
    case kKodierungUtf32LE: d.utf32 = true; return d;
    default: break;
  }
  // No mark: UTF-8 when the strict test passes over the whole file or the guess finds the
  // first bytes well formed, ANSI otherwise. A cp1252 letter in the first bytes makes the
  // guess ANSI as well, but UTF-8 wins over ANSI, so it never decides and is not looked
  // for; the strict test goes first, as its pass decides alone.
  const int64_t guessLength = std::min(file.Size(), kGuessBytes);
  std::string guessCopy;
  std::string_view guess;
  Utf8StrengPruefung strict;
  if (const std::optional<std::string_view> all = file.Kept()) {
    guess = all->substr(0, static_cast<size_t>(guessLength));
    strict.Feed(*all);
  } else {
    std::string block;
    for (int64_t offset = 0; offset < file.Size();) {
      // Once the strict test has failed, only the guess's bytes are still wanted.
      if (strict.Failed() && offset >= guessLength) break;
      block.resize(static_cast<size_t>(std::min(kReadBlock, file.Size() - offset)));
      const int64_t n = file.ReadAt(offset, block.data(), static_cast<int64_t>(block.size()));
      if (n <= 0) break;
      const std::string_view bytes(block.data(), static_cast<size_t>(n));
      if (offset < guessLength)
        guessCopy.append(bytes.substr(0, static_cast<size_t>(std::min(n, guessLength - offset))));
      strict.Feed(bytes);
      offset += n;
    }
    guess = guessCopy;
  }
  // A file of bytes below 80 alone fails the strict test, and its first bytes are well formed.
  if (strict.Result() || (!strict.Failed() && strict.OnlyAscii()) || IstGueltigesUtf8(guess))
    d.utf8 = true;
  else
    d.ansi = true;
  return d;
}

std::optional<DetectedEncoding> DetectEncoding(const std::u16string& path) {
  const std::optional<DirectFile> file = DirectFile::Open(path);
  if (!file) return std::nullopt;
  return DetectEncoding(*file);
}

// ---- the run ------------------------------------------------------------------------

void TDirectSearch::PumpThrottled() {
  const int64_t now = NowMs();
  if (lastPumpMs_ >= 0 && now - lastPumpMs_ < kPumpIntervalMs) return;
  lastPumpMs_ = now;
  platform::ProcessMessages();
}

// What the check of one listed file came to; made on a worker, used on the calling thread.
struct TDirectSearch::FileOutcome {
  bool listed = false;    // a path that is not excluded: searched or tried, then paged
  bool redo = false;      // left to the calling thread, path and all
  bool searched = false;  // counts in FilesSearched
  bool notSearched = false;  // there, but could not be opened or read
  std::u16string entry;   // the hit list entry; empty without a hit
  PathListPaging::MadeLine made;  // the entry as the page buffer's line and the page's
};

namespace {

// Listed files checked ahead of the calling thread by a few workers. A worker takes the
// next index while it lies within kWindow of the one the caller takes next, so memory
// stays bounded and a cancel wastes little; the caller takes the outcomes in list order.
template <class Outcome>
class CheckAhead {
 public:
  static constexpr int kWindow = 1024;
  static constexpr int kWake = kWindow / 4;
  using Work = std::function<void(int, Outcome&)>;

  // Throws std::system_error when not one worker can be started; fewer than asked for
  // are enough.
  CheckAhead(int first, int end, int threads, Work work)
      : work_(std::move(work)), slots_(kWindow), done_(kWindow, 0), next_(first), taken_(first), end_(end) {
    try {
      for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { Loop(); });
    } catch (const std::system_error&) {
      if (threads_.empty()) throw;
    }
  }
  ~CheckAhead() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    room_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  CheckAhead(const CheckAhead&) = delete;
  CheckAhead& operator=(const CheckAhead&) = delete;

  // The outcome of index, the next in order; idle runs while it is awaited, every
  // interval at most.
  Outcome Take(int index, const std::function<void()>& idle, std::chrono::milliseconds interval) {
    const size_t slot = static_cast<size_t>(index % kWindow);
    std::unique_lock lock(mutex_);
    wanted_ = index;
    while (!done_[slot]) {
      if (ready_.wait_for(lock, interval, [&] { return done_[slot] != 0; })) break;
      lock.unlock();
      idle();
      lock.lock();
    }
    wanted_ = -1;
    Outcome out = std::move(slots_[slot]);
    done_[slot] = 0;
    taken_ = index + 1;
    lock.unlock();
    // Workers that wait for room are woken a batch at a time: waking one per file cost
    // the calling thread a system call per file. They never wait for the index taken
    // next (it lies inside the window), so this cannot stall the run.
    if (taken_ % kWake == 0) room_.notify_all();
    return out;
  }

 private:
  void Loop() {
    while (true) {
      int index;
      {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return stop_ || next_ >= end_ || next_ < taken_ + kWindow; });
        if (stop_ || next_ >= end_) return;
        index = next_++;
      }
      Outcome out;
      work_(index, out);
      const size_t slot = static_cast<size_t>(index % kWindow);
      std::unique_lock lock(mutex_);
      slots_[slot] = std::move(out);
      done_[slot] = 1;
      if (index == wanted_) {
        lock.unlock();
        ready_.notify_one();
      }
    }
  }

  Work work_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::vector<Outcome> slots_;
  std::vector<char> done_;
  int next_, taken_, end_, wanted_ = -1;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

int WorkerCount(int requested, int files) {
  int n = requested;
  if (n <= 0) n = static_cast<int>(std::min(std::thread::hardware_concurrency(), 16u));
  n = std::min(n, files);
  return n > 1 ? n : 0;
}

}  // namespace

std::u16string TDirectSearch::HitEntry(const std::u16string& path, const DirectFile& file,
                                       const DetectedEncoding& kind, int64_t start, int64_t length) const {
  const bool wide = kind.utf16LE || kind.utf16BE;
  FileSource source(file);
  TDocumentModel viewer;
  viewer.SetMode(wide ? TDocumentMode::Unicode : TDocumentMode::Text);
  if (!viewer.LoadStream(&source)) return std::u16string();
  viewer.SetSelection(start, length);
  viewer.SelectAt(0, start);
  std::string snippet;
  if (wide || kind.ansi) {
    // An ANSI line is taken to UTF-16 as it is read, so the page gets UTF-8 and the
    // snippet rules count characters as they do for the file.
    const int64_t cs = wide ? 2 : 1;
    auto lineAt = [&viewer, wide](int64_t offset) {
      if (offset > viewer.LastPos()) return std::u16string();
      viewer.SelectAt(0, offset);
      return wide ? viewer.SelTextW() : platform::AnsiToWide(viewer.SelText());
    };
    std::u16string line = wide ? viewer.SelTextW() : platform::AnsiToWide(viewer.SelText());
    // The byte-order mark in front of the first line is no text.
    if (wide && !line.empty() && line[0] == u'\uFEFF') line.erase(0, 1);
    std::u16string s = SnippetWide(line, searchText_, caseSensitive_, start, cs, lineAt);
    BlankOutTagOpenings(s);
    snippet = textlib::EncodeUtf8(s);
  } else {
    const std::string& term = matchers_->utf8Text;
    auto lineAt = [&viewer](int64_t offset) {
      if (offset > viewer.LastPos()) return std::string();
      viewer.SelectAt(0, offset);
      return viewer.SelText();
    };
    std::string line = viewer.SelText();
    if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    const bool present = caseSensitive_ ? line.find(term) != std::string::npos
                                        : matchers_->line->Find(line, true, nullptr) >= 0;
    if (!present) line.clear();
    std::string s = SnippetUtf8(line, term, caseSensitive_, start, lineAt);
    BlankOutTagOpenings(s);
    snippet = s;
  }
  return platform::AnsiToWide(textlib::EncodeUtf8(path) + "##text##" + TrimControlsAndBlanks(snippet + "<br>"));
}

bool TDirectSearch::CheckFile(const std::u16string& path, bool onWorker, FileOutcome& out) const {
  bool unreadable = false, refused = false;
  const std::optional<DirectFile> file = DirectFile::Open(path, &unreadable, &refused);
  if (unreadable) {
    if (onWorker) return false;
    platform::ShowMessageBox(path + u" kann nicht geöffnet werden.", u"Error", platform::mb::IconError);
  }
  out.notSearched = unreadable || refused;
  if (!file) return true;  // missing or no regular file: skipped silently
  const DetectedEncoding kind = DetectEncoding(*file);
  const bool wide = kind.utf16LE || kind.utf16BE;
  if (!kind.ansi && !kind.utf8 && !wide) return true;  // RTF, UTF-32
  // An ANSI file holds the text only in cp1252: a text that cannot be written so cannot
  // occur in it (a "?" in its place would find question marks).
  if (kind.ansi && !ansiText_) return true;
  out.searched = true;

  int64_t start = -1, length = 0;
  if (const std::optional<std::string_view> all = file->Kept()) {
    const auto match = matchers_->First(*all, kind);
    if (!match) return true;
    std::tie(start, length) = *match;
  } else {
    // A large file is streamed. Its errors are shown in boxes, which only the calling
    // thread shows: a worker leaves a file with an error to it.
    const uint8_t options = (caseSensitive_ ? kSearchCaseSensitive : 0) | (wholeWords_ ? kSearchWholeWords : 0);
    FileSource source(*file);
    TStreamSearch search;
    search.BlockSize = TStreamSearch::kFileBlockSize;
    search.TextIsUtf8 = kind.utf8;
    search.AssignSearchStream(&source);
    bool found = false;
    try {
      if (wide)
        found = search.FindFirst(searchText_, kind.utf16BE ? vEncUnicodeBE : vEncUnicodeLE, options, 0);
      else
        found = search.FindFirst(platform::AnsiToWide(kind.ansi ? *ansiText_ : matchers_->utf8Text), vEncANSI,
                                 options, 0);
    } catch (const textlib::Exception& e) {
      if (onWorker) return false;
      platform::ShowMessageBox(e.Message(), u"Suche fehlgeschlagen", platform::mb::IconError);
      return true;
    }
    if (onWorker && source.Failed()) return false;
    if (!found) return true;
    start = search.FoundStart();
    length = search.FoundLength();
  }
  const ViewerErrorsHeld held(onWorker);
  out.entry = HitEntry(path, *file, kind, start, length);
  return !held.Any();
}

void TDirectSearch::SearchFile(const std::u16string& path) {
  FileOutcome out;
  try {
    CheckFile(path, false, out);
  } catch (const textlib::Exception& e) {
    platform::ShowMessageBox(e.Message(), u"Suche fehlgeschlagen", platform::mb::IconError);
  }
  filesSearched_ += out.searched;
  filesNotSearched_ += out.notSearched;
  hitsFound_ += !out.entry.empty();
  if (!out.entry.empty()) hitList_.Add(out.entry);
}

std::u16string TDirectSearch::EndCaption() const {
  if (filesNotSearched_ == 0) return {};
  return u"In " + textlib::NumberText(hitsFound_) + u" Dateien gefunden. " +
         textlib::NumberText(filesNotSearched_) +
         (filesNotSearched_ == 1 ? u" Datei konnte nicht gelesen werden und wurde nicht durchsucht."
                                 : u" Dateien konnten nicht gelesen werden und wurden nicht durchsucht.");
}

void TDirectSearch::Run(const DatabaseFiles& files, const std::u16string& searchText) {
  searchText_ = searchText;
  pageTerm_ = textlib::UnicodeTrim(searchText);
  filesSearched_ = 0;
  filesNotSearched_ = 0;
  hitsFound_ = 0;
  lastPumpMs_ = -1;
  caseSensitive_ = session_.grossKleinBeachten;
  wholeWords_ = session_.nurGanzeWoerter;
  bool usedDefault = false;
  const std::string ansi = platform::WideToAnsi(searchText, &usedDefault);
  ansiText_.reset();
  if (!usedDefault) ansiText_ = ansi;
  // The case tables behind the matchers take a while to make the first time in a
  // process: they are made while the description is read.
  matchers_.reset();
  const auto make = [match = MatchOptions{caseSensitive_, wholeWords_}, &searchText, ansiText = ansiText_] {
    auto m = std::make_shared<Matchers>();
    m->utf8Text = textlib::EncodeUtf8(searchText);
    if (match.caseSensitive) {
      m->utf8Bytes.emplace(m->utf8Text, MatchOptions{true, match.wholeWords, true});
    } else {
      m->utf8Folding.emplace(m->utf8Text, match.wholeWords);
      m->line.emplace(m->utf8Text);
    }
    if (ansiText) m->ansiBytes.emplace(*ansiText, match);
    m->units.emplace(searchText, match);
    return m;
  };
  // Without a thread to be had they are made here (a copy goes to the thread, so make
  // itself is whole either way).
  std::future<std::shared_ptr<Matchers>> making;
  try {
    making = std::async(std::launch::async, make);
  } catch (const std::system_error&) {
  }

  // The page lines the workers made: made[k] belongs to hit firstMade + k, for the hits
  // not yet on a page; a hit of the calling thread has none (an empty optional). While
  // made is empty firstMade is stale: the next hit sets it.
  std::deque<std::optional<PathListPaging::MadeLine>> made;
  int firstMade = hitList_.Count();
  PathListPaging paging(hitList_, writer_, pages_);
  paging.Made = [&](int i) -> PathListPaging::MadeLine* {
    if (i < firstMade || i - firstMade >= static_cast<int>(made.size())) return nullptr;
    auto& m = made[static_cast<size_t>(i - firstMade)];
    return m ? &*m : nullptr;
  };
  auto afterFile = [&] {
    paging.AfterFile(searchText_);
    for (const int paged = paging.PagesFlushed() * kHitsPerPage; firstMade < paged && !made.empty(); ++firstMade)
      made.pop_front();
  };
  auto addHit = [&](const std::u16string& entry, std::optional<PathListPaging::MadeLine> line) {
    if (made.empty()) firstMade = hitList_.Count();
    ++hitsFound_;
    hitList_.Add(entry);
    made.push_back(std::move(line));
  };
  DescriptionLines lines;
  const bool listed = FileExistsNotDirectory(files.Description()) && lines.Load(files.Description());
  matchers_ = making.valid() ? making.get() : make();
  if (listed) {
    // The indexer's own list, so both leave out the same files.
    const app::ExclusionList exclusions = app::ExclusionList::Load(files.baseFolder + u"AusnahmeIndizierung.txt");
    const int count = lines.Count();
    // Lines of the description hold UTF-8 bytes one per character.
    auto pathOf = [&lines](int i) { return textlib::DecodeUtf8(lines.Ansi(i)); };
    std::optional<CheckAhead<FileOutcome>> ahead;
    if (const int workers = WorkerCount(Threads, count - 1)) {
      try {
        ahead.emplace(1, count, workers, [&](int i, FileOutcome& out) {
          try {
            const std::u16string path = pathOf(i);
            if (path.empty() || exclusions.Excludes(path)) return;
            out.listed = true;
            out.redo = !CheckFile(path, true, out);
            // The page lines too, as the page would make them (it reads the same settings).
            if (!out.redo && !out.entry.empty()) {
              out.made.line = textlib::DecodeUtf8(platform::WideToAnsi(out.entry));
              out.made.pageLine = writer_.PageLine(out.made.line, pageTerm_);
            }
          } catch (...) {
            out.redo = true;
          }
        });
      } catch (const std::system_error&) {
        ahead.reset();  // no thread to be had: every file on this thread
      }
    }
    for (int i = 1; i < count; ++i) {
      if (SearchCancelRequested || (CancelSource && *CancelSource)) {
        SearchCancelRequested = false;
        if (CancelSource) *CancelSource = false;
        break;
      }
      PumpThrottled();
      if (SetCaption)
        SetCaption(u"Bisher in " + textlib::NumberText(hitList_.Count()) + u" Dateien gefunden. Gesucht wird in Nr.: " +
                   textlib::NumberText(i) + u" von insgesamt: " + textlib::NumberText(count - 1) + u" Dateien.");
      if (ahead) {
        FileOutcome out = ahead->Take(i, [this] { PumpThrottled(); }, std::chrono::milliseconds(kPumpIntervalMs));
        if (!out.redo) {
          if (!out.listed) continue;
          filesSearched_ += out.searched;
          filesNotSearched_ += out.notSearched;
          if (!out.entry.empty()) addHit(out.entry, std::move(out.made));
          afterFile();
          continue;
        }
      }
      // On this thread: without workers, or a file a worker left to it.
      const std::u16string path = pathOf(i);
      if (path.empty() || exclusions.Excludes(path)) continue;
      const int before = hitList_.Count();
      SearchFile(path);
      if (hitList_.Count() > before && !made.empty()) made.emplace_back();
      afterFile();
    }
  }
  paging.Finish(searchText_);
}

}  // namespace search
