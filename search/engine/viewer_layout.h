#pragma once
// What the viewer lays out, as data: the lines of one page with their texts, points and
// character extents (the table of drawn lines that hit testing reads), the hex rows'
// columns, and the conversions of a drawn text into what the memo overlay receives.
// Pixel widths come from a measure the window supplies (its font); without a window a
// fixed-width measure stands in, so the whole layout runs and is tested headless.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// The font as the layout needs it.
class TViewerMeasure {
 public:
  virtual ~TViewerMeasure() = default;
  virtual int LineHeight() const = 0;
  virtual int CharWidth() const = 0;  // the width of "0"
  virtual bool FixedPitch() const = 0;
  // Characters below it are drawn as ".".
  virtual char16_t FirstPrintable() const { return u' '; }
  // widths[i] := pixel width of the first i + 1 units of text (widths is resized to
  // text.size()). Never called with a TAB: the layout places tabs itself.
  virtual void Extents(std::u16string_view text, std::vector<int>& widths) const = 0;
};

// Every character charWidth pixels wide (the low half of a surrogate pair adds nothing).
class TFixedWidthMeasure : public TViewerMeasure {
 public:
  explicit TFixedWidthMeasure(int charWidth = 8, int lineHeight = 16) : charWidth_(charWidth), lineHeight_(lineHeight) {}
  int LineHeight() const override { return lineHeight_; }
  int CharWidth() const override { return charWidth_; }
  bool FixedPitch() const override { return true; }
  void Extents(std::u16string_view text, std::vector<int>& widths) const override;

 private:
  int charWidth_, lineHeight_;
};

// One digit group of a hex row: a byte (two digits) or a UTF-16 unit (four digits).
struct THexCell {
  int column = 0;            // in characters from the row's left edge
  std::u16string digits;
  int64_t offset = 0;        // file offset of the byte or unit
  bool secondColour = false; // TextColorHex2 (index mod 4 is 2 or 3), else TextColorHex
};

// One drawn line (a record of the table of drawn lines). In the hex modes the record is
// the character column, so hit testing and selection work on the characters.
struct TStrPosRecord {
  std::u16string text;  // as drawn: non-printables as ".", blanks and the end mark by TextNonPrintable
  int x = 0, y = 0;     // the point of its first character, before the horizontal scroll
  int64_t offset = 0;   // file offset of its first character
  int64_t length = 0;   // characters of the file the text shows (a trailing "¶" mark is none)
  // extents[i] := pixel width of the first i characters of text as drawn; text.size() + 1
  // entries (a TAB as its filler).
  std::vector<int> extents;
  bool followedByBreak = false;    // the character after it is CR or LF
  bool beginsLogicalLine = false;  // the character before it is CR or LF, or there is none
  // The text as the memo overlay receives it (decoded by the document kind). In the hex
  // modes: the whole row, offset, digits and characters at their columns.
  std::u16string memoText;
  // Hex modes only.
  std::u16string offsetText;  // upper-case hex of the offset digits, then ":"
  std::vector<THexCell> cells;
};

// The table of drawn lines.
class TStrPositions {
 public:
  static constexpr int kMaxLines = 200;

  void Clear(int charSize, int lineHeight);
  // false beyond kMaxLines (the line is not recorded).
  bool Add(TStrPosRecord record);
  int Count() const { return static_cast<int>(lines_.size()); }
  const TStrPosRecord& operator[](int i) const { return lines_[static_cast<size_t>(i)]; }
  const std::vector<TStrPosRecord>& Lines() const { return lines_; }
  int CharSize() const { return charSize_; }

  // -1 without lines; above the first line its offset; in a line the character whose
  // middle lies right of x; right of all characters or below all lines the line's end.
  int64_t OffsetFromPoint(int x, int y) const;
  // The point of the character at offset; false when no recorded line holds it.
  bool PointFromOffset(int64_t offset, int& x, int& y) const;
  // The largest x + text width over the lines.
  int WidestLine() const;

 private:
  std::vector<TStrPosRecord> lines_;
  int charSize_ = 1;
  int lineHeight_ = 1;
};

// One page as the viewer lays it out.
struct TViewerPage {
  TStrPositions lines;
  int64_t viewPos = 0;
  bool endShown = false;
  int64_t bytesShown = 0;
  // The buffer could not be read: only errorText ("Read error at offset %s" with the
  // offset in hex) is drawn, centred, in TextColorError.
  bool readError = false;
  std::u16string errorText;
  int lineHeight = 1, charWidth = 1;
  int gutter = 2;  // left margin in pixels (TextGutterWidth + 2 with the gutter, else 2)
  // Hex modes, in characters from the left margin: the digit box and the three 2-pixel
  // separator lines, and where the character column starts.
  int boxColumn = 0, boxWidth = 0;
  std::array<int, 3> separatorColumns{};
  int charColumn = 0;
};

// The document kind of the shown text (the search window's three flags), by which every
// drawn text is decoded for the memo.
enum class TViewerDocKind : uint8_t { None, Ansi, Utf8, Unicode };

// 8-bit text read as UTF-8 that need not be well formed: a byte that starts no complete
// sequence stands for its code page 1252 character.
std::u16string LenientUtf8ToWide(std::string_view bytes);
// A drawn text as the memo receives it: ANSI store through the lenient decoder, UTF-8
// store through the UTF-8 decoder with U+0C00 and U+0C4D as blanks, Unicode store as it
// is; empty without a kind.
std::u16string MemoText(std::u16string_view drawn, TViewerDocKind kind);

}  // namespace search
