#include "app/index/word_lists.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "app/index/document_store.h"
#include "app/index/german_numbers.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/collate.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "textlib/errors.h"
#include "textlib/io/cptextstream.h"
#include "textlib/stream.h"
#include "textlib/unicode.h"

namespace app {
namespace {

// Window messages are processed after this many lines and tokens: often enough for the
// cancel button, seldom enough not to cost time.
constexpr int64_t kTickEvery = 4096;

// ---- Collation keys ----

// The wide list's comparison is ICU's collator of the user's locale at secondary strength
// (case ignored, accents kept), as platform::CompareLocale makes it; one sort of millions
// of entries needs its sort keys, which compare as the collator does. Without a collator
// the list compares code units, and so do these keys.
class Collation {
 public:
  Collation() {
    const std::string name = platform::IcuLocaleName(platform::GetUserDefaultLcid());
    if (name.empty()) return;
    UErrorCode status = U_ZERO_ERROR;
    collator_.reset(icu::Collator::createInstance(icu::Locale(name.c_str()), status));
    if (U_FAILURE(status)) {
      collator_.reset();
      return;
    }
    collator_->setStrength(icu::Collator::SECONDARY);
  }

  void AppendKey(std::u16string_view text, std::string& out) {
    if (!collator_) {
      for (char16_t c : text) {
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
      }
      return;
    }
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t need = collator_->getSortKey(units, length, buffer_.data(), static_cast<int32_t>(buffer_.size()));
    if (need > static_cast<int32_t>(buffer_.size())) {
      buffer_.resize(static_cast<size_t>(need) * 2);
      need = collator_->getSortKey(units, length, buffer_.data(), static_cast<int32_t>(buffer_.size()));
    }
    out.append(reinterpret_cast<const char*>(buffer_.data()), static_cast<size_t>(need));
  }

 private:
  std::unique_ptr<icu::Collator> collator_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(256);
};

// ---- The two store encodings ----

// What UnicodeTrim removes: white space and control characters. Every unit of the basic
// plane is looked up once, since trimming sees two of them per token.
bool IsTrimmedChar(char32_t c) {
  static const std::vector<bool> table = [] {
    std::vector<bool> t(0x10000);
    for (char32_t u = 0; u < 0x10000; ++u) t[u] = textlib::IsWhiteSpaceChar(u) || textlib::IsControlChar(u);
    return t;
  }();
  return c < 0x10000 ? table[c] : textlib::IsWhiteSpaceChar(c) || textlib::IsControlChar(c);
}

// Bucket 0-4 of a first character (a byte of the UTF-8 store counts as its code-page-1252
// character, and the letters that decide here have the same number in both).
int BucketOf(uint32_t c) {
  if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == 0xC4 || c == 0xE4) return 0;
  if ((c >= 'G' && c <= 'L') || (c >= 'g' && c <= 'l')) return 1;
  if ((c >= 'M' && c <= 'R') || (c >= 'm' && c <= 'r') || c == 0xD6 || c == 0xF6) return 2;
  if ((c >= 'S' && c <= 'Z') || (c >= 's' && c <= 'z') || c == 0xDC || c == 0xFC) return 3;
  return 4;
}

// The UTF-8 store: its entries are handled as their bytes, one character per byte, as the
// lists have always been built (bucket by first byte, lengths in bytes, order of the bytes
// as code-page-1252 characters). Only where a byte-wise step would cut a character apart
// (trimming, dropping the first character) it works on whole characters.
struct Utf8Text {
  using Ch = char;
  using View = std::string_view;

  static bool IsBreak(char c) { return c == '\r' || c == '\n'; }
  static uint32_t Unit(char c) { return static_cast<unsigned char>(c); }

  static View Trim(View s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t first = 0, last = s.size();
    while (first < last) {
      char32_t c;
      const size_t n = platform::Utf8SequenceAt(p + first, last - first, &c);
      if (n == 0 || !IsTrimmedChar(c)) break;
      first += n;
    }
    while (last > first) {
      size_t start = last - 1;
      while (start > first && last - start < 4 && (p[start] & 0xC0) == 0x80) --start;
      char32_t c;
      const size_t n = platform::Utf8SequenceAt(p + start, last - start, &c);
      if (n != last - start || !IsTrimmedChar(c)) break;
      last = start;
    }
    return s.substr(first, last - first);
  }

  static size_t FirstCharSize(View s) {
    char32_t c;
    const size_t n = platform::Utf8SequenceAt(reinterpret_cast<const unsigned char*>(s.data()), s.size(), &c);
    return n == 0 ? 1 : n;
  }

  static std::u16string Decode(View s) { return textlib::DecodeUtf8(s); }

  static void SortText(View s, std::u16string& out) {
    out.clear();
    for (char c : s) out += platform::Cp1252ToWide(static_cast<unsigned char>(c));
  }

  static std::string FourEnDashes() { return "\xE2\x80\x93\xE2\x80\x93\xE2\x80\x93\xE2\x80\x93"; }
};

// The MHT store: UTF-16, one unit per character as the wide lists count them.
struct WideText {
  using Ch = char16_t;
  using View = std::u16string_view;

  static bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028; }
  static uint32_t Unit(char16_t c) { return c; }

  static View Trim(View s) {
    size_t first = 0, last = s.size();
    while (first < last && IsTrimmedChar(s[first])) ++first;
    while (last > first && IsTrimmedChar(s[last - 1])) --last;
    return s.substr(first, last - first);
  }

  static size_t FirstCharSize(View s) {
    return s.size() >= 2 && s[0] >= 0xD800 && s[0] <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF ? 2 : 1;
  }

  static std::u16string Decode(View s) { return std::u16string(s); }
  static void SortText(View s, std::u16string& out) { out.assign(s); }
  static std::u16string FourEnDashes() { return u"\u2013\u2013\u2013\u2013"; }
};

template <typename Ch>
std::basic_string<Ch> Ascii(std::string_view text) {
  return std::basic_string<Ch>(text.begin(), text.end());
}

template <typename Ch>
bool Has(std::basic_string_view<Ch> s, const std::basic_string<Ch>& what) {
  return s.find(what) != std::basic_string_view<Ch>::npos;
}

// ---- Entries, each kept in the form it was first met ----

inline uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

uint64_t HashBytes(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  while (size >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0x100000001B3ull;
    h ^= h >> 29;
    p += 8;
    size -= 8;
  }
  uint64_t w = 0;
  std::memcpy(&w, p, size);
  return Mix(h ^ w);
}

