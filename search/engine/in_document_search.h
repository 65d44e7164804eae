#pragma once
// The search inside the one document the viewer shows: the first press of "Suchen" collects
// the offsets of every occurrence in one pass, each press then steps to the next one. The
// file is read block by block (never mapped), so a store of any size costs one block plus
// eight bytes per hit. Each kind compares in its own units: ANSI bytes folded through code
// page 1252, UTF-8 characters folded as the database search folds them, UTF-16 units of the
// file's byte order at even offsets only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace search {

inline constexpr char16_t kMsgNichtGefunden[] = u"Nicht gefunden!";
inline constexpr char16_t kMsgLetzteFundstelle[] = u"Dies ist die letzte Fundstelle.";

// The kind of text the search window shows (its document kind flags).
enum class TInDocumentKind { Ansi, Utf8, Unicode };

// Boyer-Moore-Horspool over text[from, to): the offset of the first match at or after
// `from` that ends at or before `to`, or -1. A negative `from` counts as 0. Without case
// both pattern and text are folded through the code page 1252 lower-casing.
int64_t BMHSucheOhneGross(std::string_view pattern, std::string_view text, int64_t from, int64_t to);
int64_t BMHSuche(std::string_view pattern, std::string_view text, int64_t from, int64_t to);

// The hits of one collection.
struct TFundstellen {
  std::vector<int64_t> offsets;  // byte offsets, ascending; overlapping hits all count
  // Bytes of a hit when none of the exceptions below names it: the pattern's length in
  // the file's encoding.
  int64_t length = 0;
  // Hits whose folded match is longer or shorter in bytes (UTF-8: the Kelvin sign is "k"),
  // by offset, ascending.
  std::vector<std::pair<int64_t, int64_t>> otherLengths;
  // Not empty when the file could not be opened or read: the viewer's message to show
  // instead of "Nicht gefunden!". The offsets then hold what was found before.
  std::u16string error;
  bool cancelled = false;  // stopped by Cancel(); the offsets hold what was found
  bool busy = false;       // refused: a collection of this collector is running
  // The memory ran out: the offsets hold the first hits, as many as it allowed.
  bool incomplete = false;

  int64_t LengthOf(size_t index) const;
};

// Collects hits. Long collections process pending window messages between blocks; from
// there the window may press again (refused as busy, nothing is touched), cancel, or
// destroy the collector: the running collection keeps what it needs alive itself and
// stops at its next check.
class TFundstellenSammler {
 public:
  // Bytes read at a time; tests use tiny blocks. Raised as needed to hold twice a match.
  static constexpr int64_t kDefaultBlockSize = int64_t{1} << 20;

  TFundstellenSammler();
  ~TFundstellenSammler();
  TFundstellenSammler(const TFundstellenSammler&) = delete;
  TFundstellenSammler& operator=(const TFundstellenSammler&) = delete;

  // The window's cancel flag: a running collection stops at its next check.
  void Cancel();
  bool Busy() const;

  // The whole collection for the text as typed: ANSI kind in code page 1252 (a text with a
  // character outside it finds nothing, rather than a literal "?"), UTF-8 kind as UTF-8,
  // Unicode kind as UTF-16 units.
  TFundstellen Sammeln(const std::u16string& fileName, std::u16string_view text, TInDocumentKind kind,
                       bool ignoreCase = true);
  // 8-bit pattern: code page 1252 bytes (kind Ansi) or UTF-8 (kind Utf8).
  TFundstellen FundstellenSammeln(const std::u16string& fileName, std::string_view pattern,
                                  TInDocumentKind kind, bool ignoreCase = true);
  // UTF-16 pattern, compared with the file's units: little endian, big endian when the
  // file starts with FE FF.
  TFundstellen FundstellenSammelnUnicode(const std::u16string& fileName, std::u16string_view pattern,
                                         bool ignoreCase = true);

  int64_t BlockSize = kDefaultBlockSize;

  // The flags a running collection shares with its collector, kept alive by both.
  struct Shared;

 private:
  struct Run;
  // What both collections do first: refuse a second run while one is busy, copy what the
  // window owns and open the file. false: `out` says why (busy, or the error) or the
  // pattern is empty.
  bool StartRun(const std::u16string& name, bool emptyPattern, std::optional<Run>& run, TFundstellen& out) const;

  std::shared_ptr<Shared> shared_;
};

// One press of "Suchen" after the hits are known.
struct TWeiterSucheSchritt {
  int64_t index = -1;  // the hit to select, -1: none
  int64_t selStart = 0, selLength = 0;
  // "Nicht gefunden!" without a hit, "Dies ist die letzte Fundstelle." when the selected
  // hit is the last one, else empty.
  std::u16string message;
  // The step went past the last hit and starts over at the first: the window may collect
  // again first (the file may have changed) and step anew with fromStart.
  bool wrapped = false;
};

// The hit after the viewer's current selection: the first hit after its start when
// something is selected (the hit shown before, so overlapping hits come one by one), the
// first at or after the caret otherwise; past the last hit the first one again.
// fromStart (the first press after a collection) takes the first hit of the document.
TWeiterSucheSchritt NaechsteFundstelle(const TFundstellen& hits, bool fromStart, int64_t selStart,
                                       int64_t selLength);

// The file the search looks in: base folder (drive form, ending in "\") + "Datenbank\" +
// database name + the list's or the store's ending of the kind.
std::u16string InDocumentFileName(const std::u16string& baseFolder, const std::u16string& dbName,
                                  TInDocumentKind kind, bool sortedListShown);

}  // namespace search
