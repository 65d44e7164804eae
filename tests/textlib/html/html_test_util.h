#pragma once
// Small views of reader tokens, trees and texts for table-driven tests.
#include <string>
#include <vector>

#include "textlib/html/dom.h"
#include "textlib/html/reader.h"
#include "textlib/unicode.h"

namespace textlib::testing {

inline std::string U8(std::u16string_view s) { return EncodeUtf8(s); }

// The tokens of a text, one "kind{value}" each, separated by spaces.
inline std::string Tokens(std::u16string_view html) {
  THtmlReader r;
  std::string out;
  auto add = [&](const std::string& t) {
    if (!out.empty()) out += ' ';
    out += t;
  };
  r.OnElementStart = [&](THtmlReader& x) { add("E{" + U8(x.QualifiedName()) + "}"); };
  r.OnAttributeStart = [&](THtmlReader& x) { add("A{" + U8(x.QualifiedName()) + "}"); };
  r.OnAttributeEnd = [&](THtmlReader&) { add("a"); };
  r.OnElementEnd = [&](THtmlReader& x) { add(x.IsEmptyElement() ? "/>" : ">"); };
  r.OnEndElement = [&](THtmlReader& x) { add("/{" + U8(x.QualifiedName()) + "}"); };
  r.OnTextNode = [&](THtmlReader& x) { add("T{" + U8(x.NodeValue()) + "}"); };
  r.OnEntityReference = [&](THtmlReader& x) { add("R{" + U8(x.QualifiedName()) + "}"); };
  r.OnComment = [&](THtmlReader& x) { add("C{" + U8(x.NodeValue()) + "}"); };
  r.OnCDataSection = [&](THtmlReader& x) { add("D{" + U8(x.NodeValue()) + "}"); };
  r.OnDocType = [&](THtmlReader& x) {
    add("!{" + U8(x.QualifiedName()) + "|" + U8(x.PublicID()) + "|" + U8(x.SystemID()) + "}");
  };
  r.SetHtmlStr(std::u16string(html));
  while (r.Read()) {
  }
  return out;
}

// A node and its subtree: name[attr=value,...](children) for elements, "text" for text,
// &name for entity references, <!--x--> for comments, [x] for CDATA.
inline std::string Tree(const TNode* node) {
  std::string out;
  struct Frame {
    const TNode* node;
    int64_t next;
  };
  auto open = [&](const TNode* n) {
    switch (n->NodeType()) {
      case kTextNode: out += "\"" + U8(n->NodeValueField()) + "\""; return false;
      case kCDataSectionNode: out += "[" + U8(n->NodeValueField()) + "]"; return false;
      case kEntityReferenceNode: out += "&" + U8(n->NodeName()); return false;
      case kCommentNode: out += "<!--" + U8(n->NodeValueField()) + "-->"; return false;
      case kElementNode: {
        out += U8(n->NodeName());
        const TNamedNodeMap* map = n->Attributes();
        if (map->Length() > 0) {
          out += "[";
          for (int64_t i = 0; i < map->Length(); ++i) {
            if (i) out += ",";
            out += U8(map->Item(i)->NodeName()) + "=" + U8(map->Item(i)->GetNodeValue());
          }
          out += "]";
        }
        break;
      }
      default: break;
    }
    if (n->ChildNodes().Length() == 0) return false;
    out += "(";
    return true;
  };
  std::vector<Frame> stack;
  if (node->NodeType() == kDocumentNode) {
    stack.push_back({node, 0});
  } else if (open(node)) {
    stack.push_back({node, 0});
  }
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.node->ChildNodes().Length()) {
      if (f.node->NodeType() != kDocumentNode) out += ")";
      stack.pop_back();
      continue;
    }
    const TNode* child = f.node->ChildNodes().Item(f.next);
    if (f.next++ > 0) out += ",";
    if (open(child)) stack.push_back({child, 0});
  }
  return out;
}

}  // namespace textlib::testing