// A set of texts in the order they were first added: exact repeats are dropped at once,
// the texts live in large blocks that never move.
template <typename Ch>
class FirstFormSet {
 public:
  using View = std::basic_string_view<Ch>;

  // Text blocks grow up to maxBlockBytes, so that a small memory budget is not taken up by
  // the half-filled blocks of six sets.
  explicit FirstFormSet(size_t maxBlockBytes = kBlockUnits * sizeof(Ch))
      : maxBlockUnits_(std::clamp<size_t>(maxBlockBytes / sizeof(Ch), 1024, kBlockUnits)) {}

  void Add(View s) {
    if (slots_.empty()) Rehash(64);
    const uint64_t h = HashBytes(s.data(), s.size() * sizeof(Ch));
    const uint64_t tag = h << 32;
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(h >> 32) & mask;
    while (const uint64_t slot = slots_[i]) {
      if ((slot & ~uint64_t{0xFFFFFFFF}) == tag) {
        const Entry& e = entries_[(slot & 0xFFFFFFFF) - 1];
        if (e.size == s.size() && std::memcmp(e.data, s.data(), s.size() * sizeof(Ch)) == 0) return;
      }
      i = (i + 1) & mask;
    }
    entries_.push_back({Store(s), s.size(), h});
    slots_[i] = tag | entries_.size();
    if (entries_.size() * 2 > slots_.size()) Rehash(slots_.size() * 2);
  }

  size_t Count() const { return entries_.size(); }
  View At(size_t i) const { return View(entries_[i].data, entries_[i].size); }
  // The memory the set holds.
  size_t Bytes() const {
    return blockBytes_ + entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(uint64_t);
  }
  // What the next Add may take on top of Bytes() for a moment: a longer entry list or a
  // larger table, held while the old one is moved into it.
  size_t GrowthBytes() const {
    size_t extra = 0;
    if (entries_.size() == entries_.capacity()) extra += std::max<size_t>(entries_.capacity(), 16) * 2 * sizeof(Entry);
    if (slots_.empty() || (entries_.size() + 1) * 2 > slots_.size())
      extra += std::max<size_t>(slots_.size(), 64) * 2 * sizeof(uint64_t);
    return extra;
  }
  // Empties the set and gives its memory back.
  void Clear() { *this = FirstFormSet(maxBlockUnits_ * sizeof(Ch)); }

 private:
  struct Entry {
    const Ch* data;
    size_t size;
    uint64_t hash;
  };

  const Ch* Store(View s) {
    if (s.size() > blockLeft_) {
      // Blocks grow with the set, so a small list keeps little memory.
      const size_t grown = blocks_.size() < 16 ? size_t{16384} << blocks_.size() : maxBlockUnits_;
      const size_t size = std::max(std::min(maxBlockUnits_, grown), s.size());
      blocks_.push_back(std::unique_ptr<Ch[]>(new Ch[size]));
      blockBytes_ += size * sizeof(Ch);
      blockNext_ = blocks_.back().get();
      blockLeft_ = size;
    }
    Ch* at = blockNext_;
    std::copy(s.begin(), s.end(), at);
    blockNext_ += s.size();
    blockLeft_ -= s.size();
    return at;
  }

  void Rehash(size_t size) {
    slots_.assign(size, 0);
    const size_t mask = size - 1;
    for (size_t k = 0; k < entries_.size(); ++k) {
      const uint64_t h = entries_[k].hash;
      size_t i = static_cast<size_t>(h >> 32) & mask;
      while (slots_[i]) i = (i + 1) & mask;
      slots_[i] = h << 32 | (k + 1);
    }
  }

  static constexpr size_t kBlockUnits = size_t{4} << 20;
  size_t maxBlockUnits_;
  size_t blockBytes_ = 0;
  std::vector<Entry> entries_;
  std::vector<uint64_t> slots_;  // hash bits above, entry number + 1 below; 0: free
  std::vector<std::unique_ptr<Ch[]>> blocks_;
  Ch* blockNext_ = nullptr;
  size_t blockLeft_ = 0;
};

// A set's entries in collation order, each group of equal entries by its first-added
// member, with the keys they were sorted by. Ties go by index, so the order is what a
// stable sort gives.
struct SortedSet {
  std::string keys;
  std::vector<size_t> offsets;  // entry i's key is keys[offsets[i], offsets[i + 1])
  std::vector<uint32_t> order;
  std::string_view Key(uint32_t i) const { return std::string_view(keys).substr(offsets[i], offsets[i + 1] - offsets[i]); }
  size_t Bytes() const { return keys.capacity() + offsets.capacity() * sizeof(size_t) + order.capacity() * 4; }
};

template <typename T>
std::optional<SortedSet> SortedFirstForms(const FirstFormSet<typename T::Ch>& set, Collation& collation,
                                          const std::function<bool()>& tick) {
  const size_t n = set.Count();
  SortedSet out;
  std::string& keys = out.keys;
  std::vector<size_t>& offsets = out.offsets;
  offsets.resize(n + 1);
  std::u16string text;
  for (size_t i = 0; i < n; ++i) {
    if (i % kTickEvery == 0 && !tick()) return std::nullopt;
    offsets[i] = keys.size();
    T::SortText(set.At(i), text);
    collation.AppendKey(text, keys);
  }
  offsets[n] = keys.size();
  struct Rec {
    uint64_t prefix;  // the key's first 8 bytes, big-endian, zero-padded
    uint32_t index;
  };
  std::vector<Rec> recs(n);
  for (size_t i = 0; i < n; ++i) {
    uint64_t prefix = 0;
    const size_t len = offsets[i + 1] - offsets[i];
    for (size_t k = 0; k < 8; ++k)
      prefix = prefix << 8 | (k < len ? static_cast<unsigned char>(keys[offsets[i] + k]) : 0u);
    recs[i] = {prefix, static_cast<uint32_t>(i)};
  }
  auto compare = [&](const Rec& a, const Rec& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    const int c = out.Key(a.index).compare(out.Key(b.index));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  };
  std::sort(recs.begin(), recs.end(), [&](const Rec& a, const Rec& b) {
    const int c = compare(a, b);
    return c != 0 ? c < 0 : a.index < b.index;
  });
  std::vector<uint32_t>& order = out.order;
  order.reserve(n);
  for (size_t i = 0; i < n; ++i)
    if (i == 0 || compare(recs[i - 1], recs[i]) != 0) order.push_back(recs[i].index);
  return out;
}

