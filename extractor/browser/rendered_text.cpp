#include "extractor/browser/rendered_text.h"

#include <cerrno>
#include <memory>
#include <vector>

#include "extractor/browser/page_styles.h"
#include "extractor/mime/archive_file.h"
#include "platform/codepage.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"
#include "textlib/html/tags.h"

namespace extractor {
namespace {

using textlib::TElement;
using textlib::TNode;

// Frames inside frames are followed this deep.
constexpr int kMaxFrameDepth = 4;

std::string Utf8Of(std::u16string_view text) { return platform::WideToPosixUtf8(text); }

bool HasScheme(std::string_view url) {
  size_t i = 0;
  while (i < url.size() && ((url[i] >= 'a' && url[i] <= 'z') || (url[i] >= 'A' && url[i] <= 'Z'))) ++i;
  return i >= 2 && i < url.size() && url[i] == ':';
}

// A reference resolved against the address of the document that holds it.
std::string Resolved(std::string_view base, std::string_view reference) {
  if (HasScheme(reference) || base.empty()) return std::string(reference);
  const size_t schemeEnd = base.find("://");
  if (reference.starts_with("//")) return std::string(base.substr(0, base.find(':') + 1)) + std::string(reference);
  std::string path;
  std::string root;
  if (schemeEnd != std::string_view::npos) {
    const size_t pathStart = base.find('/', schemeEnd + 3);
    root = std::string(base.substr(0, pathStart));
    path = pathStart == std::string_view::npos ? "/" : std::string(base.substr(pathStart));
  } else {
    path = std::string(base);
  }
  if (reference.starts_with('/')) {
    path = std::string(reference);
  } else {
    path = path.substr(0, path.rfind('/') + 1) + std::string(reference);
  }
  // "." and ".." segments.
  std::vector<std::string> segments;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(at, end - at);
    if (segment == "..") {
      if (segments.size() > 1) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    at = end + 1;
  }
  std::string joined;
  for (size_t i = 0; i < segments.size(); ++i) joined += (i == 0 ? "" : "/") + segments[i];
  return root + joined;
}

bool IsFileAddress(std::string_view location) {
  return location.size() >= 5 && (location[0] | 0x20) == 'f' && (location[1] | 0x20) == 'i' &&
         (location[2] | 0x20) == 'l' && (location[3] | 0x20) == 'e' && location[4] == ':';
}

class TArchivePages;

// The select-all text of one document: the rendered-text walk of the formatter over the
// kept tree, which also leaves out what the page hides (the hidden attribute, its style
// sheets' and style attributes' display:none and visibility:hidden, template, the body of
// a closed details but its summary, iframe fallback) and shows the text of the frames
// whose documents the archive holds in their place.
class TRenderedWalk : public textlib::TTextFormatter {
 public:
  TRenderedWalk(const TArchivePages& pages, const TPageStyles& styles, std::string location, int depth)
      : pages_(pages), styles_(styles), location_(std::move(location)), frameDepth_(depth) {
    SetRenderedText(true);
  }

 protected:
  bool BeginElement(TElement* element) override;
  void EndElement(TElement* element) override;
  void ProcessTextNode(textlib::TTextNode* text) override {
    if (!ContentHidden(text->ParentNode())) TTextFormatter::ProcessTextNode(text);
  }
  void ProcessEntityRef(textlib::TEntityReference* reference) override {
    if (!ContentHidden(reference->ParentNode())) TTextFormatter::ProcessEntityRef(reference);
  }

 private:
  static bool IsClosedDetails(const TNode* node) {
    if (node == nullptr || node->Kind() != textlib::kElementNode) return false;
    const auto* element = static_cast<const TElement*>(node);
    return element->Prefix().empty() && element->LocalName() == u"details" && !element->HasAttribute(u"open");
  }
  // Whether what stands directly in the node is not shown: the fallback of an iframe, and
  // a closed details but for its summary.
  static bool ContentHidden(const TNode* parent) {
    if (parent == nullptr || parent->Kind() != textlib::kElementNode) return false;
    return static_cast<const TElement*>(parent)->TagNumber() == textlib::kTagIframe || IsClosedDetails(parent);
  }

