#include "textlib/html/formatter.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/pump.h"
#include "textlib/html/parser.h"
#include "textlib/html/tags.h"

namespace textlib {
namespace {

constexpr std::u16string_view kNoCanvas = u"[No canvas support]";
constexpr std::u16string_view kStrayCss = u"h2 { color:black; font-size:23px; } ";
constexpr std::u16string_view kCrLf = u"\r\n";
constexpr std::u16string_view kCrLfCrLf = u"\r\n\r\n";
constexpr int64_t kInitialCapacity = 65530;

const TagSet kTextBlockTags = {
    kTagAddress, kTagBlockquote, kTagCaption, kTagCenter, kTagDd,  kTagDiv,      kTagDl,
    kTagDt,      kTagFieldset,   kTagForm,    kTagFrame,  kTagH1,  kTagH2,       kTagH3,
    kTagH4,      kTagH5,         kTagH6,      kTagHr,     kTagIframe, kTagLi,    kTagNoframes,
    kTagNoscript, kTagOl,        kTagP,       kTagPre,    kTagTable, kTagTd,     kTagTh,
    kTagTitle,   kTagUl};

constexpr std::u16string_view kKnownSchemes[] = {u"http",   u"https", u"ftp",   u"file",
                                                  u"mailto", u"news",  u"gopher"};

bool IsWhiteSpace(char16_t c) {
  constexpr uint64_t kBlanks = (1ull << '\t') | (1ull << '\n') | (1ull << '\r') | (1ull << ' ');
  return c <= ' ' && ((kBlanks >> c) & 1) != 0;
}

}  // namespace

// --- TStringBuilder ---

TStringBuilder::TStringBuilder(int64_t capacity) : capacity_(capacity > 0 ? capacity : 1) {
  buffer_.reserve(static_cast<size_t>(capacity_));
}

void TStringBuilder::Append(std::u16string_view text) {
  if (text.empty() || text.find(kNoCanvas) != std::u16string_view::npos) return;
  const int64_t needed = Length() + static_cast<int64_t>(text.size());
  if (needed > capacity_) {
    while (needed > capacity_) capacity_ *= 2;
    buffer_.reserve(static_cast<size_t>(capacity_));
  }
  buffer_.append(text);
}

bool TStringBuilder::EndsWith(std::u16string_view text) const {
  return std::u16string_view(buffer_).ends_with(text);
}

bool TStringBuilder::EndsWithWhiteSpace() const {
  return !buffer_.empty() && IsWhiteSpace(buffer_.back());
}

// --- TBaseFormatter ---

void TBaseFormatter::PumpMessages() {
  if (++pumpCount_ % kPumpInterval == 0) platform::ProcessMessages();
}

std::u16string TBaseFormatter::GetText(TDocument* document) {
  platform::ProcessMessages();
  document_ = document;
  output_ = std::make_unique<TStringBuilder>(kInitialCapacity);
  inPre_ = false;
  inAttributes_ = false;
  std::u16string text;
  try {
    ProcessDocument();
    text = output_->TakeText();
  } catch (...) {
    output_.reset();
    throw;
  }
  output_.reset();
  // A skipping search: "h" is too common in text for a first-character scan.
  static const std::boyer_moore_horspool_searcher stray(kStrayCss.begin(), kStrayCss.end());
  const auto at = std::search(text.begin(), text.end(), stray);
  if (at != text.end()) text.erase(at, at + static_cast<std::ptrdiff_t>(kStrayCss.size()));
  return text;
}

void TBaseFormatter::AppendText(std::u16string_view text) { output_->Append(text); }

void TBaseFormatter::ProcessAttribute(TAttr* attribute) {
  const TNodeList& children = attribute->ChildNodes();
  for (int64_t i = 0; i < children.Length(); ++i) ProcessNode(children.Item(i));
}

void TBaseFormatter::ProcessAttributes(TElement* element) {
  if ((filter_ & kFilterAttributes) == 0) return;
  inAttributes_ = true;
  TNamedNodeMap* map = element->Attributes();
  for (int64_t i = 0; i < map->Length(); ++i) ProcessAttribute(static_cast<TAttr*>(map->Item(i)));
  inAttributes_ = false;
}

void TBaseFormatter::ProcessCDATA(TCDATASection*) {}

void TBaseFormatter::ProcessComment(TComment* comment) {
  AppendText(u"<!--");
  AppendText(comment->NodeValueField());
  AppendText(u"-->");
}

void TBaseFormatter::ProcessDocument() {
  if (TElement* root = document_->DocumentElement()) {
    depth_ = 0;
    ProcessElement(root);
  }
}

void TBaseFormatter::ProcessElement(TElement* element) {
  struct Frame {
    TElement* element;
    int64_t next;
  };
  if (!BeginElement(element)) return;
  std::vector<Frame> stack{{element, 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    const TNodeList& children = top.element->ChildNodes();
    if (top.next < children.Length()) {
      TNode* child = children.Item(top.next++);
      if (child->NodeType() == kElementNode) {
        auto* e = static_cast<TElement*>(child);
        if (BeginElement(e)) stack.push_back({e, 0});
      } else {
        ProcessNode(child);
      }
    } else {
      TElement* done = top.element;
      stack.pop_back();
      EndElement(done);
    }
  }
}

bool TBaseFormatter::BeginElement(TElement*) {
  ++depth_;
  return true;
}

void TBaseFormatter::EndElement(TElement*) { --depth_; }

void TBaseFormatter::ProcessEntityRef(TEntityReference* reference) {
  PumpMessages();
  if (resolveEntities_) {
    const char16_t c = static_cast<char16_t>(LookupEntityCode(
        reference->Prefix().empty() ? reference->LocalName() : reference->NodeName()));
    AppendText(std::u16string_view(&c, 1));
  } else {
    AppendText(u"&" + reference->NodeName() + u";");
  }
}

void TBaseFormatter::ProcessInstruction(TProcessingInstruction*) {}

void TBaseFormatter::ProcessTextNode(TTextNode* text) {
  PumpMessages();
  AppendText(text->NodeValueField());
}

void TBaseFormatter::ProcessNode(TNode* node) {
  switch (node->NodeType()) {
    case kElementNode:
      ProcessElement(static_cast<TElement*>(node));
      break;
    case kTextNode:
      if (filter_ & kFilterText) ProcessTextNode(static_cast<TTextNode*>(node));
      break;
    case kCDataSectionNode:
      if (filter_ & kFilterCData) ProcessCDATA(static_cast<TCDATASection*>(node));
      break;
    case kEntityReferenceNode:
      if (filter_ & kFilterEntityReferences)
        ProcessEntityRef(static_cast<TEntityReference*>(node));
      break;
    case kProcessingInstructionNode:
      if (filter_ & kFilterInstructions)
        ProcessInstruction(static_cast<TProcessingInstruction*>(node));
      break;
    case kCommentNode:
      if (filter_ & kFilterComments) ProcessComment(static_cast<TComment*>(node));
      break;
    default:
      break;
  }
}

// --- TTextFormatter ---

TTextFormatter::TTextFormatter() {
  filter_ = 21;  // elements, text nodes, entity references
  resolveEntities_ = true;
}

void TTextFormatter::LineBreak() {
  if (!Output().IsEmpty() && !Output().EndsWith(kCrLf)) Output().Append(kCrLf);
}

void TTextFormatter::ParagraphBreak() {
  TStringBuilder& out = Output();
  if (out.IsEmpty()) return;
  if (out.EndsWith(kCrLf)) {
    if (!out.EndsWith(kCrLfCrLf)) out.Append(kCrLf);
  } else {
    out.Append(kCrLfCrLf);
  }
}

void TTextFormatter::AppendText(std::u16string_view text) {
  PumpMessages();
  if (Output().IsEmpty() || Output().EndsWithWhiteSpace()) {
    size_t skip = 0;
    while (skip < text.size() && text[skip] == ' ') ++skip;
    text.remove_prefix(skip);
  }
  Output().Append(text);
}

void TTextFormatter::ProcessTextNode(TTextNode* text) {
  const std::u16string_view value = text->NodeValueField();
  if (inPre_) {
    AppendText(value);
    return;
  }
  if (collapsed_.size() < value.size()) collapsed_.resize(value.size());
  char16_t* const start = collapsed_.data();
  char16_t* out = start;
  // Without branches on the character: a blank is written as a space each time, and the
  // write position moves on only for the first blank of a run.
  bool inRun = false;
  for (char16_t c : value) {
    const bool blank = IsWhiteSpace(c);
    *out = blank ? u' ' : c;
    out += !(blank && inRun);
    inRun = blank;
  }
  AppendText(std::u16string_view(start, static_cast<size_t>(out - start)));
}

void TTextFormatter::ProcessEntityRef(TEntityReference* reference) {
  if (reference->LocalName() == u"nbsp" && reference->Prefix().empty()) {
    AppendText(u" ");
    return;
  }
  TBaseFormatter::ProcessEntityRef(reference);
}

bool TTextFormatter::BeginElement(TElement* element) {
  PumpMessages();
  const int32_t tag = element->TagNumber();
  if (kTextBlockTags.Contains(tag)) ParagraphBreak();
  if (tag == kTagScript) return false;
  if (tag == kTagA) inLink_ = true;
  if (tag == kTagPre) inPre_ = true;
  return TBaseFormatter::BeginElement(element);
}

void TTextFormatter::EndElement(TElement* element) {
  TBaseFormatter::EndElement(element);
  const int32_t tag = element->TagNumber();
  // Cleared after every element, not only after a pre: text after a nested element in a
  // pre is collapsed again. Kept so that stored texts stay as they always were.
  inPre_ = false;
  if (tag == kTagA) inLink_ = false;
  else if (tag == kTagBr) LineBreak();
  else if (tag == kTagImg && inLink_) AppendText(AlternativeText(element));
  if (kTextBlockTags.Contains(tag)) ParagraphBreak();
}

std::u16string TTextFormatter::LinkTargetText(const TElement* element) const {
  const TAttr* href = element->GetAttributeNode(u"href");
  if (href == nullptr) return {};
  const std::u16string value = href->GetNodeValue();
  bool hasScheme = false;
  for (std::u16string_view scheme : kKnownSchemes) {
    if (value.size() > scheme.size() && value[scheme.size()] == ':' &&
        std::u16string_view(value).starts_with(scheme)) {
      hasScheme = true;
      break;
    }
  }
  return u" " + std::u16string(hasScheme ? u"" : u"http://") + value;
}

std::u16string TTextFormatter::AlternativeText(const TElement* element) const {
  const TAttr* alt = element->GetAttributeNode(u"alt");
  return alt == nullptr ? std::u16string() : alt->GetNodeValue();
}

std::u16string HtmlToText(std::u16string_view html) {
  THtmlParser parser;
  std::unique_ptr<TDocument> document = parser.ParseString(html);
  TTextFormatter formatter;
  return formatter.GetText(document.get());
}

}  // namespace textlib