// ---- Sorted runs on disk ----

// What a step of the run came to; a failure leaves its reason in LastError().
enum class Step { Ok, Cancelled, ReadFailed, WriteFailed };

// A temporary that no name leads to: created beside the list and removed at once, so that
// a killed run leaves nothing behind.
std::optional<platform::NativeFile> AnonymousTemp(const std::string& beside) {
  std::string temp;
  platform::NativeFile file = platform::CreateExclusiveTemp(beside, &temp, 0600);
  if (!file.Valid()) return std::nullopt;
  if (!platform::RemoveFile(temp)) return std::nullopt;
  return file;
}

// A run's records, sorted by bucket, key and sequence number: bucket (1 byte), key length
// (4), key, sequence number (8: the entry's place among the bucket's first-met entries),
// text length in bytes (4), text (the store's units).
class RunWriter {
 public:
  RunWriter(platform::NativeFile& file, size_t bufferBytes) : file_(file), limit_(bufferBytes) {}

  bool Put(uint8_t bucket, std::string_view key, uint64_t seq, std::string_view text) {
    const auto keySize = static_cast<uint32_t>(key.size());
    const auto textSize = static_cast<uint32_t>(text.size());
    buffer_.push_back(static_cast<char>(bucket));
    buffer_.append(reinterpret_cast<const char*>(&keySize), 4).append(key);
    buffer_.append(reinterpret_cast<const char*>(&seq), 8);
    buffer_.append(reinterpret_cast<const char*>(&textSize), 4).append(text);
    return buffer_.size() < limit_ || Flush();
  }

  bool Flush() {
    if (!buffer_.empty() && file_.Write(buffer_.data(), static_cast<int64_t>(buffer_.size())) < 0) return false;
    buffer_.clear();
    return true;
  }

 private:
  platform::NativeFile& file_;
  size_t limit_;
  std::string buffer_;
};

class RunReader {
 public:
  RunReader(platform::NativeFile& file, size_t bufferBytes) : file_(file), chunk_(bufferBytes) {}

  bool Start() { return file_.Seek(0, platform::SeekOrigin::Begin) == 0; }

  // The next record, false at the end; Failed() tells a read failure from the end.
  bool Next() {
    uint32_t keySize = 0, textSize = 0;
    if (!Fill(1)) return false;
    if (!Fill(1 + 4)) return Broken();
    bucket = static_cast<uint8_t>(buffer_[pos_]);
    std::memcpy(&keySize, buffer_.data() + pos_ + 1, 4);
    if (!Fill(1 + 4 + size_t{keySize} + 8 + 4)) return Broken();
    const char* p = buffer_.data() + pos_ + 5;
    key.assign(p, keySize);
    std::memcpy(&seq, p + keySize, 8);
    std::memcpy(&textSize, p + keySize + 8, 4);
    const size_t head = 1 + 4 + size_t{keySize} + 8 + 4;
    if (!Fill(head + textSize)) return Broken();
    text.assign(buffer_.data() + pos_ + head, textSize);
    pos_ += head + textSize;
    return true;
  }
  bool Failed() const { return failed_; }
  size_t Bytes() const { return buffer_.capacity() + key.capacity() + text.capacity(); }

  uint8_t bucket = 0;
  std::string key;
  uint64_t seq = 0;
  std::string text;

 private:
  // At least n unread bytes in the buffer; false at the end or on a failure.
  bool Fill(size_t n) {
    if (buffer_.size() - pos_ >= n) return true;
    if (atEnd_) return false;
    buffer_.erase(0, pos_);
    pos_ = 0;
    while (buffer_.size() < n && !atEnd_) {
      const size_t have = buffer_.size();
      const size_t want = std::max(chunk_, n - have);
      buffer_.resize(have + want);
      const int64_t got = file_.Read(buffer_.data() + have, static_cast<int64_t>(want));
      if (got < 0) {
        failed_ = true;
        atEnd_ = true;
        buffer_.resize(have);
        return false;
      }
      buffer_.resize(have + static_cast<size_t>(got));
      if (static_cast<size_t>(got) < want) atEnd_ = true;
    }
    return buffer_.size() >= n;
  }
  bool Broken() {
    // A record cut short: only a failed read can leave one.
    if (!failed_) platform::SetLastError(EIO);
    failed_ = true;
    return false;
  }

  platform::NativeFile& file_;
  size_t chunk_;
  std::string buffer_;
  size_t pos_ = 0;
  bool atEnd_ = false, failed_ = false;
};

int CompareRecords(const RunReader& a, const RunReader& b) {
  if (a.bucket != b.bucket) return a.bucket < b.bucket ? -1 : 1;
  if (const int c = a.key.compare(b.key)) return c;
  return a.seq < b.seq ? -1 : a.seq > b.seq ? 1 : 0;
}

// Merges sorted runs: out(reader) gets each (bucket, key) once, its record of the lowest
// sequence number, in order.
template <typename Out>
Step MergeRuns(std::vector<platform::NativeFile*> runs, size_t bufferBytes, const std::function<bool()>& tick,
               size_t& bytesHeld, Out out) {
  std::vector<RunReader> readers;
  readers.reserve(runs.size());
  std::vector<size_t> heap;
  auto later = [&](size_t a, size_t b) { return CompareRecords(readers[a], readers[b]) > 0; };
  for (platform::NativeFile* run : runs) {
    readers.emplace_back(*run, bufferBytes);
    if (!readers.back().Start()) return Step::ReadFailed;
  }
  for (size_t i = 0; i < readers.size(); ++i) {
    if (readers[i].Next()) {
      heap.push_back(i);
    } else if (readers[i].Failed()) {
      return Step::ReadFailed;
    }
  }
  std::make_heap(heap.begin(), heap.end(), later);
  bool any = false;
  int lastBucket = -1;
  std::string lastKey;
  for (int64_t n = 0; !heap.empty(); ++n) {
    if (n % kTickEvery == 0) {
      if (!tick()) return Step::Cancelled;
      size_t held = 0;
      for (const RunReader& r : readers) held += r.Bytes();
      bytesHeld = std::max(bytesHeld, held + lastKey.capacity());
    }
    std::pop_heap(heap.begin(), heap.end(), later);
    const size_t i = heap.back();
    RunReader& r = readers[i];
    if (!any || r.bucket != lastBucket || r.key != lastKey) {
      any = true;
      lastBucket = r.bucket;
      lastKey = r.key;
      if (!out(r)) return Step::WriteFailed;
    }
    if (r.Next()) {
      std::push_heap(heap.begin(), heap.end(), later);
    } else {
      if (r.Failed()) return Step::ReadFailed;
      heap.pop_back();
    }
  }
  return Step::Ok;
}

