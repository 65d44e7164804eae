#pragma once
// The element types of HTML 4.01 with their tag numbers, the named character entities,
// and tag sets as bit sets indexed by tag number. One tag list and one entity list exist
// per process; both are immutable once built, so lookups need no lock.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace textlib {

// Tag numbers: the 91 element types in alphabetical order from 1; 0 is the unknown tag.
enum HtmlTagNumber : int32_t {
  kTagUnknown = 0,
  kTagA, kTagAbbr, kTagAcronym, kTagAddress, kTagApplet, kTagArea, kTagB, kTagBase,
  kTagBasefont, kTagBdo, kTagBig, kTagBlockquote, kTagBody, kTagBr, kTagButton, kTagCaption,
  kTagCenter, kTagCite, kTagCode, kTagCol, kTagColgroup, kTagDd, kTagDel, kTagDfn, kTagDir,
  kTagDiv, kTagDl, kTagDt, kTagEm, kTagFieldset, kTagFont, kTagForm, kTagFrame, kTagFrameset,
  kTagH1, kTagH2, kTagH3, kTagH4, kTagH5, kTagH6, kTagHead, kTagHr, kTagHtml, kTagI,
  kTagIframe, kTagImg, kTagInput, kTagIns, kTagIsindex, kTagKbd, kTagLabel, kTagLegend,
  kTagLi, kTagLink, kTagMap, kTagMenu, kTagMeta, kTagNoframes, kTagNoscript, kTagObject,
  kTagOl, kTagOptgroup, kTagOption, kTagP, kTagParam, kTagPre, kTagQ, kTagS, kTagSamp,
  kTagScript, kTagSelect, kTagSmall, kTagSpan, kTagStrike, kTagStrong, kTagStyle, kTagSub,
  kTagSup, kTagTable, kTagTbody, kTagTd, kTagTextarea, kTagTfoot, kTagTh, kTagThead,
  kTagTitle, kTagTr, kTagTt, kTagU, kTagUl, kTagVar,
};
inline constexpr int32_t kHtmlTagCount = 91;

// A set of up to 128 tag numbers.
class TagSet {
 public:
  constexpr TagSet(std::initializer_list<int32_t> tags) {
    for (int32_t t : tags) bits_[t >> 6] |= uint64_t{1} << (t & 63);
  }
  constexpr bool Contains(int32_t tag) const {
    return tag >= 0 && tag < 128 && ((bits_[tag >> 6] >> (tag & 63)) & 1) != 0;
  }

 private:
  uint64_t bits_[2] = {0, 0};
};

struct THtmlTag {
  std::u16string Name;
  int32_t Number = 0;
};

class THtmlTagList {
 public:
  THtmlTagList();
  // The tag whose name equals the name exactly (the names are ASCII, so comparing in the
  // system ANSI code page gives the same answer); a name not in the list gives the unknown
  // tag (number 0). Looked up in a hash table: this runs for every tag of every page.
  const THtmlTag& GetTagByName(std::u16string_view name) const;
  const THtmlTag& Unknown() const { return unknown_; }
  const std::vector<THtmlTag>& Tags() const { return tags_; }

 private:
  static constexpr size_t kSlots = 256;  // a power of two, well above the 91 names
  static size_t Hash(std::u16string_view name);

  std::vector<THtmlTag> tags_;
  uint8_t slots_[kSlots] = {};  // index + 1 into tags_, 0 for an empty slot
  THtmlTag unknown_;
};

struct TEntity {
  std::string Name;
  uint16_t Code = 0;
};

// The 252 character entity references of HTML 4.01 and "apos", sorted by ordinal byte comparison.
class TEntList {
 public:
  TEntList();
  // Case-sensitive; a name not in the table gives 32 (space).
  uint16_t LookupEntityCode(std::string_view name) const;
  const std::vector<TEntity>& Entities() const { return entities_; }

 private:
  std::vector<TEntity> entities_;
};

// The process-wide instances.
const THtmlTagList& HtmlTagList();
const TEntList& EntList();

uint16_t LookupEntityCode(std::string_view name);
// The name is converted to the system ANSI code page first.
uint16_t LookupEntityCode(std::u16string_view name);
// The length of the longest legacy entity name (one a browser takes without ";") that the
// name begins with; 0 when none.
size_t LegacyEntityLength(std::u16string_view name);

// A wide name in the system ANSI code page (a unit without a byte gives "?").
std::string NameToAnsi(std::u16string_view name);

}  // namespace textlib
