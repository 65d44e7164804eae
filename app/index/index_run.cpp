#include "app/index/index_run.h"

#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "app/index/german_numbers.h"
#include "app/index/run_and_wait.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/job_chain.h"
#include "platform/process.h"
#include "platform/window_directory.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "textlib/html/formatter.h"
#include "textlib/io/unistrings.h"
#include "textlib/unicode.h"
#include "textlib/wide/utf.h"
#include "textlib/wide/widefile.h"

namespace app {
namespace {

constexpr std::u16string_view kNoTextMessage =
    u"Diese Datei kann nicht im Webbrowser angezeigt werden oder enthält keinen anzeigbaren Text!\r\n\r\n";
constexpr std::string_view kHeaderKey = "PFAD_UND_ENDUNGEN";
constexpr int64_t kLargeFile = 5000000;

bool Has(std::u16string_view text, std::u16string_view part) { return text.find(part) != std::u16string_view::npos; }
bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Lower case of the ASCII letters only: enough for the ASCII patterns tested on lines that
// hold UTF-8 bytes (no code page 1252 letter lowers to an ASCII one).
std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Splits at CR LF, LF or CR; a final break gives no empty last line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

// The extension as the file functions give it: from the last "." behind the last "\" or ":".
std::string_view ExtensionOf(std::string_view name) {
  const size_t i = name.find_last_of(".\\:");
  if (i == std::string_view::npos || name[i] != '.') return {};
  return name.substr(i);
}

// "*" + the lower-cased extension of a line of UTF-8 bytes.
std::u16string StarExtension(std::string_view line) {
  const std::string_view ext = ExtensionOf(line);
  return u"*" + textlib::UnicodeLowerCase(textlib::DecodeUtf8(ext));
}

std::optional<std::string> ReadFileBytes(std::u16string_view path) {
  platform::NativeFile file = OpenFileProbe(path, textlib::fmOpenRead | textlib::fmShareDenyNone);
  if (!file.Valid()) return std::nullopt;
  const int64_t size = file.Size();
  if (size < 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  const int64_t got = file.Read(bytes.data(), size);
  if (got < 0) return std::nullopt;
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

bool Exists(std::u16string_view path) { return textlib::WideFileExists(path); }

// A copy that keeps the modification time. The library's copy takes ANSI names, which
// cannot reach a base folder or database name outside code page 1252.
bool CopyKeepingDate(std::u16string_view from, std::u16string_view to) {
  const std::string source = platform::PosixPath(from), target = platform::PosixPath(to);
  const std::optional<platform::FileStat> stat = platform::Stat(source);
  if (!stat || !stat->isRegular) return false;
  const std::optional<std::string> bytes = platform::ReadWholeFile(source);
  return bytes && platform::WriteFileAtomically(target, *bytes) &&
         platform::SetModificationTime(target, stat->mtimeSeconds, stat->mtimeNanos);
}

// No file name holds a zero byte; a path with one would open the name cut at it.
bool HasZero(std::string_view text) { return text.find('\0') != std::string_view::npos; }

std::string StripSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::u16string WithBackslash(std::u16string text) {
  if (!text.empty() && text.back() != u'\\') text += u'\\';
  return text;
}

// Whether a memo would hold fewer than `limit` hard lines (a final break adds none).
bool FewerLinesThan(std::u16string_view text, int64_t limit) {
  if (text.ends_with(u"\r\n")) text.remove_suffix(2);
  if (text.empty()) return limit > 0;
  int64_t lines = 1;
  for (size_t p = text.find(u"\r\n"); p != std::u16string_view::npos && lines < limit; p = text.find(u"\r\n", p + 2))
    ++lines;
  return lines < limit;
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028; }

// CR, LF, CR LF and U+2028 become CR LF, as a memo keeps its lines. Text whose breaks are
// all CR LF already (most formatted pages) is passed through untouched.
// The index of the first break at or after i: eight units at a time, since a page's text
// has few of them.
size_t NextBreak(const std::u16string& text, size_t i) {
  const size_t n = text.size();
  const __m128i cr = _mm_set1_epi16(u'\r'), lf = _mm_set1_epi16(u'\n'), ls = _mm_set1_epi16(0x2028);
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const int mask = _mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)), _mm_cmpeq_epi16(v, ls)));
    if (mask) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
  }
  while (i < n && !IsBreak(text[i])) ++i;
  return i;
}

std::u16string ToCrLf(std::u16string text) {
  // Counted first and widened in place from the back: a page's text is never held twice.
  const size_t n = text.size();
  size_t extra = 0;
  for (size_t i = NextBreak(text, 0); i < n; i = NextBreak(text, i + 1)) {
    if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    else ++extra;
  }
  if (extra == 0) return text;
  text.resize(n + extra);
  char16_t* const s = text.data();
  size_t to = n + extra;
  for (size_t i = n; i-- > 0;) {
    const char16_t c = s[i];
    // A LF is half of a pair exactly when a CR stands before it.
    if (c == u'\n' && i > 0 && s[i - 1] == u'\r') {
      s[--to] = u'\n';
      s[--to] = u'\r';
      --i;
    } else if (IsBreak(c)) {
      s[--to] = u'\n';
      s[--to] = u'\r';
    } else {
      s[--to] = c;
    }
  }
  return text;
}