// ---- Reading a store line by line ----

// Calls line(view) for every non-empty line of the file: UTF-8 bytes as they stand (a
// leading byte-order mark skipped), UTF-16 behind FF FE or FE FF, and a file without a
// mark read as code page 1252, as the wide list load reads it. Lines end at CR or LF (and
// U+2028 in UTF-16); a line may cross any number of blocks. false: cannot be read, or line
// returned false.
template <typename T, typename OnLine>
bool ForEachLine(const std::string& path, size_t blockBytes, OnLine line) {
  using Ch = typename T::Ch;
  platform::NativeFile file = platform::NativeFile::Open(path, platform::FileAccess::Read);
  if (!file.Valid()) return false;
  blockBytes = std::max<size_t>(blockBytes, 4);
  std::string raw(blockBytes, '\0');
  std::basic_string<Ch> text;
  size_t start = 0;  // first unit of the unfinished line in text
  bool first = true;
  enum class Form { Utf8, Le, Be, Ansi } form = Form::Utf8;
  int pendingByte = -1;  // an odd byte of UTF-16 waiting for its partner
  while (true) {
    const int64_t got = file.Read(raw.data(), static_cast<int64_t>(raw.size()));
    if (got < 0) return false;
    std::string_view bytes(raw.data(), static_cast<size_t>(got));
    if (first) {
      first = false;
      if constexpr (sizeof(Ch) == 1) {
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
      } else {
        if (bytes.size() < 2) {
          const int64_t more = bytes.size() == 1 ? file.Read(raw.data() + 1, 1) : 0;
          if (more < 0) return false;
          bytes = std::string_view(raw.data(), bytes.size() + static_cast<size_t>(more));
        }
        form = bytes.starts_with("\xFF\xFE") ? Form::Le : bytes.starts_with("\xFE\xFF") ? Form::Be : Form::Ansi;
        if (form != Form::Ansi) bytes.remove_prefix(2);
      }
    }
    text.erase(0, start);
    start = 0;
    if constexpr (sizeof(Ch) == 1) {
      text.append(bytes);
    } else if (form == Form::Ansi) {
      for (char b : bytes) text += platform::Cp1252ToWide(static_cast<unsigned char>(b));
    } else {
      size_t i = 0;
      auto unit = [&](unsigned char a, unsigned char b) {
        text += form == Form::Le ? char16_t(a | b << 8) : char16_t(a << 8 | b);
      };
      if (pendingByte >= 0 && !bytes.empty()) {
        unit(static_cast<unsigned char>(pendingByte), static_cast<unsigned char>(bytes[0]));
        pendingByte = -1;
        i = 1;
      }
      for (; i + 1 < bytes.size(); i += 2)
        unit(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1]));
      if (i < bytes.size()) pendingByte = static_cast<unsigned char>(bytes[i]);
    }
    const bool atEnd = got == 0;
    const Ch* p = text.data();
    const size_t end = text.size();
    size_t pos = 0;
    size_t lfAt = 0;  // the next LF at or after pos, end when none; kept while ahead
    bool lfKnown = false;
    while (true) {
      size_t stop = pos;
      if constexpr (sizeof(Ch) == 1) {
        if (!lfKnown || lfAt < pos) {
          const void* lf = std::memchr(p + pos, '\n', end - pos);
          lfAt = lf ? static_cast<size_t>(static_cast<const Ch*>(lf) - p) : end;
          lfKnown = true;
        }
        const void* cr = std::memchr(p + pos, '\r', lfAt - pos);
        stop = cr ? static_cast<size_t>(static_cast<const Ch*>(cr) - p) : lfAt;
      } else {
        while (stop < end && !T::IsBreak(p[stop])) ++stop;
      }
      if (stop == end && !atEnd) break;  // the line goes on in the next block
      if (stop > pos && !line(std::basic_string_view<Ch>(p + pos, stop - pos))) return false;
      if (stop == end) return true;
      pos = stop + 1;
    }
    start = pos;
  }
}

// ---- The collecting run over one store ----

// The least a run's reader reads at a time.
constexpr size_t kLeastReadBuffer = 16 * 1024;

template <typename T>
class ListCollector {
 public:
  using Ch = typename T::Ch;
  using View = std::basic_string_view<Ch>;

  using Sink = std::function<bool(size_t bucket, View entry)>;

  ListCollector(WordListMode mode, std::u16string_view markerDrive, StoreProgress& progress, const bool& cancel,
                const StoreReadOptions& options, const std::string& spillBeside, StoreListStats* stats)
      : words_(mode != WordListMode::Phrases),
        phrases_(mode != WordListMode::Words),
        wordsOnly_(mode == WordListMode::Words),
        progress_(progress),
        cancel_(cancel),
        budget_(std::max<size_t>(options.memoryBudget, 64 * 1024)),
        // A small budget merges fewer runs at a time, each with a buffer worth reading.
        fanIn_(std::clamp<size_t>(budget_ / (2 * kLeastReadBuffer), 2, std::max<size_t>(options.mergeFanIn, 2))),
        spillBeside_(spillBeside),
        stats_(stats) {
    // The sets hold at most a third of the budget: sorting a set for its run takes about as
    // much again for its keys and order, and the merge's buffers half of it.
    spillAt_ = budget_ / 3;
    for (auto& set : sets_) set = FirstFormSet<Ch>(budget_ / 64);
    marker_ = Ascii<Ch>("#");
    if constexpr (sizeof(Ch) == 1) {
      marker_ += textlib::EncodeUtf8(markerDrive);
    } else {
      marker_ += markerDrive;
    }
    marker_ += Ascii<Ch>(":\\");
  }

  // Counts the document lines (for the progress bar); false when cancelled.
  bool CountLine(View line) {
    if (!Tick()) return false;
    if (!IsEscapedMarker(line) && IsDocumentLine(T::Trim(line))) ++total_;
    return true;
  }
  void Counted() { progress_.Counted(total_); }

