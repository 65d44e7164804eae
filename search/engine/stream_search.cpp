#include "search/engine/stream_search.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "search/engine/read_ahead.h"
#include "search/engine/text_matcher.h"

namespace search {
namespace {

int64_t RoundDown(int64_t value, int64_t unit) {
  const int64_t r = value % unit;
  return r < 0 ? value - r - unit : value - r;
}

std::u16string UnitsOf(const char* bytes, size_t count, bool bigEndian) {
  std::u16string out(count / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    out[i] = bigEndian ? char16_t((a << 8) | b) : char16_t(a | (b << 8));
  }
  return out;
}

}  // namespace

struct TStreamSearch::KeptMatcher {
  std::u16string text;
  MatchOptions options;
  std::shared_ptr<Utf8Matcher> folding;  // one of the two
  std::shared_ptr<ByteMatcher> bytes;
};

const TStreamSearch::KeptMatcher& TStreamSearch::Matcher(const std::u16string& text, const MatchOptions& options,
                                                         bool folding) {
  for (const auto& kept : kept_)
    if (kept && kept->text == text && kept->options.caseSensitive == options.caseSensitive &&
        kept->options.wholeWords == options.wholeWords && kept->options.utf8 == options.utf8 &&
        (kept->folding != nullptr) == folding)
      return *kept;
  auto made = std::make_shared<KeptMatcher>(KeptMatcher{text, options, nullptr, nullptr});
  if (folding)
    made->folding = std::make_shared<Utf8Matcher>(platform::WideToAnsi(text), options.wholeWords);
  else
    made->bytes = std::make_shared<ByteMatcher>(platform::WideToAnsi(text), options);
  kept_[1] = std::move(kept_[0]);
  kept_[0] = std::move(made);
  return *kept_[0];
}

void TStreamSearch::ClearSaved() {
  savedText_.clear();
  savedEncoding_ = vEncANSI;
  savedOptions_ = 0;
}

TStreamSearch::~TStreamSearch() { CloseSearchFile(); }

void TStreamSearch::CloseSearchFile() {
  reader_.reset();
  cache_.reset();
}

void TStreamSearch::OpenSearchFile(const std::u16string& fileName) {
  CloseSearchFile();
  if (fileName.empty()) return;
  ClearSaved();
  fileName_ = fileName;
  platform::NativeFile file =
      platform::NativeFile::Open(platform::PosixPath(fileName), platform::FileAccess::Read);
  if (!file.Valid())
    throw textlib::EFOpenError(u"Datei " + fileName + u" kann nicht geöffnet werden");
  cache_ = std::make_shared<TBlockCache>(std::move(file));
  stream_ = nullptr;
}

void TStreamSearch::AssignSearchStream(textlib::TStream* stream) {
  CloseSearchFile();
  ClearSaved();
  fileName_.clear();
  stream_ = stream;
}

bool TStreamSearch::Progress(int64_t position, int64_t size) {
  bool go = true;
  if (OnProgress) OnProgress(position, size, go);
  return go;
}

bool TStreamSearch::FindFirst(const std::u16string& text, TViewerEncoding encoding, uint8_t options,
                              int64_t start) {
  ClearSaved();
  savedText_ = text;
  savedEncoding_ = encoding;
  savedOptions_ = options;
  if ((options & kSearchBackward) && start == 0) start = std::numeric_limits<int64_t>::max();
  foundStart_ = FindInStream(text, encoding, options, start);
  foundLength_ = foundStart_ < 0 ? 0 : matchLength_;
  return foundStart_ >= 0;
}

bool TStreamSearch::FindNext(bool backward) {
  const int64_t start = foundStart_ + charSize_;
  uint8_t options = savedOptions_;
  if (NextSource) {
    const std::u16string& current = NextSource->CurrentSearchText();
    const std::u16string& marker = NextSource->Dokumentmarke();
    const bool markerSearch = !marker.empty() && current.compare(0, marker.size(), marker) == 0;
    options = NextSource->GrossKleinBeachten() ? kSearchCaseSensitive : 0;
    if (!markerSearch && NextSource->NurGanzeWoerter()) options |= kSearchWholeWords;
    if (NextSource->QuietFlag()) savedText_ = current;
  }
  if (backward) options |= kSearchBackward;
  foundStart_ = FindInStream(savedText_, savedEncoding_, options, start);
  foundLength_ = foundStart_ < 0 ? 0 : matchLength_;
  return foundStart_ >= 0;
}

int64_t TStreamSearch::FindInStream(const std::u16string& text, TViewerEncoding encoding,
                                    uint8_t options, int64_t start) {
  charSize_ = EncodingCharSize(encoding);
  const int64_t cs = charSize_;
  if ((!stream_ && !cache_) || text.empty()) return -1;
  const int64_t size = cache_ ? cache_->Size() : stream_->Size();
  if (size < cs) return -1;

  const bool forward = (options & kSearchBackward) == 0;
  const MatchOptions match{(options & kSearchCaseSensitive) != 0, (options & kSearchWholeWords) != 0};
  const bool wide = cs == 2;
  std::shared_ptr<Utf8Matcher> folding;
  if (!wide && TextIsUtf8 && encoding == vEncANSI && !match.caseSensitive)
    folding = Matcher(text, MatchOptions{false, match.wholeWords, true}, true).folding;
  matchLength_ = static_cast<int64_t>(text.size()) * cs;
  // The longest match decides the overlap of the blocks.
  const int64_t textBytes = folding ? static_cast<int64_t>(folding->MaxLength()) : static_cast<int64_t>(text.size()) * cs;
  // The block must hold the text twice over and one character more than the overlap of
  // (length + 1) characters, or the search would not move on.
  const int64_t blockSize = cache_ && BlockSize == kDefaultBlockSize ? kFileBlockSize : BlockSize;
  const int64_t block = std::max({RoundDown(std::max<int64_t>(blockSize, cs), cs), 2 * textBytes,
                                  textBytes + 2 * cs});
  // A forward search starts with a small block and doubles it up to the full size: the
  // store search steps from a record's start to a hit that is mostly near, and reading a
  // full block each time would read the whole store.
  constexpr int64_t kFirstBlock = 4096;
  int64_t current = forward ? std::max({RoundDown(std::min(block, kFirstBlock), cs), 2 * textBytes, textBytes + 2 * cs})
                            : block;

  const int64_t lastPos = std::max<int64_t>(0, RoundDown(size, cs) - cs);
  start = RoundDown(start, cs);
  if (start > lastPos) {
    if (forward) return -1;
    start = lastPos;
  }
  if (start < 0) {
    if (!forward) return -1;
    start = 0;
  }
  if (!Progress(start, size)) return -1;

  const bool bigEndian = encoding == vEncUnicodeBE;
  std::shared_ptr<ByteMatcher> bytes;
  std::unique_ptr<WideMatcher> units;
  const std::array<unsigned char, 256>* toAnsi = nullptr;
  if (wide) {
    units = std::make_unique<WideMatcher>(text, match);
  } else if (!folding) {
    MatchOptions byteOptions = match;
    byteOptions.utf8 = TextIsUtf8 && encoding == vEncANSI;
    bytes = Matcher(text, byteOptions, false).bytes;
    toAnsi = EncodingToAnsiTable(encoding);
  }

  // The block with the bytes around it that the whole-word test may read: a UTF-8
  // character or a surrogate pair on either side.
  constexpr int64_t kContext = 4;
  constexpr int64_t kAheadFrom = 4;  // blocks left, at least, for the reader threads
  std::string buffer(cache_ ? 0 : static_cast<size_t>(block + 2 * kContext), '\0');
  const bool plainBytes = bytes && toAnsi && encoding == vEncANSI;
  int64_t position = start;
  while (true) {
    // Far from the end, once the full block is reached, a forward scan of a file goes on
    // on reader threads that each scan blocks of their own; the first block with a match,
    // in order, gives it. The blocks are those of the loop below.
    if (forward && cache_ && (folding || plainBytes) && current == block && position >= kContext &&
        size - position > kAheadFrom * block) {
      const int64_t step = block - textBytes - cs;
      const int64_t length = block + 2 * kContext;
      if (!reader_) reader_ = std::make_shared<ReadAhead>();
      // Held here: the progress report may run the window's messages, and they may close
      // the file. The readers are let go first, so none reads the file after it closed.
      const std::shared_ptr<TBlockCache> file = cache_;
      const std::shared_ptr<ReadAhead> held = reader_;
      ReadAhead& reader = *held;
      // Readers may still work on blocks after the call, so the work owns its matcher.
      struct Finished {
        ReadAhead& reader;
        ~Finished() { reader.Finish(); }
      } finished{reader};
      auto work = [folding, bytes, length, block, size](ReadAhead::Block& b) {
        // The last block's text reaches the end of the file: no block after it.
        const bool last = b.got < length || b.pos + b.got >= size;
        const size_t from = kContext;
        const size_t to = static_cast<size_t>(last ? (b.got > kContext ? b.got : kContext) : kContext + block);
        const std::string_view view(b.data, static_cast<size_t>(b.got));
        size_t matched = 0;
        const int64_t index = folding ? folding->Find(view, from, to, true, &matched) : bytes->Find(view, from, to, true);
        if (index >= 0) b.matches.push_back(BlockMatch{b.pos + kContext + index, static_cast<int64_t>(matched)});
      };
      reader.Start(file->Fd(), size, position - kContext, length, length - step, std::move(work));
      while (const ReadAhead::Block* b = reader.Next()) {
        // A short block: the file was cut after it was opened.
        if (b->got < b->want)
          throw EStreamSearchReadError(u"Read error at offset " + textlib::NumberText(b->pos + kContext));
        if (!b->matches.empty()) {
          if (folding) matchLength_ = b->matches.front().length;
          return b->matches.front().start;
        }
        if (!Progress(b->pos + kContext, size)) return -1;
      }
      return -1;
    }
    const int64_t blockStart = forward ? position : std::max<int64_t>(0, position - (block - cs));
    const int64_t blockLength = forward ? current : std::min(block, position + cs - blockStart);
    const int64_t readStart = std::max<int64_t>(0, blockStart - kContext);
    const int64_t lead = blockStart - readStart;
    const int64_t wanted = lead + blockLength + kContext;
    std::string_view data;
    if (cache_) {
      const std::optional<std::string_view> view = cache_->View(readStart, wanted);
      if (!view) throw EStreamSearchReadError(u"Read error at offset " + textlib::NumberText(blockStart));
      data = *view;
    } else {
      if (stream_->Seek(readStart, textlib::SeekOrigin::Begin) != readStart)
        throw EStreamSearchReadError(u"Read error at offset " + textlib::NumberText(blockStart));
      int64_t got = 0;
      while (got < wanted) {
        const int64_t n = stream_->Read(buffer.data() + got, wanted - got);
        if (n < 0) throw EStreamSearchReadError(u"Read error at offset " + textlib::NumberText(blockStart));
        if (n == 0) break;
        got += n;
      }
      data = std::string_view(buffer.data(), static_cast<size_t>(got));
    }
    const int64_t got = static_cast<int64_t>(data.size());
    const int64_t inBlock = std::clamp<int64_t>(got - lead, 0, blockLength);
    const bool lastBlock = inBlock < (forward ? current : block);
    const int64_t afterBytes = got - lead - inBlock;  // 0 at the end of the stream
    const size_t total = static_cast<size_t>(lead + inBlock + afterBytes);
    const size_t from = static_cast<size_t>(lead), to = static_cast<size_t>(lead + inBlock);

    int64_t index = -1;
    if (wide) {
      const std::u16string all = UnitsOf(data.data(), total, bigEndian);
      index = units->Find(all, from / 2, to / 2, forward);
    } else if (folding) {
      size_t length = 0;
      index = folding->Find(data.substr(0, total), from, to, forward, &length);
      if (index >= 0) matchLength_ = static_cast<int64_t>(length);
    } else {
      std::string_view view = data.substr(0, total);
      std::string converted;
      if (!toAnsi) {
        index = bytes->Find("?", forward);  // the code page is not installed: the block reads as "?"
      } else {
        if (encoding != vEncANSI) {
          converted.resize(total);
          for (size_t i = 0; i < total; ++i)
            converted[i] = static_cast<char>((*toAnsi)[static_cast<unsigned char>(data[i])]);
          view = converted;
        }
        index = bytes->Find(view, from, to, forward);
      }
    }
    if (index >= 0) return blockStart + index * cs;

    if (!Progress(position, size)) return -1;
    const int64_t step = (forward ? current : block) - textBytes - cs;
    if (forward) current = std::min(block, current * 2);
    position = RoundDown(forward ? position + step : position - step, cs);
    if (position < 0 || position > lastPos || lastBlock) break;
  }
  return -1;
}

}  // namespace search
