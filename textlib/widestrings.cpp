#include "textlib/widestrings.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/list_common.h"
#include "textlib/stream.h"
#include "textlib/unicode.h"

namespace textlib {
namespace {

[[noreturn]] void IndexError(int index) {
  throw EStringListError(u"Der Index der Liste überschreitet das Maximum (" + NumberText(index) +
                         u")");
}
[[noreturn]] void SortedError() {
  throw EStringListError(u"Operation bei sortierten Stringlisten nicht erlaubt");
}

bool IsLineBreak(char16_t c) {
  return c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r' || c == 0x2028 || c == 0x2029;
}

}  // namespace

int TAnsiStringList::Add(std::string text, TObjectRef object) {
  items_.push_back({std::move(text), object});
  return Count() - 1;
}

// ---- TWideStrings ----

TWideStrings::TWideStrings() : language_(platform::GetUserDefaultLcid()) {}

void TWideStrings::AssignTo(TAnsiStringList& dest) const {
  dest.Clear();
  for (int i = 0; i < GetCount(); ++i) dest.Add(platform::WideToAnsi(Get(i)), GetObject(i));
}

void TWideStrings::AssignTo(TWideStrings& dest) const { dest.Assign(*this); }

void TWideStrings::Assign(const TWideStrings& source) {
  if (&source == this) return;
  WithinUpdate(*this, [&] {
      Clear();
      AddStrings(source);
  });
}

void TWideStrings::Assign(const TAnsiStringList& source) {
  WithinUpdate(*this, [&] {
      Clear();
      AddStrings(source);
  });
}

std::u16string TWideStrings::GetTextStr() const {
  return JoinLinesCrLf(GetCount(), [this](int i) { return Get(i); });
}

void TWideStrings::Put(int index, const std::u16string& s) { PutKeepingObject(*this, index, s); }

void TWideStrings::SetTextStr(std::u16string_view text) {
  WithinUpdate(*this, [&] {
    Clear();
    SplitLines(text, IsLineBreak, [this](std::u16string line) { Add(line); });
  });
}

int TWideStrings::Add(const std::u16string& s) {
  const int index = GetCount();
  Insert(index, s);
  return index;
}

int TWideStrings::AddObject(const std::u16string& s, TObjectRef object) {
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TWideStrings::AddStrings(const TAnsiStringList& strings) {
  WithinUpdate(*this, [&] {
      for (int i = 0; i < strings.Count(); ++i)
        AddObject(platform::AnsiToWide(strings[i].text), strings[i].object);
  });
}

void TWideStrings::AddStrings(const TWideStrings& strings) { AddItemsOf(*this, strings); }

void TWideStrings::Exchange(int index1, int index2) { ExchangeItems(*this, index1, index2); }

std::unique_ptr<char16_t[]> TWideStrings::GetText() const { return ZeroTerminatedCopy(GetTextStr()); }

int TWideStrings::IndexOf(const std::u16string& s) const {
  for (int i = 0; i < GetCount(); ++i)
    if (CompareTextProc(Get(i), s, language_) == 0) return i;
  return -1;
}

void TWideStrings::InsertObject(int index, const std::u16string& s, TObjectRef object) {
  Insert(index, s);
  PutObject(index, object);
}

void TWideStrings::LoadFromFile(std::u16string_view fileName) {
  platform::NativeFile file =
      platform::NativeFile::Open(platform::PosixPath(fileName), platform::FileAccess::Read);
  if (!file.Valid()) throw MakeWin32Error(platform::LastError());
  THandleStream stream(std::move(file));
  try {
    LoadFromStream(stream);
  } catch (const Exception&) {
    throw MakeWin32Error(platform::LastError());
  }
}

void TWideStrings::LoadFromFile(std::string_view ansiFileName) {
  LoadFromFile(platform::AnsiToWide(ansiFileName));
}

void TWideStrings::LoadFromStream(TStream& stream) {
  WithinUpdate(*this, [&] {
      const int64_t start = stream.Position();
      const int64_t n = stream.Size() - start;
      unsigned char mark[2] = {0, 0};
      const bool marked = n >= 2 && stream.Read(mark, 2) == 2 &&
                          ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF));
      if (marked) {
        saveUnicode_ = true;
        std::string bytes(static_cast<size_t>((n - 2) / 2 * 2), '\0');
        stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        const bool bigEndian = mark[0] == 0xFE;
        std::u16string text(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) {
          const auto a = static_cast<unsigned char>(bytes[2 * i]);
          const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
          text[i] = bigEndian ? char16_t((a << 8) | b) : char16_t(a | (b << 8));
        }
        SetTextStr(text);
      } else {
        saveUnicode_ = false;
        stream.SetPosition(start);
        std::string bytes(static_cast<size_t>(std::max<int64_t>(n, 0)), '\0');
        stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        SetTextStr(platform::AnsiToWide(bytes));
      }
  });
}

void TWideStrings::Move(int currentIndex, int newIndex) { MoveItem(*this, currentIndex, newIndex); }

bool TWideStrings::ConversionAllowed(const std::u16string& text) {
  bool allowed = true;
  if (!saveUnicode_ && OnConfirmConversion) {
    const std::u16string_view beforeNul(text.data(), std::min(text.find(u'\0'), text.size()));
    for (char16_t c : beforeNul)
      if (c >= 256) {
        OnConfirmConversion(this, allowed);
        break;
      }
  }
  return allowed;
}

