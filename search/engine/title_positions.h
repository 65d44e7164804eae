#pragma once
// Title positions: per document store a file with the byte offset of every record's "#"
// line and that line, so a hit's offset names its document without reading the store.
// Offsets are 64-bit throughout, and a record's range is half-open: its own "#" offset
// belongs to it, the next record's does not. A run loads the file once, not per hit.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "search/engine/database_files.h"
#include "search/engine/search_session.h"

namespace search {

// UTF-8 kind: the path line is the store's bytes taken as code page 1252 and UTF-8
// encoded (a non-ASCII path stands in it encoded twice). MHT kind: encoded once.
enum class TitleKind { Utf8, Mht };

class TTitlePositions {
 public:
  struct Line {
    int64_t offset;
    std::string text;  // the line's bytes
  };
  // A missing file gives no lines (and false). Lines that are not "<number> #<path>"
  // are skipped.
  bool Load(const std::u16string& fileName);
  void Clear() {
    lines_.clear();
    markers_.clear();
  }
  const std::vector<Line>& Lines() const { return lines_; }
  bool Empty() const { return lines_.empty(); }
  // The bytes after the first " #" of the line whose record holds the offset; empty when
  // none.
  std::string RawPathAt(int64_t offset) const;
  // The offset of the first marker after the offset (a record's, or one inside a line);
  // nullopt when none follows or the lines are not in ascending order.
  std::optional<int64_t> NextOffsetAfter(int64_t offset) const;

 private:
  std::vector<Line> lines_;
  std::vector<int64_t> markers_;  // every marker the file lists
  bool ascending_ = true;
};

// The path of the document holding the offset as UTF-8 bytes (the UTF-8 kind decoded
// once from the file, the MHT kind as it stands).
std::string GetPfadUtf8(const TTitlePositions& titles, int64_t offset);
std::string GetPfadUnicode(const TTitlePositions& titles, int64_t offset);

// Builds "<db>_Utf8_TitelPositionen.txt" and "<db>_MHT_TitelPositionen.txt" for the stores
// that exist (the hidden button pressed after every build or update).
void Button4Click(SearchSession& session, const DatabaseFiles& files);
// The title positions of a new store of the database over `root` (its folder, whose drive
// letter marks the records), before the store takes its place: both are renamed together.
bool TitelPositionenVorab(const std::u16string& store, const std::u16string& titleFile, TitleKind kind,
                          std::u16string_view root);
// One kind; false when the store could not be searched to its end (the file is written
// with the lines collected so far all the same).
bool TitelPositionenErstellen(SearchSession& session, const std::u16string& store,
                              const std::u16string& titleFile, TitleKind kind);

// "%.0n": the offset with "." between groups of three digits.
std::u16string FormatGroupedNumber(int64_t value);

// The position display of the document browser: the caption (the formatted offset, and
// when a record matches two blanks and the path in double quotes) and the hint (the path).
struct TitleDisplay {
  std::u16string caption, hint;
};
TitleDisplay ZeigDieTitelAnText(int64_t viewerTopOffset, const TTitlePositions& titles, TitleKind kind,
                                bool sortedListShown);
// Drops 7 characters at a time from the end until the caption fits, then appends "...".
std::u16string FitCaption(std::u16string caption, const std::function<bool(const std::u16string&)>& fits);

}  // namespace search
