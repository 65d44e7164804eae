#include "textlib/wide/words.h"

namespace textlib {
namespace {

// Calls found(start, length) for each word until it returns false.
template <typename Found>
void ForEachWord(std::string_view text, std::string_view delimiters, Found found) {
  size_t i = 0;
  while (true) {
    i = text.find_first_not_of(delimiters, i);
    if (i == std::string_view::npos) return;
    size_t end = text.find_first_of(delimiters, i);
    if (end == std::string_view::npos) end = text.size();
    if (!found(i, end - i)) return;
    i = end;
  }
}

}  // namespace

int CountDelimitedWords(std::string_view text, std::string_view delimiters) {
  int count = 0;
  ForEachWord(text, delimiters, [&](size_t, size_t) { return ++count, true; });
  return count;
}

std::string GetDelimitedWord(int n, std::string_view text, std::string_view delimiters) {
  std::string word;
  int count = 0;
  ForEachWord(text, delimiters, [&](size_t start, size_t length) {
    if (++count < n) return true;
    if (count == n) word = std::string(text.substr(start, length));
    return false;
  });
  return word;
}

}  // namespace textlib
