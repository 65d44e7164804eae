#include "search/engine/title_positions.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/index/document_store.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/file_mapping.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "search/engine/document_model.h"
#include "search/engine/viewer_services.h"
#include "textlib/unicode.h"

namespace search {
namespace {

constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr std::string_view kStampWord = "Speicherstand ";
// The bytes at the store's end that its stamp hashes.
constexpr int64_t kStampedTail = 64 * 1024;
// A search narrows the lines down by halves until this many bytes are left.
constexpr size_t kLinearBytes = 4096;

std::string DecodeOnce(const std::string& bytes) {
  return platform::WideToAnsi(textlib::DecodeUtf8(bytes));
}

uint64_t Fnv1a(std::string_view bytes, uint64_t h = 14695981039346656037ull) {
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::string StampLine(const StoreStamp& stamp) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(stamp.hash));
  return std::string(kStampWord) + std::to_string(stamp.size) + " " + hex;
}

std::optional<StoreStamp> ParseStamp(std::string_view line) {
  if (!line.starts_with(kStampWord)) return std::nullopt;
  line.remove_prefix(kStampWord.size());
  StoreStamp stamp;
  const char* end = line.data() + line.size();
  auto r = std::from_chars(line.data(), end, stamp.size);
  if (r.ec != std::errc() || r.ptr == end || *r.ptr != ' ') return std::nullopt;
  r = std::from_chars(r.ptr + 1, end, stamp.hash, 16);
  if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
  return stamp;
}

}  // namespace

std::optional<StoreStamp> StoreStampOf(const std::u16string& store) {
  platform::NativeFile file = platform::NativeFile::Open(platform::PosixPath(store), platform::FileAccess::Read);
  if (!file.Valid()) return std::nullopt;
  StoreStamp stamp;
  stamp.size = file.Size();
  if (stamp.size < 0) return std::nullopt;
  const int64_t from = std::max<int64_t>(0, stamp.size - kStampedTail);
  std::string tail(static_cast<size_t>(stamp.size - from), '\0');
  const auto length = static_cast<int64_t>(tail.size());
  if (platform::ReadFullyAt(file.Fd(), tail.data(), length, from) != length) return std::nullopt;
  stamp.hash = Fnv1a(tail);
  return stamp;
}

// One line of the file: [begin, end) without its line end, next the start of the line
// after it; valid when it reads "<number> <text>" and is no longer than a title line.
TTitlePositions::TTitlePositions() = default;
TTitlePositions::~TTitlePositions() { Clear(); }

void TTitlePositions::Clear() {
  mapping_.reset();
  data_ = nullptr;
  size_ = 0;
  copy_.clear();
  copy_.shrink_to_fit();
  records_ = 0;
  first_ = last_ = 0;
  ascending_ = true;
  stamp_.reset();
  memo_[0] = memo_[1] = Memo{};
}

bool TTitlePositions::ParseAt(size_t at, Parsed& line) const {
  const char* nl = static_cast<const char*>(std::memchr(data_ + at, '\n', size_ - at));
  size_t end = nl ? static_cast<size_t>(nl - data_) : size_;
  line = Parsed{0, at, end, nl ? end + 1 : size_, false, false};
  // A line is a marker's line of at most a few thousand characters; a longer one is no
  // title line, and repeated for every hit it would fill the memory and the result pages.
  if (end - at > kMaxLineBytes) return false;
  if (end > at && data_[end - 1] == '\r') --end;
  line.end = end;
  // Only "<number> #<path>" names a record. Anything else (a torn last line, a number
  // out of range, stray text) is left out: read as offset 0 it would cut the range of
  // the record before it.
  const std::string_view text(data_ + at, end - at);
  const size_t blank = text.find(' ');
  if (blank == std::string_view::npos || blank == 0 || blank + 1 >= text.size()) return false;
  const auto result = std::from_chars(text.data(), text.data() + blank, line.offset);
  if (result.ec != std::errc() || result.ptr != text.data() + blank) return false;
  line.valid = true;
  // A marker inside a line is no record, but the marker search stops there all the same.
  line.record = text[blank + 1] == '#';
  return true;
}