  const TArchivePages& pages_;
  const TPageStyles& styles_;
  std::string location_;
  int frameDepth_;
  std::vector<int32_t> tags_;  // the tag each begun element was formatted as
};

// The archive's documents and style sheets, and the text of each document in it.
class TArchivePages {
 public:
  explicit TArchivePages(const TMimeText& part) : part_(part) {
    // A browser that shows an archive loads none of its parts from a local file's address
    // (file:): such style sheets never apply, those named by Content-ID or a web address do.
    for (const TMimeResource& resource : part.resources)
      if (!resource.html && !IsFileAddress(resource.location)) sheets_.AddStyleSheet(resource.text);
  }

  bool StylesEmpty() const { return sheets_.Empty(); }

  std::u16string DocumentText(std::u16string_view html, const std::string& location, int depth) const {
    textlib::THtmlParser parser;
    const std::unique_ptr<textlib::TDocument> document = parser.ParseString(html);
    TPageStyles styles = sheets_;
    AddStyleElements(document.get(), styles);
    TRenderedWalk walk(*this, styles, location, depth);
    return walk.GetText(document.get());
  }

  // The text of the frame document the reference names, empty when the archive lacks it.
  std::u16string FrameText(std::u16string_view source, const std::string& base, int depth) const {
    if (depth >= kMaxFrameDepth) return {};
    const std::string reference = Utf8Of(source);
    if (reference.empty()) return {};
    const TMimeResource* found = nullptr;
    if (reference.size() > 4 && (reference.starts_with("cid:") || reference.starts_with("CID:"))) {
      const std::string id = reference.substr(4);
      for (const TMimeResource& resource : part_.resources)
        if (resource.html && resource.contentId == id) found = &resource;
    } else {
      const std::string resolved = Resolved(base, reference);
      for (const TMimeResource& resource : part_.resources) {
        if (!resource.html || found != nullptr) continue;
        if (resource.location == resolved || resource.location == reference) found = &resource;
      }
    }
    if (found == nullptr) return {};
    return DocumentText(found->text, found->location, depth + 1);
  }

 private:
  // The document's own style elements, in document order.
  static void AddStyleElements(const textlib::TDocument* document, TPageStyles& styles) {
    std::vector<std::pair<std::u16string, std::u16string>> sheets;  // text, media
    std::vector<const TNode*> pending{document};
    while (!pending.empty()) {
      const TNode* node = pending.back();
      pending.pop_back();
      if (node->Kind() == textlib::kElementNode && static_cast<const TElement*>(node)->TagNumber() == textlib::kTagStyle) {
        const auto* element = static_cast<const TElement*>(node);
        std::u16string css;
        const textlib::TNodeList& parts = element->ChildNodes();
        for (int64_t k = 0; k < parts.Length(); ++k) css.append(parts.Item(k)->NodeValueField());
        const textlib::TAttr* media = element->GetAttributeNode(u"media");
        sheets.emplace_back(std::move(css), media != nullptr ? media->GetNodeValue() : std::u16string());
        continue;
      }
      // Children pushed last to first come off in document order.
      const textlib::TNodeList& children = node->ChildNodes();
      for (int64_t i = children.Length() - 1; i >= 0; --i)
        if (children.Item(i)->Kind() == textlib::kElementNode) pending.push_back(children.Item(i));
    }
    for (const auto& [css, media] : sheets) styles.AddStyleSheet(css, media);
  }

