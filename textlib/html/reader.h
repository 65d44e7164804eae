#pragma once
// THtmlReader cuts one UTF-16 HTML text into tokens and reports each through a callback.
// It never fails: whatever forms no token comes back as text or as the entity reference
// "lt" or "amp". Each "skip to" search remembers where its text was last found, so
// unterminated constructs repeated many times stay linear. The content of a script element
// is one text run, as in browsers, so markup inside JavaScript strings stays script.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace textlib {

// Reader token kinds (NodeType).
enum HtmlReaderNodeType : int32_t {
  kReaderNone = 0,
  kReaderElement = 1,
  kReaderAttributeEnd = 2,
  kReaderText = 3,
  kReaderCData = 4,
  kReaderEntityReference = 5,
  kReaderComment = 8,
  kReaderEndElement = 255,
};

// Reader states.
enum HtmlReaderState : uint8_t {
  kStateContent = 0,
  kStateInStartTag = 1,
  kStateAfterAttributeName = 2,
  kStateUnquotedValue = 3,
  kStateQuotedValue = 4,
};

// Which callback a Read fired (or had to fire, when it is not set).
enum class HtmlReaderEvent : uint8_t {
  kNone, kAttributeEnd, kAttributeStart, kCDataSection, kComment, kDocType, kElementEnd,
  kElementStart, kEndElement, kEntityReference, kTextNode,
};

class THtmlReader {
 public:
  using Callback = std::function<void(THtmlReader&)>;

  THtmlReader() = default;

  // Takes the text; Position goes back to 1 (State is kept).
  void SetHtmlStr(std::u16string text);
  // Reads the caller's text in place, which must outlive the reading: a page of hundreds
  // of megabytes is not copied.
  void SetHtmlView(std::u16string_view text);
  // Reads one token and fires its callback; false when the text was used up at the call.
  bool Read();
  // A Read fires at most one callback, so a caller may leave them unset and look here
  // after each Read instead: the token's fields are the same, and the call is direct.
  HtmlReaderEvent LastEvent() const { return event_; }

  std::u16string QualifiedName() const;

  std::u16string_view HtmlStr() const { return html_; }
  int64_t Position() const { return static_cast<int64_t>(pos_) + 1; }  // 1-based
  int32_t NodeType() const { return nodeType_; }
  const std::u16string& Prefix() const { return prefix_; }
  const std::u16string& LocalName() const { return localName_; }
  // Valid until the next Read or SetHtmlStr: text runs, comments and CDATA sections are
  // views into the text, which spares a copy of nearly every character of a page.
  std::u16string_view NodeValue() const { return nodeValue_; }
  const std::u16string& PublicID() const { return publicId_; }
  const std::u16string& SystemID() const { return systemId_; }
  bool IsEmptyElement() const { return isEmptyElement_; }
  uint8_t State() const { return state_; }
  char16_t Quotation() const { return quotation_; }

  Callback OnAttributeEnd, OnAttributeStart, OnCDataSection, OnComment, OnDocType,
      OnElementEnd, OnElementStart, OnEndElement, OnEntityReference, OnTextNode;

 private:
  enum Needle { kNeedleGt, kNeedleCommentEnd, kNeedleCDataEnd, kNeedleDquote, kNeedleSquote,
                kNeedleCount };
  struct FindCache {
    size_t from = SIZE_MAX;  // the search that found `at` started here
    size_t at = 0;           // where the needle stands, or npos
  };

  void Fire(const Callback& cb, HtmlReaderEvent event) {
    event_ = event;
    if (cb) cb(*this);
  }
  bool AtEnd() const { return pos_ >= html_.size(); }
  void SkipBlanks();
  size_t Find(Needle needle, size_t from);
  bool SkipTo(Needle needle);
  template <bool (*IsDelimiter)(char16_t)>
  std::u16string_view ReadToken();
  void SetName(std::u16string_view name);
  void SetFoldedName(std::u16string_view name);
  void ReportEntity(const char16_t* name);

  bool MarkupStep();
  bool DocTypeStep();
  bool ReadQuoted(std::u16string& into);
  bool ReferenceStep();
  bool AttributeStart();
  void CloseStartTag();
  bool ValueStep();
  void ReportText(std::u16string_view text);
  size_t ScriptEnd(size_t from) const;

  std::u16string owned_;  // the text of SetHtmlStr
  std::u16string_view html_;
  size_t pos_ = 0;
  int32_t nodeType_ = kReaderNone;
  std::u16string prefix_, localName_, publicId_, systemId_;
  std::u16string_view nodeValue_;
  char16_t reference_[2] = {};  // the units of a numeric character reference
  bool isEmptyElement_ = false;
  uint8_t state_ = kStateContent;
  HtmlReaderEvent event_ = HtmlReaderEvent::kNone;
  char16_t quotation_ = 0;
  bool scriptStartTag_ = false;  // the start tag being read is "script"
  bool scriptContent_ = false;   // the next content Read starts a script's content
  FindCache cache_[kNeedleCount];
};

}  // namespace textlib
