#include "textlib/html/formatter.h"

#include <algorithm>
#include <deque>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/pump.h"
#include "textlib/html/parser.h"
#include "textlib/html/tree_builder.h"
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
    kTagTitle,   kTagUl,         kTextTagBlock};

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
  StartText(kInitialCapacity);
  document_ = document;
  try {
    ProcessDocument();
  } catch (...) {
    output_.reset();
    document_ = nullptr;
    throw;
  }
  document_ = nullptr;
  return FinishText();
}

void TBaseFormatter::StartText(int64_t capacity) {
  platform::ProcessMessages();
  output_ = std::make_unique<TStringBuilder>(capacity);
  inPre_ = false;
  inAttributes_ = false;
}

std::u16string TBaseFormatter::FinishText() {
  std::u16string text = output_->TakeText();
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
  // Every node of the document, not only its first element: text before and beside it is
  // what a page without <html> shows.
  depth_ = 0;
  const TNodeList& children = document_->ChildNodes();
  for (int64_t i = 0; i < children.Length(); ++i) ProcessNode(children.Item(i));
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
  keepBlank_ = false;
  if (!Output().IsEmpty() && !Output().EndsWith(kCrLf)) Output().Append(kCrLf);
}

void TTextFormatter::ParagraphBreak() {
  keepBlank_ = false;
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
  if (Output().IsEmpty() || (Output().EndsWithWhiteSpace() && !keepBlank_)) {
    size_t skip = 0;
    while (skip < text.size() && text[skip] == ' ') ++skip;
    text.remove_prefix(skip);
  }
  if (text.empty()) return;
  keepBlank_ = false;
  Output().Append(text);
}

// Appended as it is: the blanks of a pre and of &nbsp; are no collapsible white space.
void TTextFormatter::AppendKept(std::u16string_view text) {
  PumpMessages();
  if (text.empty()) return;
  keepBlank_ = text.back() == u' ';
  Output().Append(text);
}

void TTextFormatter::ProcessTextNode(TTextNode* text) { TextValue(text->NodeValueField()); }

void TTextFormatter::TextValue(std::u16string_view value) {
  if (inPre_) {
    // A line break right after <pre> is no part of its text.
    if (preStart_) {
      if (value.starts_with(u"\r\n")) value.remove_prefix(2);
      else if (value.starts_with(u'\n') || value.starts_with(u'\r')) value.remove_prefix(1);
    }
    preStart_ = false;
    AppendKept(value);
    return;
  }
  preStart_ = false;
  if (collapsed_.size() < value.size()) collapsed_.resize(value.size());
  char16_t* const start = collapsed_.data();
  bool inRun = false;
  char16_t* const out = CollapseWhiteSpace(value, start, inRun);
  AppendText(std::u16string_view(start, static_cast<size_t>(out - start)));
}

void TTextFormatter::ProcessEntityRef(TEntityReference* reference) {
  // The builder keeps an entity's whole name as its local name.
  if (reference->Prefix().empty()) {
    EntityValue(reference->LocalName());
    return;
  }
  TBaseFormatter::ProcessEntityRef(reference);
}

void TTextFormatter::EntityValue(std::u16string_view name) {
  preStart_ = false;
  // Each &nbsp; is a blank of its own, also in a run, but none at the start of the text.
  if (name == u"nbsp") {
    if (!Output().IsEmpty()) AppendKept(u" ");
    return;
  }
  PumpMessages();
  if (resolveEntities_) {
    const char16_t c = static_cast<char16_t>(LookupEntityCode(name));
    AppendText(std::u16string_view(&c, 1));
  } else {
    std::u16string text = u"&";
    text.append(name).append(u";");
    AppendText(text);
  }
}

bool TTextFormatter::LeavesOutContent(int32_t tag) { return tag == kTagScript; }

bool TTextFormatter::LeavesOut(int32_t tag) const {
  if (!rendered_) return LeavesOutContent(tag);
  return tag == kTagScript || tag == kTagTitle || tag == kTagStyle || tag == kTagNoscript ||
         tag == kTextTagTemplate || tag == kTagNoframes;
}

int32_t TTextFormatter::TextTag(int32_t tag, std::u16string_view name) {
  if (tag != kTagUnknown || name.size() < 3 || name.size() > 10) return tag;
  static constexpr std::u16string_view kBlocks[] = {
      u"article", u"aside", u"details", u"dialog", u"figcaption", u"figure", u"footer",
      u"header", u"hgroup", u"main", u"nav", u"section", u"summary"};
  for (std::u16string_view block : kBlocks)
    if (name == block) return kTextTagBlock;
  return name == u"template" ? kTextTagTemplate : tag;
}