  // One line of the store; false when cancelled.
  bool Line(View line) {
    if (!Tick()) return false;
    if (IsEscapedMarker(line)) {
      // Page text that reads as a record marker: the store's escape blank stays, so it is
      // filed as text and never as a document path.
      const View trimmed = T::Trim(line);
      line = line.substr(0, static_cast<size_t>(trimmed.data() - line.data()) + trimmed.size());
      if (!Has(line, tenEquals_)) CollectPhrasesAndWords(line);
      return !cancel_ && step_ == Step::Ok;
    }
    line = T::Trim(line);
    if (Has(line, tenEquals_)) return true;
    if (IsDocumentLine(line)) {
      AddTo(5, line);
      ++documents_;
      lastPath_ = line.substr(1);
      return step_ == Step::Ok;
    }
    if (!line.empty()) CollectPhrasesAndWords(line);
    return !cancel_ && step_ == Step::Ok;
  }

  // A failure of a spilled run so far (the line loop then stopped).
  Step Failure() const { return step_; }

  // Files the words and/or phrases of one trimmed line. The two passes see the same
  // cleaned line, so "Wörter und Sätze" gives exactly the entries of both other choices.
  void CollectPhrasesAndWords(View line) {
    if (line.starts_with(View(marker_)) || Has(line, tenEquals_) || Has(line, fourDashes_) ||
        Has(line, fourUnderscores_) || Has(line, fourStars_))
      return;
    if (words_ && !(wordsOnly_ && Has(line, twoQuestionMarks_))) {
      ForEachToken(line, [](uint32_t c) { return c == ' ' || c == ',' || c == ';' || c == ':' || c == '\t'; },
                   [this](View token) {
                     token = T::Trim(token);
                     if (token.size() > 100 && token.find(Ch('<')) == View::npos) return;
                     if (token.size() < 3) return;
                     Add(token);
                   });
    }
    if (phrases_) {
      ForEachToken(line, [](uint32_t c) { return c == ',' || c == '.'; }, [this](View token) {
        token = T::Trim(token);
        if (token.find(Ch(' ')) == View::npos || Has(token, threeDashes_) || Has(token, enDashes_) ||
            Has(token, fiveDashes_) || Has(token, dashColumns_))
          return;
        for (int k = 0; k < 2; ++k) {
          if (Has(token, twoApostrophes_)) token = T::Trim(token.substr(T::FirstCharSize(token)));
        }
        if (token.size() < 4) return;
        Add(token);
      });
    }
  }

  // Hands every entry of buckets 1-5 and the path list to sink, in order.
  Step Finish(const Sink& sink) {
    if (step_ != Step::Ok) return step_;
    if (stats_) stats_->documents = documents_;
    const auto tick = [this] { return Tick(); };
    if (runs_.empty()) {
      // Everything fitted: sorted here, no run written.
      for (size_t b = 0; b < sets_.size(); ++b) {
        const auto sorted = SortedFirstForms<T>(sets_[b], collation_, tick);
        if (!sorted) return Step::Cancelled;
        NoteBytes(SetsBytes() + sorted->Bytes() + sets_[b].Count() * 16);
        for (uint32_t i : sorted->order)
          if (!sink(b, sets_[b].At(i))) return Step::WriteFailed;
        sets_[b].Clear();
      }
      return Step::Ok;
    }
    if (const Step spilled = Spill(); spilled != Step::Ok) return spilled;
    // Never more runs at a time than the fan-in: the first ones are merged into one first.
    while (runs_.size() > fanIn_) {
      std::optional<platform::NativeFile> merged = AnonymousTemp(spillBeside_);
      if (!merged) return Step::WriteFailed;
      RunWriter writer(*merged, WriteBufferBytes());
      std::vector<platform::NativeFile*> group;
      for (size_t k = 0; k < fanIn_; ++k) group.push_back(runs_[k].get());
      size_t held = 0;
      const Step step = MergeRuns(group, ReadBufferBytes(), tick, held, [&writer](const RunReader& r) {
        return writer.Put(r.bucket, r.key, r.seq, r.text);
      });
      NoteBytes(held + WriteBufferBytes());
      if (step != Step::Ok) return step;
      if (!writer.Flush()) return Step::WriteFailed;
      runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(fanIn_));
      runs_.push_back(std::make_unique<platform::NativeFile>(std::move(*merged)));
    }
    std::vector<platform::NativeFile*> all;
    for (const auto& run : runs_) all.push_back(run.get());
    size_t held = 0;
    std::basic_string<Ch> entry;
    const Step step = MergeRuns(all, ReadBufferBytes(), tick, held, [&](const RunReader& r) {
      entry.resize(r.text.size() / sizeof(Ch));
      std::memcpy(entry.data(), r.text.data(), entry.size() * sizeof(Ch));
      return sink(r.bucket, entry);
    });
    NoteBytes(held);
    return step;
  }

 private:
  static bool IsDocumentLine(View line) {
    return line.size() >= 4 && line[0] == Ch('#') && line[2] == Ch(':') && line[3] == Ch('\\');
  }
  // The store writes a page line that would read as a marker with one blank in front.
  static bool IsEscapedMarker(View line) { return line.size() >= 5 && line[0] == Ch(' ') && IsDocumentLine(line.substr(1)); }

  template <typename IsDelimiter, typename OnToken>
  void ForEachToken(View line, IsDelimiter isDelimiter, OnToken onToken) {
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
      while (i < n && isDelimiter(T::Unit(line[i]))) ++i;
      const size_t start = i;
      while (i < n && !isDelimiter(T::Unit(line[i]))) ++i;
      if (i > start) {
        onToken(line.substr(start, i - start));
        ++units_;
      }
    }
  }

  void Add(View token) { AddTo(static_cast<size_t>(BucketOf(T::Unit(token[0]))), token); }

  void AddTo(size_t bucket, View entry) {
    // Before a set grows (its list or table doubles) and every few hundred entries (its
    // text blocks): the sets go to a run when they would hold more than their share.
    const size_t growth = sets_[bucket].GrowthBytes();
    if (growth > 0 || ++addsSinceCheck_ >= 256) {
      addsSinceCheck_ = 0;
      if (SetsBytes() + growth > spillAt_ && step_ == Step::Ok) step_ = Spill();
      NoteBytes(SetsBytes() + sets_[bucket].GrowthBytes());
    }
    sets_[bucket].Add(entry);
  }

  size_t SetsBytes() const {
    size_t bytes = 0;
    for (const auto& set : sets_) bytes += set.Bytes();
    return bytes;
  }
  void NoteBytes(size_t bytes) {
    if (stats_) stats_->peakBytes = std::max<int64_t>(stats_->peakBytes, static_cast<int64_t>(bytes));
  }
  size_t WriteBufferBytes() const { return std::clamp<size_t>(budget_ / 32, 4096, size_t{4} << 20); }
  // The merge's readers hold at most half the budget (a buffer may grow to twice this).
  size_t ReadBufferBytes() const { return std::clamp<size_t>(budget_ / (4 * fanIn_), 4096, size_t{4} << 20); }

  // Writes the sets as one sorted run and empties them, one bucket at a time.
  Step Spill() {
    std::optional<platform::NativeFile> run = AnonymousTemp(spillBeside_);
    if (!run) return Step::WriteFailed;
    RunWriter writer(*run, WriteBufferBytes());
    for (size_t b = 0; b < sets_.size(); ++b) {
      const auto sorted = SortedFirstForms<T>(sets_[b], collation_, [this] { return Tick(); });
      if (!sorted) return Step::Cancelled;
      NoteBytes(SetsBytes() + sorted->Bytes() + sets_[b].Count() * 16 + WriteBufferBytes());
      for (uint32_t i : sorted->order) {
        const View text = sets_[b].At(i);
        const std::string_view bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(Ch));
        if (!writer.Put(static_cast<uint8_t>(b), sorted->Key(i), seqBase_[b] + i, bytes)) return Step::WriteFailed;
      }
      seqBase_[b] += sets_[b].Count();
      sets_[b].Clear();
    }
    if (!writer.Flush()) return Step::WriteFailed;
    runs_.push_back(std::make_unique<platform::NativeFile>(std::move(*run)));
    if (stats_) ++stats_->runs;
    return Step::Ok;
  }

  // Every few thousand lines and tokens the window processes its messages and shows
  // where the run is; false when the cancel button was pressed.
  bool Tick() {
    if (++units_ >= nextTick_) {
      nextTick_ = units_ + kTickEvery;
      progress_.Tick(documents_, total_, T::Decode(lastPath_));
    }
    return !cancel_;
  }

  const bool words_, phrases_, wordsOnly_;
  StoreProgress& progress_;
  const bool& cancel_;
  std::basic_string<Ch> marker_;
  const std::basic_string<Ch> tenEquals_ = Ascii<Ch>("=========="), fourDashes_ = Ascii<Ch>("----"),
                              fourUnderscores_ = Ascii<Ch>("____"), fourStars_ = Ascii<Ch>("****"),
                              twoQuestionMarks_ = Ascii<Ch>("??"), threeDashes_ = Ascii<Ch>("---"),
                              fiveDashes_ = Ascii<Ch>("-----"), enDashes_ = T::FourEnDashes(),
                              dashColumns_ = Ascii<Ch>(" --            --          --"),
                              twoApostrophes_ = Ascii<Ch>("''");
  const size_t budget_, fanIn_;
  const std::string spillBeside_;
  StoreListStats* stats_;
  size_t spillAt_ = 0;
  int addsSinceCheck_ = 0;
  Step step_ = Step::Ok;
  Collation collation_;
  std::array<FirstFormSet<Ch>, 6> sets_;
  std::array<uint64_t, 6> seqBase_{};  // entries of each bucket in the runs written so far
  std::vector<std::unique_ptr<platform::NativeFile>> runs_;
  int64_t units_ = 0, nextTick_ = 0;
  int64_t total_ = 0, documents_ = 0;
  std::basic_string<Ch> lastPath_;
};

