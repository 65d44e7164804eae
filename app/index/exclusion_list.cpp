#include "app/index/exclusion_list.h"

#include <algorithm>
#include <optional>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/unicode.h"

namespace app {
namespace {

// UTF-8 as Unicode defines it (no overlong forms, no surrogates, nothing above U+10FFFF),
// each ill-formed sequence (its longest valid start) replaced by U+FFFD. Returns whether
// there was none: code page 1252 text with a letter above 0x7F almost never passes.
bool DecodeUtf8(std::string_view bytes, std::u16string& out) {
  bool wellFormed = true;
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    char32_t value = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    size_t k = 1;
    for (; k < length && i + k < n; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (k == 1 ? next < low || next > high : (next & 0xC0) != 0x80) break;
      value = value << 6 | (next & 0x3F);
    }
    if (length == 0 || k < length) {
      out.push_back(0xFFFD);
      wellFormed = false;
      i += k;
      continue;
    }
    if (value > 0xFFFF) {
      out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
    i += length;
  }
  return wellFormed;
}

std::u16string DecodeListText(std::string_view bytes) {
  const auto startsWith = [&](std::string_view mark) { return bytes.starts_with(mark); };
  if (startsWith("\xFF\xFE"))
    return platform::MultiByteToWide(platform::kCpUtf16LE, bytes.substr(2)).value_or(u"");
  if (startsWith("\xFE\xFF"))
    return platform::MultiByteToWide(platform::kCpUtf16BE, bytes.substr(2)).value_or(u"");
  std::u16string text;
  // Behind its mark an ill-formed sequence costs only its own characters.
  if (startsWith("\xEF\xBB\xBF")) {
    DecodeUtf8(bytes.substr(3), text);
    return text;
  }
  // Editors on Linux write UTF-8 without a mark; only bytes that cannot be UTF-8 are
  // taken as the system code page.
  if (DecodeUtf8(bytes, text)) return text;
  return platform::AnsiToWide(bytes);
}

// One unit as UnicodeLowerCase maps it; ASCII, most of every path, without a table look-up.
inline char16_t LowerUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
  const char32_t lower = textlib::CharToLower(unit);
  return lower > 0xFFFF ? unit : static_cast<char16_t>(lower);
}

}  // namespace

ExclusionList::ExclusionList(std::span<const std::u16string> fragments) {
  for (const std::u16string& fragment : fragments)
    if (!fragment.empty()) fragments_.push_back(textlib::UnicodeLowerCase(fragment));
  if (fragments_.empty()) return;

  // Sorted insertion appends every new child after its last sibling and meets a shorter
  // fragment before the longer ones it is a prefix of; those add nothing and are left out.
  std::vector<std::u16string_view> sorted(fragments_.begin(), fragments_.end());
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  struct TrieNode {
    uint32_t firstChild = 0, lastChild = 0, nextSibling = 0;
    char16_t label = 0;
    bool terminal = false;
  };
  std::vector<TrieNode> trie(1);
  for (const std::u16string_view fragment : sorted) {
    uint32_t node = 0;
    bool covered = false;
    for (const char16_t unit : fragment) {
      if (trie[node].terminal) {
        covered = true;
        break;
      }
      const uint32_t last = trie[node].lastChild;
      if (last != 0 && trie[last].label == unit) {
        node = last;
        continue;
      }
      const auto id = static_cast<uint32_t>(trie.size());
      trie.push_back({.label = unit});
      (last == 0 ? trie[node].firstChild : trie[last].nextSibling) = id;
      trie[node].lastChild = id;
      node = id;
    }
    if (!covered) trie[node].terminal = true;
  }

  // Breadth-first numbering puts each node's children next to each other.
  const size_t count = trie.size();
  std::vector<uint32_t> order;
  order.reserve(count);
  order.push_back(0);
  first_.assign(count + 1, 0);
  for (size_t i = 0; i < order.size(); ++i) {
    first_[i] = static_cast<uint32_t>(order.size());
    for (uint32_t child = trie[order[i]].firstChild; child != 0; child = trie[child].nextSibling)
      order.push_back(child);
  }
  first_[count] = static_cast<uint32_t>(count);
  label_.resize(count);
  matches_.assign(count, 0);
  for (size_t i = 0; i < count; ++i) {
    label_[i] = trie[order[i]].label;
    matches_[i] = trie[order[i]].terminal;
    if (i != 0) alphabet_.set(label_[i]);  // the root has no label
  }
  trie.clear();
  trie.shrink_to_fit();

  rootNext_.assign(65536, 0);
  for (uint32_t child = first_[0]; child < first_[1]; ++child) rootNext_[label_[child]] = child;
  fail_.assign(count, 0);
  for (uint32_t node = 1; node < count; ++node) {
    for (uint32_t child = first_[node]; child < first_[node + 1]; ++child) {
      uint32_t fall = fail_[node];
      uint32_t target = Child(fall, label_[child]);
      while (target == 0 && fall != 0) {
        fall = fail_[fall];
        target = Child(fall, label_[child]);
      }
      fail_[child] = target;
      matches_[child] = matches_[child] || matches_[target];
    }
  }
}

ExclusionList ExclusionList::Load(std::u16string_view fileName) {
  const std::string posix = platform::PosixPath(fileName);
  if (posix.empty()) return {};
  const std::optional<std::string> bytes = platform::ReadWholeFile(posix);
  if (!bytes) return {};
  return FromBytes(*bytes);
}

ExclusionList ExclusionList::FromBytes(std::string_view bytes) {
  const std::u16string text = DecodeListText(bytes);
  std::vector<std::u16string> fragments;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != u'\r' && text[i] != u'\n' && text[i] != 0x2028) continue;
    std::u16string fragment = textlib::UnicodeTrim(std::u16string_view(text).substr(start, i - start));
    if (!fragment.empty()) fragments.push_back(std::move(fragment));
    start = i + 1;
  }
  return ExclusionList(fragments);
}

uint32_t ExclusionList::Child(uint32_t node, char16_t unit) const {
  if (node == 0) return rootNext_[unit];
  const char16_t* begin = label_.data() + first_[node];
  const char16_t* end = label_.data() + first_[node + 1];
  const char16_t* found = std::lower_bound(begin, end, unit);
  return found != end && *found == unit ? static_cast<uint32_t>(found - label_.data()) : 0;
}

bool ExclusionList::Excludes(std::u16string_view path) const {
  if (fragments_.empty()) return false;
  uint32_t state = 0;
  for (const char16_t raw : path) {
    const char16_t unit = LowerUnit(raw);
    if (!alphabet_.test(unit)) {  // no fragment goes on through this unit
      state = 0;
      continue;
    }
    uint32_t next = Child(state, unit);
    while (next == 0 && state != 0) {
      state = fail_[state];
      next = Child(state, unit);
    }
    state = next;
    if (matches_[state]) return true;
  }
  return false;
}

}  // namespace app