// A text line that reads as a record marker ("#" + letter + ":\\") would open a record of
// its own in the store: the title positions would list it, and the page's later hits would
// be shown under a path the page chose. A blank in front keeps the line searchable.
std::u16string EscapeRecordMarkers(std::u16string text) {
  auto marksAt = [&](size_t i) {
    return i + 3 < text.size() && text[i] == u'#' && text[i + 2] == u':' && text[i + 3] == u'\\' &&
           ((text[i + 1] >= u'A' && text[i + 1] <= u'Z') || (text[i + 1] >= u'a' && text[i + 1] <= u'z'));
  };
  // Only a page that forges markers is copied, and in one pass however many it has.
  std::u16string out;
  size_t copied = 0;
  auto escape = [&](size_t at) {
    if (out.empty()) out.reserve(text.size() + 64);
    out.append(text, copied, at - copied).push_back(u' ');
    copied = at;
  };
  if (marksAt(0)) escape(0);
  for (size_t p = text.find(u"\n#"); p != std::u16string::npos; p = text.find(u"\n#", p + 1))
    if (marksAt(p + 1)) escape(p + 1);
  if (out.empty()) return text;
  out.append(text, copied, std::u16string::npos);
  return out;
}

// A path with a "." or ".." segment names a file outside the folder it seems to lie in.
bool HasDotSegment(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    start = end + 1;
  }
  return false;
}

std::u16string_view FirstLine(std::u16string_view text) { return text.substr(0, text.find(u"\r\n")); }

}  // namespace

// ---- IndexStatus ----

void IndexStatus::Pause(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  do {
    platform::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < end);
}

int64_t IndexStatus::TickCount() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---- conversion ----

static std::u16string LoadedText(std::string_view bytes) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = platform::MultiByteToWide(platform::kCpUtf16LE, bytes.substr(2)).value_or(u"");
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    text = platform::MultiByteToWide(platform::kCpUtf16BE, bytes.substr(2)).value_or(u"");
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    const std::string_view body = bytes.substr(3);
    text = textlib::Utf8ToWide(body);
    // The strict decoder gives nothing for one malformed sequence; the text must not be lost.
    if (text.empty() && !body.empty()) text = Utf8ToWideLenient(body);
  } else {
    text = platform::AnsiToWide(bytes);
  }
  return text;
}

std::u16string LoadWorkingText(std::string_view bytes) { return ToCrLf(LoadedText(bytes)); }

std::u16string FormatWorkingText(std::u16string_view text) { return ToCrLf(textlib::HtmlToText(text)); }

std::u16string ReadDatHeaderPath(std::u16string_view fileName) {
  const std::optional<std::string> bytes = ReadFileBytes(fileName);
  if (!bytes) return {};
  std::u16string line(FirstLine(LoadWorkingText(*bytes)));
  constexpr std::u16string_view kKey = u"PFAD_UND_ENDUNGEN=";
  if (line.starts_with(kKey)) line.erase(0, kKey.size());
  return textlib::DecodeUtf8(platform::WideToAnsi(line));
}

// ---- IndexRun ----

struct IndexRun::Selection {
  std::vector<std::string_view> lines;  // the drive file list
  std::vector<std::string> taken;       // the <db>.dat or archive list being built
  std::u16string folder;                // the dialog's folder text
  std::array<std::u16string, 5> slots;  // "*.ext" or empty
  std::array<std::u16string, 5> lowerSlots;
};

IndexRun::IndexRun(IndexSettings settings, IndexStatus& status) : settings_(std::move(settings)), status_(status) {
  MarkStart();
}

void IndexRun::MarkStart() { startTick_ = status_.TickCount(); }

std::u16string IndexRun::ElapsedText() const {
  // The difference first: whole seconds of each tick would round a start before the
  // clock's zero (a test's, or a machine just started) toward zero.
  return SecondsToHms((status_.TickCount() - startTick_) / 1000);
}

void IndexRun::Pump() { platform::ProcessMessages(); }

std::u16string IndexRun::DbFolder() const { return WithBackslash(settings_.baseFolder) + u"Datenbank\\"; }

std::u16string IndexRun::DbFile(std::u16string_view suffix) const {
  return DbFolder() + settings_.dbName + std::u16string(suffix);
}

std::u16string IndexRun::DriveListPath() const {
  const std::u16string name = u"Haupt_Dateinamen_Liste_Laufwerk_" + std::u16string(1, settings_.driveLetter) + u".txt";
  if (settings_.useControlFolder) return WithBackslash(settings_.controlFolder) + u"Datenbank\\" + name;
  return DbFolder() + name;
}

bool IndexRun::SaveBytes(const std::u16string& path, const std::string& bytes) {
  if (platform::WriteFileAtomically(platform::PosixPath(path), bytes)) return true;
  ReportWriteFailure(WriteErrorText(path));
  return false;
}