bool TTitlePositions::Load(const std::u16string& fileName) {
  Clear();
  platform::NativeFile file =
      platform::NativeFile::Open(platform::PosixPath(fileName), platform::FileAccess::Read);
  if (!file.Valid()) return false;
  const int64_t size = file.Size();
  if (size > 0) {
    mapping_ = platform::ReadOnlyMapping::Map(file.Fd(), size);
    if (mapping_) {
      data_ = mapping_->Data();
      size_ = static_cast<size_t>(size);
    }
  }
  if (!mapping_) {
    const auto bytes = platform::ReadWholeFile(platform::PosixPath(fileName));
    if (!bytes) return false;
    copy_ = *bytes;
    data_ = copy_.data();
    size_ = copy_.size();
  }
  // One pass in order: how many records, whether the offsets ascend, and the stamp.
  Parsed line;
  bool any = false;
  int64_t previous = 0;
  for (size_t at = 0; at < size_; at = line.next) {
    if (!ParseAt(at, line)) {
      if (at == 0) stamp_ = ParseStamp(std::string_view(data_ + line.begin, line.end - line.begin));
      continue;
    }
    if (any && line.offset < previous) ascending_ = false;
    any = true;
    previous = line.offset;
    if (!line.record) continue;
    if (records_ == 0) first_ = line.offset;
    last_ = line.offset;
    ++records_;
  }
  if (Lost()) {
    Clear();
    return false;
  }
  return true;
}

// Of the lines that count (records, or every marker), the last whose offset is at most
// the offset and the first above it, in a file whose offsets ascend: halves first, then
// line by line.
// From the last bracket: the same lines while the offset lies between them, or the next
// few lines on from its upper one. False when that does not settle it.
bool TTitlePositions::BracketFromMemo(int64_t offset, bool recordsOnly, Parsed* below, Parsed* above) const {
  const Memo& memo = memo_[recordsOnly];
  if (!memo.set || (memo.below.valid && offset < memo.below.offset)) return false;
  if (!memo.above.valid || offset < memo.above.offset) {
    if (below) *below = memo.below;
    if (above) *above = memo.above;
    return true;
  }
  Parsed last = memo.above, line;
  constexpr int kMostSteps = 8;
  size_t at = memo.above.next;
  for (int step = 0; step < kMostSteps && at < size_; ++step, at = line.next) {
    ParseAt(at, line);
    if (!line.valid || (recordsOnly && !line.record)) continue;
    if (line.offset > offset) {
      memo_[recordsOnly] = Memo{true, last, line};
      if (below) *below = last;
      if (above) *above = line;
      return true;
    }
    last = line;
  }
  if (at < size_) return false;
  memo_[recordsOnly] = Memo{true, last, Parsed{}};
  if (below) *below = last;
  if (above) *above = Parsed{};
  return true;
}

// Of the lines that count (records, or every marker), the last whose offset is at most
// the offset and the first above it, in a file whose offsets ascend: halves first, then
// line by line.
void TTitlePositions::Bracket(int64_t offset, bool recordsOnly, Parsed* below, Parsed* above) const {
  if (BracketFromMemo(offset, recordsOnly, below, above)) return;
  auto counts = [&](const Parsed& l) { return l.valid && (!recordsOnly || l.record); };
  Parsed found, next;
  size_t lo = 0, hi = size_;
  Parsed line;
  while (hi - lo > kLinearBytes) {
    const size_t mid = lo + (hi - lo) / 2;
    const char* nl = static_cast<const char*>(std::memchr(data_ + mid - 1, '\n', size_ - mid + 1));
    size_t at = nl ? static_cast<size_t>(nl - data_) + 1 : size_;
    bool got = false;
    for (; at < hi; at = line.next) {
      ParseAt(at, line);
      if (counts(line)) {
        got = true;
        break;
      }
    }
    if (got && line.offset <= offset) {
      found = line;
      lo = line.next;
    } else {
      hi = mid;
    }
  }
  for (size_t at = lo; at < size_; at = line.next) {
    ParseAt(at, line);
    if (!counts(line)) continue;
    if (line.offset > offset) {
      next = line;
      break;
    }
    found = line;
  }
  memo_[recordsOnly] = Memo{true, found, next};
  if (below) *below = found;
  if (above) *above = next;
}

