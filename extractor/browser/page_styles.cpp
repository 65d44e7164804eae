#include "extractor/browser/page_styles.h"

#include <algorithm>

#include "textlib/html/dom.h"

namespace extractor {
namespace {

// The width of the browser window that media queries are read against, in CSS pixels.
constexpr double kWindowWidth = 800;
constexpr size_t kMaxChain = 8;
constexpr int kMaxNesting = 4;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool IsNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'_' || c >= 0x80;
}
char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

std::u16string LowerTrimmed(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  std::u16string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

// The text with its comments blanked out.
std::u16string WithoutComments(std::u16string_view css) {
  std::u16string out;
  out.reserve(css.size());
  for (size_t i = 0; i < css.size(); ++i) {
    if (css[i] == u'/' && i + 1 < css.size() && css[i + 1] == u'*') {
      const size_t end = css.find(u"*/", i + 2);
      if (end == std::u16string_view::npos) break;
      out.push_back(u' ');
      i = end + 1;
    } else {
      out.push_back(css[i]);
    }
  }
  return out;
}

// From an opening "{" at `open`: the position of its closing "}" (or the end), strings and
// nested blocks passed over.
size_t BlockEnd(std::u16string_view css, size_t open) {
  int depth = 0;
  for (size_t i = open; i < css.size(); ++i) {
    const char16_t c = css[i];
    if (c == u'"' || c == u'\'') {
      const size_t close = css.find(c, i + 1);
      if (close == std::u16string_view::npos) return css.size();
      i = close;
    } else if (c == u'{') {
      ++depth;
    } else if (c == u'}' && --depth == 0) {
      return i;
    }
  }
  return css.size();
}

// Splits at the separator where no parenthesis is open.
std::vector<std::u16string_view> SplitTop(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> parts;
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'(') ++depth;
    else if (text[i] == u')' && depth > 0) --depth;
    else if (text[i] == separator && depth == 0) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// A length in CSS pixels ("600px", "40em"); negative when it is none.
double PixelsOf(std::u16string_view value) {
  double number = 0;
  size_t i = 0;
  bool digits = false;
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i, digits = true) number = number * 10 + (value[i] - u'0');
  if (i < value.size() && value[i] == u'.') {
    double scale = 0.1;
    for (++i; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i, digits = true, scale /= 10)
      number += (value[i] - u'0') * scale;
  }
  if (!digits) return -1;
  const std::u16string_view unit = value.substr(i);
  if (unit == u"px" || unit.empty()) return number;
  if (unit == u"em" || unit == u"rem") return number * 16;
  return -1;
}

// Whether a media query list applies to a screen of the window width.
bool MediaApplies(std::u16string_view query) {
  const std::u16string lower = LowerTrimmed(query);
  if (lower.empty()) return true;
  for (std::u16string_view one : SplitTop(lower, u',')) {
    bool applies = true;
    size_t at = 0;
    while (applies && at < one.size()) {
      while (at < one.size() && IsSpace(one[at])) ++at;
      if (at >= one.size()) break;
      if (one[at] == u'(') {
        const size_t close = one.find(u')', at);
        if (close == std::u16string_view::npos) return false;
        const std::u16string feature = LowerTrimmed(one.substr(at + 1, close - at - 1));
        at = close + 1;
        const size_t colon = feature.find(u':');
        const std::u16string name = LowerTrimmed(std::u16string_view(feature).substr(0, colon));
        const double pixels =
            colon == std::u16string::npos ? -1 : PixelsOf(LowerTrimmed(std::u16string_view(feature).substr(colon + 1)));
        if (name == u"min-width" && pixels >= 0) applies = kWindowWidth >= pixels;
        else if (name == u"max-width" && pixels >= 0) applies = kWindowWidth <= pixels;
        else applies = false;  // a feature this subset does not read
        continue;
      }
      size_t end = at;
      while (end < one.size() && !IsSpace(one[end]) && one[end] != u'(') ++end;
      const std::u16string_view word = one.substr(at, end - at);
      at = end;
      if (word == u"and" || word == u"only" || word == u"screen" || word == u"all") continue;
      applies = false;  // print, speech, not, ...
    }
    if (applies) return true;
  }
  return false;
}

}  // namespace

