#pragma once
// The part of a page's style sheets that decides which text a browser shows: rules that set
// `display` (none, or block against inline) and `visibility` (hidden, visible). Covered
// selectors: compounds of an element name or "*", "#id" and ".class" (any number of
// classes), joined by descendant (blank) or child (">") combinators, in lists with ",".
// A selector with anything else (attributes, pseudo-classes, siblings) is skipped, as are
// @-rules other than @media for screens or all media without a width query. Specificity and
// order decide between rules; an inline style attribute decides over them.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace textlib {
class TElement;
}

namespace extractor {

enum class TDisplay : uint8_t { kUnset, kNone, kBlock, kInline };
enum class TVisibility : uint8_t { kUnset, kHidden, kVisible };

struct TStyleDecision {
  TDisplay display = TDisplay::kUnset;
  TVisibility visibility = TVisibility::kUnset;
};

// The display and visibility that a declaration block ("a: b; c: d") sets.
TStyleDecision ParseDeclarations(std::u16string_view declarations);

class TPageStyles {
 public:
  // Adds a style sheet's rules after those already there; a sheet for other media than a
  // screen (its media attribute) adds none.
  void AddStyleSheet(std::u16string_view css, std::u16string_view media = {});
  bool Empty() const { return rules_.empty(); }
  size_t RuleCount() const { return rules_.size(); }

  // What the rules and the element's own style attribute decide for it.
  TStyleDecision Decide(const textlib::TElement* element) const;

 private:
  struct Compound {
    std::u16string tag;  // empty: any
    std::u16string id;
    std::vector<std::u16string> classes;
  };
  struct Rule {
    std::vector<Compound> chain;  // from the outermost to the subject
    std::vector<bool> child;      // child[i]: chain[i + 1] is a child (not any descendant) of chain[i]
    uint32_t specificity = 0;
    uint32_t order = 0;
    TStyleDecision decision;
  };

  void AddRules(std::u16string_view css, int depth);
  void AddRule(std::u16string_view selectors, const TStyleDecision& decision);
  static bool ParseSelector(std::u16string_view text, Rule& rule);
  static bool Matches(const Compound& compound, const textlib::TElement* element);
  bool MatchesFrom(const Rule& rule, size_t index, const textlib::TElement* element) const;

  std::vector<Rule> rules_;
  // Rules by their subject's key: "#id", ".class", the element name, or "*".
  std::unordered_map<std::u16string, std::vector<uint32_t>> index_;
};

}  // namespace extractor
