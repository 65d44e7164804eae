#include "textlib/io/memobuffer.h"

#include <algorithm>

namespace textlib {

namespace {

// Keeps one notification of the control quiet for a scope, also when an edit throws.
class TQuietNotification {
 public:
  TQuietNotification(TMemoControl& control, TMemoControl::TNotification which)
      : control_(control), which_(which) {
    control_.SuspendNotification(which_, true);
  }
  ~TQuietNotification() { control_.SuspendNotification(which_, false); }
  TQuietNotification(const TQuietNotification&) = delete;
  TQuietNotification& operator=(const TQuietNotification&) = delete;

 private:
  TMemoControl& control_;
  TMemoControl::TNotification which_;
};

}  // namespace

// ---- TMemoBuffer ----

TMemoBuffer::TMemoBuffer(Kind kind) : kind_(kind) {
  if (kind == Kind::RichEdit)
    adapter_ = std::make_unique<TUniRichEditStrings>(*this, tlbsCR);
  else
    adapter_ = std::make_unique<TUniMemoStrings>(*this, false, tlbsCRLF);
}

std::u16string TMemoBuffer::Text() const {
  return IsRichEdit() ? WideAdjustLineBreaks(ControlText(), tlbsCRLF) : ControlText();
}

void TMemoBuffer::SetText(std::u16string_view text) { SetControlText(text); }

std::u16string TMemoBuffer::ControlText() const {
  std::u16string text;
  text.reserve(static_cast<size_t>(length_));
  const std::u16string_view brk = IsRichEdit() ? u"\r" : u"\r\n";
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) text += brk;
    text += lines_[i];
  }
  return text;
}

std::vector<std::u16string> TMemoBuffer::Split(std::u16string_view text) const {
  const std::u16string_view brk = IsRichEdit() ? u"\r" : u"\r\n";
  std::vector<std::u16string> parts;
  size_t p = 0;
  while (true) {
    const size_t q = text.find(brk, p);
    if (q == std::u16string_view::npos) {
      parts.emplace_back(text.substr(p));
      return parts;
    }
    parts.emplace_back(text.substr(p, q - p));
    p = q + brk.size();
  }
}

void TMemoBuffer::SetControlText(std::u16string_view text) {
  // A rich edit keeps its paragraphs apart by CR alone, whatever it was given.
  const std::u16string own = IsRichEdit() ? WideAdjustLineBreaks(text, tlbsCR) : std::u16string(text);
  // An equal text is no change.
  if (static_cast<int64_t>(own.size()) == length_ && own == ControlText()) return;
  lines_ = Split(own);
  length_ = static_cast<int64_t>(own.size());
  ++changes_;
}

std::u16string TMemoBuffer::ControlLine(int line) const {
  if (line < 0 || line >= ControlLineCount()) return {};
  return lines_[static_cast<size_t>(line)];
}

int64_t TMemoBuffer::LineIndex(int line) const {
  const int count = ControlLineCount();
  if (line < 0 || line >= count) return -1;
  const auto brk = static_cast<int64_t>(BreakLength());
  // Walk from the nearer end: appending to a long log stays cheap.
  if (line > count / 2) {
    int64_t start = length_ - static_cast<int64_t>(lines_.back().size());
    for (int i = count - 1; i > line; --i)
      start -= brk + static_cast<int64_t>(lines_[static_cast<size_t>(i - 1)].size());
    return start;
  }
  int64_t start = 0;
  for (int i = 0; i < line; ++i) start += static_cast<int64_t>(lines_[static_cast<size_t>(i)].size()) + brk;
  return start;
}

TMemoBuffer::Place TMemoBuffer::Locate(int64_t position) const {
  position = std::clamp<int64_t>(position, 0, length_);
  const auto brk = static_cast<int64_t>(BreakLength());
  const size_t count = lines_.size();
  if (position > length_ / 2) {
    int64_t start = length_ - static_cast<int64_t>(lines_.back().size());
    for (size_t i = count - 1;; --i) {
      if (position >= start || i == 0) {
        const auto len = static_cast<int64_t>(lines_[i].size());
        return {i, static_cast<size_t>(std::clamp<int64_t>(position - start, 0, len))};
      }
      start -= brk + static_cast<int64_t>(lines_[i - 1].size());
    }
  }
  int64_t start = 0;
  for (size_t i = 0;; ++i) {
    const auto len = static_cast<int64_t>(lines_[i].size());
    // A position inside a break counts as the end of its line.
    if (position < start + len + brk || i + 1 == count)
      return {i, static_cast<size_t>(std::min(position - start, len))};
    start += len + brk;
  }
}