template <typename T>
Step Collect(const std::string& path, WordListMode mode, std::u16string_view markerDrive, StoreProgress& progress,
             const bool& cancel, const StoreReadOptions& options, const std::string& spillBeside,
             StoreListStats* stats, const typename ListCollector<T>::Sink& sink) {
  ListCollector<T> collector(mode, markerDrive, progress, cancel, options, spillBeside, stats);
  if (!ForEachLine<T>(path, options.blockBytes, [&](typename T::View line) { return collector.CountLine(line); }))
    return cancel ? Step::Cancelled : Step::ReadFailed;
  collector.Counted();
  if (!ForEachLine<T>(path, options.blockBytes, [&](typename T::View line) { return collector.Line(line); })) {
    if (collector.Failure() != Step::Ok) return collector.Failure();
    return cancel ? Step::Cancelled : Step::ReadFailed;
  }
  if (cancel) return Step::Cancelled;
  return collector.Finish(sink);
}

// The list file as it is made: an exclusive temporary beside it (beside the file a link at
// its name names), which takes its place only when complete. Entries are encoded as they
// come, in slices, so the list is never held whole.
template <typename T>
class ListFileWriter {
 public:
  ListFileWriter(StoreKind kind) : kind_(kind) {}
  ~ListFileWriter() { Abandon(); }

  bool Open(const std::string& path) {
    const std::optional<std::string> target = platform::LinkTargetForSave(path);
    if (!target) return false;
    target_ = *target;
    platform::NativeFile file = platform::CreateExclusiveTemp(target_, &temp_);
    if (!file.Valid()) return false;
    stream_.emplace(std::move(file));
    try {
      writer_.emplace(*stream_, textlib::TCpAccessMode::Write, 0, kind_ == StoreKind::Utf8 ? 65001 : 1200);
    } catch (const textlib::Exception&) {
      return false;
    }
    return true;
  }

  bool Entry(size_t bucket, typename T::View entry) {
    if (kind_ == StoreKind::Utf8 && bucket == 5) {
      // A path list of exactly one entry gets a blank entry too: the first path waits.
      if (++paths_ == 1) {
        firstPath_ = T::Decode(entry);
        return true;
      }
      if (paths_ == 2 && !Append(firstPath_)) return false;
    }
    return Append(T::Decode(entry));
  }

  bool Commit() {
    if (paths_ == 1) {
      // The blank entry takes its place in the sorted list, as the list's own insert puts it.
      const bool blankFirst = CollationKey(u" ") < CollationKey(firstPath_);
      if (!Append(blankFirst ? u" " : firstPath_) || !Append(blankFirst ? firstPath_ : u" ")) return false;
    }
    if (!Flush()) return false;
    writer_.reset();
    const bool done = platform::CommitTempFile(stream_->File(), temp_, target_);
    stream_.reset();
    temp_.clear();
    return done;
  }

  void Abandon() {
    if (temp_.empty()) return;
    const int error = platform::LastError();
    writer_.reset();
    stream_.reset();
    platform::RemoveFile(temp_);
    temp_.clear();
    platform::SetLastError(error);
  }

