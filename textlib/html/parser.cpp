#include "textlib/html/parser.h"

#include "textlib/html/tree_builder.h"

namespace textlib {
namespace {

// Builds the nodes in a document.
class TDomSink {
 public:
  using Node = TNode*;
  explicit TDomSink(TDocument* document) : document_(document) {}

  Node Document() const { return document_; }
  Node AppendElement(Node parent, std::u16string_view name, int32_t tag) {
    return parent->AppendChild(document_->CreateElement(name, tag));
  }
  void AppendText(Node parent, std::u16string_view text) { parent->AppendChild(document_->CreateTextNode(text)); }
  void AppendEntity(Node parent, std::u16string_view name) {
    parent->AppendChild(document_->CreateEntityReference(name));
  }
  void AppendComment(Node parent, std::u16string_view text) { parent->AppendChild(document_->CreateComment(text)); }
  void AppendCData(Node parent, std::u16string_view text) {
    parent->AppendChild(document_->CreateCDATASection(text));
  }
  Node StartAttribute(Node element, std::u16string_view name) {
    TAttr* attribute = document_->CreateAttribute(name);
    // A later attribute of the same name replaces the earlier one, which nothing refers to.
    if (TAttr* replaced = static_cast<TElement*>(element)->SetAttributeNode(attribute)) document_->FreeNode(replaced);
    return attribute;
  }
  void DocType(std::u16string_view name, std::u16string_view publicId, std::u16string_view systemId) {
    document_->SetDocType(DomImplementation::CreateDocumentType(name, publicId, systemId));
  }

 private:
  TDocument* document_;
};

}  // namespace

std::unique_ptr<TDocument> THtmlParser::ParseString(std::u16string_view text) {
  std::unique_ptr<TDocument> document = DomImplementation::CreateDocument();
  try {
    TDomSink sink(document.get());
    THtmlTreeBuilder<TDomSink> builder(sink);
    reader_.SetHtmlView(text);
    builder.Build(reader_);
  } catch (...) {
    // Memory for the builder's own state ran out: the document so far is the result.
  }
  reader_.SetHtmlView({});
  return document;
}

}  // namespace textlib