TStyleDecision ParseDeclarations(std::u16string_view declarations) {
  TStyleDecision decision;
  for (std::u16string_view declaration : SplitTop(declarations, u';')) {
    const size_t colon = declaration.find(u':');
    if (colon == std::u16string_view::npos) continue;
    const std::u16string name = LowerTrimmed(declaration.substr(0, colon));
    if (name != u"display" && name != u"visibility") continue;
    std::u16string value = LowerTrimmed(declaration.substr(colon + 1));
    if (const size_t bang = value.find(u'!'); bang != std::u16string::npos) value = LowerTrimmed(std::u16string_view(value).substr(0, bang));
    if (name == u"display") {
      // The outer display type is what separates lines of text.
      const std::u16string outer = value.substr(0, value.find(u' '));
      if (outer == u"none") decision.display = TDisplay::kNone;
      else if (outer == u"block" || outer == u"flex" || outer == u"grid" || outer == u"list-item" ||
               outer == u"table" || outer == u"flow-root" || outer == u"table-row" || outer == u"table-caption")
        decision.display = TDisplay::kBlock;
      else if (outer.starts_with(u"inline") || outer == u"contents")
        decision.display = TDisplay::kInline;
    } else if (value == u"hidden" || value == u"collapse") {
      decision.visibility = TVisibility::kHidden;
    } else if (value == u"visible") {
      decision.visibility = TVisibility::kVisible;
    }
  }
  return decision;
}

void TPageStyles::AddStyleSheet(std::u16string_view css, std::u16string_view media) {
  if (MediaApplies(media)) AddRules(WithoutComments(css), 0);
}

void TPageStyles::AddRules(std::u16string_view css, int depth) {
  size_t i = 0;
  const size_t n = css.size();
  while (i < n) {
    while (i < n && (IsSpace(css[i]) || css[i] == u'}' || css[i] == u';')) ++i;
    if (i >= n) break;
    // The prelude runs to the block's "{"; a statement at-rule ends at its ";" first.
    size_t open = i;
    while (open < n && css[open] != u'{' && !(css[i] == u'@' && css[open] == u';')) {
      if (css[open] == u'"' || css[open] == u'\'') {
        const size_t close = css.find(css[open], open + 1);
        open = close == std::u16string_view::npos ? n : close;
      }
      if (open < n) ++open;
    }
    if (open >= n) break;
    const std::u16string_view prelude = css.substr(i, open - i);
    if (css[open] == u';') {  // @import, @charset, ...
      i = open + 1;
      continue;
    }
    const size_t close = BlockEnd(css, open);
    const std::u16string_view block = css.substr(open + 1, close - std::min(close, open + 1));
    i = close + 1;
    if (prelude.front() == u'@') {
      if (depth < kMaxNesting && prelude.size() > 6 && LowerTrimmed(prelude.substr(0, 6)) == u"@media" &&
          MediaApplies(prelude.substr(6)))
        AddRules(block, depth + 1);
      continue;
    }
    const TStyleDecision decision = ParseDeclarations(block);
    if (decision.display != TDisplay::kUnset || decision.visibility != TVisibility::kUnset) AddRule(prelude, decision);
  }
}

bool TPageStyles::ParseSelector(std::u16string_view text, Rule& rule) {
  size_t at = 0;
  bool childNext = false;
  uint32_t ids = 0, classes = 0, tags = 0;
  while (at < text.size()) {
    if (IsSpace(text[at])) {
      ++at;
      continue;
    }
    if (text[at] == u'>') {
      if (rule.chain.empty() || childNext) return false;
      childNext = true;
      ++at;
      continue;
    }
    Compound compound;
    bool any = false;
    while (at < text.size() && !IsSpace(text[at]) && text[at] != u'>') {
      const char16_t c = text[at];
      if (c == u'*') {
        ++at;
        any = true;
        continue;
      }
      const bool marked = c == u'.' || c == u'#';
      const size_t start = at + (marked ? 1 : 0);
      size_t end = start;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      if (end == start) return false;  // attributes, pseudo-classes, siblings, escapes
      const std::u16string_view name = text.substr(start, end - start);
      if (c == u'.') {
        compound.classes.emplace_back(name);
        ++classes;
      } else if (c == u'#') {
        compound.id = name;
        ++ids;
      } else {
        if (!compound.tag.empty() || any) return false;
        compound.tag = LowerTrimmed(name);
        ++tags;
      }
      any = true;
      at = end;
    }
    if (!any) return false;
    if (!rule.chain.empty()) rule.child.push_back(childNext);
    childNext = false;
    rule.chain.push_back(std::move(compound));
    if (rule.chain.size() > kMaxChain) return false;
  }
  if (rule.chain.empty() || childNext) return false;
  rule.specificity = std::min(ids, 255u) << 16 | std::min(classes, 255u) << 8 | std::min(tags, 255u);
  return true;
}