void IndexRun::SelectLines(Selection& sel, bool archives) {
  std::u16string currentFolder;
  std::string currentFolderUtf8;
  for (const std::string_view line : sel.lines) {
    const bool continuation = line.size() >= 2 && line[0] == '"' && line[1] == ' ';
    std::string_view name;
    if (continuation) {
      name = line.substr(2);
    } else {
      const size_t slash = line.rfind('\\');
      const size_t cut = slash == std::string_view::npos ? 0 : slash + 1;
      currentFolder = textlib::DecodeUtf8(line.substr(0, cut));
      currentFolderUtf8 = textlib::EncodeUtf8(currentFolder);
      name = line.substr(cut);
    }
    if (line.size() <= 2) continue;
    const std::string lower = AsciiLower(line);
    const bool isArchive = Has(lower, ".mht") || Has(lower, ".eml");
    if (!archives) {
      if (isArchive) continue;
      Pump();
    } else {
      if (!isArchive || Has(lower, ".htm") || Has(lower, "pfad_und_endungen=")) continue;
    }
    const std::u16string& folder = sel.folder;
    if (!Has(currentFolder, folder)) continue;
    const bool inFolder = folder.size() == 3 || currentFolder.size() == folder.size() ||
                          currentFolder == folder + u"\\" ||
                          (currentFolder.size() > folder.size() && currentFolder[folder.size()] == u'\\');
    if (!inFolder) continue;
    if (HasZero(currentFolderUtf8) || HasZero(name)) continue;
    if (HasDotSegment(currentFolderUtf8) || HasDotSegment(name)) continue;
    const std::u16string ext = StarExtension(line);
    const auto slotTakes = [&ext](const std::u16string& slot) { return !slot.empty() && slot == ext; };
    if (std::none_of(sel.lowerSlots.begin(), sel.lowerSlots.end(), slotTakes)) continue;
    // Exclusions are matched last, against the file's whole path, so a long list costs
    // only for the files that would be taken; an excluded line takes nothing from the
    // lines after it (the folder it names stays current).
    if (!exclusions_.Empty() && exclusions_.Excludes(currentFolder + textlib::DecodeUtf8(name))) continue;
    for (const std::u16string& slot : sel.lowerSlots) {
      if (!slotTakes(slot)) continue;
      sel.taken.push_back(currentFolderUtf8 + std::string(name));
      if (archives) break;  // an archive is listed once
    }
  }
}

