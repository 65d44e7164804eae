#pragma once
// The tree rules of the HTML parser, apart from what the tree is made of: THtmlParser
// builds a TDocument with them, HtmlToText formats the text while the tree grows and keeps
// no tree at all. Block and table tags look for a suitable open ancestor, html and body are
// made when none is found, empty elements close at once, an end tag closes the nearest open
// element of its name. Open elements are kept on a stack with an index by name, so every
// rule is amortised O(1) however deep the nesting.
//
// The builder only ever appends, and it appends to the current element, to the document
// element, or to the document element's first "body" child. A sink provides:
//   using Node = ...;                       // a cheap, comparable handle
//   Node Document();
//   Node AppendElement(Node parent, std::u16string_view name, int32_t tag);
//   void AppendText(Node parent, std::u16string_view text);       // parent may be an attribute
//   void AppendEntity(Node parent, std::u16string_view name);     // likewise
//   void AppendComment(Node parent, std::u16string_view text);    // likewise
//   void AppendCData(Node parent, std::u16string_view text);      // likewise
//   Node StartAttribute(Node element, std::u16string_view name);  // replaces one of that name
//   void DocType(std::u16string_view name, std::u16string_view publicId, std::u16string_view systemId);
#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "textlib/html/dom.h"
#include "textlib/html/reader.h"
#include "textlib/html/tags.h"

namespace textlib {
namespace tree_rules {

inline constexpr TagSet kLooksForParent = {
    kTagAddress, kTagBlockquote, kTagCenter, kTagCol,   kTagColgroup, kTagDd,       kTagDiv,
    kTagDl,      kTagDt,         kTagFieldset, kTagH1,  kTagH2,       kTagH3,       kTagH4,
    kTagH5,      kTagH6,         kTagHr,     kTagLi,    kTagNoscript, kTagOl,       kTagOption,
    kTagP,       kTagPre,        kTagTable,  kTagTbody, kTagTd,       kTagTfoot,    kTagTh,
    kTagThead,   kTagTr,         kTagUl};

inline const TagSet& SuitableAncestors(int32_t tag) {
  static constexpr TagSet parentsOfBlocks = {
      kTagAddress, kTagBlockquote, kTagCenter, kTagDiv, kTagDl, kTagFieldset, kTagH1,
      kTagH2,      kTagH3,         kTagH4,     kTagH5,  kTagH6, kTagHr,       kTagLi,
      kTagNoscript, kTagOl,        kTagPre,    kTagTd,  kTagTh, kTagUl};
  static constexpr TagSet listParents = {kTagDir, kTagMenu, kTagOl, kTagUl};
  static constexpr TagSet dlParents = {kTagDl};
  static constexpr TagSet cellParents = {kTagTr};
  static constexpr TagSet rowParents = {kTagTable, kTagTbody, kTagTfoot, kTagThead};
  static constexpr TagSet colParents = {kTagColgroup};
  static constexpr TagSet tableParents = {kTagTable};
  static constexpr TagSet optionParents = {kTagOptgroup, kTagSelect};
  switch (tag) {
    case kTagLi: return listParents;
    case kTagDd: case kTagDt: return dlParents;
    case kTagTd: case kTagTh: return cellParents;
    case kTagTr: return rowParents;
    case kTagCol: return colParents;
    case kTagColgroup: case kTagTbody: case kTagTfoot: case kTagThead: return tableParents;
    case kTagOption: return optionParents;
    default: return parentsOfBlocks;  // p and the block tags
  }
}

// Elements that HTML 4.01 does not know but later HTML makes containers of flow content:
// paragraphs and blocks stay inside them, as in a browser, instead of going to the body
// (which would carry a hidden section's or template's content out of it). A form too.
inline bool IsFlowContainer(std::u16string_view name) {
  static constexpr std::u16string_view kNames[] = {
      u"article", u"aside",  u"details", u"dialog", u"figcaption", u"figure", u"footer",
      u"header",  u"hgroup", u"main",    u"nav",    u"section",    u"summary", u"template"};
  for (std::u16string_view known : kNames)
    if (name == known) return true;
  return false;
}

inline constexpr TagSet kEmptyElements = {kTagArea,  kTagBase,    kTagBasefont, kTagBr,    kTagCol,
                                          kTagFrame, kTagHr,      kTagImg,      kTagInput, kTagIsindex,
                                          kTagLink,  kTagMeta,    kTagParam};

}  // namespace tree_rules

template <class Sink>
class THtmlTreeBuilder {
 public:
  using Node = typename Sink::Node;