void TPageStyles::AddRule(std::u16string_view selectors, const TStyleDecision& decision) {
  for (std::u16string_view selector : SplitTop(selectors, u',')) {
    Rule rule;
    if (!ParseSelector(selector, rule)) continue;
    rule.decision = decision;
    rule.order = static_cast<uint32_t>(rules_.size());
    const Compound& subject = rule.chain.back();
    std::u16string key = !subject.id.empty()        ? u"#" + subject.id
                         : !subject.classes.empty() ? u"." + subject.classes.front()
                         : !subject.tag.empty()     ? subject.tag
                                                    : u"*";
    index_[key].push_back(static_cast<uint32_t>(rules_.size()));
    rules_.push_back(std::move(rule));
  }
}

namespace {

const textlib::TElement* ParentElement(const textlib::TElement* element) {
  const textlib::TNode* parent = element->ParentNode();
  return parent != nullptr && parent->Kind() == textlib::kElementNode ? static_cast<const textlib::TElement*>(parent)
                                                                       : nullptr;
}

std::u16string AttributeValue(const textlib::TElement* element, std::u16string_view name) {
  const textlib::TAttr* attribute = element->GetAttributeNode(name);
  return attribute != nullptr ? attribute->GetNodeValue() : std::u16string();
}

bool HasClass(std::u16string_view list, std::u16string_view name) {
  for (size_t at = 0; at < list.size();) {
    while (at < list.size() && IsSpace(list[at])) ++at;
    size_t end = at;
    while (end < list.size() && !IsSpace(list[end])) ++end;
    if (end > at && list.substr(at, end - at) == name) return true;
    at = end;
  }
  return false;
}

}  // namespace

bool TPageStyles::Matches(const Compound& compound, const textlib::TElement* element) {
  if (!compound.tag.empty() && !(element->Prefix().empty() && element->LocalName() == compound.tag)) return false;
  if (!compound.id.empty() && AttributeValue(element, u"id") != compound.id) return false;
  if (!compound.classes.empty()) {
    const std::u16string list = AttributeValue(element, u"class");
    for (const std::u16string& name : compound.classes)
      if (!HasClass(list, name)) return false;
  }
  return true;
}

bool TPageStyles::MatchesFrom(const Rule& rule, size_t index, const textlib::TElement* element) const {
  if (!Matches(rule.chain[index], element)) return false;
  if (index == 0) return true;
  const textlib::TElement* parent = ParentElement(element);
  if (rule.child[index - 1]) return parent != nullptr && MatchesFrom(rule, index - 1, parent);
  for (; parent != nullptr; parent = ParentElement(parent))
    if (MatchesFrom(rule, index - 1, parent)) return true;
  return false;
}

TStyleDecision TPageStyles::Decide(const textlib::TElement* element) const {
  TStyleDecision decision;
  if (!rules_.empty()) {
    int64_t displayRank = -1, visibilityRank = -1;
    const auto consider = [&](const std::u16string& key) {
      const auto it = index_.find(key);
      if (it == index_.end()) return;
      for (const uint32_t number : it->second) {
        const Rule& rule = rules_[number];
        const int64_t rank = int64_t{rule.specificity} << 32 | rule.order;
        const bool display = rule.decision.display != TDisplay::kUnset && rank > displayRank;
        const bool visibility = rule.decision.visibility != TVisibility::kUnset && rank > visibilityRank;
        if (!(display || visibility) || !MatchesFrom(rule, rule.chain.size() - 1, element)) continue;
        if (display) {
          decision.display = rule.decision.display;
          displayRank = rank;
        }
        if (visibility) {
          decision.visibility = rule.decision.visibility;
          visibilityRank = rank;
        }
      }
    };
    consider(u"*");
    if (element->Prefix().empty()) consider(std::u16string(element->LocalName()));
    const std::u16string id = AttributeValue(element, u"id");
    if (!id.empty()) consider(u"#" + id);
    const std::u16string classes = AttributeValue(element, u"class");
    for (size_t at = 0; at < classes.size();) {
      while (at < classes.size() && IsSpace(classes[at])) ++at;
      size_t end = at;
      while (end < classes.size() && !IsSpace(classes[end])) ++end;
      if (end > at) consider(u"." + classes.substr(at, end - at));
      at = end;
    }
  }
  if (const textlib::TAttr* style = element->GetAttributeNode(u"style")) {
    const TStyleDecision own = ParseDeclarations(style->GetNodeValue());
    if (own.display != TDisplay::kUnset) decision.display = own.display;
    if (own.visibility != TVisibility::kUnset) decision.visibility = own.visibility;
  }
  return decision;
}

}  // namespace extractor
