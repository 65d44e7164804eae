#pragma once
// TBaseFormatter walks a document and writes it into a TStringBuilder; TTextFormatter makes
// the readable text of a page from it (collapsed white space, blank lines around blocks, line
// breaks for br, entities resolved, scripts left out). The walk uses its own stack, so any
// nesting depth is safe, and pumps messages through the platform hook every few hundred
// steps, which keeps the interface alive without touching the output.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "textlib/html/dom.h"

namespace textlib {

class TStringBuilder {
 public:
  explicit TStringBuilder(int64_t capacity);
  // A text containing "[No canvas support]" is not appended.
  void Append(std::u16string_view text);
  bool EndsWith(std::u16string_view text) const;
  bool EndsWithWhiteSpace() const;
  bool IsEmpty() const { return buffer_.empty(); }
  int64_t Length() const { return static_cast<int64_t>(buffer_.size()); }
  int64_t Capacity() const { return capacity_; }
  std::u16string GetText() const { return buffer_; }
  std::u16string TakeText() { return std::move(buffer_); }

 private:
  int64_t capacity_;
  std::u16string buffer_;
};

// Node-kind filter bits.
enum FormatterFilter : int32_t {
  kFilterAttributes = 2,
  kFilterText = 4,
  kFilterCData = 8,
  kFilterEntityReferences = 16,
  kFilterInstructions = 64,
  kFilterComments = 128,
};

class TBaseFormatter {
 public:
  TBaseFormatter() = default;
  virtual ~TBaseFormatter() = default;
  TBaseFormatter(const TBaseFormatter&) = delete;
  TBaseFormatter& operator=(const TBaseFormatter&) = delete;

  // The document's text; the document is not freed.
  std::u16string GetText(TDocument* document);
  // The same walk without a document, for a builder that reports the tree as it grows:
  // StartText, then the nodes in document order, then FinishText for the text.
  void StartText(int64_t capacity);
  std::u16string FinishText();

  int32_t Filter() const { return filter_; }
  void SetFilter(int32_t filter) { filter_ = filter; }
  bool ResolveEntities() const { return resolveEntities_; }
  void SetResolveEntities(bool resolve) { resolveEntities_ = resolve; }
  int32_t Depth() const { return depth_; }

 protected:
  virtual void AppendText(std::u16string_view text);
  virtual void ProcessAttribute(TAttr* attribute);
  virtual void ProcessAttributes(TElement* element);
  virtual void ProcessCDATA(TCDATASection* section);
  virtual void ProcessComment(TComment* comment);
  virtual void ProcessDocument();
  // Walks the element and everything below it without recursion: each element passes
  // through BeginElement (false skips its children and its EndElement) and EndElement.
  void ProcessElement(TElement* element);
  virtual bool BeginElement(TElement* element);
  virtual void EndElement(TElement* element);
  virtual void ProcessEntityRef(TEntityReference* reference);
  virtual void ProcessInstruction(TProcessingInstruction* instruction);
  virtual void ProcessTextNode(TTextNode* text);
  void ProcessNode(TNode* node);

  // Processes pending messages once every kPumpInterval calls.
  void PumpMessages();
  TStringBuilder& Output() { return *output_; }

  TDocument* document_ = nullptr;
  std::unique_ptr<TStringBuilder> output_;
  int32_t depth_ = 0;
  int32_t filter_ = -1;
  bool resolveEntities_ = false;
  bool inPre_ = false;
  bool inAttributes_ = false;

 private:
  static constexpr uint32_t kPumpInterval = 256;
  uint32_t pumpCount_ = 0;
};

// Numbers the text walk gives elements that HTML 4.01 does not know (their tag number is
// 0), above every tag number: the block elements of later HTML, and template.
inline constexpr int32_t kTextTagBlock = 100;
inline constexpr int32_t kTextTagTemplate = 101;

class TTextFormatter : public TBaseFormatter {
 public:
  TTextFormatter();

  // The number the walk goes by: the tag number, or for an unknown name one of the above.
  static int32_t TextTag(int32_t tag, std::u16string_view name);
  static int32_t TextTagOf(const TElement* element);

  // " " + the value, with "http://" in front unless it starts with a known scheme and ":";
  // empty without "href".
  std::u16string LinkTargetText(const TElement* element) const;
  // The value of "alt", or empty.
  std::u16string AlternativeText(const TElement* element) const;

  // The steps of the walk by tag number and value. BeginTag false leaves the element's
  // content and its EndTag out; the alternative text counts for an img inside a link.
  bool BeginTag(int32_t tag);
  void EndTag(int32_t tag, std::u16string_view alternativeText);
  void TextValue(std::u16string_view value);
  void EntityValue(std::u16string_view name);
  static bool LeavesOutContent(int32_t tag);
  // Whether the tag stands apart with blank lines around it.
  static bool IsBlockTag(int32_t tag);
  // The text a browser shows of the page: title, style, script, noscript, noframes and
  // template left out with their content, no alternative texts of images, which is all a head shows (the tree rules may put a page's body into an
  // unclosed head, and browsers show text misplaced there), the cells of a table row on one
  // line with a TAB between them. Off by default, which keeps the indexer's texts as they are.
  void SetRenderedText(bool rendered) { rendered_ = rendered; }
  bool RenderedText() const { return rendered_; }
  // LeavesOutContent in the formatter's mode.
  bool LeavesOut(int32_t tag) const;
  // Whether EndTag of that tag would use an alternative text now.
  bool WantsAlternativeText(int32_t tag) const;

 protected:
  void AppendText(std::u16string_view text) override;
  bool BeginElement(TElement* element) override;
  void EndElement(TElement* element) override;
  void ProcessEntityRef(TEntityReference* reference) override;
  void ProcessTextNode(TTextNode* text) override;

 private:
  void LineBreak();
  void ParagraphBreak();

  void AppendKept(std::u16string_view text);

  bool inLink_ = false;
  bool rendered_ = false;
  bool keepBlank_ = false;  // the output ends with a blank that no leading blank may join
  bool preStart_ = false;   // nothing yet in the pre just begun
  bool cellInRow_ = false;  // rendered text: a cell of the current row was begun
  std::u16string collapsed_;
};

// The text of an HTML page as the indexer stores it: parsed, then formatted.
std::u16string HtmlToText(std::u16string_view html);
// The same walk in the rendered-text mode of TTextFormatter.
std::u16string HtmlToRenderedText(std::u16string_view html);

}  // namespace textlib
