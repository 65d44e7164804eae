#include "search/engine/in_document_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/pump.h"
#include "search/engine/block_cache.h"
#include "search/engine/read_ahead.h"
#include "search/engine/text_matcher.h"
#include "search/engine/viewer_services.h"

namespace search {
namespace {

// Horspool's search with its tables indexed by the raw text byte, the folding already
// applied, so a step costs one load less; bytes that fold to the last pattern byte skip 0,
// which ends the skip loop.
class BmhPattern {
 public:
  BmhPattern(std::string_view pattern, bool ignoreCase) {
    const auto& lower = AnsiLowerTable();
    for (int b = 0; b < 256; ++b) fold_[b] = ignoreCase ? lower[b] : static_cast<unsigned char>(b);
    for (const char c : pattern) pattern_.push_back(static_cast<char>(fold_[static_cast<unsigned char>(c)]));
    const int64_t len = Length();
    if (len == 0) return;
    // Horspool's shift, by the folded byte: both cases of a letter ("Ä" and "ä") get it.
    std::array<int64_t, 256> byFolded;
    byFolded.fill(len);
    for (int64_t i = 0; i + 1 < len; ++i) byFolded[static_cast<unsigned char>(pattern_[i])] = len - 1 - i;
    const auto anchor = static_cast<unsigned char>(pattern_.back());
    for (int b = 0; b < 256; ++b) {
      shift_[b] = byFolded[fold_[b]];
      skip_[b] = fold_[b] == anchor ? 0 : shift_[b];
    }
  }

  int64_t Length() const { return static_cast<int64_t>(pattern_.size()); }

  int64_t Find(std::string_view text, int64_t from, int64_t to) const {
    const int64_t len = Length();
    if (from < 0) from = 0;
    to = std::min<int64_t>(to, static_cast<int64_t>(text.size()));
    if (len == 0 || len > to - from) return -1;
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const auto* p = reinterpret_cast<const unsigned char*>(pattern_.data());
    const int64_t unrolledEnd = to - 3 * len;  // three skips from before it stay inside
    int64_t end = from + len - 1;
    for (;;) {
      while (end < unrolledEnd && skip_[t[end]] != 0) {
        end += skip_[t[end]];
        end += skip_[t[end]];
        end += skip_[t[end]];
      }
      while (end < to && skip_[t[end]] != 0) end += skip_[t[end]];
      if (end >= to) return -1;
      // The last byte matches: compare backwards.
      int64_t k = len - 2, j = end - 1;
      while (k >= 0 && fold_[t[j]] == p[k]) --k, --j;
      if (k < 0) return end - len + 1;
      // The mismatching byte may allow a longer shift than the window's last byte.
      end = std::max(end + shift_[t[end]], j + shift_[t[j]]);
    }
  }

 private:
  std::array<unsigned char, 256> fold_{};
  std::array<int64_t, 256> shift_{};  // Horspool's shift of a text byte
  std::array<int64_t, 256> skip_{};   // the same, 0 for the last pattern byte's forms
  std::string pattern_;
};

// What a collection reads its file for: starts are multiples of `unit`; a match is at most
// `maxMatch` bytes long and its decoding may look `guard` bytes beyond its end (a UTF-8
// sequence cut by the block end must not be taken for a stray byte).
struct ScanShape {
  int64_t unit = 1;
  int64_t maxMatch = 1;
  int64_t guard = 0;
};

}  // namespace

struct TFundstellenSammler::Shared {
  bool busy = false;
  bool cancel = false;
};

namespace {

// Marks a collection running for its lifetime; holds the shared state itself, so the
// collector may be destroyed from a window message meanwhile.
class BusyScope {
 public:
  explicit BusyScope(std::shared_ptr<TFundstellenSammler::Shared> shared) : shared_(std::move(shared)) {
    shared_->busy = true;
    shared_->cancel = false;
  }
  ~BusyScope() { shared_->busy = false; }
  bool Cancelled() const { return shared_->cancel; }