BuildOutcome IndexRun::LiesDieListeEin() {
  if (settings_.watchTimerRunning) return BuildOutcome::Skipped;
  // One build of a database at a time; it first completes what a killed one committed.
  lock_ = LockDatabase(DbFolder(), settings_.dbName, platform::FileLock::Kind::Exclusive);
  // The lock file goes with the build, unless an extraction it started still runs.
  if (lock_) lock_->RemoveFileOnRelease(platform::PosixPath(DbFile(u".lock")));
  if (!lock_) {
    platform::ShowMessageBox(u"Die Datenbank \"" + settings_.dbName +
                                 u"\" wird gerade von einem anderen Programm erstellt! Bitte warten Sie, bis es fertig ist.",
                             u"Quarry-HTML", platform::mb::IconWarning);
    return BuildOutcome::Locked;
  }
  struct Unlock {
    std::optional<platform::FileLock>& lock;
    ~Unlock() { lock.reset(); }
  } unlock{lock_};
  RollForwardDatabase(DbFolder(), settings_.dbName);
  RemoveDatabaseLeftovers(DbFolder(), settings_.dbName);
  const bool databaseExisted =
      Exists(DbFile(u".dat")) || Exists(DbFile(u"_UTF8Dokument.txt")) || Exists(DbFile(u"_MHTtext.txt"));
  extractionResumed_ = false;
  const auto cancelled = [&] {
    status_.SetStatusText(databaseExisted ? u"Indizierung wurde abgebrochen! Die bisherige Datenbank bleibt unverändert."
                                          : u"Indizierung wurde abgebrochen! Es wurde keine Datenbank erstellt.");
    return BuildOutcome::Cancelled;
  };
  // Cancelled while the file-list builder ran: nothing to do.
  if (cancelRequested_) return cancelled();
  // An unplugged drive or a mistyped folder lists no file: the run would replace the
  // database by an empty one and report success.
  const std::string folderPosix = platform::PosixPath(settings_.folder);
  const std::optional<platform::FileStat> folderStat = platform::Stat(folderPosix);
  if (folderPosix.empty() || !folderStat || !folderStat->isDirectory) {
    platform::ShowMessageBox(u"Der Ordner " + settings_.folder +
                                 u" wurde nicht gefunden (ist das Laufwerk angeschlossen?). Es wurde nichts "
                                 u"indiziert, die Datenbank bleibt wie sie war.",
                             u"Quarry-HTML", platform::mb::IconWarning);
    status_.SetStatusText(u"Der Ordner " + settings_.folder + u" wurde nicht gefunden! Es wurde nichts indiziert.");
    return BuildOutcome::FolderMissing;
  }
  status_.StartVirusScannerNotice();
  indexingStarted_ = true;
  indexing_ = true;

  exclusions_ = ExclusionList::Load(WithBackslash(settings_.baseFolder) + u"AusnahmeIndizierung.txt");

  Selection sel;
  sel.folder = settings_.folder;
  status_.SetCancelButton(u"&Abbruch", true);
  for (size_t i = 0; i < sel.slots.size(); ++i) {
    const std::u16string& slot = settings_.slots[i];
    sel.slots[i] = slot.size() == 1 || slot.empty() ? std::u16string() : u"*" + slot;
    sel.lowerSlots[i] = textlib::UnicodeLowerCase(sel.slots[i]);
  }
  std::string header = "PFAD_UND_ENDUNGEN= " + textlib::EncodeUtf8(sel.folder);
  std::u16string joined;
  for (const std::u16string& slot : sel.slots) {
    header += " " + textlib::EncodeUtf8(slot);
    joined += u" " + slot;
  }
  sel.taken.push_back(header);
  joined = textlib::UnicodeLowerCase(joined);
  const bool mht = Has(joined, u".mht"), eml = Has(joined, u".eml");
  if ((mht || eml) && !settings_.pathListOnly) {
    // The extractor's processes hand their job on through the window folder: without it
    // the chain would break in the middle, so nothing is started.
    const platform::FolderCheck folder = platform::PrepareWindowFolder();
    if (!folder.Trusted()) {
      const std::u16string why = platform::PosixUtf8ToWide(folder.Text()).value_or(u"");
      platform::ShowMessageBox(why + u"\r\nOhne diesen Ordner können die MHT/EML-Dateien nicht indiziert werden. Es wurde "
                                     u"nichts indiziert, die Datenbank bleibt wie sie war.",
                               u"Quarry-HTML", platform::mb::IconWarning);
      status_.SetStatusText(why + u" Es wurde nichts indiziert.");
      indexing_ = false;
      return BuildOutcome::WindowFolderUnusable;
    }
  }
  std::vector<std::string> archives;
  if (mht || eml) {
    archives.push_back("PFAD_UND_ENDUNGEN= " + textlib::EncodeUtf8(sel.folder) + " " +
                       (mht && eml ? "*.mht *.eml" : mht ? "*.mht" : "*.eml"));
  }

  // A missing list must not pass for an empty drive: the run would replace the store by
  // an empty one and report success.
  const std::u16string listPath = DriveListPath();
  const std::optional<std::string> listBytes = ReadFileBytes(listPath);
  if (!listBytes) {
    indexing_ = false;
    platform::ShowMessageBox(u"Die Dateiliste " + listPath +
                                 u" wurde nicht gefunden! Es wurde nichts indiziert.",
                             u"Quarry-HTML", platform::mb::IconWarning);
    return BuildOutcome::NoDriveList;
  }
  std::string_view listText = *listBytes;
  // An edited list may have gained a byte-order mark; it would hide the first folder.
  if (listText.starts_with("\xEF\xBB\xBF")) listText.remove_prefix(3);
  sel.lines = SplitLines(listText);

  SelectLines(sel, false);
  counters_.listedFiles = static_cast<int64_t>(sel.taken.size()) - 1;
  status_.StartStatusTimer();
  status_.Pause(300);

  std::vector<std::string> dat;
  for (std::string& line : sel.taken) {
    if (Has(line, kHeaderKey)) {
      dat.push_back(std::move(line));
      continue;
    }
    const std::string lower = AsciiLower(line);
    if (Has(lower, ".htm") && !Has(lower, ".mht") && !Has(lower, ".eml") && line.size() >= 3 && line[1] == ':' &&
        line[2] == '\\')
      dat.push_back(std::move(line));
  }
  // The description, the store and the archive list are written under temporary names
  // and take their places together at the end (CommitPrepared): a failed, refused or
  // killed run leaves the database's files as they were.
  datBytes_ = JoinLines(dat);
  dat.clear();
  dat.shrink_to_fit();
  if (!settings_.pathListOnly) IndexListedFiles();
  status_.SetCaption(u"");
  bool writeFailed = storeFailed_;
  if (!writeFailed && !settings_.pathListOnly) {
    const std::string storeTemp = store_.Finish();
    if (storeTemp.empty()) {
      writeFailed = true;
      ReportWriteFailure(store_.ErrorText());
    } else {
      prepared_.push_back({storeTemp, platform::PosixPath(DbFile(u"_UTF8Dokument.txt"))});
    }
  }
  writeFailed = writeFailed || !Prepare(DbFile(u".dat"), datBytes_);
  datBytes_.clear();
  datBytes_.shrink_to_fit();

  // Without ".mht" or ".eml" among the slots the archive list has no first line, and a
  // list without it would lose its first archive to every reader.
  sel.taken = std::move(archives);
  if (settings_.pathListOnly) sel.taken.clear();
  if (!sel.taken.empty()) SelectLines(sel, true);
  if (!sel.taken.empty()) {
    const int64_t added = static_cast<int64_t>(sel.taken.size()) - 1;
    counters_.storedFiles += added;
    counters_.listedFiles += added;
  }
  std::string jobList;
  if (!sel.taken.empty()) {
    jobList = JoinLines(sel.taken);
    writeFailed = writeFailed || !Prepare(DbFile(u"_mht.dat"), jobList);
    const size_t key = jobList.find("PFAD_UND_ENDUNGEN= ");
    if (key != std::string::npos) {
      const size_t end = jobList.find("\r\n", key);
      jobList.erase(key, end == std::string::npos ? std::string::npos : end + 2 - key);
    }
  }
  const bool extract = !sel.taken.empty() && !settings_.pathListOnly;
  BuildOutcome outcome = BuildOutcome::Done;
  // The archives are extracted before anything is committed: a failed or cancelled
  // extraction keeps every archive text of the database as it was.
  if (!writeFailed && extract && !cancelRequested_) outcome = RunExtractor(jobList);
  if (cancelRequested_) outcome = BuildOutcome::Cancelled;
  // The title positions and the log belong to the set: made before it is committed and
  // renamed with it, so no reader ever pairs a new store with old title positions.
  if (!writeFailed && outcome != BuildOutcome::Cancelled && !settings_.pathListOnly) {
    if (outcome == BuildOutcome::Done) status_.SetStatusText(u"TitelPositionen werden erstellt.");
    if (!PrepareTitlePositions()) writeFailed = true;
  }
  if (!writeFailed && outcome != BuildOutcome::Cancelled && !PrepareIndexLog()) writeFailed = true;
  if (writeFailed || outcome == BuildOutcome::Cancelled) {
    DiscardPrepared();
    store_.Discard();
  } else if (!CommitPrepared()) {
    writeFailed = true;
  } else if (settings_.pathListOnly) {
    // A store left from an earlier build would make the search take the database for one
    // with documents, and find its old texts.
    for (const std::u16string_view suffix : {u"_UTF8Dokument.txt", u"_MHTtext.txt", u"_Utf8_TitelPositionen.txt",
                                             u"_MHT_TitelPositionen.txt", u"_mht.dat"}) {
      const std::string posix = platform::PosixPath(DbFile(suffix));
      if (platform::Stat(posix) && !platform::RemoveFile(posix)) {
        ReportWriteFailure(WriteErrorText(DbFile(suffix)));
        writeFailed = true;
      }
    }
  }
  if (writeFailed) outcome = BuildOutcome::WriteFailed;
  // The job's files served their turn; a cancelled job's texts stay for its resumption.
  if (extract && outcome != BuildOutcome::ExtractorCancelled) {
    const std::string jobFolder = platform::PosixPath(platform::chain::JobFolder(DbFolder(), settings_.dbName));
    if (platform::IsRealDirectory(jobFolder)) platform::RemoveTreeNoFollow(jobFolder);
  }

  status_.ReleaseSearchFile();
  status_.SetCancelButton(u"&Abbruch", false);
  indexing_ = false;
  if (outcome == BuildOutcome::Cancelled) {
    cancelled();
  } else if (settings_.watchTickCount == 0 && outcome == BuildOutcome::Done) {
    status_.SetStatusText(settings_.resumeAnswer ? u"Fertig mit der abgebrochenen Indizierung.!"
                                                 : u"Fertig mit der Indizierung.!");
  }
  status_.SetCaption(u"");
  status_.SetCancelButton(u"Schli&eßen", true);
  settings_.watchTickCount = 0;
  return outcome;
}

