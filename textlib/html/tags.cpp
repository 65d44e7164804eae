#include "textlib/html/tags.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace textlib {
namespace {

constexpr const char* kTagNames[kHtmlTagCount] = {
    "a",        "abbr",     "acronym",  "address",  "applet",   "area",     "b",
    "base",     "basefont", "bdo",      "big",      "blockquote", "body",   "br",
    "button",   "caption",  "center",   "cite",     "code",     "col",      "colgroup",
    "dd",       "del",      "dfn",      "dir",      "div",      "dl",       "dt",
    "em",       "fieldset", "font",     "form",     "frame",    "frameset", "h1",
    "h2",       "h3",       "h4",       "h5",       "h6",       "head",     "hr",
    "html",     "i",        "iframe",   "img",      "input",    "ins",      "isindex",
    "kbd",      "label",    "legend",   "li",       "link",     "map",      "menu",
    "meta",     "noframes", "noscript", "object",   "ol",       "optgroup", "option",
    "p",        "param",    "pre",      "q",        "s",        "samp",     "script",
    "select",   "small",    "span",     "strike",   "strong",   "style",    "sub",
    "sup",      "table",    "tbody",    "td",       "textarea", "tfoot",    "th",
    "thead",    "title",    "tr",       "tt",       "u",        "ul",       "var",
};

// Latin-1 entities, U+00A0 to U+00FF in code order.
constexpr const char* kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct EntityDef {
  const char* name;
  uint16_t code;
};

// Symbols, mathematical symbols, Greek letters and the special set.
constexpr EntityDef kOtherEntities[] = {
    {"apos", 39},  // not in HTML 4.01, but every browser and XHTML knows it
    {"fnof", 402},
    {"Alpha", 913}, {"Beta", 914}, {"Gamma", 915}, {"Delta", 916}, {"Epsilon", 917},
    {"Zeta", 918}, {"Eta", 919}, {"Theta", 920}, {"Iota", 921}, {"Kappa", 922},
    {"Lambda", 923}, {"Mu", 924}, {"Nu", 925}, {"Xi", 926}, {"Omicron", 927}, {"Pi", 928},
    {"Rho", 929}, {"Sigma", 931}, {"Tau", 932}, {"Upsilon", 933}, {"Phi", 934},
    {"Chi", 935}, {"Psi", 936}, {"Omega", 937},
    {"alpha", 945}, {"beta", 946}, {"gamma", 947}, {"delta", 948}, {"epsilon", 949},
    {"zeta", 950}, {"eta", 951}, {"theta", 952}, {"iota", 953}, {"kappa", 954},
    {"lambda", 955}, {"mu", 956}, {"nu", 957}, {"xi", 958}, {"omicron", 959}, {"pi", 960},
    {"rho", 961}, {"sigmaf", 962}, {"sigma", 963}, {"tau", 964}, {"upsilon", 965},
    {"phi", 966}, {"chi", 967}, {"psi", 968}, {"omega", 969}, {"thetasym", 977},
    {"upsih", 978}, {"piv", 982},
    {"bull", 8226}, {"hellip", 8230}, {"prime", 8242}, {"Prime", 8243}, {"oline", 8254},
    {"frasl", 8260},
    {"weierp", 8472}, {"image", 8465}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501},
    {"larr", 8592}, {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596},
    {"crarr", 8629}, {"lArr", 8656}, {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659},
    {"hArr", 8660},
    {"forall", 8704}, {"part", 8706}, {"exist", 8707}, {"empty", 8709}, {"nabla", 8711},
    {"isin", 8712}, {"notin", 8713}, {"ni", 8715}, {"prod", 8719}, {"sum", 8721},
    {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733}, {"infin", 8734},
    {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746}, {"int", 8747},
    {"there4", 8756}, {"sim", 8764}, {"cong", 8773}, {"asymp", 8776}, {"ne", 8800},
    {"equiv", 8801}, {"le", 8804}, {"ge", 8805}, {"sub", 8834}, {"sup", 8835},
    {"nsub", 8836}, {"sube", 8838}, {"supe", 8839}, {"oplus", 8853}, {"otimes", 8855},
    {"perp", 8869}, {"sdot", 8901},
    {"lceil", 8968}, {"rceil", 8969}, {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001},
    {"rang", 9002}, {"loz", 9674}, {"spades", 9824}, {"clubs", 9827}, {"hearts", 9829},
    {"diams", 9830},
    {"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62}, {"OElig", 338}, {"oelig", 339},
    {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376}, {"circ", 710}, {"tilde", 732},
    {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201}, {"zwnj", 8204}, {"zwj", 8205},
    {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212}, {"lsquo", 8216},
    {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225}, {"permil", 8240}, {"lsaquo", 8249},
    {"rsaquo", 8250}, {"euro", 8364},
};

bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

std::string NameToAnsi(std::u16string_view name) {
  if (IsAscii(name)) return std::string(name.begin(), name.end());
  return platform::WideToAnsi(name);
}

size_t THtmlTagList::Hash(std::u16string_view name) {
  size_t h = name.size();
  for (char16_t c : name) h = h * 31 + c;
  return h;
}

THtmlTagList::THtmlTagList() {
  tags_.reserve(128);
  for (int32_t i = 0; i < kHtmlTagCount; ++i) {
    std::string_view name = kTagNames[i];
    tags_.push_back({std::u16string(name.begin(), name.end()), i + 1});
    size_t slot = Hash(tags_.back().Name) & (kSlots - 1);
    while (slots_[slot] != 0) slot = (slot + 1) & (kSlots - 1);
    slots_[slot] = static_cast<uint8_t>(i + 1);
  }
}

const THtmlTag& THtmlTagList::GetTagByName(std::u16string_view name) const {
  // Every tag name is short; anything longer cannot match.
  if (name.empty() || name.size() > 10) return unknown_;
  for (size_t slot = Hash(name) & (kSlots - 1); slots_[slot] != 0; slot = (slot + 1) & (kSlots - 1)) {
    const THtmlTag& tag = tags_[slots_[slot] - 1];
    if (tag.Name == name) return tag;
  }
  return unknown_;
}

TEntList::TEntList() {
  entities_.reserve(253);
  for (int i = 0; i < 96; ++i)
    entities_.push_back({kLatin1Names[i], static_cast<uint16_t>(160 + i)});
  for (const EntityDef& e : kOtherEntities) entities_.push_back({e.name, e.code});
  std::sort(entities_.begin(), entities_.end(),
            [](const TEntity& a, const TEntity& b) { return a.Name < b.Name; });
}

uint16_t TEntList::LookupEntityCode(std::string_view name) const {
  auto it = std::lower_bound(entities_.begin(), entities_.end(), name,
                             [](const TEntity& a, std::string_view b) { return a.Name < b; });
  if (it == entities_.end() || it->Name != name) return 32;
  return it->Code;
}

const THtmlTagList& HtmlTagList() {
  static const THtmlTagList list;
  return list;
}

const TEntList& EntList() {
  static const TEntList list;
  return list;
}

uint16_t LookupEntityCode(std::string_view name) { return EntList().LookupEntityCode(name); }

size_t LegacyEntityLength(std::u16string_view name) {
  // Browsers take these names without their ";": the Latin-1 set and the four of markup.
  static const std::vector<std::u16string> names = [] {
    std::vector<std::u16string> list;
    for (const char* n : kLatin1Names) list.emplace_back(n, n + std::char_traits<char>::length(n));
    for (const char* n : {"amp", "lt", "gt", "quot"}) list.emplace_back(n, n + std::char_traits<char>::length(n));
    std::sort(list.begin(), list.end());
    return list;
  }();
  for (size_t length = std::min<size_t>(name.size(), 6); length >= 2; --length) {
    if (std::binary_search(names.begin(), names.end(), name.substr(0, length),
                           [](std::u16string_view a, std::u16string_view b) { return a < b; }))
      return length;
  }
  return 0;
}

uint16_t LookupEntityCode(std::u16string_view name) {
  return EntList().LookupEntityCode(NameToAnsi(name));
}

}  // namespace textlib