 private:
  std::shared_ptr<TFundstellenSammler::Shared> shared_;
};

}  // namespace

// One collection's own state: its mark as running and copies of what the window owns.
struct TFundstellenSammler::Run {
  Run(std::shared_ptr<Shared> shared, std::u16string name, int64_t size)
      : scope(std::move(shared)), fileName(std::move(name)), blockSize(size) {}
  BusyScope scope;
  std::u16string fileName;
  int64_t blockSize;
  platform::NativeFile file;
};

namespace {

// Hits gathered in chunks of their own and put into one vector of the exact size at the
// end: a growing vector would hold up to twice the hits and need three times while it
// moves, which a one-letter text in a store of gigabytes cannot afford.
class HitChunks {
 public:
  static constexpr size_t kChunk = size_t{1} << 16;

  // false when the memory ran out; the hits before are kept.
  bool Add(int64_t offset) {
    try {
      if (chunks_.empty() || chunks_.back().size() == kChunk) {
        chunks_.emplace_back();
        chunks_.back().reserve(kChunk);
      }
    } catch (const std::bad_alloc&) {
      if (!chunks_.empty() && chunks_.back().empty()) chunks_.pop_back();
      return false;
    }
    chunks_.back().push_back(offset);
    return true;
  }

  // Moves the hits into `out`, freeing each chunk once copied. When the vector cannot be
  // had for all of them, the last chunks are given up (false).
  bool MoveTo(std::vector<int64_t>& out) {
    bool whole = true;
    while (!chunks_.empty()) {
      size_t total = 0;
      for (const auto& c : chunks_) total += c.size();
      try {
        out.reserve(total);
        break;
      } catch (const std::bad_alloc&) {
        chunks_.pop_back();
        whole = false;
      }
    }
    for (auto& c : chunks_) {
      out.insert(out.end(), c.begin(), c.end());
      std::vector<int64_t>().swap(c);
    }
    chunks_.clear();
    return whole;
  }

