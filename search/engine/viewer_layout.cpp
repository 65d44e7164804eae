#include "search/engine/viewer_layout.h"

#include <algorithm>

#include "platform/codepage.h"
#include "textlib/unicode.h"

namespace search {

void TFixedWidthMeasure::Extents(std::u16string_view text, std::vector<int>& widths) const {
  widths.resize(text.size());
  int x = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool lowHalf = i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
    if (!lowHalf) x += charWidth_;
    widths[i] = x;
  }
}

void TStrPositions::Clear(int charSize, int lineHeight) {
  lines_.clear();
  charSize_ = charSize;
  lineHeight_ = std::max(1, lineHeight);
}

bool TStrPositions::Add(TStrPosRecord record) {
  if (Count() >= kMaxLines) return false;
  lines_.push_back(std::move(record));
  return true;
}

int64_t TStrPositions::OffsetFromPoint(int x, int y) const {
  if (lines_.empty()) return -1;
  if (y < lines_.front().y) return lines_.front().offset;
  for (const TStrPosRecord& line : lines_) {
    if (y < line.y || y >= line.y + lineHeight_) continue;
    if (x < line.x) return line.offset;
    for (int64_t i = 1; i <= line.length; ++i) {
      const int mid = line.x + (line.extents[static_cast<size_t>(i - 1)] + line.extents[static_cast<size_t>(i)]) / 2;
      if (mid > x) return line.offset + (i - 1) * charSize_;
    }
    return line.offset + line.length * charSize_;
  }
  const TStrPosRecord& last = lines_.back();
  return last.offset + last.length * charSize_;
}

bool TStrPositions::PointFromOffset(int64_t offset, int& x, int& y) const {
  for (const TStrPosRecord& line : lines_) {
    if (offset < line.offset || offset >= line.offset + line.length * charSize_) continue;
    x = line.x + line.extents[static_cast<size_t>((offset - line.offset) / charSize_)];
    y = line.y;
    return true;
  }
  return false;
}

int TStrPositions::WidestLine() const {
  int widest = 0;
  for (const TStrPosRecord& line : lines_) widest = std::max(widest, line.x + (line.extents.empty() ? 0 : line.extents.back()));
  return widest;
}

namespace {
bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }
}  // namespace

std::u16string LenientUtf8ToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  size_t i = 0;
  while (i < n) {
    const unsigned char b = at(i);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    // A character above U+FFFF is one four-byte sequence in the stores: a surrogate pair.
    if (b >= 0xF0 && b <= 0xF4 && i + 3 < n && IsContinuation(at(i + 1)) && IsContinuation(at(i + 2)) &&
        IsContinuation(at(i + 3))) {
      const char32_t v = (char32_t(b & 0x07) << 18) | (char32_t(at(i + 1) & 0x3F) << 12) |
                         (char32_t(at(i + 2) & 0x3F) << 6) | char32_t(at(i + 3) & 0x3F);
      if (v >= 0x10000 && v <= 0x10FFFF) {
        out.push_back(static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((v - 0x10000) & 0x3FF)));
        i += 4;
        continue;
      }
    }
    if (b >= 0xC0) {
      if (b & 0x20) {
        if (i + 2 < n && IsContinuation(at(i + 1)) && IsContinuation(at(i + 2))) {
          out.push_back(static_cast<char16_t>(((b & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F)));
          i += 3;
          continue;
        }
      } else if (i + 1 < n && IsContinuation(at(i + 1))) {
        out.push_back(static_cast<char16_t>(((b & 0x1F) << 6) | (at(i + 1) & 0x3F)));
        i += 2;
        continue;
      }
    }
    // A byte that starts no complete sequence is a character of the 8-bit text it came
    // from, never a C1 control; the next byte is read on its own.
    out.push_back(platform::Cp1252ToWide(b));
    ++i;
  }
  return out;
}

std::u16string MemoText(std::u16string_view drawn, TViewerDocKind kind) {
  switch (kind) {
    case TViewerDocKind::None:
      return {};
    case TViewerDocKind::Unicode:
      return std::u16string(drawn);
    case TViewerDocKind::Ansi:
      return LenientUtf8ToWide(platform::WideToAnsi(drawn));
    case TViewerDocKind::Utf8: {
      std::u16string out = textlib::DecodeUtf8(platform::WideToAnsi(drawn));
      for (char16_t& c : out)
        if (c == 0x0C00 || c == 0x0C4D) c = u' ';
      return out;
    }
  }
  return {};
}

}  // namespace search