void IndexRun::DropPrepared(const std::u16string& target) {
  const std::string posix = platform::PosixPath(target);
  std::erase_if(prepared_, [&](const PreparedFile& file) {
    if (file.target != posix) return false;
    platform::RemoveFile(file.temp);
    return true;
  });
}

bool IndexRun::PrepareJobFolder(const std::u16string& jobFolder, const std::string& jobList) {
  const std::string folder = platform::PosixPath(jobFolder);
  const std::string temp = folder + "Temp/";
  const std::string db = platform::WideToPosixUtf8(settings_.dbName);
  const std::string partial = folder + db + "_MHTtext.txt";
  const std::string chunkZero = temp + db + "_UTF8Dokument0.txt";
  // The texts a cancelled job stored go on as chunk 0 when it is resumed; everything else
  // in the folder is the leftover of an earlier job of this database.
  const std::u16string progress = DbFile(u"_mht_temp.dat");
  std::optional<std::string> resumeList = Exists(progress) ? ReadFileBytes(progress) : std::nullopt;
  std::string kept;
  if (resumeList) {
    if (platform::Stat(partial)) {
      kept = platform::PosixPath(DbFolder() + u"Temp\\") + db + "_Gleaner_Teil.txt";
      if (!platform::RenameFile(partial, kept)) kept.clear();
    } else if (Exists(DbFile(u"_MHTtext.txt"))) {
      // A resume list of a cancel whose texts were committed as the store.
      kept = platform::PosixPath(DbFolder() + u"Temp\\") + db + "_Gleaner_Teil.txt";
      if (!CopyKeepingDate(DbFile(u"_MHTtext.txt"), platform::DrivePath(kept).value_or(u""))) kept.clear();
    }
  }
  if (platform::IsRealDirectory(folder)) {
    platform::RemoveTreeNoFollow(folder);
  } else if (platform::Stat(folder, false)) {
    platform::RemoveFile(StripSlash(folder));
  }
  const std::string jobs = platform::PosixPath(DbFolder() + u"Temp\\" + std::u16string(platform::chain::kJobsFolderName));
  platform::MakeDirectory(StripSlash(platform::PosixPath(DbFolder() + u"Temp\\")));
  platform::MakeDirectory(jobs);
  platform::MakeDirectory(StripSlash(folder));
  platform::MakeDirectory(StripSlash(temp));
  if (!platform::IsRealDirectory(jobs) || !platform::IsRealDirectory(folder) || !platform::IsRealDirectory(temp)) {
    if (!kept.empty()) platform::RemoveFile(kept);
    ReportWriteFailure(u"Der Ordner " + jobFolder + u"Temp\\ kann nicht erstellt werden: " +
                       platform::PosixUtf8ToWide(platform::SystemErrorText(platform::LastError())).value_or(u""));
    return false;
  }
  extractionResumed_ = !kept.empty() && platform::RenameFile(kept, chunkZero);
  if (!kept.empty() && !extractionResumed_) platform::RemoveFile(kept);
  const std::string& list = extractionResumed_ ? *resumeList : jobList;
  if (!platform::WriteFileAtomically(folder + db + "_mht.dat", list)) {
    ReportWriteFailure(WriteErrorText(jobFolder + settings_.dbName + u"_mht.dat"));
    return false;
  }
  return true;
}

