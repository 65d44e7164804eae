#include "search/engine/document_model.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "search/engine/viewer_services.h"
#include "textlib/unicode.h"

namespace search {

namespace {

// How far a backward step looks for the break before a line: a line without breaks
// longer than this is laid out from this far back.
constexpr int64_t kBackScanChars = TDocumentModel::kMaxLineSteps * TDocumentModel::kMaxPageLines;
// Wrapping measures this much of a line first; most lines wrap within it.
constexpr size_t kWrapProbe = 256;

const TFixedWidthMeasure& DefaultMeasure() {
  static const TFixedWidthMeasure measure(8, 16);
  return measure;
}

bool IsBreak(char16_t c) { return c == 13 || c == 10; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

int Clamp(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// Clamped to 2..2048, then down to a multiple of 4, at least 2.
int HexWidthRule(int w) { return std::max(2, Clamp(w, 2, TDocumentModel::kTextWidthMax) / 4 * 4); }

std::u16string HexDigits(uint64_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out(static_cast<size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0 && value; --i, value >>= 4) out[static_cast<size_t>(i)] = kDigits[value & 15];
  return out;
}

// a * b / c without overflow for 64-bit file sizes.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  return static_cast<int64_t>(static_cast<__int128>(a) * b / c);
}

}  // namespace

TDocumentModel::TDocumentModel() = default;
TDocumentModel::~TDocumentModel() = default;

void TDocumentModel::Redraw() {
  if (OnRedraw) OnRedraw();
}

// ---------------------------------------------------------------- source

bool TDocumentModel::SameFileOnDisk() const {
  struct stat open {}, named {};
  if (::fstat(file_.Fd(), &open) != 0) return false;
  if (::stat(platform::PosixPath(fileName_).c_str(), &named) != 0) return false;
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino && named.st_size == size_ &&
         open.st_mtim.tv_sec == named.st_mtim.tv_sec && open.st_mtim.tv_nsec == named.st_mtim.tv_nsec;
}

bool TDocumentModel::Open(const std::u16string& fileName, bool redraw) {
  // The handle is this model's own; a store rewritten under the same name is a new file.
  if (!fileName.empty() && fileName == fileName_ && sourceKind_ == TViewerSourceKind::File && file_.Valid() &&
      SameFileOnDisk())
    return true;
  fileName_ = fileName;
  const bool ok = LoadFile(true);
  if (redraw) Redraw();
  return ok;
}

bool TDocumentModel::OpenThrough(const std::u16string& fileName, std::shared_ptr<TBlockCache> cache) {
  fileName_ = fileName;
  return LoadFile(true, std::move(cache));
}

bool TDocumentModel::LoadFile(bool newFile, std::shared_ptr<TBlockCache> cache) {
  const bool reload = !newFile && IsOpen();
  const int64_t oldView = viewPos_;
  const int oldHView = hViewPos_;
  const bool endWasShown = reload && EndShown();
  const std::u16string name = fileName_;
  CloseSource();
  fileName_ = name;
  if (name.empty()) return true;
  platform::NativeFile file = OpenFileShared(name);
  if (!file.Valid()) {
    MsgError(SubstituteFileName(kMsgCannotOpenFile, name));
    return false;
  }
  const int64_t size = file.Size();
  if (size < 0) return false;
  file_ = std::move(file);
  size_ = size;
  sourceKind_ = TViewerSourceKind::File;
  if (cache && cache->Size() == size_) cache_ = std::move(cache);
  ReadBuffer();
  const std::string_view mark = Fetch(0, 2);
  byteOrder_ = mark == "\xFE\xFF" ? TUnicodeByteOrder::BigEndian : TUnicodeByteOrder::LittleEndian;
  UpdateFits();
  if (reload) {
    if (AutoReload && AutoReloadFollowTail && endWasShown) {
      ScrollToEnd();
      if (!EndShown()) ScrollToEnd();
    } else {
      ScrollToOffset(oldView);
    }
    Redraw();
    SetHViewPos(oldHView);
  }
  return true;
}

bool TDocumentModel::LoadStream(TViewerStream* stream) {
  CloseSource();
  if (!stream) return true;
  int64_t size = -1;
  try {
    size = stream->Size();
  } catch (...) {
    size = -1;
  }
  if (size < 0) {
    MsgError(kMsgCannotReadStream);
    return false;
  }
  stream_ = stream;
  size_ = size;
  sourceKind_ = TViewerSourceKind::Stream;
  ReadBuffer();
  const std::string_view mark = Fetch(0, 2);
  byteOrder_ = mark == "\xFE\xFF" ? TUnicodeByteOrder::BigEndian : TUnicodeByteOrder::LittleEndian;
  UpdateFits();
  return true;
}

void TDocumentModel::CloseSource() {
  file_.Close();
  stream_ = nullptr;
  cache_.reset();
  fileName_.clear();
  sourceKind_ = TViewerSourceKind::None;
  size_ = 0;
  std::string().swap(buffer_);
  bufferStart_ = bufferValid_ = 0;
  bufferOK_ = true;
  failedStart_ = -1;
  viewPos_ = 0;
  hViewPos_ = 0;
  widest_ = 0;
  selStart_ = selLength_ = 0;
  byteOrder_ = TUnicodeByteOrder::Unknown;
}

// ---------------------------------------------------------------- reading

void TDocumentModel::ReadFailed() {
  bufferOK_ = false;
  if (sourceKind_ == TViewerSourceKind::Stream)
    MsgError(kMsgCannotReadStream);
  else
    MsgError(SubstituteFileName(kMsgCannotReadFile, fileName_));
}

std::string TDocumentModel::ReadDirect(int64_t offset, int64_t count) {
  std::string out;
  if (offset < 0 || count <= 0 || offset >= size_) return out;
  count = std::min(count, size_ - offset);
  if (sourceKind_ == TViewerSourceKind::File && cache_ && cache_->Size() == size_) {
    if (const std::optional<std::string_view> view = cache_->View(offset, count)) return std::string(*view);
    ReadFailed();
    return out;
  }
  out.resize(static_cast<size_t>(count));
  int64_t got = -1;
  if (sourceKind_ == TViewerSourceKind::File) {
    if (file_.Seek(offset, platform::SeekOrigin::Begin) == offset) got = file_.Read(out.data(), count);
  } else if (sourceKind_ == TViewerSourceKind::Stream) {
    try {
      got = stream_->ReadAt(offset, out.data(), count);
    } catch (...) {
      got = -1;
    }
  }
  if (got < 0) {
    ReadFailed();
    return {};
  }
  out.resize(static_cast<size_t>(got));
  return out;
}

bool TDocumentModel::ReadBuffer() {
  if (sourceKind_ == TViewerSourceKind::None) return true;
  if (sourceKind_ == TViewerSourceKind::File && cache_ && cache_->Size() == size_) {
    bufferValid_ = 0;  // Fetch reads through the cache
    bufferOK_ = true;
    return true;
  }
  const int64_t want = std::min(3 * BlockSize(), std::max<int64_t>(0, size_ - bufferStart_));
  bufferValid_ = 0;
  if (want == 0) {
    bufferOK_ = true;
    return true;
  }
  // Block reads, never a mapping: a file cut short meanwhile gives a short read, not a fault.
  bufferOK_ = true;
  std::string bytes = ReadDirect(bufferStart_, want);
  if (!bufferOK_) {
    failedStart_ = bufferStart_;
    return false;
  }
  buffer_ = std::move(bytes);
  bufferValid_ = static_cast<int64_t>(buffer_.size());
  failedStart_ = -1;
  return true;
}

std::string_view TDocumentModel::Fetch(int64_t offset, int64_t count) {
  if (offset < 0 || count <= 0 || offset >= size_) return {};
  const int64_t end = std::min(offset + count, size_);
  if (sourceKind_ == TViewerSourceKind::File && cache_ && cache_->Size() == size_) {
    if (const std::optional<std::string_view> view = cache_->View(offset, end - offset)) return *view;
    ReadFailed();
    return {};
  }
  if (offset < bufferStart_ || end > bufferStart_ + bufferValid_) {
    // Placed one block before, so that reading on upwards stays inside.
    int64_t start = RoundToChar(std::max<int64_t>(0, offset - BlockSize()));
    if (end - start > 3 * BlockSize()) start = RoundToChar(offset);
    if (!bufferOK_ && start == failedStart_) return {};
    bufferStart_ = start;
    if (!ReadBuffer()) return {};
    if (offset < bufferStart_ || offset >= bufferStart_ + bufferValid_) return {};
  }
  const int64_t avail = std::min(end, bufferStart_ + bufferValid_) - offset;
  return std::string_view(buffer_.data() + (offset - bufferStart_), static_cast<size_t>(avail));
}

std::u16string TDocumentModel::DecodeChars(std::string_view bytes) const {
  if (CharSize() == 2) return Utf16Units(bytes);
  std::u16string out = CodepageStringToWide(bytes, encoding_);
  if (out.size() != bytes.size()) out.assign(bytes.size(), u'?');  // a code page not installed here
  return out;
}

std::u16string TDocumentModel::ReadChars(int64_t offset, int64_t count, std::string* bytes) {
  const int cs = CharSize();
  std::string_view view = Fetch(offset, count * cs);
  view = view.substr(0, view.size() / static_cast<size_t>(cs) * static_cast<size_t>(cs));
  if (bytes) bytes->assign(view);
  return DecodeChars(view);
}

char16_t TDocumentModel::Printable(char16_t c, bool lineMode) const {
  if (lineMode && (c == 13 || c == 10 || c == 9)) return c;
  return c < Measure().FirstPrintable() ? u'.' : c;
}

// ---------------------------------------------------------------- properties

void TDocumentModel::SetMode(TFileViewerMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (sourceKind_ == TViewerSourceKind::File) {
    LoadFile(false);
  } else if (sourceKind_ == TViewerSourceKind::Stream) {
    const int64_t view = viewPos_;
    LoadStream(stream_);
    ScrollToOffset(view);
  } else {
    selStart_ = selLength_ = 0;
  }
  UpdateFits();
  if (IsOpen()) Redraw();
}

void TDocumentModel::SetTextEncoding(TViewerEncoding e) {
  encoding_ = e;
  Redraw();
}

void TDocumentModel::SetDocKind(TViewerDocKind kind) { docKind_ = kind; }

void TDocumentModel::SetByteOrder(TUnicodeByteOrder order) {
  byteOrder_ = order;
  if (IsUnicodeMode(mode_)) Redraw();
}

void TDocumentModel::SetTextWidth(int w) { textWidth_ = Clamp(w, 2, kTextWidthMax); }
void TDocumentModel::SetTextWidthHex(int w) { textWidthHex_ = HexWidthRule(w); }
void TDocumentModel::SetTextWidthUHex(int w) { textWidthUHex_ = HexWidthRule(w); }

void TDocumentModel::SetTextWidthFit(bool on) {
  fit_ = on;
  UpdateFits();
}

void TDocumentModel::SetTextWidthFitHex(bool on) {
  fitHex_ = on;
  if (!on) textWidthHex_ = 16;
  UpdateFits();
}

void TDocumentModel::SetTextWidthFitUHex(bool on) {
  fitUHex_ = on;
  if (!on) textWidthUHex_ = 8;
  UpdateFits();
}

void TDocumentModel::SetTextWrap(bool on) {
  wrap_ = on;
  if (on) hViewPos_ = 0;
}

void TDocumentModel::SetTextNonPrintable(bool on) {
  nonPrintable_ = on;
  Redraw();
}

void TDocumentModel::SetTextOemSpecial(bool on) {
  oemSpecial_ = on;
  Redraw();
}

void TDocumentModel::SetTextGutter(bool on) {
  gutter_ = on;
  UpdateFits();
}

void TDocumentModel::SetTextGutterWidth(int px) {
  gutterWidth_ = std::max(0, px);
  UpdateFits();
}

void TDocumentModel::SetTextSearchIndentVert(int n) { indentVert_ = Clamp(n, 0, 80); }
void TDocumentModel::SetTextSearchIndentHorz(int n) { indentHorz_ = Clamp(n, 0, 80); }
void TDocumentModel::SetTextTabSize(int n) { tabSize_ = Clamp(n, 1, 16); }

bool TDocumentModel::UsesOemFont() const { return !IsUnicodeMode(mode_) && encoding_ == vEncOEM && oemSpecial_; }

void TDocumentModel::SetClientSize(int width, int height) {
  const bool taller = height > clientHeight_;
  const bool endWasShown = taller && IsOpen() && EndShown();
  clientWidth_ = std::max(0, width);
  clientHeight_ = std::max(0, height);
  UpdateFits();
  if (endWasShown) ScrollToEnd();
}

void TDocumentModel::SetMeasure(const TViewerMeasure* measure) {
  measure_ = measure;
  UpdateFits();
}

const TViewerMeasure& TDocumentModel::Measure() const { return measure_ ? *measure_ : DefaultMeasure(); }

void TDocumentModel::UpdateFits() {
  if (fit_) textWidth_ = Columns();
  if (fitHex_) textWidthHex_ = HexWidthRule(FitHexBytes());
  if (fitUHex_) textWidthUHex_ = HexWidthRule(FitUHexUnits());
}

// ---------------------------------------------------------------- positions

int64_t TDocumentModel::LastPos() const {
  const int64_t cs = CharSize();
  return std::max<int64_t>(0, size_ / cs * cs - cs);
}

int TDocumentModel::BytesPerLine() const {
  switch (mode_) {
    case vmodeText: return 1;
    case vmodeBinary: return textWidth_;
    case vmodeHex: return textWidthHex_;
    case vmodeUnicode: return 2;
    case vmodeUHex: return 2 * textWidthUHex_;
  }
  return 1;
}

int TDocumentModel::OffsetDigitsFor(int64_t fileSize, int charSize) {
  if (fileSize < charSize || fileSize <= 0) return 8;
  int digits = 0;
  for (uint64_t v = static_cast<uint64_t>(fileSize); v; v >>= 4) ++digits;
  digits = std::max(8, digits);
  return digits % 2 ? digits + 1 : digits;
}

int TDocumentModel::OffsetDigits() const { return OffsetDigitsFor(size_, CharSize()); }

int TDocumentModel::LinesPerPage() const {
  const int lineHeight = std::max(1, Measure().LineHeight());
  return Clamp((clientHeight_ - 2) / lineHeight, 0, kMaxPageLines);
}

int TDocumentModel::GutterPixels() const { return gutter_ ? gutterWidth_ + 2 : 2; }

int TDocumentModel::Columns() const {
  const int charWidth = std::max(1, Measure().CharWidth());
  return Clamp((clientWidth_ - GutterPixels()) / charWidth, 2, kTextWidthMax);
}

int TDocumentModel::FitHexBytes() const { return Clamp((Columns() - OffsetDigits() - 5) / 4, 2, kTextWidthMax); }
int TDocumentModel::FitUHexUnits() const { return Clamp((Columns() - OffsetDigits() - 5) / 6, 2, kTextWidthMax); }

int64_t TDocumentModel::MaxViewPos() const {
  const int64_t bpl = BytesPerLine();
  int64_t last = size_ / bpl * bpl;
  if (last == size_) last -= bpl;
  return std::max<int64_t>(0, last - std::max(0, LinesPerPage() - 1) * bpl);
}

void TDocumentModel::PlaceView(int64_t pos) {
  viewPos_ = pos;
  if (sourceKind_ == TViewerSourceKind::None || cache_) return;
  if (pos < bufferStart_ || pos >= bufferStart_ + 2 * BlockSize()) {
    bufferStart_ = RoundToChar(std::max<int64_t>(0, pos - BlockSize()));
    failedStart_ = -1;
    ReadBuffer();
  }
}

void TDocumentModel::SetViewPos(int64_t offset, bool redraw) {
  if (offset < 0 || offset == viewPos_) return;
  const int64_t bpl = BytesPerLine();
  PlaceView(std::min(offset, LastPos()) / bpl * bpl);
  if (redraw) Redraw();
}

void TDocumentModel::SetHViewPos(int px, bool redraw) {
  hViewPos_ = Clamp(px, 0, std::max(0, widest_ - clientWidth_));
  if (redraw) Redraw();
}

void TDocumentModel::ScrollToBegin(bool redraw) {
  hViewPos_ = 0;
  PlaceView(0);
  if (redraw) Redraw();
}

void TDocumentModel::ScrollToEnd(bool redraw) {
  hViewPos_ = 0;
  if (IsLineMode(mode_)) {
    StepLines(std::max(1, LinesPerPage()), TStepDirection::Backward, false, LastPos() + CharSize());
  } else {
    viewPos_ = -1;  // SetViewPos ignores an unchanged position
    SetViewPos(MaxViewPos());
  }
  if (redraw) Redraw();
}

void TDocumentModel::ScrollToOffset(int64_t offset, bool redraw) {
  if (offset <= 0) return ScrollToBegin(redraw);
  if (offset > LastPos()) return ScrollToEnd(redraw);
  if (IsLineMode(mode_)) {
    // The line that holds the offset: a line start stays the first line.
    PlaceView(LineStartOf(offset));
    if (redraw) Redraw();
  } else {
    SetViewPos(offset, redraw);
  }
}

void TDocumentModel::LineUp(int64_t n) {
  if (n <= 0) return;
  if (IsLineMode(mode_)) return StepLines(n, TStepDirection::Backward, true, viewPos_);
  const int64_t bytes = n * BytesPerLine();
  SetViewPos(bytes > viewPos_ ? 0 : viewPos_ - bytes, true);
}

void TDocumentModel::LineDown(int64_t n) {
  if (n <= 0 || EndShown()) return;
  if (IsLineMode(mode_)) return StepLines(n, TStepDirection::Forward, true, viewPos_);
  const int64_t maxView = MaxViewPos();
  if (viewPos_ < maxView) SetViewPos(std::min(maxView, viewPos_ + n * BytesPerLine()), true);
}

void TDocumentModel::PageUp() { LineUp(std::max(1, LinesPerPage())); }
void TDocumentModel::PageDown() { LineDown(std::max(1, LinesPerPage())); }

// The end counts as shown when it lies within the lines that are wholly visible, so the
// last line can always be brought fully into view.
bool TDocumentModel::EndShown() {
  const int cs = CharSize();
  if (size_ < cs) return true;
  const int lines = std::max(1, LinesPerPage());
  if (!IsLineMode(mode_)) return viewPos_ >= size_ - static_cast<int64_t>(lines) * BytesPerLine();
  int64_t pos = viewPos_;
  for (int i = 0; i < lines; ++i) {
    pos = LayLine(pos).next;
    if (pos < 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------- line splitting

bool TDocumentModel::Utf8Text() const {
  return mode_ == vmodeText && (docKind_ == TViewerDocKind::Ansi || docKind_ == TViewerDocKind::Utf8);
}

// A cut before character n moved back so that it splits no surrogate pair (Unicode modes)
// and no UTF-8 sequence (the stores' 8-bit text); when that leaves nothing, the line
// takes the whole first character instead.
int64_t TDocumentModel::AdjustCut(const std::u16string& chars, const std::string& raw, int64_t n) const {
  const int64_t avail = static_cast<int64_t>(chars.size());
  if (n <= 0 || n >= avail) return n;
  if (CharSize() == 2) {
    if (IsHighSurrogate(chars[static_cast<size_t>(n - 1)]) && IsLowSurrogate(chars[static_cast<size_t>(n)]))
      return n > 1 ? n - 1 : n + 1;
    return n;
  }
  if (!Utf8Text()) return n;
  auto byte = [&](int64_t i) { return static_cast<unsigned char>(raw[static_cast<size_t>(i)]); };
  if (byte(n) < 0x80 || byte(n) > 0xBF) return n;
  for (int64_t j = n - 1; j >= 0 && j >= n - 3; --j) {
    const unsigned char b = byte(j);
    if (b >= 0x80 && b <= 0xBF) continue;
    if (b < 0xC0) return n;
    const int64_t length = (b >= 0xF0 && b <= 0xF4) ? 4 : (b & 0x20) ? 3 : 2;
    if (j + length <= n) return n;
    for (int64_t k = j + 1; k < j + length; ++k)
      if (k >= avail || byte(k) < 0x80 || byte(k) > 0xBF) return n;  // no complete sequence: nothing to keep whole
    return j > 0 ? j : std::min(avail, j + length);
  }
  return n;
}

std::vector<int> TDocumentModel::TextExtents(std::u16string_view text) const {
  const TViewerMeasure& measure = Measure();
  std::vector<int> extents(text.size() + 1, 0);
  std::vector<int> widths;
  measure.Extents(u" ", widths);
  const int tabWidth = tabSize_ * std::max(1, widths.empty() ? 0 : widths[0]);
  int x = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'\t') {
      x = measure.FixedPitch() ? (x / tabWidth + 1) * tabWidth : x + tabWidth;
      extents[++i] = x;
      continue;
    }
    size_t end = text.find(u'\t', i);
    if (end == std::u16string_view::npos) end = text.size();
    measure.Extents(text.substr(i, end - i), widths);
    for (size_t k = 0; k < end - i; ++k) extents[i + k + 1] = x + (k < widths.size() ? widths[k] : 0);
    x = extents[end];
    i = end;
  }
  return extents;
}

TDocumentModel::LaidLine TDocumentModel::LayLine(int64_t pos) {
  LaidLine line;
  const int cs = CharSize();
  if (pos < 0 || pos > LastPos() || size_ < cs) return line;
  std::string raw;
  // Two characters more than a line: the break after it, and its second half.
  const std::u16string chars = ReadChars(pos, kMaxLineSteps + 2, &raw);
  const int64_t avail = static_cast<int64_t>(chars.size());
  int64_t n = 0;
  while (n < avail && n < kMaxLineSteps && !IsBreak(chars[static_cast<size_t>(n)])) ++n;
  if (n == kMaxLineSteps && n < avail && !IsBreak(chars[static_cast<size_t>(n)])) n = AdjustCut(chars, raw, n);
  line.text.resize(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i)
    line.text[static_cast<size_t>(i)] = Printable(chars[static_cast<size_t>(i)], true);
  line.consumed = n;
  if (wrap_ && n > 0) {
    const int availWidth = clientWidth_ - GutterPixels();
    std::vector<int> extents = TextExtents(std::u16string_view(line.text).substr(0, std::min<size_t>(line.text.size(), kWrapProbe)));
    if (extents.back() <= availWidth && static_cast<size_t>(n) > kWrapProbe) extents = TextExtents(line.text);
    if (extents.back() > availWidth) {
      int64_t fits = 0;  // the largest prefix that fits
      while (fits + 1 < static_cast<int64_t>(extents.size()) && extents[static_cast<size_t>(fits + 1)] <= availWidth) ++fits;
      int64_t cut = -1;
      for (int64_t j = std::min(n, fits + 1) - 1; j >= 0; --j) {
        const char16_t c = line.text[static_cast<size_t>(j)];
        if (c == u' ' || c == u'\t' || c == u'\\') {
          cut = j + 1;
          break;
        }
      }
      if (cut < 0) cut = AdjustCut(chars, raw, std::max<int64_t>(1, fits));
      line.consumed = cut;
      line.text.resize(static_cast<size_t>(cut));
      if (!line.text.empty() && (line.text.back() == u' ' || line.text.back() == u'\t')) line.text.pop_back();
    }
  }
  int64_t i = line.consumed;
  if (i < avail && IsBreak(chars[static_cast<size_t>(i)])) {
    line.followedByBreak = true;
    const char16_t c = chars[static_cast<size_t>(i)];
    ++i;
    if (i < avail && IsBreak(chars[static_cast<size_t>(i)]) && chars[static_cast<size_t>(i)] != c) ++i;
  }
  const int64_t next = pos + i * cs;
  // The end of the file by its size, not by what was read; a failed read ends the lines.
  const int64_t expected = std::min<int64_t>(kMaxLineSteps + 2, (size_ - pos) / cs);
  line.next = (next > LastPos() || (avail < expected && i >= avail)) ? -1 : next;
  return line;
}

int64_t TDocumentModel::GetLineText(int64_t offset, std::u16string* text) {
  LaidLine line = LayLine(RoundToChar(offset));
  if (text) *text = std::move(line.text);
  return line.consumed;
}

// A position from which lines are laid out exactly as from the file's start: the first
// character after a break (or the start), found at or before the text before x.
int64_t TDocumentModel::Anchor(int64_t x) {
  const int cs = CharSize();
  const int64_t limit = std::max<int64_t>(0, x - kBackScanChars * cs);
  bool inText = false;
  int64_t p = x;
  while (p > limit) {
    const int64_t chunkStart = std::max(limit, p - int64_t{4096} * cs);
    const std::u16string chars = ReadChars(chunkStart, (p - chunkStart) / cs);
    if (static_cast<int64_t>(chars.size()) * cs != p - chunkStart) return p;
    for (size_t i = chars.size(); i > 0; --i) {
      const bool brk = IsBreak(chars[i - 1]);
      if (!inText && brk) continue;
      inText = true;
      if (brk) return chunkStart + static_cast<int64_t>(i) * cs;
    }
    p = chunkStart;
  }
  return limit;
}

std::vector<int64_t> TDocumentModel::LineStartsUpTo(int64_t x) {
  std::vector<int64_t> starts;
  int64_t pos = Anchor(x);
  starts.push_back(pos);
  while (true) {
    const int64_t next = LayLine(pos).next;
    if (next < 0 || next > x) break;
    starts.push_back(next);
    pos = next;
  }
  return starts;
}

int64_t TDocumentModel::LineStartOf(int64_t offset) {
  const int cs = CharSize();
  if (size_ < cs || offset <= 0) return 0;
  return LineStartsUpTo(std::min(RoundToChar(offset), LastPos())).back();
}

int64_t TDocumentModel::LastLineStart() { return LineStartOf(LastPos()); }

int64_t TDocumentModel::NextLinePos(TStepDirection direction, int64_t offset, std::u16string* text) {
  const int cs = CharSize();
  if (size_ < cs || offset < 0) return -1;
  offset = RoundToChar(offset);
  if (direction == TStepDirection::Forward) {
    LaidLine line = LayLine(offset);
    if (text) *text = std::move(line.text);
    return line.next;
  }
  if (offset == 0) return -1;
  offset = std::min(offset, LastPos() + cs);
  const std::vector<int64_t> starts = LineStartsUpTo(offset);
  const int64_t previous = starts.back() < offset ? starts.back() : starts.size() > 1 ? starts[starts.size() - 2] : -1;
  if (previous >= 0 && text) *text = LayLine(previous).text;
  return previous;
}

void TDocumentModel::StepLines(int64_t n, TStepDirection direction, bool redraw, int64_t offset) {
  const int cs = CharSize();
  int64_t pos = RoundToChar(std::clamp<int64_t>(offset, 0, std::max<int64_t>(0, LastPos() + cs)));
  if (size_ < cs) {
    pos = 0;
  } else if (direction == TStepDirection::Forward) {
    for (int64_t i = 0; i < n; ++i) {
      const int64_t next = LayLine(pos).next;
      if (next < 0) {
        pos = LastLineStart();
        break;
      }
      pos = next;
    }
  } else {
    // Each logical line is laid out once, however many of its lines are stepped over.
    int64_t remaining = n;
    while (remaining > 0) {
      if (pos <= 0) {
        pos = 0;
        break;
      }
      const std::vector<int64_t> starts = LineStartsUpTo(pos);
      const int64_t before = static_cast<int64_t>(starts.size()) - (starts.back() == pos ? 1 : 0);
      if (before <= 0) {
        pos = 0;
        break;
      }
      const int64_t take = std::min(remaining, before);
      pos = starts[static_cast<size_t>(before - take)];
      remaining -= take;
    }
  }
  if (pos > LastPos()) pos = LastLineStart();
  PlaceView(pos);
  if (redraw) Redraw();
}

// ---------------------------------------------------------------- the page

TStrPosRecord TDocumentModel::HexRow(int64_t offset, int digits, int width, int row, const TViewerPage& page) {
  const bool units = mode_ == vmodeUHex;
  const int cs = CharSize();
  const int step = units ? 5 : 3;
  TStrPosRecord rec;
  rec.offset = offset;
  rec.offsetText = HexDigits(static_cast<uint64_t>(offset), digits) + u":";
  std::string raw;
  const std::u16string chars = ReadChars(offset, width, &raw);
  const int count = static_cast<int>(chars.size());
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int i = 0; i < count; ++i) {
    THexCell cell;
    cell.column = digits + 3 + step * i + (i > width / 2 - 1 ? 1 : 0);
    cell.offset = offset + static_cast<int64_t>(i) * cs;
    cell.secondColour = i % 4 >= 2;
    for (int k = cs - 1; k >= 0; --k) {
      const auto b = static_cast<unsigned char>(raw[static_cast<size_t>(i * cs + k)]);
      cell.digits += kDigits[b >> 4];
      cell.digits += kDigits[b & 15];
    }
    rec.cells.push_back(std::move(cell));
  }
  rec.text.resize(chars.size());
  for (size_t i = 0; i < chars.size(); ++i) rec.text[i] = Printable(chars[i], false);
  if (nonPrintable_)
    for (char16_t& c : rec.text)
      if (c == u' ') c = u'\u00B7';
  rec.length = count;
  rec.x = page.gutter + page.charColumn * page.charWidth;
  rec.y = row * page.lineHeight;
  rec.extents = TextExtents(rec.text);
  if (docKind_ != TViewerDocKind::None) {
    std::u16string line = rec.offsetText;
    for (const THexCell& cell : rec.cells) {
      line.resize(static_cast<size_t>(cell.column), u' ');
      line += cell.digits;
    }
    line.resize(static_cast<size_t>(page.charColumn), u' ');
    rec.memoText = line + MemoText(rec.text, docKind_);
  }
  return rec;
}

TViewerPage TDocumentModel::LayoutPage() {
  UpdateFits();
  TViewerPage page;
  const TViewerMeasure& measure = Measure();
  const int cs = CharSize();
  page.viewPos = viewPos_;
  page.lineHeight = std::max(1, measure.LineHeight());
  page.charWidth = std::max(1, measure.CharWidth());
  page.gutter = GutterPixels();
  page.lines.Clear(cs, page.lineHeight);
  const int fullLines = std::max(1, LinesPerPage());
  const int lines = std::min(kMaxPageLines, LinesPerPage() + 1);
  if (size_ < cs) {
    page.endShown = true;
    return page;
  }
  Fetch(viewPos_, cs);
  if (!bufferOK_) {
    page.readError = true;
    page.errorText = u"Read error at offset " + HexDigits(static_cast<uint64_t>(viewPos_), OffsetDigits());
    return page;
  }
  const char16_t blankMark = u'\u00B7';
  const char16_t endMark = UsesOemFont() ? u'\u25A0' : u'\u00B6';
  if (IsLineMode(mode_)) {
    int64_t pos = viewPos_;
    for (int i = 0; i < lines && pos >= 0; ++i) {
      LaidLine laid = LayLine(pos);
      TStrPosRecord rec;
      rec.offset = pos;
      rec.length = static_cast<int64_t>(laid.text.size());
      rec.x = page.gutter;
      rec.y = i * page.lineHeight;
      rec.followedByBreak = laid.followedByBreak;
      if (pos == 0) {
        rec.beginsLogicalLine = true;
      } else {
        const std::u16string before = ReadChars(pos - cs, 1);
        rec.beginsLogicalLine = before.empty() || IsBreak(before[0]);
      }
      rec.text = std::move(laid.text);
      if (nonPrintable_) {
        for (char16_t& c : rec.text)
          if (c == u' ') c = blankMark;
        if (rec.followedByBreak) rec.text += endMark;
      }
      rec.extents = TextExtents(rec.text);
      rec.memoText = MemoText(rec.text, docKind_);
      page.bytesShown += (laid.next < 0 ? size_ : laid.next) - pos;
      if (laid.next < 0 && i < fullLines) page.endShown = true;
      page.lines.Add(std::move(rec));
      pos = laid.next;
    }
  } else if (mode_ == vmodeBinary) {
    for (int i = 0; i < lines; ++i) {
      const int64_t offset = viewPos_ + static_cast<int64_t>(i) * textWidth_;
      if (offset >= size_) break;
      const std::u16string chars = ReadChars(offset, textWidth_);
      TStrPosRecord rec;
      rec.offset = offset;
      rec.length = static_cast<int64_t>(chars.size());
      rec.x = page.gutter;
      rec.y = i * page.lineHeight;
      rec.text.resize(chars.size());
      for (size_t k = 0; k < chars.size(); ++k) rec.text[k] = Printable(chars[k], false);
      if (nonPrintable_)
        for (char16_t& c : rec.text)
          if (c == u' ') c = blankMark;
      rec.extents = TextExtents(rec.text);
      rec.memoText = MemoText(rec.text, docKind_);
      page.bytesShown += rec.length;
      page.lines.Add(std::move(rec));
    }
    page.endShown = viewPos_ >= size_ - static_cast<int64_t>(fullLines) * BytesPerLine();
  } else {
    const bool units = mode_ == vmodeUHex;
    const int width = units ? textWidthUHex_ : textWidthHex_;
    const int step = units ? 5 : 3;
    const int digits = OffsetDigits();
    page.boxColumn = digits + 2;
    page.boxWidth = width * step + 2;
    page.separatorColumns = {digits + 2, digits + (width / 2) * step + 3, digits + step * width + 4};
    page.charColumn = digits + step * width + 5;
    for (int i = 0; i < lines; ++i) {
      const int64_t offset = viewPos_ + static_cast<int64_t>(i) * BytesPerLine();
      if (offset > LastPos()) break;
      TStrPosRecord rec = HexRow(offset, digits, width, i, page);
      if (rec.length == 0) break;
      page.bytesShown += rec.length * cs;
      page.lines.Add(std::move(rec));
    }
    page.endShown = viewPos_ >= size_ - static_cast<int64_t>(fullLines) * BytesPerLine();
  }
  widest_ = std::max(widest_, page.lines.WidestLine());
  return page;
}

// ---------------------------------------------------------------- scroll bars

TScrollBarInfo TDocumentModel::VerticalScrollBar() {
  TScrollBarInfo bar;
  const int cs = CharSize();
  if (!bufferOK_ || size_ < cs) return bar;
  if (IsLineMode(mode_) && viewPos_ == 0 && EndShown()) return bar;
  const int64_t bpl = BytesPerLine();
  bar.visible = true;
  bar.max = std::clamp<int64_t>(size_ / bpl, 4, 32767);
  bar.pos = std::min(bar.max, MulDiv(viewPos_, bar.max, size_));
  if (IsLineMode(mode_)) {
    bar.page = 0;
  } else {
    int64_t page = std::max<int64_t>(1, MulDiv(static_cast<int64_t>(LinesPerPage()) * bpl, bar.max, size_));
    if (page >= bar.max) page = bar.max + 1;
    bar.page = std::min<int64_t>(page, 32767);
  }
  return bar;
}

TScrollBarInfo TDocumentModel::HorizontalScrollBar() {
  TScrollBarInfo bar;
  if (!bufferOK_ || size_ == 0) return bar;
  if (IsLineMode(mode_) && wrap_) return bar;
  if (mode_ == vmodeBinary && fit_ && Measure().FixedPitch()) return bar;
  bar.visible = true;
  bar.max = std::max<int64_t>(widest_, int64_t{clientWidth_} + hViewPos_);
  bar.page = int64_t{clientWidth_} + 1;
  bar.pos = hViewPos_;
  return bar;
}

int64_t TDocumentModel::ThumbToOffset(int64_t thumb) const {
  return MulDiv(size_, thumb, std::max<int64_t>(1, std::min<int64_t>(32767, size_ / BytesPerLine())));
}

void TDocumentModel::VScroll(TScrollCode code, int64_t thumb) {
  switch (code) {
    case TScrollCode::LineUp: LineUp(1); break;
    case TScrollCode::LineDown: LineDown(1); break;
    case TScrollCode::PageUp: PageUp(); break;
    case TScrollCode::PageDown: PageDown(); break;
    case TScrollCode::Top: ScrollToBegin(true); break;
    case TScrollCode::Bottom: ScrollToEnd(true); break;
    case TScrollCode::ThumbPosition:
    case TScrollCode::ThumbTrack: {
      const int64_t offset = ThumbToOffset(thumb);
      if (!(EndShown() && offset >= viewPos_)) ScrollToOffset(offset, true);
      break;
    }
    case TScrollCode::EndScroll: break;
  }
  if (OnScroll) OnScroll();
}

void TDocumentModel::HScroll(TScrollCode code, int64_t thumb) {
  switch (code) {
    case TScrollCode::LineUp: SetHViewPos(hViewPos_ - 200, true); break;
    case TScrollCode::LineDown: SetHViewPos(hViewPos_ + 200, true); break;
    case TScrollCode::PageUp: SetHViewPos(hViewPos_ - clientWidth_, true); break;
    case TScrollCode::PageDown: SetHViewPos(hViewPos_ + clientWidth_, true); break;
    case TScrollCode::Top: SetHViewPos(0, true); break;
    case TScrollCode::Bottom: SetHViewPos(widest_, true); break;
    case TScrollCode::ThumbPosition:
    case TScrollCode::ThumbTrack: SetHViewPos(static_cast<int>(std::clamp<int64_t>(thumb, 0, INT32_MAX)), true); break;
    case TScrollCode::EndScroll: break;
  }
  if (OnScroll) OnScroll();
}

// ---------------------------------------------------------------- selection

void TDocumentModel::SetSelection(int64_t start, int64_t length, bool scrollIntoView, bool notify) {
  const int64_t cs = CharSize();
  if (!IsOpen() || size_ < cs || start < 0 || start > LastPos() || length < 0) return;
  start = start / cs * cs;
  length = std::min(length / cs * cs, LastPos() + cs - start);
  const bool changed = start != selStart_ || length != selLength_;
  selStart_ = start;
  selLength_ = length;
  if (scrollIntoView) ScrollIntoView(start);
  if (scrollIntoView || changed) Redraw();
  if (changed && notify && OnSelectionChange) OnSelectionChange();
}

void TDocumentModel::ScrollIntoView(int64_t start) {
  if (IsLineMode(mode_)) {
    StepLines(indentVert_, TStepDirection::Backward, false, LineStartOf(start));
  } else {
    const int64_t bpl = BytesPerLine();
    const int64_t line = start / bpl * bpl;
    SetViewPos(std::max<int64_t>(0, line - indentVert_ * bpl));
  }
  const TViewerPage page = LayoutPage();
  int x = 0, y = 0;
  if (!page.lines.PointFromOffset(start, x, y)) return;
  const int drawn = x - hViewPos_;
  if (drawn < 0 || drawn > clientWidth_ - 4) SetHViewPos(x - indentHorz_ * page.charWidth);
}

bool TDocumentModel::IsDelimiter(int kind, std::string_view bytes, int64_t index) const {
  uint32_t c;
  if (CharSize() == 2) {
    const auto a = static_cast<unsigned char>(bytes[static_cast<size_t>(index)]);
    const auto b = static_cast<unsigned char>(bytes[static_cast<size_t>(index) + 1]);
    c = byteOrder_ == TUnicodeByteOrder::BigEndian ? (a << 8 | b) : (b << 8 | a);
  } else {
    c = static_cast<unsigned char>(bytes[static_cast<size_t>(index)]);
  }
  if (c == 13 || c == 10) return true;
  if (kind == 0) return false;
  // The viewer's own word delimiters: the blank, ASCII punctuation but the underscore,
  // DEL and TAB (not the search's word rule).
  return c == 9 || (c >= 32 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 ||
         (c >= 123 && c <= 127);
}

void TDocumentModel::SelectAt(int kind, int64_t offset) {
  const int64_t cs = CharSize();
  if (!IsOpen() || size_ < cs || offset < 0 || offset > LastPos()) return;
  offset = offset / cs * cs;
  const int64_t windowStart = std::max<int64_t>(0, offset - kMaxLineSteps * cs);
  const int64_t windowEnd = std::min(LastPos() + cs, offset + (kMaxLineSteps + 1) * cs);
  // A view, not a copy: nothing reads the source again before the ends are found.
  const std::string_view bytes = Fetch(windowStart, windowEnd - windowStart);
  if (static_cast<int64_t>(bytes.size()) < windowEnd - windowStart) return;
  int64_t first = offset - windowStart, last = first;
  const int64_t end = static_cast<int64_t>(bytes.size());
  if (cs == 1 && kind == 0) {
    // A line of 8-bit characters, the common case of a store search's every hit: the
    // bytes compared directly.
    auto isBreak = [&](int64_t i) { return bytes[static_cast<size_t>(i)] == '\r' || bytes[static_cast<size_t>(i)] == '\n'; };
    for (int64_t step = 0; step < kMaxLineSteps && first - 1 >= 0 && !isBreak(first - 1); ++step) --first;
    for (int64_t step = 0; step < kMaxLineSteps && last + 2 <= end && !isBreak(last + 1); ++step) ++last;
  } else {
    for (int64_t step = 0; step < kMaxLineSteps && first - cs >= 0 && !IsDelimiter(kind, bytes, first - cs); ++step)
      first -= cs;
    for (int64_t step = 0; step < kMaxLineSteps && last + 2 * cs <= end && !IsDelimiter(kind, bytes, last + cs); ++step)
      last += cs;
  }
  SetSelection(windowStart + first, last - first + cs, false, true);
}

void TDocumentModel::SelectAll() { SetSelection(0, size_, false, true); }

void TDocumentModel::SelectNone() {
  const bool changed = selStart_ != 0 || selLength_ != 0;
  selStart_ = selLength_ = 0;
  if (changed) Redraw();
}

std::string TDocumentModel::SelBytes(int64_t limit) {
  if (selLength_ <= 0) return {};
  const int64_t count = std::min(limit > 0 ? limit : int64_t{16} << 20, selLength_);
  return ReadDirect(selStart_, count);
}

std::string TDocumentModel::SelText() {
  const std::string bytes = SelBytes();
  if (encoding_ == vEncANSI) return bytes;
  return platform::WideToAnsi(CodepageStringToWide(bytes, encoding_));
}

std::u16string TDocumentModel::SelTextW() {
  return Utf16Units(SelBytes());
}

std::u16string TDocumentModel::Utf16Units(std::string_view bytes) const {
  const platform::CodePage order =
      byteOrder_ == TUnicodeByteOrder::BigEndian ? platform::kCpUtf16BE : platform::kCpUtf16LE;
  return *platform::MultiByteToWide(order, bytes);
}

bool TDocumentModel::CopyToClipboard(bool asHex) {
  bool ok = false;
  try {
    auto zerosToBlanks = [](auto text) {
      for (auto& c : text)
        if (c == 0) c = ' ';
      return text;
    };
    if (docKind_ == TViewerDocKind::Utf8) {
      ok = CopyWideTextToClipboard(zerosToBlanks(textlib::DecodeUtf8(SelBytes())));
    } else if (IsUnicodeMode(mode_)) {
      ok = CopyWideTextToClipboard(zerosToBlanks(SelTextW()));
    } else {
      const std::string bytes = SelBytes();
      ok = CopyToClipboardEncoded(asHex ? StrToHexBytes(bytes) : zerosToBlanks(bytes), encoding_);
    }
  } catch (...) {
    ok = false;
  }
  if (!ok) MsgError(kMsgCannotCopyToClipboard);
  return ok;
}

}  // namespace search
