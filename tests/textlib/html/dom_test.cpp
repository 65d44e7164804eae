#include "textlib/html/dom.h"

#include <gtest/gtest.h>

#include "html_test_util.h"

namespace textlib {
namespace {

using testing::Tree;

void ExpectDomError(int32_t code, const std::function<void()>& f) {
  try {
    f();
    ADD_FAILURE() << "no DomException " << code;
  } catch (const DomException& e) {
    EXPECT_EQ(e.Code(), code);
    EXPECT_EQ(e.Message(), DomException::MessageOf(code));
  }
}

TEST(Dom, MessagesByCode) {
  EXPECT_EQ(DomException(3).Message(), u"Node is inserted somewhere it doesn't belong ");
  EXPECT_EQ(DomException(4).Message(),
            u"Node is used in a different document than the one that created it");
  EXPECT_EQ(DomException(14).Message(),
            u"An attempt is made to create or change an object in a way which is incorrect "
            u"with regard to namespaces");
  EXPECT_STREQ(DomException(8).what(),
               "An attempt is made to reference a node in a context where it does not exist");
}

TEST(Dom, DocumentElementIsFirstElementChild) {
  auto doc = DomImplementation::CreateDocument();
  EXPECT_EQ(doc->DocumentElement(), nullptr);
  doc->AppendChild(doc->CreateTextNode(u"t"));  // accepted directly under the document
  TElement* span = doc->CreateElement(u"span");
  doc->AppendChild(span);
  doc->AppendChild(doc->CreateElement(u"html"));
  EXPECT_EQ(doc->DocumentElement(), span);
  doc->RemoveChild(span);
  EXPECT_EQ(doc->DocumentElement()->NodeName(), u"html");
  doc->InsertBefore(span, doc->FirstChild());
  EXPECT_EQ(doc->DocumentElement(), span);
  EXPECT_EQ(Tree(doc.get()), "span,\"t\",html");
}

TEST(Dom, InsertMoveAndRemove) {
  auto doc = DomImplementation::CreateDocument();
  TElement* p = doc->CreateElement(u"p");
  TNode* a = p->AppendChild(doc->CreateTextNode(u"a"));
  TNode* b = p->AppendChild(doc->CreateTextNode(u"b"));
  TNode* c = p->AppendChild(doc->CreateTextNode(u"c"));
  p->AppendChild(a);  // moves to the end
  EXPECT_EQ(Tree(p), "p(\"b\",\"c\",\"a\")");
  p->InsertBefore(a, b);
  EXPECT_EQ(Tree(p), "p(\"a\",\"b\",\"c\")");
  p->InsertBefore(c, c);
  EXPECT_EQ(Tree(p), "p(\"a\",\"b\",\"c\")");
  TElement* q = doc->CreateElement(u"q");
  q->AppendChild(b);
  EXPECT_EQ(Tree(p), "p(\"a\",\"c\")");
  EXPECT_EQ(b->ParentNode(), q);
  EXPECT_EQ(p->RemoveChild(a), a);
  EXPECT_EQ(a->ParentNode(), nullptr);
  ExpectDomError(8, [&] { p->RemoveChild(a); });
  ExpectDomError(8, [&] { p->InsertBefore(a, b); });
  auto other = DomImplementation::CreateDocument();
  ExpectDomError(4, [&] { p->AppendChild(other->CreateTextNode(u"x")); });
}

TEST(Dom, AttributesAndValues) {
  auto doc = DomImplementation::CreateDocument();
  TElement* e = doc->CreateElement(u"a");
  TAttr* first = doc->CreateAttribute(u"href");
  first->AppendChild(doc->CreateTextNode(u"1"));
  EXPECT_EQ(e->SetAttributeNode(first), nullptr);
  TAttr* second = doc->CreateAttribute(u"href");
  second->AppendChild(doc->CreateTextNode(u"a"));
  second->AppendChild(doc->CreateEntityReference(u"amp"));
  second->AppendChild(doc->CreateTextNode(u"b"));
  EXPECT_EQ(e->SetAttributeNode(second), first);
  EXPECT_EQ(first->OwnerElement(), nullptr);
  EXPECT_EQ(e->Attributes()->Length(), 1);
  EXPECT_EQ(e->GetAttributeNode(u"href"), second);
  EXPECT_EQ(second->GetNodeValue(), u"a&b");
  EXPECT_EQ(second->ParentNode(), nullptr);
  EXPECT_EQ(second->OwnerElement(), e);
  EXPECT_FALSE(e->HasAttribute(u"HREF"));
  ExpectDomError(10, [&] { doc->CreateElement(u"b")->SetAttributeNode(second); });

  TAttr* bogus = doc->CreateAttribute(u"alt");
  bogus->AppendChild(doc->CreateTextNode(u"a"));
  bogus->AppendChild(doc->CreateEntityReference(u"bogus"));
  bogus->AppendChild(doc->CreateTextNode(u"b"));
  EXPECT_EQ(bogus->GetNodeValue(), u"a b");
  bogus->SetNodeValue(u"neu");
  EXPECT_EQ(bogus->GetNodeValue(), u"neu");
  EXPECT_EQ(bogus->ChildNodes().Length(), 1);

  ExpectDomError(7, [&] { e->SetNodeValue(u"x"); });
  auto other = DomImplementation::CreateDocument();
  ExpectDomError(4, [&] { e->Attributes()->SetNamedItem(other->CreateAttribute(u"x")); });
}

TEST(Dom, ManyAttributesStayInOrder) {
  auto doc = DomImplementation::CreateDocument();
  TElement* e = doc->CreateElement(u"x");
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 100; ++i) e->SetAttributeNode(doc->CreateAttribute(std::u16string{u'a', static_cast<char16_t>(u'0' + i % 10), static_cast<char16_t>(u'0' + i / 10)}));
  ASSERT_EQ(e->Attributes()->Length(), 100);
  EXPECT_EQ(e->Attributes()->Item(0)->NodeName(), u"a00");
  EXPECT_EQ(e->Attributes()->Item(99)->NodeName(), u"a99");
  EXPECT_EQ(e->Attributes()->Item(100), nullptr);
  EXPECT_EQ(e->Attributes()->Item(-1), nullptr);
}

TEST(Dom, NamesKindsAndNamespaces) {
  auto doc = DomImplementation::CreateDocument();
  TElement* rect = doc->CreateElement(u"svg:rect");
  EXPECT_EQ(rect->NodeName(), u"svg:rect");
  EXPECT_TRUE(rect->Prefix().empty());
  TElement* ns = doc->CreateElementNS(u"http://www.w3.org/2000/svg", u"svg:rect");
  EXPECT_EQ(ns->Prefix(), u"svg");
  EXPECT_EQ(ns->LocalName(), u"rect");
  EXPECT_EQ(ns->NodeName(), u"svg:rect");
  EXPECT_EQ(ns->NamespaceIndex(), 1);
  EXPECT_EQ(doc->CreateElementNS(u"http://www.w3.org/2000/svg", u"g")->NamespaceIndex(), 1);
  EXPECT_EQ(doc->CreateElementNS(u"", u"g")->NamespaceIndex(), 0);
  EXPECT_EQ(doc->CreateTextNode(u"x")->NodeName(), u"#text");
  EXPECT_EQ(doc->CreateCDATASection(u"x")->NodeName(), u"#cdata-section");
  EXPECT_EQ(doc->CreateCDATASection(u"x")->NodeType(), kCDataSectionNode);
  EXPECT_EQ(doc->CreateComment(u"x")->NodeName(), u"#comment");
  EXPECT_EQ(doc->NodeName(), u"#document");
  EXPECT_EQ(doc->OwnerDocument(), doc.get());
  EXPECT_EQ(doc->CreateEntityReference(u"amp")->NodeName(), u"amp");
  TProcessingInstruction* pi = doc->CreateProcessingInstruction(u"xml", u"v");
  EXPECT_EQ(pi->Target(), u"xml");
  EXPECT_EQ(pi->Data(), u"v");
}

TEST(Dom, DocumentTypeOwnership) {
  auto type = DomImplementation::CreateDocumentType(u"html", u"p", u"s");
  EXPECT_EQ(type->OwnerDocument(), nullptr);
  TDocumentType* raw = type.get();
  auto doc = DomImplementation::CreateDocument(std::move(type));
  EXPECT_EQ(doc->DocType(), raw);
  EXPECT_EQ(raw->NodeName(), u"html");
  EXPECT_EQ(raw->PublicId(), u"p");
  doc->SetDocType(DomImplementation::CreateDocumentType(u"x", u"", u""));
  EXPECT_EQ(doc->DocType()->NodeName(), u"x");
  std::unique_ptr<TDocumentType> taken(doc->DocType());
  ExpectDomError(4, [&] { DomImplementation::CreateDocument(std::move(taken)); });
}

TEST(Dom, CloneAndImport) {
  auto doc = DomImplementation::CreateDocument();
  TElement* p = doc->CreateElement(u"p");
  TAttr* attr = doc->CreateAttribute(u"id");
  attr->AppendChild(doc->CreateTextNode(u"7"));
  p->SetAttributeNode(attr);
  p->AppendChild(doc->CreateElement(u"b"))->AppendChild(doc->CreateTextNode(u"x"));
  EXPECT_EQ(Tree(p->CloneNode(true)), "p(b(\"x\"))");  // attributes are not cloned
  EXPECT_EQ(Tree(p->CloneNode(false)), "p");
  auto other = DomImplementation::CreateDocument();
  TNode* imported = attr->ImportNode(other.get(), false);
  EXPECT_EQ(imported->OwnerDocument(), other.get());
  EXPECT_EQ(imported->GetNodeValue(), u"7");
  ExpectDomError(9, [&] { doc->ImportNode(other.get(), true); });
  doc->AppendChild(p);
  std::unique_ptr<TDocument> copy = doc->CloneDocument();
  EXPECT_EQ(Tree(copy.get()), "p");
}

TEST(Dom, DocumentFreesEverythingItCreated) {
  // Nodes never inserted are freed with the document too (checked by the sanitizer run).
  auto doc = DomImplementation::CreateDocument();
  doc->CreateElement(u"loose");
  doc->CreateAttribute(u"loose")->AppendChild(doc->CreateTextNode(u"x"));
  TElement* deep = doc->CreateElement(u"d");
  doc->AppendChild(deep);
  for (int i = 0; i < 100000; ++i) deep = static_cast<TElement*>(deep->AppendChild(doc->CreateElement(u"d")));
  EXPECT_EQ(doc->NodeCount(), 100004);
  TAttr* dropped = doc->CreateAttribute(u"x");
  dropped->AppendChild(doc->CreateTextNode(u"y"));
  doc->FreeNode(dropped);
  EXPECT_EQ(doc->NodeCount(), 100004);
}

}  // namespace
}  // namespace textlib
