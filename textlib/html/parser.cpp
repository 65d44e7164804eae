#include "textlib/html/parser.h"

namespace textlib {
namespace {

const TagSet kLooksForParent = {
    kTagAddress, kTagBlockquote, kTagCenter, kTagCol,   kTagColgroup, kTagDd,       kTagDiv,
    kTagDl,      kTagDt,         kTagFieldset, kTagH1,  kTagH2,       kTagH3,       kTagH4,
    kTagH5,      kTagH6,         kTagHr,     kTagLi,    kTagNoscript, kTagOl,       kTagOption,
    kTagP,       kTagPre,        kTagTable,  kTagTbody, kTagTd,       kTagTfoot,    kTagTh,
    kTagThead,   kTagTr,         kTagUl};

const TagSet kParentsOfBlocks = {
    kTagAddress, kTagBlockquote, kTagCenter, kTagDiv, kTagDl, kTagFieldset, kTagH1,
    kTagH2,      kTagH3,         kTagH4,     kTagH5,  kTagH6, kTagHr,       kTagLi,
    kTagNoscript, kTagOl,        kTagPre,    kTagTd,  kTagTh, kTagUl};

const TagSet kEmptyElements = {kTagArea,  kTagBase,    kTagBasefont, kTagBr,   kTagCol,
                               kTagFrame, kTagHr,      kTagImg,      kTagInput, kTagIsindex,
                               kTagLink,  kTagMeta,    kTagParam};

const TagSet kListParents = {kTagDir, kTagMenu, kTagOl, kTagUl};
const TagSet kDlParents = {kTagDl};
const TagSet kCellParents = {kTagTr};
const TagSet kRowParents = {kTagTable, kTagTbody, kTagTfoot, kTagThead};
const TagSet kColParents = {kTagColgroup};
const TagSet kTableParents = {kTagTable};
const TagSet kOptionParents = {kTagOptgroup, kTagSelect};

const TagSet& SuitableAncestors(int32_t tag) {
  switch (tag) {
    case kTagLi: return kListParents;
    case kTagDd: case kTagDt: return kDlParents;
    case kTagTd: case kTagTh: return kCellParents;
    case kTagTr: return kRowParents;
    case kTagCol: return kColParents;
    case kTagColgroup: case kTagTbody: case kTagTfoot: case kTagThead: return kTableParents;
    case kTagOption: return kOptionParents;
    default: return kParentsOfBlocks;  // p and the block tags
  }
}

}  // namespace

// The reader's callbacks stay unset: the parse loop dispatches on its last event, which
// spares an indirect call per token.
THtmlParser::THtmlParser() : byTag_(kHtmlTagCount + 1) {}

void THtmlParser::Dispatch(THtmlReader& r) {
  switch (r.LastEvent()) {
    case HtmlReaderEvent::kElementStart: HandleElementStart(r); break;
    case HtmlReaderEvent::kAttributeStart: HandleAttributeStart(r); break;
    case HtmlReaderEvent::kAttributeEnd: HandleAttributeEnd(r); break;
    case HtmlReaderEvent::kElementEnd: HandleElementEnd(r); break;
    case HtmlReaderEvent::kEndElement: HandleEndElement(r); break;
    case HtmlReaderEvent::kTextNode: HandleTextNode(r); break;
    case HtmlReaderEvent::kEntityReference: HandleEntityReference(r); break;
    case HtmlReaderEvent::kComment: HandleComment(r); break;
    case HtmlReaderEvent::kCDataSection: HandleCDataSection(r); break;
    case HtmlReaderEvent::kDocType: HandleDocType(r); break;
    case HtmlReaderEvent::kNone: break;
  }
}

std::unique_ptr<TDocument> THtmlParser::ParseString(std::u16string_view text) {
  document_ = DomImplementation::CreateDocument();
  current_ = document_.get();
  tag_ = nullptr;
  open_.clear();
  for (auto& v : byTag_) v.clear();
  byName_.clear();
  bodyFor_ = body_ = nullptr;
  try {
    reader_.SetHtmlStr(std::u16string(text));
    while (reader_.Read()) Dispatch(reader_);
  } catch (...) {
    // Whatever went wrong ends the parse as if the text had ended here.
  }
  current_ = nullptr;
  open_.clear();
  byName_.clear();
  return std::move(document_);
}

TElement* THtmlParser::CurrentElement() const {
  if (current_ == nullptr || current_->Kind() != kElementNode) throw DomException(3);
  return static_cast<TElement*>(current_);
}

std::vector<size_t>& THtmlParser::IndexOfName(int32_t tag, std::u16string_view name) {
  if (tag > 0) return byTag_[static_cast<size_t>(tag)];
  return byName_[std::u16string(name)];
}

std::vector<size_t>* THtmlParser::FindIndexOfName(int32_t tag, std::u16string_view name) {
  if (tag > 0) return &byTag_[static_cast<size_t>(tag)];
  auto it = byName_.find(std::u16string(name));
  return it == byName_.end() ? nullptr : &it->second;
}

void THtmlParser::Push(TElement* element, int32_t tag) {
  IndexOfName(tag, element->LocalName()).push_back(open_.size());
  open_.push_back({element, tag});
}

void THtmlParser::PopTo(size_t depth) {
  while (open_.size() > depth) {
    const Open& top = open_.back();
    FindIndexOfName(top.tag, top.element->LocalName())->pop_back();
    open_.pop_back();
  }
}

TElement* THtmlParser::Body() {
  TElement* root = document_->DocumentElement();
  if (root == nullptr) {
    root = document_->CreateElement(u"html", kTagHtml);
    document_->AppendChild(root);
  }
  // The builder only appends, so the first "body" child of the document element, once
  // found, stays the first.
  if (bodyFor_ == root && body_ != nullptr) return body_;
  TElement* body = nullptr;
  const TNodeList& children = root->ChildNodes();
  for (int64_t i = 0; i < children.Length(); ++i) {
    TNode* child = children.Item(i);
    if (child->Kind() == kElementNode && child->HasNodeName(u"body")) {
      body = static_cast<TElement*>(child);
      break;
    }
  }
  if (body == nullptr) {
    body = document_->CreateElement(u"body", kTagBody);
    root->AppendChild(body);
  }
  bodyFor_ = root;
  body_ = body;
  return body;
}

void THtmlParser::HandleElementStart(THtmlReader& r) {
  std::u16string qualified;
  const std::u16string_view name =
      r.Prefix().empty() ? std::u16string_view(r.LocalName()) : (qualified = r.QualifiedName());
  tag_ = &HtmlTagList().GetTagByName(name);
  const int32_t tag = tag_->Number;
  if (kLooksForParent.Contains(tag)) {
    const TagSet& suitable = SuitableAncestors(tag);
    size_t i = open_.size();
    while (i > 0 && !suitable.Contains(open_[i - 1].tag)) --i;
    if (i > 0) {
      PopTo(i);
      current_ = open_.back().element;
    } else {
      PopTo(0);
      TElement* body = Body();
      TElement* root = document_->DocumentElement();
      if (body->ParentNode() != root) throw DomException(3);
      Push(root, root->TagNumber());
      Push(body, body->TagNumber());
      current_ = body;
    }
  }
  TElement* element = document_->CreateElement(name, tag);
  current_->AppendChild(element);
  if (current_->Kind() == kDocumentNode) PopTo(0);
  Push(element, tag);
  current_ = element;
}

void THtmlParser::HandleAttributeStart(THtmlReader& r) {
  TElement* owner = CurrentElement();
  TAttr* attribute = document_->CreateAttribute(r.QualifiedName());
  // A later attribute of the same name replaces the earlier one, which nothing refers to.
  if (TAttr* replaced = owner->SetAttributeNode(attribute)) document_->FreeNode(replaced);
  current_ = attribute;
}

void THtmlParser::HandleAttributeEnd(THtmlReader&) {
  if (current_ != nullptr && current_->Kind() == kAttributeNode)
    current_ = static_cast<TAttr*>(current_)->OwnerElement();
}

void THtmlParser::HandleElementEnd(THtmlReader& r) {
  if (r.IsEmptyElement() || (tag_ != nullptr && kEmptyElements.Contains(tag_->Number))) {
    TElement* element = CurrentElement();
    current_ = element->ParentNode();
    if (!open_.empty() && open_.back().element == element) PopTo(open_.size() - 1);
  }
  tag_ = nullptr;
}

void THtmlParser::HandleEndElement(THtmlReader& r) {
  const std::u16string name = r.QualifiedName();
  const int32_t tag = HtmlTagList().GetTagByName(name).Number;
  std::vector<size_t>* at = FindIndexOfName(tag, name);
  if (at == nullptr || at->empty()) return;  // no open element of that name: ignored
  const size_t depth = at->back();
  TElement* element = open_[depth].element;
  PopTo(depth);
  current_ = element->ParentNode();
}

void THtmlParser::HandleTextNode(THtmlReader& r) {
  current_->AppendChild(document_->CreateTextNode(r.NodeValue()));
}

void THtmlParser::HandleEntityReference(THtmlReader& r) {
  current_->AppendChild(document_->CreateEntityReference(r.QualifiedName()));
}

void THtmlParser::HandleComment(THtmlReader& r) {
  current_->AppendChild(document_->CreateComment(r.NodeValue()));
}

void THtmlParser::HandleCDataSection(THtmlReader& r) {
  current_->AppendChild(document_->CreateCDATASection(r.NodeValue()));
}

void THtmlParser::HandleDocType(THtmlReader& r) {
  document_->SetDocType(
      DomImplementation::CreateDocumentType(r.QualifiedName(), r.PublicID(), r.SystemID()));
}

}  // namespace textlib
