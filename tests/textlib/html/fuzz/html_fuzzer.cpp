// Reader, tree builder and formatter over arbitrary input: the bytes are taken as UTF-16
// units, so NUL units and lone surrogates come up as often as markup. The text formatted
// while the tree grows must equal the text of the kept tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"

namespace {

void Check(const std::u16string& html) {
  textlib::THtmlParser parser;
  const std::unique_ptr<textlib::TDocument> document = parser.ParseString(html);
  textlib::TTextFormatter formatter;
  if (textlib::HtmlToText(html) != formatter.GetText(document.get())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size / 2 + 1);
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  // Also the bytes one per unit, which is how most markup arrives.
  const std::u16string narrow(data, data + size);
  Check(text);
  Check(narrow);
  return 0;
}
