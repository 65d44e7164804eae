#pragma once
// Title positions: per document store a file with the byte offset of every record's "#"
// line and that line, so a hit's offset names its document without reading the store.
// Offsets are 64-bit throughout, and a record's range is half-open: its own "#" offset
// belongs to it, the next record's does not. A run loads the file once, not per hit.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_mapping.h"
#include "search/engine/database_files.h"
#include "search/engine/search_session.h"

namespace search {

// UTF-8 kind: the path line is the store's bytes taken as code page 1252 and UTF-8
// encoded (a non-ASCII path stands in it encoded twice). MHT kind: encoded once.
enum class TitleKind { Utf8, Mht };

// What identifies a store's bytes: its size and a hash of its last bytes (a store only
// grows at its end or is made anew). The title file's first line records the stamp of
// the store it was made from, as "Speicherstand <size> <hash>"; readers that know no
// stamp skip the line as they skip every line that is no "<number> <text>".
struct StoreStamp {
  int64_t size = 0;
  uint64_t hash = 0;
  bool operator==(const StoreStamp&) const = default;
};
// nullopt when the store cannot be read.
std::optional<StoreStamp> StoreStampOf(const std::u16string& store);

class TTitlePositions {
 public:
  TTitlePositions();
  ~TTitlePositions();
  TTitlePositions(const TTitlePositions&) = delete;
  TTitlePositions& operator=(const TTitlePositions&) = delete;
  // The file is mapped, not copied: a lookup reads the lines around its offset, so the
  // memory of a search stays the same whatever the number of documents. A missing file
  // gives no lines (and false). Lines that are not "<number> #<path>" are skipped.
  bool Load(const std::u16string& fileName);
  void Clear();
  bool Empty() const { return records_ == 0; }
  // The lines that name a record.
  size_t Count() const { return records_; }
  // The offset of the first and last record, when there are any.
  std::optional<int64_t> FirstOffset() const { return records_ ? std::optional(first_) : std::nullopt; }
  std::optional<int64_t> LastOffset() const { return records_ ? std::optional(last_) : std::nullopt; }
  // The stamp of the store the file was made from; nullopt for a file without one.
  const std::optional<StoreStamp>& Stamp() const { return stamp_; }
  // The bytes after the first " #" of the line whose record holds the offset; empty when
  // none.
  std::string RawPathAt(int64_t offset) const;
  // The offset of the first marker after the offset (a record's, or one inside a line);
  // nullopt when none follows or the lines are not in ascending order.
  std::optional<int64_t> NextOffsetAfter(int64_t offset) const;

 private:
  struct Parsed {
    int64_t offset = 0;
    size_t begin = 0, end = 0, next = 0;
    bool valid = false, record = false;
  };
  // The lines a bracket found last, per kind of line counted: the hits of a run come in
  // ascending order, mostly in the same record or the next.
  struct Memo {
    bool set = false;
    Parsed below, above;
  };
  bool ParseAt(size_t at, Parsed& line) const;
  std::string PathAt(int64_t offset) const;
  // The file was cut after it was mapped and a page past its new end was read: those
  // pages read as zeros, and what was found among them is no result.
  bool Lost() const { return mapping_ && mapping_->Failed(); }
  void Bracket(int64_t offset, bool recordsOnly, Parsed* below, Parsed* above) const;
  bool BracketFromMemo(int64_t offset, bool recordsOnly, Parsed* below, Parsed* above) const;

  const char* data_ = nullptr;
  size_t size_ = 0;
  std::unique_ptr<platform::ReadOnlyMapping> mapping_;  // behind data_, or none
  std::string copy_;  // a file that cannot be mapped is read
  size_t records_ = 0;
  int64_t first_ = 0, last_ = 0;
  bool ascending_ = true;
  std::optional<StoreStamp> stamp_;
  mutable Memo memo_[2];
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