int32_t TTextFormatter::TextTagOf(const TElement* element) {
  const int32_t tag = element->TagNumber();
  return tag != kTagUnknown || !element->Prefix().empty() ? tag : TextTag(tag, element->LocalName());
}

bool TTextFormatter::IsBlockTag(int32_t tag) { return kTextBlockTags.Contains(tag); }

bool TTextFormatter::BeginElement(TElement* element) { return BeginTag(TextTagOf(element)); }

bool TTextFormatter::BeginTag(int32_t tag) {
  PumpMessages();
  preStart_ = false;
  // The options of a list stand on lines of their own.
  if (tag == kTagOption) LineBreak();
  if (rendered_) {
    if (LeavesOut(tag)) return false;
    if (tag == kTagTd || tag == kTagTh) {
      if (cellInRow_) Output().Append(u"\t");
      cellInRow_ = true;
    } else if (tag == kTagTr) {
      LineBreak();
      cellInRow_ = false;
    } else if (kTextBlockTags.Contains(tag)) {
      ParagraphBreak();
    }
  } else if (kTextBlockTags.Contains(tag)) {
    ParagraphBreak();
  }
  if (LeavesOutContent(tag)) return false;
  if (tag == kTagA) inLink_ = true;
  if (tag == kTagPre) inPre_ = preStart_ = true;
  ++depth_;
  return true;
}

void TTextFormatter::EndElement(TElement* element) {
  const int32_t tag = TextTagOf(element);
  EndTag(tag, WantsAlternativeText(tag) ? AlternativeText(element) : std::u16string());
}

// A browser's text of a page holds no image's alternative text.
bool TTextFormatter::WantsAlternativeText(int32_t tag) const { return tag == kTagImg && inLink_ && !rendered_; }