BuildOutcome IndexRun::RunExtractor(const std::string& jobList) {
  const std::u16string programBase = WithBackslash(settings_.programFolder.empty() ? settings_.baseFolder
                                                                                    : settings_.programFolder);
  const std::u16string program = programBase + u"Gleaner";
  const std::u16string jobFolder = platform::chain::JobFolder(DbFolder(), settings_.dbName);
  const std::u16string jobTemp = jobFolder + u"Temp\\";
  const auto jobFile = [&](std::u16string_view suffix) { return jobFolder + settings_.dbName + std::u16string(suffix); };
  const std::u16string output = jobFile(u"_MHTtext.txt");
  if (!PrepareJobFolder(jobFolder, jobList)) return BuildOutcome::WriteFailed;

  // The chain's own lock tells when its last process has ended; the database's lock goes
  // with it, so no second build can start while any of its processes still works.
  const std::string chainLockPath = platform::PosixPath(platform::chain::LockFile(jobTemp, settings_.dbName));
  std::optional<platform::FileLock> chainLock = platform::FileLock::Try(chainLockPath, platform::FileLock::Kind::Exclusive);
  if (!chainLock) {
    ReportWriteFailure(WriteErrorText(platform::chain::LockFile(jobTemp, settings_.dbName)));
    return BuildOutcome::WriteFailed;
  }
  platform::StartOptions options;
  options.passFiles = {chainLock->Fd(), lock_->Fd()};
  options.environment.emplace_back(platform::chain::kFilesVariable, platform::chain::FilesText(2));
  const platform::StartResult started = platform::StartProgram(
      platform::PosixPath(program),
      {platform::WideToPosixUtf8(jobFile(u"_mht.dat")), platform::WideToPosixUtf8(output)}, options);
  chainLock.reset();
  if (!started.Ok()) {
    DropPrepared(DbFile(u"_mht.dat"));
    platform::ShowMessageBox(u"Das Programm " + program + u" kann nicht gestartet werden! Die MHT/EML-Dateien wurden nicht indiziert.",
                             u"Quarry-HTML", platform::mb::IconError);
    status_.SetStatusText(u"Die MHT/EML-Dateien wurden nicht indiziert.");
    return BuildOutcome::ExtractorNotStarted;
  }
  status_.StartInterruptionReport();
  bool cancelSent = false;
  while (!platform::FileLock::Try(chainLockPath, platform::FileLock::Kind::Exclusive)) {
    status_.Pause(25);
    if (cancelRequested_ && !cancelSent) {
      // The chain stops before its next archive; its processes look for this file.
      cancelSent = platform::WriteFileAtomically(platform::PosixPath(platform::chain::CancelFile(jobTemp, settings_.dbName)), "");
    }
  }
  // The first process has let go of the lock, so it is ending; its exit follows at once.
  const std::optional<platform::ProcessExit> first = platform::WaitForProcess(started.pid, 5000);
  if (cancelRequested_) return BuildOutcome::Cancelled;

  const std::optional<std::string> resultBytes = ReadFileBytes(platform::chain::ResultFile(jobTemp, settings_.dbName));
  const std::optional<platform::chain::Result> result =
      resultBytes ? platform::chain::ParseResult(*resultBytes) : std::nullopt;
  // This run's archive list belongs with a store of this run only.
  if (!result || result->outcome != platform::chain::Outcome::Finished) DropPrepared(DbFile(u"_mht.dat"));
  if (result && result->outcome == platform::chain::Outcome::Cancelled && Exists(jobFile(u"_mht_temp.dat"))) {
    // Cancelled in the extractor's window: what it stored waits in the job folder, and the
    // resume list lets the next update go on from there.
    prepared_.push_back({platform::PosixPath(jobFile(u"_mht_temp.dat")),
                         platform::PosixPath(DbFile(u"_mht_temp.dat"))});
    int64_t finished = 0;
    if (const auto list = ReadFileBytes(jobFile(u"_mht_temp.dat")))
      for (const std::string_view line : SplitLines(*list)) finished += line.starts_with('*') ? 1 : 0;
    status_.SetStatusText(u"MHT/EML-Dateien - Abgebrochene Indizierung. Es wurden " + textlib::NumberText(finished) +
                          u" Dateien indiziert. Die bisherigen MHT/EML-Texte bleiben erhalten; beim nächsten "
                          u"Aktualisieren geht es dort weiter.");
    return BuildOutcome::ExtractorCancelled;
  }
  if (!result || result->outcome != platform::chain::Outcome::Finished || !Exists(output)) {
    std::u16string how;
    if (result && !result->text.empty()) {
      how = u": " + result->text;
    } else if (first && !(first->exited && first->code == 0)) {
      how = u" (Exit-Status " + textlib::NumberText(first->exited ? first->code : 128 + first->code) + u")";
    }
    platform::ShowMessageBox(u"Das Programm " + program + u" wurde beendet, ohne die MHT/EML-Dateien fertig zu indizieren" +
                                 how + u"! Die bisherigen MHT/EML-Texte bleiben erhalten.",
                             u"Quarry-HTML", platform::mb::IconError);
    status_.SetStatusText(u"Die MHT/EML-Dateien wurden nicht alle indiziert. Die bisherigen MHT/EML-Texte bleiben erhalten.");
    return BuildOutcome::ExtractorFailed;
  }
  prepared_.push_back({platform::PosixPath(output), platform::PosixPath(DbFile(u"_MHTtext.txt"))});
  const std::u16string log = jobFile(u"_MHT.log");
  if (Exists(log)) prepared_.push_back({platform::PosixPath(log), platform::PosixPath(DbFile(u"_MHT.log"))});
  // The resume list is answered by this store: moved aside before the commit, so a kill
  // in between costs at most the chance to resume, never texts.
  const std::u16string progress = DbFile(u"_mht_temp.dat");
  if (Exists(progress)) platform::RenameFile(platform::PosixPath(progress), platform::PosixPath(jobFolder + u"erledigt_mht_temp.dat"));
  return BuildOutcome::Done;
}