int64_t TMemoBuffer::LineLength(int64_t position) const {
  return static_cast<int64_t>(lines_[Locate(position).line].size());
}

bool TMemoBuffer::Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit) {
  if (start > end) std::swap(start, end);
  const std::u16string own = IsRichEdit() ? WideAdjustLineBreaks(text, tlbsCR) : std::u16string(text);
  const Place a = Locate(start), b = Locate(end);
  const auto brk = static_cast<int64_t>(BreakLength());
  int64_t removed = static_cast<int64_t>(b.line - a.line) * brk;
  for (size_t i = a.line; i <= b.line; ++i) removed += static_cast<int64_t>(lines_[i].size());
  std::u16string joined = lines_[a.line].substr(0, a.offset) + own + lines_[b.line].substr(b.offset);
  std::vector<std::u16string> parts = Split(joined);
  int64_t added = static_cast<int64_t>(parts.size() - 1) * brk;
  for (const auto& part : parts) added += static_cast<int64_t>(part.size());
  if (enforceLimit && maxLength_ > 0 && length_ - removed + added > maxLength_) return false;
  // Replacing a range by the text it holds is no change.
  if (added == removed && std::equal(parts.begin(), parts.end(), lines_.begin() + static_cast<ptrdiff_t>(a.line),
                                     lines_.begin() + static_cast<ptrdiff_t>(b.line) + 1))
    return true;
  lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(a.line), lines_.begin() + static_cast<ptrdiff_t>(b.line) + 1);
  lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(a.line), std::make_move_iterator(parts.begin()),
                std::make_move_iterator(parts.end()));
  length_ += added - removed;
  ++changes_;
  return true;
}

// ---- TUniMemoStrings ----

TUniMemoStrings::TUniMemoStrings(TMemoControl& memo, bool richEditMode, TTextLineBreakStyle style)
    : memo_(memo), richEditMode_(richEditMode), style_(style) {}

std::u16string TUniMemoStrings::Get(int index) const { return memo_.ControlLine(index); }

int TUniMemoStrings::GetCount() const {
  // The empty line behind a final break is not counted, so that Add appends after it.
  const int count = memo_.ControlLineCount();
  return memo_.ControlLine(count - 1).empty() ? count - 1 : count;
}

std::u16string TUniMemoStrings::GetTextStr() const {
  return richEditMode_ ? TUniStrings::GetTextStr() : memo_.ControlText();
}

void TUniMemoStrings::Put(int index, const std::u16string& s) {
  const int64_t start = memo_.LineIndex(index);
  if (start >= 0) memo_.Replace(start, start + memo_.LineLength(start), s);
}

void TUniMemoStrings::SetTextStr(std::u16string_view text) {
  const std::u16string converted = WideAdjustLineBreaks(text, style_);
  if (converted != GetTextStr()) memo_.SetControlText(converted);
}

void TUniMemoStrings::SetUpdateState(bool updating) { memo_.SetUpdateState(updating); }

void TUniMemoStrings::Clear() { memo_.SetControlText(u""); }

void TUniMemoStrings::Delete(int index) {
  const int64_t start = memo_.LineIndex(index);
  if (start < 0) return;
  const int64_t next = memo_.LineIndex(index + 1);
  memo_.Replace(start, next >= 0 ? next : start + memo_.LineLength(start), u"");
}

void TUniMemoStrings::Insert(int index, const std::u16string& s) {
  if (index < 0) return;
  int64_t at = memo_.LineIndex(index);
  std::u16string text;
  if (at >= 0) {
    text = s + u"\r\n";
  } else {
    // Past the last line: behind the end of the line before, unless that one is empty.
    const int64_t previous = memo_.LineIndex(index - 1);
    if (previous < 0) return;
    const int64_t length = memo_.LineLength(previous);
    if (length == 0) return;
    at = previous + length;
    text = u"\r\n" + s;
  }
  if (richEditMode_ && style_ != tlbsCRLF) {
    text = WideAdjustLineBreaks(text, style_);
    if (text == u"\r") text = u"\r\n";
  }
  if (!memo_.Replace(at, at, text, true)) throw EOutOfResources(u"Zeile kann nicht eingefügt werden");
}

// ---- TUniRichEditStrings ----

void TUniRichEditStrings::SetTextStr(std::u16string_view text) {
  TQuietNotification quiet(memo_, TMemoControl::TNotification::Change);
  TUniMemoStrings::SetTextStr(text);
}

void TUniRichEditStrings::AddStrings(const TUniStrings& strings) {
  TQuietNotification quiet(memo_, TMemoControl::TNotification::SelectionChange);
  TUniMemoStrings::AddStrings(strings);
}

}  // namespace textlib
