#include "search/engine/document_model.h"

#include <algorithm>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "search/engine/viewer_services.h"

namespace search {

bool TDocumentModel::Open(const std::u16string& fileName) {
  Close();
  if (fileName.empty()) return true;
  platform::NativeFile file = OpenFileShared(fileName);
  if (!file.Valid()) {
    MsgError(SubstituteFileName(kMsgCannotOpenFile, fileName));
    return false;
  }
  const int64_t size = file.Size();
  if (size < 0) return false;
  fileName_ = fileName;
  file_ = std::move(file);
  size_ = size;
  const std::string mark = ReadAt(0, 2);
  bigEndian_ = mark == "\xFE\xFF";
  return true;
}

void TDocumentModel::Close() {
  file_.Close();
  cache_.reset();
  fileName_.clear();
  size_ = 0;
  bigEndian_ = false;
  selStart_ = selLength_ = 0;
}

void TDocumentModel::SetMode(TDocumentMode mode) {
  mode_ = mode;
  selStart_ = selLength_ = 0;
}

int64_t TDocumentModel::LastPos() const {
  const int64_t cs = CharSize();
  return std::max<int64_t>(0, size_ / cs * cs - cs);
}

std::string TDocumentModel::ReadAt(int64_t offset, int64_t count) {
  std::string out;
  if (!file_.Valid() || count <= 0 || offset < 0) return out;
  if (cache_ && cache_->Size() == size_) {
    if (const std::optional<std::string_view> view = cache_->View(offset, count)) return std::string(*view);
    MsgError(SubstituteFileName(kMsgCannotReadFile, fileName_));
    return out;
  }
  out.resize(static_cast<size_t>(count));
  if (file_.Seek(offset, platform::SeekOrigin::Begin) != offset) {
    MsgError(SubstituteFileName(kMsgCannotReadFile, fileName_));
    return {};
  }
  const int64_t n = file_.Read(out.data(), count);
  if (n < 0) {
    MsgError(SubstituteFileName(kMsgCannotReadFile, fileName_));
    return {};
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

void TDocumentModel::SetSelection(int64_t start, int64_t length) {
  if (!file_.Valid() || size_ < CharSize() || start < 0 || start > LastPos() || length < 0) return;
  const int64_t cs = CharSize();
  start = start / cs * cs;
  length = length / cs * cs;
  selStart_ = start;
  selLength_ = std::min(length, LastPos() + cs - start);
}

bool TDocumentModel::IsDelimiter(int kind, const std::string& bytes, int64_t index) const {
  uint32_t c;
  if (CharSize() == 2) {
    const auto a = static_cast<unsigned char>(bytes[static_cast<size_t>(index)]);
    const auto b = static_cast<unsigned char>(bytes[static_cast<size_t>(index) + 1]);
    c = bigEndian_ ? (a << 8 | b) : (b << 8 | a);
  } else {
    c = static_cast<unsigned char>(bytes[static_cast<size_t>(index)]);
  }
  if (c == 13 || c == 10) return true;
  if (kind == 0) return false;
  return c == 9 || (c >= 32 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 94) || c == 96 ||
         (c >= 123 && c <= 127);
}

void TDocumentModel::SelectAt(int kind, int64_t offset) {
  const int64_t cs = CharSize();
  if (!file_.Valid() || size_ < cs || offset < 0 || offset > LastPos()) return;
  offset = offset / cs * cs;
  const int64_t windowStart = std::max<int64_t>(0, offset - kMaxLineSteps * cs);
  const int64_t windowEnd = std::min(LastPos() + cs, offset + (kMaxLineSteps + 1) * cs);
  const std::string bytes = ReadAt(windowStart, windowEnd - windowStart);
  if (static_cast<int64_t>(bytes.size()) < windowEnd - windowStart) return;
  int64_t first = offset - windowStart, last = first;
  for (int64_t step = 0; step < kMaxLineSteps && first - cs >= 0 && !IsDelimiter(kind, bytes, first - cs); ++step)
    first -= cs;
  const int64_t end = static_cast<int64_t>(bytes.size());
  for (int64_t step = 0; step < kMaxLineSteps && last + 2 * cs <= end && !IsDelimiter(kind, bytes, last + cs); ++step)
    last += cs;
  SetSelection(windowStart + first, last - first + cs);
}

std::string TDocumentModel::SelBytes(int64_t limit) {
  if (selLength_ <= 0) return {};
  const int64_t count = std::min(limit > 0 ? limit : int64_t{16} << 20, selLength_);
  return ReadAt(selStart_, count);
}

std::string TDocumentModel::SelText() {
  const std::string bytes = SelBytes();
  if (TextEncoding == vEncANSI) return bytes;
  return platform::WideToAnsi(CodepageStringToWide(bytes, TextEncoding));
}

std::u16string TDocumentModel::SelTextW() {
  const std::string bytes = SelBytes();
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    out[i] = bigEndian_ ? char16_t(a << 8 | b) : char16_t(b << 8 | a);
  }
  return out;
}

}  // namespace search
