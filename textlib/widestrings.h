#pragma once
// The wide string list: UTF-16 items, each with an object reference, optionally kept
// sorted by a case-insensitive comparison in the user's locale. Its files are 8-bit text
// in code page 1252 with CR LF after every line, or FF FE + UTF-16LE when the list was
// loaded from a file with a byte-order mark. Lists of UTF-8 bytes kept one per character
// are written back byte for byte, which is how the program's UTF-8 list files are made.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/collate.h"

namespace textlib {

class TStream;
class TWideStrings;

using platform::LocaleId;
using TObjectRef = void*;  // not owned by the list
using TNotifyEvent = std::function<void(TWideStrings* sender)>;
using TConfirmConversionEvent = std::function<void(TWideStrings* sender, bool& allowed)>;

// The class library's 8-bit string list, as far as the wide lists exchange items with it.
class TAnsiStringList {
 public:
  struct Item {
    std::string text;
    TObjectRef object = nullptr;
  };
  int Add(std::string text, TObjectRef object = nullptr);
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const Item& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }

 private:
  std::vector<Item> items_;
};

class TWideStrings {
 public:
  TWideStrings();
  virtual ~TWideStrings() = default;
  TWideStrings(const TWideStrings&) = delete;
  TWideStrings& operator=(const TWideStrings&) = delete;

  virtual void AssignTo(TAnsiStringList& dest) const;
  virtual void AssignTo(TWideStrings& dest) const;
  virtual void Assign(const TWideStrings& source);
  virtual void Assign(const TAnsiStringList& source);

  virtual std::u16string Get(int index) const = 0;
  virtual int GetCapacity() const { return GetCount(); }
  virtual int GetCount() const = 0;
  virtual TObjectRef GetObject(int /*index*/) const { return nullptr; }
  virtual std::u16string GetTextStr() const;
  virtual void Put(int index, const std::u16string& s);
  virtual void PutObject(int /*index*/, TObjectRef /*object*/) {}
  virtual void SetCapacity(int /*capacity*/) {}
  virtual void SetTextStr(std::u16string_view text);
  virtual void SetUpdateState(bool /*updating*/) {}
  virtual void SetLanguage(LocaleId language) { language_ = language; }
  virtual int Add(const std::u16string& s);
  virtual int AddObject(const std::u16string& s, TObjectRef object);
  virtual void AddStrings(const TAnsiStringList& strings);
  virtual void AddStrings(const TWideStrings& strings);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Exchange(int index1, int index2);
  // A newly allocated zero-terminated copy of the text form.
  virtual std::unique_ptr<char16_t[]> GetText() const;
  virtual int IndexOf(const std::u16string& s) const;
  virtual void Insert(int index, const std::u16string& s) = 0;
  // File names are drive-form paths; the 8-bit overloads take them in code page 1252.
  virtual void LoadFromFile(std::u16string_view fileName);
  void LoadFromFile(std::string_view ansiFileName);
  virtual void LoadFromStream(TStream& stream);
  virtual void Move(int currentIndex, int newIndex);
  virtual void SaveToFile(std::u16string_view fileName);
  void SaveToFile(std::string_view ansiFileName);
  virtual void SaveToStream(TStream& stream);
  virtual void SetText(const char16_t* text);

  void InsertObject(int index, const std::u16string& s, TObjectRef object);
  void BeginUpdate();
  void EndUpdate();
  int Count() const { return GetCount(); }
  std::u16string operator[](int index) const { return Get(index); }

  LocaleId Language() const { return language_; }
  bool Saved() const { return saved_; }
  bool SaveUnicode() const { return saveUnicode_; }
  void SetSaveUnicode(bool value) { saveUnicode_ = value; }
  TConfirmConversionEvent OnConfirmConversion;

 protected:
  int UpdateCount() const { return updateCount_; }

 private:
  // Asks OnConfirmConversion when the text would lose characters in code page 1252.
  bool ConversionAllowed(const std::u16string& text);
  void WriteText(TStream& stream, const std::u16string& text) const;

  int updateCount_ = 0;
  LocaleId language_;
  bool saved_ = true;
  bool saveUnicode_ = false;
};

enum class TDuplicates : uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TWideStringList : public TWideStrings {
 public:
  TWideStringList() = default;

  std::u16string Get(int index) const override;
  int GetCapacity() const override { return capacity_; }
  int GetCount() const override { return static_cast<int>(items_.size()); }
  TObjectRef GetObject(int index) const override;
  void Put(int index, const std::u16string& s) override;
  void PutObject(int index, TObjectRef object) override;
  void SetCapacity(int capacity) override;
  void SetUpdateState(bool updating) override;
  void SetLanguage(LocaleId language) override;
  int Add(const std::u16string& s) override;
  void Clear() override;
  void Delete(int index) override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const std::u16string& s) const override;
  void Insert(int index, const std::u16string& s) override;

  virtual void Changed();
  virtual void Changing();
  // Binary search of a sorted list: true when found; index is the match (the first of
  // equal items unless duplicates are accepted) or where s belongs.
  virtual bool Find(const std::u16string& s, int& index) const;
  virtual void Sort();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 private:
  struct Item {
    std::u16string text;
    TObjectRef object = nullptr;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const std::u16string& s);
  void Grow();
  int Compare(const std::u16string& a, const std::u16string& b) const;
  void QuickSort(int left, int right);

  std::vector<Item> items_;
  int capacity_ = 0;
  bool sorted_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

}  // namespace textlib
