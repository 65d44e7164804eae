#pragma once
// THtmlParser turns an HTML text into a TDocument by driving a THtmlReader. Block and table
// tags look for a suitable open ancestor, html and body are made when none is found, empty
// elements close at once, an end tag closes the nearest open element of its name. Open
// elements are kept on a stack with an index by name, so every rule is amortised O(1)
// however deep the nesting. Any exception ends the parse; the partial document is returned.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "textlib/html/dom.h"
#include "textlib/html/reader.h"
#include "textlib/html/tags.h"

namespace textlib {

class THtmlParser {
 public:
  THtmlParser();
  THtmlParser(const THtmlParser&) = delete;
  THtmlParser& operator=(const THtmlParser&) = delete;

  // Never throws for any input short of memory exhaustion in the result's own allocation;
  // the caller owns the document.
  std::unique_ptr<TDocument> ParseString(std::u16string_view text);

 private:
  struct Open {
    TElement* element;
    int32_t tag;
  };

  void Dispatch(THtmlReader& r);
  void HandleElementStart(THtmlReader& r);
  void HandleAttributeStart(THtmlReader& r);
  void HandleAttributeEnd(THtmlReader& r);
  void HandleElementEnd(THtmlReader& r);
  void HandleEndElement(THtmlReader& r);
  void HandleTextNode(THtmlReader& r);
  void HandleEntityReference(THtmlReader& r);
  void HandleComment(THtmlReader& r);
  void HandleCDataSection(THtmlReader& r);
  void HandleDocType(THtmlReader& r);

  TElement* CurrentElement() const;
  void Push(TElement* element, int32_t tag);
  void PopTo(size_t depth);
  std::vector<size_t>& IndexOfName(int32_t tag, std::u16string_view name);
  std::vector<size_t>* FindIndexOfName(int32_t tag, std::u16string_view name);
  TElement* Body();

  THtmlReader reader_;
  std::unique_ptr<TDocument> document_;
  TNode* current_ = nullptr;
  const THtmlTag* tag_ = nullptr;
  // The open elements from the top: the ancestors-or-self of the current element.
  std::vector<Open> open_;
  // Positions in open_ by name: known tags by number, others by name.
  std::vector<std::vector<size_t>> byTag_;
  std::unordered_map<std::u16string, std::vector<size_t>> byName_;
  TElement* bodyFor_ = nullptr;  // the document element the body below was found in
  TElement* body_ = nullptr;
};

}  // namespace textlib