 private:
  bool Append(std::u16string_view entry) {
    pending_ += entry;
    pending_ += u"\r\n";
    return pending_.size() < kSliceUnits || Flush();
  }
  bool Flush() {
    bool written = false;
    try {
      written = writer_->WriteText(pending_);
    } catch (const textlib::Exception&) {
      written = false;
    }
    pending_.clear();
    return written;
  }

  static constexpr size_t kSliceUnits = size_t{1} << 19;
  const StoreKind kind_;
  std::string target_, temp_;
  std::optional<textlib::THandleStream> stream_;
  std::optional<textlib::TCpTextStream> writer_;
  std::u16string pending_, firstPath_;
  int64_t paths_ = 0;
};

template <typename T>
Step WriteList(const std::string& storePath, StoreKind kind, WordListMode mode, std::u16string_view markerDrive,
               StoreProgress& progress, const bool& cancel, const std::string& listPath,
               const StoreReadOptions& options, StoreListStats* stats) {
  ListFileWriter<T> writer(kind);
  bool opened = false;
  const Step step = Collect<T>(storePath, mode, markerDrive, progress, cancel, options, listPath, stats,
                               [&](size_t bucket, typename T::View entry) {
                                 // Opened with the first entry, so a cancel or a failure before leaves no file.
                                 if (!opened && !(opened = writer.Open(listPath))) return false;
                                 return writer.Entry(bucket, entry);
                               });
  if (step != Step::Ok) return step;
  if (!opened && !writer.Open(listPath)) return Step::WriteFailed;
  return writer.Commit() ? Step::Ok : Step::WriteFailed;
}

StoreListResult ResultOf(Step step) {
  switch (step) {
    case Step::Ok: return StoreListResult::Done;
    case Step::Cancelled: return StoreListResult::Cancelled;
    case Step::ReadFailed: return StoreListResult::ReadFailed;
    case Step::WriteFailed: break;
  }
  return StoreListResult::WriteFailed;
}

// ---- The database's files ----

std::u16string WithBackslash(std::u16string_view folder) {
  std::u16string f(folder);
  if (!f.empty() && f.back() != u'\\') f += u'\\';
  return f;
}

int64_t FileSizeByName(const std::u16string& fileName) {
  const std::string posix = platform::PosixPath(fileName);
  if (posix.empty()) return -1;
  const auto st = platform::Stat(posix);
  return st && !st->isDirectory ? st->size : -1;
}

bool FileExists(const std::u16string& fileName) { return FileSizeByName(fileName) >= 0; }

