#pragma once
// What the two wide list families (TWideStrings and TUniStrings) do alike: the text form
// (items joined with CR LF after each, and the split back, where the families differ only
// in which units end a line), the update bracket and the operations a base list builds
// from Get, GetObject, Insert, Delete and Put.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace textlib {

// Every item followed by CR LF, the last one too; no items give an empty text.
template <typename GetItem>
std::u16string JoinLinesCrLf(int count, GetItem getItem) {
  std::u16string text;
  for (int i = 0; i < count; ++i) {
    text += getItem(i);
    text += u"\r\n";
  }
  return text;
}

// Splits the text up to its first NUL at every unit isBreak accepts; CR LF is one break,
// a final break adds no empty line, consecutive breaks give empty lines.
template <typename IsBreak, typename AddLine>
void SplitLines(std::u16string_view text, IsBreak isBreak, AddLine addLine) {
  const size_t end = std::min(text.find(u'\0'), text.size());
  size_t p = 0;
  while (p < end) {
    const size_t start = p;
    while (p < end && !isBreak(text[p])) ++p;
    addLine(std::u16string(text.substr(start, p - start)));
    if (p < end) p += (text[p] == u'\r' && p + 1 < end && text[p + 1] == u'\n') ? 2 : 1;
  }
}

// Runs body between BeginUpdate and EndUpdate of a list, also when body throws.
template <typename List, typename Body>
void WithinUpdate(List& list, Body body) {
  list.BeginUpdate();
  try {
    body();
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

// Put of a base list: the string changes, its object stays.
template <typename List>
void PutKeepingObject(List& list, int index, const std::u16string& s) {
  auto object = list.GetObject(index);
  list.Delete(index);
  list.InsertObject(index, s, object);
}

template <typename List>
void ExchangeItems(List& list, int index1, int index2) {
  WithinUpdate(list, [&] {
    const std::u16string s = list.Get(index1);
    auto object = list.GetObject(index1);
    list.Put(index1, list.Get(index2));
    list.PutObject(index1, list.GetObject(index2));
    list.Put(index2, s);
    list.PutObject(index2, object);
  });
}

template <typename List>
void MoveItem(List& list, int currentIndex, int newIndex) {
  if (currentIndex == newIndex) return;
  WithinUpdate(list, [&] {
    const std::u16string s = list.Get(currentIndex);
    auto object = list.GetObject(currentIndex);
    list.Delete(currentIndex);
    list.InsertObject(newIndex, s, object);
  });
}

// Appends every item of source (a list of either family) with its object.
template <typename List, typename Source>
void AddItemsOf(List& list, const Source& source) {
  WithinUpdate(list, [&] {
    // Counted once: a list added to itself doubles instead of growing forever.
    const int count = source.GetCount();
    for (int i = 0; i < count; ++i) list.AddObject(source.Get(i), source.GetObject(i));
  });
}

// A newly allocated zero-terminated copy of a text.
inline std::unique_ptr<char16_t[]> ZeroTerminatedCopy(const std::u16string& text) {
  auto copy = std::make_unique<char16_t[]>(text.size() + 1);
  std::memcpy(copy.get(), text.data(), text.size() * sizeof(char16_t));
  copy[text.size()] = u'\0';
  return copy;
}

}  // namespace textlib
