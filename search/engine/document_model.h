#pragma once
// The viewer's document without a window: one file or stream of any size read through a
// buffer of three blocks, shown in one of five modes; positions, scrolling and scroll-bar
// arithmetic, line splitting, the page as laid out and the selection. The window draws
// what LayoutPage gives and forwards keys, mouse and scroll bars; the hidden viewer of a
// search run uses the same model for selections and snippets.
//
// Each model owns its file handle, so one viewer never reads through a file another has
// opened. Reading is transparent: an offset outside the buffer refills it, so the end of
// the file is judged by its size, never by the buffer's end. Offsets are 64-bit throughout.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "search/engine/block_cache.h"
#include "search/engine/viewer_encoding.h"
#include "search/engine/viewer_layout.h"

namespace search {

enum class TFileViewerMode : uint8_t { Text, Binary, Hex, Unicode, UHex };
using TDocumentMode = TFileViewerMode;
inline constexpr TFileViewerMode vmodeText = TFileViewerMode::Text;
inline constexpr TFileViewerMode vmodeBinary = TFileViewerMode::Binary;
inline constexpr TFileViewerMode vmodeHex = TFileViewerMode::Hex;
inline constexpr TFileViewerMode vmodeUnicode = TFileViewerMode::Unicode;
inline constexpr TFileViewerMode vmodeUHex = TFileViewerMode::UHex;
// Lines found by scanning (text, Unicode) / two bytes per character (Unicode, Unicode hex).
inline bool IsLineMode(TFileViewerMode m) { return m == vmodeText || m == vmodeUnicode; }
inline bool IsUnicodeMode(TFileViewerMode m) { return m == vmodeUnicode || m == vmodeUHex; }

enum class TUnicodeByteOrder : uint8_t { Unknown, LittleEndian, BigEndian };
enum class TStepDirection : uint8_t { Forward, Backward };
enum class TViewerSourceKind : uint8_t { None, File, Stream };

// A stream source (not owned by the model). Throwing counts as a failed read.
class TViewerStream {
 public:
  virtual ~TViewerStream() = default;
  virtual int64_t Size() = 0;
  // Bytes read into buffer (fewer only at the end), or -1.
  virtual int64_t ReadAt(int64_t offset, char* buffer, int64_t count) = 0;
};

struct TScrollBarInfo {
  bool visible = false;
  int64_t max = 0, page = 0, pos = 0;  // the range starts at 0
};
enum class TScrollCode : uint8_t { LineUp, LineDown, PageUp, PageDown, Top, Bottom, ThumbPosition, ThumbTrack, EndScroll };

class TDocumentModel {
 public:
  static constexpr int64_t kMaxLineSteps = 2048;  // the maximal line length in characters
  static constexpr int kMaxPageLines = 200;
  static constexpr int kTextWidthMax = 2048;

  TDocumentModel();
  ~TDocumentModel();
  TDocumentModel(const TDocumentModel&) = delete;
  TDocumentModel& operator=(const TDocumentModel&) = delete;

  // ---- Source
  // A name equal to the one open returns true at once while this model's handle is open
  // and the name still names the same unchanged file; otherwise the file is (re)loaded.
  // Failure: "Cannot open file: ..." (caption "Viewer") and false.
  bool Open(const std::u16string& fileName, bool redraw = false);
  // Opens a file that a stream search has open and reads through the search's buffer
  // until the next Open, so the lines around a hit come from the block it was found in
  // and nothing is read twice.
  bool OpenThrough(const std::u16string& fileName, std::shared_ptr<TBlockCache> cache);
  // Loads FileName(); newFile false keeps the position (a reload after a mode change).
  // A cache of a file of the same size is read through instead of the model's buffer.
  bool LoadFile(bool newFile, std::shared_ptr<TBlockCache> cache = nullptr);
  // Reads from a stream from now on (nullptr: empty, true).
  bool LoadStream(TViewerStream* stream);
  void CloseSource();
  void Close() { CloseSource(); }
  bool IsOpen() const { return sourceKind_ != TViewerSourceKind::None; }
  TViewerSourceKind SourceKind() const { return sourceKind_; }
  const std::u16string& FileName() const { return fileName_; }

  int64_t FileSize() const { return size_; }
  bool BufferOK() const { return bufferOK_; }
  int64_t BufferStart() const { return bufferStart_; }
  int64_t BlockSize() const { return CharSize() * kMaxLineSteps * kMaxPageLines; }

  // ---- Properties (setters clamp; where the window redraws, OnRedraw fires)
  // Changing the mode reloads an open source, keeping the position.
  void SetMode(TFileViewerMode mode);
  TFileViewerMode Mode() const { return mode_; }
  int CharSize() const { return IsUnicodeMode(mode_) ? 2 : 1; }
  TViewerEncoding TextEncoding() const { return encoding_; }
  void SetTextEncoding(TViewerEncoding e);
  TViewerDocKind DocKind() const { return docKind_; }
  void SetDocKind(TViewerDocKind kind);
  TUnicodeByteOrder ByteOrder() const { return byteOrder_; }
  void SetByteOrder(TUnicodeByteOrder order);

