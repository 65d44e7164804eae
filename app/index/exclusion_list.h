#pragma once
// Path fragments that keep files out of a database (the user's "AusnahmeIndizierung.txt"):
// a file is excluded when any fragment occurs in its whole path, compared in lower case
// (simple case mapping per UTF-16 unit, so "ß" stays "ß"). All fragments are matched in
// one pass over the path through an Aho-Corasick automaton built once per list, so the
// cost per path grows with the path's length, not with the number of fragments.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class ExclusionList {
 public:
  ExclusionList() = default;
  // The fragments as given: lower-cased here, empty ones dropped (not trimmed).
  explicit ExclusionList(std::span<const std::u16string> fragments);

  // The list file in drive form; a missing or unreadable file gives an empty list.
  static ExclusionList Load(std::u16string_view fileName);
  // The file's bytes: UTF-16 (either order) or UTF-8 behind a byte-order mark; without a
  // mark UTF-8 when the bytes are well-formed UTF-8, else code page 1252. Lines break at
  // CR, LF and U+2028; each is trimmed (white space and control characters), empty ones
  // are dropped.
  static ExclusionList FromBytes(std::string_view bytes);

  bool Empty() const { return fragments_.empty(); }
  // The fragments kept, lower-cased, in the order given (duplicates included).
  size_t Size() const { return fragments_.size(); }
  const std::vector<std::u16string>& Fragments() const { return fragments_; }

  // Whether some fragment occurs in the path (any case; lower-cased inside).
  bool Excludes(std::u16string_view path) const;

 private:
  uint32_t Child(uint32_t node, char16_t unit) const;

  std::vector<std::u16string> fragments_;
  // The automaton, nodes numbered breadth first so that the children of node i are the
  // nodes first_[i] .. first_[i + 1] - 1, sorted by label_. Node 0 is the root.
  std::vector<uint32_t> first_;
  std::vector<char16_t> label_;
  std::vector<uint32_t> fail_;
  std::vector<uint8_t> matches_;   // a fragment ends here or at a node on the fail chain
  std::vector<uint32_t> rootNext_; // the root's children by unit (0: none), 65536 entries
  std::bitset<65536> alphabet_;    // units occurring in some fragment
};

}  // namespace app