void IndexRun::IndexListedFiles() {
  counters_.storedFiles = 0;
  counters_.untriedFiles = 0;
  counters_.totalBytes = 0;
  storeFailed_ = false;
  const std::u16string storeName = DbFile(u"_UTF8Dokument.txt");
  if (!store_.BeginFile(storeName)) {
    storeFailed_ = true;
    ReportWriteFailure(store_.ErrorText());
    return;
  }
  const std::vector<std::string_view> lines = SplitLines(datBytes_);
  std::vector<std::u16string> slots;
  for (const std::u16string& slot : settings_.slots)
    if (slot.size() > 1) slots.push_back(textlib::UnicodeLowerCase(u"*" + slot));
  for (size_t i = 1; i < lines.size(); ++i) {
    Pump();
    if (HasZero(lines[i])) continue;
    const std::u16string path = textlib::DecodeUtf8(lines[i]);
    if (Has(AsciiLower(lines[i]), ".mht")) continue;
    const std::u16string ext = StarExtension(lines[i]);
    bool wanted = false;
    for (const std::u16string& slot : slots) wanted = wanted || Has(ext, slot);
    if (!wanted) continue;
    platform::NativeFile probe = OpenFileProbe(path, textlib::fmOpenRead | textlib::fmShareExclusive);
    if (!probe.Valid()) continue;
    Pump();
    const int64_t size = GetFileSize64(probe);
    if (size > kLargeFile) status_.SetCaption(u"Bitte Geduld! Große Datei: " + ConvertBytes(size) + u"  " + path);
    probe.Close();
    if (cancelRequested_) {
      counters_.untriedFiles = static_cast<int64_t>(lines.size() - i);
      break;
    }
    if (Exists(path)) {
      Pump();
      StripHTML(path);
    }
    // The first failed write stops the run: the store could not be completed.
    if (store_.Failed()) {
      storeFailed_ = true;
      ReportWriteFailure(store_.ErrorText());
      store_.Discard();
      return;
    }
  }
}

void IndexRun::ReportWriteFailure(const std::u16string& text) {
  platform::ShowMessageBox(text + u"\r\nDie Datenbank bleibt wie sie war.", u"Quarry-HTML", platform::mb::IconError);
  status_.SetStatusText(u"Die Indizierung ist gescheitert! Die Datenbank bleibt wie sie war.");
}

bool IndexRun::Prepare(const std::u16string& target, const std::string& bytes) {
  PreparedFile file{{}, platform::PosixPath(target)};
  platform::NativeFile temp = platform::CreateExclusiveTemp(file.target, &file.temp);
  const bool ok = temp.Valid() && temp.Write(bytes.data(), static_cast<int64_t>(bytes.size())) >= 0 &&
                  temp.Sync() && temp.Close();
  if (!ok) {
    const int error = platform::LastError();
    if (!file.temp.empty()) platform::RemoveFile(file.temp);
    platform::SetLastError(error);
    ReportWriteFailure(WriteErrorText(target));
    return false;
  }
  prepared_.push_back(std::move(file));
  return true;
}

void IndexRun::DiscardPrepared() {
  for (const PreparedFile& file : prepared_) platform::RemoveFile(file.temp);
  prepared_.clear();
}

bool IndexRun::CommitPrepared() {
  std::vector<std::pair<std::string, std::string>> renames;
  for (const PreparedFile& file : prepared_) renames.emplace_back(file.temp, file.target);
  prepared_.clear();
  const std::string journal = platform::PosixPath(DbFile(u".commit"));
  if (CommitDatabaseFiles(journal, renames)) return true;
  const int error = platform::LastError();
  // Without a journal nothing changed; with one, the next reader completes the new set.
  if (!platform::Stat(journal, false))
    for (const auto& [temp, target] : renames) platform::RemoveFile(temp);
  platform::SetLastError(error);
  ReportWriteFailure(WriteErrorText(DbFile(u".commit")));
  return false;
}

bool IndexRun::FlushDocumentStore() {
  const std::u16string name = DbFile(u"_UTF8Dokument.txt");
  if (store_.Flush(name)) return true;
  storeFailed_ = true;
  platform::ShowMessageBox(store_.ErrorText(), u"Quarry-HTML", platform::mb::IconError);
  return false;
}