  int TextWidth() const { return textWidth_; }              // 80, 2..2048
  void SetTextWidth(int w);
  int TextWidthHex() const { return textWidthHex_; }        // 16, 2..2048, multiple of 4 or 2
  void SetTextWidthHex(int w);
  int TextWidthUHex() const { return textWidthUHex_; }      // 8, same rule
  void SetTextWidthUHex(int w);
  bool TextWidthFit() const { return fit_; }
  void SetTextWidthFit(bool on);
  bool TextWidthFitHex() const { return fitHex_; }          // off restores 16
  void SetTextWidthFitHex(bool on);
  bool TextWidthFitUHex() const { return fitUHex_; }        // off restores 8
  void SetTextWidthFitUHex(bool on);
  bool TextWrap() const { return wrap_; }                   // on scrolls horizontally to 0
  void SetTextWrap(bool on);
  bool TextNonPrintable() const { return nonPrintable_; }
  void SetTextNonPrintable(bool on);
  bool TextOemSpecial() const { return oemSpecial_; }
  void SetTextOemSpecial(bool on);
  bool TextGutter() const { return gutter_; }
  void SetTextGutter(bool on);
  int TextGutterWidth() const { return gutterWidth_; }      // 10 pixels
  void SetTextGutterWidth(int px);
  int TextSearchIndentVert() const { return indentVert_; }  // 5, 0..80 lines
  void SetTextSearchIndentVert(int n);
  int TextSearchIndentHorz() const { return indentHorz_; }  // 5, 0..80 characters
  void SetTextSearchIndentHorz(int n);
  int TextTabSize() const { return tabSize_; }              // 8, 1..16
  void SetTextTabSize(int n);
  // The platform's 24-bit BGR values.
  uint32_t TextColorHex = 8388608;
  uint32_t TextColorHex2 = 16711680;
  uint32_t TextColorHexBack = 15527148;
  uint32_t TextColorLines = 8421504;
  uint32_t TextColorError = 255;
  uint32_t TextColorGutter = 12632256;
  // Auto reload itself (the file watch) belongs to the window; LoadFile follows the tail.
  bool AutoReload = false;
  bool AutoReloadBeep = false;
  bool AutoReloadFollowTail = true;

  // Whether the OEM font draws (1-byte mode, vEncOEM, TextOemSpecial).
  bool UsesOemFont() const;

  // ---- Geometry: the bitmap's size and the font's measure (not owned; nullptr: 8 x 16 fixed).
  void SetClientSize(int width, int height);
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetMeasure(const TViewerMeasure* measure);
  const TViewerMeasure& Measure() const;

  // ---- Positions
  int64_t LastPos() const;
  int BytesPerLine() const;
  // Hex digits of the offset column: max(8, digits of the file size), even; 8 below one character.
  int OffsetDigits() const;
  static int OffsetDigitsFor(int64_t fileSize, int charSize);
  int64_t MaxViewPos() const;  // the largest ViewPos of the fixed-width modes
  int LinesPerPage() const;    // 0..200
  int GutterPixels() const;    // TextGutterWidth + 2 with the gutter, else 2
  int Columns() const;         // 2..2048
  int FitHexBytes() const;     // 2..2048
  int FitUHexUnits() const;    // 2..2048

  int64_t ViewPos() const { return viewPos_; }
  int HViewPos() const { return hViewPos_; }
  void SetViewPos(int64_t offset, bool redraw = false);
  void SetHViewPos(int px, bool redraw = false);  // clamped to 0..max(0, widest - client width)
  void ScrollToOffset(int64_t offset, bool redraw = false);
  void ScrollToBegin(bool redraw = false);
  void ScrollToEnd(bool redraw = false);
  void LineUp(int64_t n = 1);
  void LineDown(int64_t n = 1);
  void PageUp();
  void PageDown();
  // Whether the page at ViewPos reaches the end of the file.
  bool EndShown();

  // ---- Line splitting (line modes)
  // The line starting at offset: its characters as drawn into text (before the
  // non-printable rule) and the number consumed (more than drawn when a trailing blank
  // went); 0 at the end of the file.
  int64_t GetLineText(int64_t offset, std::u16string* text);
  // The next (Forward) or previous (Backward) line start from offset, -1 when none. Both
  // directions lay lines out the same way, so stepping down and up again comes back.
  int64_t NextLinePos(TStepDirection direction, int64_t offset, std::u16string* text = nullptr);
  // n lines from offset; ViewPos := the result (the last line's start at the end, 0 at
  // the beginning).
  void StepLines(int64_t n, TStepDirection direction, bool redraw, int64_t offset);
  // The start of the line that holds offset (line modes).
  int64_t LineStartOf(int64_t offset);