void TTextFormatter::EndTag(int32_t tag, std::u16string_view alternativeText) {
  --depth_;
  // Cleared after every element, not only after a pre: text after a nested element in a
  // pre is collapsed again. Kept so that stored texts stay as they always were.
  inPre_ = preStart_ = false;
  if (tag == kTagA) inLink_ = false;
  else if (tag == kTagBr || tag == kTagOption) LineBreak();
  else if (WantsAlternativeText(tag)) AppendText(alternativeText);
  if (rendered_) {
    if (tag == kTagTr) LineBreak();
    else if (tag == kTagTable) cellInRow_ = false;
    if (tag == kTagTd || tag == kTagTh || tag == kTagTr) return;
  }
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

namespace {

// Formats the text while the tree rules build the tree, which is never kept: a page's
// memory is its text and what the text becomes, not a node per tag.
//
// The walk of a kept tree visits each node after everything appended before it, with one
// exception: the rules may append to the document element's first "body" child after
// siblings that follow it. So once the document element gets a child after that body, those
// later siblings and their content are taped instead of formatted, the body stays open for
// whatever still comes, and at the end the tape is played after the body's end, as the walk
// of the finished tree would have it. What stands beside the document element at the top
// (text after it, further top-level elements) follows the whole document element, so it
// goes onto a tape of its own, played last; what stands before it is formatted at once.
class TTextSink {
 public:
  using Node = uint64_t;
  static constexpr Node kDocument = 0;
  static constexpr Node kAttribute = UINT64_MAX;

  explicit TTextSink(TTextFormatter& formatter) : f_(formatter) {}

  Node Document() const { return kDocument; }

  Node AppendElement(Node parent, std::u16string_view name, int32_t tag) {
    tag = TTextFormatter::TextTag(tag, name);
    const Node id = next_++;
    Stack* stack = nullptr;
    if (parent == kDocument) {
      if (root_ == kDocument) {
        root_ = id;
        stack = &live_;
      } else {
        stack = &tail_;
        EndAll(tail_);
      }
    } else {
      stack = Locate(parent);
      if (parent == root_ && body_ == kDocument && name == u"body") body_ = id;
    }
    if (stack == nullptr) return id;
    const bool skipped = !stack->frames.empty() && stack->frames.back().Skipped();
    bool begun = false;
    if (!skipped) {
      if (stack == &live_) {
        begun = f_.BeginTag(tag);
      } else {
        PutEvent(*stack, kBegin, static_cast<uint64_t>(static_cast<uint32_t>(tag)));
        begun = !f_.LeavesOut(tag);
      }
    }
    stack->frames.push_back(Frame::Of(id, tag, !begun));
    if (tag == kTagImg) stack->alternative.clear();
    return id;
  }

  void AppendText(Node parent, std::u16string_view text) {
    if (parent == kAttribute) {
      if (alternative_ != nullptr) alternative_->append(text);
      return;
    }
    Stack* stack = LocateContent(parent);
    if (stack == &live_) {
      f_.TextValue(text);
    } else if (stack != nullptr) {
      PutEvent(*stack, kText, text.size());
      stack->tape.append(text);
    }
  }

  void AppendEntity(Node parent, std::u16string_view name) {
    if (parent == kAttribute) {
      if (alternative_ != nullptr) alternative_->push_back(static_cast<char16_t>(LookupEntityCode(name)));
      return;
    }
    Stack* stack = LocateContent(parent);
    if (stack == &live_) {
      f_.EntityValue(name);
    } else if (stack != nullptr) {
      PutEvent(*stack, kEntity, name.size());
      stack->tape.append(name);
    }
  }

  // Comments and CDATA sections are no part of the text, but they end the elements after
  // their parent all the same.
  void AppendComment(Node parent, std::u16string_view) { LocateContent(parent); }
  void AppendCData(Node parent, std::u16string_view) { LocateContent(parent); }

  Node StartAttribute(Node element, std::u16string_view name) {
    alternative_ = nullptr;
    // Only an img's "alt" is ever part of the text; the img is the newest element of its
    // stack, and a later "alt" replaces an earlier one.
    if (name != u"alt") return kAttribute;
    for (Stack* stack : {&live_, &deferred_, &tail_}) {
      if (!stack->frames.empty() && stack->frames.back().Id() == element && stack->frames.back().Tag() == kTagImg)
        alternative_ = element == root_ ? &rootAlternative_ : &stack->alternative;
    }
    if (alternative_ != nullptr) alternative_->clear();
    return kAttribute;
  }

  void DocType(std::u16string_view, std::u16string_view, std::u16string_view) {}

  // Ends what is open, plays the tape, and ends the document element.
  void Finish() {
    alternative_ = nullptr;
    if (live_.frames.empty()) return;
    PopAbove(live_, 0);
    if (deferring_) {
      PopAbove(deferred_, 0);
      Play(deferred_);
    }
    End(live_, live_.frames.front());
    EndAll(tail_);
    Play(tail_);
  }

 private:
  // An element in eight bytes (a piled-up page has millions open): its id, whether it is
  // left out with its content (nothing is begun or ended in it), and its tag number.
  struct Frame {
    uint64_t bits;
    static Frame Of(Node id, int32_t tag, bool skipped) {
      return {id << 8 | (skipped ? 0x80u : 0u) | (static_cast<uint64_t>(tag) & 0x7F)};
    }
    Node Id() const { return bits >> 8; }
    int32_t Tag() const { return static_cast<int32_t>(bits & 0x7F); }
    bool Skipped() const { return (bits & 0x80) != 0; }
  };
  static_assert(kHtmlTagCount < 0x80);
  struct Stack {
    std::deque<Frame> frames;  // ids ascending: each frame is the parent of the next
    std::u16string alternative;  // of the img on top
    std::u16string tape;         // what waits to be formatted (all but the live stack)
  };
  enum Event : char16_t { kBegin, kEnd, kText, kEntity };

  // The stack whose frame is the parent, with the frames above it ended; none when the
  // parent is no part of the text. Appends to the document element go to the tape once
  // it is running.
  Stack* Locate(Node parent) {
    if (parent == kDocument) {
      if (root_ == kDocument) return &live_;  // before the document element
      EndAll(tail_);
      return &tail_;
    }
    if (parent == root_ && body_ != kDocument && !deferring_) {
      deferring_ = true;
      deferred_.frames.push_back(live_.frames.front());
    }
    if (!(deferring_ && parent == root_)) {
      if (Stack* stack = PopTo(live_, parent)) return stack;
    }
    if (deferring_)
      if (Stack* stack = PopTo(deferred_, parent)) return stack;
    return parent > root_ ? PopTo(tail_, parent) : nullptr;
  }

  // Like Locate, for a node without children: none when it falls in left-out content.
  Stack* LocateContent(Node parent) {
    Stack* stack = Locate(parent);
    if (stack == nullptr) return nullptr;
    return stack->frames.empty() || !stack->frames.back().Skipped() ? stack : nullptr;
  }

  Stack* PopTo(Stack& stack, Node parent) {
    auto& frames = stack.frames;
    const auto it = std::lower_bound(frames.begin(), frames.end(), parent,
                                     [](const Frame& frame, Node id) { return frame.Id() < id; });
    if (it == frames.end() || it->Id() != parent) return nullptr;
    PopAbove(stack, static_cast<size_t>(it - frames.begin()));
    return &stack;
  }

  void EndAll(Stack& stack) {
    if (stack.frames.empty()) return;
    PopAbove(stack, 0);
    End(stack, stack.frames.front());
    stack.frames.pop_front();
  }

  void PopAbove(Stack& stack, size_t depth) {
    while (stack.frames.size() > depth + 1) {
      const Frame frame = stack.frames.back();
      stack.frames.pop_back();
      End(stack, frame);
    }
  }

  void End(Stack& stack, const Frame& frame) {
    if (frame.Skipped()) return;
    // An img never has children, so it is on top when it ends; only a document element
    // that is an img stays below what the rules put into it.
    const std::u16string_view alternative = frame.Tag() != kTagImg ? std::u16string_view()
                                            : frame.Id() == root_  ? std::u16string_view(rootAlternative_)
                                                                 : std::u16string_view(stack.alternative);
    if (&stack == &live_) {
      f_.EndTag(frame.Tag(), alternative);
    } else {
      PutEvent(stack, kEnd, static_cast<uint64_t>(frame.Tag()));
      PutNumber(stack, alternative.size());
      stack.tape.append(alternative);
    }
  }

  static void PutNumber(Stack& stack, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 16) stack.tape.push_back(static_cast<char16_t>(value >> shift));
  }
  static void PutEvent(Stack& stack, Event event, uint64_t number) {
    stack.tape.push_back(event);
    PutNumber(stack, number);
  }

  void Play(Stack& stack) {
    std::u16string& tape = stack.tape;
    size_t at = 0;
    auto number = [&]() {
      uint64_t value = 0;
      for (int shift = 0; shift < 64; shift += 16) value |= uint64_t{tape[at++]} << shift;
      return value;
    };
    auto text = [&](uint64_t length) {
      const std::u16string_view view = std::u16string_view(tape).substr(at, length);
      at += length;
      return view;
    };
    while (at < tape.size()) {
      const auto event = static_cast<Event>(tape[at++]);
      const uint64_t value = number();
      const auto tag = static_cast<int32_t>(static_cast<uint32_t>(value));
      switch (event) {
        case kBegin: f_.BeginTag(tag); break;
        case kEnd: f_.EndTag(tag, text(number())); break;
        case kText: f_.TextValue(text(value)); break;
        case kEntity: f_.EntityValue(text(value)); break;
      }
    }
    tape.clear();
    tape.shrink_to_fit();
  }

  TTextFormatter& f_;
  Stack live_, deferred_, tail_;
  std::u16string rootAlternative_;
  std::u16string* alternative_ = nullptr;  // where the value of the attribute being read goes
  Node next_ = 1;
  Node root_ = kDocument, body_ = kDocument;  // kDocument: none yet
  bool deferring_ = false;
};

}  // namespace

namespace {

std::u16string FormatWhileBuilding(std::u16string_view html, bool rendered) {
  TTextFormatter formatter;
  formatter.SetRenderedText(rendered);
  // Most of a page's characters are text, and memory that is reserved but never written
  // costs nothing: growing by doubling would copy the text and hold it twice.
  formatter.StartText(static_cast<int64_t>(html.size()) + kInitialCapacity);
  TTextSink sink(formatter);
  THtmlReader reader;
  reader.SetHtmlView(html);
  {
    THtmlTreeBuilder<TTextSink> builder(sink);
    builder.Build(reader);
  }
  sink.Finish();
  return formatter.FinishText();
}

}  // namespace

std::u16string HtmlToText(std::u16string_view html) { return FormatWhileBuilding(html, false); }

std::u16string HtmlToRenderedText(std::u16string_view html) { return FormatWhileBuilding(html, true); }

}  // namespace textlib