void IndexRun::StripHTML(std::u16string_view path) {
  memo_.clear();
  {
    platform::NativeFile probe = OpenFileProbe(path, textlib::fmOpenRead | textlib::fmShareExclusive);
    if (!probe.Valid()) return;
    Pump();
  }
  // One read serves the mark, the charset sample and the text.
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes || bytes->empty()) return;
  const EncodingKind kind = DetectTextEncodingBytes(std::string_view(*bytes).substr(0, 4));
  counters_.totalBytes += static_cast<int64_t>(bytes->size());

  // The bytes become text before the HTML is parsed, so character references and raw
  // characters meet in Unicode and the formatted text needs no conversion afterwards.
  // A page is held in one form at a time: the bytes go once decoded, the decoded page once
  // formatted; a page without any text is read again for the fallbacks.
  {
    const std::u16string decoded = DecodePageBytes(*bytes, kind);
    bytes.reset();
    if (!decoded.empty()) memo_ = FormatWorkingText(decoded);
  }
  // Blanks and zero bytes alone are no text.
  if (textlib::UnicodeTrim(memo_).find_first_not_of(u'\0') == std::u16string::npos) memo_.clear();
  if (memo_.empty()) {
    bytes = ReadFileBytes(path);
    // Bytes behind a byte-order mark are what the mark says: read as UTF-16 they would
    // only give characters that were never there.
    if (bytes && kind == kKindNoUnicode) {
      const std::u16string units = *platform::MultiByteToWide(platform::kCpUtf16LE, *bytes);
      if (!units.empty()) memo_ = FormatWorkingText(units);
      if (textlib::UnicodeTrim(memo_).find_first_not_of(u'\0') == std::u16string::npos) memo_.clear();
    }
    if (memo_.empty()) memo_ = std::u16string(kNoTextMessage) + (bytes ? ToCrLf(DecodePageBytes(*bytes, kind)) : u"");
    bytes.reset();
  }

  store_.Append(u" ");
  store_.Append(u" ");
  ++counters_.storedFiles;
  store_.Append(u"#" + std::u16string(path));
  store_.Append(std::u16string(path.size() / 2, u'='));
  if (!Has(status_.StatusText(), u"Windows Defender"))
    status_.SetCaption(textlib::NumberText(counters_.storedFiles) + u"  Datei:  " + std::u16string(path));

  textlib::UnicodeTrimInPlace(memo_);
  memo_ = EscapeRecordMarkers(std::move(memo_));
  if (FewerLinesThan(memo_, 4)) {
    if (Has(FirstLine(memo_), u"body { color:")) memo_ = kNoTextMessage;
    memo_.insert(0, u"\r\n\r\n");
  }
  store_.Append(memo_);
}

bool IndexRun::PrepareWith(const std::u16string& target, const std::function<bool(const std::u16string&)>& write) {
  PreparedFile file{{}, platform::PosixPath(target)};
  if (!platform::CreateExclusiveTemp(file.target, &file.temp).Valid()) return false;
  const std::optional<std::u16string> temp = platform::DrivePath(file.temp);
  if (!temp || !write(*temp) || !platform::Stat(file.temp)) {
    const int error = platform::LastError();
    platform::RemoveFile(file.temp);
    platform::SetLastError(error);
    return false;
  }
  prepared_.push_back(std::move(file));
  return true;
}

bool IndexRun::PrepareTitlePositions() {
  const struct {
    std::u16string_view store, titles;
    bool mht;
  } kinds[] = {{u"_UTF8Dokument.txt", u"_Utf8_TitelPositionen.txt", false}, {u"_MHTtext.txt", u"_MHT_TitelPositionen.txt", true}};
  for (const auto& kind : kinds) {
    const std::string store = platform::PosixPath(DbFile(kind.store));
    const auto it = std::find_if(prepared_.begin(), prepared_.end(), [&](const PreparedFile& f) { return f.target == store; });
    // A store this run does not replace keeps the title positions made for it.
    if (it == prepared_.end()) continue;
    const std::optional<std::u16string> storeTemp = platform::DrivePath(it->temp);
    if (!storeTemp) continue;
    // A store without its title positions would be named wrongly by every search.
    const bool made = PrepareWith(DbFile(kind.titles), [&](const std::u16string& temp) {
      return status_.MakeTitlePositions(*storeTemp, temp, kind.mht, settings_.folder);
    });
    if (!made && status_.MakesTitlePositions()) {
      ReportWriteFailure(WriteErrorText(DbFile(kind.titles)));
      return false;
    }
  }
  return true;
}

bool IndexRun::PrepareIndexLog() {
  if (counters_.totalBytes == 0) return true;
  const std::u16string size = ConvertBytes(counters_.totalBytes);
  // Files a cancel never reached did not fail.
  const int64_t notIndexed = counters_.listedFiles - counters_.storedFiles - counters_.untriedFiles;
  textlib::TUniMemoStrings& lines = logMemo_.Lines();
  lines.Add(u" ");
  lines.Add(u"Dateien insgesamt: " + FormatThousands(counters_.listedFiles));
  lines.Add(u"Konnten nicht indiziert werden: " + textlib::NumberText(notIndexed));
  lines.Add(FormatThousands(counters_.storedFiles) + u" HTML-Dateien wurden indiziert.   Zeit: " + ElapsedText() +
            u"  Gesamtgröße der Datei(en) : " + size);
  std::u16string text;
  for (int i = 0; i < lines.Count(); ++i) text += lines[i] + u"\r\n";
  const std::u16string name = DbFile(u".log");
  if (PrepareWith(name, [&](const std::u16string& temp) { return WriteToStream(text, temp, 1200); })) return true;
  ReportWriteFailure(WriteErrorText(name));
  return false;
}

}  // namespace app