 private:
  std::vector<std::vector<int64_t>> chunks_;
};

// Reads the file block by block: `prepare(buffer, n)` once per block, then `find(block,
// from)` for the first match at or after the block-relative `from`. Consecutive blocks
// overlap by the longest match (plus the guard) and a block settles only the starts
// before that overlap, so every start is looked at once, with all the bytes its match can
// need. `prepare` and `find` run on the reader threads and must only read what they share.
// Never touches the collector: after each block the window's messages run, and the
// collector may be gone when they return.
template <typename Prepare, typename Find>
void ScanFile(platform::NativeFile& file, const std::u16string& fileName, ScanShape shape, int64_t blockSize,
              const BusyScope& scope, Prepare&& prepare, Find&& find, TFundstellen& out) {
  const int64_t size = file.Size();
  if (size < 0) {
    out.error = SubstituteFileName(kMsgCannotReadFile, fileName);
    return;
  }
  const int64_t overlap = shape.maxMatch - shape.unit + shape.guard;
  int64_t block = std::max(blockSize, 2 * (overlap + shape.unit));
  block += block % 2;  // whole UTF-16 units
  // Each block's matches are found on a reader thread: of the starts the next block
  // does not look at again, with all the bytes their matches can need.
  ReadAhead reader;
  reader.Start(file.Fd(), size, 0, block, overlap, [&, size](ReadAhead::Block& b) {
    const bool last = b.got < b.want || b.pos + b.got == size;
    const int64_t n = b.got - b.got % shape.unit;
    const int64_t settled = last ? n : n - overlap;
    prepare(b.data, n);
    const std::string_view bytes(b.data, static_cast<size_t>(n));
    for (int64_t from = 0; from < settled;) {
      const BlockMatch m = find(bytes, from);
      if (m.start < 0 || m.start >= settled) break;
      b.matches.push_back(BlockMatch{b.pos + m.start, m.length});
      from = m.start + shape.unit;
    }
  });
  HitChunks hits;
  bool stop = false;
  while (!stop) {
    const ReadAhead::Block* next = reader.Next();
    if (!next) break;
    if (next->got < 0) {
      out.error = SubstituteFileName(kMsgCannotReadFile, fileName);
      break;
    }
    for (const BlockMatch& m : next->matches) {
      if (!hits.Add(m.start)) {
        out.incomplete = stop = true;
        break;
      }
      if (m.length != out.length) out.otherLengths.emplace_back(m.start, m.length);
    }
    if (stop || next->got < next->want || next->pos + next->got == size) break;
    platform::ProcessMessages();
    if (scope.Cancelled()) out.cancelled = stop = true;
  }
  if (!hits.MoveTo(out.offsets)) out.incomplete = true;
  if (out.incomplete) {
    // The lengths of hits given up go with them.
    const int64_t end = out.offsets.empty() ? 0 : out.offsets.back() + 1;
    std::erase_if(out.otherLengths, [&](const auto& e) { return e.first >= end; });
  }
}

void NoPreparation(char*, int64_t) {}

}  // namespace

int64_t BMHSucheOhneGross(std::string_view pattern, std::string_view text, int64_t from, int64_t to) {
  return BmhPattern(pattern, true).Find(text, from, to);
}

int64_t BMHSuche(std::string_view pattern, std::string_view text, int64_t from, int64_t to) {
  return BmhPattern(pattern, false).Find(text, from, to);
}

int64_t TFundstellen::LengthOf(size_t index) const {
  if (index >= offsets.size()) return 0;
  const int64_t at = offsets[index];
  auto it = std::lower_bound(otherLengths.begin(), otherLengths.end(), at,
                             [](const std::pair<int64_t, int64_t>& e, int64_t o) { return e.first < o; });
  return it != otherLengths.end() && it->first == at ? it->second : length;
}

TFundstellenSammler::TFundstellenSammler() : shared_(std::make_shared<Shared>()) {}

// A collection running below (the window closed from its messages) stops at its next check.
TFundstellenSammler::~TFundstellenSammler() { shared_->cancel = true; }

void TFundstellenSammler::Cancel() { shared_->cancel = true; }

bool TFundstellenSammler::Busy() const { return shared_->busy; }

TFundstellen TFundstellenSammler::Sammeln(const std::u16string& fileName, std::u16string_view text,
                                          TInDocumentKind kind, bool ignoreCase) {
  switch (kind) {
    case TInDocumentKind::Ansi: {
      bool unmapped = false;
      const std::string bytes = platform::WideToAnsi(text, &unmapped);
      // Such a text cannot stand in an ANSI document; its "?" would match a literal "?".
      if (unmapped) return {};
      return FundstellenSammeln(fileName, bytes, kind, ignoreCase);
    }
    case TInDocumentKind::Utf8:
      return FundstellenSammeln(fileName, platform::WideToPosixUtf8(text), kind, ignoreCase);
    case TInDocumentKind::Unicode:
      return FundstellenSammelnUnicode(fileName, text, ignoreCase);
  }
  return {};
}

bool TFundstellenSammler::StartRun(const std::u16string& name, bool emptyPattern, std::optional<Run>& run,
                                   TFundstellen& out) const {
  if (shared_->busy) {
    out.busy = true;
    return false;
  }
  if (emptyPattern) return false;
  // Copies: the window that owns them may be gone when its messages return. The file is
  // opened by its own wide name, so a name outside the ANSI code page opens like any other.
  run.emplace(shared_, name, BlockSize);
  run->file = OpenFileShared(run->fileName);
  if (run->file.Valid()) return true;
  out.error = SubstituteFileName(kMsgCannotOpenFile, run->fileName);
  return false;
}

TFundstellen TFundstellenSammler::FundstellenSammeln(const std::u16string& name, std::string_view pattern,
                                                     TInDocumentKind kind, bool ignoreCase) {
  TFundstellen out;
  std::optional<Run> run;
  if (!StartRun(name, pattern.empty(), run, out)) return out;
  const BusyScope& scope = run->scope;
  const std::u16string& fileName = run->fileName;
  const int64_t blockSize = run->blockSize;
  platform::NativeFile& file = run->file;
  out.length = static_cast<int64_t>(pattern.size());
  if (kind == TInDocumentKind::Utf8 && ignoreCase) {
    // Folded per character as the database search folds, so a match may differ in length.
    const Utf8Matcher matcher(pattern);
    const ScanShape shape{1, static_cast<int64_t>(matcher.MaxLength()), 3};
    ScanFile(file, fileName, shape, blockSize, scope, NoPreparation, [&](std::string_view block, int64_t from) {
      size_t length = 0;
      const int64_t at = matcher.Find(block.substr(static_cast<size_t>(from)), true, &length);
      return at < 0 ? BlockMatch{} : BlockMatch{from + at, static_cast<int64_t>(length)};
    }, out);
    return out;
  }
  // ANSI bytes, or UTF-8 with case: byte for byte. The stream search's matcher folds as
  // BMHSucheOhneGross does and finds its candidates with vector compares, several times
  // faster than the skip loop of Horspool's search, whose every step waits for a load.
  const ByteMatcher matcher(pattern, MatchOptions{!(ignoreCase && kind == TInDocumentKind::Ansi), false});
  const int64_t length = out.length;
  const ScanShape shape{1, length, 0};
  ScanFile(file, fileName, shape, blockSize, scope, NoPreparation, [&](std::string_view block, int64_t from) {
    const int64_t at = matcher.Find(block.substr(static_cast<size_t>(from)), true);
    return at < 0 ? BlockMatch{} : BlockMatch{from + at, length};
  }, out);
  return out;
}

TFundstellen TFundstellenSammler::FundstellenSammelnUnicode(const std::u16string& name,
                                                            std::u16string_view pattern, bool ignoreCase) {
  TFundstellen out;
  std::optional<Run> run;
  if (!StartRun(name, pattern.empty(), run, out)) return out;
  const BusyScope& scope = run->scope;
  const std::u16string& fileName = run->fileName;
  const int64_t blockSize = run->blockSize;
  platform::NativeFile& file = run->file;
  bool bigEndian = false;
  if (IsFileUnicode(file)) {
    unsigned char mark[2] = {};
    bigEndian = file.Seek(0, platform::SeekOrigin::Begin) == 0 && file.Read(mark, 2) == 2 && mark[0] == 0xFE;
  }
  const bool swap = bigEndian != (std::endian::native == std::endian::big);
  const WideMatcher matcher(pattern, MatchOptions{!ignoreCase, false});
  const int64_t length = 2 * static_cast<int64_t>(pattern.size());
  out.length = length;
  const ScanShape shape{2, length, 0};
  // The blocks are read into char16_t storage; units of the other byte order are turned
  // in place.
  auto turn = [swap](char* buffer, int64_t n) {
    if (!swap) return;
    auto* units = reinterpret_cast<char16_t*>(buffer);
    for (int64_t i = 0; i < n / 2; ++i) units[i] = static_cast<char16_t>((units[i] >> 8) | (units[i] << 8));
  };
  ScanFile(file, fileName, shape, blockSize, scope, turn, [&](std::string_view block, int64_t from) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(block.data()), block.size() / 2);
    const int64_t at = matcher.Find(units.substr(static_cast<size_t>(from / 2)), true);
    return at < 0 ? BlockMatch{} : BlockMatch{from + 2 * at, length};
  }, out);
  return out;
}