  explicit THtmlTreeBuilder(Sink& sink) : sink_(sink), top_(kHtmlTagCount + 1) {
    current_ = sink_.Document();
  }

  // Reads the text to its end. Any exception ends the build as if the text had ended
  // there; what was appended stays.
  void Build(THtmlReader& reader) {
    try {
      while (reader.Read()) Dispatch(reader);
    } catch (...) {
    }
  }

 private:
  enum class Current : uint8_t { kDocument, kElement, kAttribute };
  // The rules look open elements up by name: a known tag's name is its number, every other
  // name gets a number above the tags' (so no tag set contains it). Each open element links
  // to the next lower one of its name, so a piled-up page costs these few bytes per element.
  struct Open {
    Node element;
    int32_t name;
    uint32_t below;  // the position + 1 of the next lower open element of that name, or 0
  };

  // The reader's callbacks stay unset: the loop dispatches on the last event, which spares
  // an indirect call per token.
  void Dispatch(THtmlReader& r) {
    switch (r.LastEvent()) {
      case HtmlReaderEvent::kElementStart: ElementStart(r); break;
      case HtmlReaderEvent::kAttributeStart: AttributeStart(r); break;
      case HtmlReaderEvent::kAttributeEnd: AttributeEnd(); break;
      case HtmlReaderEvent::kElementEnd: ElementEnd(r); break;
      case HtmlReaderEvent::kEndElement: EndElement(r); break;
      case HtmlReaderEvent::kTextNode: sink_.AppendText(current_, r.NodeValue()); break;
      case HtmlReaderEvent::kEntityReference: sink_.AppendEntity(current_, r.QualifiedName()); break;
      case HtmlReaderEvent::kComment: sink_.AppendComment(current_, r.NodeValue()); break;
      case HtmlReaderEvent::kCDataSection: sink_.AppendCData(current_, r.NodeValue()); break;
      case HtmlReaderEvent::kDocType: sink_.DocType(r.QualifiedName(), r.PublicID(), r.SystemID()); break;
      case HtmlReaderEvent::kNone: break;
    }
  }

  Node CurrentElement() const {
    if (kind_ != Current::kElement) throw DomException(3);
    return current_;
  }

  void SetCurrentElement(Node element) {
    current_ = element;
    kind_ = Current::kElement;
  }

  // After the open element at `depth` closed: its parent, which is the open element below
  // it or, for the bottom one, the document.
  void CloseTo(size_t depth) {
    PopTo(depth);
    if (depth == 0) {
      current_ = sink_.Document();
      kind_ = Current::kDocument;
    } else {
      SetCurrentElement(open_.back().element);
    }
  }

  int32_t NameNumber(int32_t tag, std::u16string_view name) {
    if (tag > 0) return tag;
    const auto [it, added] =
        otherNames_.try_emplace(std::u16string(name), static_cast<int32_t>(top_.size()));
    if (added) {
      top_.push_back(0);
      if (tree_rules::IsFlowContainer(name)) flowNames_.push_back(it->second);
    }
    return it->second;
  }

  bool IsFlowContainerName(int32_t name) const {
    if (name == kTagForm) return true;
    if (name <= kHtmlTagCount) return false;
    return std::find(flowNames_.begin(), flowNames_.end(), name) != flowNames_.end();
  }

  void Push(Node element, int32_t name) {
    if (open_.size() >= UINT32_MAX) throw std::length_error("open elements");
    open_.push_back({element, name, top_[static_cast<size_t>(name)]});
    top_[static_cast<size_t>(name)] = static_cast<uint32_t>(open_.size());
  }

