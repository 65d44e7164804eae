#pragma once
// THtmlParser turns an HTML text into a TDocument by driving a THtmlReader through the tree
// rules of tree_builder.h. Any exception ends the parse; the partial document is returned.
#include <memory>
#include <string>
#include <string_view>

#include "textlib/html/dom.h"
#include "textlib/html/reader.h"

namespace textlib {

class THtmlParser {
 public:
  THtmlParser() = default;
  THtmlParser(const THtmlParser&) = delete;
  THtmlParser& operator=(const THtmlParser&) = delete;

  // Never throws for any input short of memory exhaustion in the result's own allocation;
  // the caller owns the document.
  std::unique_ptr<TDocument> ParseString(std::u16string_view text);

 private:
  THtmlReader reader_;
};

}  // namespace textlib
