#pragma once
// Words of an 8-bit text: maximal runs of characters not in a delimiter set, so runs of
// delimiters and delimiters at either end make no empty words.
#include <string>
#include <string_view>

namespace textlib {

int CountDelimitedWords(std::string_view text, std::string_view delimiters);
// The n-th word (1-based); empty when there are fewer than n words.
std::string GetDelimitedWord(int n, std::string_view text, std::string_view delimiters);

}  // namespace textlib
