#pragma once
// The text form shared by the wide lists: items joined with CR LF after each, and the
// split back into items. The lists differ only in which units end a line.
#include <algorithm>
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

}  // namespace textlib