void TWideStrings::WriteText(TStream& stream, const std::u16string& text) const {
  if (saveUnicode_) {
    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += "\xFF\xFE";
    for (char16_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>(c >> 8));
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  } else {
    const std::string bytes = platform::WideToAnsi(text);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
}

void TWideStrings::SaveToStream(TStream& stream) {
  const std::u16string text = GetTextStr();
  saved_ = false;
  if (!ConversionAllowed(text)) return;
  WriteText(stream, text);
  saved_ = true;
}

// The question comes before the file is touched, and the text goes to a temporary sibling
// that replaces the file only when complete: a refused or failed save keeps the old file.
void TWideStrings::SaveToFile(std::u16string_view fileName) {
  const std::u16string text = GetTextStr();
  saved_ = false;
  if (!ConversionAllowed(text)) return;
  const std::string posix = platform::PosixPath(fileName);
  // A link at the name stays and names the new file.
  const std::string path = posix.empty() ? std::string() : platform::LinkTargetForSave(posix).value_or(std::string());
  // An exclusive temporary beside the file (never a fixed name a link could stand at),
  // synced before it takes the file's place.
  std::string temp;
  platform::NativeFile file = path.empty() ? platform::NativeFile() : platform::CreateExclusiveTemp(path, &temp);
  if (!file.Valid())
    throw EFCreateError(u"Datei " + std::u16string(fileName) + u" kann nicht erstellt werden");
  THandleStream stream(std::move(file));
  try {
    WriteText(stream, text);
  } catch (...) {
    platform::RemoveFile(temp);
    throw;
  }
  if (!platform::CommitTempFile(stream.File(), temp, path))
    throw EFCreateError(u"Datei " + std::u16string(fileName) + u" kann nicht erstellt werden");
  saved_ = true;
}

void TWideStrings::SaveToFile(std::string_view ansiFileName) {
  SaveToFile(platform::AnsiToWide(ansiFileName));
}

void TWideStrings::SetText(const char16_t* text) {
  SetTextStr(text ? std::u16string_view(text) : std::u16string_view());
}

// The update state changes while the count is 0, so the list's own events still fire.
void TWideStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TWideStrings::EndUpdate() {
  if (--updateCount_ == 0) SetUpdateState(false);
}

// ---- TWideStringList ----

void TWideStringList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) IndexError(index);
}

std::u16string TWideStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

TObjectRef TWideStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TWideStringList::Put(int index, const std::u16string& s) {
  if (sorted_) SortedError();
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

void TWideStringList::PutObject(int index, TObjectRef object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TWideStringList::SetCapacity(int capacity) {
  capacity_ = std::max(capacity, GetCount());
  items_.reserve(static_cast<size_t>(capacity_));
}

void TWideStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

void TWideStringList::SetLanguage(LocaleId language) { TWideStrings::SetLanguage(language); }

int TWideStringList::Add(const std::u16string& s) {
  int index = GetCount();
  if (sorted_) {
    if (Find(s, index)) {
      if (duplicates_ == TDuplicates::dupIgnore) return index;
      if (duplicates_ == TDuplicates::dupError)
        throw EStringListError(u"In der Stringliste sind Duplikate nicht erlaubt");
    }
  }
  InsertItem(index, s);
  return index;
}

void TWideStringList::Clear() {
  if (items_.empty() && capacity_ == 0) return;
  Changing();
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
  Changed();
}

void TWideStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TWideStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

int TWideStringList::IndexOf(const std::u16string& s) const {
  if (!sorted_) return TWideStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TWideStringList::Insert(int index, const std::u16string& s) {
  if (sorted_) SortedError();
  if (index < 0 || index > GetCount()) IndexError(index);
  InsertItem(index, s);
}

void TWideStringList::Grow() {
  const int delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
  SetCapacity(capacity_ + delta);
}

void TWideStringList::InsertItem(int index, const std::u16string& s) {
  Changing();
  if (GetCount() == capacity_) Grow();
  items_.insert(items_.begin() + index, Item{s, nullptr});
  Changed();
}

void TWideStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TWideStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

// A comparison that cannot be made (no collation for the locale) falls back to the order
// of the units, so sorting and searching always see a consistent order.
int TWideStringList::Compare(const std::u16string& a, const std::u16string& b) const {
  const int c = CompareTextProc(a, b, Language());
  if (c != -2) return c;
  return a < b ? -1 : a == b ? 0 : 1;
}

bool TWideStringList::Find(const std::u16string& s, int& index) const {
  bool found = false;
  int lo = 0, hi = GetCount() - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = Compare(items_[static_cast<size_t>(mid)].text, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TWideStringList::QuickSort(int left, int right) {
  int i;
  do {
    i = left;
    int j = right;
    int p = (left + right) / 2;
    do {
      while (Compare(items_[static_cast<size_t>(i)].text, items_[static_cast<size_t>(p)].text) < 0) ++i;
      while (Compare(items_[static_cast<size_t>(j)].text, items_[static_cast<size_t>(p)].text) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
        if (p == i) {
          p = j;
        } else if (p == j) {
          p = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSort(left, j);
    left = i;
  } while (i < right);
}

void TWideStringList::Sort() {
  if (sorted_ || GetCount() < 2) return;
  Changing();
  QuickSort(0, GetCount() - 1);
  Changed();
}

void TWideStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

}  // namespace textlib