// The second line of the description (its first listed path), UTF-8-decoded; empty when
// there is none: a database of web archives only lists no path there.
std::u16string FirstListedPath(const std::u16string& description) {
  platform::NativeFile file = platform::NativeFile::Open(platform::PosixPath(description), platform::FileAccess::Read);
  if (!file.Valid()) return {};
  std::string text;
  char buffer[65536];
  while (true) {
    const size_t first = text.find('\n');
    if (first != std::string::npos && text.find('\n', first + 1) != std::string::npos) break;
    const int64_t got = file.Read(buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  const size_t first = text.find('\n');
  if (first == std::string::npos) return {};
  std::string line = text.substr(first + 1);
  if (const size_t end = line.find('\n'); end != std::string::npos) line.resize(end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return textlib::DecodeUtf8(line);
}

// The letter among A, B, D .. Z under which the path, its own letter replaced, names an
// existing file; the last such letter, empty when none.
std::u16string FindDriveOfPath(const std::u16string& path) {
  if (path.empty()) return {};
  std::u16string found;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    if (letter == u'C') continue;
    if (FileExists(std::u16string(1, letter) + path.substr(1))) found = std::u16string(1, letter);
  }
  return found;
}

// Deletes every file of the folder, silently; links are removed, never followed.
void DateienLoeschen(const std::u16string& folder) {
  std::string posix = platform::PosixPath(folder);
  if (posix.empty() || !platform::IsRealDirectory(posix)) return;
  if (!posix.ends_with('/')) posix += '/';
  const auto entries = platform::ListDirectory(posix);
  if (!entries) return;
  for (const auto& entry : *entries) {
    const auto st = platform::Stat(posix + entry.name, false);
    if (st && !st->isDirectory) platform::RemoveFile(posix + entry.name);
  }
}

// Shows the run in the window: progress and caption per document, messages processed.
class WindowProgress : public StoreProgress {
 public:
  WindowProgress(WordListStatus& status, std::u16string_view kindName) : status_(status), kindName_(kindName) {}
  void Tick(int64_t document, int64_t total, std::u16string_view path) override {
    if (total > 0 && document > 0) {
      if (document > 10 && document < total) status_.SetProgress(document);
      status_.SetCaption(kindName_ + FormatThousands(document) + u" von " + FormatThousands(total) + u" " +
                         std::u16string(path));
    }
    status_.ProcessMessages();
  }
  void Counted(int64_t total) override {
    total_ = total;
    status_.SetProgressMax(total);
    status_.SetProgress(10);
  }
  int64_t Total() const { return total_; }

 private:
  WordListStatus& status_;
  std::u16string kindName_;
  int64_t total_ = 0;
};

}  // namespace

void WordListStatus::ShowInformation(std::u16string_view text) {
  platform::ShowMessageBox(std::u16string(text), u"Quarry-HTML", platform::mb::IconInformation);
}

void WordListStatus::ShowError(std::u16string_view text) {
  platform::ShowMessageBox(std::u16string(text), u"Quarry-HTML", platform::mb::IconError);
}

void WordListStatus::ProcessMessages() { platform::ProcessMessages(); }

std::u16string NoDocumentsText(std::u16string_view dbName) {
  return u"Für die Datenbank \"" + std::u16string(dbName) + u"\" existieren keine Dokumente, die sortiert werden könnten!";
}

std::u16string WordListFileName(std::u16string_view baseFolder, std::u16string_view dbName, StoreKind kind) {
  return WithBackslash(baseFolder) + u"Datenbank\\" + std::u16string(dbName) +
         (kind == StoreKind::Utf8 ? u"_Phrasen_Woerter_Utf8Liste.txt" : u"_Phrasen_Woerter_MHTListe.txt");
}

std::string CollationKey(std::u16string_view text) {
  Collation collation;
  std::string key;
  collation.AppendKey(text, key);
  return key;
}

std::optional<StoreLists> CollectStoreLists(const std::string& posixPath, StoreKind kind, WordListMode mode,
                                            std::u16string_view markerDrive, StoreProgress& progress,
                                            const bool& cancelRequested, const StoreReadOptions& options,
                                            StoreListStats* stats) {
  StoreLists out;
  StoreListStats own;
  if (!stats) stats = &own;
  auto collect = [&]<typename T>() {
    return Collect<T>(posixPath, mode, markerDrive, progress, cancelRequested, options, posixPath, stats,
                      [&](size_t bucket, typename T::View entry) {
                        out.lists[bucket].push_back(T::Decode(entry));
                        return true;
                      });
  };
  const Step step = kind == StoreKind::Utf8 ? collect.template operator()<Utf8Text>()
                                            : collect.template operator()<WideText>();
  if (step != Step::Ok) return std::nullopt;
  out.documents = stats->documents;
  return out;
}

StoreListResult WriteStoreList(const std::string& storePath, StoreKind kind, WordListMode mode,
                               std::u16string_view markerDrive, StoreProgress& progress, const bool& cancelRequested,
                               const std::string& listPath, const StoreReadOptions& options, StoreListStats* stats) {
  // The temporaries a killed run of this list left (named after it, their process gone).
  platform::RemoveStaleTemporaries(platform::LinkTargetForSave(listPath).value_or(listPath));
  return ResultOf(kind == StoreKind::Utf8
                      ? WriteList<Utf8Text>(storePath, kind, mode, markerDrive, progress, cancelRequested, listPath,
                                            options, stats)
                      : WriteList<WideText>(storePath, kind, mode, markerDrive, progress, cancelRequested, listPath,
                                            options, stats));
}

std::u16string WordListText(StoreLists lists, StoreKind kind) {
  auto& paths = lists.lists[5];
  if (kind == StoreKind::Utf8 && paths.size() == 1) {
    // The blank entry takes its place in the sorted list, as the list's own insert puts it.
    if (CollationKey(u" ") < CollationKey(paths[0])) {
      paths.insert(paths.begin(), u" ");
    } else {
      paths.push_back(u" ");
    }
  }
  size_t size = 0;
  for (const auto& list : lists.lists)
    for (const auto& entry : list) size += entry.size() + 2;
  std::u16string text;
  text.reserve(size);
  for (const auto& list : lists.lists) {
    for (const auto& entry : list) {
      text += entry;
      text += u"\r\n";
    }
  }
  return text;
}

void SortAbbrechen(WordListStatus& status, bool& cancelRequested) {
  cancelRequested = true;
  status.SetCaption(kSortCancelText);
}

WordListOutcome SortierteListenErstellen(std::u16string_view baseFolder, std::u16string_view dbName,
                                         WordListMode mode, WordListStatus& status, const bool& cancelRequested) {
  return SortierteListenErstellen(baseFolder, dbName, mode, status, cancelRequested, StoreReadOptions());
}

WordListOutcome SortierteListenErstellen(std::u16string_view baseFolder, std::u16string_view dbName,
                                         WordListMode mode, WordListStatus& status, const bool& cancelRequested,
                                         const StoreReadOptions& options) {
  const std::u16string base = WithBackslash(baseFolder);
  const std::u16string folder = base + u"Datenbank\\";
  const std::u16string db(dbName);
  DateienLoeschen(folder + u"Temp\\");
  const std::u16string utf8Store = folder + db + u"_UTF8Dokument.txt";
  const std::u16string mhtStore = folder + db + u"_MHTtext.txt";
  if (!FileExists(utf8Store) && !FileExists(mhtStore)) {
    status.ShowInformation(NoDocumentsText(db));
    return WordListOutcome::NoDocuments;
  }
  if (!cancelRequested) status.SetCaption(u"Sortierung von: \"" + db + u"\" läuft.");

  WordListOutcome outcome = WordListOutcome::Done;
  const struct {
    StoreKind kind;
    const std::u16string& store;
    std::u16string_view suffix, kindName;
  } stores[] = {{StoreKind::Utf8, utf8Store, u"_UTF8Dokument.txt", u"UTF8 "},
                {StoreKind::Mht, mhtStore, u"_MHTtext.txt", u"MHT "}};
  for (const auto& s : stores) {
    if (cancelRequested || FileSizeByName(s.store) <= 4) continue;
    status.SetLabel(u"Sortierte Liste von: " + db + std::u16string(s.suffix));

    // The marker drive: that of the first listed path where it exists, else the drive
    // under which the description is found now.
    std::u16string markerDrive;
    const std::u16string description = folder + db + u".dat";
    const std::u16string firstPath = FirstListedPath(description);
    if (!firstPath.empty() && FileExists(firstPath)) {
      markerDrive = firstPath.substr(0, 1);
    } else {
      markerDrive = FindDriveOfPath(description);
      status.SetRelocationDrive(markerDrive);
    }

    status.SetRunning(true);
    WindowProgress progress(status, s.kindName);
    const std::u16string listFile = WordListFileName(base, db, s.kind);
    const StoreListResult written = WriteStoreList(platform::PosixPath(s.store), s.kind, mode, markerDrive, progress,
                                                   cancelRequested, platform::PosixPath(listFile), options);
    if (cancelRequested || written == StoreListResult::Cancelled) {
      outcome = WordListOutcome::Cancelled;
      break;
    }
    if (written == StoreListResult::ReadFailed) {
      status.ShowError(u"Die Datei " + s.store + u" kann nicht gelesen werden: " +
                       platform::PosixUtf8ToWide(platform::SystemErrorText(platform::LastError())).value_or(u"?"));
      outcome = WordListOutcome::ReadFailed;
      break;
    }
    if (written == StoreListResult::WriteFailed) {
      status.ShowError(WriteErrorText(listFile));
      outcome = WordListOutcome::WriteFailed;
      break;
    }
    status.SetDocumentButtons(FileSizeByName(folder + db + u"_AnsiDokument.txt") > 2, FileSizeByName(utf8Store) > 2,
                              FileSizeByName(mhtStore) > 4);
    status.SetProgress(progress.Total());
    status.Pause(100);
  }
  if (cancelRequested) outcome = WordListOutcome::Cancelled;

  status.SetRunning(false);
  status.SetProgress(0);
  // A cancelled or failed run is not reported as done; the cancel text stays in the caption.
  if (outcome == WordListOutcome::Done) status.SetLabel(kSortDoneText);
  if (outcome != WordListOutcome::Cancelled) status.SetCaption(u"");
  return outcome;
}

}  // namespace app
