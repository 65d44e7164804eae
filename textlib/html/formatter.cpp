#include "textlib/html/formatter.h"

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/pump.h"
#include "textlib/html/parser.h"
#include "textlib/html/scan.h"
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

bool ContainsNoCanvas(std::u16string_view text) {
  const size_t n = text.size();
  for (size_t at = 0; n - at >= kNoCanvas.size(); ++at) {
    at = html_scan::FindEither(text.data(), at, n, u'[', u'[');
    if (n - at < kNoCanvas.size()) return false;
    if (text.substr(at, kNoCanvas.size()) == kNoCanvas) return true;
  }
  return false;
}

// Writes the text with each run of blanks made one space; `inRun` says whether the unit
// before was a blank and is left saying it of the last unit. Gives the end of the output,
// which has room for the whole text.
char16_t* CollapseWhiteSpace(std::u16string_view text, char16_t* out, bool& inRun) {
  const char16_t* s = text.data();
  const size_t n = text.size();
  size_t i = 0;
#if defined(__SSE2__)
  // Eight units whose only blanks are single spaces go through unchanged, which is most of
  // running text; anything else takes the loop below for those eight.
  const __m128i space = _mm_set1_epi16(' ');
  const __m128i tab = _mm_set1_epi16('\t');
  const __m128i lf = _mm_set1_epi16('\n');
  const __m128i cr = _mm_set1_epi16('\r');
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i other =
        _mm_or_si128(_mm_cmpeq_epi16(v, tab), _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)));
    const unsigned spaces = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, space)));
    if (_mm_movemask_epi8(other) == 0 && (spaces & (spaces << 2)) == 0 &&
        !(inRun && (spaces & 1) != 0)) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
      out += 8;
      inRun = (spaces >> 15) != 0;
      continue;
    }
    for (size_t j = i; j < i + 8; ++j) {
      const bool blank = IsWhiteSpace(s[j]);
      *out = blank ? u' ' : s[j];
      out += !(blank && inRun);
      inRun = blank;
    }
  }
#endif
  // Without branches on the character: a blank is written as a space each time, and the
  // write position moves on only for the first blank of a run.
  for (; i < n; ++i) {
    const bool blank = IsWhiteSpace(s[i]);
    *out = blank ? u' ' : s[i];
    out += !(blank && inRun);
    inRun = blank;
  }
  return out;
}

}  // namespace

// --- TStringBuilder ---

TStringBuilder::TStringBuilder(int64_t capacity) : capacity_(capacity > 0 ? capacity : 1) {
  buffer_.reserve(static_cast<size_t>(capacity_));
}

void TStringBuilder::Append(std::u16string_view text) {
  if (text.empty() || ContainsNoCanvas(text)) return;
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
  // Searched by its "{", which is rare in text (unlike the "h" it starts with); each place
  // of the text has its own "{" three units on, so the first hit is the first place.
  constexpr size_t kBrace = 3;
  static_assert(kStrayCss[kBrace] == u'{');
  const size_t n = text.size();
  for (size_t at = kBrace; at < n; ++at) {
    at = html_scan::FindEither(text.data(), at, n, u'{', u'{');
    if (at == n) break;
    if (std::u16string_view(text).substr(at - kBrace).starts_with(kStrayCss)) {
      text.erase(at - kBrace, kStrayCss.size());
      break;
    }
  }
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
      if (child->Kind() == kElementNode) {
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
    std::u16string text = u"&";
    text.append(reference->NodeName()).append(u";");
    AppendText(text);
  }
}

void TBaseFormatter::ProcessInstruction(TProcessingInstruction*) {}

void TBaseFormatter::ProcessTextNode(TTextNode* text) {
  PumpMessages();
  AppendText(text->NodeValueField());
}

void TBaseFormatter::ProcessNode(TNode* node) {
  switch (node->Kind()) {
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
  bool inRun = false;
  char16_t* const out = CollapseWhiteSpace(value, start, inRun);
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
  std::u16string text = u" ";
  if (!hasScheme) text.append(u"http://");
  return text.append(value);
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
