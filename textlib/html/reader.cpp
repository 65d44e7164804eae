#include "textlib/html/reader.h"

#include "platform/codepage.h"
#include "textlib/html/scan.h"
#include "textlib/html/tags.h"

namespace textlib {
namespace {

constexpr std::u16string_view kNeedles[] = {u">", u"-->", u"]]>", u"\"", u"'"};

bool IsBlank(char16_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool IsNameDelimiter(char16_t c) { return IsBlank(c) || c == '/' || c == '>'; }
bool IsAttrNameDelimiter(char16_t c) { return IsNameDelimiter(c) || c == '='; }
bool IsUnquotedValueDelimiter(char16_t c) {
  return IsNameDelimiter(c) || c == '"' || c == '\'';
}
bool IsEntityNameDelimiter(char16_t c) {
  return IsBlank(c) || c == '&' || c == ';' || c == '<';
}

// A name goes through the system ANSI code page and has only A-Z lower-cased; the round
// trip keeps every unit that has a byte and turns the others into "?".
char16_t FoldNameUnit(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  return platform::WideToCp1252(c) ? c : u'?';
}

using html_scan::FindEither;

bool MatchesNoCase(std::u16string_view text, size_t at, std::u16string_view upperWord) {
  if (text.size() - at < upperWord.size()) return false;
  for (size_t i = 0; i < upperWord.size(); ++i) {
    char16_t c = text[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
    if (c != upperWord[i]) return false;
  }
  return true;
}

bool IsKeywordNoCase(std::u16string_view token, std::u16string_view upperWord) {
  return token.size() == upperWord.size() && MatchesNoCase(token, 0, upperWord);
}

// "<script" or "</script" (as `tag`) at `at`, in any case, followed by what ends a name; at
// the end of the text the name may still go on, so it is no tag yet.
bool IsScriptTagAt(std::u16string_view text, size_t at, std::u16string_view tag) {
  constexpr std::u16string_view kName = u"SCRIPT";
  const size_t end = at + tag.size() + kName.size();
  return end < text.size() && text.substr(at, tag.size()) == tag &&
         MatchesNoCase(text, at + tag.size(), kName) && IsNameDelimiter(text[end]);
}

}  // namespace

void THtmlReader::SetHtmlStr(std::u16string text) {
  owned_ = std::move(text);
  SetHtmlView(owned_);
}

void THtmlReader::SetHtmlView(std::u16string_view text) {
  html_ = text;
  pos_ = 0;
  scriptStartTag_ = scriptContent_ = false;
  for (FindCache& c : cache_) c = FindCache{};
}

std::u16string THtmlReader::QualifiedName() const {
  if (prefix_.empty()) return localName_;
  std::u16string name;
  name.reserve(prefix_.size() + 1 + localName_.size());
  name.append(prefix_).append(u":").append(localName_);
  return name;
}

void THtmlReader::SkipBlanks() {
  while (pos_ < html_.size() && IsBlank(html_[pos_])) ++pos_;
}

size_t THtmlReader::Find(Needle needle, size_t from) {
  // Positions only move forward: a search starting between the last start and the last
  // hit has the same answer, which keeps repeated failing searches from going quadratic.
  FindCache& c = cache_[needle];
  if (c.from != SIZE_MAX && from >= c.from && from <= c.at) return c.at;
  c.from = from;
  c.at = from >= html_.size() ? std::u16string::npos
                              : html_.find(kNeedles[needle], from);
  return c.at;
}

bool THtmlReader::SkipTo(Needle needle) {
  const size_t at = Find(needle, pos_);
  if (at == std::u16string::npos) {
    pos_ = html_.size();
    return false;
  }
  pos_ = at + kNeedles[needle].size();
  return true;
}

// A template, so that the delimiter test is inlined into the loop.
template <bool (*IsDelimiter)(char16_t)>
std::u16string_view THtmlReader::ReadToken() {
  const size_t start = pos_;
  while (pos_ < html_.size() && !IsDelimiter(html_[pos_])) ++pos_;
  return html_.substr(start, pos_ - start);
}

void THtmlReader::SetName(std::u16string_view name) {
  const size_t colon = name.find(u':');
  // clear + append: the plain copy, without assign's care for overlapping text.
  if (colon == std::u16string_view::npos) {
    localName_.clear();
    localName_.append(name);
  } else {
    prefix_.clear();
    prefix_.append(name.substr(0, colon));
    localName_.clear();
    localName_.append(name.substr(colon + 1));
  }
}

void THtmlReader::SetFoldedName(std::u16string_view name) {
  // Folding never makes or removes a ":", so the name may be split first.
  SetName(name);
  for (char16_t& c : prefix_) c = FoldNameUnit(c);
  for (char16_t& c : localName_) c = FoldNameUnit(c);
}

void THtmlReader::ReportEntity(const char16_t* name) {
  nodeType_ = kReaderEntityReference;
  localName_.clear();
  localName_.append(name);
  Fire(OnEntityReference, HtmlReaderEvent::kEntityReference);
  ++pos_;
}

void THtmlReader::ReportText(std::u16string_view text) {
  nodeType_ = kReaderText;
  nodeValue_ = text;
  Fire(OnTextNode, HtmlReaderEvent::kTextNode);
}

// Where a script's content ends: at the "</script" that closes it, else at the end of the
// text. Browsers' rules: inside "<!--" ... "-->" a "<script" opens a nested script whose
// "</script" closes only that one, which old pages rely on for document.write('<script ...
// </script>'). Only "<" (and "-" inside such a comment) stop the scan.
size_t THtmlReader::ScriptEnd(size_t from) const {
  enum Mode { kData, kEscaped, kDoubleEscaped } mode = kData;
  const std::u16string_view text(html_);
  const size_t n = text.size();
  for (size_t at = from;; ++at) {
    at = FindEither(text.data(), at, n, u'<', mode == kData ? u'<' : u'-');
    if (at == n) return n;
    if (text[at] == u'-') {
      if (text.substr(at).starts_with(u"-->")) {
        mode = kData;
        at += 2;
      }
    } else if (IsScriptTagAt(text, at, u"</")) {
      if (mode != kDoubleEscaped) return at;
      mode = kEscaped;
      at += 7;
    } else if (mode == kData && text.substr(at).starts_with(u"<!--")) {
      mode = kEscaped;
      at += 1;  // the dashes may also be the start of "-->", as in "<!-->"
    } else if (mode == kEscaped && IsScriptTagAt(text, at, u"<")) {
      mode = kDoubleEscaped;
      at += 6;
    }
  }
}

bool THtmlReader::Read() {
  event_ = HtmlReaderEvent::kNone;
  nodeType_ = kReaderNone;
  prefix_.clear();
  localName_.clear();
  nodeValue_ = {};
  publicId_.clear();
  systemId_.clear();
  isEmptyElement_ = false;
  if (AtEnd()) return false;

  switch (state_) {
    case kStateAfterAttributeName:
    case kStateUnquotedValue:
    case kStateQuotedValue:
      if (ValueStep()) return true;
      if (state_ == kStateQuotedValue) ++pos_;
      nodeType_ = kReaderAttributeEnd;
      Fire(OnAttributeEnd, HtmlReaderEvent::kAttributeEnd);
      state_ = kStateInStartTag;
      return true;
    case kStateInStartTag:
      if (!AttributeStart()) CloseStartTag();
      return true;
    default:
      break;
  }

  if (scriptContent_) {
    // Nothing in it is markup or a reference, as in browsers: a "</div>" in a JavaScript
    // string used to end the script and leak its code as text. Its "</script" is read as usual.
    scriptContent_ = false;
    const size_t end = ScriptEnd(pos_);
    if (end > pos_) {
      ReportText(html_.substr(pos_, end - pos_));
      pos_ = end;
      return true;
    }
  }

  const char16_t c = html_[pos_];
  if (c == '<') {
    const size_t at = pos_;
    if (!MarkupStep()) {
      pos_ = at;
      prefix_.clear();
      localName_.clear();
      nodeValue_ = {};
      publicId_.clear();
      systemId_.clear();
      nodeType_ = kReaderNone;
      ReportEntity(u"lt");
    }
  } else if (c == '&') {
    const size_t at = pos_;
    if (!ReferenceStep()) {
      pos_ = at;
      ReportEntity(u"amp");
    }
  } else {
    const size_t start = pos_;
    pos_ = FindEither(html_.data(), pos_ + 1, html_.size(), '&', '<');
    ReportText(html_.substr(start, pos_ - start));
  }
  return true;
}

bool THtmlReader::MarkupStep() {
  ++pos_;
  if (AtEnd()) return false;
  const char16_t c = html_[pos_];
  if (c == '/') {
    ++pos_;
    if (AtEnd()) return false;
    const std::u16string_view name = ReadToken<IsNameDelimiter>();
    if (name.empty()) return false;
    SetFoldedName(name);
    if (!SkipTo(kNeedleGt)) return false;
    nodeType_ = kReaderEndElement;
    Fire(OnEndElement, HtmlReaderEvent::kEndElement);
    return true;
  }
  if (c == '!') {
    ++pos_;
    if (AtEnd()) return false;
    if (MatchesNoCase(html_, pos_, u"DOCTYPE")) return DocTypeStep();
    const std::u16string_view rest = html_.substr(pos_);
    if (rest.starts_with(u"[CDATA[")) {
      pos_ += 7;
      const size_t at = Find(kNeedleCDataEnd, pos_);
      if (at == std::u16string::npos) return false;
      nodeValue_ = html_.substr(pos_, at - pos_);
      pos_ = at + 3;
      nodeType_ = kReaderCData;
      Fire(OnCDataSection, HtmlReaderEvent::kCDataSection);
      return true;
    }
    if (rest.starts_with(u"--")) {
      pos_ += 2;
      const size_t at = Find(kNeedleCommentEnd, pos_);
      if (at == std::u16string::npos) return false;
      nodeValue_ = html_.substr(pos_, at - pos_);
      pos_ = at + 3;
      nodeType_ = kReaderComment;
      Fire(OnComment, HtmlReaderEvent::kComment);
      return true;
    }
    return false;
  }
  // "<b" at the very end of the text is no tag.
  if (pos_ + 1 == html_.size()) return false;
  const std::u16string_view name = ReadToken<IsNameDelimiter>();
  if (name.empty()) return false;
  SetFoldedName(name);
  scriptStartTag_ = prefix_.empty() && localName_ == u"script";
  nodeType_ = kReaderElement;
  state_ = kStateInStartTag;
  Fire(OnElementStart, HtmlReaderEvent::kElementStart);
  return true;
}

bool THtmlReader::ReadQuoted(std::u16string& into) {
  const Needle needle = html_[pos_] == '"' ? kNeedleDquote : kNeedleSquote;
  const size_t start = pos_ + 1;
  const size_t at = Find(needle, start);
  if (at == std::u16string::npos) return false;
  into.assign(html_.substr(start, at - start));
  pos_ = at + 1;
  return true;
}

// A ">" after the name or the keyword ends the declaration, and identifiers are read only
// after PUBLIC or SYSTEM and a quote. Reading whatever character follows as an opening
// quote would let "<!DOCTYPE html>" swallow the markup up to a later ">".
bool THtmlReader::DocTypeStep() {
  pos_ += 7;
  SkipBlanks();
  const std::u16string_view name = ReadToken<IsNameDelimiter>();
  if (name.empty()) return false;
  const std::u16string nameCopy(name);
  SkipBlanks();
  auto finish = [&]() {
    if (!SkipTo(kNeedleGt)) return false;
    SetName(nameCopy);
    nodeType_ = kReaderNone;
    Fire(OnDocType, HtmlReaderEvent::kDocType);
    return true;
  };
  if (AtEnd() || html_[pos_] == '>') return finish();
  const std::u16string_view keyword = ReadToken<IsNameDelimiter>();
  const bool isPublic = IsKeywordNoCase(keyword, u"PUBLIC");
  const bool isSystem = IsKeywordNoCase(keyword, u"SYSTEM");
  SkipBlanks();
  auto atQuote = [&]() { return !AtEnd() && (html_[pos_] == '"' || html_[pos_] == '\''); };
  if ((isPublic || isSystem) && atQuote()) {
    if (!ReadQuoted(isPublic ? publicId_ : systemId_)) return false;
    if (isPublic) {
      SkipBlanks();
      if (atQuote() && !ReadQuoted(systemId_)) return false;
    }
  }
  return finish();
}

bool THtmlReader::ReferenceStep() {
  ++pos_;
  if (AtEnd()) return false;
  const size_t n = html_.size();
  if (html_[pos_] == '#') {
    ++pos_;
    bool hex = false;
    if (pos_ < n && (html_[pos_] == 'x' || html_[pos_] == 'X')) {
      hex = true;
      ++pos_;
    }
    // Saturates above the Unicode range, so long digit runs cannot overflow.
    const size_t digitsStart = pos_;
    uint32_t value = 0;
    for (; pos_ < n; ++pos_) {
      const char16_t c = html_[pos_];
      uint32_t digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else break;
      value = value * (hex ? 16 : 10) + digit;
      if (value > 0x10FFFF) value = 0x110000;
    }
    // Digits without their ";" still make the character, as in browsers.
    if (pos_ < n && html_[pos_] == ';') ++pos_;
    else if (pos_ == digitsStart) return false;
    // Above U+FFFF a surrogate pair, beyond U+10FFFF the replacement character: cutting the
    // value to 16 bits would turn an emoji into an unrelated character.
    size_t count = 1;
    if (value <= 0xFFFF) {
      reference_[0] = static_cast<char16_t>(value);
    } else if (value <= 0x10FFFF) {
      value -= 0x10000;
      reference_[0] = static_cast<char16_t>(0xD800 + (value >> 10));
      reference_[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
      count = 2;
    } else {
      reference_[0] = 0xFFFD;
    }
    ReportText(std::u16string_view(reference_, count));
    return true;
  }
  const size_t nameStart = pos_;
  std::u16string_view name = ReadToken<IsEntityNameDelimiter>();
  // A known name, or one without a legacy name at its start ("&bogus;"), is the reference.
  size_t legacy = 0;
  if (pos_ < n && html_[pos_] == ';' &&
      (LookupEntityCode(name) != ' ' || (legacy = LegacyEntityLength(name)) == 0 || legacy == name.size())) {
    ++pos_;
  } else {
    // A legacy name without ";" ("&auml", "&copy 2026"), as browsers read it; in an
    // attribute value not before a letter, digit or "=" ("?a=1&copy=2" stays as written).
    const size_t length = legacy != 0 ? legacy : LegacyEntityLength(name);
    if (length == 0) return false;
    if (state_ != kStateContent && length < name.size()) {
      const char16_t next = name[length];
      if (next == '=' || (next >= '0' && next <= '9') || (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'))
        return false;
    }
    name = name.substr(0, length);
    pos_ = nameStart + length;
  }
  SetName(name);
  nodeType_ = kReaderEntityReference;
  Fire(OnEntityReference, HtmlReaderEvent::kEntityReference);
  return true;
}

bool THtmlReader::AttributeStart() {
  SkipBlanks();
  const std::u16string_view name = ReadToken<IsAttrNameDelimiter>();
  if (name.empty()) return false;
  SetFoldedName(name);
  Fire(OnAttributeStart, HtmlReaderEvent::kAttributeStart);
  state_ = kStateAfterAttributeName;
  quotation_ = 0;
  return true;
}

void THtmlReader::CloseStartTag() {
  SkipBlanks();
  if (!AtEnd() && html_[pos_] == '/') {
    isEmptyElement_ = true;
    ++pos_;
  }
  SkipTo(kNeedleGt);  // whatever stands before the ">" is dropped
  // "<script/>" is closed at once by the builder, so what follows is no content of it.
  scriptContent_ = scriptStartTag_ && !isEmptyElement_;
  scriptStartTag_ = false;
  nodeType_ = kReaderElement;
  Fire(OnElementEnd, HtmlReaderEvent::kElementEnd);
  state_ = kStateContent;
}

bool THtmlReader::ValueStep() {
  if (state_ == kStateAfterAttributeName) {
    SkipBlanks();
    if (AtEnd() || html_[pos_] != '=') return false;
    ++pos_;
    SkipBlanks();
    if (AtEnd()) return false;
    if (html_[pos_] == '"' || html_[pos_] == '\'') {
      quotation_ = html_[pos_];
      ++pos_;
      state_ = kStateQuotedValue;
    } else {
      state_ = kStateUnquotedValue;
    }
  }
  if (AtEnd()) return false;
  if (html_[pos_] != '&') {
    const size_t start = pos_;
    const size_t n = html_.size();
    if (state_ == kStateUnquotedValue) {
      while (pos_ < n && !IsUnquotedValueDelimiter(html_[pos_])) ++pos_;
    } else {
      pos_ = FindEither(html_.data(), pos_, n, quotation_, '&');
    }
    if (pos_ == start) return false;
    ReportText(html_.substr(start, pos_ - start));
    return true;
  }
  const size_t at = pos_;
  if (!ReferenceStep()) {
    pos_ = at;
    ReportEntity(u"amp");
  }
  return true;
}

}  // namespace textlib
