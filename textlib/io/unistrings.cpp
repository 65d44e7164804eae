#include "textlib/io/unistrings.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/list_common.h"
#include "textlib/wide/utf.h"
#include "textlib/wide/widefile.h"
#include "textlib/wide/widestr.h"

namespace textlib {
TUniCharSet DetectStreamCharSet(TStream& stream) {
  const int64_t start = stream.Position();
  const int64_t left = stream.Size() - start;
  unsigned char mark[3] = {};
  if (left < 2) return csAnsi;
  stream.ReadBuffer(mark, 2);
  if (mark[0] == 0xFF && mark[1] == 0xFE) return csUtf16LE;
  if (mark[0] == 0xFE && mark[1] == 0xFF) return csUtf16BE;
  stream.SetPosition(start);
  if (left >= 3) {
    stream.ReadBuffer(mark, 3);
    if (mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return csUtf8;
    stream.SetPosition(start);
  }
  return csAnsi;
}

// ---- TUniStrings ----

void TUniStrings::AssignTo(TAnsiStringList& dest) const {
  dest.Clear();
  for (int i = 0; i < GetCount(); ++i) dest.Add(platform::WideToAnsi(Get(i)), GetObject(i));
}

void TUniStrings::Assign(const TUniStrings& source) {
  if (&source == this) return;
  WithinUpdate(*this, [&] {
    Clear();
    separator_ = source.separator_;
    separatorSet_ = source.separatorSet_;
    AddStrings(source);
  });
}

void TUniStrings::Assign(const TAnsiStringList& source) {
  WithinUpdate(*this, [&] {
    Clear();
    for (int i = 0; i < source.Count(); ++i)
      AddObject(platform::AnsiToWide(source[i].text), source[i].object);
  });
}

std::u16string TUniStrings::GetTextStr() const {
  return JoinLinesCrLf(GetCount(), [this](int i) { return Get(i); });
}

void TUniStrings::Put(int index, const std::u16string& s) { PutKeepingObject(*this, index, s); }

void TUniStrings::SetTextStr(std::u16string_view text) {
  WithinUpdate(*this, [&] {
    Clear();
    // These lists break at CR, LF and U+2028 only.
    SplitLines(text, [](char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028; },
               [this](std::u16string line) { Add(line); });
  });
}

int TUniStrings::CompareStrings(const std::u16string& a, const std::u16string& b) const {
  return WideCompareText(a, b);
}

int TUniStrings::Add(const std::u16string& s) {
  const int index = GetCount();
  Insert(index, s);
  return index;
}

int TUniStrings::AddObject(const std::u16string& s, TObjectRef object) {
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TUniStrings::AddStrings(const TUniStrings& strings) { AddItemsOf(*this, strings); }

void TUniStrings::Exchange(int index1, int index2) { ExchangeItems(*this, index1, index2); }

std::unique_ptr<char16_t[]> TUniStrings::GetTextW() const { return ZeroTerminatedCopy(GetTextStr()); }

int TUniStrings::IndexOf(const std::u16string& s) const {
  for (int i = 0; i < GetCount(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TUniStrings::IndexOfName(const std::u16string& name) const {
  for (int i = 0; i < GetCount(); ++i) {
    const std::u16string item = Get(i);
    const size_t sep = item.find(separator_);
    if (sep != std::u16string::npos && CompareStrings(item.substr(0, sep), name) == 0) return i;
  }
  return -1;
}

int TUniStrings::IndexOfObject(TObjectRef object) const {
  for (int i = 0; i < GetCount(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TUniStrings::InsertObject(int index, const std::u16string& s, TObjectRef object) {
  Insert(index, s);
  PutObject(index, object);
}

void TUniStrings::LoadFromFile(std::u16string_view fileName) {
  TUniFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  lastFileCharSet_ = DetectStreamCharSet(stream);
  stream.SetPosition(0);
  LoadFromStream(stream, true);
}

void TUniStrings::LoadFromStream(TStream& stream, bool detect) {
  WithinUpdate(*this, [&] {
    const TUniCharSet cs = detect ? DetectStreamCharSet(stream) : csUtf16LE;
    const int64_t left = std::max<int64_t>(0, stream.Size() - stream.Position());
    std::string bytes(static_cast<size_t>(left), '\0');
    stream.ReadBuffer(bytes.data(), left);
    std::u16string text;
    switch (cs) {
      case csUtf16LE:
      case csUtf16BE:
        // A last odd byte is dropped.
        text = *platform::MultiByteToWide(cs == csUtf16LE ? platform::kCpUtf16LE : platform::kCpUtf16BE, bytes);
        break;
      case csUtf8:
        text = Utf8ToWide(bytes);  // malformed input gives an empty list
        break;
      case csAnsi:
        text = platform::AnsiToWide(bytes);
        break;
    }
    SetTextStr(text);
  });
}

void TUniStrings::Move(int currentIndex, int newIndex) { MoveItem(*this, currentIndex, newIndex); }

// The list goes to an exclusive temporary beside the file, which takes the file's place only
// when complete: a full disk or a crash keeps the old list whole. A link at the name keeps
// pointing where it did, at the new list.
void TUniStrings::SaveToFile(std::u16string_view fileName) {
  const std::u16string name(fileName);
  const std::string posix = platform::PosixPath(fileName);
  const std::optional<std::string> target = posix.empty() ? std::nullopt : platform::LinkTargetForSave(posix);
  std::string temp;
  platform::NativeFile file = target ? platform::CreateExclusiveTemp(*target, &temp) : platform::NativeFile();
  if (!file.Valid()) throw EFCreateError(u"Datei " + name + u" kann nicht erstellt werden");
  THandleStream stream(std::move(file));
  try {
    SaveToStream(stream, true);
  } catch (...) {
    stream.File().Close();
    platform::RemoveFile(temp);
    throw;
  }
  if (!platform::CommitTempFile(stream.File(), temp, *target))
    throw EFCreateError(u"Datei " + name + u" kann nicht erstellt werden");
}

void TUniStrings::SaveToStream(TStream& stream, bool withMark) {
  std::string bytes = withMark ? std::string("\xFF\xFE") : std::string();
  bytes += *platform::WideToMultiByte(platform::kCpUtf16LE, GetTextStr());
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TUniStrings::SetTextW(const char16_t* text) {
  SetTextStr(text ? std::u16string_view(text) : std::u16string_view());
}

void TUniStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TUniStrings::EndUpdate() {
  --updateCount_;
  if (updateCount_ == 0) SetUpdateState(false);
}

bool TUniStrings::Equals(const TUniStrings& other) const {
  if (GetCount() != other.GetCount()) return false;
  for (int i = 0; i < GetCount(); ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

void TUniStrings::Error(std::u16string_view message, long long value) const {
  std::u16string text(message);
  const size_t at = text.find(u"%d");
  if (at != std::u16string::npos) text.replace(at, 2, NumberText(value));
  throw EStringListError(text);
}

// ---- TUniStringList ----

namespace {
constexpr std::u16string_view kIndexError = u"Der Index der Liste überschreitet das Maximum (%d)";
constexpr std::u16string_view kSortedError = u"Operation bei sortierten Stringlisten nicht erlaubt";
constexpr std::u16string_view kDuplicateError = u"In der Stringliste sind Duplikate nicht erlaubt";
}  // namespace

TUniStringList::~TUniStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TUniStringList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) Error(kIndexError, index);
}

std::u16string TUniStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

TObjectRef TUniStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TUniStringList::Put(int index, const std::u16string& s) {
  if (sorted_) Error(kSortedError, 0);
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

void TUniStringList::PutObject(int index, TObjectRef object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TUniStringList::SetCapacity(int capacity) {
  capacity_ = std::max(capacity, GetCount());
  items_.reserve(static_cast<size_t>(capacity_));
}

void TUniStringList::SetUpdateState(bool updating) { updating ? Changing() : Changed(); }

int TUniStringList::CompareStrings(const std::u16string& a, const std::u16string& b) const {
  return caseSensitive_ ? WideCompareStr(a, b) : WideCompareText(a, b);
}

int TUniStringList::Add(const std::u16string& s) { return AddObject(s, nullptr); }

int TUniStringList::AddObject(const std::u16string& s, TObjectRef object) {
  int index = GetCount();
  if (sorted_ && Find(s, index)) {
    if (duplicates_ == TDuplicates::dupIgnore) return index;
    if (duplicates_ == TDuplicates::dupError) Error(kDuplicateError, 0);
  }
  InsertItem(index, s, object);
  return index;
}

void TUniStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
  Changed();
}

void TUniStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TUniStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  ExchangeItems(index1, index2);
  Changed();
}

void TUniStringList::ExchangeItems(int a, int b) {
  std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]);
}

int TUniStringList::IndexOf(const std::u16string& s) const {
  if (!sorted_) return TUniStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

int TUniStringList::IndexOfName(const std::u16string& name) const {
  if (!sorted_) return TUniStrings::IndexOfName(name);
  const std::u16string key = name + NameValueSeparator();
  int index;
  Find(key, index);
  if (index < GetCount() &&
      CompareStrings(items_[static_cast<size_t>(index)].text.substr(0, key.size()), key) == 0)
    return index;
  return -1;
}

void TUniStringList::Insert(int index, const std::u16string& s) { InsertObject(index, s, nullptr); }

void TUniStringList::InsertObject(int index, const std::u16string& s, TObjectRef object) {
  if (sorted_) Error(kSortedError, 0);
  if (index < 0 || index > GetCount()) Error(kIndexError, index);
  InsertItem(index, s, object);
}

void TUniStringList::Grow() {
  const int delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
  SetCapacity(capacity_ + delta);
}

void TUniStringList::InsertItem(int index, const std::u16string& s, TObjectRef object) {
  Changing();
  if (GetCount() == capacity_) Grow();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TUniStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TUniStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

bool TUniStringList::Find(const std::u16string& s, int& index) const {
  int low = 0, high = GetCount() - 1;
  bool found = false;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = CompareStrings(items_[static_cast<size_t>(mid)].text, s);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ == TDuplicates::dupAccept) {
          index = mid;
          return true;
        }
      }
    }
  }
  index = low;
  return found;
}

void TUniStringList::Sort() {
  CustomSort([](const TUniStringList& list, int a, int b) {
    return list.CompareStrings(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
  });
}

void TUniStringList::CustomSort(const CompareFunc& compare) {
  if (sorted_ || GetCount() < 2) return;
  Changing();
  QuickSort(0, GetCount() - 1, compare);
  Changed();
}

void TUniStringList::QuickSort(int left, int right, const CompareFunc& compare) {
  // Hoare partitioning around the middle element; recursion left, iteration right.
  while (left < right) {
    int i = left, j = right, p = (left + right) / 2;
    do {
      while (compare(*this, i, p) < 0) ++i;
      while (compare(*this, j, p) > 0) --j;
      if (i <= j) {
        if (i != j) ExchangeItems(i, j);
        if (p == i) p = j;
        else if (p == j) p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSort(left, j, compare);
    left = i;
  }
}

void TUniStringList::SetSorted(bool value) {
  if (sorted_ == value) return;
  if (value) Sort();
  sorted_ = value;
}

void TUniStringList::SetCaseSensitive(bool value) {
  if (caseSensitive_ == value) return;
  caseSensitive_ = value;
  if (sorted_) {
    sorted_ = false;
    SetSorted(true);
  }
}

// ---- TUniFileStream ----

namespace {
platform::NativeFile OpenUniFile(std::u16string_view name, uint32_t mode) {
  if (mode == fmCreate) {
    platform::NativeFile f = WideFileCreate(name);
    if (!f.Valid())
      throw EFCreateError(u"Datei " + std::u16string(name) + u" kann nicht erstellt werden");
    return f;
  }
  platform::NativeFile f = WideFileOpen(name, mode);
  if (!f.Valid())
    throw EFOpenError(u"Datei " + std::u16string(name) + u" kann nicht geöffnet werden");
  return f;
}
}  // namespace

TUniFileStream::TUniFileStream(std::u16string_view fileName, uint32_t mode)
    : THandleStream(OpenUniFile(fileName, mode)), fileName_(fileName) {}

}  // namespace textlib