TWeiterSucheSchritt NaechsteFundstelle(const TFundstellen& hits, bool fromStart, int64_t selStart,
                                       int64_t selLength) {
  TWeiterSucheSchritt step;
  const auto& offsets = hits.offsets;
  if (offsets.empty()) {
    step.message = kMsgNichtGefunden;
    return step;
  }
  auto it = offsets.begin();
  if (!fromStart)
    it = selLength > 0 ? std::upper_bound(offsets.begin(), offsets.end(), selStart)
                       : std::lower_bound(offsets.begin(), offsets.end(), selStart);
  if (it == offsets.end()) {
    it = offsets.begin();
    step.wrapped = true;
  }
  const size_t index = static_cast<size_t>(it - offsets.begin());
  step.index = static_cast<int64_t>(index);
  step.selStart = *it;
  step.selLength = hits.LengthOf(index);
  if (index + 1 == offsets.size()) step.message = kMsgLetzteFundstelle;
  return step;
}

std::u16string InDocumentFileName(const std::u16string& baseFolder, const std::u16string& dbName,
                                  TInDocumentKind kind, bool sortedListShown) {
  std::u16string ending;
  switch (kind) {
    case TInDocumentKind::Ansi:
      ending = sortedListShown ? u"_Phrasen_Woerter_AnsiListe.txt" : u"_AnsiDokument.txt";
      break;
    case TInDocumentKind::Utf8:
      ending = sortedListShown ? u"_Phrasen_Woerter_Utf8Liste.txt" : u"_UTF8Dokument.txt";
      break;
    case TInDocumentKind::Unicode:
      ending = sortedListShown ? u"_Phrasen_Woerter_MHTListe.txt" : u"_MHTtext.txt";
      break;
  }
  return baseFolder + u"Datenbank\\" + dbName + ending;
}

}  // namespace search
