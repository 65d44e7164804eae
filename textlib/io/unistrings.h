#pragma once
// The wide lists on which the wide controls keep their lines and items, and the file
// stream named by a wide (drive-form) name. The list file format is owned here: FF FE,
// then UTF-16LE with CR LF after every line; loading detects the byte-order mark (UTF-16
// in either order, UTF-8, or 8-bit ANSI without a mark).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textlib/errors.h"
#include "textlib/stream.h"
#include "textlib/wide/widefile.h"
#include "textlib/widestrings.h"

namespace textlib {

class TUniStrings;

// Character set of a list file.
enum TUniCharSet : uint8_t { csAnsi = 0, csUtf16LE = 1, csUtf16BE = 2, csUtf8 = 3 };

// 0 ANSI, 1 UTF-16LE, 2 UTF-16BE, 3 UTF-8; the position ends behind a found mark and
// stays where it was otherwise.
TUniCharSet DetectStreamCharSet(TStream& stream);

// The class library's out-of-resources error ("Zeile kann nicht eingefügt werden").
class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

class TUniStrings {
 public:
  TUniStrings() = default;
  virtual ~TUniStrings() = default;
  TUniStrings(const TUniStrings&) = delete;
  TUniStrings& operator=(const TUniStrings&) = delete;

  // With an 8-bit list the items go through the ANSI code page.
  virtual void AssignTo(TAnsiStringList& dest) const;
  virtual void Assign(const TUniStrings& source);
  virtual void Assign(const TAnsiStringList& source);

  virtual std::u16string Get(int index) const = 0;
  virtual int GetCapacity() const { return GetCount(); }
  virtual int GetCount() const = 0;
  virtual TObjectRef GetObject(int /*index*/) const { return nullptr; }
  // Every item followed by CR LF.
  virtual std::u16string GetTextStr() const;
  virtual void Put(int index, const std::u16string& s);
  virtual void PutObject(int /*index*/, TObjectRef /*object*/) {}
  virtual void SetCapacity(int /*capacity*/) {}
  // Lines end at CR, LF, CR LF or U+2028; a zero character ends the text; a final line
  // break gives no empty last item.
  virtual void SetTextStr(std::u16string_view text);
  virtual void SetUpdateState(bool /*updating*/) {}
  virtual int CompareStrings(const std::u16string& a, const std::u16string& b) const;
  virtual int Add(const std::u16string& s);
  virtual int AddObject(const std::u16string& s, TObjectRef object);
  virtual void AddStrings(const TUniStrings& strings);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Exchange(int index1, int index2);
  // A newly allocated zero-terminated copy of the text.
  virtual std::unique_ptr<char16_t[]> GetTextW() const;
  virtual int IndexOf(const std::u16string& s) const;
  virtual int IndexOfName(const std::u16string& name) const;
  virtual int IndexOfObject(TObjectRef object) const;
  virtual void Insert(int index, const std::u16string& s) = 0;
  virtual void InsertObject(int index, const std::u16string& s, TObjectRef object);
  virtual void LoadFromFile(std::u16string_view fileName);
  virtual void LoadFromStream(TStream& stream, bool detect = false);
  virtual void Move(int currentIndex, int newIndex);
  // Whole or not at all: an exclusive temporary beside the file takes its place when
  // complete (EFCreateError otherwise, the old file kept); a link at the name is kept and
  // the file it names replaced.
  virtual void SaveToFile(std::u16string_view fileName);
  virtual void SaveToStream(TStream& stream, bool withMark = true);
  virtual void SetTextW(const char16_t* text);

  void BeginUpdate();
  void EndUpdate();
  // Same count and every item equal unit for unit.
  bool Equals(const TUniStrings& other) const;
  [[noreturn]] void Error(std::u16string_view message, long long value) const;

  int Count() const { return GetCount(); }
  std::u16string operator[](int index) const { return Get(index); }
  std::u16string Text() const { return GetTextStr(); }
  void SetText(std::u16string_view text) { SetTextStr(text); }

  TUniCharSet LastFileCharSet() const { return lastFileCharSet_; }
  char16_t NameValueSeparator() const { return separator_; }
  void SetNameValueSeparator(char16_t c) {
    separator_ = c;
    separatorSet_ = true;
  }

 protected:
  int UpdateCount() const { return updateCount_; }

 private:
  TUniCharSet lastFileCharSet_ = csUtf16LE;
  char16_t separator_ = u'=';
  bool separatorSet_ = false;
  int updateCount_ = 0;
};

class TUniStringList : public TUniStrings {
 public:
  TUniStringList() = default;
  ~TUniStringList() override;

  std::u16string Get(int index) const override;
  int GetCapacity() const override { return capacity_; }
  int GetCount() const override { return static_cast<int>(items_.size()); }
  TObjectRef GetObject(int index) const override;
  void Put(int index, const std::u16string& s) override;
  void PutObject(int index, TObjectRef object) override;
  void SetCapacity(int capacity) override;
  void SetUpdateState(bool updating) override;
  int CompareStrings(const std::u16string& a, const std::u16string& b) const override;
  int Add(const std::u16string& s) override;
  int AddObject(const std::u16string& s, TObjectRef object) override;
  void Clear() override;
  void Delete(int index) override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const std::u16string& s) const override;
  int IndexOfName(const std::u16string& name) const override;
  void Insert(int index, const std::u16string& s) override;
  void InsertObject(int index, const std::u16string& s, TObjectRef object) override;

  virtual void Changed();
  virtual void Changing();
  // Binary search of a sorted list; the first of equal items unless duplicates are
  // accepted; index is the insertion point when not found.
  virtual bool Find(const std::u16string& s, int& index) const;
  virtual void Sort();
  using CompareFunc = std::function<int(const TUniStringList& list, int a, int b)>;
  virtual void CustomSort(const CompareFunc& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);

  std::function<void(TUniStringList* sender)> OnChange;
  std::function<void(TUniStringList* sender)> OnChanging;

 private:
  struct Item {
    std::u16string text;
    TObjectRef object = nullptr;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const std::u16string& s, TObjectRef object);
  void Grow();
  void QuickSort(int left, int right, const CompareFunc& compare);
  void ExchangeItems(int a, int b);

  std::vector<Item> items_;
  int capacity_ = 0;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

// Open modes: fmCreate, or an fmOpen* access with an fmShare* sharing.
inline constexpr uint32_t fmCreate = 0xFFFF;

class TUniFileStream : public THandleStream {
 public:
  // Raises EFCreateError "Datei %s kann nicht erstellt werden" or EFOpenError "Datei %s
  // kann nicht geöffnet werden" with the file name.
  TUniFileStream(std::u16string_view fileName, uint32_t mode);
  const std::u16string& FileName() const { return fileName_; }

 private:
  std::u16string fileName_;
};

// Binary search over a sorted list: the first equal element, or the insertion point.
template <typename T, typename Item, typename Compare>
bool FindInSortedComponentList(const std::vector<T>& list, Compare compare, const Item& item,
                               int& index) {
  int low = 0, high = static_cast<int>(list.size()) - 1;
  bool found = false;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = compare(list[static_cast<size_t>(mid)], item);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = low;
  return found;
}

// No COM servers exist on this platform.
inline bool ComServerInstalled(std::u16string_view /*classId*/) { return false; }

}  // namespace textlib