  // ---- The page
  // Lays out the page at ViewPos with the fits applied, records whether the end is shown,
  // and grows the widest text seen.
  TViewerPage LayoutPage();

  // ---- Scroll bars
  TScrollBarInfo VerticalScrollBar();
  TScrollBarInfo HorizontalScrollBar();
  int64_t ThumbToOffset(int64_t thumb) const;
  // The scroll messages; OnScroll fires after each.
  void VScroll(TScrollCode code, int64_t thumb = 0);
  void HScroll(TScrollCode code, int64_t thumb = 0);

  // ---- Selection
  // Ignored for a start below 0 or beyond LastPos and for a negative length.
  void SetSelection(int64_t start, int64_t length, bool scrollIntoView = false, bool notify = false);
  // Kind 0 selects the line, kind 1 the word around the offset (at most 2048 characters
  // on each side); an offset outside the document leaves the selection as it is.
  void SelectAt(int kind, int64_t offset);
  void SelectAll();
  void SelectNone();
  int64_t SelStart() const { return selStart_; }
  int64_t SelLength() const { return selLength_; }
  // The selected bytes (at most limit; 16 MiB for limit <= 0).
  std::string SelBytes(int64_t limit = 0);
  // The bytes through TextEncoding and back to the ANSI code page: for the ANSI encoding
  // the bytes as they are.
  std::string SelText();
  // The bytes as UTF-16 in the document's byte order.
  std::u16string SelTextW();
  // The selection to the clipboard ("Cannot copy data to Clipboard" on failure).
  bool CopyToClipboard(bool asHex);

  // ---- Events
  std::function<void()> OnRedraw;           // where the window redraws
  std::function<void()> OnSelectionChange;
  std::function<void()> OnScroll;

 private:
  struct LaidLine {
    std::u16string text;  // drawn characters, before the non-printable rule
    int64_t consumed = 0; // characters
    int64_t next = -1;    // the next line's start, -1 at the end of the file
    bool followedByBreak = false;
  };
  void Redraw();
  void UpdateFits();
  void PlaceView(int64_t pos);
  bool ReadBuffer();
  void ReadFailed();
  std::string_view Fetch(int64_t offset, int64_t count);
  std::string ReadDirect(int64_t offset, int64_t count);
  std::u16string DecodeChars(std::string_view bytes) const;
  // Two bytes a unit in the document's byte order; an odd last byte is dropped.
  std::u16string Utf16Units(std::string_view bytes) const;
  std::u16string ReadChars(int64_t offset, int64_t count, std::string* bytes = nullptr);
  char16_t Printable(char16_t c, bool lineMode) const;
  bool Utf8Text() const;
  int64_t AdjustCut(const std::u16string& chars, const std::string& raw, int64_t n) const;
  std::vector<int> TextExtents(std::u16string_view text) const;
  LaidLine LayLine(int64_t pos);
  int64_t Anchor(int64_t x);
  std::vector<int64_t> LineStartsUpTo(int64_t x);
  int64_t LastLineStart();
  int64_t RoundToChar(int64_t offset) const { return offset / CharSize() * CharSize(); }
  bool SameFileOnDisk() const;
  void ScrollIntoView(int64_t start);
  bool IsDelimiter(int kind, std::string_view bytes, int64_t index) const;
  TStrPosRecord HexRow(int64_t offset, int digits, int width, int row, const TViewerPage& page);

  std::u16string fileName_;
  TViewerSourceKind sourceKind_ = TViewerSourceKind::None;
  platform::NativeFile file_;
  TViewerStream* stream_ = nullptr;
  std::shared_ptr<TBlockCache> cache_;
  int64_t size_ = 0;
  std::string buffer_;
  int64_t bufferStart_ = 0, bufferValid_ = 0;
  bool bufferOK_ = true;
  int64_t failedStart_ = -1;  // a failed read is not retried (nor reported again) at the same place

  TFileViewerMode mode_ = vmodeText;
  TViewerEncoding encoding_ = vEncANSI;
  TViewerDocKind docKind_ = TViewerDocKind::None;
  TUnicodeByteOrder byteOrder_ = TUnicodeByteOrder::Unknown;
  int textWidth_ = 80, textWidthHex_ = 16, textWidthUHex_ = 8;
  bool fit_ = false, fitHex_ = false, fitUHex_ = false, wrap_ = false;
  bool nonPrintable_ = false, oemSpecial_ = false, gutter_ = false;
  int gutterWidth_ = 10, indentVert_ = 5, indentHorz_ = 5, tabSize_ = 8;

  int clientWidth_ = 200, clientHeight_ = 150;
  const TViewerMeasure* measure_ = nullptr;

  int64_t viewPos_ = 0;
  int hViewPos_ = 0;
  int widest_ = 0;
  int64_t selStart_ = 0, selLength_ = 0;
};

}  // namespace search
