// Reader, tree builder and formatter over arbitrary input: the bytes are taken as UTF-16
// units, so NUL units and lone surrogates come up as often as markup.
#include <cstddef>
#include <cstdint>
#include <string>

#include "textlib/html/formatter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size / 2 + 1);
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  // Also the bytes one per unit, which is how most markup arrives.
  std::u16string narrow(data, data + size);
  (void)textlib::HtmlToText(text);
  (void)textlib::HtmlToText(narrow);
  return 0;
}