std::string TTitlePositions::RawPathAt(int64_t offset) const {
  std::string path = PathAt(offset);
  // Zeros stand where a cut file lost its bytes within the last page still mapped.
  return Lost() || path.find('\0') != std::string::npos ? std::string() : path;
}

std::string TTitlePositions::PathAt(int64_t offset) const {
  if (records_ == 0) return std::string();
  auto afterMarker = [&](const Parsed& l) {
    const std::string_view text(data_ + l.begin, l.end - l.begin);
    const size_t at = text.find(" #");
    return at == std::string_view::npos ? std::string() : std::string(text.substr(at + 2));
  };
  Parsed line;
  if (ascending_) {
    Parsed below;
    Bracket(offset, true, &below, nullptr);
    return below.valid ? afterMarker(below) : std::string();
  }
  // Out of order: the first record whose range up to the next record holds the offset.
  Parsed current;
  for (size_t at = 0; at < size_; at = line.next) {
    if (!ParseAt(at, line) || !line.record) continue;
    if (current.valid && current.offset <= offset && offset < line.offset && !afterMarker(current).empty())
      return afterMarker(current);
    current = line;
  }
  if (current.valid && current.offset <= offset && !afterMarker(current).empty()) return afterMarker(current);
  return std::string();
}

std::optional<int64_t> TTitlePositions::NextOffsetAfter(int64_t offset) const {
  if (!ascending_ || size_ == 0) return std::nullopt;
  Parsed above;
  Bracket(offset, false, nullptr, &above);
  if (!above.valid || Lost()) return std::nullopt;
  return above.offset;
}

std::string GetPfadUtf8(const TTitlePositions& titles, int64_t offset) {
  return DecodeOnce(titles.RawPathAt(offset));
}

std::string GetPfadUnicode(const TTitlePositions& titles, int64_t offset) { return titles.RawPathAt(offset); }

bool TitelPositionenErstellen(SearchSession& session, const std::u16string& store,
                              const std::u16string& titleFile, TitleKind kind) {
  const bool mht = kind == TitleKind::Mht;
  session.quietFlag = true;
  std::u16string text;
  TDocumentModel viewer;
  viewer.SetMode(mht ? TDocumentMode::Unicode : TDocumentMode::Text);
  // The stamp first: it must describe the bytes the positions are taken from.
  const std::optional<StoreStamp> stamp = StoreStampOf(store);
  bool complete = viewer.Open(store);
  if (complete) {
    TStreamSearch search;
    search.NextSource = &session;
    const TViewerEncoding encoding = !mht ? vEncANSI : session.chkUnicodeBE ? vEncUnicodeBE : vEncUnicodeLE;
    const uint8_t options = session.grossKleinBeachten ? kSearchCaseSensitive : 0;
    if (session.setMainCaption)
      session.setMainCaption(mht ? u"UNICODE-DB: Erstelle Liste der Datei-Positionen"
                                 : u"UTF8-DB: Erstelle Liste der Datei-Positionen");
    bool opened = true;
    try {
      search.OpenSearchFile(store);
    } catch (const textlib::Exception&) {
      platform::ShowMessageBox(store + u" kann nicht geöffnet werden.", u"Error", platform::mb::IconError);
      opened = complete = false;
    }
    try {
      bool found = opened && search.FindFirst(session.dokumentmarke, encoding, options, 0);
      while (found) {
        platform::ProcessMessages();
        viewer.SetSelection(search.FoundStart(), search.FoundLength());
        viewer.SelectAt(0, search.FoundStart());
        const std::string number = std::to_string(search.FoundStart());
        text += std::u16string(number.begin(), number.end()) + u" " +
                (mht ? viewer.SelTextW() : platform::AnsiToWide(viewer.SelText())) + u"\r\n";
        session.currentSearchText = session.dokumentmarke;
        found = search.FindNext(false);
      }
    } catch (const textlib::Exception& e) {
      platform::ShowMessageBox(e.Message(), u"Suche fehlgeschlagen", platform::mb::IconError);
      complete = false;
    }
    search.CloseSearchFile();
  }
  if (session.setMainCaption) session.setMainCaption(u"");
  // Positions of a store searched only in part carry no stamp: the next search makes them
  // anew.
  if (complete && stamp) {
    const std::string line = StampLine(*stamp);
    text.insert(0, std::u16string(line.begin(), line.end()) + u"\r\n");
  }
  if (!app::WriteToStream(text, titleFile, 65001)) {
    // Title positions of an older store would name every hit after the wrong document;
    // without a file the next search builds them anew.
    const std::u16string error = app::WriteErrorText(titleFile);
    platform::RemoveFile(platform::PosixPath(titleFile));
    platform::ShowMessageBox(error, u"Quarry-HTML", platform::mb::IconError);
    return false;
  }
  return complete;
}