  const TMimeText& part_;
  TPageStyles sheets_;
};

// Whether the page holds a word that the walk over the kept tree acts on (in any case): a
// hidden attribute, display or visibility in a style, a details element, a frame or iframe.
// Without one, that walk and the streamed one write the same text.
bool MayHideOrFrame(std::u16string_view html) {
  static constexpr std::u16string_view kWords[] = {u"hidden", u"display", u"visibility", u"details", u"frame"};
  const size_t n = html.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = html[i] | 0x20;
    if (c != u'h' && c != u'd' && c != u'v' && c != u'f') continue;
    for (std::u16string_view word : kWords) {
      if (word[0] != c || n - i < word.size()) continue;
      size_t k = 1;
      while (k < word.size() && (html[i + k] | 0x20) == word[k]) ++k;
      if (k == word.size()) return true;
    }
  }
  return false;
}

bool TRenderedWalk::BeginElement(TElement* element) {
  const TNode* parent = element->ParentNode();
  if (ContentHidden(parent)) {
    const bool summary = IsClosedDetails(parent) && element->Prefix().empty() && element->LocalName() == u"summary";
    if (!summary) return false;
  }
  if (element->HasAttribute(u"hidden")) return false;
  const TStyleDecision style = styles_.Decide(element);
  if (style.display == TDisplay::kNone || style.visibility == TVisibility::kHidden) return false;
  int32_t tag = TextTagOf(element);
  if (style.display == TDisplay::kBlock && !IsBlockTag(tag) && tag != textlib::kTagTr && tag != textlib::kTagBr) {
    tag = textlib::kTextTagBlock;
  } else if (style.display == TDisplay::kInline) {
    static constexpr textlib::TagSet kPlainBlocks = {
        textlib::kTagDiv, textlib::kTagP,  textlib::kTagH1, textlib::kTagH2, textlib::kTagH3, textlib::kTagH4,
        textlib::kTagH5,  textlib::kTagH6, textlib::kTagLi, textlib::kTagDt, textlib::kTagDd, textlib::kTagUl,
        textlib::kTagOl,  textlib::kTagDl, textlib::kTagCenter, textlib::kTagAddress, textlib::kTextTagBlock};
    if (kPlainBlocks.Contains(tag)) tag = textlib::kTagSpan;
  }
  if (!BeginTag(tag)) return false;
  tags_.push_back(tag);
  if (tag == textlib::kTagFrame || tag == textlib::kTagIframe) {
    if (const textlib::TAttr* source = element->GetAttributeNode(u"src"))
      AppendText(pages_.FrameText(source->GetNodeValue(), location_, frameDepth_));
  }
  return true;
}

void TRenderedWalk::EndElement(TElement* element) {
  const int32_t tag = tags_.back();
  tags_.pop_back();
  EndTag(tag, WantsAlternativeText(tag) ? AlternativeText(element) : std::u16string());
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Every line break made CR LF; with trimBlanks, blanks at line ends and before a TAB dropped.
std::u16string CleanLines(std::u16string_view text, bool trimBlanks) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 32);
  const auto trimEnd = [&out, trimBlanks] {
    while (trimBlanks && !out.empty() && IsBlank(out.back())) out.pop_back();
  };
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    // Runs without a line break or TAB go in one piece.
    size_t end = i;
    while (end < n && !(text[end] <= u'\r' && ((0x2600u >> text[end]) & 1) != 0)) ++end;
    if (end > i) {
      out.append(text.substr(i, end - i));
      i = end;
      if (i == n) break;
    }
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      trimEnd();
      out.append(u"\r\n");
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\t' && trimBlanks) {
      while (!out.empty() && out.back() == u' ') out.pop_back();
      out.push_back(c);
    } else {
      out.push_back(c);
    }
  }
  trimEnd();
  return out;
}

}  // namespace

std::u16string RenderedText(const TMimeText& part) {
  switch (part.kind) {
    case TMimeTextKind::kHtml: {
      const TArchivePages pages(part);
      // Most pages hide nothing and have no frames: their text is the streamed walk's, which
      // keeps no tree.
      if (pages.StylesEmpty() && !MayHideOrFrame(part.text))
        return CleanLines(textlib::HtmlToRenderedText(part.text), true);
      return CleanLines(pages.DocumentText(part.text, part.location, 0), true);
    }
    case TMimeTextKind::kPlain:
      return CleanLines(part.text, false);
    case TMimeTextKind::kNone:
      break;
  }
  return {};
}

TRenderedArchive RenderArchive(std::u16string_view pathOrUrl) {
  TRenderedArchive out;
  const std::string path = ArchivePosixPath(pathOrUrl);
  if (path.empty()) {  // another scheme or an unknown drive
    out.errorCode = EINVAL;
    return out;
  }
  int error = 0;
  if (!ReadMimeFile(path, out.part, &error)) {
    out.errorCode = error != 0 ? error : EIO;
    return out;
  }
  out.ok = true;
  if (out.part.kind == TMimeTextKind::kHtml) {
    // The page's text goes before its lines are cleaned, so that at most two of the three
    // texts (page, formatted, cleaned) are held at a time.
    std::u16string formatted = textlib::HtmlToRenderedText(out.part.text);
    out.part.text = std::u16string();
    out.text = CleanLines(formatted, true);
  } else {
    out.text = RenderedText(out.part);
    out.part.text = std::u16string();
  }
  return out;
}

}  // namespace extractor