  void PopTo(size_t depth) {
    while (open_.size() > depth) {
      top_[static_cast<size_t>(open_.back().name)] = open_.back().below;
      open_.pop_back();
    }
  }

  Node Append(Node parent, bool parentIsDocument, std::u16string_view name, int32_t tag) {
    const Node element = sink_.AppendElement(parent, name, tag);
    if (parentIsDocument) {
      if (!hasRoot_) {
        hasRoot_ = true;
        root_ = element;
        rootName_ = NameNumber(tag, name);
      }
    } else if (!hasBody_ && hasRoot_ && parent == root_ && name == u"body") {
      hasBody_ = true;
      body_ = element;
    }
    return element;
  }

  // The document element's first "body" child, made (with the document element) when
  // missing.
  Node Body() {
    if (!hasRoot_) Append(sink_.Document(), true, u"html", kTagHtml);
    if (!hasBody_) Append(root_, false, u"body", kTagBody);
    return body_;
  }

  void ElementStart(THtmlReader& r) {
    std::u16string qualified;
    const std::u16string_view name =
        r.Prefix().empty() ? std::u16string_view(r.LocalName()) : (qualified = r.QualifiedName());
    tag_ = &HtmlTagList().GetTagByName(name);
    const int32_t tag = tag_->Number;
    if (tree_rules::kLooksForParent.Contains(tag)) {
      const TagSet& suitable = tree_rules::SuitableAncestors(tag);
      const bool flow = &suitable == &tree_rules::SuitableAncestors(kTagP);
      size_t i = open_.size();
      while (i > 0 && !suitable.Contains(open_[i - 1].name) && !(flow && IsFlowContainerName(open_[i - 1].name))) --i;
      if (i > 0) {
        CloseTo(i);
      } else {
        PopTo(0);
        const Node body = Body();
        Push(root_, rootName_);
        Push(body, kTagBody);
        SetCurrentElement(body);
      }
    }
    const bool atDocument = kind_ == Current::kDocument;
    const Node element = Append(current_, atDocument, name, tag);
    if (atDocument) PopTo(0);
    Push(element, NameNumber(tag, name));
    SetCurrentElement(element);
  }

  void AttributeStart(THtmlReader& r) {
    owner_ = CurrentElement();
    current_ = sink_.StartAttribute(owner_, r.QualifiedName());
    kind_ = Current::kAttribute;
  }

  void AttributeEnd() {
    if (kind_ == Current::kAttribute) SetCurrentElement(owner_);
  }

  void ElementEnd(THtmlReader& r) {
    if (r.IsEmptyElement() || (tag_ != nullptr && tree_rules::kEmptyElements.Contains(tag_->Number))) {
      CurrentElement();  // throws when there is none
      // The current element is always the top open one.
      CloseTo(open_.size() - 1);
    }
    tag_ = nullptr;
  }

  void EndElement(THtmlReader& r) {
    const std::u16string name = r.QualifiedName();
    const int32_t tag = HtmlTagList().GetTagByName(name).Number;
    int32_t number = tag;
    if (tag <= 0) {
      const auto it = otherNames_.find(name);
      if (it == otherNames_.end()) return;
      number = it->second;
    }
    const uint32_t top = top_[static_cast<size_t>(number)];
    if (top == 0) return;  // no open element of that name: ignored
    CloseTo(top - 1);
  }

  Sink& sink_;
  Node current_{};
  Current kind_ = Current::kDocument;
  Node owner_{};  // the element whose attribute is being read
  const THtmlTag* tag_ = nullptr;
  // The open elements from the top: the ancestors-or-self of the current element.
  // A deque: growing it never holds the stack twice.
  std::deque<Open> open_;
  // By name number: the position + 1 of the topmost open element of that name, or 0.
  std::vector<uint32_t> top_;
  std::unordered_map<std::u16string, int32_t> otherNames_;
  std::vector<int32_t> flowNames_;  // the name numbers of the flow containers met (a few)
  bool hasRoot_ = false, hasBody_ = false;
  Node root_{}, body_{};
  int32_t rootName_ = 0;
};

}  // namespace textlib