void Button4Click(SearchSession& session, const DatabaseFiles& files) {
  session.quietFlag = true;
  const std::u16string root = textlib::UnicodeTrim(LiesWurzelPfad(files.Description()));
  session.dokumentmarke = u"#" + root.substr(0, 1) + u":\\";
  if (!root.empty()) {
    if (FileExistsNotDirectory(files.Utf8Store()))
      TitelPositionenErstellen(session, files.Utf8Store(), files.Utf8TitlePositions(), TitleKind::Utf8);
    if (FileExistsNotDirectory(files.MhtStore()))
      TitelPositionenErstellen(session, files.MhtStore(), files.MhtTitlePositions(), TitleKind::Mht);
  }
  session.quietFlag = false;
}

bool TitelPositionenVorab(const std::u16string& store, const std::u16string& titleFile, TitleKind kind,
                          std::u16string_view root) {
  SearchSession session;
  session.quietFlag = true;
  session.dokumentmarke = u"#" + std::u16string(root.substr(0, 1)) + u":\\";
  return !root.empty() && TitelPositionenErstellen(session, store, titleFile, kind);
}

std::u16string FormatGroupedNumber(int64_t value) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::u16string out = value < 0 ? u"-" : u"";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += u'.';
    out += static_cast<char16_t>(digits[i]);
  }
  return out;
}

TitleDisplay ZeigDieTitelAnText(int64_t viewerTopOffset, const TTitlePositions& titles, TitleKind kind,
                                bool sortedListShown) {
  TitleDisplay display{FormatGroupedNumber(viewerTopOffset), {}};
  if (titles.Empty() || sortedListShown) return display;
  // The blank lines that open a record (" " CR LF, twice in the UTF-8 store, once in
  // UTF-16 with at most a chunk's mark before) belong to it: a view whose top line is one
  // of them, as after an in-document hit, names the record below.
  const int64_t opening = kind == TitleKind::Mht ? 8 : 6;
  int64_t named = viewerTopOffset;
  if (const std::optional<int64_t> next = titles.NextOffsetAfter(viewerTopOffset);
      next && *next - viewerTopOffset <= opening)
    named = *next;
  const std::string raw = titles.RawPathAt(named);
  if (raw.empty()) return display;
  std::u16string path = textlib::DecodeUtf8(raw);
  if (kind == TitleKind::Utf8) path = textlib::DecodeUtf8(platform::WideToAnsi(path));
  display.hint = path;
  display.caption += u"  \"" + path + u"\"";
  return display;
}

std::u16string FitCaption(std::u16string caption, const std::function<bool(const std::u16string&)>& fits) {
  bool cut = false;
  while (!caption.empty() && !fits(caption)) {
    caption.resize(caption.size() > 7 ? caption.size() - 7 : 0);
    cut = true;
  }
  return cut ? caption + u"..." : caption;
}

}  // namespace search
